#include "panes/Measurement.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace telvora
{
namespace
{

constexpr double kPi = 3.14159265358979323846;

// Fixed decimals with a point; a value that rounds to zero shows without a minus sign.
std::string Fixed(double value, int decimals)
{
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
    {
        value = 0.0;
    }
    return fmt::format("{:.{}f}", value, decimals);
}

std::string Metres(double value, int decimals)
{
    return Fixed(value, decimals) + " m";
}

} // namespace

int DecimalsForScale(double scale)
{
    if (!(scale > 0.0) || scale >= 1.0)
    {
        return 0;
    }
    return std::min(9, static_cast<int>(std::ceil(-std::log10(scale) - 1e-9)));
}

Measurement3D Measure3D(const MeasureEnd& first, const MeasureEnd& second)
{
    const double dx = second.x - first.x;
    const double dy = second.y - first.y;
    const double dz = second.z - first.z;
    Measurement3D m;
    m.horizontal = std::hypot(dx, dy);
    m.height = dz;
    m.distance = std::hypot(m.horizontal, dz);
    m.slopeDegrees = std::atan2(dz, m.horizontal) * 180.0 / kPi;
    if (m.horizontal > 0.0)
    {
        m.slopePercent = dz / m.horizontal * 100.0;
    }
    else if (dz == 0.0)
    {
        m.slopePercent = 0.0;
    }
    m.horizontalDecimals =
        std::max({DecimalsForScale(first.xScale), DecimalsForScale(first.yScale),
                  DecimalsForScale(second.xScale), DecimalsForScale(second.yScale)});
    m.heightDecimals = std::max(DecimalsForScale(first.zScale), DecimalsForScale(second.zScale));
    m.distanceDecimals = std::max(m.horizontalDecimals, m.heightDecimals);
    return m;
}

MeasurementTexts TextsOf(const Measurement3D& m)
{
    MeasurementTexts texts;
    texts.distance = Metres(m.distance, m.distanceDecimals);
    texts.horizontal = Metres(m.horizontal, m.horizontalDecimals);
    texts.height = Metres(m.height, m.heightDecimals);
    texts.slope = Fixed(m.slopeDegrees, 2) + "\u00b0 (" +
                  (m.slopePercent ? Fixed(*m.slopePercent, 2) + " %" : std::string("vertical")) +
                  ")";
    return texts;
}

std::string StatusTextOf(const Measurement3D& m)
{
    const MeasurementTexts texts = TextsOf(m);
    return "3D: " + texts.distance + ", horizontal: " + texts.horizontal +
           ", height: " + texts.height + ", slope: " + texts.slope;
}

} // namespace telvora
