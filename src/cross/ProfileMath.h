#pragma once

#include <cstdint>
#include <string>

#include "common/Geometry.h"

namespace telvora
{

// The plot area of the profile in client pixels. Right and bottom are outside, as for every
// rectangle of the window system.
struct PlotRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    // Left and top edges inside, right and bottom outside.
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Room for the height labels on the left and the distance labels below; width and height are
// multiples of ten pixels so that the ten grid divisions fall on whole pixels.
PlotRect PlotRectFor(int clientWidth, int clientHeight);

struct ScreenPoint
{
    int x = 0;
    int y = 0;
};

// Where profile position (u, z) lies on the plot for a window from (uMin, zMin) to (uMax, zMax).
// A window without extent maps everything onto its left or bottom edge rather than dividing by
// zero.
ScreenPoint ProfileToScreen(const CBoundingBox& window, const PlotRect& plot, float u, float z);

struct ProfileMeasurement
{
    float angle = 0.0f;    // degrees, counter-clockwise from the rightward horizontal
    float distance = 0.0f; // metres
};

// From the first end (u1, z1) to the second (u2, z2).
ProfileMeasurement Measure(float u1, float z1, float u2, float z2);
// "Angle: 53.13°, Distance: 5.000 m", with a decimal point whatever the locale.
std::string MeasurementText(const ProfileMeasurement& measurement);

// Labels of the grid: distances with two decimals, heights with one, decimal point always.
std::string DistanceLabel(float metres);
std::string HeightLabel(float metres);

// What a key does to the section; the view clears its measurement and selection for all but
// None and rebuilds for all but None and Escape.
enum class SectionKey
{
    None,
    Escape,
    ZoomOut,
    ZoomIn,
    TowardsEnd,
    TowardsStart,
    AwayFromViewer,
    TowardsViewer,
    Home
};

// keypad: the key came from the numeric keypad (Qt's KeypadModifier).
SectionKey SectionKeyFor(int qtKey, bool keypad);

// Moves the line for a key: zooming by a metre, panning along the line or sideways by width.
// Zooming in leaves a line shorter than 2 m as it is. False when the line is degenerate (no
// horizontal extent) and nothing was moved.
bool MoveLineForKey(SectionLine& line, SectionKey key, float width);
// A wheel turn of delta (120 a notch, positive away from the user) moves each end delta/240 m
// towards the middle; a forward turn leaves a line shorter than 2 m as it is. False when the line
// was not moved.
bool MoveLineForWheel(SectionLine& line, int delta);
// Moves the line along itself by metres (positive towards its end).
void MoveLineAlong(SectionLine& line, float metres);

} // namespace telvora
