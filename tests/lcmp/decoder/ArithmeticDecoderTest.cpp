#include "lcmp/ArithmeticDecoder.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ArchiveBytes.h"
#include "las/LasException.h"
#include "lcmp/MemoryByteSource.h"

namespace telvora::test
{
namespace
{

// H[0] = 5000: symbols 0 and 1 split the interval in halves, so each symbol is one input bit.
const std::vector<std::uint16_t> kHalves = {5000};
// Quarter, half, quarter: symbol 1 straddles the middle and takes the underflow path.
const std::vector<std::uint16_t> kQuarters = {2500, 7500};

Bytes Stream(const std::vector<std::uint16_t>& table, const Bytes& coded)
{
    Bytes stream = TableImage(table);
    Append(stream, coded);
    return stream;
}

std::string ErrorOf(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const CLasException& error)
    {
        return error.GetErrorText();
    }
    return "no exception";
}

struct Decoded
{
    Bytes symbols;
    std::int64_t position = -1;
};

Decoded Decode(const Bytes& file, std::size_t n)
{
    MemoryByteSource source(file.data(), file.size());
    ArithmeticDecoder decoder;
    Decoded result;
    result.symbols.resize(n);
    decoder.DecodeSymbols(result.symbols.data(), n, source);
    result.position = source.Position();
    return result;
}

TEST(ArithmeticDecoder, AllTenThousandTableDecodesZeros)
{
    Bytes file = ConstantStream(0);
    Append(file, Bytes(400, 0x5A));
    const Decoded decoded = Decode(file, 1000);
    EXPECT_EQ(decoded.symbols, Bytes(1000, 0));
    // The marker is the first 16 bits read; the next stream follows it directly.
    EXPECT_EQ(decoded.position, 515);
}

TEST(ArithmeticDecoder, SingleSymbolStillLocatesTheNextStream)
{
    Bytes file = ConstantStream(7);
    Append(file, ConstantStream(9));
    MemoryByteSource source(file.data(), file.size());
    ArithmeticDecoder decoder;
    unsigned char symbol = 0;
    decoder.DecodeSymbols(&symbol, 1, source);
    EXPECT_EQ(symbol, 7);
    EXPECT_EQ(source.Position(), 515);
    decoder.DecodeSymbols(&symbol, 1, source);
    EXPECT_EQ(symbol, 9);
    EXPECT_EQ(source.Position(), 1030);
}

TEST(ArithmeticDecoder, HalvesTableDecodesTheInputBits)
{
    // 24 bits are read: the 16 of the window and one per symbol, so the current byte is 0x34
    // and the marker starts right after it.
    Bytes file = Stream(kHalves, {0xA5, 0x12, 0x34, 0xFF, 0xFF, 0x00});
    Append(file, Bytes(300, 0x55));
    const Decoded decoded = Decode(file, 8);
    EXPECT_EQ(decoded.symbols, (Bytes{1, 0, 1, 0, 0, 1, 0, 1}));
    EXPECT_EQ(decoded.position, 518);
}

TEST(ArithmeticDecoder, QuartersTableDecodesHandDerivedSymbols)
{
    // Window 0x4000: count 2500 lies in symbol 1's [2500, 7500); underflow flips the code to 0,
    // one bit comes in; then symbol 0 twice, two bits each.
    Bytes underflow = Stream(kQuarters, {0x40, 0x00, 0x00, 0xFF, 0xFF, 0x00});
    Append(underflow, Bytes(300, 0x55));
    Decoded decoded = Decode(underflow, 3);
    EXPECT_EQ(decoded.symbols, (Bytes{1, 0, 0}));
    EXPECT_EQ(decoded.position, 518);

    // Window 0xC000: count 7500 is symbol 2, whose interval shares the top two bits.
    Bytes top = Stream(kQuarters, {0xC0, 0x00, 0x00, 0xFF, 0xFF, 0x00});
    Append(top, Bytes(300, 0x55));
    decoded = Decode(top, 3);
    EXPECT_EQ(decoded.symbols, (Bytes{2, 0, 0}));
    EXPECT_EQ(decoded.position, 518);

    // Window 0x8000 stays 0x8000 through every underflow: symbol 1 for one bit each.
    Bytes middle = Stream(kQuarters, {0x80, 0x00, 0x00, 0xFF, 0xFF, 0x00});
    Append(middle, Bytes(300, 0x55));
    decoded = Decode(middle, 8);
    EXPECT_EQ(decoded.symbols, Bytes(8, 1));
    EXPECT_EQ(decoded.position, 518);
}

TEST(ArithmeticDecoder, NoMarkerAroundCurrentByteFailsWithUnableToFindStream)
{
    Bytes file = Stream(kHalves, Bytes(300, 0x11));
    // 56 bits: the current byte is the seventh of a full buffer.
    EXPECT_EQ(ErrorOf([&] { Decode(file, 40); }), "Unable to find stream");
}

TEST(ArithmeticDecoder, TableCutShortFailsWithUnableToFindStream)
{
    const Bytes file(300, 0x00);
    EXPECT_EQ(ErrorOf([&] { Decode(file, 1); }), "Unable to find stream");
}

TEST(ArithmeticDecoder, ExhaustedFileIsPaddedOnceThenEndsWithMinusOneBit)
{
    // One coded byte: the window takes it and the padding (the byte again, then the fresh
    // buffer's zero); the 25th bit is the -1 of the second exhaustion.
    const Bytes file = Stream(kHalves, {0xA5});
    const Decoded decoded = Decode(file, 9);
    EXPECT_EQ(decoded.symbols, (Bytes{1, 0, 1, 0, 0, 1, 0, 1, 1}));
    // Fewer than four bytes left and no marker: three bytes after the end of the last read.
    EXPECT_EQ(decoded.position, 513 + 3);
    // One more symbol needs a bit beyond the -1.
    EXPECT_EQ(ErrorOf([&] { Decode(file, 10); }), "Unable to find stream");
}

// A well-formed table's symbols are taken on a fast path that trusts the code to stay between
// low and high. A stream's first symbol sees the whole range of 65536 code values: a table that
// splits its 10000 counts at L must give symbol 1 from 65536 * L / 10000 (rounded down, where an
// encoder starts symbol 1's interval) and symbol 0 just below, for every L. For L = 5000 that is
// 0x8000 and 0x7FFF.
TEST(ArithmeticDecoder, TheFirstSymbolChangesExactlyAtEveryBoundary)
{
    int wrong = 0;
    for (std::uint32_t bound = 1; bound < 10000; ++bound)
    {
        const std::uint32_t first = 65536 * bound / 10000;
        for (const auto& [code, expected] : {std::pair{first - 1, 0}, std::pair{first, 1}})
        {
            Bytes file = Stream(
                {static_cast<std::uint16_t>(bound)},
                {static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF)});
            Append(file, Bytes(300, 0x55));
            MemoryByteSource source(file.data(), file.size());
            ArithmeticDecoder decoder;
            unsigned char symbol = 0xEE;
            // Where the next stream starts is not what this checks: the file has no marker.
            ErrorOf([&] { decoder.DecodeSymbols(&symbol, 1, source); });
            wrong += symbol == expected ? 0 : 1;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The resynchronisation rules, each on a buffer state reached by reading bits of a file that
// starts right at the buffered part (no table in front).
struct RuleCase
{
    const char* name;
    std::size_t fileSize;
    std::map<std::size_t, unsigned char> bytes;
    // Bits read: the current byte is (bits - 1) / 8.
    int bits;
    std::int64_t expected;
};

std::int64_t Locate(const RuleCase& rule)
{
    Bytes file(rule.fileSize, 0x11);
    for (const auto& [at, value] : rule.bytes)
    {
        file[at] = value;
    }
    MemoryByteSource source(file.data(), file.size());
    BitReader reader;
    reader.Reset(&source);
    for (int i = 0; i < rule.bits; ++i)
    {
        reader.NextBit();
    }
    return ArithmeticDecoder::FindNextStream(reader);
}

constexpr int AtByte(int current)
{
    return 8 * (current + 1);
}

TEST(FindNextStream, EachRuleGivesItsOffset)
{
    const RuleCase rules[] = {
        {"1: marker at -3", 300, {{10, 0xFF}, {11, 0xFF}, {12, 0x00}}, AtByte(13), 13},
        {"1 blocked by b[0] = FF, 4 applies",
         300,
         {{10, 0xFF}, {11, 0xFF}, {12, 0x00}, {13, 0xFF}, {14, 0xFF}, {15, 0x00}},
         AtByte(13),
         16},
        {"2: marker at -2", 300, {{11, 0xFF}, {12, 0xFF}, {13, 0x00}}, AtByte(13), 14},
        {"2 blocked by b[1] = FF, 5 applies",
         300,
         {{11, 0xFF}, {12, 0xFF}, {13, 0x00}, {14, 0xFF}, {15, 0xFF}, {16, 0x00}},
         AtByte(13),
         17},
        {"3: marker at -1", 300, {{12, 0xFF}, {13, 0xFF}, {14, 0x00}}, AtByte(13), 15},
        {"4: marker at 0", 300, {{13, 0xFF}, {14, 0xFF}, {15, 0x00}}, AtByte(13), 16},
        {"5: marker at 1", 300, {{14, 0xFF}, {15, 0xFF}, {16, 0x00}}, AtByte(13), 17},
        {"6: end of buffer after FF FF", 300, {{252, 0xFF}, {253, 0xFF}}, AtByte(253), 257},
        {"7: end of buffer after FF", 300, {{253, 0xFF}}, AtByte(253), 258},
        {"8: end of buffer", 300, {}, AtByte(253), 259},
        {"8: last buffered byte", 300, {}, AtByte(255), 259},
        {"9: middle of the buffer", 300, {}, AtByte(13), -1},
        {"9: fifth byte of a fresh buffer", 600, {}, AtByte(260), -1},
        {"10: fresh buffer starting 00 after FF",
         600,
         {{256, 0xFF}, {257, 0x00}},
         AtByte(256),
         258},
        {"11: fresh buffer starting 00", 600, {{256, 0x00}}, AtByte(256), 257},
        {"12: fresh buffer", 600, {}, AtByte(256), 256},
        {"12: fourth byte of a fresh buffer", 600, {}, AtByte(259), 259},
    };
    for (const RuleCase& rule : rules)
    {
        EXPECT_EQ(Locate(rule), rule.expected) << rule.name;
    }
}

TEST(FindNextStream, BytesBeyondAShortFillHoldNoValue)
{
    // The file ends two bytes after the current one, and the buffer behind them still holds
    // zeros: FF FF there is no marker at 1, since its 00 lies beyond the valid bytes.
    const RuleCase rule = {"short fill", 20, {{18, 0xFF}, {19, 0xFF}}, AtByte(17), 20 + 3};
    EXPECT_EQ(Locate(rule), rule.expected);
}

} // namespace
} // namespace telvora::test
