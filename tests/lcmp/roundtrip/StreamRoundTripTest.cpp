#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "TestFiles.h"
#include "encoder/StreamEncoder.h"
#include "encoder/ValueStreamEncoder.h"
#include "las/LasException.h"
#include "lcmp/ArithmeticDecoder.h"
#include "lcmp/FileByteSource.h"
#include "lcmp/LCMPStreamContext.h"
#include "lcmp/MemoryByteSource.h"

namespace telvora
{
namespace
{

using testenc::EncodedStream;
using testenc::EncodeSymbols;
using testenc::kReadBlock;
using testenc::kTableBytes;
using Bytes = std::vector<std::uint8_t>;

// Prefix, stream, a short follower stream and enough bytes after it for full read blocks.
struct Layout
{
    Bytes file;
    std::size_t streamAt = 0;
    std::size_t followerAt = 0;
};

Layout Place(std::size_t prefix, const EncodedStream& stream)
{
    static const EncodedStream follower = EncodeSymbols(Bytes{1, 2, 3});
    Layout layout;
    layout.file.assign(prefix, 0xFF);
    layout.streamAt = prefix;
    layout.file.insert(layout.file.end(), stream.bytes.begin(), stream.bytes.end());
    layout.followerAt = layout.file.size();
    layout.file.insert(layout.file.end(), follower.bytes.begin(), follower.bytes.end());
    layout.file.insert(layout.file.end(), 300, 0x00);
    return layout;
}

// Decodes the stream and its follower from the source, checking where each leaves it.
void ExpectDecodes(IByteSource& source, const Layout& layout, const Bytes& symbols)
{
    ArithmeticDecoder decoder;
    Bytes decoded(std::max<std::size_t>(symbols.size(), 1));
    ASSERT_TRUE(source.Seek(static_cast<std::int64_t>(layout.streamAt)));
    decoder.DecodeSymbols(decoded.data(), decoded.size(), source);
    ASSERT_EQ(decoded, symbols.empty() ? Bytes{0} : symbols);
    ASSERT_EQ(source.Position(), static_cast<std::int64_t>(layout.followerAt));
    Bytes follower(3);
    decoder.DecodeSymbols(follower.data(), follower.size(), source);
    ASSERT_EQ(follower, (Bytes{1, 2, 3}));
}

// Streams decoded two at a time, each with its own decoder and file, give their own symbols and
// positions: streams of different lengths and tables, a table that gives every count to one
// symbol, one that is not what an encoder writes (its last value 9000) and so takes the general
// path, a stream whose file runs out in its last symbol, and a stream that fails beside one
// that does not.
TEST(StreamRoundTrip, StreamsDecodedTogetherGiveWhatEachGivesAlone)
{
    std::mt19937 random(11);
    auto flat = [&](std::size_t n)
    {
        Bytes symbols(n);
        for (auto& symbol : symbols)
        {
            symbol = static_cast<std::uint8_t>(random());
        }
        return symbols;
    };
    auto skewed = [&](std::size_t n)
    {
        std::geometric_distribution<int> geometric(0.8);
        Bytes symbols(n);
        for (auto& symbol : symbols)
        {
            symbol = static_cast<std::uint8_t>(std::min(geometric(random), 255));
        }
        return symbols;
    };
    testenc::FrequencyTable halves;
    halves.fill(10000);
    halves[0] = 5000;
    Bytes bits(6000);
    for (auto& bit : bits)
    {
        bit = static_cast<std::uint8_t>(random() & 1);
    }
    // H[0] = 5000 and one coded byte, at the end of its file: the last symbol takes the -1 bit of
    // the second exhaustion (the first repeats the byte and a zero), and the next stream is taken
    // to start three bytes after the end.
    Bytes exhausted = {0x88, 0x13};
    for (int k = 1; k < 256; ++k)
    {
        exhausted.insert(exhausted.end(), {0x10, 0x27});
    }
    exhausted.push_back(0xA5);

    struct Side
    {
        Bytes file;
        std::size_t at = 0;
        Bytes symbols;
        std::int64_t next = -1;
    };
    auto coded = [](const Bytes& symbols, const testenc::FrequencyTable* table = nullptr)
    {
        const Layout layout =
            Place(7, table != nullptr ? EncodeSymbols(symbols, *table) : EncodeSymbols(symbols));
        return Side{layout.file, layout.streamAt, symbols,
                    static_cast<std::int64_t>(layout.followerAt)};
    };
    // Symbols 0 and 1 only, so the last value can be 9000 in the file without changing them.
    Side damaged = coded(bits, &halves);
    damaged.file[damaged.at + 510] = 0x28;
    damaged.file[damaged.at + 511] = 0x23;
    struct Case
    {
        const char* name;
        Side first;
        Side second;
    };
    const Case cases[] = {
        {"flat beside skewed", coded(flat(5000)), coded(skewed(12000))},
        {"one symbol beside flat", coded(Bytes(3000, 9)), coded(flat(4000))},
        {"general path beside skewed", damaged, coded(skewed(2000))},
        {"file running out beside flat", Side{exhausted, 0, {1, 0, 1, 0, 0, 1, 0, 1, 1}, 516},
         coded(flat(700))},
        {"failing beside flat", coded(flat(900)), Side{Bytes(300, 0), 0, {0}, -1}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        MemoryByteSource first(c.first.file.data(), c.first.file.size());
        MemoryByteSource second(c.second.file.data(), c.second.file.size());
        first.Seek(static_cast<std::int64_t>(c.first.at));
        second.Seek(static_cast<std::int64_t>(c.second.at));
        Bytes outFirst(c.first.symbols.size());
        Bytes outSecond(c.second.symbols.size());
        ArithmeticDecoder::Job jobs[2] = {{&first, outFirst.data(), outFirst.size(), nullptr},
                                          {&second, outSecond.data(), outSecond.size(), nullptr}};
        auto decoders = std::make_unique<ArithmeticDecoder[]>(2);
        ArithmeticDecoder* both[2] = {&decoders[0], &decoders[1]};
        ArithmeticDecoder::DecodeTogether(both, jobs);
        for (int side = 0; side < 2; ++side)
        {
            const Side& expected = side == 0 ? c.first : c.second;
            if (expected.next < 0)
            {
                ASSERT_TRUE(jobs[side].error);
                EXPECT_THROW(std::rethrow_exception(jobs[side].error), CLasException);
                continue;
            }
            ASSERT_FALSE(jobs[side].error);
            EXPECT_EQ(side == 0 ? outFirst : outSecond, expected.symbols);
            EXPECT_EQ((side == 0 ? first : second).Position(), expected.next);
        }
    }
}

// Where a stream's last byte falls in the decoder's 256-byte read buffer, and near the buffer's
// end whether the byte before it is FF, decides how the decoder finds the next stream.
TEST(StreamRoundTrip, NextStreamIsFoundFromEveryPositionInTheReadBuffer)
{
    // Symbol 0 costs one bit, the others about nine, so that random mixes end at every bit of a
    // byte and streams of up to 600 symbols at every byte of a buffer.
    testenc::FrequencyTable table;
    for (std::size_t k = 0; k < 256; ++k)
    {
        table[k] = static_cast<std::uint16_t>(5000 + (5000 * k + 254) / 255);
    }
    std::mt19937 random(23);
    std::set<std::size_t> positions;
    std::set<std::pair<std::size_t, bool>> nearEnd;
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
        if (positions.contains(position) && (position < 253 || nearEnd.contains(end)) &&
            attempt % 16 != 0)
        {
            continue;
        }
        SCOPED_TRACE(testing::Message() << "attempt " << attempt << ", position " << position);
        const Layout layout = Place(attempt % 7, stream);
        MemoryByteSource source(layout.file.data(), layout.file.size());
        ExpectDecodes(source, layout, symbols);
        ASSERT_FALSE(HasFatalFailure());
        positions.insert(position);
        if (position >= 253)
        {
            nearEnd.insert(end);
        }
    }
    EXPECT_EQ(positions.size(), kReadBlock);
    EXPECT_EQ(nearEnd.size(), 6u);
}

TEST(StreamRoundTrip, StreamInAFileDecodesAfterPrefixesOfEveryLengthUpToABlock)
{
    std::mt19937 random(5);
    std::vector<std::pair<Bytes, EncodedStream>> streams;
    for (const std::size_t length : {0u, 1u, 300u, 2000u})
    {
        Bytes symbols(length);
        for (auto& s : symbols)
        {
            s = static_cast<std::uint8_t>(random() % 16);
        }
        streams.emplace_back(symbols, EncodeSymbols(symbols));
    }
    test::TempDir dir;
    const std::string path = dir.File("streams.bin");
    for (std::size_t prefix = 0; prefix < kReadBlock; ++prefix)
    {
        for (const auto& [symbols, stream] : streams)
        {
            SCOPED_TRACE(testing::Message()
                         << "prefix " << prefix << ", " << symbols.size() << " symbols");
            const Layout layout = Place(prefix, stream);
            test::WriteAll(path, layout.file);
            FileByteSource source(path.c_str());
            ASSERT_TRUE(source.IsOpen());
            ExpectDecodes(source, layout, symbols);
            ASSERT_FALSE(HasFatalFailure());
        }
    }
}

TEST(StreamRoundTrip, ValueStreamsOfEitherLayoutDecodeToTheirValues)
{
    const std::vector<std::int32_t> values = {
        5,      0,        1,         -1,        255,        -255,        256,       -256, 65535,
        -65536, 0x7FFFFF, -0x800000, 0x1000000, 2147483647, -2147483647, INT32_MIN, 0,    17};
    for (const auto layout : {testenc::ValueLayout::Minimal, testenc::ValueLayout::Padded})
    {
        for (const std::size_t n : {std::size_t{1}, std::size_t{2}, values.size()})
        {
            SCOPED_TRACE(testing::Message() << n << " values");
            const std::vector<std::int32_t> part(values.begin(),
                                                 values.begin() + static_cast<std::ptrdiff_t>(n));
            Bytes file;
            testenc::AppendValueStream(file, part, layout);
            const std::size_t end = file.size();
            file.insert(file.end(), 300, 0x00);
            MemoryByteSource source(file.data(), file.size());
            LCMPStreamContext context;
            std::vector<std::int32_t> decoded(n);
            context.ReadValueStream(source, decoded.data(), n);
            EXPECT_EQ(decoded, part);
            EXPECT_EQ(source.Position(), static_cast<std::int64_t>(end));
        }
    }
}

} // namespace
} // namespace telvora
