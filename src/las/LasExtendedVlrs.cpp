#include "las/LasExtendedVlrs.h"

#include <algorithm>

#include "common/SystemErrors.h"
#include "las/LasException.h"
#include "las/PosixFile.h"

namespace telvora
{

std::vector<LasExtendedVlr> ReadExtendedVlrs(const char* path, const LasHeader& header,
                                             std::size_t dataLimit)
{
    std::vector<LasExtendedVlr> records;
    if (LasHeaderImageSize(header) < LasHeader::kImageSize14 || header.numberOfExtendedVlrs == 0 ||
        header.startOfFirstExtendedVlr == 0)
    {
        return records;
    }
    PosixFile file(path, PosixFile::Mode::Read);
    if (!file.IsOpen())
    {
        throw CLasException(LasMessage::kReadFileOpen,
                            FileProblem(path != nullptr ? path : "", file.LastError()));
    }
    const std::int64_t signedSize = file.Size();
    const std::uint64_t size = signedSize > 0 ? static_cast<std::uint64_t>(signedSize) : 0;
    std::uint64_t at = header.startOfFirstExtendedVlr;
    while (records.size() < header.numberOfExtendedVlrs && at <= size &&
           size - at >= LasEvlrHeader::kImageSize)
    {
        unsigned char image[LasEvlrHeader::kImageSize];
        if (file.ReadAt(image, sizeof image, static_cast<std::int64_t>(at)) != sizeof image)
        {
            break;
        }
        LasExtendedVlr record;
        record.header = ParseLasEvlrHeader(image);
        record.fileOffset = at;
        const std::uint64_t length = record.header.recordLengthAfterHeader;
        const std::uint64_t dataStart = at + LasEvlrHeader::kImageSize;
        if (length > size - dataStart)
        {
            break;
        }
        record.data.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, dataLimit)));
        if (file.ReadAt(record.data.data(), record.data.size(),
                        static_cast<std::int64_t>(dataStart)) != record.data.size())
        {
            break;
        }
        records.push_back(std::move(record));
        at = dataStart + length;
    }
    return records;
}

} // namespace telvora
