#include "scene/Palettes.h"

#include <cmath>

namespace telvora
{

namespace
{

// Channels are cut to whole 8-bit steps before scaling, so every colour of the ramp is one an
// 8-bit display shows exactly and the anchors themselves come out unchanged.
Color Blend(const HeightAnchor& low, const HeightAnchor& high, float h)
{
    const float t = (h - low.height) / (high.height - low.height);
    Color color{};
    for (std::size_t c = 0; c < color.size(); ++c)
    {
        const float value =
            static_cast<float>(low.rgb[c]) + t * static_cast<float>(high.rgb[c] - low.rgb[c]);
        color[c] = static_cast<float>(static_cast<int>(value)) / 255.0f;
    }
    return color;
}

Color AnchorColor(const HeightAnchor& anchor)
{
    return {static_cast<float>(anchor.rgb[0]) / 255.0f, static_cast<float>(anchor.rgb[1]) / 255.0f,
            static_cast<float>(anchor.rgb[2]) / 255.0f};
}

} // namespace

Color ClassColor(std::uint8_t value)
{
    if (value < ClassPalette.size())
    {
        return ClassPalette[value];
    }
    return {0.0f, 0.0f, 0.0f};
}

Color HeightColor(float h)
{
    if (std::isnan(h))
    {
        h = 0.0f;
    }

    if (h > 0.0f)
    {
        if (h > HeightRamp.back().height)
        {
            return AnchorColor(HeightRamp.back());
        }
        std::size_t upper = kFirstLandAnchor + 1;
        while (h > HeightRamp[upper].height)
        {
            ++upper;
        }
        return Blend(HeightRamp[upper - 1], HeightRamp[upper], h);
    }

    if (h < HeightRamp.front().height)
    {
        return AnchorColor(HeightRamp.front());
    }
    std::size_t lower = kFirstLandAnchor - 2;
    while (h < HeightRamp[lower].height)
    {
        --lower;
    }
    return Blend(HeightRamp[lower], HeightRamp[lower + 1], h);
}

} // namespace telvora
