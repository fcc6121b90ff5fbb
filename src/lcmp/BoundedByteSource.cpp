#include "lcmp/BoundedByteSource.h"

#include <algorithm>

namespace telvora
{

BoundedByteSource::BoundedByteSource(IByteSource& source, std::int64_t endOffset)
    : inner(source)
    , end(std::max<std::int64_t>(endOffset, 0))
{
}

std::size_t BoundedByteSource::Read(void* buffer, std::size_t size)
{
    const std::int64_t at = inner.Position();
    if (at >= end)
    {
        return 0;
    }
    const auto left = static_cast<std::uint64_t>(end - at);
    return inner.Read(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, left)));
}

std::int64_t BoundedByteSource::Size() const
{
    const std::int64_t size = inner.Size();
    return size < 0 ? end : std::min(size, end);
}

} // namespace telvora
