#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "las/FileIdentity.h"
#include "las/LasHeader.h"

namespace telvora
{

class LASPoint;

// Low-level readers and writers of LAS files. Each opens the file by its path, does its work and
// closes it again; failures throw CLasException with the fixed texts of LasException.h and, as
// the detail, the path and the system's reason.

// The first 227 bytes, whatever the Header Size says, and the fields LAS 1.3 and 1.4 add as far as
// the file holds them; identity, when given, receives the identity of the file they were read
// from.
LasHeader ReadLasHeaderBlock(const char* path, FileIdentity* identity = nullptr);

// A new[] block of size bytes read at offset; the caller deletes it.
unsigned char* ReadLasBlock(const char* path, std::uint32_t size, std::uint32_t offset);

// size bytes at offset into buffer.
void ReadLasPointRecord(const char* path, std::size_t size, unsigned char* buffer,
                        std::uint64_t offset);

// Makes destination an exact copy of source. The copy goes to a new file beside the destination
// and replaces it only once complete and flushed, so a failed copy never leaves the destination
// damaged. Copying a file onto itself does nothing. An existing destination keeps its
// permissions; a read-only one (no write permission, or none for this user) is refused.
// destinationIdentity, when given, is checked first where it is known: a destination that no
// longer has it is refused, naming it, and left alone. It then receives the identity of the
// written destination.
void CopyLasFile(const char* source, const char* destination,
                 FileIdentity* destinationIdentity = nullptr);

// Creates or truncates the file and writes the first 227 bytes of the header, as an archive
// entry's header image holds them; with extension, the fields LAS 1.3 and 1.4 add too where the
// Header Size has room for them (SerializeLasHeaderImage).
void WriteLasHeader(const LasHeader& header, const char* path, bool extension = false);

void AppendLasBlock(const char* path, std::size_t size, const unsigned char* bytes);

// The LAS 1.0 point data start signature 0xCCDD, stored as the bytes DD CC.
void AppendPointDataStartSignature(const char* path);

// Sets the classification byte (ClassificationOffset of the format) of the records at indices[k],
// given in ascending order, to codes[k], in place and in one open; previous[k] receives the byte it
// held. Nothing else in the file changes. `written` counts the records, a prefix of the list, whose
// new byte is in the file, also when the call throws ("WriteError::File could not be open." for a
// file that cannot be opened or is read-only, "WriteError::LAS Point" for a record the file does
// not hold or a write that failed, naming the file and the reason). identity, when given and known,
// is what the file must still be, or nothing is written ("WriteError::File could not be open.",
// "path: the file was changed by another program since it was opened"); once the file has been
// opened for writing it receives the file's identity after the writes, also when the call throws.
struct LasPointBlock
{
    std::uint64_t offsetToPointData = 0;
    std::uint16_t recordLength = 0;
    std::uint64_t records = 0;
    std::uint16_t classificationByte = 15;
};
void WriteLasClassifications(const char* path, const LasPointBlock& layout,
                             const std::uint32_t* indices, std::size_t count,
                             const std::uint8_t* codes, std::uint8_t* previous,
                             std::size_t& written, FileIdentity* identity = nullptr);

// Overwrites size bytes of an existing file at offset, which must lie inside the file. A write
// cut short puts the previous bytes back; the message says whether that worked, naming the
// record by recordIndex (by its offset when negative). A read-only file is refused.
void WriteLasPointRecord(const char* path, std::size_t size, const unsigned char* bytes,
                         std::uint64_t offset, std::int64_t recordIndex = -1);

// Appends count records of recordLength bytes taken from points[0..count). A record longer than
// the point's standard size gets zero bytes after the standard part; a shorter one cannot hold
// the point and fails. A failure cuts the file back to the length it had before the call. The
// counter, when given, is set to 0 and incremented about a hundred times; another thread may
// read it.
void AppendLasPointRecords(const char* path, std::uint32_t count, std::uint16_t recordLength,
                           LASPoint* const* points, std::atomic<std::int32_t>* counter);

// Appends count records of recordLength bytes that fill(first, n, images) lays out, the images of
// records [first, first + n) in a row at images, a block at a time: no point object is needed.
// Failures and the counter as in AppendLasPointRecords; what fill throws passes through after
// the file is cut back.
using RecordImageFill = std::function<void(std::uint32_t, std::uint32_t, unsigned char*)>;
void AppendLasRecordImages(const char* path, std::uint32_t count, std::uint16_t recordLength,
                           const RecordImageFill& fill, std::atomic<std::int32_t>* counter);

} // namespace telvora
