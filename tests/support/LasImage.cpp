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
    h.versionMinor = 2;
    h.headerSize = 227;
    h.offsetToPointData = 227;
    h.pointDataFormatId = format;
    h.pointDataRecordLength = static_cast<std::uint16_t>(StandardRecordSize(format));
    h.numberOfPointRecords = pointCount;
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

void LasImage::Layout(std::uint32_t vlrCount)
{
    header.headerSize = 227;
    header.offsetToPointData = static_cast<std::uint32_t>(227 + vlrBlock.size());
    header.numberOfVariableLengthRecords = vlrCount;
    header.numberOfPointRecords = static_cast<std::uint32_t>(records.size());
}

std::vector<unsigned char> LasImage::Bytes() const
{
    unsigned char image[LasHeader::kImageSize];
    SerializeLasHeader(header, image);
    std::vector<unsigned char> bytes;
    bytes.reserve(sizeof image + vlrBlock.size() + records.size() * header.pointDataRecordLength);
    for (unsigned char byte : image)
    {
        bytes.push_back(byte);
    }
    bytes.insert(bytes.end(), vlrBlock.begin(), vlrBlock.end());
    for (const auto& record : records)
    {
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
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
