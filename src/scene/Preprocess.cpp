#include "scene/Preprocess.h"

#include <fmt/format.h>
#include <memory>
#include <string>

#include "common/CommandIds.h"
#include "common/PathHelpers.h"
#include "las/PositionTransform.h"
#include "scene/ColorModes.h"
#include "scene/PointFilter.h"
#include "scene/ReadFailures.h"

namespace telvora
{

int PointStep(std::uint64_t totalPoints)
{
    return totalPoints > kFullDensityPoints ? 3 : 1;
}

namespace
{

// Every record's filter key, and the file's records by class, read before the positions so that
// the two bytes a record costs here never meet the positions' twelve and the tree at once.
std::unique_ptr<PointKey[]> ReadKeys(CLasFile& file, CPointTree& tree, INotifier* notifier)
{
    static_assert(sizeof(PointKey) == sizeof(std::uint16_t));
    std::unique_ptr<std::uint16_t[]> keys = file.ReadClassesAndReturns(nullptr, notifier);
    if (!keys)
    {
        return nullptr;
    }
    const auto n = static_cast<std::size_t>(PointCount(*file.header));
    const unsigned format = file.header->pointDataFormatId;
    for (std::size_t j = 0; j < n; ++j)
    {
        const std::uint8_t code = ClassCodeOf(static_cast<std::uint8_t>(keys[j]), format);
        const unsigned pair = keys[j] >> 8;
        ++tree.classCounts[code];
        keys[j] = MakePointKey(code, ReturnKindOf(pair & 0x0Fu, pair >> 4));
    }
    return keys;
}

bool BuildTree(CLasFile& file, CPointTree& tree, const Vec3d& sceneOffset, int pointStep,
               IStatusServices& status, INotifier* notifier)
{
    const std::unique_ptr<PointKey[]> keys = ReadKeys(file, tree, notifier);
    if (!keys)
    {
        return false;
    }
    auto positions = file.ReadPositions(&status, notifier, sceneOffset);
    if (!positions)
    {
        return false;
    }
    // The header check keeps counts within 32 bits.
    const auto n = static_cast<std::uint32_t>(PointCount(*file.header));
    const std::uint32_t quotient = n / 100 / static_cast<std::uint32_t>(pointStep);
    const std::uint32_t interval = quotient == 0 ? n : quotient;
    int position = status.GetProgressPos();
    std::uint64_t nextMultiple = 0;
    const float* p = positions.get();
    const std::uint32_t step = static_cast<std::uint32_t>(pointStep);
    for (std::uint32_t j = 0; j < n; j += step)
    {
        tree.Insert(p, static_cast<std::int32_t>(j));
        // The progress moves at the multiples of the interval, found without a division per point.
        if (j >= nextMultiple)
        {
            if (j == nextMultiple)
            {
                status.SetProgressPos(++position);
            }
            nextMultiple = (std::uint64_t{j} / interval + 1) * interval;
        }
    }
    tree.CreateBuffers();
    tree.UploadPositions(p);
    // The positions are in the buffers now; freed first, the keys add two bytes a point at most.
    positions.reset();
    tree.SetKeys([&](std::int32_t j) { return keys[static_cast<std::size_t>(j)]; });
    return true;
}

} // namespace

PreprocessResult Preprocess(CLasFileSet& set, CPointTree** trees, IStatusServices& status,
                            INotifier* notifier, int currentColorMode,
                            const PreprocessOptions& options)
{
    CCountingNotifier reported(notifier);
    PreprocessResult result{false, currentColorMode};
    set.ComputeSceneOffset();
    const int pointStep = PointStep(set.totalPoints);
    for (int i = 0; i < set.count; ++i)
    {
        CLasFile& file = set.files[i];
        status.SetProgressPos(0);
        status.SetProgressRange(0, 200);
        const std::string name(FileNameOf(file.path != nullptr ? file.path : ""));
        status.SetStatusText(
            fmt::format("PreProcessing {} file ({} of {})", name, i + 1, set.count));

        delete trees[i];
        trees[i] = nullptr;
        if (file.header == nullptr)
        {
            continue;
        }
        trees[i] = new CPointTree(SceneBoxOf(*file.header, set.sceneOffset));
        if (options.shuffleSeed)
        {
            trees[i]->SetShuffleSeed(*options.shuffleSeed + static_cast<std::uint64_t>(i));
        }
        // One file that cannot be read makes the whole scene wrong (its neighbours would be
        // drawn as if it were empty), so the work ends here.
        if (!BuildTree(file, *trees[i], set.sceneOffset, pointStep, status, &reported))
        {
            ReportUnreadFile(file, reported);
            status.SetProgressPos(0);
            return result;
        }
    }
    // After a load the points show intensities, so the checked colour command says so too.
    result.colorMode =
        ColorScene(ID_VIEW_INTENSITY, set, trees, status, &reported, currentColorMode);
    if (result.colorMode != ID_VIEW_INTENSITY)
    {
        status.SetProgressPos(0);
        return result;
    }
    if (options.homeView)
    {
        options.homeView(set.bounds);
    }
    status.SetProgressPos(0);
    result.complete = true;
    return result;
}

} // namespace telvora
