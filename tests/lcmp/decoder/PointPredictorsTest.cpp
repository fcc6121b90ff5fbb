#include "lcmp/PointPredictors.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace telvora::test
{
namespace
{

using namespace LcmpPredict;
using Ints = std::vector<std::int32_t>;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(LcmpNumerics, TruncGoesTowardZeroAndGivesIndefiniteOutsideRange)
{
    EXPECT_EQ(Trunc(2.5 + 0.5), 3);
    EXPECT_EQ(Trunc(-2.5 + 0.5), -2);
    EXPECT_EQ(Trunc(-2.7 + 0.5), -2);
    EXPECT_EQ(Trunc(-2147483648.9), kMin);
    EXPECT_EQ(Trunc(2147483647.9), 2147483647);
    EXPECT_EQ(Trunc(2147483648.0), kMin);
    EXPECT_EQ(Trunc(-2147483649.0), kMin);
    EXPECT_EQ(Trunc(std::nan("")), kMin);
    EXPECT_EQ(Trunc(std::numeric_limits<double>::infinity()), kMin);
    EXPECT_EQ(Abs(-5), 5);
    EXPECT_EQ(Abs(kMin), kMin);
}

TEST(PredictX, FirstStepsRepeatThePreviousX)
{
    const Ints x = {100, 130, 170};
    EXPECT_EQ(PredictX(x.data(), 1), 100);
    EXPECT_EQ(PredictX(x.data(), 2), 130);
    EXPECT_EQ(PredictX(x.data(), 3), 170);
}

TEST(PredictX, TrimmedMeanOfRecentSteps)
{
    // Steps 10, 10, 10: their sum without smallest and largest is 10, over one step.
    const Ints even = {0, 10, 20, 30};
    EXPECT_EQ(PredictX(even.data(), 4), 40);
    // Steps, latest first, -5, 5, 10, 10: (20 + 5 - 10) / 2 = 7.5 rounds to 8; the two latest
    // steps have a negative product, so the latest (-5) is taken off: 13.
    const Ints turn = {0, 10, 20, 25, 20};
    EXPECT_EQ(PredictX(turn.data(), 5), 33);
}

TEST(PredictX, NegativeMeansTruncateTowardZeroAfterAddingOneHalf)
{
    // Steps -1, -2, -3, -4: mean of the middle two -2.5, plus 0.5 truncates to -2 (rounding
    // half away from zero would give -3).
    const Ints half = {100, 96, 93, 91, 90};
    EXPECT_EQ(PredictX(half.data(), 5), 88);
    // Seven steps -1, -2, -2, -3, -3, -3, -5: (-19 + 5 + 1) / 5 = -2.6, plus 0.5 is -2.1: -2
    // (the floor would be -3).
    const Ints seven = {1000, 995, 992, 989, 986, 984, 982, 981};
    EXPECT_EQ(PredictX(seven.data(), 8), 979);
}

TEST(PredictX, DifferencesWrapAt32Bits)
{
    // Steps wrap to 96, -96, 96: mean 96, minus the latest step 96 (negative product).
    const Ints x = {2147483600, -2147483600, 2147483600, -2147483600};
    EXPECT_EQ(PredictX(x.data(), 4), -2147483600);
    // Steps 1, 1, 5: the prediction one above the largest value wraps to the smallest.
    const Ints up = {2147483640, 2147483645, 2147483646, 2147483647};
    EXPECT_EQ(PredictX(up.data(), 4), kMin);
}

TEST(PredictY, LookBackTakesAStepWithinFourUnits)
{
    // dX = 14 against the steps 20 (off by 6) and 10 (off by 4): the older one matches and its
    // Y step, 7, is repeated.
    const Ints x4 = {0, 10, 30, 44};
    const Ints y = {0, 7, 50};
    EXPECT_EQ(PredictY(x4.data(), y.data(), 3), 57);
    // Off by 5 matches nothing: with i <= 3 the previous Y stays.
    const Ints x5 = {0, 10, 30, 45};
    EXPECT_EQ(PredictY(x5.data(), y.data(), 3), 50);
}

TEST(PredictY, LookBackPrefersTheMostRecentMatch)
{
    const Ints x = {0, 10, 20, 30};
    const Ints y = {0, 3, 10};
    EXPECT_EQ(PredictY(x.data(), y.data(), 3), 17);
}

TEST(PredictY, LookBackGoesAtMostOneHundredStepsBack)
{
    // The only X step that matches the current one (7) is the first; `gap` steps of 1000 lie
    // between it and the current point.
    auto predict = [](int gap)
    {
        Ints x = {0, 7};
        for (int k = 0; k < gap; ++k)
        {
            x.push_back(x.back() + 1000);
        }
        const std::size_t i = x.size();
        x.push_back(x.back() + 7);
        Ints y(i, 0);
        y[1] = 55;
        return PredictY(x.data(), y.data(), i);
    };
    // 100 earlier steps are searched: the first one is the hundredth.
    EXPECT_EQ(predict(99), 55);
    // One more and it is out of reach; steps 1000 and 1000 then give D = 0 and the older Y step.
    EXPECT_EQ(predict(100), 0);
}

TEST(PredictY, FallsBackToOlderStepWhenADenominatorIsZero)
{
    // No look-back match; X steps 100 and 100: D = 0, so the older Y step 15 is added.
    const Ints x = {0, 100, 200, 300, 1000};
    const Ints y = {0, 5, 20, 50};
    EXPECT_EQ(PredictY(x.data(), y.data(), 4), 65);
    // Y steps 10 and 10: E = 0.
    const Ints x2 = {0, 100, 300, 350, 1000};
    const Ints y2 = {0, 5, 15, 25};
    EXPECT_EQ(PredictY(x2.data(), y2.data(), 4), 35);
}

TEST(PredictY, ExtrapolatesTheChangeOfStep)
{
    // E / D = 30 / 150 = 0.2; times dX - dx1 = 600 is 120; plus 0.5 plus dy1 10: 130.
    const Ints x = {0, 100, 300, 350, 1000};
    const Ints y = {0, 0, 40, 50};
    EXPECT_EQ(PredictY(x.data(), y.data(), 4), 180);
    // -0.2 * 600 + 0.5 + 0 = -119.5 truncates to -119.
    const Ints y2 = {0, 100, 70, 70};
    EXPECT_EQ(PredictY(x.data(), y2.data(), 4), -49);
}

TEST(PredictZ, LookBackNeedsBothStepsWithinFourUnits)
{
    const Ints x = {0, 10, 20, 30};
    const Ints y = {0, 5, 10, 15};
    const Ints z = {0, 1, 3};
    EXPECT_EQ(PredictZ(x.data(), y.data(), z.data(), 3), 5);
    // The Y step off by 5: no match; then step 5 applies (DX = 0), the older Z step 1.
    const Ints y5 = {0, 5, 10, 20};
    EXPECT_EQ(PredictZ(x.data(), y5.data(), z.data(), 3), 4);
}

TEST(PredictZ, EarlyPointsRepeatThePreviousZ)
{
    const Ints x = {0, 100, 300};
    const Ints y = {0, 100, 300};
    const Ints z = {0, 10};
    EXPECT_EQ(PredictZ(x.data(), y.data(), z.data(), 1), 0);
    EXPECT_EQ(PredictZ(x.data(), y.data(), z.data(), 2), 10);
}

TEST(PredictZ, TiedVoteSelectsTheYSlope)
{
    // At i = 3 both slopes rebuild the one earlier step exactly: A = B = 1. The Y slope
    // (-20 / -150) gives 800 * 0.1333... + 30 + 0.5 = 137.17, the X slope would give 130.
    const Ints x = {0, 100, 300, 1000};
    const Ints y = {0, 50, 250, 1250};
    const Ints z = {0, 10, 40};
    EXPECT_EQ(PredictZ(x.data(), y.data(), z.data(), 3), 177);
}

TEST(PredictZ, MajorityForXSelectsTheXSlope)
{
    // Two of the two earlier steps are rebuilt at least as well by the X slope, one by the Y
    // slope: A = 2, B = 1. (The Y slope would predict 50.)
    const Ints x = {0, -36, -28, 67, 313};
    const Ints y = {0, 146, 277, 564, 863};
    const Ints z = {0, 49, 63, 57};
    EXPECT_EQ(PredictZ(x.data(), y.data(), z.data(), 4), 17);
}

TEST(PredictZ, ZeroChangeOfAnyStepFallsBackToOlderZStep)
{
    const Ints x = {0, 100, 300, 1000};
    const Ints y = {0, 50, 250, 1250};
    // Z steps 10 and 10: DZ = 0.
    const Ints z = {0, 10, 20};
    EXPECT_EQ(PredictZ(x.data(), y.data(), z.data(), 3), 30);
}

TEST(PredictIntensity, HeightThresholds)
{
    const std::vector<std::uint16_t> intensity = {10, 20, 30};
    // A drop of more than 3000 predicts 0.
    const Ints drop = {0, 0, 5000, 1999};
    EXPECT_EQ(PredictIntensity(drop.data(), intensity.data(), 3), 0);
    // A rise of more than 3000 halves the previous intensity...
    const Ints rise = {0, 0, 0, 3001};
    EXPECT_EQ(PredictIntensity(rise.data(), intensity.data(), 3), 15);
    // ...only when the chunk's first intensity is not 0; otherwise step 5 decides: |h| equals
    // |f|, so the previous intensity.
    const std::vector<std::uint16_t> darkFirst = {0, 20, 30};
    EXPECT_EQ(PredictIntensity(rise.data(), darkFirst.data(), 3), 30);
    // Exactly 3000 is no rise: |h| = 3000 > |f| = 2990, so the one before.
    const Ints rise3000 = {0, 0, -10, 2990};
    EXPECT_EQ(PredictIntensity(rise3000.data(), intensity.data(), 3), 20);
}

TEST(PredictIntensity, FlatGroundAveragesTheTwoPrevious)
{
    const std::vector<std::uint16_t> intensity = {1, 20, 31};
    const Ints flat = {0, 0, 50, 99};
    EXPECT_EQ(PredictIntensity(flat.data(), intensity.data(), 3), 25);
    // |f| = 100 is not flat: |h| = 50 is not above it, so the previous intensity.
    const Ints slope = {0, 0, 50, 100};
    EXPECT_EQ(PredictIntensity(slope.data(), intensity.data(), 3), 31);
}

TEST(PredictGPSTime, FourthPointUsesSmallestNonZeroRecentStep)
{
    const std::vector<std::uint64_t> t = {100, 110, 130, 145};
    // The flags change between points 2 and 3, but no earlier turn can exist (2 <= q <= 1).
    const std::vector<std::uint8_t> flags = {0, 0, 0, 1, 1};
    EXPECT_EQ(PredictGPSTime(t.data(), flags.data(), 4), 140u);
}

TEST(PredictGPSTime, ZeroStepsAreSkippedButANegativeOneWins)
{
    const std::vector<std::uint8_t> flags(8, 0);
    const std::vector<std::uint64_t> still = {100, 110, 110, 110};
    EXPECT_EQ(PredictGPSTime(still.data(), flags.data(), 5), 110u);
    const std::vector<std::uint64_t> back = {120, 110, 110, 110};
    EXPECT_EQ(PredictGPSTime(back.data(), flags.data(), 5), 100u);
}

TEST(PredictGPSTime, TurnOfScanDirectionUsesGapOfLatestEarlierTurnOfTheSameKind)
{
    const std::vector<std::uint64_t> t = {0, 10, 20, 35, 45, 55, 1000};
    // Second point's flag s = 0; the latest 1 -> 0 turn before point 6 is between 5 and 6.
    const std::vector<std::uint8_t> turn = {0, 0, 0, 1, 1, 1, 0, 1};
    EXPECT_EQ(PredictGPSTime(t.data(), turn.data(), 8), 1000u + 945u);
    // No turn between the two latest points: the smallest recent step, 10.
    const std::vector<std::uint8_t> straight = {0, 0, 0, 1, 1, 1, 0, 0};
    EXPECT_EQ(PredictGPSTime(t.data(), straight.data(), 8), 1010u);
    // The only 1 -> 0 turn is between points 2 and 3.
    const std::vector<std::uint8_t> early = {0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(PredictGPSTime(t.data(), early.data(), 8), 1000u + 15u);
}

TEST(PredictGPSTime, TimesWrapAt64Bits)
{
    const std::vector<std::uint64_t> t = {0xFFFFFFFFFFFFFFE0ull, 0xFFFFFFFFFFFFFFE8ull,
                                          0xFFFFFFFFFFFFFFF8ull};
    const std::vector<std::uint8_t> flags(5, 0);
    EXPECT_EQ(PredictGPSTime(t.data(), flags.data(), 4), 0u);
}

} // namespace
} // namespace telvora::test
