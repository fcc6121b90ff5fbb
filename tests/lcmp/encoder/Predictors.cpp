#include "encoder/Predictors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace telvora::testenc
{

namespace
{

// 32-bit two's-complement arithmetic without signed overflow.
std::int32_t Sub(std::int32_t a, std::int32_t b) noexcept
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
std::int32_t Add(std::int32_t a, std::int32_t b) noexcept
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
std::int32_t Mul(std::int32_t a, std::int32_t b) noexcept
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
std::int64_t Sub64(std::uint64_t a, std::uint64_t b) noexcept
{
    return static_cast<std::int64_t>(a - b);
}

} // namespace

std::int32_t TruncateToInt32(double value) noexcept
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
    {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t WrappingAbs(std::int32_t value) noexcept
{
    return value < 0 ? Sub(0, value) : value;
}

std::int32_t PredictX(std::span<const std::int32_t> x, std::size_t i)
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
        correction = TruncateToInt32(trimmed / static_cast<double>(m - 2) + 0.5);
        if (Mul(steps[0], steps[1]) < 0)
        {
            correction = Sub(correction, steps[0]);
        }
    }
    return Add(x[i - 1], correction);
}

std::int32_t PredictY(std::span<const std::int32_t> x, std::span<const std::int32_t> y,
                      std::size_t i)
{
    const std::int32_t dX = Sub(x[i], x[i - 1]);
    const std::size_t oldest = i > 101 ? i - 101 : 0;
    for (std::size_t k = i - 1; k-- > oldest;)
    {
        if (WrappingAbs(Sub(dX, Sub(x[k + 1], x[k]))) < 5)
        {
            return Add(y[i - 1], Sub(y[k + 1], y[k]));
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
        double value = static_cast<double>(e) / static_cast<double>(d);
        value = value * static_cast<double>(Sub(dX, dx1));
        value = value + 0.5;
        value = value + static_cast<double>(dy1);
        correction = TruncateToInt32(value);
    }
    return Add(y[i - 1], correction);
}

std::int32_t PredictZ(std::span<const std::int32_t> x, std::span<const std::int32_t> y,
                      std::span<const std::int32_t> z, std::size_t i)
{
    const std::int32_t dX = Sub(x[i], x[i - 1]);
    const std::int32_t dY = Sub(y[i], y[i - 1]);
    const std::size_t oldest = i > 101 ? i - 101 : 0;
    for (std::size_t k = i - 1; k-- > oldest;)
    {
        if (WrappingAbs(Sub(dX, Sub(x[k + 1], x[k]))) < 5 &&
            WrappingAbs(Sub(dY, Sub(y[k + 1], y[k]))) < 5)
        {
            return Add(z[i - 1], Sub(z[k + 1], z[k]));
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
    std::uint32_t votesX = 0;
    std::uint32_t votesY = 0;
    const std::size_t last = std::min<std::size_t>(99, i - 3);
    for (std::size_t t = 0; t <= last; ++t)
    {
        const std::size_t p2 = i - 1 - t; // step a runs from p1 to p2, step b from p0 to p1
        const std::size_t p1 = p2 - 1;
        const std::size_t p0 = p1 - 1;
        const std::int32_t ax = Sub(x[p2], x[p1]);
        const std::int32_t ay = Sub(y[p2], y[p1]);
        const std::int32_t az = Sub(z[p2], z[p1]);
        const std::int32_t bx = Sub(x[p1], x[p0]);
        const std::int32_t by = Sub(y[p1], y[p0]);
        const std::int32_t bz = Sub(z[p1], z[p0]);
        const std::int32_t tx =
            TruncateToInt32(static_cast<double>(Sub(ax, bx)) * sx + static_cast<double>(bz));
        const std::int32_t ty =
            TruncateToInt32(static_cast<double>(Sub(ay, by)) * sy + static_cast<double>(bz));
        const std::int32_t ex = WrappingAbs(Sub(tx, az));
        const std::int32_t ey = WrappingAbs(Sub(ty, az));
        if (ex <= ey)
        {
            ++votesX;
        }
        if (ex >= ey)
        {
            ++votesY;
        }
    }

    double value = 0.0;
    if (votesX > votesY)
    {
        value = static_cast<double>(Sub(dX, dx1)) * sx;
    }
    else
    {
        value = static_cast<double>(Sub(dY, dy1)) * sy;
    }
    value = value + static_cast<double>(dz1);
    value = value + 0.5;
    return Add(z[i - 1], TruncateToInt32(value));
}

std::uint16_t PredictIntensity(std::span<const std::int32_t> z,
                               std::span<const std::uint16_t> intensity, std::size_t i)
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
    if (WrappingAbs(h) < 100 && WrappingAbs(f) < 100)
    {
        return static_cast<std::uint16_t>((intensity[i - 1] + intensity[i - 2]) / 2);
    }
    if (WrappingAbs(h) > WrappingAbs(f))
    {
        return intensity[i - 2];
    }
    return intensity[i - 1];
}

std::uint64_t PredictGPSTime(std::span<const std::uint64_t> time,
                             std::span<const std::uint8_t> scanDirection, std::size_t i)
{
    std::int64_t d = Sub64(time[i - 2], time[i - 3]);
    if (d == 0)
    {
        d = Sub64(time[i - 3], time[i - 4]);
    }
    const std::size_t last = std::min<std::size_t>(4, i - 3);
    for (std::size_t k = 0; k <= last; ++k)
    {
        const std::int64_t t = Sub64(time[i - 2 - k], time[i - 3 - k]);
        if (t != 0 && t < d)
        {
            d = t;
        }
    }
    std::uint64_t correction = static_cast<std::uint64_t>(d);
    if (scanDirection[i - 2] != scanDirection[i - 1])
    {
        const std::uint8_t s = scanDirection[1];
        // The latest earlier turn of the same kind, searched from point i-2 backwards.
        for (std::size_t q = i - 3; q >= 2; --q)
        {
            if (scanDirection[q] == 1 - s && scanDirection[q + 1] == s)
            {
                correction = time[q + 1] - time[q];
                break;
            }
        }
    }
    return time[i - 2] + correction;
}

} // namespace telvora::testenc
