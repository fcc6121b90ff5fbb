#include "view/AdaptiveDetail.h"

#include <algorithm>

namespace telvora
{

double MovingPointBudget(const std::deque<FrameSample>& samples, double targetSeconds, double full,
                         double minimum)
{
    double drawn = 0.0;
    double seconds = 0.0;
    for (const FrameSample& sample : samples)
    {
        drawn += static_cast<double>(sample.drawn);
        seconds += sample.seconds;
    }
    if (!(seconds > 0.0) || !(drawn > 0.0))
    {
        return full;
    }
    const double wanted = drawn / seconds * targetSeconds;
    // A frame held back by its budget draws more than it (near leaves in full, far ones at 5 %):
    // the next budget is cut by as much. One that drew everything in view says nothing of that.
    const FrameSample& last = samples.back();
    const double budgetPerPoint = last.drawn > 0 && last.budget > 0.0
                                      ? std::min(1.0, last.budget / static_cast<double>(last.drawn))
                                      : 1.0;
    return std::clamp(wanted * budgetPerPoint, std::min(minimum, full), full);
}

} // namespace telvora
