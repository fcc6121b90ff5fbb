#include "encoder/StreamEncoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "ReferenceDecoder.h"
#include "encoder/NextStreamRules.h"

namespace telvora::testenc
{
namespace
{

using Bytes = std::vector<std::uint8_t>;

// The reader's 256-byte buffer, filled with 0x11 except for the bytes given, at the end of a
// stream whose current byte is at `current`, with the buffer read up to file offset 1000.
struct RuleCase
{
    const char* what;
    int current;
    int bytesLeft;
    std::vector<std::pair<int, std::uint8_t>> bytes; // buffer position, value
    int rule;                                        // 0: no rule places the next stream
    std::int64_t offset;
};

constexpr std::int64_t kEnd = 1000;

// File offset of buffer position p in a full buffer.
constexpr std::int64_t At(int p)
{
    return kEnd - 256 + p;
}

TEST(LocateNextStream, EachRulePlacesTheNextStreamWhereItsCaseSays)
{
    const std::vector<RuleCase> cases = {
        {"marker ends before the current byte",
         10,
         246,
         {{7, 0xFF}, {8, 0xFF}, {9, 0x00}},
         1,
         At(10)},
        {"marker ends before an FF current byte",
         10,
         246,
         {{7, 0xFF}, {8, 0xFF}, {9, 0x00}, {10, 0xFF}},
         0,
         0},
        {"marker ends at the current byte", 10, 246, {{8, 0xFF}, {9, 0xFF}, {10, 0x00}}, 2, At(11)},
        {"marker ends at the current byte, FF after it",
         10,
         246,
         {{8, 0xFF}, {9, 0xFF}, {10, 0x00}, {11, 0xFF}},
         0,
         0},
        {"marker around the current byte", 10, 246, {{9, 0xFF}, {10, 0xFF}, {11, 0x00}}, 3, At(12)},
        {"marker from the current byte", 10, 246, {{10, 0xFF}, {11, 0xFF}, {12, 0x00}}, 4, At(13)},
        {"marker after the current byte", 10, 246, {{11, 0xFF}, {12, 0xFF}, {13, 0x00}}, 5, At(14)},
        {"marker after the current byte at the end of the buffer",
         252,
         4,
         {{253, 0xFF}, {254, 0xFF}, {255, 0x00}},
         5,
         kEnd},
        {"two FF closing the buffer", 254, 2, {{253, 0xFF}, {254, 0xFF}}, 6, kEnd + 1},
        {"one FF near the buffer's end", 254, 2, {{254, 0xFF}}, 7, kEnd + 2},
        {"no FF at the buffer's end", 255, 1, {}, 8, kEnd + 3},
        {"nothing in the middle of the buffer", 100, 156, {}, 0, 0},
        {"marker four bytes ahead is out of reach",
         100,
         156,
         {{102, 0xFF}, {103, 0xFF}, {104, 0xFF}, {105, 0x00}},
         0,
         0},
        {"FF 00 opening a fresh buffer", 1, 255, {{1, 0xFF}, {2, 0x00}}, 10, At(3)},
        {"00 opening a fresh buffer", 0, 256, {{0, 0x00}}, 11, At(1)},
        {"anything else opening a fresh buffer", 2, 254, {}, 12, At(2)},
        // A buffer cut short by the end of the file: bytes past the valid ones do not count.
        {"marker beyond the valid bytes", 10, 2, {{10, 0xFF}, {11, 0xFF}, {12, 0x00}}, 7, kEnd + 2},
        // Position -1 holds no value; were it taken for FF, rule 1 would give the current byte.
        {"positions before the buffer", 2, 254, {{0, 0xFF}, {1, 0x00}, {2, 0x00}}, 11, At(3)},
    };
    for (const RuleCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::array<std::uint8_t, 256> buffer;
        buffer.fill(0x11);
        for (const auto& [position, value] : c.bytes)
        {
            buffer[static_cast<std::size_t>(position)] = value;
        }
        const auto next =
            LocateNextStream(ReaderWindow{buffer.data(), c.current, c.bytesLeft, kEnd});
        if (c.rule == 0)
        {
            EXPECT_FALSE(next.has_value());
            continue;
        }
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(next->rule, c.rule);
        EXPECT_EQ(next->offset, c.offset);
    }
}

Bytes Concat(std::initializer_list<const Bytes*> parts)
{
    Bytes all;
    for (const Bytes* part : parts)
    {
        all.insert(all.end(), part->begin(), part->end());
    }
    return all;
}

Bytes CodedPart(const EncodedStream& stream)
{
    return Bytes(stream.bytes.begin() + static_cast<std::ptrdiff_t>(kTableBytes),
                 stream.bytes.end());
}

TEST(EncodeSymbols, EmptyInputIsOneZeroUnderTheTableThatGivesZeroEverything)
{
    const EncodedStream stream = EncodeSymbols(Bytes{});
    ASSERT_EQ(stream.bytes.size(), kTableBytes + 5);
    for (std::size_t k = 0; k < 256; ++k)
    {
        EXPECT_EQ(stream.bytes[2 * k], 0x10) << k; // 10000 = 0x2710
        EXPECT_EQ(stream.bytes[2 * k + 1], 0x27) << k;
    }
    // No renormalisation; the quarter bits 01, fourteen ones to fill the window, then FF FF 00
    // right after the current byte.
    EXPECT_EQ(CodedPart(stream), (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0x00}));
    EXPECT_EQ(stream.currentByte, kTableBytes + 1);
    EXPECT_EQ(stream.rule, 5);
}

TEST(EncodeSymbols, UpperHalfSymbolShiftsOutAOneBeforeTheQuarterBits)
{
    FrequencyTable halves;
    halves.fill(10000);
    halves[0] = 5000;
    // Symbol 1: low 32768, high 65535, one shift emitting 1; then 01 and padding.
    const EncodedStream stream = EncodeSymbols(Bytes{1}, halves);
    EXPECT_EQ(CodedPart(stream), (Bytes{0xBF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
    EXPECT_EQ(ReferenceReader(stream.bytes).DecodeSymbols(1), Bytes{1});
}

TEST(EncodeSymbols, SymbolOutsideTheTableIsRefused)
{
    FrequencyTable table;
    table.fill(10000);
    EXPECT_THROW(EncodeSymbols(Bytes{3}, table), std::invalid_argument);
    table[0] = 9000; // not ending at the total
    table[255] = 9999;
    EXPECT_THROW(EncodeSymbols(Bytes{0}, table), std::invalid_argument);
}

TEST(MakeFrequencyTable, EveryOccurringSymbolKeepsAUnitAndTheTotalIsTenThousand)
{
    Bytes symbols(100000, 7);
    for (int s = 0; s < 256; ++s)
    {
        symbols.push_back(static_cast<std::uint8_t>(s));
    }
    const FrequencyTable table = MakeFrequencyTable(symbols);
    EXPECT_EQ(table[255], 10000);
    std::uint16_t previous = 0;
    for (std::size_t k = 0; k < 256; ++k)
    {
        EXPECT_GT(table[k], previous) << k;
        previous = table[k];
    }
}

// Streams of the given symbols, each followed by a short second stream and enough bytes for
// full read blocks, decoded by the reference reader.
void ExpectRoundTrip(const Bytes& symbols, const EncodedStream& stream)
{
    static const EncodedStream follower = EncodeSymbols(Bytes{1, 2, 3});
    const Bytes tail(300, 0x5A);
    const Bytes file = Concat({&stream.bytes, &follower.bytes, &tail});
    ReferenceReader reader(file);
    ASSERT_EQ(reader.DecodeSymbols(std::max<std::size_t>(symbols.size(), 1)),
              symbols.empty() ? Bytes{0} : symbols);
    ASSERT_EQ(reader.Position(), stream.bytes.size());
    ASSERT_EQ(reader.LastRule(), stream.rule);
    ASSERT_EQ(reader.DecodeSymbols(3), (Bytes{1, 2, 3}));
    ASSERT_EQ(reader.Position(), stream.bytes.size() + follower.bytes.size());
}

TEST(EncodeSymbols, SkewedAndUniformSourcesDecodeToTheirSymbols)
{
    std::mt19937 random(7);
    for (const double skew : {0.0, 0.5, 0.9, 0.999})
    {
        for (const std::size_t length : {1u, 2u, 17u, 1000u, 20000u})
        {
            SCOPED_TRACE(testing::Message() << "skew " << skew << ", length " << length);
            std::bernoulli_distribution common(skew);
            Bytes symbols(length);
            for (auto& s : symbols)
            {
                s = common(random) ? 42 : static_cast<std::uint8_t>(random());
            }
            ExpectRoundTrip(symbols, EncodeSymbols(symbols));
        }
    }
}

TEST(EncodeSymbols, RareSymbolsOfOneUnitDecodeAmongFrequentOnes)
{
    // One unit of 10000 each for symbols 0 and 255, at both ends of the table.
    FrequencyTable table;
    for (std::size_t k = 0; k < 256; ++k)
    {
        table[k] = static_cast<std::uint16_t>(k == 0 ? 1 : (k < 255 ? 1 + 9998 * k / 254 : 10000));
    }
    Bytes symbols;
    for (int k = 0; k < 3000; ++k)
    {
        symbols.push_back(static_cast<std::uint8_t>(k % 5 == 0 ? 0 : (k % 7 == 0 ? 255 : k)));
    }
    ExpectRoundTrip(symbols, EncodeSymbols(symbols, table));
}

// The end of a stream depends on where its current byte falls in the reader's 256-byte buffer,
// and near the buffer's end also on whether the byte before it is FF: every such case must lead
// the reader exactly to the next stream.
TEST(EncodeSymbols, NextStreamIsFoundFromEveryPositionInTheReadBuffer)
{
    // Symbol 0 costs one bit, the others about nine, so that random mixes end at every bit of a
    // byte and streams of up to 600 symbols at every byte of a buffer.
    FrequencyTable table;
    for (std::size_t k = 0; k < 256; ++k)
    {
        table[k] = static_cast<std::uint16_t>(5000 + (5000 * k + 254) / 255);
    }
    std::mt19937 random(11);
    std::set<std::size_t> positions;
    std::map<std::pair<std::size_t, bool>, int> nearEnd; // position, byte before is FF -> rule
    std::set<int> rules;
    // The byte before the current one is not FF only when the final bits fall at its start, one
    // stream in several, so this takes a few thousand streams.
    for (int attempt = 0; attempt < 50000 && (positions.size() < kReadBlock || nearEnd.size() < 6);
         ++attempt)
    {
        Bytes symbols(random() % 600);
        for (auto& b : symbols)
        {
            b = random() % 2 == 0 ? 0 : static_cast<std::uint8_t>(random());
        }
        const EncodedStream stream = EncodeSymbols(symbols, table);
        const std::size_t position = (stream.currentByte - kTableBytes) % kReadBlock;
        const std::pair<std::size_t, bool> end{position,
                                               stream.bytes[stream.currentByte - 1] == 0xFF};
        const bool seen = positions.contains(position) && (position < 253 || nearEnd.contains(end));
        if (seen && attempt % 16 != 0)
        {
            continue;
        }
        SCOPED_TRACE(testing::Message() << "attempt " << attempt);
        ExpectRoundTrip(symbols, stream);
        ASSERT_FALSE(HasFatalFailure());
        positions.insert(position);
        rules.insert(stream.rule);
        if (position >= 253)
        {
            nearEnd[end] = stream.rule;
        }
    }
    EXPECT_EQ(positions.size(), kReadBlock);
    const std::map<std::pair<std::size_t, bool>, int> expected = {
        {{253, false}, 4}, {{253, true}, 6},  {{254, false}, 7},
        {{254, true}, 6},  {{255, false}, 7}, {{255, true}, 6}};
    EXPECT_EQ(nearEnd, expected);
    EXPECT_EQ(rules, (std::set<int>{4, 5, 6, 7}));
}

TEST(EncodeSymbols, StreamDecodesAfterPrefixesOfEveryLengthUpToABlock)
{
    std::mt19937 random(5);
    Bytes symbols(300);
    for (auto& s : symbols)
    {
        s = static_cast<std::uint8_t>(random() % 16);
    }
    const EncodedStream stream = EncodeSymbols(symbols);
    const EncodedStream follower = EncodeSymbols(Bytes{9});
    const Bytes tail(300, 0);
    for (std::size_t prefix = 0; prefix < kReadBlock; ++prefix)
    {
        const Bytes before(prefix, 0xFF);
        const Bytes file = Concat({&before, &stream.bytes, &follower.bytes, &tail});
        ReferenceReader reader(file, prefix);
        ASSERT_EQ(reader.DecodeSymbols(symbols.size()), symbols) << prefix;
        ASSERT_EQ(reader.Position(), prefix + stream.bytes.size()) << prefix;
        ASSERT_EQ(reader.DecodeSymbols(1), Bytes{9}) << prefix;
    }
}

} // namespace
} // namespace telvora::testenc
