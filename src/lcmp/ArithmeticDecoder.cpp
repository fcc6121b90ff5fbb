#include "lcmp/ArithmeticDecoder.h"

#include <bit>
#include <cstring>

#include "las/LasException.h"
#include "lcmp/LcmpMessages.h"

namespace telvora
{

namespace
{

constexpr int kMarkerByte = 0xFF;
constexpr int kMarkerEnd = 0x00;

[[noreturn]] void StreamNotFound()
{
    throw CLasException(LcmpMessage::kStreamNotFound);
}

// The renormalisation bit by bit, as the coding rules state it: `shifts` plain shifts, then
// `underflows` underflow steps that flip bit 14 of the code before shifting. Used near a refill,
// where the -1 of an exhausted file must land where it falls.
std::uint16_t ShiftInBitByBit(BitReader& reader, std::uint16_t code, unsigned shifts,
                              unsigned underflows)
{
    for (unsigned i = 0; i < shifts; ++i)
    {
        code = static_cast<std::uint16_t>((code << 1) + reader.NextBit());
    }
    for (unsigned i = 0; i < underflows; ++i)
    {
        code = static_cast<std::uint16_t>(((code ^ 0x4000u) << 1) + reader.NextBit());
    }
    return code;
}

} // namespace

void ArithmeticDecoder::DecodeSymbols(unsigned char* buffer, std::size_t n, IByteSource& source)
{
    reader.Reset(&source);

    // The table is read straight from the file, before the first buffered read. A table cut
    // short by the end of the file has no end marker behind it.
    unsigned char image[FrequencyTable::kImageSize];
    if (source.Read(image, sizeof image) != sizeof image)
    {
        StreamNotFound();
    }
    table.Build(image);

    // Registers are 16-bit and wrap; the -1 "bit" of an exhausted file decrements the code.
    std::uint16_t code = 0;
    for (int i = 0; i < 16; ++i)
    {
        code = static_cast<std::uint16_t>((code << 1) + reader.NextBit());
    }
    std::uint16_t low = 0;
    std::uint16_t high = 0xFFFF;
    constexpr std::int32_t kScale = FrequencyTable::kScale;

    for (std::size_t i = 0; i < n; ++i)
    {
        const std::int32_t range = std::int32_t{high} - std::int32_t{low} + 1;
        // Only a damaged table can make high fall below low; a zero range cannot be divided by.
        if (range == 0)
        {
            StreamNotFound();
        }
        const std::int32_t scaled = (std::int32_t{code} - std::int32_t{low} + 1) * kScale - 1;
        const auto count = static_cast<std::int16_t>(scaled / range);
        const std::uint8_t symbol = table.Symbol(count);

        // 32-bit products as the producer's machine computes them: they wrap, which only a table
        // with values above 10000 can make happen.
        const auto highProduct = static_cast<std::int32_t>(static_cast<std::uint32_t>(range) *
                                                           std::uint32_t{table.High(symbol)});
        const auto lowProduct = static_cast<std::int32_t>(static_cast<std::uint32_t>(range) *
                                                          std::uint32_t{table.Low(symbol)});
        const std::uint16_t oldLow = low;
        const std::uint16_t oldHigh = high;
        high = static_cast<std::uint16_t>(std::int32_t{low} + highProduct / kScale - 1);
        low = static_cast<std::uint16_t>(std::int32_t{low} + lowProduct / kScale);

        // Renormalisation in one step instead of bit by bit, without branches: first every
        // leading bit on which low and high agree is shifted out, then every underflow step
        // follows (low 01..., high 10..., and each step keeps that pattern one bit further
        // down). Underflow steps never lead back to plain shifts, and the two together never
        // take more than 16 bits. Of the underflow steps' flips of code bit 14 only the last
        // survives the shifts, in bit 15.
        const unsigned agree = std::countl_zero(static_cast<std::uint16_t>(low ^ high));
        const std::uint32_t shiftedLow = (std::uint32_t{low} << agree) & 0xFFFFu;
        const std::uint32_t shiftedHigh =
            ((std::uint32_t{high} << agree) | ((1u << agree) - 1u)) & 0xFFFFu;
        const unsigned underflow =
            std::countl_one(static_cast<std::uint16_t>((shiftedLow & ~shiftedHigh & 0x7FFFu) << 1));
        const std::uint32_t flip = underflow != 0 ? 0x8000u : 0u;
        low = static_cast<std::uint16_t>((shiftedLow << underflow) & (0xFFFFu ^ flip));
        high = static_cast<std::uint16_t>((shiftedHigh << underflow) | ((1u << underflow) - 1u) |
                                          flip);
        const unsigned shift = agree + underflow;
        std::uint32_t bits = 0;
        if (reader.TryTake(shift, bits))
        {
            code = static_cast<std::uint16_t>(((std::uint32_t{code} << shift) | bits) ^ flip);
        }
        else
        {
            code = ShiftInBitByBit(reader, code, agree, underflow);
        }
        buffer[i] = symbol;

        // A symbol that owns the whole interval leaves every register as it was and reads no
        // bit: every later symbol of the stream is the same. Constant fields are common.
        if (shift == 0 && low == oldLow && high == oldHigh)
        {
            std::memset(buffer + i + 1, symbol, n - i - 1);
            break;
        }
    }

    const std::int64_t next = FindNextStream(reader);
    if (next < 0 || !source.Seek(next))
    {
        StreamNotFound();
    }
}

std::int64_t ArithmeticDecoder::FindNextStream(const BitReader& reader)
{
    auto b = [&reader](int k) { return reader.ByteAt(k); };
    auto marker = [&b](int k)
    { return b(k) == kMarkerByte && b(k + 1) == kMarkerByte && b(k + 2) == kMarkerEnd; };

    const std::int64_t after = reader.FileAfterFill();
    const int left = reader.BytesLeft();
    // File offset of the current byte.
    const std::int64_t here = after - left;

    if (marker(-3) && b(0) != kMarkerByte)
    {
        return here;
    }
    if (marker(-2) && b(1) != kMarkerByte)
    {
        return here + 1;
    }
    if (marker(-1))
    {
        return here + 2;
    }
    if (marker(0))
    {
        return here + 3;
    }
    if (marker(1))
    {
        return here + 4;
    }
    // Near the end of the buffer the rest of the marker is taken to follow in the unread file.
    if (left < 4)
    {
        if (b(-1) == kMarkerByte && b(0) == kMarkerByte)
        {
            return after + 1;
        }
        if (b(0) == kMarkerByte)
        {
            return after + 2;
        }
        return after + 3;
    }
    if (left <= 252)
    {
        return -1;
    }
    // Among the first bytes of a fresh buffer the start of the marker is taken to have been in
    // the previous fill.
    if (b(0) == kMarkerByte && b(1) == kMarkerEnd)
    {
        return here + 2;
    }
    if (b(0) == kMarkerEnd)
    {
        return here + 1;
    }
    return here;
}

} // namespace telvora
