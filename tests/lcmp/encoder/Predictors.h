#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace telvora::testenc
{

// The point predictors of the archive format, for point i of a chunk, computed from the fields of
// the chunk's points exactly as the decoder has them when it rebuilds point i: X of the points
// before i; Y also from X of every point; Z from X and Y of every point; Intensity from Z of every
// point; GPS Time from the scan direction flags of every point. The encoder has all fields of all
// points, and so computes the same predictions from the original values.
//
// Coordinates wrap at 32 bits, times at 64 bits. Conversions from double truncate toward zero, and
// give INT32_MIN for NaN and values out of range; the absolute value of INT32_MIN is INT32_MIN.
// Build with -ffp-contract=off: the double expressions must round once per operation.

// 1 <= i < n.
std::int32_t PredictX(std::span<const std::int32_t> x, std::size_t i);
std::int32_t PredictY(std::span<const std::int32_t> x, std::span<const std::int32_t> y,
                      std::size_t i);
std::int32_t PredictZ(std::span<const std::int32_t> x, std::span<const std::int32_t> y,
                      std::span<const std::int32_t> z, std::size_t i);
// 3 <= i < n.
std::uint16_t PredictIntensity(std::span<const std::int32_t> z,
                               std::span<const std::uint16_t> intensity, std::size_t i);
// 4 <= i < n; times are the bit patterns of the GPS Time doubles.
std::uint64_t PredictGPSTime(std::span<const std::uint64_t> time,
                             std::span<const std::uint8_t> scanDirection, std::size_t i);

// The conversions the predictors use, exposed for tests.
std::int32_t TruncateToInt32(double value) noexcept;
std::int32_t WrappingAbs(std::int32_t value) noexcept;

} // namespace telvora::testenc
