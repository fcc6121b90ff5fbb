// Reads chosen records of a file in one open: a cross section collects a hundred thousand
// scattered records per rebuild, and opening the file for each of them costs more than reading
// the whole stretch they lie in.

#include <algorithm>
#include <string>
#include <vector>

#include "common/SystemErrors.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/LasIo.h"
#include "las/PositionTransform.h"
#include "las/PosixFile.h"

namespace telvora
{

namespace
{

// One read covers records whose gap is below this: reading a few kilobytes more is cheaper than
// another system call.
constexpr std::uint64_t kMaxGapBytes = 16u << 10;
constexpr std::uint64_t kMaxBlockBytes = 1u << 20;

[[noreturn]] void ThrowRecordProblem(const char* path, const std::string& reason)
{
    throw CLasException(LasMessage::kReadPoint, FileProblem(path != nullptr ? path : "", reason));
}

} // namespace

std::array<float, 3> CLasFile::RecordPosition(const unsigned char* record,
                                              const Vec3d& origin) const
{
    if (header == nullptr)
    {
        return {0.0f, 0.0f, 0.0f};
    }
    std::array<float, 3> position{};
    PositionTransform(*header, origin).Apply(record, position.data());
    return position;
}

void CLasFile::ReadRecords(const std::uint32_t* indices, std::size_t count,
                           const RecordVisit& visit) const
{
    if (count == 0)
    {
        return;
    }
    const std::size_t standard =
        header != nullptr ? StandardRecordSize(header->pointDataFormatId) : 0;
    if (standard == 0)
    {
        ThrowRecordProblem(path, "the point format cannot be read");
    }
    const std::uint64_t stride = header->pointDataRecordLength;
    if (stride < standard)
    {
        ThrowRecordProblem(path, "the records are shorter than their format");
    }
    PosixFile file(path, PosixFile::Mode::Read);
    if (!file.IsOpen())
    {
        throw CLasException(LasMessage::kReadFileOpen,
                            FileProblem(path != nullptr ? path : "", file.LastError()));
    }
    const std::uint64_t first = header->offsetToPointData;
    const std::uint64_t records = PointCount(*header);
    std::vector<unsigned char> block;
    std::size_t k = 0;
    while (k < count)
    {
        if (indices[k] >= records)
        {
            ThrowRecordProblem(path,
                               "record " + std::to_string(indices[k]) + " is past the last record");
        }
        // The run of following indices that lie ahead within a small gap of each other.
        const std::uint64_t low = indices[k];
        std::uint64_t high = low;
        std::size_t end = k + 1;
        while (end < count && indices[end] >= high && indices[end] < records &&
               (indices[end] - high) * stride <= kMaxGapBytes &&
               (indices[end] - low + 1) * stride <= kMaxBlockBytes)
        {
            high = indices[end];
            ++end;
        }
        const std::size_t wanted = static_cast<std::size_t>((high - low) * stride + standard);
        block.resize(wanted);
        const std::size_t got =
            file.ReadAt(block.data(), wanted, static_cast<std::int64_t>(first + low * stride));
        for (; k < end; ++k)
        {
            const std::uint64_t at = (indices[k] - low) * stride;
            if (at + standard > got)
            {
                const std::string why = file.LastError() != 0 ? ErrorReason(file.LastError())
                                                              : "the file ends before record " +
                                                                    std::to_string(indices[k]);
                ThrowRecordProblem(path, why);
            }
            visit(k, block.data() + at);
        }
    }
}

void CLasFile::WriteClassifications(const std::uint32_t* indices, std::size_t count,
                                    const std::uint8_t* codes, std::uint8_t* previous,
                                    std::size_t& written)
{
    written = 0;
    if (header == nullptr || path == nullptr)
    {
        throw CLasException(LasMessage::kWriteFileOpen);
    }
    // A format the program cannot lay out has no known classification byte: refused before
    // anything changes.
    if (StandardRecordSize(header->pointDataFormatId) == 0)
    {
        throw CLasException(LasMessage::kWritePoint,
                            FileProblem(path, "its point format cannot be written"));
    }
    WriteLasClassifications(
        path,
        {header->offsetToPointData, header->pointDataRecordLength, PointCount(*header),
         static_cast<std::uint16_t>(ClassificationOffset(header->pointDataFormatId))},
        indices, count, codes, previous, written, &identity);
}

} // namespace telvora
