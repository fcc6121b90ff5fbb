// Archive decoding against reading the decoded file's positions, on a generated format-3 survey
// of 3 million points packed by the test encoder, with a warm page cache. Each figure is printed
// in points per second, with its ratio to ReadPositions measured in the same run.

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fmt/core.h>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "encoder/ArchiveBuilder.h"
#include "las/LasFile.h"
#include "lcmp/LCMPFile.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace
{

using namespace telvora;

constexpr std::uint32_t kDefaultPoints = 3'000'000;
constexpr const char* kEntryName = "survey.las";

using bench::NullProgress;

struct Fixture
{
    std::string lasPath;
    std::string archivePath;
    std::string folder;
    std::uint32_t points = 0;
    std::uint64_t lasBytes = 0;
    std::uint64_t archiveBytes = 0;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

Fixture& TheFixture()
{
    static const std::unique_ptr<Fixture> fixture = []
    {
        auto owned = std::make_unique<Fixture>();
        Fixture& f = *owned;
        const char* dirVariable = std::getenv("TELVORA_BENCH_DIR");
        const std::filesystem::path dir =
            dirVariable != nullptr ? dirVariable : std::filesystem::temp_directory_path();
        const char* count = std::getenv("TELVORA_BENCH_POINTS");
        lasgen::SurveyOptions options;
        options.format = 3;
        options.points = count != nullptr
                             ? static_cast<std::uint32_t>(std::strtoul(count, nullptr, 10))
                             : kDefaultPoints;
        options.seed = 7;
        f.points = options.points;
        f.lasPath = (dir / fmt::format("telvora-lcmp-bench-{}.las", options.points)).string();
        f.archivePath = (dir / fmt::format("telvora-lcmp-bench-{}.lcmp", options.points)).string();
        f.folder = (dir / "telvora-lcmp-bench-out").string() + "/";
        std::filesystem::create_directories(f.folder);
        // Generated and packed once and kept, so that repeated runs start at once.
        if (!std::filesystem::exists(f.archivePath))
        {
            fmt::print(stderr, "generating {} points into {}\n", options.points, f.lasPath);
            lasgen::WriteSurvey(f.lasPath, options);
            testenc::ArchiveInput input;
            input.name = testenc::ArchiveInput::Name(kEntryName);
            input.lasFile = ReadFileBytes(f.lasPath);
            const std::vector<std::uint8_t> archive = testenc::BuildArchive({input});
            std::ofstream out(f.archivePath, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(archive.data()),
                      static_cast<std::streamsize>(archive.size()));
        }
        f.lasBytes = std::filesystem::file_size(f.lasPath);
        f.archiveBytes = std::filesystem::file_size(f.archivePath);
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
        if (file.DecompressEntry(f.archivePath.c_str(), kEntryName, f.folder.c_str()) !=
            DecompressResult::Complete)
        {
            state.SkipWithError("not complete");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(f.points) * state.iterations());
}

void ReadPositions(benchmark::State& state)
{
    Fixture& f = TheFixture();
    if (!std::filesystem::exists(DecodedPath()))
    {
        LCMPFile file;
        (void)file.DecompressEntry(f.archivePath.c_str(), kEntryName, f.folder.c_str());
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
    state.SetItemsProcessed(static_cast<std::int64_t>(f.points) * state.iterations());
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
               f.points, f.lasBytes, f.archiveBytes, 100.0 * f.archiveBytes / f.lasBytes,
               static_cast<double>(f.lasBytes) / f.archiveBytes);
    const auto positions = reporter.seconds.find("ReadPositions");
    const auto decode = reporter.seconds.find("DecompressEntry");
    if (positions != reporter.seconds.end() && decode != reporter.seconds.end() &&
        decode->second > 0 && positions->second > 0)
    {
        // Adjusted times are in the benchmarks' unit, milliseconds.
        const double decodeRate = f.points / (decode->second / 1000.0);
        const double readRate = f.points / (positions->second / 1000.0);
        fmt::print("DecompressEntry {:>8.2f} M points/s   (target >= 3 M points/s: {})\n",
                   decodeRate / 1e6, decodeRate >= 3e6 ? "met" : "NOT met");
        fmt::print("ReadPositions   {:>8.2f} M points/s\n", readRate / 1e6);
        fmt::print("DecompressEntry {:>8.3f} x ReadPositions of the decoded file\n",
                   decodeRate / readRate);
    }
    std::filesystem::remove(DecodedPath());
    return 0;
}
