#pragma once

#include <optional>
#include <string>

namespace telvora
{

// One end of a measurement: a record's real-world position, in double, and the scale factors of
// its file, which say to how many decimals the file knows it.
struct MeasureEnd
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double xScale = 0.01;
    double yScale = 0.01;
    double zScale = 0.01;
};

// From the first end to the second. The height difference and the slope are signed: a second
// end below the first gives a negative height and a falling slope.
struct Measurement3D
{
    double distance = 0.0;
    double horizontal = 0.0;
    double height = 0.0;
    double slopeDegrees = 0.0;
    // None for a vertical pair (no horizontal distance, some height): the percentage is
    // unbounded.
    std::optional<double> slopePercent;
    // Decimals of the lengths: the finest of the files' scale factors that go into each.
    int horizontalDecimals = 0;
    int heightDecimals = 0;
    int distanceDecimals = 0;
};

// The texts of one measurement, the same under every locale: lengths in metres to the files'
// precision ("5.000 m"), the slope in degrees and percent with two decimals ("53.13° (133.33 %)",
// "90.00° (vertical)").
struct MeasurementTexts
{
    std::string distance;
    std::string horizontal;
    std::string height;
    std::string slope;
};

// How many decimals a coordinate stored at this scale factor has: 0.001 gives 3, 0.01 gives 2,
// 0.25 gives 1 (rounded up, at most 9); 1 and coarser, and a scale that is not positive, give 0.
int DecimalsForScale(double scale);

Measurement3D Measure3D(const MeasureEnd& first, const MeasureEnd& second);
MeasurementTexts TextsOf(const Measurement3D& measurement);
// One line for the status bar: "3D: 5.000 m, horizontal: 3.000 m, height: 4.000 m, slope:
// 53.13° (133.33 %)".
std::string StatusTextOf(const Measurement3D& measurement);

} // namespace telvora
