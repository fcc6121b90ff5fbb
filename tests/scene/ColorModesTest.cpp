#include "scene/ColorModes.h"

#include <gtest/gtest.h>
#include <string>

#include "common/CommandIds.h"

namespace telvora
{
namespace
{

TEST(ColorModes, IntensityGreysSpanTheFilesOwnRange)
{
    const std::uint16_t values[] = {200, 100, 300, 250};
    const GreyScale scale = IntensityScale(values, 4);
    EXPECT_EQ(scale.Grey(200), 0.5f);
    EXPECT_EQ(scale.Grey(100), 0.0f);
    EXPECT_EQ(scale.Grey(300), 1.0f);
}

TEST(ColorModes, FlatAttributesGiveAMiddleGreyNotNaN)
{
    const std::uint16_t same[] = {77, 77, 77};
    EXPECT_EQ(IntensityScale(same, 3).Grey(77), GreyScale::kFlatGrey);
    const float angles[] = {-12, 12, 12};
    EXPECT_EQ(AbsoluteScanAngleScale(angles, 3).Grey(12), GreyScale::kFlatGrey);
}

TEST(ColorModes, ScanAnglesLeftAndRightShareTheirGrey)
{
    const float ranks[] = {-15, 15, 0, -30, -128};
    const GreyScale scale = AbsoluteScanAngleScale(ranks, 5);
    EXPECT_EQ(scale.min, 0.0f);
    EXPECT_EQ(scale.max, 128.0f);
    EXPECT_FLOAT_EQ(scale.Grey(15), 15.0f / 128.0f);
    // 16-bit angles in 0.006-degree steps: -1500 steps is -9 degrees, 2500 steps 15 degrees,
    // 1 step 0.006 degrees; the grey spreads from 0.006 to 15.
    const float fine[] = {-9.0f, 15.0f, 0.006f};
    const GreyScale spread = AbsoluteScanAngleScale(fine, 3);
    EXPECT_FLOAT_EQ(spread.min, 0.006f);
    EXPECT_FLOAT_EQ(spread.max, 15.0f);
    EXPECT_FLOAT_EQ(spread.Grey(9.0f), (9.0f - 0.006f) / (15.0f - 0.006f));
}

TEST(ColorModes, HistogramSharesAreTheCumulativeDistribution)
{
    const std::uint16_t values[] = {0, 0, 1, 5};
    const std::vector<float> shares = IntensityShares(values, 4);
    ASSERT_EQ(shares.size(), 6u);
    EXPECT_EQ(shares[0], 0.5f);
    EXPECT_EQ(shares[1], 0.75f);
    EXPECT_EQ(shares[4], 0.75f);
    EXPECT_EQ(shares[5], 1.0f);
}

TEST(ColorModes, HistogramCountsBeyondFloatPrecision)
{
    // 2^24 + 2 records of one value and one of another: float counters would stall at 2^24.
    std::vector<std::uint16_t> values((1u << 24) + 2, 3);
    values.push_back(9);
    const std::vector<float> shares = IntensityShares(values.data(), values.size());
    EXPECT_LT(shares[3], 1.0f);
    EXPECT_EQ(shares[9], 1.0f);
}

TEST(ColorModes, EightBitColoursAreRecognisedAndExpanded)
{
    float eight[] = {39.0f / 65535, 249.0f / 65535, 255.0f / 65535, 0, 0, 0};
    ASSERT_TRUE(HoldsEightBitColors(eight, 2));
    ExpandEightBitColors(eight, 2);
    EXPECT_FLOAT_EQ(eight[0], 39.0f / 255);
    EXPECT_FLOAT_EQ(eight[1], 249.0f / 255);
    EXPECT_EQ(eight[2], 1.0f);
    const float sixteen[] = {39.0f / 65535, 256.0f / 65535, 0};
    EXPECT_FALSE(HoldsEightBitColors(sixteen, 1));
}

TEST(ColorModes, EveryModeHasItsStatusText)
{
    EXPECT_EQ(std::string(ColorModeStatusText(ID_VIEW_INTENSITY)),
              "Generating colors depending on intensity");
    EXPECT_EQ(std::string(ColorModeStatusText(ID_VIEW_HISTOGRAM)),
              "Generating colors depending on normalized intensity");
    EXPECT_EQ(std::string(ColorModeStatusText(ID_VIEW_HEIGHT)),
              "Generating colors depending on heights");
    EXPECT_EQ(std::string(ColorModeStatusText(ID_VIEW_FILES)),
              "Generating colors depending on files loaded");
    EXPECT_EQ(std::string(ColorModeStatusText(ID_VIEW_COLOR)),
              "Generating colors depending on RGB values");
    EXPECT_EQ(std::string(ColorModeStatusText(ID_FILE_OPEN)), "");
}

} // namespace
} // namespace telvora
