#include "cross/SectionGeometry.h"

#include <algorithm>
#include <cmath>

namespace telvora
{

float SectionFrame::U(const Vec3& p) const
{
    return static_cast<float>(p.x * std::cos(rotation) - p.y * std::sin(rotation));
}

SectionFrame MakeSectionFrame(const SectionLine& line)
{
    SectionFrame frame;
    const Vec3& p0 = line.start;
    const Vec3& p1 = line.end;
    const Vec3 up{0.0f, 0.0f, 100.0f};
    frame.plane = CPlane::FromPoints(p0, p0 + up, p1);
    const Vec3 n1 = frame.plane.normal;
    // A line that only goes up or down (or a click without a drag) spans no vertical plane.
    if (n1 == Vec3{} || !std::isfinite(n1.x) || !std::isfinite(n1.y))
    {
        return frame;
    }
    const float length = Distance(p0, p1);
    frame.halfLength = length / 2.0f;
    frame.direction = Normalise(p1 - p0);
    const Vec3 middle = p0 + frame.direction * frame.halfLength;
    frame.endPlane = CPlane::FromPoints(middle, middle + up, middle + n1 * 100.0f);
    frame.rotation = std::atan2(1.0, 0.0) - std::atan2(static_cast<double>(n1.y), n1.x);
    frame.uStart = frame.U(p0);
    frame.uEnd = frame.U(p1);
    frame.valid = frame.uStart != frame.uEnd;
    return frame;
}

ProfileWindow ChooseProfileWindow(float uMin, float uMax, float zMin, float zMax, int plotWidth,
                                  int plotHeight, float zLow, float zHigh)
{
    // A window squeezed to nothing still gets a scale, so that it shows something once it grows.
    const float width = static_cast<float>(std::max(plotWidth, 10));
    const float height = static_cast<float>(std::max(plotHeight, 10));
    if (!(uMax > uMin))
    {
        // No horizontal extent: an empty metre, so that the scale stays finite.
        uMax = uMin + 1.0f;
    }
    ProfileWindow window;
    window.scale = width / (uMax - uMin);
    if (zLow == 0.0f && zHigh == 0.0f)
    {
        const float halfHeight = height / window.scale / 2.0f;
        const float middle = (zMin + zMax) / 2.0f;
        zLow = middle - halfHeight;
        zHigh = middle + halfHeight;
    }
    if (!(zHigh > zLow))
    {
        // Far from the origin a very short line's half height is below float resolution.
        const float margin = std::max(0.5f, std::fabs(zLow) * 1e-6f);
        zLow -= margin;
        zHigh += margin;
    }
    window.box = CBoundingBox::FromCorners({uMin, zLow, 0.0f}, {uMax, zHigh, 0.0f});
    window.pointsBelow = zMin < window.box.minimum.y;
    window.pointsAbove = zMax > window.box.maximum.y;
    return window;
}

} // namespace telvora
