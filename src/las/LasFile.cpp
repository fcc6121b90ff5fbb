#include "las/LasFile.h"

#include <cstring>
#include <fmt/format.h>
#include <memory>
#include <new>
#include <vector>

#include "common/SystemErrors.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFileCheck.h"
#include "las/LasIo.h"
#include "las/PositionTransform.h"

namespace telvora
{

namespace
{

void DeletePointArray(LASPoint* first)
{
    WithLasFormat(
        static_cast<unsigned>(first->GetFormat()),
        [first](auto f)
        {
            delete[] static_cast<LASPointRecord<decltype(f)::value>*>(first);
            return 0;
        },
        [] { return 0; });
}

template <typename Point>
LASPoint* NewPointArray(std::uint64_t count, LASPoint** table)
{
    if (count == 0)
    {
        return nullptr;
    }
    auto* objects = new (std::nothrow) Point[count];
    if (objects == nullptr)
    {
        throw CLasException(LasMessage::kCreatePoints);
    }
    for (std::uint64_t i = 0; i < count; ++i)
    {
        table[i] = objects + i;
    }
    return objects;
}

} // namespace

CLasFile::~CLasFile()
{
    Clear();
}

void CLasFile::Clear()
{
    ReleasePoints();
    ReleaseVlrs();
    delete header;
    header = nullptr;
    delete[] path;
    path = nullptr;
    identity = {};
}

void CLasFile::ReleasePoints()
{
    if (pointArray != nullptr)
    {
        DeletePointArray(pointArray);
        pointArray = nullptr;
    }
    delete[] points;
    points = nullptr;
    pointTableSize = 0;
}

void CLasFile::ReleaseVlrs()
{
    ReleaseVlrTable(vlrs);
    vlrs = nullptr;
}

void ReleaseVlrTable(unsigned char** table)
{
    if (table != nullptr)
    {
        delete[] table[0];
        delete[] table;
    }
}

void CLasFile::SetPath(const char* newPath)
{
    char* copy = nullptr;
    if (newPath != nullptr)
    {
        const std::size_t length = std::strlen(newPath);
        copy = new char[length + 1];
        std::memcpy(copy, newPath, length + 1);
    }
    delete[] path;
    path = copy;
    identity = {};
}

void CLasFile::ReadHeader()
{
    delete header;
    header = nullptr;
    identity = {};
    header = new LasHeader(ReadLasHeaderBlock(path, &identity));
}

void CLasFile::ReadCheckedHeader()
{
    delete header;
    header = nullptr;
    identity = {};
    header = new LasHeader(ReadCheckedLasHeader(path, &identity));
}

unsigned char** CLasFile::ReadVariableLengthRecords(std::uint32_t* found)
{
    if (found != nullptr)
    {
        *found = 0;
    }
    if (header == nullptr)
    {
        return nullptr;
    }
    const std::uint32_t declared = header->numberOfVariableLengthRecords;
    if (declared == 0)
    {
        ReleaseVlrs();
        return nullptr;
    }
    // The block runs from Header Size to Offset to point data; a block that is itself out of
    // bounds is refused before anything is read or allocated.
    if (header->offsetToPointData < header->headerSize)
    {
        throw CLasException(
            LasMessage::kReadVlr,
            FileProblem(path != nullptr ? path : "",
                        fmt::format("its point data would start at byte {}, inside its {}-byte "
                                    "header",
                                    header->offsetToPointData, header->headerSize)));
    }
    const std::uint32_t size = header->offsetToPointData - header->headerSize;
    std::unique_ptr<unsigned char[]> block(ReadLasBlock(path, size, header->headerSize));

    // Real files declare more records than they hold: the records that lie wholly inside the
    // block are taken, up to the first that does not fit.
    std::vector<std::uint64_t> starts;
    std::uint64_t at = 0;
    while (starts.size() < declared && at + LasVlrHeader::kImageSize <= size)
    {
        const std::uint64_t dataLength = LoadLE<std::uint16_t>(block.get() + at + 20);
        if (at + LasVlrHeader::kImageSize + dataLength > size)
        {
            break;
        }
        starts.push_back(at);
        at += LasVlrHeader::kImageSize + dataLength;
    }
    if (found != nullptr)
    {
        *found = static_cast<std::uint32_t>(starts.size());
    }
    if (starts.empty())
    {
        return nullptr;
    }
    auto** table = new unsigned char*[starts.size()];
    // Entry 0 is the block's first byte and owns it.
    unsigned char* owned = block.release();
    for (std::size_t i = 0; i < starts.size(); ++i)
    {
        table[i] = owned + starts[i];
    }
    return table;
}

void CLasFile::CreatePoints()
{
    ReleasePoints();
    const std::uint64_t count = header != nullptr ? PointCount(*header) : 0;
    points = new (std::nothrow) LASPoint*[count];
    if (points == nullptr)
    {
        throw CLasException(LasMessage::kCreatePoints);
    }
    pointTableSize = count;
    for (std::uint64_t i = 0; i < count; ++i)
    {
        points[i] = nullptr;
    }
}

void CLasFile::AllocatePoints()
{
    CreatePoints();
    if (header == nullptr)
    {
        return;
    }
    pointArray = WithLasFormat(
        header->pointDataFormatId,
        [this](auto f)
        { return NewPointArray<LASPointRecord<decltype(f)::value>>(pointTableSize, points); },
        []() -> LASPoint* { return nullptr; });
}

LASPoint* CLasFile::ReadPoint(std::uint32_t index) const
{
    if (header == nullptr || index >= PointCount(*header))
    {
        return nullptr;
    }
    const std::size_t standard = StandardRecordSize(header->pointDataFormatId);
    if (standard == 0)
    {
        return nullptr;
    }
    // A record shorter than its format cannot hold a point; extra bytes behind the standard part
    // are stepped over.
    if (header->pointDataRecordLength < standard)
    {
        throw CLasException(
            LasMessage::kReadPoint,
            FileProblem(path != nullptr ? path : "",
                        fmt::format("its point records are {} bytes long, too short for point "
                                    "format {} ({} bytes)",
                                    header->pointDataRecordLength,
                                    static_cast<unsigned>(header->pointDataFormatId), standard)));
    }
    const std::uint64_t offset = static_cast<std::uint64_t>(header->offsetToPointData) +
                                 static_cast<std::uint64_t>(index) * header->pointDataRecordLength;
    LASPoint* point = CreateLasPoint(header->pointDataFormatId);
    try
    {
        ReadLasPointRecord(path, standard, RecordImage(*point), offset);
    }
    catch (...)
    {
        delete point;
        throw;
    }
    return point;
}

std::array<float, 3> CLasFile::GetPointPosition(const LASPoint& point) const
{
    if (header == nullptr)
    {
        return {0.0f, 0.0f, 0.0f};
    }
    const Vec3 position = PositionTransform(*header).Of(point.GetX(), point.GetY(), point.GetZ());
    return {position.x, position.y, position.z};
}

void CLasFile::WriteVariableLengthRecords()
{
    if (header == nullptr)
    {
        throw CLasException(LasMessage::kWriteVlr);
    }
    const bool ordered = header->offsetToPointData >= header->headerSize;
    const std::uint32_t size = ordered ? header->offsetToPointData - header->headerSize : 0;
    if (vlrs != nullptr)
    {
        if (!ordered)
        {
            throw CLasException(LasMessage::kWriteVlr);
        }
        AppendLasBlock(path, size, vlrs[0]);
    }
    if (header->numberOfVariableLengthRecords == 0 && ordered && size == 2)
    {
        AppendPointDataStartSignature(path);
    }
}

void CLasFile::WritePoints(std::atomic<std::int32_t>* progressCounter)
{
    if (header == nullptr || StandardRecordSize(header->pointDataFormatId) == 0)
    {
        return;
    }
    AppendLasPointRecords(path, static_cast<std::uint32_t>(PointCount(*header)),
                          header->pointDataRecordLength, points, progressCounter);
}

bool CLasFile::WritePoint(std::uint32_t index, const LASPoint& point)
{
    if (header == nullptr || index >= PointCount(*header))
    {
        return false;
    }
    const std::size_t standard = StandardRecordSize(header->pointDataFormatId);
    const unsigned char* image = RecordImage(point);
    // Reporting success for a record that was not written would let a reclassification believe
    // it had been saved.
    if (standard == 0 || image == nullptr ||
        static_cast<unsigned>(point.GetFormat()) != header->pointDataFormatId)
    {
        return false;
    }
    if (header->pointDataRecordLength < standard)
    {
        throw CLasException(LasMessage::kWritePoint);
    }
    const std::uint64_t offset = static_cast<std::uint64_t>(header->offsetToPointData) +
                                 static_cast<std::uint64_t>(index) * header->pointDataRecordLength;
    WriteLasPointRecord(path, standard, image, offset, index);
    return true;
}

} // namespace telvora
