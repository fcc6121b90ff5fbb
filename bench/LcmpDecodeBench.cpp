// Archive decoding against reading the decoded file's positions, on a generated format-3 survey
// of 3 million points packed by the test encoder, with a warm page cache. Each figure is printed
// in points per second, with its ratio to ReadPositions measured in the same run.

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fmt/core.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchArchive.h"
#include "las/LasFile.h"
#include "lcmp/LCMPFile.h"

namespace
{

using namespace telvora;

using bench::BenchFolder;
using bench::EnsureSurveyArchive;
using bench::NullProgress;
using bench::SurveyArchive;

constexpr const char* kEntryName = SurveyArchive::kEntryName;

struct Fixture
{
    SurveyArchive archive;
    std::string folder;
};

Fixture& TheFixture()
{
    static const std::unique_ptr<Fixture> fixture = []
    {
        auto owned = std::make_unique<Fixture>();
        owned->archive = EnsureSurveyArchive();
        owned->folder = (BenchFolder() / "telvora-lcmp-bench-out").string() + "/";
        std::filesystem::create_directories(owned->folder);
        return owned;
    }();
    return *fixture;
}

std::string DecodedPath()
{
    return TheFixture().folder + kEntryName;
}

void DecompressEntry(benchmark::State& state)
{
    Fixture& f = TheFixture();
    LCMPFile file;
    for (auto _ : state)
    {
        // Each round replaces the file of the one before.
        if (file.DecompressEntry(f.archive.archivePath.c_str(), kEntryName, f.folder.c_str(),
                                 nullptr, ExistingOutput::Replace) != DecompressResult::Complete)
        {
            state.SkipWithError("not complete");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(f.archive.points) * state.iterations());
}

void ReadPositions(benchmark::State& state)
{
    Fixture& f = TheFixture();
    if (!std::filesystem::exists(DecodedPath()))
    {
        LCMPFile file;
        (void)file.DecompressEntry(f.archive.archivePath.c_str(), kEntryName, f.folder.c_str());
    }
    CLasFile las;
    const std::string path = DecodedPath();
    las.SetPath(path.c_str());
    las.ReadHeader();
    NullProgress progress;
    for (auto _ : state)
    {
        auto positions = las.ReadPositions(&progress, nullptr);
        if (!positions)
        {
            state.SkipWithError("no positions");
            break;
        }
        benchmark::DoNotOptimize(positions.get());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(f.archive.points) * state.iterations());
}

class SecondsReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
        {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!run.error_occurred && median)
            {
                seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv)
{
    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("ReadPositions", ReadPositions)
        ->Unit(ms)
        ->UseRealTime()
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark("DecompressEntry", DecompressEntry)
        ->Unit(ms)
        ->UseRealTime()
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
    {
        return 1;
    }
    SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const Fixture& f = TheFixture();
    fmt::print("\nSurvey: {} points of format 3, {} bytes of LAS; archive {} bytes: compressed "
               "to {:.1f} % ({:.2f} : 1)\n",
               f.archive.points, f.archive.lasBytes, f.archive.archiveBytes,
               100.0 * f.archive.archiveBytes / f.archive.lasBytes,
               static_cast<double>(f.archive.lasBytes) / f.archive.archiveBytes);
    const auto positions = reporter.seconds.find("ReadPositions");
    const auto decode = reporter.seconds.find("DecompressEntry");
    if (positions != reporter.seconds.end() && decode != reporter.seconds.end() &&
        decode->second > 0 && positions->second > 0)
    {
        // Adjusted times are in the benchmarks' unit, milliseconds.
        const double decodeRate = f.archive.points / (decode->second / 1000.0);
        const double readRate = f.archive.points / (positions->second / 1000.0);
        fmt::print("DecompressEntry {:>8.2f} M points/s   (target >= 3 M points/s: {})\n",
                   decodeRate / 1e6, decodeRate >= 3e6 ? "met" : "NOT met");
        fmt::print("ReadPositions   {:>8.2f} M points/s\n", readRate / 1e6);
        fmt::print("DecompressEntry {:>8.3f} x ReadPositions of the decoded file\n",
                   decodeRate / readRate);
    }
    std::filesystem::remove(DecodedPath());
    return 0;
}
