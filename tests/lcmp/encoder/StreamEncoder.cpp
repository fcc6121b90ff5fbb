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

EncodedStream EncodeSymbols(std::span<const std::uint8_t> symbols, StreamEnd end)
{
    return EncodeSymbols(symbols, MakeFrequencyTable(symbols), end);
}

EncodedStream EncodeSymbols(std::span<const std::uint8_t> symbols, const FrequencyTable& table,
                            StreamEnd end)
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
    // Where the rules place the next stream when the stream's bytes are `kept` coded bytes and
    // the tail, followed by the three bytes `after` and then by bytes that are neither FF nor 00.
    const auto locate = [&](std::size_t kept, const Tail& tail, const std::uint8_t(&after)[3])
    {
        std::array<std::uint8_t, kReadBlock> buffer{};
        for (std::size_t j = 0; j < kReadBlock; ++j)
        {
            const std::size_t i = blockStart + j;
            buffer[j] = i < kept                     ? coded[i]
                        : i < kept + tail.length     ? tail.bytes[i - kept]
                        : i < kept + tail.length + 3 ? after[i - kept - tail.length]
                                                     : std::uint8_t{0x01};
        }
        return LocateNextStream(ReaderWindow{buffer.data(), position, bytesLeft, filePosition});
    };
    static constexpr std::uint8_t kZeros[3] = {0x00, 0x00, 0x00};
    const auto accept = [&](std::size_t kept, const Tail& tail)
    {
        stream.bytes.insert(stream.bytes.end(), coded.begin(),
                            coded.begin() + static_cast<std::ptrdiff_t>(kept));
        stream.bytes.insert(stream.bytes.end(), tail.bytes, tail.bytes + tail.length);
        stream.currentByte = kTableBytes + current;
        return stream;
    };

    if (end == StreamEnd::Tight)
    {
        // Only the bits up to the last determining one must be the stream's own; the window's
        // remaining bits may be anything. Shortest first; a layout counts only when the next
        // stream is found at its end whatever follows it. The rules look at most three bytes
        // ahead and only ask whether a byte is FF, 00 or neither: 27 cases cover them all.
        const std::size_t needed = static_cast<std::size_t>((shifts + 1) / 8) + 1;
        for (std::size_t length = needed; length <= current + 4; ++length)
        {
            for (const Tail& tail : kTails)
            {
                if (tail.length > length || length - tail.length < needed ||
                    length - tail.length > current + 1)
                {
                    continue;
                }
                const std::size_t kept = length - tail.length;
                bool found = true;
                constexpr std::uint8_t kKinds[3] = {0x00, 0xFF, 0x01};
                for (int c = 0; c < 27 && found; ++c)
                {
                    const std::uint8_t after[3] = {kKinds[c % 3], kKinds[c / 3 % 3], kKinds[c / 9]};
                    const auto next = locate(kept, tail, after);
                    found = next && next->offset == static_cast<std::int64_t>(length);
                }
                if (found)
                {
                    stream.rule = locate(kept, tail, kZeros)->rule;
                    return accept(kept, tail);
                }
            }
        }
    }

    for (const Tail& tail : kTails)
    {
        // The rules look up to three bytes ahead within the buffer; none of them may belong to
        // the next stream, which is not known here.
        if (static_cast<int>(tail.length) < std::min(3, bytesLeft - 1))
        {
            continue;
        }
        const auto next = locate(coded.size(), tail, kZeros);
        if (next && next->offset == static_cast<std::int64_t>(current + 1 + tail.length))
        {
            stream.rule = next->rule;
            return accept(coded.size(), tail);
        }
    }
    throw std::logic_error("no end layout lets the decoder find the next stream");
}

} // namespace telvora::testenc
