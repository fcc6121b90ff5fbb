#pragma once

#include "common/Geometry.h"

namespace telvora
{

// The planes and the profile mapping of a section line. The section is vertical: the heights of
// the two ends matter only through the line's length.
struct SectionFrame
{
    // False for a line without horizontal extent, whose section plane has no normal; nothing is
    // collected for it and nothing can be moved along it.
    bool valid = false;
    // Vertical, through start, perpendicular to the line (n1).
    CPlane plane;
    // Vertical, through the midpoint, along the line's direction (n2).
    CPlane endPlane;
    // Unit vector from start to end (t).
    Vec3 direction;
    // Half the three-dimensional length: the bound along the line from the end plane.
    float halfLength = 0.0f;
    // Turns the section plane into the profile: u = x cos(rotation) - y sin(rotation). It is the
    // negative distance along the line, so the profile is seen looking along n1 with the line's
    // start at the right.
    double rotation = 0.0;
    float uStart = 0.0f;
    float uEnd = 0.0f;

    float U(const Vec3& p) const;
    float UMin() const { return uStart < uEnd ? uStart : uEnd; }
    float UMax() const { return uStart < uEnd ? uEnd : uStart; }
};

SectionFrame MakeSectionFrame(const SectionLine& line);

// The profile window and what lies outside it.
struct ProfileWindow
{
    // minimum (uMin, zLow, 0), maximum (uMax, zHigh, 0).
    CBoundingBox box;
    float scale = 0.0f; // pixels per metre
    bool pointsBelow = false;
    bool pointsAbove = false;
};

// The window over [uMin, uMax] for a plot of plotWidth x plotHeight pixels. With zLow = zHigh = 0
// its height is chosen so that both axes have the same scale, centred on [zMin, zMax] (the
// heights of the collected points, both 0 when there are none); otherwise it is [zLow, zHigh].
// The window always has extent in both directions, so nothing downstream divides by zero.
ProfileWindow ChooseProfileWindow(float uMin, float uMax, float zMin, float zMax, int plotWidth,
                                  int plotHeight, float zLow, float zHigh);

} // namespace telvora
