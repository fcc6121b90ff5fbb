#include "LasImage.h"

#include <algorithm>
#include <cstring>

#include "TestFiles.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"

namespace telvora::test
{

std::vector<unsigned char> FormatOneFile()
{
    LasImage image = LasImage::Make(1, 300);
    for (auto& record : image.records)
    {
        record[15] = 1;
    }
    image.Layout(0);
    return image.Bytes();
}

std::vector<unsigned char> FormatOneFileWithPointsLater()
{
    LasImage image = LasImage::Make(1, 264);
    image.AddVlr("other", 1, std::vector<unsigned char>(1008 - LasVlrHeader::kImageSize, 0x3C));
    image.Layout(1);
    return image.Bytes();
}

LasImage LasImage::Make(std::uint8_t format, std::uint32_t pointCount)
{
    LasImage image;
    LasHeader& h = image.header;
    std::memcpy(h.fileSignature, "LASF", 4);
    h.versionMajor = 1;
    h.versionMinor = format >= 6 ? 4 : format >= 4 ? 3 : 2;
    h.headerSize = format >= 6 ? 375 : format >= 4 ? 235 : 227;
    h.offsetToPointData = h.headerSize;
    h.pointDataFormatId = format;
    h.pointDataRecordLength = static_cast<std::uint16_t>(StandardRecordSize(format));
    h.numberOfPointRecords = format >= 6 ? 0 : pointCount;
    h.extendedNumberOfPointRecords = h.versionMinor >= 4 ? pointCount : 0;
    h.xScaleFactor = h.yScaleFactor = h.zScaleFactor = 0.01;
    for (std::uint32_t i = 0; i < pointCount; ++i)
    {
        image.records.push_back(MakeRecord(
            h.pointDataRecordLength, static_cast<std::int32_t>(i), static_cast<std::int32_t>(2 * i),
            -static_cast<std::int32_t>(i), static_cast<std::uint16_t>(i)));
    }
    return image;
}

void LasImage::AddVlr(const std::string& userId, std::uint16_t recordId,
                      std::vector<unsigned char> data, const std::string& description)
{
    LasVlrHeader vlr;
    std::memcpy(vlr.userId, userId.data(), std::min(userId.size(), sizeof vlr.userId));
    std::memcpy(vlr.description, description.data(),
                std::min(description.size(), sizeof vlr.description));
    vlr.recordId = recordId;
    vlr.recordLengthAfterHeader = static_cast<std::uint16_t>(data.size());
    unsigned char bytes[LasVlrHeader::kImageSize];
    SerializeLasVlrHeader(vlr, bytes);
    vlrBlock.insert(vlrBlock.end(), bytes, bytes + sizeof bytes);
    vlrBlock.insert(vlrBlock.end(), data.begin(), data.end());
}

void LasImage::AddEvlr(const std::string& userId, std::uint16_t recordId,
                       const std::vector<unsigned char>& data, const std::string& description)
{
    // reserved (2), user ID (16), record ID (2), 64-bit length (8), description (32)
    std::vector<unsigned char> bytes(60, 0);
    std::memcpy(bytes.data() + 2, userId.data(), std::min<std::size_t>(userId.size(), 16));
    StoreLE<std::uint16_t>(bytes.data() + 18, recordId);
    StoreLE<std::uint64_t>(bytes.data() + 20, data.size());
    std::memcpy(bytes.data() + 28, description.data(),
                std::min<std::size_t>(description.size(), 32));
    evlrBlock.insert(evlrBlock.end(), bytes.begin(), bytes.end());
    evlrBlock.insert(evlrBlock.end(), data.begin(), data.end());
    ++evlrCount;
}

void LasImage::Layout(std::uint32_t vlrCount)
{
    const unsigned minor = header.versionMinor;
    header.headerSize = minor >= 4 ? 375 : minor == 3 ? 235 : 227;
    header.offsetToPointData = static_cast<std::uint32_t>(header.headerSize + vlrBlock.size());
    header.numberOfVariableLengthRecords = vlrCount;
    const bool extendedFormat = header.pointDataFormatId >= 6;
    header.numberOfPointRecords = extendedFormat ? 0 : static_cast<std::uint32_t>(records.size());
    if (minor >= 4)
    {
        header.extendedNumberOfPointRecords = records.size();
        header.numberOfExtendedVlrs = evlrCount;
        header.startOfFirstExtendedVlr =
            evlrCount == 0 ? 0
                           : header.offsetToPointData +
                                 std::uint64_t{header.pointDataRecordLength} * records.size();
    }
}

std::vector<unsigned char> LasImage::Bytes() const
{
    unsigned char image[LasHeader::kImageSize];
    SerializeLasHeader(header, image);
    std::vector<unsigned char> bytes;
    bytes.reserve(std::max<std::size_t>(sizeof image, header.headerSize) + vlrBlock.size() +
                  records.size() * header.pointDataRecordLength + evlrBlock.size());
    for (unsigned char byte : image)
    {
        bytes.push_back(byte);
    }
    if (header.versionMajor == 1 && header.versionMinor >= 3)
    {
        bytes.resize(std::max<std::size_t>(bytes.size(), header.headerSize), 0);
        const auto put = [&](std::size_t at, auto value)
        {
            if (at + sizeof value <= bytes.size())
            {
                StoreLE(bytes.data() + at, value);
            }
        };
        put(227, header.startOfWaveformDataPacketRecord);
        if (header.versionMinor >= 4)
        {
            put(235, header.startOfFirstExtendedVlr);
            put(243, header.numberOfExtendedVlrs);
            put(247, header.extendedNumberOfPointRecords);
            for (std::size_t k = 0; k < 15; ++k)
            {
                put(255 + 8 * k, header.extendedNumberOfPointsByReturn[k]);
            }
        }
    }
    bytes.insert(bytes.end(), vlrBlock.begin(), vlrBlock.end());
    for (const auto& record : records)
    {
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    bytes.insert(bytes.end(), evlrBlock.begin(), evlrBlock.end());
    return bytes;
}

void LasImage::Save(const std::string& path) const
{
    WriteAll(path, Bytes());
}

std::vector<unsigned char> MakeRecord(std::size_t length, std::int32_t x, std::int32_t y,
                                      std::int32_t z, std::uint16_t intensity)
{
    std::vector<unsigned char> record(length, 0);
    if (length >= 14)
    {
        StoreLE(record.data() + 0, x);
        StoreLE(record.data() + 4, y);
        StoreLE(record.data() + 8, z);
        StoreLE(record.data() + 12, intensity);
    }
    return record;
}

} // namespace telvora::test
