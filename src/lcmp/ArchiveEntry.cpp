#include "lcmp/ArchiveEntry.h"

#include <cstring>

#include "las/ByteOrder.h"

namespace telvora
{

ArchiveEntry ArchiveEntry::Parse(const unsigned char* image) noexcept
{
    ArchiveEntry entry;
    entry.dataOffset = LoadLE<std::uint32_t>(image);
    std::memcpy(entry.unused, image + 4, sizeof entry.unused);
    std::memcpy(entry.name, image + 12, sizeof entry.name);
    return entry;
}

std::string ArchiveEntry::Name() const
{
    return std::string(name, ::strnlen(name, kNameSize));
}

bool ArchiveEntry::HasName(const char* requested) const noexcept
{
    const std::size_t length = ::strnlen(name, kNameSize);
    return requested != nullptr && ::strnlen(requested, kNameSize + 1) == length &&
           std::memcmp(requested, name, length) == 0;
}

} // namespace telvora
