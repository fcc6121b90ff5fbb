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

    // A LAS 1.2 header of the format with standard record length, scale 0.01 and no offsets.
    static LasImage Make(std::uint8_t format, std::uint32_t pointCount = 0);

    // Appends one VLR (54-byte header and data) to the block.
    void AddVlr(const std::string& userId, std::uint16_t recordId, std::vector<unsigned char> data,
                const std::string& description = "");

    // Header Size 227, Offset to point data after the block, Number of VLRs and of points from
    // what was added, unless told otherwise afterwards.
    void Layout(std::uint32_t vlrCount);
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
