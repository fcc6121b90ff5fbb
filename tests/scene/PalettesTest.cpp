#include "scene/Palettes.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace telvora
{
namespace
{

Color Rgb255(int r, int g, int b)
{
    return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
            static_cast<float>(b) / 255.0f};
}

TEST(ClassColor, ListedValuesGiveTheirConstants)
{
    EXPECT_EQ(ClassColor(0), (Color{0.74f, 0.74f, 0.74f}));
    EXPECT_EQ(ClassColor(1), (Color{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(ClassColor(2), (Color{0.54f, 0.0f, 0.16f}));
    EXPECT_EQ(ClassColor(12), (Color{0.62f, 0.12f, 0.94f}));
    EXPECT_EQ(ClassColor(31), (Color{0.08f, 1.0f, 0.94f}));
}

TEST(ClassColor, ValuesFromThirtyTwoUpAreBlack)
{
    for (int value = 32; value <= 255; ++value)
    {
        EXPECT_EQ(ClassColor(static_cast<std::uint8_t>(value)), (Color{0.0f, 0.0f, 0.0f})) << value;
    }
}

TEST(HeightColor, ExampleHeightsGiveTheirRampColours)
{
    EXPECT_EQ(HeightColor(150.0f), Rgb255(223, 223, 186));
    EXPECT_EQ(HeightColor(-350.0f), Rgb255(112, 160, 219));
    EXPECT_EQ(HeightColor(350.0f), Rgb255(252, 222, 198));
    EXPECT_EQ(HeightColor(-750.0f), Rgb255(53, 97, 152));
    EXPECT_EQ(HeightColor(0.5f), Rgb255(118, 146, 60));
}

TEST(HeightColor, ZeroIsWaterAndTheSmallestPositiveHeightIsLand)
{
    EXPECT_EQ(HeightColor(0.0f), Rgb255(198, 217, 241));
    EXPECT_EQ(HeightColor(-0.0f), Rgb255(198, 217, 241));
    EXPECT_EQ(HeightColor(std::numeric_limits<float>::denorm_min()), Rgb255(118, 146, 60));
    EXPECT_EQ(HeightColor(-std::numeric_limits<float>::denorm_min()), Rgb255(198, 217, 241));
}

TEST(HeightColor, StretchEndsAndBeyondTakeTheAnchorColours)
{
    EXPECT_EQ(HeightColor(100.0f), Rgb255(194, 214, 155));
    EXPECT_EQ(HeightColor(100.0001f), Rgb255(194, 214, 155));
    EXPECT_EQ(HeightColor(-200.0f), Rgb255(141, 179, 226));
    EXPECT_EQ(HeightColor(-1000.0f), Rgb255(23, 54, 93));
    EXPECT_EQ(HeightColor(-1000.5f), Rgb255(23, 54, 93));
    EXPECT_EQ(HeightColor(-std::numeric_limits<float>::infinity()), Rgb255(23, 54, 93));
    EXPECT_EQ(HeightColor(-std::numeric_limits<float>::max()), Rgb255(23, 54, 93));
    EXPECT_EQ(HeightColor(2000.0f), Rgb255(227, 108, 10));
    EXPECT_EQ(HeightColor(5000.0f), Rgb255(227, 108, 10));
    EXPECT_EQ(HeightColor(std::numeric_limits<float>::infinity()), Rgb255(227, 108, 10));
    EXPECT_EQ(HeightColor(std::numeric_limits<float>::max()), Rgb255(227, 108, 10));
}

TEST(HeightColor, NotANumberIsColouredAsHeightZero)
{
    EXPECT_EQ(HeightColor(std::numeric_limits<float>::quiet_NaN()), Rgb255(198, 217, 241));
    EXPECT_EQ(HeightColor(-std::numeric_limits<float>::quiet_NaN()), Rgb255(198, 217, 241));
}

// Every colour is a whole 8-bit step and the ramp has no jump but the one at the shore, so a
// height assigned to the wrong stretch or a channel gone out of range shows up here.
TEST(HeightColor, SweepGivesWholeStepsWithoutJumpsExceptAtZero)
{
    Color previous = HeightColor(-1200.0f);
    for (int step = -4799; step <= 9200; ++step)
    {
        const float h = static_cast<float>(step) * 0.25f;
        const Color color = HeightColor(h);
        for (std::size_t c = 0; c < 3; ++c)
        {
            const float scaled = color[c] * 255.0f;
            ASSERT_EQ(scaled, std::round(scaled)) << h;
            ASSERT_GE(scaled, 0.0f) << h;
            ASSERT_LE(scaled, 255.0f) << h;
            if (h != 0.25f)
            {
                ASSERT_LE(std::fabs(scaled - previous[c] * 255.0f), 1.0f) << h;
            }
        }
        previous = color;
    }
}

} // namespace
} // namespace telvora
