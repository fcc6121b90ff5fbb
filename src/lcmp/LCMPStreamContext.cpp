#include "lcmp/LCMPStreamContext.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

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

std::uint32_t ReadRaw32(IByteSource& source)
{
    unsigned char bytes[4];
    if (source.Read(bytes, sizeof bytes) != sizeof bytes)
    {
        throw CLasException(LcmpMessage::kEntryTruncated);
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
}

void LCMPStreamContext::ReleaseBuffers()
{
    for (auto* bytes : {&symbols, &lengths, &planes[0], &planes[1], &planes[2], &planes[3], &flag})
    {
        std::vector<unsigned char>().swap(*bytes);
    }
    for (auto* ints : {&values, &highValues, &x, &y, &z})
    {
        std::vector<std::int32_t>().swap(*ints);
    }
    std::vector<std::uint16_t>().swap(intensity);
    std::vector<std::uint64_t>().swap(time);
    fields.Release();
    streamsTotal.store(0, std::memory_order_relaxed);
}

void LCMPStreamContext::DecodeStream(unsigned char* buffer, std::size_t n, IByteSource& source)
{
    try
    {
        decoder.DecodeSymbols(buffer, n, source);
    }
    catch (const CLasException&)
    {
        // A stream whose table or end marker is missing where the entry's bytes ran out was cut
        // short, not damaged.
        if (Remaining(source) == 0)
        {
            throw CLasException(LcmpMessage::kEntryTruncated);
        }
        throw;
    }
    // The next stream, or the end of the entry, lies after this one's end marker: a marker that
    // only the end-of-file rules placed beyond the entry was never there.
    const std::int64_t size = source.Size();
    if (size >= 0 && source.Position() > size)
    {
        throw CLasException(LcmpMessage::kEntryTruncated);
    }
}

void LCMPStreamContext::DecodeBytes(std::size_t n)
{
    CheckCancel();
    symbols.resize(n);
    DecodeStream(symbols.data(), n, *archive);
}

void LCMPStreamContext::DecodeValues(std::size_t n)
{
    CheckCancel();
    values.resize(n);
    ReadValueStream(*archive, values.data(), n);
}

void LCMPStreamContext::ReadValueStream(IByteSource& source, std::int32_t* out, std::size_t n)
{
    // Every value stream holds at least its first value.
    if (n == 0)
    {
        throw CLasException(LcmpMessage::kPlaneCount);
    }
    out[0] = static_cast<std::int32_t>(ReadRaw32(source));

    // Every later value has a length symbol: bit 0 its sign, the rest its byte count.
    const std::size_t m = n - 1;
    lengths.resize(std::max<std::size_t>(m, 1));
    DecodeStream(lengths.data(), std::max<std::size_t>(m, 1), source);
    auto* magnitude = reinterpret_cast<std::uint32_t*>(out + 1);
    unsigned largest = 0;
    std::size_t wider[4] = {};
    for (std::size_t j = 0; j < m; ++j)
    {
        const unsigned count = std::min(lengths[j] >> 1, 4);
        largest = std::max(largest, count);
        for (unsigned p = 0; p < count; ++p)
        {
            ++wider[p];
        }
    }

    // Plane p holds byte p of every value at least p + 1 bytes long, in order.
    for (unsigned p = 0; p < largest; ++p)
    {
        const std::uint32_t count = ReadRaw32(source);
        if (count > m || count < wider[p])
        {
            throw CLasException(LcmpMessage::kPlaneCount);
        }
        planes[p].resize(count);
        DecodeStream(planes[p].data(), count, source);
    }

    // One pass puts the values together; the counts checked above keep every plane's cursor
    // within its plane.
    const unsigned char* cursor[4] = {planes[0].data(), planes[1].data(), planes[2].data(),
                                      planes[3].data()};
    for (std::size_t j = 0; j < m; ++j)
    {
        const unsigned symbol = lengths[j];
        const unsigned count = std::min(symbol >> 1, 4u);
        std::uint32_t value = 0;
        for (unsigned p = 0; p < count; ++p)
        {
            value |= std::uint32_t{*cursor[p]++} << (8 * p);
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
        throw CLasException(LcmpMessage::kNoArchiveFile);
    }
    startOffset = archive->Position();

    try
    {
        unsigned char image[EntryHeaderImage::kSize];
        if (archive->Read(image, sizeof image) != sizeof image)
        {
            throw CLasException(LcmpMessage::kEntryTruncated);
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
                throw CLasException(LcmpMessage::kVlrBlock);
            }
            const std::uint32_t size = header.offsetToPointData - header.headerSize;
            if (Remaining(*archive) < size)
            {
                throw CLasException(LcmpMessage::kEntryTruncated);
            }
            auto* block = new unsigned char[std::max<std::uint32_t>(size, 1)];
            if (archive->Read(block, size) != size)
            {
                delete[] block;
                throw CLasException(LcmpMessage::kEntryTruncated);
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
                throw CLasException(LcmpMessage::kEntryTruncated);
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
        if (archive->Read(block.data(), bytes) != bytes)
        {
            throw CLasException(LcmpMessage::kReadRawPoints);
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
        throw CLasException(LcmpMessage::kNoPoints);
    }
    const unsigned format = header.pointDataFormatId;
    if (format > 3)
    {
        throw CLasException(LcmpMessage::kUnsupportedFormat);
    }
    if (header.pointDataRecordLength != StandardRecordSize(format))
    {
        throw CLasException(LcmpMessage::kRecordLength);
    }
    // Every stream takes some bytes whatever it holds: an entry too short for the chunks it
    // claims is refused before anything is written, so that a few bytes claiming billions of
    // points never fill the disk with their first chunks.
    const std::vector<std::uint32_t> sizes = ChunkSizes(header.numberOfPointRecords);
    if (Remaining(*archive) / sizes.size() < MinChunkBytes(format))
    {
        throw CLasException(LcmpMessage::kEntryTruncated);
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

    for (const std::uint32_t n : sizes)
    {
        // The same for each chunk, before millions of points are allocated for it.
        if (Remaining(*archive) < MinChunkBytes(format))
        {
            throw CLasException(LcmpMessage::kEntryTruncated);
        }
        header.numberOfPointRecords = n;
        x.resize(n);
        y.resize(n);
        z.resize(n);
        intensity.resize(n);
        flag.resize(n);
        time.resize(format == 1 || format == 3 ? n : 0);
        // The records are laid out straight from the field arrays, a block at a time, once every
        // stream of the chunk has been decoded: a damaged chunk fails before any is written.
        RecordImageFill fill;
        switch (format)
        {
        case 0:
            DecodeChunk<0>(n);
            fill = [this](std::uint32_t first, std::uint32_t count, unsigned char* images)
            { FillRecords<0>(first, count, images); };
            break;
        case 1:
            DecodeChunk<1>(n);
            fill = [this](std::uint32_t first, std::uint32_t count, unsigned char* images)
            { FillRecords<1>(first, count, images); };
            break;
        case 2:
            DecodeChunk<2>(n);
            fill = [this](std::uint32_t first, std::uint32_t count, unsigned char* images)
            { FillRecords<2>(first, count, images); };
            break;
        default:
            DecodeChunk<3>(n);
            fill = [this](std::uint32_t first, std::uint32_t count, unsigned char* images)
            { FillRecords<3>(first, count, images); };
            break;
        }
        CheckCancel();
        AppendLasRecordImages(target->path, n, header.pointDataRecordLength, fill, progress);
    }
}

template <int Format>
void LCMPStreamContext::DecodeChunk(std::size_t n)
{
    using namespace LcmpPredict;
    // Every field is rebuilt into a flat array of its own, in stream order; the records are laid
    // out from them in one pass (FillRecords), which touches each of them once instead of once
    // per field.
    ChunkFields& f = fields;
    f.Resize(n, Format);
    const unsigned char* d = nullptr;

    // 1: User Data.
    DecodeBytes(n);
    std::memcpy(f.userData.data(), symbols.data(), n);
    FinishStream(n, kBitsByte);

    // 2: Scan Direction Flag, as differences of the one-bit field.
    DecodeBytes(n);
    d = symbols.data();
    flag[0] = d[0] & 1u;
    for (std::size_t i = 1; i < n; ++i)
    {
        flag[i] = static_cast<std::uint8_t>((flag[i - 1] + d[i]) & 1u);
    }
    FinishStream(n, kBitsFlag);

    // 3: Scan Angle Rank, as differences.
    DecodeBytes(n);
    d = symbols.data();
    f.scanAngle[0] = d[0];
    for (std::size_t i = 1; i < n; ++i)
    {
        f.scanAngle[i] = static_cast<std::uint8_t>(f.scanAngle[i - 1] + d[i]);
    }
    FinishStream(n, kBitsByte);

    // 4: Return Number, three bits.
    DecodeBytes(n);
    d = symbols.data();
    for (std::size_t i = 0; i < n; ++i)
    {
        f.returnNumber[i] = d[i] & 7u;
    }
    FinishStream(n, kBitsThree);

    // 5: Point Source ID, as differences.
    DecodeValues(n);
    f.pointSource[0] = static_cast<std::uint16_t>(values[0]);
    for (std::size_t i = 1; i < n; ++i)
    {
        f.pointSource[i] = static_cast<std::uint16_t>(f.pointSource[i - 1] + values[i]);
    }
    FinishStream(n, kBitsShort);

    // 6: Number of Returns, as differences of the three-bit field.
    DecodeBytes(n);
    d = symbols.data();
    f.returns[0] = d[0] & 7u;
    for (std::size_t i = 1; i < n; ++i)
    {
        f.returns[i] = static_cast<std::uint8_t>((f.returns[i - 1] + d[i]) & 7u);
    }
    FinishStream(n, kBitsThree);

    // 7: Edge of Flight Line, one bit.
    DecodeBytes(n);
    d = symbols.data();
    for (std::size_t i = 0; i < n; ++i)
    {
        f.edge[i] = d[i] & 1u;
    }
    FinishStream(n, kBitsFlag);

    // 8: Classification, the whole byte, as differences.
    DecodeBytes(n);
    d = symbols.data();
    f.classification[0] = d[0];
    for (std::size_t i = 1; i < n; ++i)
    {
        f.classification[i] = static_cast<std::uint8_t>(f.classification[i - 1] + d[i]);
    }
    FinishStream(n, kBitsByte);

    // 9 to 11: X, Y and Z against their predictions; each predictor may use the coordinates
    // decoded before it, of every point of the chunk.
    DecodeValues(n);
    x[0] = values[0];
    for (std::size_t i = 1; i < n; ++i)
    {
        x[i] = Add(PredictX(x.data(), i), values[i]);
    }
    FinishStream(n, kBitsLong);

    DecodeValues(n);
    y[0] = values[0];
    for (std::size_t i = 1; i < n; ++i)
    {
        y[i] = Add(PredictY(x.data(), y.data(), i), values[i]);
    }
    FinishStream(n, kBitsLong);

    DecodeValues(n);
    z[0] = values[0];
    for (std::size_t i = 1; i < n; ++i)
    {
        z[i] = Add(PredictZ(x.data(), y.data(), z.data(), i), values[i]);
    }
    FinishStream(n, kBitsLong);

    // 12: Intensity; the first three points have no prediction.
    DecodeValues(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const std::uint16_t predicted = i < 3 ? 0 : PredictIntensity(z.data(), intensity.data(), i);
        intensity[i] = static_cast<std::uint16_t>(predicted + values[i]);
    }
    FinishStream(n, kBitsShort);

    // 13: GPS Time as bit patterns, high halves then low halves.
    if constexpr (Format == 1 || Format == 3)
    {
        DecodeValues(n);
        highValues.swap(values);
        DecodeValues(n);
        const std::vector<std::int32_t>& highs = highValues;
        const std::vector<std::int32_t>& lows = values;
        for (std::size_t i = 0; i < n; ++i)
        {
            const std::uint64_t pattern =
                (std::uint64_t{static_cast<std::uint32_t>(highs[i])} << 32) |
                static_cast<std::uint32_t>(lows[i]);
            const std::uint64_t predicted =
                i == 0 ? 0 : (i < 4 ? time[0] : PredictGPSTime(time.data(), flag.data(), i));
            time[i] = predicted + pattern;
        }
        FinishStream(n, kBitsTime);
    }

    // 14 to 16: Red, Green and Blue, as differences.
    if constexpr (Format == 2 || Format == 3)
    {
        for (std::vector<std::uint16_t>* channel : {&f.red, &f.green, &f.blue})
        {
            DecodeValues(n);
            std::uint16_t* c = channel->data();
            c[0] = static_cast<std::uint16_t>(values[0]);
            for (std::size_t i = 1; i < n; ++i)
            {
                c[i] = static_cast<std::uint16_t>(c[i - 1] + values[i]);
            }
            FinishStream(n, kBitsShort);
        }
    }
}

template <int Format>
void LCMPStreamContext::FillRecords(std::uint32_t first, std::uint32_t count,
                                    unsigned char* images) const
{
    using Layout = LasRecordLayout<Format>;
    const ChunkFields& f = fields;
    unsigned char* record = images;
    for (std::size_t i = first; i < std::size_t{first} + count; ++i, record += Layout::kSize)
    {
        StoreLE<std::int32_t>(record + LasField::kX, x[i]);
        StoreLE<std::int32_t>(record + LasField::kY, y[i]);
        StoreLE<std::int32_t>(record + LasField::kZ, z[i]);
        StoreLE<std::uint16_t>(record + LasField::kIntensity, intensity[i]);
        record[LasField::kReturnByte] =
            static_cast<unsigned char>((f.returnNumber[i] & 7u) | ((f.returns[i] & 7u) << 3) |
                                       ((flag[i] & 1u) << 6) | ((f.edge[i] & 1u) << 7));
        record[LasField::kClassification] = f.classification[i];
        record[LasField::kScanAngleRank] = f.scanAngle[i];
        record[LasField::kUserData] = f.userData[i];
        StoreLE<std::uint16_t>(record + LasField::kPointSourceId, f.pointSource[i]);
        if constexpr (Layout::kGpsTime >= 0)
        {
            StoreLE<std::uint64_t>(record + Layout::kGpsTime, time[i]);
        }
        if constexpr (Layout::kRgb >= 0)
        {
            StoreLE<std::uint16_t>(record + Layout::kRgb, f.red[i]);
            StoreLE<std::uint16_t>(record + Layout::kRgb + 2, f.green[i]);
            StoreLE<std::uint16_t>(record + Layout::kRgb + 4, f.blue[i]);
        }
    }
}

void LCMPStreamContext::ChunkFields::Resize(std::size_t n, int format)
{
    for (auto* bytes : {&userData, &scanAngle, &returnNumber, &returns, &edge, &classification})
    {
        bytes->resize(n);
    }
    pointSource.resize(n);
    const bool rgb = format == 2 || format == 3;
    for (auto* channel : {&red, &green, &blue})
    {
        channel->resize(rgb ? n : 0);
    }
}

void LCMPStreamContext::ChunkFields::Release()
{
    *this = ChunkFields();
}

} // namespace telvora
