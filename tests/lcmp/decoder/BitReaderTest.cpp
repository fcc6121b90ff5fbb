#include "lcmp/BitReader.h"

#include <gtest/gtest.h>
#include <vector>

#include "las/LasException.h"
#include "lcmp/MemoryByteSource.h"

namespace telvora::test
{
namespace
{

std::vector<int> Bits(BitReader& reader, int count)
{
    std::vector<int> bits;
    bits.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
    {
        bits.push_back(reader.NextBit());
    }
    return bits;
}

std::vector<int> BitsOf(const std::vector<unsigned char>& bytes)
{
    std::vector<int> bits;
    for (const unsigned char byte : bytes)
    {
        for (int b = 7; b >= 0; --b)
        {
            bits.push_back((byte >> b) & 1);
        }
    }
    return bits;
}

TEST(BitReader, DeliversMostSignificantBitFirst)
{
    const unsigned char bytes[] = {0xA5, 0x0F};
    MemoryByteSource source(bytes, sizeof bytes);
    BitReader reader;
    reader.Reset(&source);
    EXPECT_EQ(Bits(reader, 16), BitsOf({0xA5, 0x0F}));
}

TEST(BitReader, RefillsInBlocksOf256Bytes)
{
    std::vector<unsigned char> bytes(600);
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        bytes[i] = static_cast<unsigned char>(i * 7);
    }
    MemoryByteSource source(bytes.data(), bytes.size());
    BitReader reader;
    reader.Reset(&source);
    reader.NextBit();
    EXPECT_EQ(reader.FileAfterFill(), 256);
    EXPECT_EQ(reader.BytesLeft(), 256);
    Bits(reader, 8 * 256 - 1);
    EXPECT_EQ(reader.FileAfterFill(), 256);
    EXPECT_EQ(reader.BytesLeft(), 1);
    EXPECT_EQ(reader.NextBit(), (bytes[256] >> 7) & 1);
    EXPECT_EQ(reader.FileAfterFill(), 512);
    EXPECT_EQ(reader.BytesLeft(), 256);
    EXPECT_EQ(reader.ByteAt(0), bytes[256]);
    EXPECT_EQ(reader.ByteAt(-1), -1);
    EXPECT_EQ(reader.ByteAt(255), bytes[511]);
    EXPECT_EQ(reader.ByteAt(256), -1);
}

TEST(BitReader, FirstExhaustionRepeatsFirstTwoBufferBytesThenGivesMinusOneOnce)
{
    const unsigned char bytes[] = {0xC3, 0x81, 0x7E};
    MemoryByteSource source(bytes, sizeof bytes);
    BitReader reader;
    reader.Reset(&source);
    EXPECT_EQ(Bits(reader, 24), BitsOf({0xC3, 0x81, 0x7E}));
    // The buffer still holds the fill: its first two bytes come again.
    EXPECT_EQ(Bits(reader, 16), BitsOf({0xC3, 0x81}));
    EXPECT_EQ(reader.BytesLeft(), 1);
    EXPECT_EQ(reader.NextBit(), -1);
    EXPECT_EQ(reader.BytesLeft(), 0);
    EXPECT_EQ(reader.FileAfterFill(), 3);
    // A stream that needs still more cannot belong to an archive.
    try
    {
        reader.NextBit();
        FAIL() << "no exception";
    }
    catch (const CLasException& error)
    {
        EXPECT_STREQ(error.GetErrorText(), "Unable to find stream");
    }
}

TEST(BitReader, PaddingOfAnEmptyFileComesFromThePreviousStreamsFill)
{
    const unsigned char first[] = {0x12, 0x34, 0x56};
    MemoryByteSource firstSource(first, sizeof first);
    BitReader reader;
    reader.Reset(&firstSource);
    Bits(reader, 8);

    MemoryByteSource empty(nullptr, 0);
    reader.Reset(&empty);
    EXPECT_EQ(Bits(reader, 16), BitsOf({0x12, 0x34}));
    EXPECT_EQ(reader.NextBit(), -1);
}

} // namespace
} // namespace telvora::test
