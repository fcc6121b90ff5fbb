#pragma once

#include <QColor>
#include <QImage>
#include <cstdlib>

// Colour checks of rendered pictures, for the tests that draw with Qt and OpenGL.
namespace telvora::test
{

// The view's clear colour (0.5, 0.6, 1.0) in 8 bits.
inline const QColor kSkyColour(128, 153, 255);

inline bool NearColour(const QColor& a, const QColor& b, int tolerance = 2)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

inline bool IsSky(const QColor& pixel)
{
    return NearColour(pixel, kSkyColour, 1);
}

// Intensity colours are greys: r = g = b up to rounding.
inline bool IsGrey(const QColor& pixel)
{
    return std::abs(pixel.red() - pixel.green()) <= 1 &&
           std::abs(pixel.green() - pixel.blue()) <= 1;
}

// Pixels of the picture within tolerance of the colour.
inline int CountColour(const QImage& image, const QColor& colour, int tolerance = 2)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
    {
        for (int x = 0; x < image.width(); ++x)
        {
            count += NearColour(image.pixelColor(x, y), colour, tolerance) ? 1 : 0;
        }
    }
    return count;
}

} // namespace telvora::test
