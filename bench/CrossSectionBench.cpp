// Cross sections on the generated survey of 10 million points (warm page cache), each figure next
// to a baseline measured in the same run:
//   - a rebuild of a section of about 100,000 points (tree query, records, profile window), and
//     the records alone, both against one sequential read of as many records;
//   - one paint of the profile with all of them in the plot, against the same baseline;
//   - a pan of 20 steps, each a rebuild and a paint, as a left drag makes them;
//   - reclassifying every point of that section in place, and undoing it, which puts the file's
//     bytes back as they were;
//   - for comparison, the same records read one open per record.
// Needs an OpenGL context for the trees: run it under a display (or xvfb-run).

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <fmt/core.h>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OffscreenGL.h"
#include "cross/ProfileMath.h"
#include "cross/ProfilePainter.h"
#include "cross/ProfileSection.h"
#include "cross/Reclassification.h"
#include "las/LASPoint.h"
#include "las/LasFile.h"
#include "las/PosixFile.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "scene/Preprocess.h"

namespace
{

using namespace telvora;
using bench::Median;
using bench::Seconds;

constexpr int kRepeats = 5;
constexpr std::uint32_t kWanted = 100000;

double MedianOf(int repeats, const std::function<void()>& work)
{
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(repeats));
    for (int r = 0; r < repeats; ++r)
    {
        times.push_back(Seconds(work));
    }
    return Median(times);
}

// The baseline: as many records as the section holds, read front to back in 1 MiB blocks.
void ReadSequentially(const CLasFile& file, std::uint64_t records)
{
    PosixFile in(file.path, PosixFile::Mode::Read);
    const std::uint64_t bytes = records * file.header->pointDataRecordLength;
    std::vector<unsigned char> block(1u << 20);
    volatile unsigned char sink = 0;
    for (std::uint64_t done = 0; done < bytes; done += block.size())
    {
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes - done));
        in.ReadAt(block.data(), size,
                  static_cast<std::int64_t>(file.header->offsetToPointData + done));
        sink = sink + block[0];
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string why = test::StartOffscreenGL(argc, argv);
    if (!why.empty())
    {
        fmt::print(stderr, "cross_bench needs OpenGL: {}\n", why);
        return 1;
    }
    const std::string path = bench::BenchSurveyPath();
    bench::NullProgress status;
    CLasFileSet set(1);
    set.OpenFile(0, path.c_str());
    CPointTree* trees[1] = {nullptr};
    if (!Preprocess(set, trees, status, nullptr, 317).complete)
    {
        fmt::print(stderr, "the survey could not be preprocessed\n");
        return 1;
    }
    const CLasFile& file = set.files[0];

    // A line across the middle, half the survey long; the width is then chosen to collect about
    // kWanted points.
    const float half = (set.bounds.maximum.x - set.bounds.minimum.x) / 4.0f;
    SectionLine line{{-half, 0.0f, 0.0f}, {half, 0.0f, 0.0f}};
    SectionSource source;
    source.set = &set;
    source.trees = trees;
    source.sceneOffset = set.sceneOffset;
    source.line = &line;
    const PlotRect plot = PlotRectFor(1000, 700);
    auto collected = [&](float width)
    {
        const ProfileSection section =
            BuildProfileSection(source, width, plot.Width(), plot.Height(), 0, 0, nullptr);
        return section.points[0].size();
    };
    float width = 0.5f;
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        const std::size_t count = collected(width);
        if (count == 0)
        {
            width *= 4.0f;
            continue;
        }
        width *= static_cast<float>(kWanted) / static_cast<float>(count);
    }

    ProfileSection section;
    const double rebuild = MedianOf(kRepeats,
                                    [&] {
                                        section = BuildProfileSection(source, width, plot.Width(),
                                                                      plot.Height(), 0, 0, nullptr);
                                    });
    const std::vector<std::uint32_t> indices = section.indices[0];
    const std::uint64_t count = indices.size();
    const double sequential = MedianOf(kRepeats, [&] { ReadSequentially(file, count); });
    const double records = MedianOf(kRepeats,
                                    [&] {
                                        file.ReadRecords(indices.data(), indices.size(),
                                                         [](std::size_t, const unsigned char*) {});
                                    });
    const double perRecord = Seconds(
        [&]
        {
            for (std::uint32_t index : indices)
            {
                delete file.ReadPoint(index);
            }
        });

    QImage image(1000, 700, QImage::Format_RGB32);
    const QImage down = MakeArrowImage(true);
    const QImage up = MakeArrowImage(false);
    ProfileScene scene;
    scene.section = &section;
    scene.plot = plot;
    auto paint = [&]
    {
        QPainter painter(&image);
        PaintProfile(painter, image.size(), scene, down, up);
    };
    const double painting = MedianOf(kRepeats, paint);

    std::vector<std::vector<std::uint32_t>> everyPoint(1);
    everyPoint[0].resize(section.points[0].size());
    std::iota(everyPoint[0].begin(), everyPoint[0].end(), 0u);
    std::vector<double> reclassifying;
    std::vector<double> undoing;
    for (int repeat = 0; repeat < kRepeats; ++repeat)
    {
        ClassEdit edit;
        reclassifying.push_back(
            Seconds([&] { edit = ApplyClass(set, section, everyPoint, 7, nullptr); }));
        undoing.push_back(Seconds([&] { WriteEdit(set, section, edit, true, nullptr); }));
    }
    const double reclassify = Median(reclassifying);
    const double undo = Median(undoing);

    // A left drag: 5 pixels a step, the vertical extent kept.
    const double pan = Seconds(
        [&]
        {
            for (int step = 0; step < 20; ++step)
            {
                MoveLineAlong(line, 5.0f / section.window.scale);
                section = BuildProfileSection(source, width, plot.Width(), plot.Height(),
                                              section.window.box.minimum.y,
                                              section.window.box.maximum.y, nullptr);
                paint();
            }
        });

    fmt::print("Survey: {} points, {}\n", file.header->numberOfPointRecords, path);
    fmt::print("Section: {} points, slab {:.2f} m thick, line {:.0f} m\n", count, 2 * width,
               2 * half);
    fmt::print("Sequential read of {} records   {:8.2f} ms   (baseline)\n", count,
               sequential * 1e3);
    fmt::print("BuildSection                      {:8.2f} ms   {:6.1f} x baseline\n", rebuild * 1e3,
               rebuild / sequential);
    fmt::print("  of which ReadRecords            {:8.2f} ms   {:6.1f} x baseline\n", records * 1e3,
               records / sequential);
    fmt::print("Paint of the profile              {:8.2f} ms   {:6.1f} x baseline\n",
               painting * 1e3, painting / sequential);
    fmt::print("Reclassify every point            {:8.2f} ms   {:6.1f} x baseline\n",
               reclassify * 1e3, reclassify / sequential);
    fmt::print("Undo of that                      {:8.2f} ms   {:6.1f} x baseline\n", undo * 1e3,
               undo / sequential);
    fmt::print("Pan of 20 steps (build + paint)   {:8.2f} ms   {:6.1f} ms a step\n", pan * 1e3,
               pan * 1e3 / 20);
    fmt::print("ReadPoint per record (one open each) {:8.2f} ms   {:6.1f} x baseline\n",
               perRecord * 1e3, perRecord / sequential);

    delete trees[0];
    test::StopOffscreenGL();
    return 0;
}
