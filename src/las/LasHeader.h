#pragma once

#include <cstddef>
#include <cstdint>

namespace telvora
{

// The public header block as it lies in the first 227 bytes of every LAS 1.0 to 1.2 file. The
// same layout is taken for every version: bytes 4 to 7 are always File Source ID and Global
// Encoding, and the version drives nothing. No field is validated here.
struct LasHeader
{
    static constexpr std::size_t kImageSize = 227;

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
};

// Field by field, little-endian, without padding.
LasHeader ParseLasHeader(const unsigned char (&image)[LasHeader::kImageSize]) noexcept;
void SerializeLasHeader(const LasHeader& header,
                        unsigned char (&image)[LasHeader::kImageSize]) noexcept;

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

} // namespace telvora
