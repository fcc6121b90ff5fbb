#include "lcmp/ArithmeticDecoder.h"

#include <algorithm>
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

// The coder's three registers, each holding 16 bits.
struct Registers
{
    std::uint32_t low = 0;
    std::uint32_t high = 0xFFFF;
    std::uint32_t code = 0;
};

// The renormalisation in one step instead of bit by bit, without branches: first every leading
// bit on which low and high agree is shifted out, then every underflow step follows (low 01...,
// high 10..., and each step keeps that pattern one bit further down). Underflow steps never lead
// back to plain shifts, and the two together never take more than 16 bits. Of the underflow
// steps' flips of code bit 14 only the last survives the shifts, in bit 15: `flip`.
struct Renormalised
{
    unsigned agree;
    unsigned underflow;
    std::uint32_t flip;
};

inline Renormalised Renormalise(Registers& r, std::uint32_t low, std::uint32_t high)
{
    const unsigned agree = std::countl_zero(low ^ high) - 16;
    const std::uint32_t shiftedLow = (low << agree) & 0xFFFFu;
    const std::uint32_t shiftedHigh = ((high << agree) | ((1u << agree) - 1u)) & 0xFFFFu;
    const unsigned underflow = std::countl_one((shiftedLow & ~shiftedHigh & 0x7FFFu) << 17);
    const std::uint32_t flip = underflow != 0 ? 0x8000u : 0u;
    r.low = (shiftedLow << underflow) & (0xFFFFu ^ flip);
    r.high = ((shiftedHigh << underflow) | ((1u << underflow) - 1u) | flip) & 0xFFFFu;
    return {agree, underflow, flip};
}

// One symbol as the coding rules define it, for any table and any registers. False, with the
// symbol stored, when the symbol owned the whole interval: the registers did not move and no bit
// was read, so every later symbol of the stream is the same.
bool GeneralStep(Registers& r, BitReader& reader, const FrequencyTable& table,
                 unsigned char& symbolOut)
{
    constexpr std::int32_t kScale = FrequencyTable::kScale;
    const auto low = static_cast<std::int32_t>(r.low);
    const std::int32_t range = static_cast<std::int32_t>(r.high) - low + 1;
    // Only a damaged table can make high fall below low; a zero range cannot be divided by.
    if (range == 0)
    {
        StreamNotFound();
    }
    const std::int32_t scaled = (static_cast<std::int32_t>(r.code) - low + 1) * kScale - 1;
    const auto count = static_cast<std::int16_t>(scaled / range);
    const std::uint8_t symbol = table.Symbol(count);

    // 32-bit products as the producer's machine computes them: they wrap, which only a table
    // with values above 10000 can make happen.
    const auto highProduct = static_cast<std::int32_t>(static_cast<std::uint32_t>(range) *
                                                       std::uint32_t{table.High(symbol)});
    const auto lowProduct = static_cast<std::int32_t>(static_cast<std::uint32_t>(range) *
                                                      std::uint32_t{table.Low(symbol)});
    const Registers old = r;
    const auto high = static_cast<std::uint16_t>(low + highProduct / kScale - 1);
    const auto newLow = static_cast<std::uint16_t>(low + lowProduct / kScale);
    const Renormalised step = Renormalise(r, newLow, high);
    const unsigned shift = step.agree + step.underflow;
    std::uint32_t bits = 0;
    if (reader.TryTake(shift, bits))
    {
        r.code = (((r.code << shift) | bits) ^ step.flip) & 0xFFFFu;
    }
    else
    {
        r.code =
            ShiftInBitByBit(reader, static_cast<std::uint16_t>(r.code), step.agree, step.underflow);
    }
    symbolOut = symbol;
    return !(shift == 0 && r.low == old.low && r.high == old.high);
}

// Symbols [i, n) of a stream through GeneralStep.
void GeneralSymbols(Registers& r, BitReader& reader, const FrequencyTable& table,
                    unsigned char* out, std::size_t i, std::size_t n)
{
    for (; i < n; ++i)
    {
        if (!GeneralStep(r, reader, table, out[i]))
        {
            std::memset(out + i + 1, out[i], n - i - 1);
            break;
        }
    }
}

// One symbol of a well-formed table while the code lies between low and high, which every
// step then keeps: the count lies in 0 to 9999, every value is positive and below 2^31, and the
// same arithmetic as GeneralStep's needs no sign. The bits come straight from the reader's buffer,
// which must hold 16 valid bits from `bit` on.
inline std::uint8_t FastStep(Registers& r, int& bit, const ArithmeticDecoder& decoder)
{
    constexpr std::uint32_t kScale = FrequencyTable::kScale;
    const FrequencyTable& table = decoder.Table();
    const std::uint32_t range = r.high - r.low + 1;
    const std::uint32_t count = ((r.code - r.low + 1) * kScale - 1) / range;
    const std::uint32_t bounds = table.Bounds()[count];
    const std::uint8_t symbol = table.Symbols()[count];
    const std::uint32_t high = r.low + range * (bounds >> 16) / kScale - 1;
    const std::uint32_t low = r.low + range * (bounds & 0xFFFFu) / kScale;
    const Renormalised step = Renormalise(r, low, high);
    const unsigned shift = step.agree + step.underflow;

    std::uint32_t window;
    std::memcpy(&window, decoder.Reader().Bytes() + (bit >> 3), sizeof window);
    if constexpr (std::endian::native == std::endian::little)
    {
        window = __builtin_bswap32(window);
    }
    const std::uint32_t next16 = (window << (bit & 7)) >> 16;
    r.code = (((r.code << shift) | (next16 >> (16 - shift))) ^ step.flip) & 0xFFFFu;
    bit += static_cast<int>(shift);
    return symbol;
}

// A stream being decoded on the fast path: its registers, where its reader's bits are, and its
// output.
struct Lane
{
    Registers r;
    int bit = 0;
    int end = 0;
    ArithmeticDecoder* decoder = nullptr;
    ArithmeticDecoder::Job* job = nullptr;
    std::size_t i = 0;
};

// `steps` symbols of each of K lanes, in turns. Each lane's state is copied into locals, which
// the compiler keeps in registers: the byte stores of the output could otherwise alias it.
template <int K>
void RunLanes(Lane* lanes, std::size_t steps)
{
    Registers r[K];
    int bit[K];
    unsigned char* out[K];
    const ArithmeticDecoder* decoder[K];
    for (int k = 0; k < K; ++k)
    {
        r[k] = lanes[k].r;
        bit[k] = lanes[k].bit;
        decoder[k] = lanes[k].decoder;
        out[k] = lanes[k].job->out + lanes[k].i;
    }
    for (std::size_t s = 0; s < steps; ++s)
    {
#pragma GCC unroll 2
        for (int k = 0; k < K; ++k)
        {
            out[k][s] = FastStep(r[k], bit[k], *decoder[k]);
        }
    }
    for (int k = 0; k < K; ++k)
    {
        lanes[k].r = r[k];
        lanes[k].bit = bit[k];
        lanes[k].i += steps;
    }
}

} // namespace

void ArithmeticDecoder::DecodeSymbols(unsigned char* buffer, std::size_t n, IByteSource& source)
{
    Job job{&source, buffer, n, nullptr};
    ArithmeticDecoder* self = this;
    DecodeTogether({&self, 1}, {&job, 1});
    if (job.error)
    {
        std::rethrow_exception(job.error);
    }
}

void ArithmeticDecoder::DecodeTogether(std::span<ArithmeticDecoder* const> decoders,
                                       std::span<Job> jobs)
{
    // After the last symbol: where the next stream begins.
    auto finish = [](ArithmeticDecoder& decoder, Job& job)
    {
        const std::int64_t next = FindNextStream(decoder.reader);
        if (next < 0)
        {
            const BitReader& bits = decoder.reader;
            throw EndMarkerMissing(bits.FileAfterFill() - bits.BytesLeft());
        }
        if (!job.source->Seek(next))
        {
            StreamNotFound();
        }
    };

    Lane lanes[kMaxJobs];
    int count = 0;
    for (std::size_t j = 0; j < jobs.size() && j < kMaxJobs; ++j)
    {
        ArithmeticDecoder& decoder = *decoders[j];
        Job& job = jobs[j];
        try
        {
            decoder.reader.Reset(job.source);
            // The table is read straight from the file, before the first buffered read. A table
            // cut short by the end of the file has no end marker behind it.
            unsigned char image[FrequencyTable::kImageSize];
            if (job.source->Read(image, sizeof image) != sizeof image)
            {
                StreamNotFound();
            }
            decoder.table.Build(image);
            // The -1 "bit" of an exhausted file decrements the code.
            Registers r;
            for (int b = 0; b < 16; ++b)
            {
                r.code = (r.code << 1) + static_cast<std::uint32_t>(decoder.reader.NextBit());
            }
            r.code &= 0xFFFFu;
            const int only = decoder.table.OnlySymbol();
            if (only >= 0)
            {
                // The registers never move: every symbol is that one, and no bit is read.
                std::memset(job.out, only, job.n);
                finish(decoder, job);
            }
            else if (!decoder.table.WellFormed())
            {
                GeneralSymbols(r, decoder.reader, decoder.table, job.out, 0, job.n);
                finish(decoder, job);
            }
            else
            {
                lanes[count++] = {
                    r, decoder.reader.BitIndex(), decoder.reader.BitEnd(), &decoder, &job, 0};
            }
        }
        catch (...)
        {
            job.error = std::current_exception();
        }
    }

    constexpr int kMaxShift = 16;
    while (count > 0)
    {
        // As many symbols as every lane can take without reaching the end of its output or of
        // its buffered bits, each symbol taking at most 16.
        std::size_t steps = SIZE_MAX;
        for (int k = 0; k < count; ++k)
        {
            const Lane& lane = lanes[k];
            steps = std::min({steps, lane.job->n - lane.i,
                              static_cast<std::size_t>((lane.end - lane.bit) / kMaxShift)});
        }
        if (count == 2)
        {
            RunLanes<2>(lanes, steps);
        }
        else
        {
            RunLanes<1>(lanes, steps);
        }
        // A lane near the end of its buffered bits takes one symbol through the reader, which
        // refills it as the rules say; a lane at the end of its output is done.
        for (int k = 0; k < count;)
        {
            Lane& lane = lanes[k];
            Job& job = *lane.job;
            BitReader& reader = lane.decoder->reader;
            bool done = false;
            try
            {
                reader.SetBitIndex(lane.bit);
                if (lane.i < job.n && lane.end - lane.bit < kMaxShift)
                {
                    GeneralStep(lane.r, reader, lane.decoder->table, job.out[lane.i]);
                    ++lane.i;
                    lane.bit = reader.BitIndex();
                    lane.end = reader.BitEnd();
                    // Only the -1 bit of an exhausted file moves the code out of the interval;
                    // the rest of the stream then takes the general path.
                    if (lane.r.code < lane.r.low || lane.r.code > lane.r.high)
                    {
                        GeneralSymbols(lane.r, reader, lane.decoder->table, job.out, lane.i, job.n);
                        lane.i = job.n;
                    }
                }
                if (lane.i == job.n)
                {
                    finish(*lane.decoder, job);
                    done = true;
                }
            }
            catch (...)
            {
                job.error = std::current_exception();
                done = true;
            }
            if (done)
            {
                lanes[k] = lanes[--count];
            }
            else
            {
                ++k;
            }
        }
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
