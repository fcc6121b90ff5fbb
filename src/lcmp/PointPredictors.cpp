#include "lcmp/PointPredictors.h"

#include <algorithm>
#include <limits>

namespace telvora::LcmpPredict
{

namespace
{

constexpr std::int32_t kIndefinite = std::numeric_limits<std::int32_t>::min();
// Earlier steps the look-back of Y and Z, and the vote of Z, go through at most.
constexpr std::size_t kLookBack = 100;

std::int64_t Sub64(std::int64_t a, std::int64_t b) noexcept
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

std::int64_t Time(const std::uint64_t* time, std::size_t k) noexcept
{
    return static_cast<std::int64_t>(time[k]);
}

} // namespace

std::int32_t Trunc(double value) noexcept
{
    // Every double strictly between these bounds truncates into the 32-bit range; NaN fails both
    // comparisons.
    if (value > -2147483649.0 && value < 2147483648.0)
    {
        return static_cast<std::int32_t>(value);
    }
    return kIndefinite;
}

std::int32_t Abs(std::int32_t value) noexcept
{
    if (value == kIndefinite)
    {
        return kIndefinite;
    }
    return value < 0 ? -value : value;
}

std::int32_t PredictX(const std::int32_t* x, std::size_t i) noexcept
{
    if (i == 1)
    {
        return x[0];
    }
    const std::size_t m = std::min<std::size_t>(7, i - 1);
    std::int32_t steps[7];
    std::int32_t sum = 0;
    for (std::size_t k = 0; k < m; ++k)
    {
        steps[k] = Sub(x[i - 1 - k], x[i - 2 - k]);
        sum = Add(sum, steps[k]);
    }
    const std::int32_t smallest = *std::min_element(steps, steps + m);
    const std::int32_t largest = *std::max_element(steps, steps + m);

    std::int32_t correction = 0;
    if (m > 2)
    {
        const double trimmed = static_cast<double>(Sub(Sub(sum, smallest), largest));
        const double mean = trimmed / static_cast<double>(m - 2);
        correction = Trunc(mean + 0.5);
        if (Mul(steps[0], steps[1]) < 0)
        {
            correction = Sub(correction, steps[0]);
        }
    }
    return Add(x[i - 1], correction);
}

std::int32_t PredictY(const std::int32_t* x, const std::int32_t* y, std::size_t i) noexcept
{
    const std::int32_t dX = Sub(x[i], x[i - 1]);
    if (i >= 2)
    {
        const std::size_t stop = i > kLookBack + 1 ? i - kLookBack - 1 : 0;
        for (std::size_t k = i - 2;; --k)
        {
            if (Abs(Sub(dX, Sub(x[k + 1], x[k]))) < 5)
            {
                return Add(y[i - 1], Sub(y[k + 1], y[k]));
            }
            if (k == stop)
            {
                break;
            }
        }
    }
    if (i <= 3)
    {
        return y[i - 1];
    }
    const std::int32_t dx1 = Sub(x[i - 1], x[i - 2]);
    const std::int32_t dx2 = Sub(x[i - 2], x[i - 3]);
    const std::int32_t dy1 = Sub(y[i - 1], y[i - 2]);
    const std::int32_t dy2 = Sub(y[i - 2], y[i - 3]);
    const std::int32_t d = Sub(dx2, dx1);
    const std::int32_t e = Sub(dy2, dy1);

    std::int32_t correction = dy2;
    if (d != 0 && e != 0)
    {
        const double slope = static_cast<double>(e) / static_cast<double>(d);
        const double moved = slope * static_cast<double>(Sub(dX, dx1));
        const double rounded = moved + 0.5;
        correction = Trunc(rounded + static_cast<double>(dy1));
    }
    return Add(y[i - 1], correction);
}

std::int32_t PredictZ(const std::int32_t* x, const std::int32_t* y, const std::int32_t* z,
                      std::size_t i) noexcept
{
    const std::int32_t dX = Sub(x[i], x[i - 1]);
    const std::int32_t dY = Sub(y[i], y[i - 1]);
    if (i >= 2)
    {
        const std::size_t stop = i > kLookBack + 1 ? i - kLookBack - 1 : 0;
        for (std::size_t k = i - 2;; --k)
        {
            if (Abs(Sub(dX, Sub(x[k + 1], x[k]))) < 5 && Abs(Sub(dY, Sub(y[k + 1], y[k]))) < 5)
            {
                return Add(z[i - 1], Sub(z[k + 1], z[k]));
            }
            if (k == stop)
            {
                break;
            }
        }
    }
    if (i <= 2)
    {
        return z[i - 1];
    }
    const std::int32_t dx1 = Sub(x[i - 1], x[i - 2]);
    const std::int32_t dx2 = Sub(x[i - 2], x[i - 3]);
    const std::int32_t dy1 = Sub(y[i - 1], y[i - 2]);
    const std::int32_t dy2 = Sub(y[i - 2], y[i - 3]);
    const std::int32_t dz1 = Sub(z[i - 1], z[i - 2]);
    const std::int32_t dz2 = Sub(z[i - 2], z[i - 3]);
    const std::int32_t ddx = Sub(dx2, dx1);
    const std::int32_t ddy = Sub(dy2, dy1);
    const std::int32_t ddz = Sub(dz2, dz1);
    if (ddx == 0 || ddy == 0 || ddz == 0)
    {
        return Add(z[i - 1], dz2);
    }

    const double sx = static_cast<double>(ddz) / static_cast<double>(ddx);
    const double sy = static_cast<double>(ddz) / static_cast<double>(ddy);
    int votesX = 0;
    int votesY = 0;
    const std::size_t last = std::min<std::size_t>(kLookBack - 1, i - 3);
    for (std::size_t t = 0; t <= last; ++t)
    {
        // Step a runs from point i-2-t to i-1-t, step b from i-3-t to i-2-t.
        const std::size_t p = i - 1 - t;
        const std::int32_t ax = Sub(x[p], x[p - 1]);
        const std::int32_t ay = Sub(y[p], y[p - 1]);
        const std::int32_t az = Sub(z[p], z[p - 1]);
        const std::int32_t bx = Sub(x[p - 1], x[p - 2]);
        const std::int32_t by = Sub(y[p - 1], y[p - 2]);
        const std::int32_t bz = Sub(z[p - 1], z[p - 2]);
        const double px = static_cast<double>(Sub(ax, bx)) * sx;
        const double py = static_cast<double>(Sub(ay, by)) * sy;
        const std::int32_t tx = Trunc(px + static_cast<double>(bz));
        const std::int32_t ty = Trunc(py + static_cast<double>(bz));
        const std::int32_t ex = Abs(Sub(tx, az));
        const std::int32_t ey = Abs(Sub(ty, az));
        if (ex <= ey)
        {
            ++votesX;
        }
        if (ex >= ey)
        {
            ++votesY;
        }
    }

    double slope = sy;
    std::int32_t moved = Sub(dY, dy1);
    if (votesX > votesY)
    {
        slope = sx;
        moved = Sub(dX, dx1);
    }
    const double product = static_cast<double>(moved) * slope;
    const double shifted = product + static_cast<double>(dz1);
    return Add(z[i - 1], Trunc(shifted + 0.5));
}

std::uint16_t PredictIntensity(const std::int32_t* z, const std::uint16_t* intensity,
                               std::size_t i) noexcept
{
    const std::int32_t h = Sub(z[i], z[i - 1]);
    const std::int32_t f = Sub(z[i], z[i - 2]);
    if (h < -3000)
    {
        return 0;
    }
    if (h > 3000 && intensity[0] != 0)
    {
        return static_cast<std::uint16_t>(intensity[i - 1] >> 1);
    }
    if (Abs(h) < 100 && Abs(f) < 100)
    {
        return static_cast<std::uint16_t>((intensity[i - 1] + intensity[i - 2]) / 2);
    }
    return Abs(h) > Abs(f) ? intensity[i - 2] : intensity[i - 1];
}

std::uint64_t PredictGPSTime(const std::uint64_t* time, const std::uint8_t* flag,
                             std::size_t i) noexcept
{
    std::int64_t step = Sub64(Time(time, i - 2), Time(time, i - 3));
    if (step == 0)
    {
        step = Sub64(Time(time, i - 3), Time(time, i - 4));
    }
    const std::size_t last = std::min<std::size_t>(4, i - 3);
    for (std::size_t k = 0; k <= last; ++k)
    {
        const std::int64_t t = Sub64(Time(time, i - 2 - k), Time(time, i - 3 - k));
        if (t != 0 && t < step)
        {
            step = t;
        }
    }

    // After a turn of the scan direction the gap of the latest earlier turn of the same kind
    // predicts better than any step within a line.
    if (flag[i - 2] != flag[i - 1])
    {
        const int s = flag[1];
        for (std::size_t q = i - 3; q >= 2; --q)
        {
            if (flag[q] == 1 - s && flag[q + 1] == s)
            {
                step = Sub64(Time(time, q + 1), Time(time, q));
                break;
            }
        }
    }
    return time[i - 2] + static_cast<std::uint64_t>(step);
}

} // namespace telvora::LcmpPredict
