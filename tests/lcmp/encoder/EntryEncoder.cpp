#include "encoder/EntryEncoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "encoder/Predictors.h"
#include "encoder/StreamEncoder.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasHeader.h"

namespace telvora::testenc
{

namespace
{

constexpr std::size_t kNumberOfVlrsAt = 100;
constexpr std::uint32_t kChunk = 1000000;

struct Layout
{
    LasHeader header;
    std::uint32_t imageVlrCount = 0;
};

void Require(bool condition, const std::string& what)
{
    if (!condition)
    {
        throw std::invalid_argument(what);
    }
}

// How many whole records a VLR block holds, walking it as a reader builds its table.
std::uint32_t WholeRecords(std::span<const std::uint8_t> block)
{
    std::uint32_t count = 0;
    std::size_t at = 0;
    while (block.size() - at >= LasVlrHeader::kImageSize)
    {
        const LasVlrHeader vlr = ParseLasVlrHeader(block.data() + at);
        const std::size_t length = LasVlrHeader::kImageSize + vlr.recordLengthAfterHeader;
        if (block.size() - at < length)
        {
            break;
        }
        at += length;
        ++count;
    }
    return count;
}

Layout ReadLayout(std::span<const std::uint8_t> las, char mode)
{
    Require(mode == kRawMode || mode == kCodedMode || mode == kVlrFreeMode,
            std::string("unknown entry mode '") + mode + "'");
    Require(las.size() >= LasHeader::kImageSize, "the file is shorter than a LAS header");
    unsigned char image[LasHeader::kImageSize];
    std::memcpy(image, las.data(), sizeof image);
    Layout layout{ParseLasHeader(image), 0};
    const LasHeader& h = layout.header;
    Require(h.offsetToPointData >= h.headerSize, "Offset to point data lies before Header Size");
    Require(h.offsetToPointData <= las.size(), "the file ends before its point data");
    if (h.pointDataFormatId <= 3)
    {
        const std::uint64_t pointBytes =
            std::uint64_t{h.numberOfPointRecords} * h.pointDataRecordLength;
        Require(las.size() - h.offsetToPointData >= pointBytes,
                "the file ends before its last point");
    }

    layout.imageVlrCount = h.numberOfVariableLengthRecords;
    const std::size_t gap = h.offsetToPointData - h.headerSize;
    if (mode == kVlrFreeMode && layout.imageVlrCount == 0 && gap > 0)
    {
        layout.imageVlrCount =
            std::max<std::uint32_t>(1, WholeRecords(las.subspan(h.headerSize, gap)));
    }
    return layout;
}

// Appends through memcpy: inserting from spans trips false bounds warnings in GCC 12.
void AppendBytes(std::vector<std::uint8_t>& out, const std::uint8_t* bytes, std::size_t count)
{
    const std::size_t at = out.size();
    out.resize(at + count);
    if (count > 0)
    {
        std::memcpy(out.data() + at, bytes, count);
    }
}

// The 227-byte header at the natural alignment of its fields: one padding byte after the point
// format and four before the first double.
void AppendHeaderImage(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> las, char mode,
                       std::uint32_t vlrCount, std::uint8_t padding)
{
    std::array<std::uint8_t, kHeaderImageBytes> image;
    image.fill(padding);
    std::memcpy(image.data(), las.data(), 105);
    std::memcpy(image.data() + 106, las.data() + 105, 26);
    std::memcpy(image.data() + 136, las.data() + 131, 96);
    image[0] = static_cast<std::uint8_t>(mode);
    StoreLE<std::uint32_t>(image.data() + kNumberOfVlrsAt, vlrCount);
    AppendBytes(out, image.data(), image.size());
}

void AppendCoded(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> symbols,
                 StreamEnd end)
{
    const EncodedStream stream = EncodeSymbols(symbols, end);
    out.insert(out.end(), stream.bytes.begin(), stream.bytes.end());
}

// The fields of one chunk, one array per field.
struct ChunkFields
{
    explicit ChunkFields(std::size_t n)
        : x(n)
        , y(n)
        , z(n)
        , intensity(n)
        , returnNumber(n)
        , numberOfReturns(n)
        , scanDirection(n)
        , edge(n)
        , classification(n)
        , scanAngle(n)
        , userData(n)
        , pointSource(n)
        , gpsTime(n)
        , red(n)
        , green(n)
        , blue(n)
    {
    }

    std::vector<std::int32_t> x, y, z;
    std::vector<std::uint16_t> intensity;
    std::vector<std::uint8_t> returnNumber, numberOfReturns, scanDirection, edge;
    std::vector<std::uint8_t> classification, scanAngle, userData;
    std::vector<std::uint16_t> pointSource;
    std::vector<std::uint64_t> gpsTime;
    std::vector<std::uint16_t> red, green, blue;
};

ChunkFields ReadChunk(const std::uint8_t* records, std::size_t n, unsigned format)
{
    const std::size_t size = StandardRecordSize(format);
    const bool hasTime = format == 1 || format == 3;
    const std::size_t rgbAt = format == 2 ? 20 : 28;
    ChunkFields f(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const std::uint8_t* r = records + i * size;
        f.x[i] = LoadLE<std::int32_t>(r + LasField::kX);
        f.y[i] = LoadLE<std::int32_t>(r + LasField::kY);
        f.z[i] = LoadLE<std::int32_t>(r + LasField::kZ);
        f.intensity[i] = LoadLE<std::uint16_t>(r + LasField::kIntensity);
        const std::uint8_t returns = r[LasField::kReturnByte];
        f.returnNumber[i] = returns & 0x07;
        f.numberOfReturns[i] = (returns >> 3) & 0x07;
        f.scanDirection[i] = (returns >> 6) & 0x01;
        f.edge[i] = (returns >> 7) & 0x01;
        f.classification[i] = r[LasField::kClassification];
        f.scanAngle[i] = r[LasField::kScanAngleRank];
        f.userData[i] = r[LasField::kUserData];
        f.pointSource[i] = LoadLE<std::uint16_t>(r + LasField::kPointSourceId);
        if (hasTime)
        {
            f.gpsTime[i] = LoadLE<std::uint64_t>(r + 20);
        }
        if (format >= 2)
        {
            f.red[i] = LoadLE<std::uint16_t>(r + rgbAt);
            f.green[i] = LoadLE<std::uint16_t>(r + rgbAt + 2);
            f.blue[i] = LoadLE<std::uint16_t>(r + rgbAt + 4);
        }
    }
    return f;
}

// Symbols of a byte stream. Bits above the field's width do not reach the record, so the noisy
// variant sets some of them.
template <typename Symbol>
std::vector<std::uint8_t> ByteStream(std::size_t n, unsigned fieldBits, bool noisy, Symbol symbol)
{
    std::vector<std::uint8_t> d(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        unsigned value = symbol(i);
        if (noisy)
        {
            value += static_cast<unsigned>((i * 37 + 11) << fieldBits);
        }
        d[i] = static_cast<std::uint8_t>(value);
    }
    return d;
}

std::vector<std::uint8_t> Raw(const std::vector<std::uint8_t>& field)
{
    return field;
}

std::vector<std::uint8_t> Delta(const std::vector<std::uint8_t>& field, unsigned mask)
{
    std::vector<std::uint8_t> d(field.size());
    for (std::size_t i = 0; i < field.size(); ++i)
    {
        d[i] = static_cast<std::uint8_t>(i == 0 ? field[0] : (field[i] - field[i - 1]) & mask);
    }
    return d;
}

// A 16-bit field restored as (p + v) mod 65536: the residual of smallest magnitude.
std::int32_t Residual16(std::uint16_t actual, std::uint16_t prediction)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(actual - prediction));
}

std::vector<std::int32_t> Delta16(const std::vector<std::uint16_t>& field)
{
    std::vector<std::int32_t> v(field.size());
    for (std::size_t i = 0; i < field.size(); ++i)
    {
        v[i] = i == 0 ? field[0] : Residual16(field[i], field[i - 1]);
    }
    return v;
}

template <typename Predict>
std::vector<std::int32_t> Residual32(const std::vector<std::int32_t>& field, Predict predict)
{
    std::vector<std::int32_t> v(field.size());
    for (std::size_t i = 0; i < field.size(); ++i)
    {
        v[i] = i == 0 ? field[0]
                      : static_cast<std::int32_t>(static_cast<std::uint32_t>(field[i]) -
                                                  static_cast<std::uint32_t>(predict(i)));
    }
    return v;
}

void AppendChunk(std::vector<std::uint8_t>& out, const std::uint8_t* records, std::size_t n,
                 unsigned format, const EncodeOptions& options)
{
    const ChunkFields f = ReadChunk(records, n, format);
    const bool noisy = options.noisyBitFields;
    const auto value = [&](const std::vector<std::int32_t>& values)
    { AppendValueStream(out, values, options.valueLayout, options.streamEnd); };
    const auto coded = [&](std::span<const std::uint8_t> symbols)
    { AppendCoded(out, symbols, options.streamEnd); };

    coded(Raw(f.userData));
    coded(ByteStream(n, 1, noisy,
                     [&](std::size_t i) -> unsigned {
                         return i == 0 ? f.scanDirection[0]
                                       : f.scanDirection[i] ^ f.scanDirection[i - 1];
                     }));
    coded(Delta(f.scanAngle, 0xFF));
    coded(ByteStream(n, 3, noisy, [&](std::size_t i) -> unsigned { return f.returnNumber[i]; }));
    value(Delta16(f.pointSource));
    coded(ByteStream(n, 3, noisy,
                     [&](std::size_t i) -> unsigned
                     {
                         return i == 0 ? f.numberOfReturns[0]
                                       : (f.numberOfReturns[i] - f.numberOfReturns[i - 1]) & 0x07;
                     }));
    coded(ByteStream(n, 1, noisy, [&](std::size_t i) -> unsigned { return f.edge[i]; }));
    coded(Delta(f.classification, 0xFF));

    value(Residual32(f.x, [&](std::size_t i) { return PredictX(f.x, i); }));
    value(Residual32(f.y, [&](std::size_t i) { return PredictY(f.x, f.y, i); }));
    value(Residual32(f.z, [&](std::size_t i) { return PredictZ(f.x, f.y, f.z, i); }));

    std::vector<std::int32_t> intensity(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        intensity[i] =
            i == 0 ? f.intensity[0]
                   : Residual16(f.intensity[i], i < 3 ? 0 : PredictIntensity(f.z, f.intensity, i));
    }
    value(intensity);

    if (format == 1 || format == 3)
    {
        std::vector<std::int32_t> high(n);
        std::vector<std::int32_t> low(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            std::uint64_t residual = f.gpsTime[i];
            if (i > 0)
            {
                residual -= i < 4 ? f.gpsTime[0] : PredictGPSTime(f.gpsTime, f.scanDirection, i);
            }
            high[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(residual >> 32));
            low[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(residual));
        }
        value(high);
        value(low);
    }
    if (format == 2 || format == 3)
    {
        value(Delta16(f.red));
        value(Delta16(f.green));
        value(Delta16(f.blue));
    }
}

} // namespace

std::vector<std::uint32_t> ChunkSizes(std::uint32_t points)
{
    std::vector<std::uint32_t> sizes;
    std::uint32_t remaining = points;
    do
    {
        const std::uint32_t size = remaining > 2 * kChunk ? kChunk : remaining;
        sizes.push_back(size);
        remaining -= size;
    } while (remaining > 0);
    return sizes;
}

std::vector<std::uint8_t> EncodeEntry(std::span<const std::uint8_t> las, char mode,
                                      const EncodeOptions& options)
{
    const Layout layout = ReadLayout(las, mode);
    const LasHeader& h = layout.header;
    const unsigned format = h.pointDataFormatId;
    if (mode != kRawMode)
    {
        Require(format <= 3,
                "coded entries hold point formats 0 to 3 only, not " + std::to_string(format));
        Require(h.pointDataRecordLength == StandardRecordSize(format),
                "coded entries hold records of the format's standard size only");
        Require(h.numberOfPointRecords > 0, "coded entries hold at least one point");
    }

    std::vector<std::uint8_t> out;
    AppendHeaderImage(out, las, mode, layout.imageVlrCount, options.headerPadding);
    if (layout.imageVlrCount != 0)
    {
        AppendBytes(out, las.data() + h.headerSize, h.offsetToPointData - h.headerSize);
    }
    if (format > 3)
    {
        return out;
    }
    const std::uint8_t* points = las.data() + h.offsetToPointData;
    if (mode == kRawMode)
    {
        AppendBytes(out, points, std::size_t{h.numberOfPointRecords} * h.pointDataRecordLength);
        return out;
    }
    for (const std::uint32_t n : ChunkSizes(h.numberOfPointRecords))
    {
        AppendChunk(out, points, n, format, options);
        points += std::size_t{n} * h.pointDataRecordLength;
    }
    return out;
}

std::vector<std::uint8_t> RebuiltLasFile(std::span<const std::uint8_t> las, char mode)
{
    const Layout layout = ReadLayout(las, mode);
    const LasHeader& h = layout.header;
    std::vector<std::uint8_t> out;
    AppendBytes(out, las.data(), LasHeader::kImageSize);
    // O and V entries are written with the signature's first byte restored to 'L'; coded ones
    // keep their mode byte there, which is 'L' as well.
    out[0] = static_cast<std::uint8_t>(kCodedMode);
    std::uint32_t declaredWhenWriting = layout.imageVlrCount;
    if (mode == kVlrFreeMode)
    {
        StoreLE<std::uint32_t>(out.data() + kNumberOfVlrsAt, 0);
        declaredWhenWriting = 1;
    }
    const std::size_t gap = h.offsetToPointData - h.headerSize;
    if (layout.imageVlrCount != 0)
    {
        AppendBytes(out, las.data() + h.headerSize, gap);
    }
    else if (declaredWhenWriting == 0 && gap == 2)
    {
        out.push_back(0xDD);
        out.push_back(0xCC);
    }
    if (h.pointDataFormatId <= 3)
    {
        AppendBytes(out, las.data() + h.offsetToPointData,
                    std::size_t{h.numberOfPointRecords} * h.pointDataRecordLength);
    }
    return out;
}

} // namespace telvora::testenc
