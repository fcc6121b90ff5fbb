#include "ArchiveBytes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "lcmp/EntryHeaderImage.h"

namespace telvora::test
{

void Append(Bytes& to, const Bytes& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

void AppendU16(Bytes& to, std::uint16_t value)
{
    to.push_back(static_cast<unsigned char>(value & 0xFF));
    to.push_back(static_cast<unsigned char>(value >> 8));
}

void AppendU32(Bytes& to, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k)
    {
        to.push_back(static_cast<unsigned char>((value >> (8 * k)) & 0xFF));
    }
}

Bytes TableImage(const std::vector<std::uint16_t>& h)
{
    Bytes image;
    for (int k = 0; k < 256; ++k)
    {
        AppendU16(image, k < static_cast<int>(h.size()) ? h[static_cast<std::size_t>(k)] : 10000);
    }
    return image;
}

std::vector<std::uint16_t> SingleSymbolTable(int s)
{
    std::vector<std::uint16_t> h(256);
    for (int k = 0; k < 256; ++k)
    {
        h[static_cast<std::size_t>(k)] = k < s ? 0 : 10000;
    }
    return h;
}

Bytes ConstantStream(int s)
{
    Bytes stream = TableImage(SingleSymbolTable(s));
    Append(stream, {0xFF, 0xFF, 0x00});
    return stream;
}

Bytes ConstantValueStream(std::uint32_t n, std::int32_t first, int lengthSymbol,
                          const std::vector<int>& planeBytes)
{
    Bytes stream;
    AppendU32(stream, static_cast<std::uint32_t>(first));
    Append(stream, ConstantStream(lengthSymbol));
    for (const int byte : planeBytes)
    {
        AppendU32(stream, n - 1);
        Append(stream, ConstantStream(byte));
    }
    return stream;
}

LasHeader MakeHeader(std::uint8_t format, std::uint32_t points)
{
    LasHeader header;
    std::memcpy(header.fileSignature, "LASF", 4);
    header.versionMajor = 1;
    header.versionMinor = 2;
    header.headerSize = 227;
    header.offsetToPointData = 227;
    header.pointDataFormatId = format;
    header.pointDataRecordLength = static_cast<std::uint16_t>(StandardRecordSize(format));
    header.numberOfPointRecords = points;
    header.numberOfPointsByReturn[0] = points;
    header.xScaleFactor = header.yScaleFactor = header.zScaleFactor = 0.01;
    header.maxX = header.maxY = header.maxZ = 100.0;
    return header;
}

Bytes ZeroChunks(const LasHeader& header, const EntryFields& f)
{
    const unsigned format = header.pointDataFormatId;
    Bytes points;
    std::uint32_t remaining = header.numberOfPointRecords;
    do
    {
        const std::uint32_t n = remaining > 2'000'000 ? 1'000'000 : remaining;
        Append(points, ConstantStream(5));                   // user data 5
        Append(points, ConstantStream(0));                   // scan direction
        Append(points, ConstantStream(0));                   // scan angle rank
        Append(points, ConstantStream(1));                   // return number 1
        Append(points, ConstantValueStream(n, 9));           // point source 9
        Append(points, ConstantStream(0));                   // number of returns
        Append(points, ConstantStream(0));                   // edge of flight line
        Append(points, ConstantStream(0));                   // classification
        Append(points, ConstantValueStream(n, f.x));         // X
        Append(points, ConstantValueStream(n, f.y));         // Y
        Append(points, ConstantValueStream(n, f.z));         // Z
        Append(points, ConstantValueStream(n, f.intensity)); // intensity
        if (format == 1 || format == 3)
        {
            Append(points, ConstantValueStream(n, static_cast<std::int32_t>(f.time >> 32)));
            Append(points, ConstantValueStream(n, static_cast<std::int32_t>(f.time)));
        }
        if (format == 2 || format == 3)
        {
            Append(points, ConstantValueStream(n, f.red));
            Append(points, ConstantValueStream(n, f.green));
            Append(points, ConstantValueStream(n, f.blue));
        }
        if (remaining <= 1'000'000)
        {
            break;
        }
        remaining -= 1'000'000;
    } while (remaining > 1'000'000);
    return points;
}

Bytes EntryData(const LasHeader& header, char mode, const Bytes& vlrBytes, const Bytes& points)
{
    LasHeader image = header;
    image.fileSignature[0] = mode;
    unsigned char bytes[EntryHeaderImage::kSize];
    EntryHeaderImage::Serialize(image, bytes);
    Bytes data(EntryHeaderImage::kSize + vlrBytes.size() + points.size());
    std::memcpy(data.data(), bytes, sizeof bytes);
    std::copy(vlrBytes.begin(), vlrBytes.end(), data.begin() + EntryHeaderImage::kSize);
    std::copy(points.begin(), points.end(),
              data.begin() +
                  static_cast<std::ptrdiff_t>(EntryHeaderImage::kSize + vlrBytes.size()));
    return data;
}

Bytes Archive(const std::vector<Entry>& entries)
{
    Bytes archive = {0x1D, 0x2C, 0x3B, 0x4A};
    std::vector<std::uint32_t> offsets;
    for (const Entry& entry : entries)
    {
        offsets.push_back(static_cast<std::uint32_t>(archive.size()));
        Append(archive, entry.data);
    }
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        AppendU32(archive, offsets[i]);
        AppendU32(archive, 0xDEADBEEF);
        AppendU32(archive, 0xFEEDFACE);
        Bytes name = entries[i].rawName;
        if (name.empty())
        {
            name.assign(entries[i].name.begin(), entries[i].name.end());
        }
        name.resize(256, 0);
        Append(archive, name);
    }
    AppendU32(archive, static_cast<std::uint32_t>(entries.size()));
    return archive;
}

Bytes FirstRecord(const LasHeader& header, const EntryFields& f, bool laterPoint)
{
    LASPoint* point = CreateLasPoint(header.pointDataFormatId);
    point->SetX(f.x);
    point->SetY(f.y);
    point->SetZ(f.z);
    point->SetIntensity(laterPoint ? 0 : f.intensity);
    point->SetReturnNumber(1);
    point->SetUserData(5);
    point->SetPointSourceID(9);
    point->SetGPSTimeBits(f.time);
    point->SetRed(f.red);
    point->SetGreen(f.green);
    point->SetBlue(f.blue);
    const unsigned char* image = RecordImage(*point);
    Bytes record(image, image + StandardRecordSize(header.pointDataFormatId));
    delete point;
    return record;
}

} // namespace telvora::test
