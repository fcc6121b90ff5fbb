#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "lcmp/ArithmeticDecoder.h"
#include "lcmp/ByteSource.h"
#include "lcmp/FieldAllocator.h"
#include "lcmp/OrderedWorker.h"
#include "lcmp/SharedByteSource.h"

namespace telvora
{

class CLasFile;
struct LasHeader;

// Rebuilds one LAS file from an archive entry: the header image, the VLR block, and the points
// either stored raw (mode "O") or in coded chunks of up to two million points, each field of a
// chunk in its own stream and most of them as differences from the previous point or from a
// prediction.
//
// The counters are read by another thread (a progress display) while RebuildLasFile runs on a
// worker; that is all they are for.
class LCMPStreamContext
{
public:
    // Points a chunk takes while more than twice as many remain.
    static constexpr std::uint32_t kChunkPoints = 1'000'000;

    LCMPStreamContext() = default;
    LCMPStreamContext(const LCMPStreamContext&) = delete;
    LCMPStreamContext& operator=(const LCMPStreamContext&) = delete;

    // Reads the entry at the archive's position and writes the LAS file at the target's path
    // (which the target must hold; everything else of the target is replaced). The progress
    // counter, when given, counts the hundredths of each chunk written.
    //
    // The cancel flag, when given, is checked before every stream and every write: once it is
    // set, nothing more is written and the call returns false, leaving the output as far as it
    // was written for the caller to remove. True when the file is complete. Failures throw
    // CLasException; entries that cannot be rebuilt are refused before any point is decoded.
    //
    // The entry's data end where the archive's Size() says (an EntryByteSource gives the start of
    // the directory), while reads may run on past it as the format's reads do: a header, raw
    // records or a coded stream that would start there, and a stream whose end lies beyond it,
    // fail with "The archive entry is truncated!". Before the first byte is written,
    // beforeWriting, when given, is called with the size the whole LAS file will have, and may
    // refuse it by throwing.
    [[nodiscard]] bool
    RebuildLasFile(IByteSource* archive, CLasFile& target, std::atomic<std::int32_t>* progress,
                   const std::atomic<bool>* cancel = nullptr,
                   const std::function<void(std::uint64_t)>& beforeWriting = nullptr);

    // One value stream of n >= 1 values at the source's position, leaving the source after it.
    void ReadValueStream(IByteSource& source, std::int32_t* values, std::size_t n);

    // Releases the stream and field buffers and sets streams total to 0.
    void ReleaseBuffers();

    std::int32_t StreamsDone() const { return streamsDone.load(std::memory_order_relaxed); }
    std::int32_t StreamsTotal() const { return streamsTotal.load(std::memory_order_relaxed); }
    // Compressed size over uncompressed size of the streams done so far.
    double Ratio() const { return ratio.load(std::memory_order_relaxed); }

    // Chunk sizes of an entry of so many points, in order.
    static std::vector<std::uint32_t> ChunkSizes(std::uint32_t points);
    // Streams in a chunk of the format: 12, 13, 15 or 16.
    static int StreamsPerChunk(unsigned format) noexcept;

    // Whether decoding may hand the predictions and the writing of each chunk to a second
    // thread, which it does only when the process has more than one core. On by default; either
    // way the output is the same.
    void SetSecondThread(bool allowed) { secondThread = allowed; }

    // A seam for tests: called on the decoding thread after each stream with the number done, so
    // that a test can hold the decoder at a chosen stream. Not while RebuildLasFile runs.
    void SetStreamHook(std::function<void(std::int32_t)> hook) { afterStream = std::move(hook); }

private:
    // The symbols of one value stream: its length symbols and its byte planes, kept apart until
    // they are joined into values, which the worker does.
    // The reserved name clang-tidy reports here, __i0, is the index of the copy the compiler makes
    // of the array member, not a name of ours.
    // NOLINTNEXTLINE(bugprone-reserved-identifier)
    struct ValueParts
    {
        FieldArray<unsigned char> lengths;
        FieldArray<unsigned char> planes[4];
    };
    // The coded stream expected after the one being decoded: the stream of a byte field, the
    // length symbols of the next value stream (after its first value), or a byte plane of the
    // same value stream (after its count).
    struct Following
    {
        enum class Kind
        {
            None,
            Bytes,
            NextValues,
            Plane
        };
        Kind kind = Kind::None;
        unsigned char* bytes = nullptr;
        ValueParts* parts = nullptr;
        unsigned plane = 0;
    };
    // A stream decoded beside the one before it, kept until the decoding comes to it.
    struct Ahead
    {
        bool valid = false;
        std::int64_t table = 0;
        std::size_t n = 0;
        unsigned char* out = nullptr;
        std::int64_t next = 0;
    };

    void CheckCancel() const;
    // Decodes the stream at the source's position. When the source is the archive and the
    // caller tells what follows, that stream is decoded beside this one and kept; the decoding
    // of that stream then only moves the source on, where it finds the same position, count and
    // buffer. A stream found elsewhere is decoded again, so the result is always that of
    // decoding stream by stream.
    void DecodeStream(unsigned char* buffer, std::size_t n, IByteSource& source,
                      const Following& following);
    // Where the next stream is taken to be: just after the first end marker behind this stream's
    // table. Coded bits may hold the marker's bytes too, which only makes the guess wrong.
    std::int64_t FindFollowing(std::int64_t table);
    // Sets up the job of the following stream at the segment offset, leaving the source at its
    // table; false when there is none or it cannot be decoded alone (its count out of bounds, no
    // bytes behind its table).
    bool PrepareFollowing(const Following& following, std::int64_t segment,
                          SharedByteSource& source, ArithmeticDecoder::Job& job);
    void FinishStream(std::size_t n, unsigned bitsPerPoint);
    void DecodeBytes(FieldArray<std::uint8_t>& field, std::size_t n, const Following& following);
    // Decodes the stream's first value into out[0] and the rest into parts.
    void DecodeValueParts(IByteSource& source, std::int32_t* out, std::size_t n, ValueParts& parts,
                          const Following& following);
    static void JoinValues(const ValueParts& parts, std::int32_t* out, std::size_t n);
    // Decodes a value stream of the chunk and hands the joining of its values to the worker.
    void DecodeValues(FieldArray<std::int32_t>& field, std::size_t n, OrderedWorker& worker,
                      const Following& following);
    void CopyRawPoints(const LasHeader& header, std::atomic<std::int32_t>* progress);
    void RebuildCodedPoints(LasHeader& header, std::atomic<std::int32_t>* progress,
                            const std::function<void(std::uint64_t)>& beforeWriting);
    // Decodes the streams of a chunk and hands what rebuilds its fields from them to the worker,
    // stream by stream, then the writing of its records.
    template <int Format>
    void DecodeChunk(std::size_t n, OrderedWorker& worker, std::atomic<std::int32_t>* progress);
    // The record images of points [first, first + count) of the chunk, in a row.
    template <int Format>
    void FillRecords(std::uint32_t first, std::uint32_t count, unsigned char* images) const;
    void ResizeFields(std::size_t n, unsigned format);

    IByteSource* archive = nullptr;
    std::int64_t startOffset = 0;
    ArithmeticDecoder decoder;
    // Decodes the following stream beside the decoder's.
    ArithmeticDecoder aheadDecoder;
    Ahead ahead;
    std::vector<unsigned char> scanBlock;
    // Which decoder read the stream before: the end-of-file padding of the next one may
    // deliver its bytes again.
    const ArithmeticDecoder* lastDecoder = &decoder;
    // Points of the chunk being decoded.
    std::size_t chunkPoints = 0;
    CLasFile* target = nullptr;
    std::atomic<std::int32_t> streamsDone{0};
    std::atomic<double> ratio{0.0};
    std::atomic<std::int32_t> streamsTotal{0};
    std::int32_t chunks = 0;
    std::uint64_t uncompressedBits = 0;
    std::uint32_t totalPoints = 0;
    const std::atomic<bool>* cancelFlag = nullptr;
    bool secondThread = true;
    std::function<void(std::int32_t)> afterStream;

    // One set of parts for each value stream of a chunk (ten in format 3), reused from chunk to
    // chunk: the worker may still join one stream's values while the next is decoded.
    ValueParts valueParts[10];
    std::size_t valuePartsUsed = 0;

    // Each stream of a chunk is decoded into a field array of its own, so that the worker can
    // rebuild one field while the next stream is being decoded; most are rebuilt in place. The
    // arrays are sized for the largest chunk once and reused.
    FieldArray<std::uint8_t> userData;
    FieldArray<std::uint8_t> flag;
    FieldArray<std::uint8_t> scanAngle;
    FieldArray<std::uint8_t> returnNumber;
    FieldArray<std::uint8_t> returns;
    FieldArray<std::uint8_t> edge;
    FieldArray<std::uint8_t> classification;
    FieldArray<std::int32_t> pointSource;
    FieldArray<std::int32_t> x;
    FieldArray<std::int32_t> y;
    FieldArray<std::int32_t> z;
    FieldArray<std::int32_t> intensityValues;
    FieldArray<std::uint16_t> intensity;
    FieldArray<std::int32_t> timeHigh;
    FieldArray<std::int32_t> timeLow;
    FieldArray<std::uint64_t> time;
    FieldArray<std::int32_t> red;
    FieldArray<std::int32_t> green;
    FieldArray<std::int32_t> blue;
};

} // namespace telvora
