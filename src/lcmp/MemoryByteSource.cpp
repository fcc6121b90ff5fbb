#include "lcmp/MemoryByteSource.h"

#include <algorithm>
#include <cstring>

namespace telvora
{

MemoryByteSource::MemoryByteSource(const void* bytes, std::size_t size)
    : data(static_cast<const unsigned char*>(bytes))
    , length(bytes != nullptr ? size : 0)
{
}

std::size_t MemoryByteSource::Read(void* buffer, std::size_t size)
{
    const auto at = static_cast<std::uint64_t>(position);
    if (at >= length || size == 0)
    {
        return 0;
    }
    const std::size_t got = std::min<std::size_t>(size, length - static_cast<std::size_t>(at));
    std::memcpy(buffer, data + at, got);
    position += static_cast<std::int64_t>(got);
    return got;
}

bool MemoryByteSource::Seek(std::int64_t offset)
{
    if (offset < 0)
    {
        return false;
    }
    position = offset;
    return true;
}

} // namespace telvora
