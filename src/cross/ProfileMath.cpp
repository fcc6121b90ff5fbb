#include "cross/ProfileMath.h"

#include <Qt>
#include <cmath>
#include <fmt/format.h>

#include "cross/SectionGeometry.h"

namespace telvora
{

PlotRect PlotRectFor(int clientWidth, int clientHeight)
{
    PlotRect plot;
    plot.left = 60;
    plot.right = 60 + 10 * ((clientWidth - 85) / 10);
    plot.bottom = clientHeight - 40;
    plot.top = plot.bottom - 10 * ((clientHeight - 65) / 10);
    return plot;
}

ScreenPoint ProfileToScreen(const CBoundingBox& window, const PlotRect& plot, float u, float z)
{
    const float uSpan = window.maximum.x - window.minimum.x;
    const float zSpan = window.maximum.y - window.minimum.y;
    const float uShare = uSpan > 0.0f ? (u - window.minimum.x) / uSpan : 0.0f;
    const float zShare = zSpan > 0.0f ? (z - window.minimum.y) / zSpan : 0.0f;
    // Points far outside the window must not overflow the conversion.
    auto toPixels = [](float value)
    {
        if (!(std::fabs(value) < 1e8f))
        {
            return value > 0.0f ? 100000000 : -100000000;
        }
        return static_cast<int>(value);
    };
    return {plot.left + toPixels(uShare * static_cast<float>(plot.Width())),
            plot.bottom - toPixels(zShare * static_cast<float>(plot.Height()))};
}

ProfileMeasurement Measure(float u1, float z1, float u2, float z2)
{
    const float du = u2 - u1;
    const float dz = z2 - z1;
    ProfileMeasurement result;
    result.distance = std::sqrt(du * du + dz * dz);
    result.angle =
        static_cast<float>((std::atan2(1.0, 0.0) - std::atan2(du, dz)) * 57.2957763671875);
    return result;
}

std::string MeasurementText(const ProfileMeasurement& measurement)
{
    return fmt::format("Angle: {:.2f}\u00b0, Distance: {:.3f} m", measurement.angle,
                       measurement.distance);
}

std::string DistanceLabel(float metres)
{
    return fmt::format("{:.2f}", metres);
}

std::string HeightLabel(float metres)
{
    return fmt::format("{:.1f}", metres);
}

SectionKey SectionKeyFor(int qtKey, bool keypad)
{
    switch (qtKey)
    {
    case Qt::Key_Escape:
        return SectionKey::Escape;
    case Qt::Key_Minus:
        return keypad ? SectionKey::ZoomOut : SectionKey::None;
    case Qt::Key_Plus:
        return keypad ? SectionKey::ZoomIn : SectionKey::None;
    case Qt::Key_Left:
        return SectionKey::TowardsEnd;
    case Qt::Key_Right:
        return SectionKey::TowardsStart;
    case Qt::Key_Down:
        return SectionKey::AwayFromViewer;
    case Qt::Key_Up:
        return SectionKey::TowardsViewer;
    case Qt::Key_H:
        return SectionKey::Home;
    // Keypad 5 without Num Lock.
    case Qt::Key_Clear:
        return keypad ? SectionKey::Home : SectionKey::None;
    default:
        break;
    }
    if (keypad)
    {
        switch (qtKey)
        {
        case Qt::Key_4:
            return SectionKey::TowardsEnd;
        case Qt::Key_6:
            return SectionKey::TowardsStart;
        case Qt::Key_2:
            return SectionKey::AwayFromViewer;
        case Qt::Key_8:
            return SectionKey::TowardsViewer;
        case Qt::Key_5:
            return SectionKey::Home;
        default:
            break;
        }
    }
    return SectionKey::None;
}

bool MoveLineForKey(SectionLine& line, SectionKey key, float width)
{
    const SectionFrame frame = MakeSectionFrame(line);
    if (!frame.valid)
    {
        return false;
    }
    const Vec3 t = frame.direction;
    const Vec3 n1 = frame.plane.normal;
    switch (key)
    {
    case SectionKey::ZoomOut:
        line.start = line.start - t * 0.5f;
        line.end = line.end + t * 0.5f;
        return true;
    case SectionKey::ZoomIn:
        if (Distance(line.start, line.end) < 2.0f)
        {
            return false;
        }
        line.start = line.start + t * 0.5f;
        line.end = line.end - t * 0.5f;
        return true;
    case SectionKey::TowardsEnd:
        MoveLineAlong(line, width);
        return true;
    case SectionKey::TowardsStart:
        MoveLineAlong(line, -width);
        return true;
    case SectionKey::AwayFromViewer:
        line.start = line.start + n1 * width;
        line.end = line.end + n1 * width;
        return true;
    case SectionKey::TowardsViewer:
        line.start = line.start - n1 * width;
        line.end = line.end - n1 * width;
        return true;
    case SectionKey::Home:
        return true;
    case SectionKey::None:
    case SectionKey::Escape:
        break;
    }
    return false;
}

bool MoveLineForWheel(SectionLine& line, int delta)
{
    const SectionFrame frame = MakeSectionFrame(line);
    if (!frame.valid || (Distance(line.start, line.end) < 2.0f && delta > 0))
    {
        return false;
    }
    const Vec3 e = Normalise(line.start - line.end);
    const float f = static_cast<float>(-delta / 240.0);
    line.start = line.start + e * f;
    line.end = line.end - e * f;
    return true;
}

void MoveLineAlong(SectionLine& line, float metres)
{
    const Vec3 t = Normalise(line.end - line.start);
    line.start = line.start + t * metres;
    line.end = line.end + t * metres;
}

} // namespace telvora
