#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace telvora
{

// Without a GPU a frame of the full budget takes a third of a second: flying would show three
// pictures a second. While the camera moves, frames are drawn with a smaller budget chosen from
// how fast the last frames were drawn, and when it has been still for a moment one full frame
// follows. Plain logic: the view feeds it times and counts.

// A drawn frame: the budget it was given, the points it drew and how long it took.
struct FrameSample
{
    double budget = 0.0;
    std::int64_t drawn = 0;
    double seconds = 0.0;
};

inline constexpr double kMovingFrameSeconds = 0.070;
inline constexpr double kMinimumMovingBudget = 100000.0;

// The budget for the next moving frame: the points drawn per second over the samples, times the
// target time, cut by as much as the last sample drew beyond its budget (the level of detail
// draws near leaves in full and far ones at 5 % at least). Never below minimum, never above full;
// full without a usable sample.
double MovingPointBudget(const std::deque<FrameSample>& samples, double targetSeconds, double full,
                         double minimum = kMinimumMovingBudget);

// When the camera last moved, and whether it still counts as moving.
class CMotionTracker
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSettle{200};

    void NoteMove(Clock::time_point when) { lastMove = when; }
    // Within kSettle of the last move.
    bool IsMoving(Clock::time_point now) const
    {
        return lastMove.has_value() && now - *lastMove < kSettle;
    }
    // When the camera will have been still long enough for a full frame; none before any move.
    std::optional<Clock::time_point> SettlesAt() const
    {
        return lastMove.has_value() ? std::optional(*lastMove + kSettle) : std::nullopt;
    }

private:
    std::optional<Clock::time_point> lastMove;
};

} // namespace telvora
