#include "cross/ProfileSection.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"

namespace telvora
{

ProfileSection BuildProfileSection(const SectionSource& source, float width, int plotWidth,
                                   int plotHeight, float zLow, float zHigh, INotifier* notifier)
{
    ProfileSection section;
    const int fileCount = source.set != nullptr ? source.set->count : 0;
    section.indices.resize(static_cast<std::size_t>(fileCount));
    section.points.resize(static_cast<std::size_t>(fileCount));
    if (source.line != nullptr)
    {
        section.frame = MakeSectionFrame(*source.line);
    }
    const SectionFrame& frame = section.frame;
    float zMin = std::numeric_limits<float>::max();
    float zMax = std::numeric_limits<float>::lowest();
    bool reported = false;
    if (frame.valid && source.trees != nullptr)
    {
        if (source.makeCurrent)
        {
            source.makeCurrent();
        }
        const double cosine = std::cos(frame.rotation);
        const double sine = std::sin(frame.rotation);
        for (int i = 0; i < fileCount; ++i)
        {
            const CPointTree* tree = source.trees[i];
            if (source.set->visible[i] == 0 || tree == nullptr)
            {
                continue;
            }
            std::int32_t* found = nullptr;
            const std::uint32_t count =
                tree->QuerySection(frame.plane, width, frame.endPlane, frame.halfLength, &found);
            std::vector<std::uint32_t>& indices = section.indices[static_cast<std::size_t>(i)];
            indices.assign(found, found + count);
            delete[] found;
            // File order: the records are then read front to back in few large blocks.
            std::sort(indices.begin(), indices.end());
            std::vector<ProfilePoint>& points = section.points[static_cast<std::size_t>(i)];
            points.reserve(indices.size());
            const CLasFile& file = source.set->files[i];
            const std::size_t classByte = ClassificationOffset(file.header->pointDataFormatId);
            try
            {
                file.ReadRecords(indices.data(), indices.size(),
                                 [&](std::size_t, const unsigned char* record)
                                 {
                                     const std::array<float, 3> p =
                                         file.RecordPosition(record, source.sceneOffset);
                                     ProfilePoint point;
                                     point.u = static_cast<float>(p[0] * cosine - p[1] * sine);
                                     point.z = p[2];
                                     point.classification = record[classByte];
                                     points.push_back(point);
                                 });
            }
            catch (const CLasException& error)
            {
                // The points read so far stay; their indices must match them.
                indices.resize(points.size());
                if (!reported)
                {
                    reported = true;
                    INotifier& shown = notifier != nullptr ? *notifier : StderrNotifier();
                    shown.ShowMessage(error.GetErrorText(), "Cross Section", MessageIcon::Error,
                                      error.GetDetail());
                }
            }
            for (const ProfilePoint& point : points)
            {
                zMin = std::min(zMin, point.z);
                zMax = std::max(zMax, point.z);
            }
        }
    }
    if (zMin > zMax)
    {
        zMin = zMax = 0.0f;
    }
    const float uMin = frame.valid ? frame.UMin() : 0.0f;
    const float uMax = frame.valid ? frame.UMax() : 0.0f;
    section.window =
        ChooseProfileWindow(uMin, uMax, zMin, zMax, plotWidth, plotHeight, zLow, zHigh);
    return section;
}

} // namespace telvora
