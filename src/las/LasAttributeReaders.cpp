// The readers of whole attributes: one sequential pass over the point block in large blocks,
// parsing records out of the buffer, so that files of tens of millions of points read at close to
// the speed of the page cache without holding their records.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/PathHelpers.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/LasFileCheck.h"
#include "las/PositionTransform.h"
#include "las/PosixFile.h"

namespace telvora
{

namespace
{

constexpr std::size_t kReadBlock = 1u << 20;

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// Fresh memory costs a page fault per 4 KiB on first write, and for large arrays those faults
// take longer than reading the records from the page cache. A second thread has the kernel map
// the pages ahead of the parser (without touching their contents, so the two never race on the
// data); where the kernel cannot, the parser simply takes the faults itself.
class PagePrefetcher
{
public:
    PagePrefetcher(void* data, std::size_t bytes)
    {
        constexpr std::size_t kWorthIt = 8u << 20;
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto start = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
        const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) / page * page;
        if (bytes < kWorthIt || end <= start || std::thread::hardware_concurrency() < 2)
        {
            return;
        }
        // Huge pages, where the system offers them, cut the mapping work by far again.
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
        try
        {
            worker = std::thread([this, start, end] { Populate(start, end); });
        }
        catch (const std::system_error&)
        {
            // No thread to spare: the parser takes the faults itself.
        }
    }
    ~PagePrefetcher()
    {
        stop.store(true, std::memory_order_relaxed);
        if (worker.joinable())
        {
            worker.join();
        }
    }
    PagePrefetcher(const PagePrefetcher&) = delete;
    PagePrefetcher& operator=(const PagePrefetcher&) = delete;

private:
    void Populate(std::uintptr_t start, std::uintptr_t end)
    {
        constexpr std::uintptr_t kChunk = 4u << 20;
        for (std::uintptr_t at = start; at < end && !stop.load(std::memory_order_relaxed);
             at += kChunk)
        {
            const std::uintptr_t size = std::min(kChunk, end - at);
            if (::madvise(reinterpret_cast<void*>(at), size, MADV_POPULATE_WRITE) != 0)
            {
                break;
            }
        }
    }

    std::atomic<bool> stop{false};
    std::thread worker;
};

// Runs extract(record, element) for every record of the file, with Width elements of type
// Element per record. See CLasFile::ReadPositions for what a failure returns.
template <typename Element, std::size_t Width, typename Extract>
std::unique_ptr<Element[]> ReadAttribute(const LasHeader* header, const char* path,
                                         AttributeProgress* progress, INotifier* notifier,
                                         Extract&& extract)
{
    if (header == nullptr)
    {
        return nullptr;
    }
    // Read only: a file the user may only view must still be viewable.
    PosixFile file(path, PosixFile::Mode::Read);
    if (!file.IsOpen())
    {
        return nullptr;
    }
    // Records of other formats (compressed files, formats above 10) are not understood; returning
    // no array keeps callers from showing made-up values.
    const std::size_t standard = StandardRecordSize(header->pointDataFormatId);
    if (standard == 0)
    {
        return nullptr;
    }

    const std::uint64_t count = PointCount(*header);
    const std::uint64_t step = count < 100 ? count : count / 100;
    int position = progress != nullptr ? progress->GetProgressPos() : 0;

    auto shortRead = [&]() -> std::unique_ptr<Element[]>
    {
        // The file is measured again: it may have shrunk while it was read.
        const std::int64_t size = file.Size();
        const std::uint64_t block =
            size > static_cast<std::int64_t>(header->offsetToPointData)
                ? static_cast<std::uint64_t>(size) - header->offsetToPointData
                : 0;
        INotifier& shown = notifier != nullptr ? *notifier : StderrNotifier();
        shown.ShowMessage(LasMessage::kAttributeShortRead, LasMessage::kAttributeShortReadCaption,
                          MessageIcon::Error,
                          TruncatedRecordsReason(FileNameOf(path), *header, block));
        return nullptr;
    };

    // Records step by Point Data Record Length, so extra bytes behind the standard part are
    // skipped; a record too short for its format cannot be read at all.
    const std::uint64_t stride = header->pointDataRecordLength;
    if (stride < standard)
    {
        return shortRead();
    }
    // A header may claim far more records than its file holds: find out before allocating.
    const std::uint64_t first = header->offsetToPointData;
    if (count > 0 &&
        first + (count - 1) * stride + standard > static_cast<std::uint64_t>(file.Size()))
    {
        return shortRead();
    }

    std::unique_ptr<Element[]> values;
    try
    {
        // Every element is written below before the array is returned.
        values = std::make_unique_for_overwrite<Element[]>(count * Width);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }

    PagePrefetcher prefetcher(values.get(), count * Width * sizeof(Element));
    file.AdviseSequential();
    // A small file gets a buffer of its size: zeroing a full block for a few records would cost
    // more than reading them.
    const std::uint64_t perBlock =
        std::min<std::uint64_t>(std::max<std::uint64_t>(1, kReadBlock / stride), count);
    std::vector<unsigned char> buffer(perBlock * stride);
    std::uint64_t nextReport = 0;
    for (std::uint64_t done = 0; done < count;)
    {
        const std::uint64_t records = std::min(perBlock, count - done);
        const std::size_t wanted = static_cast<std::size_t>((records - 1) * stride + standard);
        if (file.ReadAt(buffer.data(), wanted, static_cast<std::int64_t>(first + done * stride)) !=
            wanted)
        {
            return shortRead();
        }
        const unsigned char* record = buffer.data();
        Element* out = values.get() + done * Width;
        for (std::uint64_t k = 0; k < records; ++k, record += stride, out += Width)
        {
            extract(record, out);
            if (done + k == nextReport)
            {
                if (progress != nullptr)
                {
                    progress->SetProgressPos(position);
                }
                ++position;
                nextReport += step;
            }
        }
        done += records;
    }
    return values;
}

} // namespace

std::unique_ptr<float[]> CLasFile::ReadPositions(AttributeProgress* progress, INotifier* notifier,
                                                 const Vec3d& origin) const
{
    if (header == nullptr)
    {
        return nullptr;
    }
    const PositionTransform transform(*header, origin);
    return ReadAttribute<float, 3>(header, path, progress, notifier,
                                   [&](const unsigned char* record, float* out)
                                   { transform.Apply(record, out); });
}

std::unique_ptr<std::uint16_t[]> CLasFile::ReadIntensities(AttributeProgress* progress,
                                                           INotifier* notifier) const
{
    return ReadAttribute<std::uint16_t, 1>(
        header, path, progress, notifier,
        [](const unsigned char* record, std::uint16_t* out)
        { *out = LoadLE<std::uint16_t>(record + LasField::kIntensity); });
}

std::unique_ptr<std::uint8_t[]> CLasFile::ReadClassifications(AttributeProgress* progress,
                                                              INotifier* notifier) const
{
    if (header == nullptr)
    {
        return nullptr;
    }
    const std::size_t at = ClassificationOffset(header->pointDataFormatId);
    return ReadAttribute<std::uint8_t, 1>(header, path, progress, notifier,
                                          [at](const unsigned char* record, std::uint8_t* out)
                                          { *out = record[at]; });
}

std::unique_ptr<std::int8_t[]> CLasFile::ReadScanAngleRanks(AttributeProgress* progress,
                                                            INotifier* notifier) const
{
    if (header == nullptr)
    {
        return nullptr;
    }
    const bool extended = FormatLayout(header->pointDataFormatId).extended;
    return ReadAttribute<std::int8_t, 1>(
        header, path, progress, notifier,
        [extended](const unsigned char* record, std::int8_t* out)
        {
            // Formats with a 16-bit angle give it to whole degrees, as a rank holds it.
            *out = extended ? static_cast<std::int8_t>(std::clamp(
                                  std::lround(ScanAngleDegrees(record, true)), -128L, 127L))
                            : static_cast<std::int8_t>(record[LasField::kScanAngleRank]);
        });
}

std::unique_ptr<float[]> CLasFile::ReadScanAngles(AttributeProgress* progress,
                                                  INotifier* notifier) const
{
    if (header == nullptr)
    {
        return nullptr;
    }
    const bool extended = FormatLayout(header->pointDataFormatId).extended;
    return ReadAttribute<float, 1>(header, path, progress, notifier,
                                   [extended](const unsigned char* record, float* out)
                                   { *out = ScanAngleDegrees(record, extended); });
}

std::unique_ptr<std::uint8_t[]> CLasFile::ReadReturnNumbers(AttributeProgress* progress,
                                                            INotifier* notifier) const
{
    if (header == nullptr)
    {
        return nullptr;
    }
    const bool extended = FormatLayout(header->pointDataFormatId).extended;
    return ReadAttribute<std::uint8_t, 1>(header, path, progress, notifier,
                                          [extended](const unsigned char* record, std::uint8_t* out)
                                          { *out = ReturnNumberOf(record, extended); });
}

std::unique_ptr<std::uint16_t[]> CLasFile::ReadClassesAndReturns(AttributeProgress* progress,
                                                                 INotifier* notifier) const
{
    if (header == nullptr)
    {
        return nullptr;
    }
    const bool extended = FormatLayout(header->pointDataFormatId).extended;
    const std::size_t classByte = ClassificationOffset(header->pointDataFormatId);
    return ReadAttribute<std::uint16_t, 1>(
        header, path, progress, notifier,
        [extended, classByte](const unsigned char* record, std::uint16_t* out)
        {
            // Formats 6 to 10 keep the two in nibbles already; 0 to 5 in three bits each.
            const unsigned byte = record[LasField::kReturnByte];
            const unsigned pair = extended ? byte : (byte & 0x07u) | ((byte >> 3) & 0x07u) << 4;
            *out = static_cast<std::uint16_t>(record[classByte] | pair << 8);
        });
}

std::unique_ptr<float[]> CLasFile::ReadColors(AttributeProgress* progress,
                                              INotifier* notifier) const
{
    if (header == nullptr)
    {
        return nullptr;
    }
    // A division per channel would dominate the pass; the table holds the very same quotients.
    static const std::unique_ptr<float[]> fractions = []
    {
        auto table = std::make_unique<float[]>(65536);
        for (std::uint32_t value = 0; value < 65536; ++value)
        {
            table[value] = static_cast<float>(value / 65535.0);
        }
        return table;
    }();
    const int rgb = FormatLayout(header->pointDataFormatId).rgb;
    const float* fraction = fractions.get();
    return ReadAttribute<float, 3>(
        header, path, progress, notifier,
        [rgb, fraction](const unsigned char* record, float* out)
        {
            if (rgb < 0)
            {
                out[0] = out[1] = out[2] = 0.0f;
                return;
            }
            for (std::size_t channel = 0; channel < 3; ++channel)
            {
                out[channel] = fraction[LoadLE<std::uint16_t>(record + rgb + 2 * channel)];
            }
        });
}

} // namespace telvora
