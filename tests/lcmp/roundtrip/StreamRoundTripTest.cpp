#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "TestFiles.h"
#include "encoder/StreamEncoder.h"
#include "encoder/ValueStreamEncoder.h"
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
