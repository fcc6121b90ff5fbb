#include "encoder/Predictors.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace telvora::testenc
{
namespace
{

using Ints = std::vector<std::int32_t>;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(PredictorConversions, TruncationTowardZeroAndOutOfRangeGiveTheFormatsIntegers)
{
    EXPECT_EQ(TruncateToInt32(2.5 + 0.5), 3);
    EXPECT_EQ(TruncateToInt32(-2.5 + 0.5), -2);
    EXPECT_EQ(TruncateToInt32(-2.7 + 0.5), -2);
    EXPECT_EQ(TruncateToInt32(2147483647.9), 2147483647);
    EXPECT_EQ(TruncateToInt32(-2147483648.9), kMin);
    EXPECT_EQ(TruncateToInt32(2147483648.0), kMin);
    EXPECT_EQ(TruncateToInt32(-2147483649.0), kMin);
    EXPECT_EQ(TruncateToInt32(std::nan("")), kMin);
    EXPECT_EQ(TruncateToInt32(-INFINITY), kMin);
    EXPECT_EQ(WrappingAbs(-7), 7);
    EXPECT_EQ(WrappingAbs(kMin), kMin);
}

TEST(PredictX, TrimmedMeanOfRecentStepsFromTheFourthPoint)
{
    const Ints x = {0, 10, 20, 30, 20};
    EXPECT_EQ(PredictX(x, 1), 0);
    EXPECT_EQ(PredictX(x, 2), 10);
    EXPECT_EQ(PredictX(x, 3), 20);
    // Steps 10, 10, 10: the middle one.
    EXPECT_EQ(PredictX(x, 4), 40);
}

TEST(PredictX, ReversalBetweenTheTwoLatestStepsSubtractsTheLatest)
{
    // Steps -5, 5, 10, 10 (latest first): mean of the middle two 7.5 rounds to 8, then the
    // opposite signs of -5 and 5 take -5 off: 20 + 13.
    const Ints x = {0, 10, 20, 25, 20, 0};
    EXPECT_EQ(PredictX(x, 5), 33);
}

TEST(PredictY, LookBackTakesTheLatestStepWithinFourUnitsOfTheXStep)
{
    const Ints y = {0, 100, 150, 0};
    EXPECT_EQ(PredictY(Ints{0, 10, 20, 34}, y, 3), 200);
    EXPECT_EQ(PredictY(Ints{0, 10, 20, 35}, y, 3), 150);
}

TEST(PredictY, StepsThatDifferByTwoToTheThirtyFirstMatchThroughTheWrappedAbsolute)
{
    EXPECT_EQ(PredictY(Ints{0, 0, kMin}, Ints{0, 7, 0}, 2), 14);
}

TEST(PredictY, EqualXStepChangeFallsBackToTheOlderYStep)
{
    EXPECT_EQ(PredictY(Ints{0, 10, 20, 30, 100}, Ints{0, 5, 15, 30, 0}, 4), 40);
}

TEST(PredictY, ExtrapolatesHowTheYStepFollowsTheXStep)
{
    // E / D = -2 / -10 times dX - dx1 = 110 is 22; with 0.5 and dy1 = 4 it truncates to 26.
    EXPECT_EQ(PredictY(Ints{0, 10, 30, 60, 200}, Ints{0, 1, 3, 7, 0}, 4), 33);
}

TEST(PredictZ, LookBackNeedsBothXAndYStepsToMatch)
{
    const Ints x = {0, 10, 20, 30};
    const Ints z = {0, 3, 9, 0};
    EXPECT_EQ(PredictZ(x, Ints{0, 10, 20, 30}, z, 3), 15);
    // No match, and equal X steps: the older Z step.
    EXPECT_EQ(PredictZ(x, Ints{0, 10, 20, 40}, z, 3), 12);
}

TEST(PredictIntensity, HeightJumpsAndFlatStretchesPickTheirRules)
{
    const std::vector<std::uint16_t> lit = {8, 100, 60, 0};
    const std::vector<std::uint16_t> dark = {0, 100, 60, 0};
    EXPECT_EQ(PredictIntensity(Ints{0, 0, 5000, 1999}, lit, 3), 0);
    EXPECT_EQ(PredictIntensity(Ints{0, 0, 0, 3001}, lit, 3), 30);
    // Without a first intensity the rise falls through: |h| = |f| = 3001 keeps I(i-1).
    EXPECT_EQ(PredictIntensity(Ints{0, 0, 0, 3001}, dark, 3), 60);
    EXPECT_EQ(PredictIntensity(Ints{0, 0, 40, 90}, lit, 3), 80);
    EXPECT_EQ(PredictIntensity(Ints{0, 0, -300, 0}, lit, 3), 100);
    EXPECT_EQ(PredictIntensity(Ints{0, 0, 100, 300}, lit, 3), 60);
}

TEST(PredictGPSTime, SmallestNonZeroRecentStepFromThePointBeforeLast)
{
    const std::vector<std::uint8_t> flat(8, 0);
    EXPECT_EQ(PredictGPSTime(std::vector<std::uint64_t>{0, 10, 30, 40, 0}, flat, 4), 40u);
    // The two latest steps are 0: D starts at the zero step before them and stays there,
    // since zero steps are no candidates and 5 is not below 0 ...
    EXPECT_EQ(PredictGPSTime(std::vector<std::uint64_t>{0, 5, 5, 5, 0, 0}, flat, 5), 5u);
    // ... unless a step is negative.
    EXPECT_EQ(PredictGPSTime(std::vector<std::uint64_t>{10, 5, 5, 5, 0, 0}, flat, 5), 0u);
}

TEST(PredictGPSTime, ScanTurnRepeatsTheTimeGapOfTheLatestTurnOfTheSameKind)
{
    // The turn from 1 to 0 between points 6 and 7; the latest earlier one from 0 to 1 (the kind
    // of the flag of point 1) lies between points 4 and 5, 10 apart. The smallest step is 1.
    const std::vector<std::uint64_t> t = {0, 1, 2, 3, 4, 14, 15, 16, 0};
    const std::vector<std::uint8_t> turning = {0, 1, 1, 0, 0, 1, 1, 0, 0};
    EXPECT_EQ(PredictGPSTime(t, turning, 8), 25u);
    // For i = 4 there is no earlier turn to look at.
    EXPECT_EQ(PredictGPSTime(t, std::vector<std::uint8_t>{0, 1, 0, 1, 0}, 4), 3u);
}

} // namespace
} // namespace telvora::testenc
