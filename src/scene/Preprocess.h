#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "common/Geometry.h"
#include "common/Notifier.h"
#include "common/StatusServices.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"

namespace telvora
{

struct PreprocessOptions
{
    // Puts the camera at its home position over the set's bounds, once everything is built.
    std::function<void(const CBoundingBox& bounds)> homeView;
    // Fixes the order of the points in the leaves, for tests; the clock seeds it otherwise.
    std::optional<std::uint64_t> shuffleSeed;
};

// Above this many points in the whole set, only every third record of every file is drawn.
constexpr std::uint64_t kFullDensityPoints = 10000000;

// Record step of the trees for a set of this many points: 1, or 3 above kFullDensityPoints.
int PointStep(std::uint64_t totalPoints);

struct PreprocessResult
{
    // False when a file's points could not be read (it vanished or changed since it was opened):
    // the work stopped there, after one message naming the file, and the scene is unusable.
    bool complete = false;
    // The colour mode the buffers now show.
    int colorMode = 0;
};

// Turns an opened set into drawable trees: fixes the scene offset, and for every file builds a
// tree over its box, reads and inserts its positions, creates and fills the buffers; then colours
// by intensity and sets the home view. trees has one entry per file and receives new trees.
// Needs the view's OpenGL context to be current.
PreprocessResult Preprocess(CLasFileSet& set, CPointTree** trees, IStatusServices& status,
                            INotifier* notifier, int currentColorMode,
                            const PreprocessOptions& options = {});

} // namespace telvora
