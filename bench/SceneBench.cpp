// The point scene on a generated survey of 10 million points (warm page cache), each figure next
// to a baseline measured in the same run:
//   - Insert throughput, against ReadPositions of the same file;
//   - Preprocess (read, insert, buffers, intensity colours) against ReadPositions alone, with the
//     peak resident memory while it runs and the tree's CPU-side memory after it;
//   - Draw of 5 million points spread over the leaves against one glDrawArrays of the same points
//     from a single buffer.
// Needs an OpenGL context: run it under a display (or xvfb-run).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/core.h>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OffscreenGL.h"
#include "SceneGLSupport.h"
#include "las/LasFile.h"
#include "las/PositionTransform.h"
#include "scene/ColorModes.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "scene/Preprocess.h"
#include "scene/TreeDrawing.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace
{

using namespace telvora;

constexpr int kRepeats = 3;

using bench::NullProgress;

using bench::Median;
using bench::Seconds;

// Resident set now and its peak since the last reset, in bytes.
std::uint64_t StatusValue(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind(key, 0) == 0)
        {
            return std::strtoull(line.c_str() + std::string(key).size(), nullptr, 10) * 1024;
        }
    }
    return 0;
}

void ResetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The file's positions shifted into scene coordinates, with its box there.
struct ScenePoints
{
    std::unique_ptr<float[]> positions;
    CBoundingBox box;
};

ScenePoints ReadScenePoints(const std::string& path, IStatusServices& status)
{
    CLasFileSet set(1);
    set.OpenFile(0, path.c_str());
    set.ComputeSceneOffset();
    const CLasFile& file = set.files[0];
    return {file.ReadPositions(&status, nullptr, set.sceneOffset),
            SceneBoxOf(*file.header, set.sceneOffset)};
}

struct TreeMemory
{
    std::uint64_t nodes = 0;
    std::uint64_t indexBytes = 0;
    std::uint64_t stored = 0;
};

TreeMemory MeasureTree(const CPointTree& tree)
{
    TreeMemory memory;
    memory.nodes = tree.cellCount;
    tree.ForEachNode(
        [&](const CPointNode& node)
        {
            memory.nodes += node.IsLeaf() ? 0 : 4;
            memory.indexBytes += 4ull * node.capacity;
            memory.stored += node.count;
        });
    return memory;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string why = test::StartOffscreenGL(argc, argv);
    if (!why.empty())
    {
        fmt::print(stderr, "scene_bench needs OpenGL: {}\n", why);
        return 1;
    }
    const std::string path = bench::BenchSurveyPath();
    CLasFile file;
    file.SetPath(path.c_str());
    file.ReadHeader();
    const std::uint32_t n = file.header->numberOfPointRecords;
    NullProgress status;

    // Baseline: the reader alone.
    std::vector<double> readTimes;
    readTimes.reserve(kRepeats);
    for (int r = 0; r < kRepeats; ++r)
    {
        readTimes.push_back(Seconds([&] { (void)file.ReadPositions(&status); }));
    }
    const double read = Median(readTimes);
    fmt::print("Survey: {} points, {}\n", n, path);
    fmt::print("ReadPositions                {:8.3f} s   {:7.1f} M points/s   (baseline)\n", read,
               n / read / 1e6);

    // Insertion alone, on positions already shifted into scene coordinates.
    {
        const ScenePoints scene = ReadScenePoints(path, status);
        const CBoundingBox& box = scene.box;
        const float* const positions = scene.positions.get();
        std::vector<double> times;
        for (int r = 0; r < kRepeats; ++r)
        {
            CPointTree tree(box);
            times.push_back(Seconds(
                [&]
                {
                    for (std::uint32_t j = 0; j < n; ++j)
                    {
                        tree.Insert(positions, static_cast<std::int32_t>(j));
                    }
                }));
        }
        const double insert = Median(times);
        fmt::print("Insert                       {:8.3f} s   {:7.1f} M points/s   (target >= 10)\n",
                   insert, n / insert / 1e6);
    }

    // Preprocessing, with its memory.
    {
        std::vector<double> times;
        double peakPerPoint = 0.0;
        TreeMemory memory;
        for (int r = 0; r < kRepeats; ++r)
        {
            auto set = std::make_unique<CLasFileSet>(1);
            set->OpenFile(0, path.c_str());
            CPointTree* trees[1] = {nullptr};
            const std::uint64_t before = StatusValue("VmRSS:");
            ResetPeakResident();
            times.push_back(Seconds(
                [&]
                {
                    Preprocess(*set, trees, status, nullptr, 317);
                    test::FinishGL();
                }));
            const std::uint64_t peak = StatusValue("VmHWM:");
            peakPerPoint = std::max(peakPerPoint, static_cast<double>(peak - before) / n);
            memory = MeasureTree(*trees[0]);
            delete trees[0];
        }
        const double preprocess = Median(times);
        // Where the time goes: the same steps one by one.
        {
            CLasFileSet set(1);
            set.OpenFile(0, path.c_str());
            set.ComputeSceneOffset();
            const CBoundingBox box = SceneBoxOf(*file.header, set.sceneOffset);
            std::unique_ptr<float[]> positions;
            const double tRead =
                Seconds([&] { positions = file.ReadPositions(&status, nullptr, set.sceneOffset); });
            CPointTree* trees[1] = {new CPointTree(box)};
            const double tInsert = Seconds(
                [&]
                {
                    for (std::uint32_t j = 0; j < n; ++j)
                    {
                        trees[0]->Insert(positions.get(), static_cast<std::int32_t>(j));
                    }
                });
            const double tCreate = Seconds(
                [&]
                {
                    trees[0]->CreateBuffers();
                    test::FinishGL();
                });
            const double tUpload = Seconds(
                [&]
                {
                    trees[0]->UploadPositions(positions.get());
                    test::FinishGL();
                });
            positions.reset();
            const double tColour = Seconds(
                [&]
                {
                    ColorScene(317, set, trees, status, nullptr, 317);
                    test::FinishGL();
                });
            fmt::print("  phases: read {:.3f} s, insert {:.3f} s, shuffle and create "
                       "buffers {:.3f} s, upload positions {:.3f} s, intensity colours {:.3f} s\n",
                       tRead, tInsert, tCreate, tUpload, tColour);
            delete trees[0];
        }
        fmt::print(
            "Preprocess                   {:8.3f} s   {:7.2f} x ReadPositions (target <= 6)\n",
            preprocess, preprocess / read);
        fmt::print("  peak resident growth        {:8.1f} bytes per point    (target <= 48)\n",
                   peakPerPoint);
        fmt::print("  tree after: {} nodes x {} bytes, index arrays {:.2f} bytes per stored point "
                   "(target <= 5)\n",
                   memory.nodes, sizeof(CPointNode),
                   static_cast<double>(memory.indexBytes) / static_cast<double>(memory.stored));
    }

    // Drawing 5 million points: leaves of the tree against one buffer holding the same points in
    // the same order.
    {
        const std::uint32_t drawn = std::min<std::uint32_t>(n, 5'000'000);
        const ScenePoints scene = ReadScenePoints(path, status);
        const CBoundingBox& box = scene.box;
        const float* const positions = scene.positions.get();
        // Every other record over the whole survey, so that the points spread over every leaf.
        CPointTree tree(box);
        for (std::uint32_t j = 0; j < 2 * drawn && j < n; j += 2)
        {
            tree.Insert(positions, static_cast<std::int32_t>(j));
        }
        tree.CreateBuffers();
        tree.UploadPositions(positions);
        std::vector<float> colors(3 * std::size_t{n}, 0.8f);
        tree.UploadColors(colors.data());
        std::vector<float> ordered;
        std::size_t leaves = 0;
        tree.ForEachNode(
            [&](const CPointNode& node)
            {
                for (std::uint32_t k = 0; k < node.count; ++k)
                {
                    const float* p = positions + 3 * std::size_t(node.indices[k]);
                    ordered.insert(ordered.end(), p, p + 3);
                }
                leaves += node.count > 0 ? 1 : 0;
            });
        const std::size_t count = ordered.size() / 3;
        test::SingleBuffer single(ordered.data(), colors.data(), count);
        test::OffscreenTarget target(1280, 1024);
        const float extent = std::max(box.maximum.x - box.minimum.x, box.maximum.y - box.minimum.y);
        const Vec3 eye{0.0f, -0.9f * extent, 0.9f * extent};
        std::vector<double> treeTimes;
        std::vector<double> singleTimes;
        std::int64_t counted = 0;
        for (int r = 0; r < kRepeats; ++r)
        {
            test::LookAt(eye, {0, 0, 0}, 45.0f, 1.25f, 0.1f, 60000.0f);
            test::FinishGL();
            singleTimes.push_back(Seconds(
                [&]
                {
                    single.Draw();
                    test::FinishGL();
                }));
            test::LookAt(eye, {0, 0, 0}, 45.0f, 1.25f, 0.1f, 60000.0f);
            test::FinishGL();
            counted = 0;
            treeTimes.push_back(Seconds(
                [&]
                {
                    Draw(tree, nullptr, 0.0, false, counted);
                    test::FinishGL();
                }));
        }
        const double one = Median(singleTimes);
        const double many = Median(treeTimes);
        fmt::print("glDrawArrays, one buffer     {:8.3f} s   {} points        (baseline)\n", one,
                   count);
        fmt::print("Draw, {} leaves            {:8.3f} s   {} points   {:5.2f} x baseline "
                   "(target <= 1.3)\n",
                   leaves, many, counted, many / one);
    }
    test::StopOffscreenGL();
    return 0;
}
