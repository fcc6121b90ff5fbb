#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "las/LasException.h"
#include "lcmp/BitReader.h"
#include "lcmp/ByteSource.h"
#include "lcmp/FrequencyTable.h"
#include "lcmp/LcmpMessages.h"

namespace telvora
{

// The order-0 arithmetic decoder of the archives' coded streams: a 16-bit low/high/code coder
// with underflow handling under a static table of total 10000. Every constant and the order of
// every operation match the producer's encoder bit for bit; all registers wrap at 16 bits.
//
// Every symbol of a stream decoded, but no end marker where its coded bits end: `at` is the file
// offset of the byte the decoder stood on. Whether the marker was damaged or cut off depends on
// whether the entry's bytes reach that far, which only the caller knows.
class EndMarkerMissing final : public CLasException
{
public:
    explicit EndMarkerMissing(std::int64_t offset)
        : CLasException(LcmpMessage::kStreamNotFound)
        , at(offset)
    {
    }
    std::int64_t at;
};

// A coded stream is the 512-byte frequency table, the coded bits and an end marker FF FF 00.
class ArithmeticDecoder
{
public:
    // Decodes n symbols (n >= 1; a caller with nothing to decode still decodes one, which
    // consumes the stream) of the stream at the source's position into buffer[0..n) and leaves
    // the source at the next stream. Throws CLasException "Unable to find stream" when the end
    // marker cannot be located (EndMarkerMissing) or the stream cannot be part of any archive.
    void DecodeSymbols(unsigned char* buffer, std::size_t n, IByteSource& source);

    // A stream to decode beside others: n symbols of the stream at the source's position into
    // out[0..n).
    struct Job
    {
        IByteSource* source = nullptr;
        unsigned char* out = nullptr;
        std::size_t n = 0;
        // Set when the stream failed, with what DecodeSymbols would have thrown; the source is
        // then wherever the failure left it.
        std::exception_ptr error;
    };
    // Beyond two streams the look-up tables of the streams no longer fit the processor's
    // nearest cache, and more streams gain nothing.
    static constexpr std::size_t kMaxJobs = 2;

    // Decodes the jobs' streams (at most kMaxJobs, their sources distinct) with the decoders of
    // the same index, interleaving their symbols. Each symbol depends on the one before, so one
    // stream leaves the processor waiting most of the time; several independent streams keep it
    // busy. Every job's symbols, source position and failure are exactly those of DecodeSymbols
    // on that job with that decoder; one job's failure does not stop the others.
    static void DecodeTogether(std::span<ArithmeticDecoder* const> decoders, std::span<Job> jobs);

    // The file offset of the stream that follows the one just decoded, worked out from the bytes
    // buffered around the current one; -1 when the end marker is not where it can be.
    static std::int64_t FindNextStream(const BitReader& reader);

    const FrequencyTable& Table() const { return table; }

    // The reader, whose buffer the end-of-file padding of the next stream may deliver again.
    const BitReader& Reader() const { return reader; }
    BitReader& Reader() { return reader; }

private:
    FrequencyTable table;
    BitReader reader;
};

} // namespace telvora
