#include "encoder/ValueStreamEncoder.h"

#include <algorithm>
#include <array>

#include "encoder/StreamEncoder.h"

namespace telvora::testenc
{

namespace
{

void AppendLE32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k)
    {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
    }
}

unsigned BytesNeeded(std::uint32_t magnitude)
{
    unsigned count = 0;
    while (magnitude != 0)
    {
        ++count;
        magnitude >>= 8;
    }
    return count;
}

struct Split
{
    unsigned sign = 0;
    std::uint32_t magnitude = 0;
    unsigned byteCount = 0; // as stored; above 4 it reads as 4
};

Split SplitValue(std::int32_t value, std::size_t index, ValueLayout layout)
{
    Split split;
    const auto pattern = static_cast<std::uint32_t>(value);
    if (value < 0 && !(layout == ValueLayout::Padded && index % 2 == 1))
    {
        split.sign = 1;
        split.magnitude = 0u - pattern;
    }
    else
    {
        split.magnitude = pattern;
    }
    split.byteCount = BytesNeeded(split.magnitude);
    if (layout == ValueLayout::Padded)
    {
        if (value == 0)
        {
            split.sign = 1;
        }
        else
        {
            ++split.byteCount;
        }
    }
    return split;
}

void AppendCoded(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> symbols,
                 StreamEnd end)
{
    const EncodedStream stream = EncodeSymbols(symbols, end);
    out.insert(out.end(), stream.bytes.begin(), stream.bytes.end());
}

} // namespace

void AppendValueStream(std::vector<std::uint8_t>& out, std::span<const std::int32_t> values,
                       ValueLayout layout, StreamEnd end)
{
    AppendLE32(out, values.empty() ? 0 : static_cast<std::uint32_t>(values[0]));
    const std::size_t count = values.empty() ? 0 : values.size() - 1;

    std::vector<std::uint8_t> lengths(count);
    std::vector<std::uint32_t> magnitudes(count);
    std::vector<std::uint8_t> planeOf(count);
    unsigned widest = 0;
    for (std::size_t j = 0; j < count; ++j)
    {
        const Split split = SplitValue(values[j + 1], j + 1, layout);
        lengths[j] = static_cast<std::uint8_t>(split.sign | (split.byteCount << 1));
        magnitudes[j] = split.magnitude;
        planeOf[j] = static_cast<std::uint8_t>(std::min(split.byteCount, 4u));
        widest = std::max(widest, split.byteCount);
    }
    AppendCoded(out, lengths, end);

    std::vector<std::uint8_t> plane;
    plane.reserve(count);
    for (unsigned p = 0; p < 4 && p < widest; ++p)
    {
        plane.clear();
        for (std::size_t j = 0; j < count; ++j)
        {
            if (planeOf[j] > p)
            {
                plane.push_back(static_cast<std::uint8_t>(magnitudes[j] >> (8 * p)));
            }
        }
        AppendLE32(out, static_cast<std::uint32_t>(plane.size()));
        AppendCoded(out, plane, end);
    }
}

} // namespace telvora::testenc
