// The decoder against a literal transcription of the coding rules: bit by bit, a linear symbol
// scan, one renormalisation step at a time. Random and damaged streams must give the same
// symbols, the same next-stream offset and the same failures.

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <vector>

#include "ArchiveBytes.h"
#include "las/LasException.h"
#include "lcmp/ArithmeticDecoder.h"
#include "lcmp/MemoryByteSource.h"

namespace telvora::test
{
namespace
{

struct Failed
{
};

class LiteralDecoder
{
public:
    struct Result
    {
        Bytes symbols;
        std::int64_t next = -1;
    };

    // Nothing when decoding fails.
    std::optional<Result> Decode(const Bytes& file, std::size_t n)
    {
        data = &file;
        position = 0;
        bitsLeft = 0;
        bytesLeft = 1;
        endOfFile = false;
        spent = false;
        try
        {
            return Run(n);
        }
        catch (const Failed&)
        {
            return std::nullopt;
        }
    }

private:
    std::size_t ReadFile(unsigned char* to, std::size_t size)
    {
        std::size_t got = 0;
        while (got < size && position < data->size())
        {
            to[got++] = (*data)[position++];
        }
        return got;
    }

    int Bit()
    {
        if (bitsLeft == 0)
        {
            if (spent)
            {
                throw Failed{};
            }
            ++current;
            --bytesLeft;
            bitsLeft = 8;
            if (bytesLeft == 0)
            {
                const std::size_t got = ReadFile(buffer, 256);
                after = static_cast<std::int64_t>(position);
                if (got == 0 && endOfFile)
                {
                    spent = true;
                    bitsLeft = 0;
                    return -1;
                }
                if (got == 0)
                {
                    endOfFile = true;
                    bytesLeft = 2;
                }
                else
                {
                    bytesLeft = static_cast<int>(got);
                }
                current = 0;
            }
        }
        --bitsLeft;
        return (buffer[current] >> bitsLeft) & 1;
    }

    int B(int k) const
    {
        const int at = current + k;
        return at < 0 || at >= 256 || k >= bytesLeft ? -1 : buffer[at];
    }

    bool Marker(int k) const { return B(k) == 0xFF && B(k + 1) == 0xFF && B(k + 2) == 0x00; }

    std::int64_t Next() const
    {
        const std::int64_t t = after;
        const std::int64_t l = bytesLeft;
        if (Marker(-3) && B(0) != 0xFF)
            return t - l;
        if (Marker(-2) && B(1) != 0xFF)
            return t - l + 1;
        if (Marker(-1))
            return t - l + 2;
        if (Marker(0))
            return t - l + 3;
        if (Marker(1))
            return t - l + 4;
        if (l < 4 && B(-1) == 0xFF && B(0) == 0xFF)
            return t + 1;
        if (l < 4 && B(0) == 0xFF)
            return t + 2;
        if (l < 4)
            return t + 3;
        if (l <= 252)
            return -1;
        if (B(0) == 0xFF && B(1) == 0x00)
            return t - l + 2;
        if (B(0) == 0x00)
            return t - l + 1;
        return t - l;
    }

    Result Run(std::size_t n)
    {
        unsigned char image[512];
        if (ReadFile(image, 512) != 512)
        {
            throw Failed{};
        }
        std::uint16_t lowOf[256];
        std::uint16_t highOf[256];
        for (std::size_t k = 0; k < 256; ++k)
        {
            highOf[k] = static_cast<std::uint16_t>(image[2 * k] | image[2 * k + 1] << 8);
            lowOf[k] = k == 0 ? 0 : highOf[k - 1];
        }
        std::uint16_t code = 0;
        for (int i = 0; i < 16; ++i)
        {
            code = static_cast<std::uint16_t>((code << 1) + Bit());
        }
        std::uint16_t low = 0;
        std::uint16_t high = 0xFFFF;
        Result result;
        for (std::size_t i = 0; i < n; ++i)
        {
            const std::int32_t range = high - low + 1;
            if (range == 0)
            {
                throw Failed{};
            }
            const auto count = static_cast<std::int16_t>(((code - low + 1) * 10000 - 1) / range);
            int symbol = 0;
            for (int k = 0; k < 256; ++k)
            {
                const auto c = static_cast<std::uint32_t>(static_cast<std::int32_t>(count));
                if (lowOf[k] <= c && c < highOf[k])
                {
                    symbol = k;
                    break;
                }
            }
            const std::int64_t highProduct =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(range) * highOf[symbol]);
            const std::int64_t lowProduct =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(range) * lowOf[symbol]);
            const std::uint16_t oldLow = low;
            high = static_cast<std::uint16_t>(oldLow + highProduct / 10000 - 1);
            low = static_cast<std::uint16_t>(oldLow + lowProduct / 10000);
            for (;;)
            {
                if ((low & 0x8000) == (high & 0x8000))
                {
                }
                else if ((low & 0x4000) != 0 && (high & 0x4000) == 0)
                {
                    code ^= 0x4000;
                    low &= 0x3FFF;
                    high |= 0x4000;
                }
                else
                {
                    break;
                }
                low = static_cast<std::uint16_t>(low << 1);
                high = static_cast<std::uint16_t>((high << 1) | 1);
                code = static_cast<std::uint16_t>((code << 1) + Bit());
            }
            result.symbols.push_back(static_cast<unsigned char>(symbol));
        }
        result.next = Next();
        if (result.next < 0)
        {
            throw Failed{};
        }
        return result;
    }

    const Bytes* data = nullptr;
    std::size_t position = 0;
    unsigned char buffer[256] = {};
    int current = -1;
    int bytesLeft = 1;
    int bitsLeft = 0;
    bool endOfFile = false;
    bool spent = false;
    std::int64_t after = 0;
};

std::optional<LiteralDecoder::Result> Fast(ArithmeticDecoder& decoder, const Bytes& file,
                                           std::size_t n)
{
    MemoryByteSource source(file.data(), file.size());
    LiteralDecoder::Result result;
    result.symbols.resize(n);
    try
    {
        decoder.DecodeSymbols(result.symbols.data(), n, source);
    }
    catch (const CLasException&)
    {
        return std::nullopt;
    }
    result.next = source.Position();
    return result;
}

std::vector<std::uint16_t> RandomTable(std::mt19937& random, bool damaged)
{
    std::vector<std::uint16_t> h(256);
    if (damaged)
    {
        for (auto& value : h)
        {
            value = static_cast<std::uint16_t>(random() % 3 == 0 ? random() : random() % 10001);
        }
        return h;
    }
    // A few symbols with most of the weight, as real streams have.
    const int used = 1 + static_cast<int>(random() % 12);
    std::vector<int> cuts;
    cuts.reserve(static_cast<std::size_t>(used - 1));
    for (int k = 0; k < used - 1; ++k)
    {
        cuts.push_back(static_cast<int>(random() % 10001));
    }
    std::sort(cuts.begin(), cuts.end());
    const int first = static_cast<int>(random() % 200);
    for (int k = 0; k < 256; ++k)
    {
        const int index = k - first;
        h[static_cast<std::size_t>(k)] =
            index < 0 ? 0
                      : (index < used - 1
                             ? static_cast<std::uint16_t>(cuts[static_cast<std::size_t>(index)])
                             : 10000);
    }
    return h;
}

TEST(ArithmeticDecoderReference, RandomStreamsDecodeLikeTheLiteralRules)
{
    std::mt19937 random(2024);
    ArithmeticDecoder decoder;
    LiteralDecoder literal;
    int decoded = 0;
    for (int round = 0; round < 3000; ++round)
    {
        const bool damaged = round % 4 == 3;
        Bytes file = TableImage(RandomTable(random, damaged));
        const std::size_t coded = random() % 700;
        // Markers sown densely in most rounds, so that many streams find one where they end.
        const unsigned density = round % 3;
        while (file.size() < 512 + coded)
        {
            const unsigned r = random() % 8;
            if (r < 2 * density)
            {
                Append(file, {0xFF, 0xFF, 0x00});
            }
            else
            {
                file.push_back(r == 7 ? 0xFF : static_cast<unsigned char>(random()));
            }
        }
        const std::size_t n = 1 + random() % 2000;
        const auto expected = literal.Decode(file, n);
        const auto actual = Fast(decoder, file, n);
        ASSERT_EQ(expected.has_value(), actual.has_value()) << "round " << round;
        if (expected)
        {
            ++decoded;
            ASSERT_EQ(expected->symbols, actual->symbols) << "round " << round;
            ASSERT_EQ(expected->next, actual->next) << "round " << round;
        }
    }
    // Most rounds must get as far as comparing symbols, or the test proves little.
    EXPECT_GT(decoded, 1000);
}

} // namespace
} // namespace telvora::test
