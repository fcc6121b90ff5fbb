#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace telvora
{

// Red, green and blue from 0 to 1.
using Color = std::array<float, 3>;

// Indexed by a classification code, a return number or a file number. Values from 32 on have no
// colour of their own and are black, so a classification byte with a flag bit set shows black.
inline constexpr std::array<Color, 32> ClassPalette = {{
    {0.74f, 0.74f, 0.74f}, {0.0f, 0.0f, 0.0f},    {0.54f, 0.0f, 0.16f}, {0.49f, 1.0f, 0.83f},
    {0.0f, 1.0f, 0.49f},   {0.13f, 0.54f, 0.13f}, {1.0f, 0.0f, 0.0f},   {1.0f, 1.0f, 1.0f},
    {1.0f, 1.0f, 0.0f},    {0.0f, 0.0f, 1.0f},    {0.98f, 0.5f, 0.44f}, {0.58f, 0.5f, 0.44f},
    {0.62f, 0.12f, 0.94f}, {0.98f, 0.6f, 0.54f},  {0.88f, 0.7f, 0.44f}, {0.78f, 0.7f, 0.54f},
    {0.68f, 0.7f, 0.64f},  {0.58f, 0.8f, 0.44f},  {0.48f, 0.8f, 0.54f}, {0.38f, 0.8f, 0.64f},
    {0.28f, 0.8f, 0.74f},  {0.18f, 0.9f, 0.44f},  {0.98f, 0.9f, 0.54f}, {0.88f, 0.9f, 0.64f},
    {0.78f, 0.9f, 0.74f},  {0.68f, 0.9f, 0.84f},  {0.58f, 1.0f, 0.44f}, {0.48f, 1.0f, 0.54f},
    {0.38f, 1.0f, 0.64f},  {0.28f, 1.0f, 0.74f},  {0.18f, 1.0f, 0.84f}, {0.08f, 1.0f, 0.94f},
}};

// One end of a stretch of the elevation ramp; channels from 0 to 255.
struct HeightAnchor
{
    float height;
    std::array<int, 3> rgb;
};

// A bathymetric part up to height 0 (light blue at 0 itself) and a hypsometric part that starts
// green just above 0. Height 0 appears twice: once as the top of the water side and once as the
// bottom of the land side. Below the first anchor and above the last the end colours hold.
inline constexpr std::array<HeightAnchor, 11> HeightRamp = {{
    {-1000.0f, {23, 54, 93}},
    {-500.0f, {84, 141, 212}},
    {-200.0f, {141, 179, 226}},
    {0.0f, {198, 217, 241}},
    {0.0f, {118, 146, 60}},
    {100.0f, {194, 214, 155}},
    {200.0f, {253, 233, 217}},
    {500.0f, {251, 212, 180}},
    {1000.0f, {250, 191, 143}},
    {1500.0f, {247, 150, 70}},
    {2000.0f, {227, 108, 10}},
}};

// The index in HeightRamp where the land side begins.
inline constexpr std::size_t kFirstLandAnchor = 4;

Color ClassColor(std::uint8_t value);

// Land stretches are open at the bottom and closed at the top, water stretches closed at the
// bottom and open at the top except the last, which ends at 0 inclusive. NaN, which a damaged
// record can produce, is coloured as height 0; infinities take the end colours.
Color HeightColor(float h);

} // namespace telvora
