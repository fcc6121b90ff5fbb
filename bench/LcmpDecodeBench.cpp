// Archive decoding, archive to finished LAS file, on four generated surveys of 3 million points
// packed by the test encoder: dense forest (many returns per pulse), open flat land, narrow
// overlapping strips (a GPS Time jump at every turn) and the mixed landscape in format 1. For
// each: DecompressEntry in this process, `telvora-lcmp extract` as a process, the same pinned to
// one core (by taskset: the decoder then keeps to one thread, as on a one-core machine) and, when
// TELVORA_LCMP_BASELINE names an earlier build of telvora-lcmp, that one too, next to
// ReadPositions of the decoded file. Rounds alternate between them, so that all see the same
// machine; medians are printed in points per second, with ratios. Run with
//   build/bench/lcmp_bench [rounds]
// Each round replaces its own output, so the bench may run again at once.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fmt/core.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "BenchArchive.h"
#include "las/LasFile.h"
#include "lcmp/LCMPFile.h"

extern char** environ;

namespace
{

using namespace telvora;

constexpr double kTargetRate = 3e6;
constexpr const char* kTaskset = "/usr/bin/taskset";
constexpr double kTargetSpeedup = 2.0;

// Exit status of the program run with the arguments, -1 when it could not be run.
int Run(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
    {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
    {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
    {
        return -1;
    }
    return WEXITSTATUS(status);
}

struct Timings
{
    std::vector<double> decompress;
    std::vector<double> extract;
    std::vector<double> oneCore;
    std::vector<double> baseline;
    std::vector<double> positions;
};

double Rate(std::uint32_t points, const std::vector<double>& seconds)
{
    return seconds.empty() ? 0.0 : points / bench::Median(seconds);
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const char* baselineTool = std::getenv("TELVORA_LCMP_BASELINE");
    const bool pin = std::filesystem::exists(kTaskset);
    const std::vector<bench::SurveyKind> kinds = {
        {"forest", 3, lasgen::LandCover::Forest, 450.0},
        {"open", 3, lasgen::LandCover::Open, 450.0},
        {"strips", 3, lasgen::LandCover::Mixed, 100.0},
        {"format1", 1, lasgen::LandCover::Mixed, 450.0},
    };
    std::vector<bench::SurveyArchive> archives;
    archives.reserve(kinds.size());
    for (const bench::SurveyKind& kind : kinds)
    {
        archives.push_back(bench::EnsureSurveyArchive(kind));
    }
    const std::filesystem::path folder = bench::BenchFolder() / "telvora-lcmp-bench-out";
    std::filesystem::create_directories(folder);
    const std::string into = folder.string();
    const std::string output = (folder / bench::SurveyArchive::kEntryName).string();
    const char* name = bench::SurveyArchive::kEntryName;

    std::vector<Timings> timings(kinds.size());
    for (int round = 0; round < rounds; ++round)
    {
        for (std::size_t s = 0; s < kinds.size(); ++s)
        {
            const bench::SurveyArchive& archive = archives[s];
            Timings& t = timings[s];
            const std::vector<std::string> extractArguments = {
                "extract", archive.archivePath, name, "--into", into, "--force"};
            if (baselineTool != nullptr)
            {
                int status = -1;
                t.baseline.push_back(
                    bench::Seconds([&] { status = Run(baselineTool, extractArguments); }));
                if (status != 0)
                {
                    fmt::print(stderr, "{} extract failed with status {}\n", baselineTool, status);
                    return 1;
                }
            }
            int status = -1;
            t.extract.push_back(
                bench::Seconds([&] { status = Run(TELVORA_LCMP_CLI, extractArguments); }));
            if (status != 0)
            {
                fmt::print(stderr, "telvora-lcmp extract failed with status {}\n", status);
                return 1;
            }
            if (pin)
            {
                std::vector<std::string> pinned = {"-c", "0", TELVORA_LCMP_CLI};
                pinned.insert(pinned.end(), extractArguments.begin(), extractArguments.end());
                t.oneCore.push_back(bench::Seconds([&] { status = Run(kTaskset, pinned); }));
                if (status != 0)
                {
                    fmt::print(stderr, "telvora-lcmp extract on one core failed with status {}\n",
                               status);
                    return 1;
                }
            }
            DecompressResult result = DecompressResult::Cancelled;
            t.decompress.push_back(bench::Seconds(
                [&]
                {
                    LCMPFile file;
                    result = file.DecompressEntry(archive.archivePath.c_str(), name, into.c_str(),
                                                  nullptr, ExistingOutput::Replace);
                }));
            if (result != DecompressResult::Complete)
            {
                fmt::print(stderr, "DecompressEntry did not complete {}\n", archive.archivePath);
                return 1;
            }
            CLasFile las;
            las.SetPath(output.c_str());
            las.ReadHeader();
            bench::NullProgress progress;
            bool read = false;
            t.positions.push_back(bench::Seconds(
                [&] { read = static_cast<bool>(las.ReadPositions(&progress, nullptr)); }));
            if (!read)
            {
                fmt::print(stderr, "no positions read from {}\n", output);
                return 1;
            }
        }
    }
    std::filesystem::remove(output);

    fmt::print("\nMillions of points per second, medians of {} rounds{}\n", rounds,
               baselineTool != nullptr ? fmt::format("; baseline: {}", baselineTool) : "");
    fmt::print("{:<9} {:>6} {:>7} {:>10} {:>8} {:>8} {:>9} {:>8} {:>10} {:>10}\n", "survey",
               "format", "ratio", "Decompress", "extract", "1 core", "baseline", "speedup",
               "ReadPos", "dec/read");
    bool allFast = true;
    bool target = true;
    for (std::size_t s = 0; s < kinds.size(); ++s)
    {
        const bench::SurveyArchive& archive = archives[s];
        const Timings& t = timings[s];
        const double decompress = Rate(archive.points, t.decompress);
        const double extract = Rate(archive.points, t.extract);
        const double oneCore = Rate(archive.points, t.oneCore);
        const double baseline = Rate(archive.points, t.baseline);
        const double positions = Rate(archive.points, t.positions);
        const double speedup = baseline > 0 ? extract / baseline : 0.0;
        allFast = allFast && speedup >= kTargetSpeedup;
        target = target && (kinds[s].format != 3 || extract >= kTargetRate);
        fmt::print("{:<9} {:>6} {:>6.1f}% {:>10.2f} {:>8.2f} {:>8.2f} {:>9.2f} {:>7.2f}x {:>10.2f} "
                   "{:>10.3f}\n",
                   kinds[s].name, kinds[s].format,
                   100.0 * static_cast<double>(archive.archiveBytes) /
                       static_cast<double>(archive.lasBytes),
                   decompress / 1e6, extract / 1e6, oneCore / 1e6, baseline / 1e6, speedup,
                   positions / 1e6, decompress / positions);
    }
    if (baselineTool != nullptr)
    {
        fmt::print("extract at least {:.0f}x the baseline on every survey: {}\n", kTargetSpeedup,
                   allFast ? "met" : "NOT met");
    }
    fmt::print("extract at least {:.0f} M points/s on the format-3 surveys: {}\n",
               kTargetRate / 1e6, target ? "met" : "NOT met");
    return 0;
}
