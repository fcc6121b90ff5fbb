#include "scene/ColorModes.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "common/CommandIds.h"
#include "scene/Palettes.h"
#include "scene/ReadFailures.h"

namespace telvora
{

const char* ColorModeStatusText(int mode)
{
    switch (mode)
    {
    case ID_VIEW_INTENSITY:
        return "Generating colors depending on intensity";
    case ID_VIEW_HISTOGRAM:
        return "Generating colors depending on normalized intensity";
    case ID_VIEW_CLASSIFICATION:
        return "Generating colors depending on classification";
    case ID_VIEW_SCANANGLERANK:
        return "Generating colors depending on scan angle rank";
    case ID_VIEW_RETURNNUMBER:
        return "Generating colors depending on return number";
    case ID_VIEW_HEIGHT:
        return "Generating colors depending on heights";
    case ID_VIEW_FILES:
        return "Generating colors depending on files loaded";
    case ID_VIEW_COLOR:
        return "Generating colors depending on RGB values";
    default:
        return "";
    }
}

GreyScale IntensityScale(const std::uint16_t* intensities, std::size_t n)
{
    GreyScale scale{65535.0f, 0.0f};
    for (std::size_t j = 0; j < n; ++j)
    {
        const float v = intensities[j];
        if (v > scale.max)
        {
            scale.max = v;
        }
        if (v <= scale.min)
        {
            scale.min = v;
        }
    }
    return scale;
}

GreyScale AbsoluteScanAngleScale(const float* degrees, std::size_t n)
{
    GreyScale scale{127.0f, 0.0f};
    for (std::size_t j = 0; j < n; ++j)
    {
        const float a = std::fabs(degrees[j]);
        if (a > scale.max)
        {
            scale.max = a;
        }
        if (a <= scale.min)
        {
            scale.min = a;
        }
    }
    return scale;
}

std::vector<float> IntensityShares(const std::uint16_t* intensities, std::size_t n)
{
    std::uint16_t largest = 0;
    for (std::size_t j = 0; j < n; ++j)
    {
        largest = intensities[j] > largest ? intensities[j] : largest;
    }
    // Whole-number counters: float counters stop counting at 2^24 records of one value.
    std::vector<std::uint64_t> counts(static_cast<std::size_t>(largest) + 1, 0);
    for (std::size_t j = 0; j < n; ++j)
    {
        ++counts[intensities[j]];
    }
    std::vector<float> shares(counts.size(), 0.0f);
    std::uint64_t atMost = 0;
    for (std::size_t v = 0; v < counts.size(); ++v)
    {
        atMost += counts[v];
        shares[v] =
            n > 0 ? static_cast<float>(static_cast<double>(atMost) / static_cast<double>(n)) : 0.0f;
    }
    return shares;
}

bool HoldsEightBitColors(const float* colors, std::size_t n)
{
    for (std::size_t k = 0; k < 3 * n; ++k)
    {
        // Compared as whole numbers: the reader's quotient for 255 may differ from 255.0f /
        // 65535.0f in the last bit.
        if (!(colors[k] * 65535.0f <= 255.5f))
        {
            return false;
        }
    }
    return true;
}

void ExpandEightBitColors(float* colors, std::size_t n)
{
    for (std::size_t k = 0; k < 3 * n; ++k)
    {
        // Back to the stored whole number first, so that 255 becomes exactly 1.
        colors[k] = std::round(colors[k] * 65535.0f) / 255.0f;
    }
}

namespace
{

// Colours the points the tree stores, leaf by leaf, straight from the attribute: a colour array
// for every record of the file would cost 12 bytes per record and another pass over memory.
// The progress bar moves once per hundredth of the stored points, from where the reader left it.
template <typename ColourOf>
void ColourStoredPoints(CPointTree* tree, IStatusServices& status, ColourOf&& colourOf)
{
    if (tree == nullptr)
    {
        return;
    }
    const int start = status.GetProgressPos();
    std::uint64_t shown = 0;
    tree->UploadColorsWith(colourOf,
                           [&](std::uint64_t done, std::uint64_t total)
                           {
                               const std::uint64_t reached = done * 100 / total + 1;
                               if (reached > shown)
                               {
                                   shown = reached;
                                   status.SetProgressPos(start + static_cast<int>(shown));
                               }
                           });
}

void SetGrey(float* rgb, float grey)
{
    rgb[0] = grey;
    rgb[1] = grey;
    rgb[2] = grey;
}

void SetColor(float* rgb, const Color& color)
{
    rgb[0] = color[0];
    rgb[1] = color[1];
    rgb[2] = color[2];
}

// Colours one file. False when its attribute could not be read.
bool ColorFile(int mode, CLasFile& file, int fileIndex, CPointTree* tree, IStatusServices& status,
               INotifier* notifier)
{
    const auto n =
        static_cast<std::uint32_t>(file.header != nullptr ? PointCount(*file.header) : 0);
    switch (mode)
    {
    case ID_VIEW_INTENSITY:
    case ID_VIEW_HISTOGRAM:
    {
        auto values = file.ReadIntensities(&status, notifier);
        if (!values)
        {
            return false;
        }
        if (mode == ID_VIEW_INTENSITY)
        {
            const GreyScale scale = IntensityScale(values.get(), n);
            ColourStoredPoints(tree, status,
                               [&](std::int32_t j, float* rgb)
                               { SetGrey(rgb, scale.Grey(values[j])); });
        }
        else
        {
            const std::vector<float> shares = IntensityShares(values.get(), n);
            ColourStoredPoints(
                tree, status, [&](std::int32_t j, float* rgb) { SetGrey(rgb, shares[values[j]]); });
        }
        return true;
    }
    case ID_VIEW_CLASSIFICATION:
    case ID_VIEW_RETURNNUMBER:
    {
        auto values = mode == ID_VIEW_CLASSIFICATION ? file.ReadClassifications(&status, notifier)
                                                     : file.ReadReturnNumbers(&status, notifier);
        if (!values)
        {
            return false;
        }
        ColourStoredPoints(tree, status,
                           [&](std::int32_t j, float* rgb)
                           { SetColor(rgb, ClassColor(values[j])); });
        return true;
    }
    case ID_VIEW_SCANANGLERANK:
    {
        auto values = file.ReadScanAngles(&status, notifier);
        if (!values)
        {
            return false;
        }
        const GreyScale scale = AbsoluteScanAngleScale(values.get(), n);
        ColourStoredPoints(tree, status,
                           [&](std::int32_t j, float* rgb)
                           { SetGrey(rgb, scale.Grey(std::fabs(values[j]))); });
        return true;
    }
    case ID_VIEW_HEIGHT:
    {
        auto positions = file.ReadPositions(&status, notifier);
        if (!positions)
        {
            return false;
        }
        ColourStoredPoints(
            tree, status,
            [&](std::int32_t j, float* rgb)
            { SetColor(rgb, HeightColor(positions[3 * static_cast<std::size_t>(j) + 2])); });
        return true;
    }
    case ID_VIEW_FILES:
    {
        const Color color =
            ClassColor(static_cast<std::uint8_t>(fileIndex > 255 ? 255 : fileIndex));
        ColourStoredPoints(tree, status, [&](std::int32_t, float* rgb) { SetColor(rgb, color); });
        return true;
    }
    case ID_VIEW_COLOR:
    {
        // The reader's array already holds the colours of every record.
        std::unique_ptr<float[]> colors = file.ReadColors(&status, notifier);
        if (!colors)
        {
            return false;
        }
        if (HoldsEightBitColors(colors.get(), n))
        {
            ExpandEightBitColors(colors.get(), n);
        }
        if (tree != nullptr && n > 0)
        {
            tree->UploadColors(colors.get());
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace

int ColorScene(int mode, CLasFileSet& set, CPointTree* const* trees, IStatusServices& status,
               INotifier* notifier, int currentMode)
{
    status.SetStatusText(ColorModeStatusText(mode));
    status.SetProgressPos(0);
    const int perFile = mode == ID_VIEW_COLOR ? 100 : 200;
    status.SetProgressRange(0, perFile * set.count);
    CCountingNotifier reported(notifier);
    for (int i = 0; i < set.count; ++i)
    {
        if (!ColorFile(mode, set.files[i], i, trees != nullptr ? trees[i] : nullptr, status,
                       &reported))
        {
            ReportUnreadFile(set.files[i], reported);
            return currentMode;
        }
    }
    return mode;
}

} // namespace telvora
