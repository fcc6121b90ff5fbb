#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace telvora
{

// One record of an archive's directory, 268 bytes on disk: the absolute offset of the entry's
// data, eight bytes the reader has no use for, and the name of the LAS file without a folder.
struct ArchiveEntry
{
    static constexpr std::size_t kImageSize = 268;
    static constexpr std::size_t kNameSize = 256;

    std::uint32_t dataOffset = 0;
    unsigned char unused[8] = {};
    // NUL-terminated, or filling all 256 bytes; only the bytes up to the first NUL count.
    char name[kNameSize] = {};

    static ArchiveEntry Parse(const unsigned char* image) noexcept;

    std::string Name() const;
    // Byte for byte and case-sensitively, within the 256 bytes of the name.
    bool HasName(const char* requested) const noexcept;
};

} // namespace telvora
