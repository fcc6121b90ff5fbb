#include "encoder/StreamEncoder.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "encoder/NextStreamRules.h"

namespace telvora::testenc
{

namespace
{

// Bits most significant first, as the decoder takes them.
class BitWriter
{
public:
    explicit BitWriter(std::vector<std::uint8_t>& target)
        : out(target)
    {
    }

    void Put(unsigned bit)
    {
        partial = static_cast<std::uint8_t>((partial << 1) | bit);
        ++bits;
        if (bits % 8 == 0)
        {
            out.push_back(partial);
            partial = 0;
        }
    }
    void PutRepeated(unsigned bit, std::uint64_t count)
    {
        for (; count > 0; --count)
        {
            Put(bit);
        }
    }
    std::uint64_t Count() const { return bits; }

private:
    std::vector<std::uint8_t>& out;
    std::uint8_t partial = 0;
    std::uint64_t bits = 0;
};

// Layouts of the end of a stream, tried in order: the bytes after the current byte. Which one a
// stream gets depends on how close its current byte lies to the end of the decoder's buffer
// (rules 6 to 8 take the marker's missing part as read) and on whether the byte before it is FF.
struct Tail
{
    std::uint8_t bytes[3];
    std::size_t length;
};
constexpr Tail kTails[] = {{{0xFF, 0xFF, 0x00}, 3}, {{0xFF, 0x00}, 2}, {{0x00}, 1}};

void AppendTable(std::vector<std::uint8_t>& out, const FrequencyTable& table)
{
    for (const std::uint16_t h : table)
    {
        out.push_back(static_cast<std::uint8_t>(h & 0xFF));
        out.push_back(static_cast<std::uint8_t>(h >> 8));
    }
}

void CheckTable(const FrequencyTable& table)
{
    std::uint16_t previous = 0;
    for (const std::uint16_t h : table)
    {
        if (h < previous)
        {
            throw std::invalid_argument("frequency table is not non-decreasing");
        }
        previous = h;
    }
    if (table.back() != kScale)
    {
        throw std::invalid_argument("frequency table does not end at 10000");
    }
}

} // namespace

FrequencyTable MakeFrequencyTable(std::span<const std::uint8_t> symbols)
{
    std::array<std::uint64_t, 256> counts{};
    for (const std::uint8_t s : symbols)
    {
        ++counts[s];
    }
    if (symbols.empty())
    {
        counts[0] = 1;
    }
    const std::uint64_t total = std::max<std::uint64_t>(symbols.size(), 1);

    std::array<std::int32_t, 256> units{};
    std::int32_t sum = 0;
    for (std::size_t k = 0; k < 256; ++k)
    {
        if (counts[k] > 0)
        {
            units[k] =
                std::max<std::int32_t>(1, static_cast<std::int32_t>(counts[k] * kScale / total));
            sum += units[k];
        }
    }
    // Rounding leaves the sum a few units off; the most frequent symbols absorb the difference,
    // where it costs the least.
    while (sum != static_cast<std::int32_t>(kScale))
    {
        const auto largest = std::max_element(units.begin(), units.end());
        if (sum < static_cast<std::int32_t>(kScale))
        {
            *largest += static_cast<std::int32_t>(kScale) - sum;
            sum = kScale;
        }
        else
        {
            --*largest;
            --sum;
        }
    }

    FrequencyTable table{};
    std::uint32_t running = 0;
    for (std::size_t k = 0; k < 256; ++k)
    {
        running += static_cast<std::uint32_t>(units[k]);
        table[k] = static_cast<std::uint16_t>(running);
    }
    return table;
}

EncodedStream EncodeSymbols(std::span<const std::uint8_t> symbols)
{
    return EncodeSymbols(symbols, MakeFrequencyTable(symbols));
}

EncodedStream EncodeSymbols(std::span<const std::uint8_t> symbols, const FrequencyTable& table)
{
    CheckTable(table);
    static constexpr std::uint8_t kDummy[1] = {0};
    if (symbols.empty())
    {
        symbols = kDummy;
    }

    EncodedStream stream;
    AppendTable(stream.bytes, table);
    std::vector<std::uint8_t> coded;
    BitWriter writer(coded);

    std::uint32_t low = 0;
    std::uint32_t high = 0xFFFF;
    std::uint64_t pending = 0;
    std::uint64_t shifts = 0;
    for (const std::uint8_t s : symbols)
    {
        const std::uint32_t symbolLow = s == 0 ? 0 : table[s - 1];
        const std::uint32_t symbolHigh = table[s];
        if (symbolLow >= symbolHigh)
        {
            throw std::invalid_argument("symbol " + std::to_string(s) +
                                        " has no room in the frequency table");
        }
        const std::uint32_t range = high - low + 1;
        high = low + range * symbolHigh / kScale - 1;
        low = low + range * symbolLow / kScale;
        for (;;)
        {
            if (((low ^ high) & 0x8000) == 0)
            {
                const unsigned bit = high >> 15;
                writer.Put(bit);
                writer.PutRepeated(bit ^ 1, pending);
                pending = 0;
            }
            else if ((low & 0x4000) != 0 && (high & 0x4000) == 0)
            {
                ++pending;
                low &= 0x3FFF;
                high |= 0x4000;
            }
            else
            {
                break;
            }
            low = (low << 1) & 0xFFFF;
            high = ((high << 1) | 1) & 0xFFFF;
            ++shifts;
        }
    }

    // Two more bits pick the quarter of the final interval that lies wholly inside it (01 when
    // low is in the lowest quarter, else 10, either way with the pending bits resolved); any
    // bits after them keep the decoder's window inside the interval.
    ++pending;
    const unsigned quarter = (low & 0x4000) != 0 ? 1 : 0;
    writer.Put(quarter);
    writer.PutRepeated(quarter ^ 1, pending);
    if (writer.Count() != shifts + 2)
    {
        throw std::logic_error("arithmetic encoder lost count of its bits");
    }

    // The decoder's window ends 16 bits after its last shift; the byte holding that bit is its
    // current byte. All of it lies after the two determining bits, so it is padding, and padding
    // with ones makes it FF, which keeps rules 1 and 2 (a marker before it) from applying.
    const std::uint64_t lastBit = shifts + 15;
    const std::size_t current = static_cast<std::size_t>(lastBit / 8);
    while (coded.size() <= current)
    {
        writer.Put(1);
    }

    // Simulate the decoder's buffer around the current byte, assuming full read blocks.
    const std::size_t blockStart = current / kReadBlock * kReadBlock;
    const int position = static_cast<int>(current - blockStart);
    const int bytesLeft = static_cast<int>(kReadBlock) - position;
    const std::int64_t filePosition = static_cast<std::int64_t>(blockStart + kReadBlock);
    for (const Tail& tail : kTails)
    {
        // The rules look up to three bytes ahead within the buffer; none of them may belong to
        // the next stream, which is not known here.
        if (static_cast<int>(tail.length) < std::min(3, bytesLeft - 1))
        {
            continue;
        }
        std::array<std::uint8_t, kReadBlock> buffer{};
        std::copy(coded.begin() + static_cast<std::ptrdiff_t>(blockStart), coded.end(),
                  buffer.begin());
        for (std::size_t k = 0; k < tail.length && position + 1 + k < kReadBlock; ++k)
        {
            buffer[position + 1 + k] = tail.bytes[k];
        }
        const auto next =
            LocateNextStream(ReaderWindow{buffer.data(), position, bytesLeft, filePosition});
        if (next && next->offset == static_cast<std::int64_t>(current + 1 + tail.length))
        {
            stream.bytes.insert(stream.bytes.end(), coded.begin(), coded.end());
            stream.bytes.insert(stream.bytes.end(), tail.bytes, tail.bytes + tail.length);
            stream.currentByte = kTableBytes + current;
            stream.rule = next->rule;
            return stream;
        }
    }
    throw std::logic_error("no end layout lets the decoder find the next stream");
}

} // namespace telvora::testenc
