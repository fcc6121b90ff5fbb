#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "las/LasHeader.h"

namespace telvora::test
{

// Builds LAS files byte by byte, independently of the writer under test, so that reader tests
// can describe odd layouts (extra bytes, short blocks, lying headers) exactly.
struct LasImage
{
    LasHeader header;
    std::vector<unsigned char> vlrBlock;
    std::vector<std::vector<unsigned char>> records;
    // Extended VLRs behind the records (LAS 1.4).
    std::vector<unsigned char> evlrBlock;
    std::uint32_t evlrCount = 0;

    // A header of the format with standard record length, scale 0.01 and no offsets: LAS 1.2 for
    // formats 0 to 3, 1.3 for 4 and 5, 1.4 for 6 to 10.
    static LasImage Make(std::uint8_t format, std::uint32_t pointCount = 0);

    // Appends one extended VLR (60-byte header and data) behind the records.
    void AddEvlr(const std::string& userId, std::uint16_t recordId,
                 const std::vector<unsigned char>& data, const std::string& description = "");

    // Appends one VLR (54-byte header and data) to the block.
    void AddVlr(const std::string& userId, std::uint16_t recordId, std::vector<unsigned char> data,
                const std::string& description = "");

    // Header Size 227 (235 for LAS 1.3, 375 for 1.4), Offset to point data after the block,
    // Number of VLRs and of points from what was added, unless told otherwise afterwards. LAS
    // 1.4: the 64-bit count too (the 32-bit one 0 for formats 6 to 10), and the extended VLRs.
    void Layout(std::uint32_t vlrCount);
    // The header's first 227 bytes, then the LAS 1.3 and 1.4 fields written literally at their
    // offsets (227: waveform start; 235: first extended VLR; 243: their number; 247: 64-bit point
    // count; 255: 15 counts by return), up to Header Size.
    std::vector<unsigned char> Bytes() const;
    void Save(const std::string& path) const;
};

// 300 records of format 1 after the header (8,627 bytes), classified 1; and another file of
// exactly that size whose 264 records start 1,008 bytes later, behind a VLR: what another
// program's export may put in the first one's place.
std::vector<unsigned char> FormatOneFile();
std::vector<unsigned char> FormatOneFileWithPointsLater();

// A record image of the given length with the common fields set.
std::vector<unsigned char> MakeRecord(std::size_t length, std::int32_t x, std::int32_t y,
                                      std::int32_t z, std::uint16_t intensity = 0);

} // namespace telvora::test
