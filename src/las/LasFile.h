#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/Geometry.h"
#include "common/Notifier.h"
#include "common/StatusServices.h"
#include "las/FileIdentity.h"
#include "las/LASPoint.h"
#include "las/LasHeader.h"

namespace telvora
{

// One LAS file. Only its public header is kept; everything else is read from the file each time
// it is needed, and every operation opens the file by its path and closes it again.
class CLasFile
{
public:
    CLasFile() = default;
    ~CLasFile();
    CLasFile(const CLasFile&) = delete;
    CLasFile& operator=(const CLasFile&) = delete;

    // Releases everything held, in the order points, VLRs, header, path.
    void Clear();

    // Also forgets the identity, which belonged to the file at the previous path.
    void SetPath(const char* newPath);

    // Replaces the header by the one read from the path, and the identity by that of the file it
    // was read from. The previous header is released first, also when the read fails.
    void ReadHeader();
    // The same, for a file that is to be shown: refuses, with the reason as the exception's
    // detail, a file whose header or size says its points cannot be read (LasFileCheck.h).
    void ReadCheckedHeader();

    // A table of pointers into one block read from Header Size to Offset to point data, one per
    // record that lies wholly inside the block, walked from its start up to Number of Variable
    // Length Records and stopped at the first that does not fit (real files declare more than
    // they hold); found receives their number. Entry 0 is the block's start and owns it; the
    // caller owns both (ReleaseVlrTable). None when no record is found; vlrs is also cleared
    // when the header declares none. Throws "ReadError::LAS VRL" when the block itself is out of
    // bounds (Offset to point data below Header Size, or past the end of the file), naming the
    // file and the reason.
    unsigned char** ReadVariableLengthRecords(std::uint32_t* found = nullptr);

    void CreatePoints();
    void AllocatePoints();

    // A new point of the file's format, read by index; none when the index is out of range or
    // the format is not 0 to 10. The caller deletes it.
    LASPoint* ReadPoint(std::uint32_t index) const;

    // Real-world positions as floats (PositionTransform.h); scene positions come from
    // RecordPosition with the scene offset as origin.
    std::array<float, 3> GetPointPosition(const LASPoint& point) const;
    // The position of a record image as ReadRecords hands it out, relative to origin.
    std::array<float, 3> RecordPosition(const unsigned char* record,
                                        const Vec3d& origin = {}) const;

    // Calls visit(k, record) for every indices[k] in the order given, record pointing at that
    // record's bytes (the standard part of its format, and valid during the call only). The file
    // is opened once; records close together are read in one block, so ascending indices read
    // fastest. Throws "ReadError::File could not be open." when the file cannot be opened and
    // "ReadError::LAS Point" for an index past the records or a record the file does not hold,
    // both naming the file and the reason; the records before the failing one have been visited.
    using RecordVisit = std::function<void(std::size_t k, const unsigned char* record)>;
    void ReadRecords(const std::uint32_t* indices, std::size_t count,
                     const RecordVisit& visit) const;

    // Sets the classification byte of the records at indices[k] (ascending) to codes[k] in place,
    // in one open; previous[k] receives the byte each held. See WriteLasClassifications: written
    // counts the records whose new byte is in the file, also when it throws. A file that no
    // longer has the identity it was read with is refused untouched; after the writes the
    // identity is the file's new one.
    void WriteClassifications(const std::uint32_t* indices, std::size_t count,
                              const std::uint8_t* codes, std::uint8_t* previous,
                              std::size_t& written);

    // Whole attributes in file order, one element (or triple) per record, in one pass over the
    // point block. None when the file cannot be opened or its format is not 0 to 10; none after the
    // "Can't Read LasPoint0" message when the records are not all there. The progress sink is
    // set every N / 100 records (every record below 100), counting up from the position it has
    // on entry.
    // Positions are relative to origin (PositionTransform.h): the scene offset gives scene
    // coordinates exact to the file's scale, none gives real-world coordinates as floats.
    std::unique_ptr<float[]> ReadPositions(AttributeProgress* progress,
                                           INotifier* notifier = nullptr,
                                           const Vec3d& origin = {}) const;
    std::unique_ptr<std::uint16_t[]> ReadIntensities(AttributeProgress* progress,
                                                     INotifier* notifier = nullptr) const;
    std::unique_ptr<std::uint8_t[]> ReadClassifications(AttributeProgress* progress,
                                                        INotifier* notifier = nullptr) const;
    // Formats 6 to 10 give their 16-bit angle rounded to whole degrees.
    std::unique_ptr<std::int8_t[]> ReadScanAngleRanks(AttributeProgress* progress,
                                                      INotifier* notifier = nullptr) const;
    // Scan angles in degrees, in the steps of every format.
    std::unique_ptr<float[]> ReadScanAngles(AttributeProgress* progress,
                                            INotifier* notifier = nullptr) const;
    std::unique_ptr<std::uint8_t[]> ReadReturnNumbers(AttributeProgress* progress,
                                                      INotifier* notifier = nullptr) const;
    // The classification byte, and in the high byte the return number (low four bits) and the
    // number of returns (high four): both in one pass, for filtering by class and return.
    std::unique_ptr<std::uint16_t[]> ReadClassesAndReturns(AttributeProgress* progress,
                                                           INotifier* notifier = nullptr) const;
    std::unique_ptr<float[]> ReadColors(AttributeProgress* progress,
                                        INotifier* notifier = nullptr) const;

    // Appends the VLR block (and the LAS 1.0 start signature where the layout has room for just
    // it) to a file whose header has been written.
    void WriteVariableLengthRecords();
    void WritePoints(std::atomic<std::int32_t>* progressCounter);
    // Rewrites one record in place. Only the standard part of the record is written, so extra
    // bytes behind it survive. False, writing nothing, when the index is out of range or the
    // point cannot be stored in this file's format.
    bool WritePoint(std::uint32_t index, const LASPoint& point);

    LasHeader* header = nullptr;
    // The file as it was read or last written by the program: writes check against it.
    FileIdentity identity;
    unsigned char** vlrs = nullptr;
    LASPoint** points = nullptr;
    char* path = nullptr;

private:
    void ReleasePoints();
    void ReleaseVlrs();

    // The table's length and the array AllocatePoints made for it. Entries that a caller stores
    // in a table from CreatePoints remain the caller's.
    std::uint64_t pointTableSize = 0;
    LASPoint* pointArray = nullptr;
};

// Releases a table returned by ReadVariableLengthRecords together with its block.
void ReleaseVlrTable(unsigned char** table);

} // namespace telvora
