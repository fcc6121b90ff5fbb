#pragma once

#include <cstddef>
#include <cstdint>

namespace telvora
{

// The predictions that X, Y, Z, Intensity and GPS Time of a point are coded against, from the
// points of the same chunk that are already rebuilt. The producer computes the same values, so
// every integer conversion and tie-break here is part of the archive format.
//
// Arithmetic on coordinates wraps at 32 bits and on times at 64 bits, as on the producer's
// machine; this file is compiled with floating-point contraction off, since a fused multiply-add
// would round differently and change predictions.
namespace LcmpPredict
{

// Truncation of a double toward zero into 32 bits, with the x86 conversion's answer INT32_MIN
// for NaN and for values outside the 32-bit range.
std::int32_t Trunc(double value) noexcept;
// |value|, where |INT32_MIN| stays INT32_MIN as on x86.
std::int32_t Abs(std::int32_t value) noexcept;

inline std::int32_t Sub(std::int32_t a, std::int32_t b) noexcept
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
inline std::int32_t Add(std::int32_t a, std::int32_t b) noexcept
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t Mul(std::int32_t a, std::int32_t b) noexcept
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// Each predictor of point i reads only what exists when it runs: x[0..i) for X; x[0..i] and
// y[0..i) for Y; x and y of point i and z[0..i) for Z; z[0..i] and intensity[0..i) for
// Intensity; the flags of every point and time[0..i-1) for GPS Time.

// 1 <= i.
std::int32_t PredictX(const std::int32_t* x, std::size_t i) noexcept;
// 1 <= i.
std::int32_t PredictY(const std::int32_t* x, const std::int32_t* y, std::size_t i) noexcept;
// 1 <= i.
std::int32_t PredictZ(const std::int32_t* x, const std::int32_t* y, const std::int32_t* z,
                      std::size_t i) noexcept;
// 3 <= i.
std::uint16_t PredictIntensity(const std::int32_t* z, const std::uint16_t* intensity,
                               std::size_t i) noexcept;
// 4 <= i; times are GPS Time bit patterns, flags the scan direction flags (0 or 1).
std::uint64_t PredictGPSTime(const std::uint64_t* time, const std::uint8_t* flag,
                             std::size_t i) noexcept;

} // namespace LcmpPredict

} // namespace telvora
