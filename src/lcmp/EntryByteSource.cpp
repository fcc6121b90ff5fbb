#include "lcmp/EntryByteSource.h"

#include <algorithm>

namespace telvora
{

EntryByteSource::EntryByteSource(IByteSource& source, std::int64_t dataEnd)
    : inner(source)
    , end(std::max<std::int64_t>(dataEnd, 0))
{
}

std::int64_t EntryByteSource::Size() const
{
    const std::int64_t size = inner.Size();
    return size < 0 ? end : std::min(size, end);
}

} // namespace telvora
