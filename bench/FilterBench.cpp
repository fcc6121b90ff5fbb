// Class and return filters on the shared 10-million-point survey (warm page cache), each figure
// next to a baseline measured in the same run:
//   - what the filter's keys cost preprocessing (reading classes and returns, keeping a key per
//     stored point), against preprocessing as a whole;
//   - hiding and showing one class, against one frame of the whole survey;
//   - a frame with a filter against a frame without one drawing about as many points.
// Needs an OpenGL context: run it under a display (or xvfb-run).

#include <algorithm>
#include <fmt/core.h>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OffscreenGL.h"
#include "SceneGLSupport.h"
#include "las/LasFile.h"
#include "scene/LasFileSet.h"
#include "scene/PointFilter.h"
#include "scene/PointTree.h"
#include "scene/Preprocess.h"
#include "scene/TreeDrawing.h"

namespace
{

using namespace telvora;

constexpr int kRepeats = 5;

double Frame(const CPointTree& tree, float share, std::int64_t& drawn)
{
    drawn = 0;
    return bench::Seconds(
        [&]
        {
            Draw(tree, nullptr, 0.0, false, drawn, share);
            test::FinishGL();
        });
}

} // namespace

int main(int argc, char** argv)
{
    const std::string why = test::StartOffscreenGL(argc, argv);
    if (!why.empty())
    {
        fmt::print(stderr, "filter_bench needs OpenGL: {}\n", why);
        return 1;
    }
    const std::string path = bench::BenchSurveyPath();
    bench::NullProgress status;
    auto set = std::make_unique<CLasFileSet>(1);
    set->OpenFile(0, path.c_str());
    CPointTree* trees[1] = {nullptr};
    std::vector<double> preprocess;
    preprocess.reserve(3);
    for (int r = 0; r < 3; ++r)
    {
        delete trees[0];
        trees[0] = nullptr;
        preprocess.push_back(bench::Seconds(
            [&]
            {
                Preprocess(*set, trees, status, nullptr, 317);
                test::FinishGL();
            }));
    }
    CPointTree& tree = *trees[0];
    const CLasFile& file = set->files[0];
    // The filter's own share of preprocessing, step by step as it does them.
    std::vector<double> keyTimes;
    keyTimes.reserve(3);
    for (int r = 0; r < 3; ++r)
    {
        keyTimes.push_back(bench::Seconds(
            [&]
            {
                (void)file.ReadClassesAndReturns(nullptr);
                tree.SetKeys([](std::int32_t j) { return static_cast<PointKey>(j & 0x1F); });
            }));
    }
    const double whole = bench::Median(preprocess);
    const double keys = bench::Median(keyTimes);
    std::uint64_t stored = 0;
    tree.ForEachNode([&](const CPointNode& node) { stored += node.IsLeaf() ? node.count : 0; });
    fmt::print("Survey: {} ({} points stored)\n", path, stored);
    fmt::print("Preprocess {:8.3f} s, of which filter keys {:6.3f} s: {:5.2f} x without them "
               "(target <= 1.10); keys kept: 2 bytes per stored point (target <= 2)\n",
               whole, keys, whole / (whole - keys));

    // Hiding the most common class and showing it again, against a frame of everything.
    std::uint8_t common = 0;
    for (int code = 0; code < 256; ++code)
    {
        common = tree.classCounts[code] > tree.classCounts[common] ? static_cast<std::uint8_t>(code)
                                                                   : common;
    }
    // The keys were overwritten above; preprocessing sets them again.
    delete trees[0];
    trees[0] = nullptr;
    Preprocess(*set, trees, status, nullptr, 317);
    CPointTree& filtered = *trees[0];
    test::OffscreenTarget target(1024, 768);
    test::LookAt({0, 0, 3000}, {0, 0, 0}, 45, 4.0f / 3.0f, 10.0f, 10000.0f);
    std::int64_t all = 0;
    std::vector<double> frames;
    std::vector<double> hides;
    std::vector<double> shows;
    frames.reserve(kRepeats);
    hides.reserve(kRepeats);
    shows.reserve(kRepeats);
    PointFilter filter;
    filter.hiddenClasses.set(common);
    for (int r = 0; r < kRepeats; ++r)
    {
        frames.push_back(Frame(filtered, 1.0f, all));
        hides.push_back(bench::Seconds(
            [&]
            {
                filtered.ApplyFilter(&filter);
                test::FinishGL();
            }));
        shows.push_back(bench::Seconds(
            [&]
            {
                filtered.ApplyFilter(nullptr);
                test::FinishGL();
            }));
    }
    const double frame = bench::Median(frames);
    fmt::print("One frame of {} points {:8.3f} s (baseline); hiding class {} {:6.3f} s, showing "
               "it {:6.3f} s beside it (target <= 0.100 s)\n",
               all, frame, common, bench::Median(hides), bench::Median(shows));

    // A filtered frame against an unfiltered one drawing about as many points.
    filtered.ApplyFilter(&filter);
    std::int64_t shown = 0;
    std::vector<double> withFilter;
    std::vector<double> without;
    withFilter.reserve(kRepeats);
    without.reserve(kRepeats);
    std::int64_t sampled = 0;
    for (int r = 0; r < kRepeats; ++r)
    {
        withFilter.push_back(Frame(filtered, 1.0f, shown));
    }
    filtered.ApplyFilter(nullptr);
    const float share =
        static_cast<float>(shown) / static_cast<float>(std::max<std::int64_t>(1, all));
    for (int r = 0; r < kRepeats; ++r)
    {
        without.push_back(Frame(filtered, share, sampled));
    }
    fmt::print("Frame with the filter {:8.3f} s ({} points), without {:8.3f} s ({} points): "
               "{:5.2f} x (target <= 1.0 at equal points)\n",
               bench::Median(withFilter), shown, bench::Median(without), sampled,
               bench::Median(withFilter) / bench::Median(without));
    delete trees[0];
    test::StopOffscreenGL();
    return 0;
}
