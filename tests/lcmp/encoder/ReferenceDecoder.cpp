#include "ReferenceDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "encoder/EntryEncoder.h"
#include "encoder/NextStreamRules.h"
#include "encoder/Predictors.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"

namespace telvora::testenc
{

ReferenceReader::ReferenceReader(std::span<const std::uint8_t> bytes, std::size_t start)
    : file(bytes)
    , position(start)
{
}

std::size_t ReferenceReader::Read(std::uint8_t* target, std::size_t count)
{
    const std::size_t available = position < file.size() ? file.size() - position : 0;
    const std::size_t n = std::min(count, available);
    if (n > 0)
    {
        std::memcpy(target, file.data() + position, n);
    }
    position += n;
    return n;
}

std::uint32_t ReferenceReader::ReadRaw32()
{
    std::uint8_t raw[4] = {};
    Read(raw, 4);
    return LoadLE<std::uint32_t>(raw);
}

int ReferenceReader::NextBit()
{
    if (bitsLeft == 0)
    {
        ++current;
        --bytesLeft;
        bitsLeft = 8;
        if (bytesLeft == 0)
        {
            bytesLeft = static_cast<int>(Read(buffer, sizeof buffer));
            if (bytesLeft == 0)
            {
                if (endOfFile)
                {
                    if (++exhausted > 1)
                    {
                        throw ReferenceError("Unable to find stream");
                    }
                    return -1;
                }
                endOfFile = true;
                bytesLeft = 2;
            }
            current = 0;
        }
    }
    --bitsLeft;
    return (buffer[current] >> bitsLeft) & 1;
}

std::vector<std::uint8_t> ReferenceReader::DecodeSymbols(std::size_t n)
{
    bitsLeft = 0;
    bytesLeft = 1;
    current = -1;
    endOfFile = false;
    exhausted = 0;

    std::uint8_t raw[512] = {};
    Read(raw, sizeof raw);
    std::array<std::uint32_t, 256> lows{};
    std::array<std::uint32_t, 256> highs{};
    for (std::size_t k = 0; k < 256; ++k)
    {
        highs[k] = LoadLE<std::uint16_t>(raw + 2 * k);
        lows[k] = k == 0 ? 0 : highs[k - 1];
    }

    std::uint16_t code = 0;
    for (int k = 0; k < 16; ++k)
    {
        code = static_cast<std::uint16_t>((code << 1) + NextBit());
    }
    std::uint16_t low = 0;
    std::uint16_t high = 0xFFFF;

    std::vector<std::uint8_t> symbols(n);
    for (std::size_t s = 0; s < n; ++s)
    {
        const std::int32_t range = high - low + 1;
        const auto count = static_cast<std::int16_t>(
            ((static_cast<std::int32_t>(code) - low + 1) * 10000 - 1) / range);
        const auto wide = static_cast<std::uint32_t>(static_cast<std::int32_t>(count));
        std::size_t k = 0;
        while (k < 256 && !(lows[k] <= wide && wide < highs[k]))
        {
            ++k;
        }
        if (k == 256)
        {
            throw ReferenceError("Unable to find stream");
        }
        symbols[s] = static_cast<std::uint8_t>(k);
        const auto oldLow = low;
        high = static_cast<std::uint16_t>(oldLow +
                                          range * static_cast<std::int32_t>(highs[k]) / 10000 - 1);
        low =
            static_cast<std::uint16_t>(oldLow + range * static_cast<std::int32_t>(lows[k]) / 10000);
        for (;;)
        {
            if ((low & 0x8000) != (high & 0x8000))
            {
                if ((low & 0x4000) == 0 || (high & 0x4000) != 0)
                {
                    break;
                }
                code ^= 0x4000;
                low &= 0x3FFF;
                high |= 0x4000;
            }
            low = static_cast<std::uint16_t>(low << 1);
            high = static_cast<std::uint16_t>((high << 1) | 1);
            code = static_cast<std::uint16_t>((code << 1) + NextBit());
        }
    }

    const auto next = LocateNextStream(
        ReaderWindow{buffer, current, bytesLeft, static_cast<std::int64_t>(position)});
    if (!next)
    {
        throw ReferenceError("Unable to find stream");
    }
    lastRule = next->rule;
    position = static_cast<std::size_t>(next->offset);
    return symbols;
}

std::vector<std::int32_t> ReferenceReader::ReadValueStream(std::size_t n)
{
    std::vector<std::uint32_t> magnitude(n, 0);
    magnitude[0] = ReadRaw32();
    const std::size_t m = n - 1;
    const std::vector<std::uint8_t> lengths = DecodeSymbols(std::max<std::size_t>(m, 1));
    unsigned widest = 0;
    for (std::size_t j = 0; j < m; ++j)
    {
        widest = std::max<unsigned>(widest, lengths[j] >> 1);
    }
    for (unsigned p = 0; p < 4 && p < widest; ++p)
    {
        const std::uint32_t count = ReadRaw32();
        if (count > m)
        {
            throw ReferenceError("byte plane larger than its stream");
        }
        const std::vector<std::uint8_t> plane = DecodeSymbols(std::max<std::size_t>(count, 1));
        std::size_t next = 0;
        for (std::size_t j = 1; j < n; ++j)
        {
            if ((lengths[j - 1] >> 1) > p)
            {
                if (next >= count)
                {
                    throw ReferenceError("byte plane shorter than its stream");
                }
                magnitude[j] += static_cast<std::uint32_t>(plane[next++]) << (8 * p);
            }
        }
    }
    std::vector<std::int32_t> values(n);
    values[0] = static_cast<std::int32_t>(magnitude[0]);
    for (std::size_t j = 1; j < n; ++j)
    {
        const bool negative = (lengths[j - 1] & 1) != 0;
        values[j] = static_cast<std::int32_t>(negative ? 0u - magnitude[j] : magnitude[j]);
    }
    return values;
}

namespace
{

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    if (at + 4 > bytes.size())
    {
        throw ReferenceError("archive too short");
    }
    return LoadLE<std::uint32_t>(bytes.data() + at);
}

// Appends through memcpy: vector::insert trips false bounds warnings in GCC 12.
void Append(std::vector<std::uint8_t>& out, const std::uint8_t* bytes, std::size_t count)
{
    const std::size_t at = out.size();
    out.resize(at + count);
    if (count > 0)
    {
        std::memcpy(out.data() + at, bytes, count);
    }
}

template <typename T>
T Wrap(std::uint64_t value)
{
    return static_cast<T>(value);
}

void RebuildChunk(ReferenceReader& in, std::size_t n, unsigned format,
                  std::vector<std::uint8_t>& out)
{
    std::vector<std::uint8_t> userData, flags, angle, returnNumber, returns, edge, cls;
    std::vector<std::uint16_t> source(n), intensity(n), red(n), green(n), blue(n);
    std::vector<std::int32_t> x(n), y(n), z(n);
    std::vector<std::uint64_t> time(n);

    userData = in.DecodeSymbols(n);
    flags = in.DecodeSymbols(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        flags[i] = Wrap<std::uint8_t>((i == 0 ? 0 : flags[i - 1]) + flags[i]) & 1;
    }
    angle = in.DecodeSymbols(n);
    for (std::size_t i = 1; i < n; ++i)
    {
        angle[i] = Wrap<std::uint8_t>(angle[i - 1] + angle[i]);
    }
    returnNumber = in.DecodeSymbols(n);
    const auto delta16 = [&](std::vector<std::uint16_t>& field)
    {
        const std::vector<std::int32_t> v = in.ReadValueStream(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            field[i] = Wrap<std::uint16_t>((i == 0 ? 0u : field[i - 1]) +
                                           static_cast<std::uint32_t>(v[i]));
        }
    };
    delta16(source);
    returns = in.DecodeSymbols(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        returns[i] = Wrap<std::uint8_t>((i == 0 ? 0 : returns[i - 1]) + returns[i]) & 7;
    }
    edge = in.DecodeSymbols(n);
    cls = in.DecodeSymbols(n);
    for (std::size_t i = 1; i < n; ++i)
    {
        cls[i] = Wrap<std::uint8_t>(cls[i - 1] + cls[i]);
    }
    const auto coordinate = [&](std::vector<std::int32_t>& field, auto predict)
    {
        const std::vector<std::int32_t> v = in.ReadValueStream(n);
        field[0] = v[0];
        for (std::size_t i = 1; i < n; ++i)
        {
            field[i] = Wrap<std::int32_t>(static_cast<std::uint32_t>(predict(i)) +
                                          static_cast<std::uint32_t>(v[i]));
        }
    };
    coordinate(x, [&](std::size_t i) { return PredictX(x, i); });
    coordinate(y, [&](std::size_t i) { return PredictY(x, y, i); });
    coordinate(z, [&](std::size_t i) { return PredictZ(x, y, z, i); });
    {
        const std::vector<std::int32_t> v = in.ReadValueStream(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            const std::uint32_t p = i < 3 ? 0u : PredictIntensity(z, intensity, i);
            intensity[i] = Wrap<std::uint16_t>(p + static_cast<std::uint32_t>(v[i]));
        }
    }
    if (format == 1 || format == 3)
    {
        const std::vector<std::int32_t> hi = in.ReadValueStream(n);
        const std::vector<std::int32_t> lo = in.ReadValueStream(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            const std::uint64_t value = (std::uint64_t{static_cast<std::uint32_t>(hi[i])} << 32) |
                                        static_cast<std::uint32_t>(lo[i]);
            const std::uint64_t p = i == 0 ? 0 : (i < 4 ? time[0] : PredictGPSTime(time, flags, i));
            time[i] = p + value;
        }
    }
    if (format == 2 || format == 3)
    {
        delta16(red);
        delta16(green);
        delta16(blue);
    }

    const std::size_t size = StandardRecordSize(format);
    const std::size_t rgbAt = format == 2 ? 20 : 28;
    for (std::size_t i = 0; i < n; ++i)
    {
        std::uint8_t r[34] = {};
        StoreLE(r + 0, x[i]);
        StoreLE(r + 4, y[i]);
        StoreLE(r + 8, z[i]);
        StoreLE(r + 12, intensity[i]);
        r[14] = static_cast<std::uint8_t>((returnNumber[i] & 7) | (returns[i] << 3) |
                                          (flags[i] << 6) | ((edge[i] & 1) << 7));
        r[15] = cls[i];
        r[16] = angle[i];
        r[17] = userData[i];
        StoreLE(r + 18, source[i]);
        if (format == 1 || format == 3)
        {
            StoreLE(r + 20, time[i]);
        }
        if (format >= 2)
        {
            StoreLE(r + rgbAt, red[i]);
            StoreLE(r + rgbAt + 2, green[i]);
            StoreLE(r + rgbAt + 4, blue[i]);
        }
        Append(out, r, size);
    }
}

} // namespace

std::vector<std::uint8_t> ReferenceRebuild(std::span<const std::uint8_t> archive,
                                           std::string_view name)
{
    if (archive.size() < 8 || archive[0] != 0x1D || archive[1] != 0x2C || archive[2] != 0x3B ||
        archive[3] != 0x4A)
    {
        throw ReferenceError("Wrong file format!");
    }
    const std::uint32_t entries = Le32(archive, archive.size() - 4);
    if (std::uint64_t{entries} * 268 + 4 > archive.size())
    {
        throw ReferenceError("Cannot read LCMPFile file headers");
    }
    const std::size_t directory = archive.size() - 4 - std::size_t{entries} * 268;
    std::size_t start = 0;
    bool found = false;
    for (std::size_t e = 0; e < entries && !found; ++e)
    {
        const std::uint8_t* field = archive.data() + directory + 268 * e + 12;
        const std::size_t length = std::find(field, field + 256, std::uint8_t{0}) - field;
        if (std::string_view(reinterpret_cast<const char*>(field), length) == name)
        {
            start = Le32(archive, directory + 268 * e);
            found = true;
        }
    }
    if (!found)
    {
        throw ReferenceError("LAS file not found in archive!");
    }

    if (start + kHeaderImageBytes > archive.size())
    {
        throw ReferenceError("entry too short");
    }
    const std::uint8_t* image = archive.data() + start;
    std::array<std::uint8_t, 227> header;
    std::memcpy(header.data(), image, 105);
    std::memcpy(header.data() + 105, image + 106, 26);
    std::memcpy(header.data() + 131, image + 136, 96);
    std::vector<std::uint8_t> out;
    Append(out, header.data(), header.size());
    const char mode = static_cast<char>(image[0]);
    const std::uint16_t headerSize = LoadLE<std::uint16_t>(image + 94);
    const std::uint32_t offsetToPoints = LoadLE<std::uint32_t>(image + 96);
    const std::uint32_t vlrCount = LoadLE<std::uint32_t>(image + 100);
    const unsigned format = image[104];
    const std::uint16_t recordLength = LoadLE<std::uint16_t>(image + 106);
    const std::uint32_t points = LoadLE<std::uint32_t>(image + 108);
    std::size_t at = start + kHeaderImageBytes;

    if (mode == kRawMode || mode == kVlrFreeMode)
    {
        out[0] = static_cast<std::uint8_t>(kCodedMode);
    }
    if (mode == kVlrFreeMode)
    {
        StoreLE<std::uint32_t>(out.data() + 100, 0);
    }
    const std::size_t gap = offsetToPoints - headerSize;
    if (vlrCount != 0)
    {
        if (offsetToPoints < headerSize || at + gap > archive.size())
        {
            throw ReferenceError("VLR block out of range");
        }
        Append(out, archive.data() + at, gap);
        at += gap;
    }
    else if (mode != kVlrFreeMode && gap == 2)
    {
        const std::uint8_t signature[2] = {0xDD, 0xCC};
        Append(out, signature, 2);
    }
    if (format > 3)
    {
        return out;
    }
    if (mode == kRawMode)
    {
        const std::size_t bytes = std::size_t{points} * recordLength;
        if (at + bytes > archive.size())
        {
            throw ReferenceError("ReadError::LAS Points");
        }
        Append(out, archive.data() + at, bytes);
        return out;
    }
    if (points == 0 || recordLength != StandardRecordSize(format))
    {
        throw ReferenceError("entry cannot be rebuilt");
    }
    ReferenceReader in(archive, at);
    for (const std::uint32_t n : ChunkSizes(points))
    {
        RebuildChunk(in, n, format, out);
    }
    return out;
}

} // namespace telvora::testenc
