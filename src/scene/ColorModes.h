#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Notifier.h"
#include "common/StatusServices.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"

namespace telvora
{

// Colours every file of the set by one attribute and writes the colours into the colour half of
// its tree's buffers. mode is one of the View commands ID_VIEW_INTENSITY .. ID_VIEW_COLOR.
// Returns the mode now in effect: mode itself, or currentMode when a file's attribute could not
// be read (the files before it keep their new colours, it and the later ones their old ones); the
// notifier has then been told once which file and why.
// Needs the view's OpenGL context to be current.
int ColorScene(int mode, CLasFileSet& set, CPointTree* const* trees, IStatusServices& status,
               INotifier* notifier, int currentMode);

// The status text shown while a mode runs; empty for an identifier that is not a mode.
const char* ColorModeStatusText(int mode);

// Grey of a value between the smallest and the largest of a file. When every value is the same
// there is no range to spread over, and the records get a middle grey.
struct GreyScale
{
    float min = 0.0f;
    float max = 0.0f;

    float Grey(float v) const
    {
        const float range = max - min;
        return range > 0.0f ? (v - min) / range : kFlatGrey;
    }

    static constexpr float kFlatGrey = 0.5f;
};

GreyScale IntensityScale(const std::uint16_t* intensities, std::size_t n);

// The range of the absolute scan angles in degrees (whole degrees in formats 0 to 5, steps of
// 0.006 degrees in 6 to 10): a left and a right look of the same angle are the same grey.
GreyScale AbsoluteScanAngleScale(const float* degrees, std::size_t n);

// Histogram equalisation: element v is the share of the records whose intensity is at most v,
// up to the file's largest intensity.
std::vector<float> IntensityShares(const std::uint16_t* intensities, std::size_t n);

// Many files keep 8-bit colour values in the 16-bit fields; divided by 65535 they look black.
// True when every channel of every record is at most 255 / 65535.
bool HoldsEightBitColors(const float* colors, std::size_t n);
// Rescales such colours so that 255 is full intensity.
void ExpandEightBitColors(float* colors, std::size_t n);

} // namespace telvora
