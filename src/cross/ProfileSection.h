#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/Geometry.h"
#include "common/Notifier.h"
#include "cross/SectionGeometry.h"

namespace telvora
{

class CLasFileSet;
class CPointTree;

struct ProfilePoint
{
    float u = 0.0f;
    float z = 0.0f;
    // The whole byte as stored, flag bits included.
    std::uint8_t classification = 0;
};

// A collected point: the file and the position in that file's arrays.
struct PointRef
{
    int file = 0;
    std::uint32_t index = 0;

    friend bool operator==(const PointRef&, const PointRef&) = default;
};

// What a section is cut from. Everything is borrowed from the 3D view, which closes the window
// before it lets go of any of it; the line is moved in place, so the view draws what the profile
// shows.
struct SectionSource
{
    const CLasFileSet* set = nullptr;
    CPointTree* const* trees = nullptr;
    Vec3d sceneOffset;
    SectionLine* line = nullptr;
    // Makes the trees' GL context current: their positions live in its buffers.
    std::function<void()> makeCurrent;
};

// The collected points of one build, per file in record order.
struct ProfileSection
{
    // Record index in its file of each collected point; hidden files have none.
    std::vector<std::vector<std::uint32_t>> indices;
    std::vector<std::vector<ProfilePoint>> points;
    SectionFrame frame;
    ProfileWindow window;

    const ProfilePoint& At(const PointRef& ref) const
    {
        return points[static_cast<std::size_t>(ref.file)][ref.index];
    }
};

// Collects the points within width of the section plane and within half the line's length of its
// middle from every visible file, reading each file's records in one pass, and chooses the
// profile window for a plot of plotWidth x plotHeight pixels (ChooseProfileWindow). A file whose
// records cannot be read is reported to the notifier, once per build, and the points collected
// until then are kept.
ProfileSection BuildProfileSection(const SectionSource& source, float width, int plotWidth,
                                   int plotHeight, float zLow, float zHigh, INotifier* notifier);

} // namespace telvora
