#include "lcmp/SharedByteSource.h"

namespace telvora
{

std::size_t SharedByteSource::Read(void* buffer, std::size_t size)
{
    const std::int64_t theirs = inner.Position();
    if (!inner.Seek(position))
    {
        return 0;
    }
    const std::size_t got = inner.Read(buffer, size);
    position = inner.Position();
    inner.Seek(theirs);
    return got;
}

bool SharedByteSource::Seek(std::int64_t offset)
{
    if (offset < 0)
    {
        return false;
    }
    position = offset;
    return true;
}

} // namespace telvora
