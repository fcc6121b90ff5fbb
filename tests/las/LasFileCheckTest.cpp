#include "las/LasFileCheck.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "las/LasHeader.h"

namespace telvora
{
namespace
{

// One rule or its boundary per row: the header fields the check looks at, the size of the file,
// and the verdict (no text: the file can be shown).
struct CheckCase
{
    const char* label;
    const char* signature;
    std::uint8_t major;
    std::uint8_t minor;
    std::uint16_t headerSize;
    std::uint32_t offsetToPointData;
    std::uint8_t format;
    std::uint16_t recordLength;
    std::uint32_t records;
    std::uint64_t fileSize;
    const char* text;
    const char* reason;
};

constexpr const char* kHeader = "ReadError::LAS Header";
constexpr const char* kFormat = "ReadError::LAS Point Format";
constexpr const char* kPoint = "ReadError::LAS Point";

// 10 records of 20 bytes behind a 227-byte header fill 427 bytes.
const CheckCase kCases[] = {
    {"plain 1.2 file", "LASF", 1, 2, 227, 227, 0, 20, 10, 427, nullptr, ""},
    {"no records", "LASF", 1, 0, 227, 227, 1, 28, 0, 227, nullptr, ""},
    {"bytes after the last record", "LASF", 1, 2, 227, 227, 0, 20, 10, 500, nullptr, ""},
    {"1.3 header of 235 bytes", "LASF", 1, 3, 235, 235, 1, 28, 2, 291, nullptr, ""},
    {"1.4 file of format 3", "LASF", 1, 4, 375, 375, 3, 34, 1, 409, nullptr, ""},
    {"1.3 file of format 5", "LASF", 1, 3, 235, 235, 5, 63, 1, 298, nullptr, ""},
    {"1.4 file of format 10", "LASF", 1, 4, 375, 375, 10, 67, 1, 442, nullptr, ""},
    // Formats are told by their number whatever the version says.
    {"1.2 file of format 6", "LASF", 1, 2, 227, 227, 6, 30, 1, 257, nullptr, ""},
    {"extra bytes per record", "LASF", 1, 2, 227, 227, 3, 40, 2, 307, nullptr, ""},
    {"VLR block before the points", "LASF", 1, 2, 227, 400, 2, 26, 1, 426, nullptr, ""},

    {"signature", "LASG", 1, 2, 227, 227, 0, 20, 10, 427, kHeader, "f.las is not a LAS file"},
    {"signature of zeros", "\0\0\0\0", 1, 2, 227, 227, 0, 20, 0, 227, kHeader,
     "f.las is not a LAS file"},
    {"major version 2", "LASF", 2, 0, 227, 227, 0, 20, 10, 427, kFormat,
     "f.las: LAS 2.0 files cannot be opened; Telvora reads LAS 1.0 to 1.4 files with point "
     "formats 0 to 10"},
    {"major version 0", "LASF", 0, 9, 227, 227, 0, 20, 10, 427, kFormat,
     "f.las: LAS 0.9 files cannot be opened; Telvora reads LAS 1.0 to 1.4 files with point "
     "formats 0 to 10"},
    {"version 1.5", "LASF", 1, 5, 375, 375, 6, 30, 1, 405, kFormat,
     "f.las: LAS 1.5 files cannot be opened; Telvora reads LAS 1.0 to 1.4 files with point "
     "formats 0 to 10"},
    {"compressed, bit 7", "LASF", 1, 2, 227, 227, 131, 34, 1, 261, kFormat,
     "f.las holds compressed (LAZ) point records, which cannot be opened; Telvora reads "
     "uncompressed LAS files"},
    {"compressed, bit 6", "LASF", 1, 2, 227, 227, 67, 34, 1, 261, kFormat,
     "f.las holds compressed (LAZ) point records, which cannot be opened; Telvora reads "
     "uncompressed LAS files"},
    {"format 11", "LASF", 1, 4, 375, 375, 11, 57, 1, 432, kFormat,
     "f.las: LAS 1.4 files with point format 11 cannot be opened; Telvora reads point formats 0 "
     "to 10"},
    {"records one byte short of format 10", "LASF", 1, 4, 375, 375, 10, 66, 1, 441, kHeader,
     "f.las: its point records are 66 bytes long, too short for point format 10 (67 bytes)"},
    {"1.3 Header Size 234", "LASF", 1, 3, 234, 234, 4, 57, 1, 291, kHeader,
     "f.las: its Header Size is 234 bytes, less than the 235 bytes of a LAS 1.3 header"},
    {"1.4 Header Size 227", "LASF", 1, 4, 227, 227, 6, 30, 1, 257, kHeader,
     "f.las: its Header Size is 227 bytes, less than the 375 bytes of a LAS 1.4 header"},
    {"records one byte short of format 0", "LASF", 1, 2, 227, 227, 0, 19, 10, 417, kHeader,
     "f.las: its point records are 19 bytes long, too short for point format 0 (20 bytes)"},
    {"records one byte short of format 3", "LASF", 1, 2, 227, 227, 3, 33, 1, 260, kHeader,
     "f.las: its point records are 33 bytes long, too short for point format 3 (34 bytes)"},
    {"point data one byte inside the header", "LASF", 1, 2, 227, 226, 0, 20, 1, 246, kHeader,
     "f.las: its point data would start at byte 226, inside its 227-byte header"},
    {"point data inside a 1.3 header", "LASF", 1, 3, 235, 234, 0, 20, 1, 254, kHeader,
     "f.las: its point data would start at byte 234, inside its 235-byte header"},
    {"Header Size below 227", "LASF", 1, 2, 100, 200, 0, 20, 1, 220, kHeader,
     "f.las: its Header Size is 100 bytes, less than the 227 bytes of every LAS 1.x header"},
    {"Header Size 226", "LASF", 1, 2, 226, 227, 0, 20, 1, 247, kHeader,
     "f.las: its Header Size is 226 bytes, less than the 227 bytes of every LAS 1.x header"},
    {"Header Size 0", "LASF", 1, 0, 0, 227, 0, 20, 0, 227, kHeader,
     "f.las: its Header Size is 0 bytes, less than the 227 bytes of every LAS 1.x header"},
    {"no records, point data at the end", "LASF", 1, 2, 227, 400, 0, 20, 0, 400, nullptr, ""},
    {"no records, VLRs past the end", "LASF", 1, 2, 227, 400, 0, 20, 0, 399, kHeader,
     "f.las ends at byte 399, before its point data, which would start at byte 400"},
    {"last record one byte short", "LASF", 1, 2, 227, 227, 0, 20, 10, 426, kPoint,
     "f.las ends inside its point records: 9 of 10 are complete"},
    {"file ends at the header", "LASF", 1, 2, 227, 227, 3, 34, 1065, 229, kPoint,
     "f.las ends inside its point records: 0 of 1065 are complete"},
    {"file ends before Offset to point data", "LASF", 1, 2, 227, 400, 0, 20, 1, 300, kPoint,
     "f.las ends inside its point records: 0 of 1 are complete"},
    // 4294967295 records of 34 bytes need 146 GB: no 32-bit product may wrap to a small size.
    {"largest record count", "LASF", 1, 2, 227, 227, 3, 34, 4294967295u, 227 + 34 * 5, kPoint,
     "f.las ends inside its point records: 5 of 4294967295 are complete"},
};

TEST(CheckLasHeader, EachRuleRefusesWithItsTextAndReasonAndPassesAtItsBoundary)
{
    for (const CheckCase& c : kCases)
    {
        LasHeader header;
        std::memcpy(header.fileSignature, c.signature, 4);
        header.versionMajor = c.major;
        header.versionMinor = c.minor;
        header.headerSize = c.headerSize;
        header.offsetToPointData = c.offsetToPointData;
        header.pointDataFormatId = c.format;
        header.pointDataRecordLength = c.recordLength;
        header.numberOfPointRecords = c.records;

        const LasFileVerdict verdict = CheckLasHeader(header, c.fileSize, "f.las");
        EXPECT_EQ(static_cast<bool>(verdict), c.text == nullptr) << c.label;
        EXPECT_STREQ(verdict.text, c.text) << c.label;
        EXPECT_EQ(verdict.reason, c.reason) << c.label;
    }
}

// LAS 1.4 files whose 32-bit count is 0 count their records with 64 bits; records are numbered
// with 32 bits everywhere else, so larger counts are refused.
TEST(CheckLasHeader, TheSixtyFourBitCountOfLas14CountsWhereTheOtherIsZero)
{
    struct
    {
        std::uint32_t legacy;
        std::uint64_t extended;
        std::uint64_t fileSize;
        const char* text;
        const char* reason;
    } const cases[] = {
        // 3 records of 30 bytes behind a 375-byte header end at byte 465.
        {0, 3, 465, nullptr, ""},
        {0, 3, 464, kPoint, "f.las ends inside its point records: 2 of 3 are complete"},
        // The 32-bit count wins where it is set.
        {1, 3, 405, nullptr, ""},
        {0, 4294967295u, 375, kPoint,
         "f.las ends inside its point records: 0 of 4294967295 are complete"},
        {0, 4294967296u, 375, kFormat,
         "f.las holds 4294967296 point records; Telvora opens files of up to 4294967295"},
    };
    for (const auto& c : cases)
    {
        LasHeader header;
        std::memcpy(header.fileSignature, "LASF", 4);
        header.versionMajor = 1;
        header.versionMinor = 4;
        header.headerSize = 375;
        header.offsetToPointData = 375;
        header.pointDataFormatId = 6;
        header.pointDataRecordLength = 30;
        header.numberOfPointRecords = c.legacy;
        header.extendedNumberOfPointRecords = c.extended;
        const LasFileVerdict verdict = CheckLasHeader(header, c.fileSize, "f.las");
        EXPECT_STREQ(verdict.text, c.text) << c.extended;
        EXPECT_EQ(verdict.reason, c.reason) << c.extended;
    }
}

} // namespace
} // namespace telvora
