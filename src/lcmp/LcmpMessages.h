#pragma once

#include <cstdint>
#include <string>

namespace telvora
{

// The fixed texts of the archive code's CLasException failures. They are shown to the user as
// they stand, so tests compare them exactly.
namespace LcmpMessage
{
inline constexpr const char* kOpenArchive = "Error opening archive!";
inline constexpr const char* kEmptyArchive = "LCMP cannot be checked!";
inline constexpr const char* kWrongFormat = "Wrong file format!";
inline constexpr const char* kDirectory = "Cannot read LCMPFile file headers";
inline constexpr const char* kEntryNotFound = "LAS file not found in archive!";
inline constexpr const char* kNoArchiveFile = "File could not open.";
inline constexpr const char* kReadRawPoints = "ReadError::LAS Points";
inline constexpr const char* kStreamNotFound = "Unable to find stream";
// Shown directly by the listing, never thrown.
inline constexpr const char* kListOpen = "Error opening file!";
inline constexpr const char* kListCaption = "Telvora";

// Refusals of archives and requests that cannot be rebuilt safely or at all.
inline constexpr const char* kUnsafeEntryName =
    "The entry name is not a plain file name and cannot be written!";
inline constexpr const char* kOutputPathTooLong = "The output path is too long!";
inline constexpr const char* kOutputExists = "The output file already exists!";
inline constexpr const char* kEntryTruncated = "The archive entry is truncated!";
inline constexpr const char* kNoPoints = "The archive entry holds no points to decode!";
inline constexpr const char* kUnsupportedFormat =
    "The archive entry has a point format that cannot be decoded!";
inline constexpr const char* kRecordLength =
    "The archive entry has a point record length that cannot be decoded!";
inline constexpr const char* kVlrBlock = "The archive entry has a damaged VLR block!";
inline constexpr const char* kPlaneCount = "The archive entry has a damaged value stream!";
// The folder's file system, or the process's file-size limit, cannot take the rebuilt file.
inline constexpr const char* kNoSpace = "There is not enough space for the decompressed file!";

// A count or offset for a detail, its digits grouped by commas ("1,234,567") whatever the locale.
inline std::string Grouped(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
    {
        digits.insert(at - 3, 1, ',');
    }
    return digits;
}
} // namespace LcmpMessage

} // namespace telvora
