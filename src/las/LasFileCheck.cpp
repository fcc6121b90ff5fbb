#include "las/LasFileCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <limits>

#include "common/PathHelpers.h"
#include "common/SystemErrors.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/PosixFile.h"

namespace telvora
{

namespace
{

// The compressed (LAZ) variant of a format sets bit 7 (or, in old files, bit 6) of the format byte.
bool IsCompressedFormat(std::uint8_t format)
{
    return (format & 0xC0u) != 0 && (format & 0x3Fu) <= 10;
}

LasFileVerdict Refuse(const char* text, std::string reason)
{
    return {text, std::move(reason)};
}

} // namespace

std::string TruncatedRecordsReason(std::string_view name, const LasHeader& header,
                                   std::uint64_t blockBytes)
{
    const std::uint64_t stride = std::max<std::uint64_t>(1, header.pointDataRecordLength);
    const std::uint64_t count = PointCount(header);
    const std::uint64_t complete = std::min<std::uint64_t>(blockBytes / stride, count);
    return fmt::format("{} ends inside its point records: {} of {} are complete", name, complete,
                       count);
}

LasFileVerdict CheckLasHeader(const LasHeader& header, std::uint64_t fileSize,
                              std::string_view name)
{
    if (std::memcmp(header.fileSignature, "LASF", 4) != 0)
    {
        return Refuse(LasMessage::kReadHeader, fmt::format("{} is not a LAS file", name));
    }
    const unsigned major = header.versionMajor;
    const unsigned minor = header.versionMinor;
    const unsigned format = header.pointDataFormatId;
    if (major != 1 || minor > 4)
    {
        return Refuse(LasMessage::kReadFormat,
                      fmt::format("{}: LAS {}.{} files cannot be opened; Telvora reads LAS 1.0 to "
                                  "1.4 files with point formats 0 to 10",
                                  name, major, minor));
    }
    if (IsCompressedFormat(header.pointDataFormatId))
    {
        return Refuse(LasMessage::kReadFormat,
                      fmt::format("{} holds compressed (LAZ) point records, which cannot be "
                                  "opened; Telvora reads uncompressed LAS files",
                                  name));
    }
    const std::size_t standard = StandardRecordSize(format);
    if (standard == 0)
    {
        return Refuse(LasMessage::kReadFormat,
                      fmt::format("{}: LAS {}.{} files with point format {} cannot be opened; "
                                  "Telvora reads point formats 0 to 10",
                                  name, major, minor, format));
    }
    if (header.pointDataRecordLength < standard)
    {
        return Refuse(LasMessage::kReadHeader,
                      fmt::format("{}: its point records are {} bytes long, too short for point "
                                  "format {} ({} bytes)",
                                  name, header.pointDataRecordLength, format, standard));
    }
    // Every 1.x header holds at least the 227 bytes of 1.0 to 1.2, 1.3 and 1.4 headers the fields
    // they add; a smaller Header Size would put the variable length records on top of its last
    // fields.
    const std::size_t laidOut = LasHeaderImageSize(header);
    if (header.headerSize < laidOut)
    {
        return Refuse(LasMessage::kReadHeader,
                      laidOut == LasHeader::kImageSize
                          ? fmt::format("{}: its Header Size is {} bytes, less than the {} bytes "
                                        "of every LAS 1.x header",
                                        name, header.headerSize, LasHeader::kImageSize)
                          : fmt::format("{}: its Header Size is {} bytes, less than the {} bytes "
                                        "of a LAS 1.{} header",
                                        name, header.headerSize, laidOut, minor));
    }
    // Records are numbered with 32 bits throughout the program.
    const std::uint64_t count = PointCount(header);
    if (count > std::numeric_limits<std::uint32_t>::max())
    {
        return Refuse(LasMessage::kReadFormat,
                      fmt::format("{} holds {} point records; Telvora opens files of up to {}",
                                  name, count, std::numeric_limits<std::uint32_t>::max()));
    }
    const std::uint32_t headerEnd = header.headerSize;
    if (header.offsetToPointData < headerEnd)
    {
        return Refuse(LasMessage::kReadHeader,
                      fmt::format("{}: its point data would start at byte {}, inside its "
                                  "{}-byte header",
                                  name, header.offsetToPointData, headerEnd));
    }
    const std::uint64_t needed = count * header.pointDataRecordLength;
    const std::uint64_t available =
        fileSize > header.offsetToPointData ? fileSize - header.offsetToPointData : 0;
    if (needed > available)
    {
        return Refuse(LasMessage::kReadPoint, TruncatedRecordsReason(name, header, available));
    }
    // Without records the rule above holds however far the point data would start; the
    // variable length records (or the padding) before it must still be in the file.
    if (header.offsetToPointData > fileSize)
    {
        return Refuse(LasMessage::kReadHeader,
                      fmt::format("{} ends at byte {}, before its point data, which would "
                                  "start at byte {}",
                                  name, fileSize, header.offsetToPointData));
    }
    return {};
}

LasHeader ReadCheckedLasHeader(const char* path, FileIdentity* identity)
{
    const std::string_view name = FileNameOf(path != nullptr ? path : "");
    PosixFile file(path, PosixFile::Mode::Read);
    if (!file.IsOpen())
    {
        throw CLasException(LasMessage::kReadFileOpen, FileProblem(name, errno));
    }
    const std::int64_t size = file.Size();
    unsigned char image[LasHeader::kImageSize14] = {};
    const std::size_t got = file.ReadAt(image, sizeof image, 0);
    if (got < LasHeader::kImageSize)
    {
        // A stranger's file is told apart from a LAS file cut inside its header.
        const bool lasSignature = got >= 4 && std::memcmp(image, "LASF", 4) == 0;
        throw CLasException(LasMessage::kReadHeader,
                            lasSignature ? fmt::format("{} ends inside its header: {} of {} bytes",
                                                       name, got, LasHeader::kImageSize)
                                         : fmt::format("{} is not a LAS file", name));
    }
    const LasHeader header = ParseLasHeaderImage(image, got);
    // A 1.3 or 1.4 header the file cuts short is a header that ends inside the file.
    if (got < LasHeaderImageSize(header) && header.headerSize >= LasHeaderImageSize(header))
    {
        throw CLasException(LasMessage::kReadHeader,
                            fmt::format("{} ends inside its header: {} of {} bytes", name, got,
                                        LasHeaderImageSize(header)));
    }
    LasFileVerdict verdict = CheckLasHeader(header, static_cast<std::uint64_t>(size), name);
    if (!verdict)
    {
        throw CLasException(verdict.text, std::move(verdict.reason));
    }
    if (identity != nullptr)
    {
        *identity = IdentityOf(file);
    }
    return header;
}

} // namespace telvora
