#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "encoder/EntryEncoder.h"

namespace telvora::testenc
{

inline constexpr std::array<std::uint8_t, 4> kArchiveMagic = {0x1D, 0x2C, 0x3B, 0x4A};
inline constexpr std::size_t kDirectoryEntryBytes = 268;
inline constexpr std::size_t kNameBytes = 256;

struct ArchiveInput
{
    // The name field as stored: up to 256 bytes, padded with NULs. Exactly 256 bytes leave the
    // name without a terminator.
    std::vector<std::uint8_t> name;
    char mode = kCodedMode;
    std::vector<std::uint8_t> lasFile;
    EncodeOptions options;

    static std::vector<std::uint8_t> Name(std::string_view text)
    {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }
};

// Where the entries' data lie in the file.
struct ArchiveLayout
{
    // The data in the reverse of the directory's order, so that each entry's bytes are followed by
    // those of the entry listed before it, and the last one listed comes first.
    bool reverseData = false;
    // Bytes between each entry's data and whatever follows it, which belong to no entry.
    std::vector<std::uint8_t> afterEachEntry;
};

// Magic number, the entries' data in order (see ArchiveLayout), the directory (data offset, eight
// bytes holding the entry's data length, which readers ignore, and the name) and the entry count.
// Throws std::invalid_argument for a name longer than 256 bytes, an archive that outgrows 32-bit
// offsets, and whatever EncodeEntry refuses.
std::vector<std::uint8_t> BuildArchive(const std::vector<ArchiveInput>& entries,
                                       const ArchiveLayout& layout = {});

} // namespace telvora::testenc
