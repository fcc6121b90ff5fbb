#include "cross/ProfileExport.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <fmt/format.h>

#include "common/PathHelpers.h"
#include "common/SystemErrors.h"
#include "las/ByteOrder.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "panes/Measurement.h"
#include "scene/LasFileSet.h"

namespace telvora
{
namespace
{

// A name with a comma, quote or line break goes in quotes, its quotes doubled.
std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
    {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text)
    {
        quoted += c;
        if (c == '"')
        {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

} // namespace

void WriteProfileCsv(const std::string& path, const CLasFileSet& set, const ProfileSection& section)
{
    std::string text = "file,record,u,profile_z,x,y,z,classification\n";
    const std::size_t files =
        std::min(section.indices.size(), static_cast<std::size_t>(std::max(set.count, 0)));
    for (std::size_t f = 0; f < files; ++f)
    {
        const std::vector<std::uint32_t>& indices = section.indices[f];
        const CLasFile& file = set.files[f];
        if (indices.empty() || file.header == nullptr || file.path == nullptr)
        {
            continue;
        }
        const LasHeader& header = *file.header;
        const std::string name = CsvField(FileNameOf(file.path));
        const int xDecimals = DecimalsForScale(header.xScaleFactor);
        const int yDecimals = DecimalsForScale(header.yScaleFactor);
        const int zDecimals = DecimalsForScale(header.zScaleFactor);
        file.ReadRecords(
            indices.data(), indices.size(),
            [&](std::size_t k, const unsigned char* record)
            {
                const ProfilePoint& point = section.points[f][k];
                const double x =
                    LoadLE<std::int32_t>(record) * header.xScaleFactor + header.xOffset;
                const double y =
                    LoadLE<std::int32_t>(record + 4) * header.yScaleFactor + header.yOffset;
                const double z =
                    LoadLE<std::int32_t>(record + 8) * header.zScaleFactor + header.zOffset;
                fmt::format_to(std::back_inserter(text), "{},{},{},{},{:.{}f},{:.{}f},{:.{}f},{}\n",
                               name, indices[k], point.u, point.z, x, xDecimals, y, yDecimals, z,
                               zDecimals, point.classification);
            });
    }

    QSaveFile out(QFile::decodeName(path.c_str()));
    const auto fail = [&](const QString& reason)
    { throw CLasException(LasMessage::kWriteFileCreate, FileProblem(path, reason.toStdString())); };
    if (!out.open(QIODevice::WriteOnly))
    {
        fail(out.errorString());
    }
    if (out.write(text.data(), static_cast<qint64>(text.size())) !=
        static_cast<qint64>(text.size()))
    {
        fail(out.errorString());
    }
    if (!out.commit())
    {
        fail(out.errorString());
    }
}

} // namespace telvora
