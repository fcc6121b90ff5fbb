#pragma once

#include <cstddef>
#include <cstdint>

namespace telvora
{

// The public header block: the first 227 bytes of every LAS 1.x file, laid out alike in every
// version (bytes 4 to 7 are always File Source ID and Global Encoding), and the fields that LAS
// 1.3 (8 bytes) and 1.4 (148 bytes) append. No field is validated here.
struct LasHeader
{
    static constexpr std::size_t kImageSize = 227;
    static constexpr std::size_t kImageSize13 = 235;
    static constexpr std::size_t kImageSize14 = 375;

    char fileSignature[4] = {};
    std::uint16_t fileSourceId = 0;
    std::uint16_t globalEncoding = 0;
    std::uint32_t guidData1 = 0;
    std::uint16_t guidData2 = 0;
    std::uint16_t guidData3 = 0;
    std::uint8_t guidData4[8] = {};
    std::uint8_t versionMajor = 0;
    std::uint8_t versionMinor = 0;
    char systemIdentifier[32] = {};
    char generatingSoftware[32] = {};
    std::uint16_t fileCreationDayOfYear = 0;
    std::uint16_t fileCreationYear = 0;
    std::uint16_t headerSize = 0;
    std::uint32_t offsetToPointData = 0;
    std::uint32_t numberOfVariableLengthRecords = 0;
    std::uint8_t pointDataFormatId = 0;
    std::uint16_t pointDataRecordLength = 0;
    std::uint32_t numberOfPointRecords = 0;
    std::uint32_t numberOfPointsByReturn[5] = {};
    double xScaleFactor = 0.0;
    double yScaleFactor = 0.0;
    double zScaleFactor = 0.0;
    double xOffset = 0.0;
    double yOffset = 0.0;
    double zOffset = 0.0;
    double maxX = 0.0;
    double minX = 0.0;
    double maxY = 0.0;
    double minY = 0.0;
    double maxZ = 0.0;
    double minZ = 0.0;

    // LAS 1.3 and later.
    std::uint64_t startOfWaveformDataPacketRecord = 0;
    // LAS 1.4.
    std::uint64_t startOfFirstExtendedVlr = 0;
    std::uint32_t numberOfExtendedVlrs = 0;
    std::uint64_t extendedNumberOfPointRecords = 0;
    std::uint64_t extendedNumberOfPointsByReturn[15] = {};
};

// Field by field, little-endian, without padding: the first 227 bytes.
LasHeader ParseLasHeader(const unsigned char (&image)[LasHeader::kImageSize]) noexcept;
void SerializeLasHeader(const LasHeader& header,
                        unsigned char (&image)[LasHeader::kImageSize]) noexcept;

// How many bytes of header the version lays out: 227 up to 1.2, 235 for 1.3, 375 from 1.4 on.
std::size_t LasHeaderImageSize(const LasHeader& header) noexcept;

// The fields behind the first 227 bytes, from image (the file's first size bytes) as far as the
// version lays them out and size holds them; fields beyond stay as they are.
void ParseLasHeaderExtension(const unsigned char* image, std::size_t size,
                             LasHeader& header) noexcept;
// The header from a file's first size (at least 227) bytes, the extension included.
LasHeader ParseLasHeaderImage(const unsigned char* image, std::size_t size) noexcept;
// Writes the header's image to image and returns its length: the first 227 bytes, and the
// fields the version adds where its Header Size has room for them (an archive entry's 227-byte
// header image may name any version).
std::size_t SerializeLasHeaderImage(const LasHeader& header,
                                    unsigned char (&image)[LasHeader::kImageSize14]) noexcept;

// The number of point records: the 32-bit count, or in LAS 1.4 files whose 32-bit count is 0 (as
// files of more records or of formats 6 to 10 have it) the 64-bit one.
std::uint64_t PointCount(const LasHeader& header) noexcept;
// Records by return: 15 counts in LAS 1.4 files that use the 64-bit counts, else 5.
std::size_t ReturnCountSlots(const LasHeader& header) noexcept;
std::uint64_t PointsByReturn(const LasHeader& header, std::size_t slot) noexcept;

// The 54 bytes that open each variable length record; Record Length After Header bytes of data
// follow them.
struct LasVlrHeader
{
    static constexpr std::size_t kImageSize = 54;

    std::uint16_t reserved = 0;
    char userId[16] = {};
    std::uint16_t recordId = 0;
    std::uint16_t recordLengthAfterHeader = 0;
    char description[32] = {};
};

LasVlrHeader ParseLasVlrHeader(const unsigned char* image) noexcept;
void SerializeLasVlrHeader(const LasVlrHeader& header, unsigned char* image) noexcept;

// The 60 bytes that open each extended variable length record of a LAS 1.4 file (behind the
// point records): the length after the header is 64 bits wide.
struct LasEvlrHeader
{
    static constexpr std::size_t kImageSize = 60;

    std::uint16_t reserved = 0;
    char userId[16] = {};
    std::uint16_t recordId = 0;
    std::uint64_t recordLengthAfterHeader = 0;
    char description[32] = {};
};

LasEvlrHeader ParseLasEvlrHeader(const unsigned char* image) noexcept;
void SerializeLasEvlrHeader(const LasEvlrHeader& header, unsigned char* image) noexcept;

} // namespace telvora
