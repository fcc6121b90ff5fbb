#pragma once

#include <cmath>
#include <cstdint>

#include "common/Geometry.h"
#include "las/ByteOrder.h"
#include "las/LasHeader.h"

namespace telvora
{

// The one way a record's stored X, Y and Z become a position relative to an origin (the scene
// offset, or none for real-world coordinates): raw x scale + (offset - origin), every term in
// double and rounded to float once at the end. Rounding the real-world value first would
// quantise positions to half a metre at UTM northings and to 1/32 m at UTM eastings before the
// large origin was taken away. Offset and origin are taken together once, so that a record
// costs what a real-world float did: one multiplication and one addition per axis.
class PositionTransform
{
public:
    PositionTransform(const LasHeader& header, const Vec3d& relativeTo = {})
        : scale{header.xScaleFactor, header.yScaleFactor, header.zScaleFactor}
        , shift{header.xOffset - relativeTo.x, header.yOffset - relativeTo.y,
                header.zOffset - relativeTo.z}
    {
    }

    Vec3 Of(std::int32_t x, std::int32_t y, std::int32_t z) const
    {
        return {static_cast<float>(x * scale[0] + shift[0]),
                static_cast<float>(y * scale[1] + shift[1]),
                static_cast<float>(z * scale[2] + shift[2])};
    }

    // record: the first 12 bytes of a point record, X, Y and Z little-endian; out: three floats.
    void Apply(const unsigned char* record, float* out) const
    {
        for (std::size_t axis = 0; axis < 3; ++axis)
        {
            out[axis] = static_cast<float>(LoadLE<std::int32_t>(record + 4 * axis) * scale[axis] +
                                           shift[axis]);
        }
    }

private:
    double scale[3];
    double shift[3];
};

// The header's box relative to the origin, subtracted in double and rounded outwards, so that
// every record inside the header's box lies inside this one once transformed. Header bounds
// written by other programs may disagree with the records' own values in their last bits, or by
// up to half a float step at the data's real-world magnitude where they were computed in float;
// records that close to the box were kept while positions were rounded to floats before the
// offset was taken away, and the box keeps them still.
inline CBoundingBox SceneBoxOf(const LasHeader& header, const Vec3d& origin)
{
    const double low[3] = {header.minX, header.minY, header.minZ};
    const double high[3] = {header.maxX, header.maxY, header.maxZ};
    const double shift[3] = {origin.x, origin.y, origin.z};
    double a[3];
    double b[3];
    for (int axis = 0; axis < 3; ++axis)
    {
        const float magnitude =
            static_cast<float>(std::fmax(std::fabs(low[axis]), std::fabs(high[axis])));
        const double lower = std::fmin(low[axis], high[axis]);
        const double upper = std::fmax(low[axis], high[axis]);
        // A box without extent on an axis stays without it: the tree gives such boxes a width
        // of their own, large enough to draw and pick their points.
        const double slack =
            upper > lower ? 0.5 * (std::nextafter(magnitude, INFINITY) - magnitude) : 0.0;
        a[axis] = lower - shift[axis] - slack;
        b[axis] = upper - shift[axis] + slack;
    }
    return CBoundingBox::Enclosing({a[0], a[1], a[2]}, {b[0], b[1], b[2]});
}

} // namespace telvora
