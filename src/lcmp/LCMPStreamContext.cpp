#include "lcmp/LCMPStreamContext.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>

#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/LasIo.h"
#include "lcmp/EntryHeaderImage.h"
#include "lcmp/LcmpMessages.h"
#include "lcmp/PointPredictors.h"

namespace telvora
{

namespace
{

constexpr char kModeRaw = 'O';
constexpr char kModeMovedVlrs = 'V';
constexpr char kModeCoded = 'L';

// Uncompressed bits per point of each field; per format they add up to the standard record.
constexpr unsigned kBitsByte = 8;
constexpr unsigned kBitsFlag = 1;
constexpr unsigned kBitsThree = 3;
constexpr unsigned kBitsShort = 16;
constexpr unsigned kBitsLong = 32;
constexpr unsigned kBitsTime = 64;

// The least a coded stream can occupy: its table and one byte behind it, the shortest span the
// end-marker rules can give.
constexpr std::uint64_t kMinCodedStream = FrequencyTable::kImageSize + 1;
constexpr std::uint64_t kMinValueStream = 4 + kMinCodedStream;
constexpr int kByteStreamsPerChunk = 7;

constexpr std::size_t kRawBlock = 1u << 20;

// Thrown past the decoding loops when the cancel flag is seen; never leaves RebuildLasFile.
struct Cancelled
{
};

// "byte 1,234,567": an offset in the archive, for details.
std::string At(std::int64_t offset)
{
    return "byte " +
           LcmpMessage::Grouped(static_cast<std::uint64_t>(std::max<std::int64_t>(offset, 0)));
}

// Where the entries' data end, for details.
std::string DataEnd(const IByteSource& source)
{
    const std::int64_t size = source.Size();
    return size < 0 ? std::string("the end of the file")
                    : "the end of the entries' data at " + At(size);
}

std::uint32_t ReadRaw32(IByteSource& source)
{
    const std::int64_t at = source.Position();
    unsigned char bytes[4];
    if (source.Read(bytes, sizeof bytes) != sizeof bytes)
    {
        throw CLasException(LcmpMessage::kEntryTruncated,
                            "the file ends inside the 4-byte value at " + At(at));
    }
    return LoadLE<std::uint32_t>(bytes);
}

// Bytes of the source from its position to its end; the largest value when the size is unknown.
std::uint64_t Remaining(const IByteSource& source)
{
    const std::int64_t size = source.Size();
    const std::int64_t at = source.Position();
    if (size < 0)
    {
        return UINT64_MAX;
    }
    return size > at ? static_cast<std::uint64_t>(size - at) : 0;
}

std::uint64_t MinChunkBytes(unsigned format)
{
    const int valueStreams = LCMPStreamContext::StreamsPerChunk(format) - kByteStreamsPerChunk +
                             ((format == 1 || format == 3) ? 1 : 0);
    return kByteStreamsPerChunk * kMinCodedStream +
           static_cast<std::uint64_t>(valueStreams) * kMinValueStream;
}

// What WriteLasHeader and CLasFile::WriteVariableLengthRecords will put in the file: the 227-byte
// header, then the VLR block read from the entry, or the LAS 1.0 start signature where the header
// declares no records (vlrCount, as the writer will see it) but two bytes between header and
// points.
std::uint64_t HeaderAndVlrBytes(const LasHeader& header, bool vlrBlock, std::uint32_t vlrCount)
{
    std::uint64_t between = 0;
    if (header.offsetToPointData >= header.headerSize)
    {
        const std::uint32_t gap = header.offsetToPointData - header.headerSize;
        between = vlrBlock ? gap : (vlrCount == 0 && gap == 2 ? 2 : 0);
    }
    return LasHeader::kImageSize + between;
}

// The VLR table over a block read from the archive: the block is restored to the output as it
// stands, so the table only indexes the records that fit in it (and is never longer than the
// block could hold, whatever count the header claims). Entry 0 owns the block.
unsigned char** BuildVlrTable(unsigned char* block, std::uint32_t size, std::uint32_t count)
{
    std::vector<unsigned char*> entries;
    std::uint64_t at = 0;
    while (entries.size() < count && at + LasVlrHeader::kImageSize <= size)
    {
        entries.push_back(block + at);
        at += LasVlrHeader::kImageSize + LoadLE<std::uint16_t>(block + at + 20);
    }
    const std::size_t length = std::max<std::size_t>(1, entries.size());
    auto** table = new unsigned char*[length];
    table[0] = block;
    for (std::size_t i = 1; i < entries.size(); ++i)
    {
        table[i] = entries[i];
    }
    return table;
}

} // namespace

std::vector<std::uint32_t> LCMPStreamContext::ChunkSizes(std::uint32_t points)
{
    std::vector<std::uint32_t> sizes;
    std::int64_t remaining = points;
    do
    {
        sizes.push_back(static_cast<std::uint32_t>(
            remaining > 2 * std::int64_t{kChunkPoints} ? kChunkPoints : remaining));
        remaining -= kChunkPoints;
    } while (remaining > kChunkPoints);
    return sizes;
}

int LCMPStreamContext::StreamsPerChunk(unsigned format) noexcept
{
    switch (format)
    {
    case 1:
        return 13;
    case 2:
        return 15;
    case 3:
        return 16;
    default:
        return 12;
    }
}

void LCMPStreamContext::CheckCancel() const
{
    if (cancelFlag != nullptr && cancelFlag->load(std::memory_order_relaxed))
    {
        throw Cancelled{};
    }
}

void LCMPStreamContext::FinishStream(std::size_t n, unsigned bitsPerPoint)
{
    uncompressedBits += static_cast<std::uint64_t>(n) * bitsPerPoint;
    streamsDone.fetch_add(1, std::memory_order_relaxed);
    const auto read = static_cast<std::uint64_t>(archive->Position() - startOffset);
    ratio.store(static_cast<double>(read * 8) / static_cast<double>(uncompressedBits),
                std::memory_order_relaxed);
    if (afterStream)
    {
        afterStream(streamsDone.load(std::memory_order_relaxed));
    }
}

void LCMPStreamContext::ReleaseBuffers()
{
    for (ValueParts& parts : valueParts)
    {
        parts = ValueParts();
    }
    for (auto* bytes :
         {&userData, &flag, &scanAngle, &returnNumber, &returns, &edge, &classification})
    {
        FieldArray<std::uint8_t>().swap(*bytes);
    }
    for (auto* ints :
         {&pointSource, &x, &y, &z, &intensityValues, &timeHigh, &timeLow, &red, &green, &blue})
    {
        FieldArray<std::int32_t>().swap(*ints);
    }
    FieldArray<std::uint16_t>().swap(intensity);
    FieldArray<std::uint64_t>().swap(time);
    streamsTotal.store(0, std::memory_order_relaxed);
}

void LCMPStreamContext::ResizeFields(std::size_t n, unsigned format)
{
    for (auto* bytes :
         {&userData, &flag, &scanAngle, &returnNumber, &returns, &edge, &classification})
    {
        bytes->resize(n);
    }
    for (auto* ints : {&pointSource, &x, &y, &z, &intensityValues})
    {
        ints->resize(n);
    }
    intensity.resize(n);
    const bool gps = format == 1 || format == 3;
    const bool rgb = format == 2 || format == 3;
    timeHigh.resize(gps ? n : 0);
    timeLow.resize(gps ? n : 0);
    time.resize(gps ? n : 0);
    for (auto* channel : {&red, &green, &blue})
    {
        channel->resize(rgb ? n : 0);
    }
}

void LCMPStreamContext::DecodeStream(unsigned char* buffer, std::size_t n, IByteSource& source,
                                     const Following& following)
{
    const bool inArchive = &source == archive;
    // No stream starts where the entries' data have ended.
    const std::int64_t start = source.Position();
    if (Remaining(source) == 0)
    {
        throw CLasException(LcmpMessage::kEntryTruncated, "a coded stream would start at " +
                                                              At(start) + ", past " +
                                                              DataEnd(source));
    }
    if (inArchive && ahead.valid && source.Position() == ahead.table && n == ahead.n &&
        buffer == ahead.out)
    {
        ahead.valid = false;
        lastDecoder = &aheadDecoder;
        source.Seek(ahead.next);
    }
    else
    {
        ahead.valid = false;
        ArithmeticDecoder::Job jobs[2];
        jobs[0] = {&source, buffer, n, nullptr};
        ArithmeticDecoder* decoders[2] = {&decoder, &aheadDecoder};
        // The padding of an empty first fill repeats the bytes of the stream read before.
        decoder.Reader().TakePaddingFrom(lastDecoder->Reader());
        lastDecoder = &decoder;

        std::optional<SharedByteSource> aheadSource;
        std::int64_t aheadTable = 0;
        std::size_t count = 1;
        if (inArchive && following.kind != Following::Kind::None)
        {
            const std::int64_t table = source.Position();
            const std::int64_t segment = FindFollowing(table);
            if (segment > table)
            {
                aheadSource.emplace(source, segment);
                if (PrepareFollowing(following, segment, *aheadSource, jobs[1]))
                {
                    aheadTable = aheadSource->Position();
                    count = 2;
                }
            }
        }
        ArithmeticDecoder::DecodeTogether({decoders, count}, {jobs, count});
        if (count == 2 && !jobs[1].error)
        {
            ahead = {true, aheadTable, jobs[1].n, jobs[1].out, aheadSource->Position()};
        }
        if (jobs[0].error)
        {
            try
            {
                std::rethrow_exception(jobs[0].error);
            }
            catch (const EndMarkerMissing& missing)
            {
                // The marker would lie within the entry's bytes (it is looked for up to three
                // bytes past where the coded bits end): they are there, but hold no marker.
                const std::int64_t size = source.Size();
                if (size < 0 || missing.at + 4 <= size)
                {
                    throw CLasException(missing.GetErrorText(),
                                        "the coded stream at " + At(start) +
                                            " has no end marker FF FF 00 where its coded bits "
                                            "end, at " +
                                            At(missing.at) +
                                            ": the marker or the bits before it are damaged");
                }
                throw CLasException(LcmpMessage::kEntryTruncated, "the coded stream at " +
                                                                      At(start) + " runs past " +
                                                                      DataEnd(source));
            }
            catch (const CLasException& error)
            {
                // A stream whose table or end marker is missing where the entry's bytes ran out
                // was cut short, not damaged.
                if (Remaining(source) == 0)
                {
                    throw CLasException(LcmpMessage::kEntryTruncated,
                                        "the coded stream at " + At(start) + " runs past " +
                                            DataEnd(source));
                }
                throw CLasException(error.GetErrorText(),
                                    "no coded stream found after " + At(start));
            }
        }
    }
    // The next stream, or the end of the entry, lies after this one's end marker: a marker that
    // only the end-of-file rules placed beyond the entry was never there.
    const std::int64_t size = source.Size();
    if (size >= 0 && source.Position() > size)
    {
        throw CLasException(LcmpMessage::kEntryTruncated, "the coded stream at " + At(start) +
                                                              " ends at " + At(source.Position()) +
                                                              ", past " + DataEnd(source));
    }
}

std::int64_t LCMPStreamContext::FindFollowing(std::int64_t table)
{
    constexpr std::size_t kBlock = 1u << 16;
    std::vector<unsigned char>& block = scanBlock;
    block.resize(kBlock + 2);
    SharedByteSource scan(*archive, table + static_cast<std::int64_t>(FrequencyTable::kImageSize));
    // The two bytes before each block, carried over, so a marker across blocks is found.
    std::size_t carried = 0;
    std::int64_t blockStart = scan.Position();
    for (;;)
    {
        const std::size_t got = scan.Read(block.data() + carried, kBlock);
        const std::size_t size = carried + got;
        for (std::size_t i = 2; i < size; ++i)
        {
            if (block[i] == 0x00 && block[i - 1] == 0xFF && block[i - 2] == 0xFF)
            {
                return blockStart - static_cast<std::int64_t>(carried) +
                       static_cast<std::int64_t>(i) + 1;
            }
        }
        if (got == 0)
        {
            return -1;
        }
        carried = std::min<std::size_t>(size, 2);
        std::memmove(block.data(), block.data() + size - carried, carried);
        blockStart += static_cast<std::int64_t>(got);
    }
}

bool LCMPStreamContext::PrepareFollowing(const Following& following, std::int64_t segment,
                                         SharedByteSource& source, ArithmeticDecoder::Job& job)
{
    const std::size_t m = chunkPoints - 1;
    std::size_t n = 0;
    unsigned char* out = nullptr;
    switch (following.kind)
    {
    case Following::Kind::Bytes:
        n = chunkPoints;
        out = following.bytes;
        break;
    case Following::Kind::NextValues:
    {
        if (valuePartsUsed >= std::size(valueParts) || !source.Seek(segment + 4))
        {
            return false;
        }
        ValueParts& parts = valueParts[valuePartsUsed];
        n = std::max<std::size_t>(m, 1);
        parts.lengths.resize(n);
        out = parts.lengths.data();
        break;
    }
    case Following::Kind::Plane:
    {
        unsigned char bytes[4];
        if (source.Read(bytes, sizeof bytes) != sizeof bytes)
        {
            return false;
        }
        // The decoding will check the count against the length symbols; here it only has to
        // stay within what a plane can hold.
        const std::uint32_t count = LoadLE<std::uint32_t>(bytes);
        if (count == 0 || count > m)
        {
            return false;
        }
        FieldArray<unsigned char>& plane = following.parts->planes[following.plane];
        plane.resize(std::size_t{count} + 1);
        n = count;
        out = plane.data();
        break;
    }
    case Following::Kind::None:
        return false;
    }
    // A stream with fewer than two bytes behind its table would have its end-of-file padding
    // depend on the stream before it, which is not decoded yet.
    const std::int64_t size = source.Size();
    if (size >= 0 &&
        size - source.Position() - static_cast<std::int64_t>(FrequencyTable::kImageSize) < 2)
    {
        return false;
    }
    job = {&source, out, n, nullptr};
    return true;
}

void LCMPStreamContext::DecodeBytes(FieldArray<std::uint8_t>& field, std::size_t n,
                                    const Following& following)
{
    CheckCancel();
    DecodeStream(field.data(), n, *archive, following);
}

void LCMPStreamContext::DecodeValues(FieldArray<std::int32_t>& field, std::size_t n,
                                     OrderedWorker& worker, const Following& following)
{
    CheckCancel();
    ValueParts& parts = valueParts[valuePartsUsed++];
    DecodeValueParts(*archive, field.data(), n, parts, following);
    worker.Post([&parts, &field, n] { JoinValues(parts, field.data(), n); });
}

void LCMPStreamContext::ReadValueStream(IByteSource& source, std::int32_t* out, std::size_t n)
{
    DecodeValueParts(source, out, n, valueParts[0], {});
    JoinValues(valueParts[0], out, n);
}

void LCMPStreamContext::DecodeValueParts(IByteSource& source, std::int32_t* out, std::size_t n,
                                         ValueParts& parts, const Following& following)
{
    // Every value stream holds at least its first value.
    if (n == 0)
    {
        throw CLasException(LcmpMessage::kPlaneCount,
                            "the value stream at " + At(source.Position()) + " holds no values");
    }
    out[0] = static_cast<std::int32_t>(ReadRaw32(source));

    // Every later value has a length symbol: bit 0 its sign, the rest its byte count.
    const std::size_t m = n - 1;
    parts.lengths.resize(std::max<std::size_t>(m, 1));
    // Nearly every value stream has a first plane, decoded beside the length symbols.
    DecodeStream(parts.lengths.data(), std::max<std::size_t>(m, 1), source,
                 {Following::Kind::Plane, nullptr, &parts, 0});
    // How many values have each byte count; wider[p] counts those at least p + 1 bytes long.
    std::size_t ofCount[5] = {};
    for (std::size_t j = 0; j < m; ++j)
    {
        ++ofCount[std::min(parts.lengths[j] >> 1, 4)];
    }
    unsigned largest = 0;
    std::size_t wider[4] = {};
    for (unsigned p = 4; p > 0; --p)
    {
        wider[p - 1] = ofCount[p] + (p < 4 ? wider[p] : 0);
        if (largest == 0 && ofCount[p] != 0)
        {
            largest = p;
        }
    }

    // Plane p holds byte p of every value at least p + 1 bytes long, in order. A zero byte
    // beyond each plane lets JoinValues read at a cursor that has reached its end.
    for (unsigned p = 0; p < 4; ++p)
    {
        std::uint32_t count = 0;
        if (p < largest)
        {
            count = ReadRaw32(source);
            if (count > m || count < wider[p])
            {
                throw CLasException(
                    LcmpMessage::kPlaneCount,
                    "byte plane " + std::to_string(p) + " before " + At(source.Position()) +
                        " counts " + LcmpMessage::Grouped(count) + " bytes, but its values need " +
                        LcmpMessage::Grouped(wider[p]) + " to " + LcmpMessage::Grouped(m));
            }
            parts.planes[p].resize(std::size_t{count} + 1);
            const Following next = p + 1 < largest
                                       ? Following{Following::Kind::Plane, nullptr, &parts, p + 1}
                                       : following;
            DecodeStream(parts.planes[p].data(), count, source, next);
        }
        else if (parts.planes[p].empty())
        {
            parts.planes[p].push_back(0);
        }
        parts.planes[p][count] = 0;
    }
}

void LCMPStreamContext::JoinValues(const ValueParts& parts, std::int32_t* out, std::size_t n)
{
    // One pass puts the values together; the plane counts checked while decoding keep every
    // plane's cursor within its plane. Without branches on the byte count, which varies from
    // value to value: each plane's byte is taken whole and masked away where the value is
    // shorter.
    auto* magnitude = reinterpret_cast<std::uint32_t*>(out + 1);
    const unsigned char* cursor[4] = {parts.planes[0].data(), parts.planes[1].data(),
                                      parts.planes[2].data(), parts.planes[3].data()};
    for (std::size_t j = 0; j + 1 < n; ++j)
    {
        const unsigned symbol = parts.lengths[j];
        const unsigned count = std::min(symbol >> 1, 4u);
        std::uint32_t value = 0;
        for (unsigned p = 0; p < 4; ++p)
        {
            const std::uint32_t present = p < count ? 1u : 0u;
            value |= (std::uint32_t{*cursor[p]} & (0u - present)) << (8 * p);
            cursor[p] += present;
        }
        magnitude[j] = (symbol & 1u) != 0 ? 0u - value : value;
    }
}

bool LCMPStreamContext::RebuildLasFile(IByteSource* archiveFile, CLasFile& file,
                                       std::atomic<std::int32_t>* progress,
                                       const std::atomic<bool>* cancel,
                                       const std::function<void(std::uint64_t)>& beforeWriting)
{
    ratio.store(0.0, std::memory_order_relaxed);
    chunks = 0;
    streamsDone.store(0, std::memory_order_relaxed);
    uncompressedBits = 0;
    archive = archiveFile;
    target = &file;
    cancelFlag = cancel;
    if (archive == nullptr)
    {
        throw CLasException(LcmpMessage::kNoArchiveFile, "no archive was given");
    }
    startOffset = archive->Position();

    try
    {
        unsigned char image[EntryHeaderImage::kSize];
        // The header precedes everything else of the entry: in the directory, it was cut off.
        if (Remaining(*archive) < sizeof image ||
            archive->Read(image, sizeof image) != sizeof image)
        {
            throw CLasException(LcmpMessage::kEntryTruncated, "the entry's 232-byte header at " +
                                                                  At(startOffset) + " runs past " +
                                                                  DataEnd(*archive));
        }
        // Nothing of an earlier entry may reach this file.
        ReleaseVlrTable(file.vlrs);
        file.vlrs = nullptr;
        delete file.header;
        file.header = new LasHeader(EntryHeaderImage::Parse(image));
        LasHeader& header = *file.header;

        if (header.numberOfVariableLengthRecords != 0)
        {
            if (header.offsetToPointData < header.headerSize)
            {
                throw CLasException(LcmpMessage::kVlrBlock,
                                    "the offset to point data (" +
                                        LcmpMessage::Grouped(header.offsetToPointData) +
                                        ") lies before the end of the header (" +
                                        LcmpMessage::Grouped(header.headerSize) + ")");
            }
            const std::uint32_t size = header.offsetToPointData - header.headerSize;
            const std::string vlrsPastTheEnd = "the VLR block of " + LcmpMessage::Grouped(size) +
                                               " bytes at " + At(archive->Position()) +
                                               " runs past " + DataEnd(*archive);
            if (Remaining(*archive) < size)
            {
                throw CLasException(LcmpMessage::kEntryTruncated, vlrsPastTheEnd);
            }
            auto* block = new unsigned char[std::max<std::uint32_t>(size, 1)];
            if (archive->Read(block, size) != size)
            {
                delete[] block;
                throw CLasException(LcmpMessage::kEntryTruncated, vlrsPastTheEnd);
            }
            file.vlrs = BuildVlrTable(block, size, header.numberOfVariableLengthRecords);
        }

        if (header.fileSignature[0] == kModeRaw)
        {
            header.fileSignature[0] = kModeCoded;
            // Formats above 3 have no point objects: header and VLR bytes are all that is
            // rebuilt. The records are copied as they are stored, whatever their length.
            const std::uint64_t records =
                header.pointDataFormatId > 3
                    ? 0
                    : std::uint64_t{header.numberOfPointRecords} * header.pointDataRecordLength;
            if (Remaining(*archive) < records)
            {
                throw CLasException(
                    LcmpMessage::kEntryTruncated,
                    LcmpMessage::Grouped(header.numberOfPointRecords) + " records of " +
                        LcmpMessage::Grouped(header.pointDataRecordLength) + " bytes at " +
                        At(archive->Position()) + " run past " + DataEnd(*archive));
            }
            CheckCancel();
            if (beforeWriting)
            {
                beforeWriting(HeaderAndVlrBytes(header, file.vlrs != nullptr,
                                                header.numberOfVariableLengthRecords) +
                              records);
            }
            WriteLasHeader(header, file.path);
            file.WriteVariableLengthRecords();
            CopyRawPoints(header, progress);
        }
        else
        {
            RebuildCodedPoints(header, progress, beforeWriting);
        }
    }
    catch (const Cancelled&)
    {
        streamsDone.store(0, std::memory_order_relaxed);
        ratio.store(0.0, std::memory_order_relaxed);
        return false;
    }
    streamsDone.store(0, std::memory_order_relaxed);
    ratio.store(0.0, std::memory_order_relaxed);
    return true;
}

void LCMPStreamContext::CopyRawPoints(const LasHeader& header, std::atomic<std::int32_t>* progress)
{
    if (progress != nullptr)
    {
        progress->store(0, std::memory_order_relaxed);
    }
    if (header.pointDataFormatId > 3)
    {
        return;
    }
    // The records are copied as they are stored, whatever their length: a record longer or
    // shorter than its format's standard size cannot pass through a point object unchanged.
    // The entry holds them all (RebuildLasFile checked); a short read is a read error.
    const std::uint64_t blockRecords = std::max<std::uint64_t>(
        1, kRawBlock / std::max<std::uint16_t>(header.pointDataRecordLength, 1));
    std::vector<unsigned char> block;
    std::uint64_t copied = 0;
    while (copied < header.numberOfPointRecords)
    {
        const std::uint64_t records =
            std::min<std::uint64_t>(blockRecords, header.numberOfPointRecords - copied);
        const std::size_t bytes = static_cast<std::size_t>(records * header.pointDataRecordLength);
        block.resize(bytes);
        const std::int64_t at = archive->Position();
        if (archive->Read(block.data(), bytes) != bytes)
        {
            throw CLasException(LcmpMessage::kReadRawPoints,
                                "the records at " + At(at) + " could not be read");
        }
        CheckCancel();
        AppendLasBlock(target->path, bytes, block.data());
        copied += records;
        if (progress != nullptr)
        {
            progress->store(static_cast<std::int32_t>(copied * 100 / header.numberOfPointRecords),
                            std::memory_order_relaxed);
        }
    }
}

void LCMPStreamContext::RebuildCodedPoints(LasHeader& header, std::atomic<std::int32_t>* progress,
                                           const std::function<void(std::uint64_t)>& beforeWriting)
{
    // Refused before anything is written: the coded form cannot describe these.
    if (header.numberOfPointRecords == 0)
    {
        throw CLasException(LcmpMessage::kNoPoints, "its header declares 0 points");
    }
    const unsigned format = header.pointDataFormatId;
    if (format > 3)
    {
        throw CLasException(LcmpMessage::kUnsupportedFormat,
                            "point format " + std::to_string(format) + " is not 0 to 3");
    }
    if (header.pointDataRecordLength != StandardRecordSize(format))
    {
        throw CLasException(LcmpMessage::kRecordLength,
                            "point format " + std::to_string(format) + " has records of " +
                                std::to_string(StandardRecordSize(format)) + " bytes, not " +
                                LcmpMessage::Grouped(header.pointDataRecordLength));
    }
    // Every stream takes some bytes whatever it holds: an entry too short for the chunks it
    // claims is refused before anything is written, so that a few bytes claiming billions of
    // points never fill the disk with their first chunks.
    const std::vector<std::uint32_t> sizes = ChunkSizes(header.numberOfPointRecords);
    const auto tooShort = [&](std::size_t chunksLeft)
    {
        return CLasException(
            LcmpMessage::kEntryTruncated,
            LcmpMessage::Grouped(chunksLeft) + " chunks of format " + std::to_string(format) +
                " need at least " + LcmpMessage::Grouped(chunksLeft * MinChunkBytes(format)) +
                " bytes, but only " + LcmpMessage::Grouped(Remaining(*archive)) + " lie between " +
                At(archive->Position()) + " and " + DataEnd(*archive));
    };
    if (Remaining(*archive) / sizes.size() < MinChunkBytes(format))
    {
        throw tooShort(sizes.size());
    }

    CheckCancel();
    if (beforeWriting)
    {
        const bool movedVlrs = header.fileSignature[0] == kModeMovedVlrs;
        beforeWriting(HeaderAndVlrBytes(header, target->vlrs != nullptr,
                                        movedVlrs ? 1 : header.numberOfVariableLengthRecords) +
                      std::uint64_t{header.numberOfPointRecords} * header.pointDataRecordLength);
    }
    if (header.fileSignature[0] == kModeMovedVlrs)
    {
        header.fileSignature[0] = kModeCoded;
        header.numberOfVariableLengthRecords = 0;
        WriteLasHeader(header, target->path);
        header.numberOfVariableLengthRecords = 1;
    }
    else
    {
        WriteLasHeader(header, target->path);
    }
    target->WriteVariableLengthRecords();

    totalPoints = header.numberOfPointRecords;
    chunks = static_cast<std::int32_t>(sizes.size());
    streamsTotal.store(chunks * StreamsPerChunk(format), std::memory_order_relaxed);

    // The predictions and the writing of one chunk run on the worker while the decoding of the
    // next streams goes on here; the worker ends (and joins) before this returns or throws.
    OrderedWorker worker(secondThread && OrderedWorker::SecondCoreAvailable());
    for (const std::uint32_t& n : sizes)
    {
        // The same for each chunk, before millions of points are decoded for it.
        if (Remaining(*archive) < MinChunkBytes(format))
        {
            throw tooShort(static_cast<std::size_t>(sizes.data() + sizes.size() - &n));
        }
        // The field arrays and value parts of the chunk before are free once it is written.
        worker.Drain();
        valuePartsUsed = 0;
        header.numberOfPointRecords = n;
        // The arrays are only address space until written. A stream whose table gives all its
        // symbols to one value encodes any count in no bits, so the entry's size cannot bound
        // the points it holds; every other stream takes bits for its symbols, and an entry with
        // less than a byte for each point of its chunks (a damaged count, most of all) gets no
        // pages mapped ahead of its streams: its memory grows only with what they really
        // decode, and a damaged stream fails having touched few of them.
        if (&n == &sizes.front())
        {
            ResizeFields(*std::max_element(sizes.begin(), sizes.end()), format);
        }
        if (&n == &sizes.front() && Remaining(*archive) / sizes.size() >= n)
        {
            const std::uint32_t largest = *std::max_element(sizes.begin(), sizes.end());
            // Nearly every value has a length symbol and a first byte.
            for (ValueParts& parts : valueParts)
            {
                parts.lengths.reserve(largest);
                parts.planes[0].reserve(std::size_t{largest} + 1);
            }
            // The pages are mapped on the worker while the first streams are decoded here.
            worker.Post(
                [this]
                {
                    for (auto* bytes : {&userData, &flag, &scanAngle, &returnNumber, &returns,
                                        &edge, &classification})
                    {
                        PrefaultFieldArray(*bytes);
                    }
                    for (auto* ints : {&pointSource, &x, &y, &z, &intensityValues, &timeHigh,
                                       &timeLow, &red, &green, &blue})
                    {
                        PrefaultFieldArray(*ints);
                    }
                    PrefaultFieldArray(intensity);
                    PrefaultFieldArray(time);
                    for (ValueParts& parts : valueParts)
                    {
                        PrefaultFieldArray(parts.lengths);
                        PrefaultFieldArray(parts.planes[0]);
                    }
                });
        }
        try
        {
            switch (format)
            {
            case 0:
                DecodeChunk<0>(n, worker, progress);
                break;
            case 1:
                DecodeChunk<1>(n, worker, progress);
                break;
            case 2:
                DecodeChunk<2>(n, worker, progress);
                break;
            default:
                DecodeChunk<3>(n, worker, progress);
                break;
            }
        }
        catch (...)
        {
            // The chunk before was written in full before this one was decoded, as on one
            // thread: a failure of that write is the one to report.
            worker.Drain();
            throw;
        }
    }
    worker.Drain();
}

template <int Format>
void LCMPStreamContext::DecodeChunk(std::size_t n, OrderedWorker& worker,
                                    std::atomic<std::int32_t>* progress)
{
    using namespace LcmpPredict;
    // The worker rebuilds each field in the order the streams come, so every prediction finds
    // the fields it looks back on complete. Only the worker touches a field array once its
    // stream is handed over, until the chunk is written.

    // Each stream names the one after it, which is decoded beside it; none after the last, so
    // that nothing of the next chunk is touched before the worker has written this one.
    chunkPoints = n;
    const Following kNextValues{Following::Kind::NextValues};
    auto BytesOf = [](FieldArray<std::uint8_t>& field) {
        return Following{Following::Kind::Bytes, field.data()};
    };

    // 1: User Data, as it is.
    DecodeBytes(userData, n, BytesOf(flag));
    FinishStream(n, kBitsByte);

    // 2: Scan Direction Flag, as differences of the one-bit field.
    DecodeBytes(flag, n, BytesOf(scanAngle));
    FinishStream(n, kBitsFlag);
    worker.Post(
        [this, n]
        {
            std::uint8_t* f = flag.data();
            f[0] &= 1u;
            for (std::size_t i = 1; i < n; ++i)
            {
                f[i] = static_cast<std::uint8_t>((f[i - 1] + f[i]) & 1u);
            }
        });

    // 3: Scan Angle Rank, as differences.
    DecodeBytes(scanAngle, n, BytesOf(returnNumber));
    FinishStream(n, kBitsByte);
    worker.Post(
        [this, n]
        {
            std::uint8_t* a = scanAngle.data();
            for (std::size_t i = 1; i < n; ++i)
            {
                a[i] = static_cast<std::uint8_t>(a[i - 1] + a[i]);
            }
        });

    // 4: Return Number, three bits (masked as the records are laid out).
    DecodeBytes(returnNumber, n, kNextValues);
    FinishStream(n, kBitsThree);

    // 5: Point Source ID, as differences; 16 bits are kept.
    DecodeValues(pointSource, n, worker, BytesOf(returns));
    FinishStream(n, kBitsShort);
    worker.Post(
        [this, n]
        {
            std::int32_t* p = pointSource.data();
            for (std::size_t i = 1; i < n; ++i)
            {
                p[i] = Add(p[i - 1], p[i]);
            }
        });

    // 6: Number of Returns, as differences of the three-bit field.
    DecodeBytes(returns, n, BytesOf(edge));
    FinishStream(n, kBitsThree);
    worker.Post(
        [this, n]
        {
            std::uint8_t* r = returns.data();
            r[0] &= 7u;
            for (std::size_t i = 1; i < n; ++i)
            {
                r[i] = static_cast<std::uint8_t>((r[i - 1] + r[i]) & 7u);
            }
        });

    // 7: Edge of Flight Line, one bit (masked as the records are laid out).
    DecodeBytes(edge, n, BytesOf(classification));
    FinishStream(n, kBitsFlag);

    // 8: Classification, the whole byte, as differences.
    DecodeBytes(classification, n, kNextValues);
    FinishStream(n, kBitsByte);
    worker.Post(
        [this, n]
        {
            std::uint8_t* c = classification.data();
            for (std::size_t i = 1; i < n; ++i)
            {
                c[i] = static_cast<std::uint8_t>(c[i - 1] + c[i]);
            }
        });

    // 9 to 11: X, Y and Z against their predictions, in place: each predictor of point i reads
    // only what is already rebuilt.
    DecodeValues(x, n, worker, kNextValues);
    FinishStream(n, kBitsLong);
    worker.Post(
        [this, n]
        {
            for (std::size_t i = 1; i < n; ++i)
            {
                x[i] = Add(PredictX(x.data(), i), x[i]);
            }
        });

    DecodeValues(y, n, worker, kNextValues);
    FinishStream(n, kBitsLong);
    worker.Post(
        [this, n]
        {
            for (std::size_t i = 1; i < n; ++i)
            {
                y[i] = Add(PredictY(x.data(), y.data(), i), y[i]);
            }
        });

    DecodeValues(z, n, worker, kNextValues);
    FinishStream(n, kBitsLong);
    worker.Post(
        [this, n]
        {
            for (std::size_t i = 1; i < n; ++i)
            {
                z[i] = Add(PredictZ(x.data(), y.data(), z.data(), i), z[i]);
            }
        });

    // 12: Intensity; the first three points have no prediction.
    DecodeValues(intensityValues, n, worker, Format == 0 ? Following{} : kNextValues);
    FinishStream(n, kBitsShort);
    worker.Post(
        [this, n]
        {
            for (std::size_t i = 0; i < n; ++i)
            {
                const std::uint16_t predicted =
                    i < 3 ? 0 : PredictIntensity(z.data(), intensity.data(), i);
                intensity[i] = static_cast<std::uint16_t>(predicted + intensityValues[i]);
            }
        });

    // 13: GPS Time as bit patterns, high halves then low halves.
    if constexpr (Format == 1 || Format == 3)
    {
        DecodeValues(timeHigh, n, worker, kNextValues);
        DecodeValues(timeLow, n, worker, Format == 3 ? kNextValues : Following{});
        FinishStream(n, kBitsTime);
        worker.Post(
            [this, n]
            {
                for (std::size_t i = 0; i < n; ++i)
                {
                    const std::uint64_t pattern =
                        (std::uint64_t{static_cast<std::uint32_t>(timeHigh[i])} << 32) |
                        static_cast<std::uint32_t>(timeLow[i]);
                    const std::uint64_t predicted =
                        i == 0 ? 0
                               : (i < 4 ? time[0] : PredictGPSTime(time.data(), flag.data(), i));
                    time[i] = predicted + pattern;
                }
            });
    }

    // 14 to 16: Red, Green and Blue, as differences; 16 bits are kept.
    if constexpr (Format == 2 || Format == 3)
    {
        for (FieldArray<std::int32_t>* channel : {&red, &green, &blue})
        {
            DecodeValues(*channel, n, worker, channel == &blue ? Following{} : kNextValues);
            FinishStream(n, kBitsShort);
            worker.Post(
                [channel, n]
                {
                    std::int32_t* c = channel->data();
                    for (std::size_t i = 1; i < n; ++i)
                    {
                        c[i] = Add(c[i - 1], c[i]);
                    }
                });
        }
    }

    // The records, laid out straight from the field arrays a block at a time. Every stream of
    // the chunk is decoded by now: a damaged chunk fails before any of its records is written.
    const std::uint16_t recordLength = target->header->pointDataRecordLength;
    const char* path = target->path;
    worker.Post(
        [this, n, recordLength, path, progress]
        {
            CheckCancel();
            AppendLasRecordImages(
                path, static_cast<std::uint32_t>(n), recordLength,
                [this](std::uint32_t first, std::uint32_t count, unsigned char* images)
                { FillRecords<Format>(first, count, images); },
                progress);
        });
}

template <int Format>
void LCMPStreamContext::FillRecords(std::uint32_t first, std::uint32_t count,
                                    unsigned char* images) const
{
    using Layout = LasRecordLayout<Format>;
    unsigned char* record = images;
    for (std::size_t i = first; i < std::size_t{first} + count; ++i, record += Layout::kSize)
    {
        StoreLE<std::int32_t>(record + LasField::kX, x[i]);
        StoreLE<std::int32_t>(record + LasField::kY, y[i]);
        StoreLE<std::int32_t>(record + LasField::kZ, z[i]);
        StoreLE<std::uint16_t>(record + LasField::kIntensity, intensity[i]);
        record[LasField::kReturnByte] =
            static_cast<unsigned char>((returnNumber[i] & 7u) | ((returns[i] & 7u) << 3) |
                                       ((flag[i] & 1u) << 6) | ((edge[i] & 1u) << 7));
        record[LasField::kClassification] = classification[i];
        record[LasField::kScanAngleRank] = scanAngle[i];
        record[LasField::kUserData] = userData[i];
        StoreLE<std::uint16_t>(record + LasField::kPointSourceId,
                               static_cast<std::uint16_t>(pointSource[i]));
        if constexpr (Layout::kGpsTime >= 0)
        {
            StoreLE<std::uint64_t>(record + Layout::kGpsTime, time[i]);
        }
        if constexpr (Layout::kRgb >= 0)
        {
            StoreLE<std::uint16_t>(record + Layout::kRgb, static_cast<std::uint16_t>(red[i]));
            StoreLE<std::uint16_t>(record + Layout::kRgb + 2, static_cast<std::uint16_t>(green[i]));
            StoreLE<std::uint16_t>(record + Layout::kRgb + 4, static_cast<std::uint16_t>(blue[i]));
        }
    }
}

} // namespace telvora
