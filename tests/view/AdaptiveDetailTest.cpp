#include "view/AdaptiveDetail.h"

#include <gtest/gtest.h>

namespace telvora
{
namespace
{

TEST(MovingPointBudget, FollowsTheRateOfRecentFramesWithinItsBounds)
{
    struct Case
    {
        const char* label;
        std::deque<FrameSample> samples;
        double expected;
    };
    const double full = 5000000.0;
    const Case cases[] = {
        // 15 M points/s: 70 ms hold 1.05 M. The full frame drew less than its budget: no cut.
        {"after a full frame", {{full, 4500000, 0.3}}, 1050000.0},
        // Two moving frames at 10 M points/s: 700,000 wanted; the last drew 800,000 for a budget
        // of 600,000, so the budget is cut to three quarters.
        {"budget held back", {{full, 3000000, 0.3}, {600000, 800000, 0.08}}, 525000.0},
        {"never below the minimum", {{full, 1000000, 1.0}}, 100000.0},
        {"never above the full budget", {{full, 2000000, 0.001}}, full},
        {"no sample", {}, full},
        {"nothing drawn yet", {{full, 0, 0.01}}, full},
    };
    for (const Case& c : cases)
    {
        EXPECT_DOUBLE_EQ(MovingPointBudget(c.samples, 0.070, full), c.expected) << c.label;
    }
    // A full budget below the minimum wins over the minimum.
    EXPECT_DOUBLE_EQ(MovingPointBudget({{50000, 50000, 10.0}}, 0.070, 50000.0), 50000.0);
}

TEST(MotionTracker, MovingUntilTwoHundredMillisecondsAfterTheLastMove)
{
    using namespace std::chrono_literals;
    const CMotionTracker::Clock::time_point t0{};
    CMotionTracker tracker;
    EXPECT_FALSE(tracker.IsMoving(t0));
    EXPECT_FALSE(tracker.SettlesAt().has_value());
    tracker.NoteMove(t0 + 1s);
    tracker.NoteMove(t0 + 1s + 150ms);
    EXPECT_TRUE(tracker.IsMoving(t0 + 1s + 349ms));
    EXPECT_FALSE(tracker.IsMoving(t0 + 1s + 350ms));
    EXPECT_EQ(tracker.SettlesAt(), t0 + 1s + 350ms);
}

} // namespace
} // namespace telvora
