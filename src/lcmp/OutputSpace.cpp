#include "lcmp/OutputSpace.h"

#include <cerrno>
#include <charconv>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "common/SystemErrors.h"
#include "las/LasException.h"
#include "lcmp/LcmpMessages.h"

namespace telvora
{

namespace
{

std::string Decimal(std::uint64_t value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace

OutputRoom OutputRoom::Of(const std::string& folder)
{
    OutputRoom room;
    struct statvfs disk
    {
    };
    if (::statvfs(folder.c_str(), &disk) == 0)
    {
        // The blocks kept back for the administrator are free to a privileged process only.
        const std::uint64_t blocks = ::geteuid() == 0 ? disk.f_bfree : disk.f_bavail;
        const std::uint64_t unit = disk.f_frsize != 0 ? disk.f_frsize : disk.f_bsize;
        room.freeBytes = unit != 0 && blocks > UINT64_MAX / unit ? UINT64_MAX : blocks * unit;
    }
    struct rlimit limit
    {
    };
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    {
        room.fileSizeLimit = limit.rlim_cur;
    }
    return room;
}

std::string ByteCount(std::uint64_t bytes)
{
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    std::string text = Decimal(bytes) + (bytes == 1 ? " byte" : " bytes");
    if (bytes < 1024)
    {
        return text;
    }
    int unit = 0;
    std::uint64_t size = 1024;
    while (unit < 5 && bytes / size >= 1024)
    {
        size *= 1024;
        ++unit;
    }
    // Tenths of the unit, rounded to the nearest, without overflowing for any count; what rounds
    // up to 1024 of a unit is shown in the next one.
    auto tenthsOf = [bytes](std::uint64_t unitSize)
    { return bytes / unitSize * 10 + (bytes % unitSize * 10 + unitSize / 2) / unitSize; };
    std::uint64_t tenths = tenthsOf(size);
    if (tenths >= 10240 && unit < 5)
    {
        size *= 1024;
        ++unit;
        tenths = tenthsOf(size);
    }
    return text + " (" + Decimal(tenths / 10) + "." + Decimal(tenths % 10) + " " + kUnits[unit] +
           ")";
}

std::string SpaceShortfall(std::uint64_t needed, const OutputRoom& room)
{
    const bool overLimit = needed > room.fileSizeLimit;
    const bool overFree = needed > room.freeBytes;
    if (overLimit && (!overFree || room.fileSizeLimit <= room.freeBytes))
    {
        return "it needs " + ByteCount(needed) + ", but the file-size limit of this process is " +
               ByteCount(room.fileSizeLimit);
    }
    if (overFree)
    {
        return "it needs " + ByteCount(needed) + ", but only " + ByteCount(room.freeBytes) +
               " are free";
    }
    return {};
}

void CheckOutputSpace(const std::string& folder, const std::string& outputPath,
                      std::uint64_t needed)
{
    const std::string shortfall = SpaceShortfall(needed, OutputRoom::Of(folder));
    if (!shortfall.empty())
    {
        throw CLasException(LcmpMessage::kNoSpace, FileProblem(outputPath, shortfall));
    }
}

} // namespace telvora
