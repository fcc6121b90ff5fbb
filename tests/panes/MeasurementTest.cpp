#include "panes/Measurement.h"

#include <gtest/gtest.h>

namespace telvora
{
namespace
{

MeasureEnd At(double x, double y, double z, double scale)
{
    return {x, y, z, scale, scale, scale};
}

TEST(Measurement3D, LengthsAndSlopeFromTheFirstEndToTheSecond)
{
    struct Case
    {
        const char* name;
        MeasureEnd first;
        MeasureEnd second;
        const char* distance;
        const char* horizontal;
        const char* height;
        const char* slope;
    };
    // 1.8 m east and 2.4 m north is 3 m across; 4 m up gives 5 m (3-4-5), atan(4/3) = 53.130°,
    // 4/3 = 133.333 %.
    const Case cases[] = {
        {"uphill", At(500000.000, 5400000.000, 100.000, 0.001),
         At(500001.800, 5400002.400, 104.000, 0.001), "5.000 m", "3.000 m", "4.000 m",
         "53.13\u00b0 (133.33 %)"},
        {"downhill", At(500001.800, 5400002.400, 104.000, 0.001),
         At(500000.000, 5400000.000, 100.000, 0.001), "5.000 m", "3.000 m", "-4.000 m",
         "-53.13\u00b0 (-133.33 %)"},
        {"vertical", At(500000.00, 5400000.00, 100.00, 0.01),
         At(500000.00, 5400000.00, 110.50, 0.01), "10.50 m", "0.00 m", "10.50 m",
         "90.00\u00b0 (vertical)"},
        {"identical", At(500123.457, 5400000.001, 250.002, 0.001),
         At(500123.457, 5400000.001, 250.002, 0.001), "0.000 m", "0.000 m", "0.000 m",
         "0.00\u00b0 (0.00 %)"},
        // 3.003 m by 4.004 m is 5.005 m; the same records stored to the centimetre lie 3 m by
        // 4 m apart.
        {"millimetres at UTM", At(500123.457, 5400000.000, 250.000, 0.001),
         At(500126.460, 5400004.004, 250.000, 0.001), "5.005 m", "5.005 m", "0.000 m",
         "0.00\u00b0 (0.00 %)"},
        {"centimetres at UTM", At(500123.46, 5400000.00, 250.00, 0.01),
         At(500126.46, 5400004.00, 250.00, 0.01), "5.00 m", "5.00 m", "0.00 m",
         "0.00\u00b0 (0.00 %)"},
        // Two files: the finer one's decimals. 1 m across, 0.01 m down: -0.573°, -1 %.
        {"mixed scales", At(500000.00, 5400000.00, 100.00, 0.01),
         At(500001.000, 5400000.000, 99.990, 0.001), "1.000 m", "1.000 m", "-0.010 m",
         "-0.57\u00b0 (-1.00 %)"},
    };
    for (const Case& c : cases)
    {
        const MeasurementTexts texts = TextsOf(Measure3D(c.first, c.second));
        EXPECT_EQ(texts.distance, c.distance) << c.name;
        EXPECT_EQ(texts.horizontal, c.horizontal) << c.name;
        EXPECT_EQ(texts.height, c.height) << c.name;
        EXPECT_EQ(texts.slope, c.slope) << c.name;
    }
    EXPECT_EQ(StatusTextOf(Measure3D(cases[0].first, cases[0].second)),
              "3D: 5.000 m, horizontal: 3.000 m, height: 4.000 m, slope: 53.13\u00b0 (133.33 %)");
}

TEST(Measurement3D, DecimalsFollowTheScaleFactor)
{
    const std::pair<double, int> cases[] = {{0.001, 3}, {0.01, 2}, {0.0001, 4}, {0.25, 1},
                                            {1.0, 0},   {10.0, 0}, {0.0, 0},    {-0.01, 0}};
    for (const auto& [scale, decimals] : cases)
    {
        EXPECT_EQ(DecimalsForScale(scale), decimals) << scale;
    }
}

} // namespace
} // namespace telvora
