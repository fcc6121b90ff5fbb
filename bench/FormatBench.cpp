// A LAS 1.4 survey of point format 6 against the format-1 survey of the same points (10 million
// unless TELVORA_BENCH_POINTS says otherwise), both with a warm page cache, measured in turns in
// one run: ReadPositions and Preprocess (read, insert, buffers, intensity colours) of the newer
// format as a ratio to the older one (target <= 1.10 each).
// Needs an OpenGL context: run it under a display (or xvfb-run).

#include <cstdlib>
#include <filesystem>
#include <fmt/core.h>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OffscreenGL.h"
#include "SceneGLSupport.h"
#include "las/LasFile.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "scene/Preprocess.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace
{

using namespace telvora;

constexpr int kRepeats = 5;

// The survey of the format, generated on first use and kept for later runs.
std::string SurveyOf(std::uint8_t format, std::uint8_t versionMinor)
{
    const char* count = std::getenv("TELVORA_BENCH_POINTS");
    lasgen::SurveyOptions options;
    options.format = format;
    options.versionMinor = versionMinor;
    options.points = count != nullptr ? static_cast<std::uint32_t>(std::strtoul(count, nullptr, 10))
                                      : 10'000'000;
    options.seed = 7;
    std::string path =
        (bench::BenchFolder() / fmt::format("telvora-bench-f{}-{}.las", format, options.points))
            .string();
    if (!std::filesystem::exists(path))
    {
        fmt::print(stderr, "generating {} points into {}\n", options.points, path);
        lasgen::WriteSurvey(path, options);
    }
    return path;
}

struct Timing
{
    std::vector<double> read;
    std::vector<double> preprocess;
};

void Measure(const std::string& path, Timing& timing)
{
    bench::NullProgress status;
    CLasFile file;
    file.SetPath(path.c_str());
    file.ReadHeader();
    timing.read.push_back(bench::Seconds([&] { (void)file.ReadPositions(&status); }));
    auto set = std::make_unique<CLasFileSet>(1);
    set->OpenFile(0, path.c_str());
    CPointTree* trees[1] = {nullptr};
    timing.preprocess.push_back(bench::Seconds(
        [&]
        {
            Preprocess(*set, trees, status, nullptr, 317);
            test::FinishGL();
        }));
    delete trees[0];
}

} // namespace

int main(int argc, char** argv)
{
    const std::string why = test::StartOffscreenGL(argc, argv);
    if (!why.empty())
    {
        fmt::print(stderr, "format_bench needs OpenGL: {}\n", why);
        return 1;
    }
    const std::string older = SurveyOf(1, 2);
    const std::string newer = SurveyOf(6, 4);
    Timing one;
    Timing six;
    // In turns, so that a busy moment of the machine falls on both alike.
    for (int r = 0; r < kRepeats; ++r)
    {
        Measure(older, one);
        Measure(newer, six);
    }
    const double read1 = bench::Median(one.read);
    const double read6 = bench::Median(six.read);
    const double pre1 = bench::Median(one.preprocess);
    const double pre6 = bench::Median(six.preprocess);
    fmt::print("Format 1 (LAS 1.2): {}\nFormat 6 (LAS 1.4): {}\n", older, newer);
    fmt::print("ReadPositions  format 1 {:8.3f} s (baseline)   format 6 {:8.3f} s   {:5.2f} x "
               "(target <= 1.10)\n",
               read1, read6, read6 / read1);
    fmt::print("Preprocess     format 1 {:8.3f} s (baseline)   format 6 {:8.3f} s   {:5.2f} x "
               "(target <= 1.10)\n",
               pre1, pre6, pre6 / pre1);
    test::StopOffscreenGL();
    return 0;
}
