// Bulk attribute readers and the record writer against plain sequential read() and write() of the
// same bytes in 1 MiB blocks, on a generated survey of 10 million points with a warm page cache.
// Each figure is printed with its ratio to the baseline measured in the same run.

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fmt/core.h>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchSupport.h"
#include "las/LasFile.h"
#include "las/LasIo.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace
{

using namespace telvora;

constexpr std::size_t kBlock = 1u << 20;

using bench::NullProgress;

struct Survey
{
    std::string path;
    std::string outPath;
    CLasFile file;
    std::uint64_t pointBytes = 0;
};

Survey& TheSurvey()
{
    static const std::unique_ptr<Survey> survey = []
    {
        auto owned = std::make_unique<Survey>();
        Survey& s = *owned;
        s.path = bench::BenchSurveyPath();
        s.outPath = (bench::BenchFolder() / "telvora-bench-out.las").string();
        s.file.SetPath(s.path.c_str());
        s.file.ReadHeader();
        s.pointBytes = std::uint64_t(s.file.header->numberOfPointRecords) *
                       s.file.header->pointDataRecordLength;
        return owned;
    }();
    return *survey;
}

void SetFigures(benchmark::State& state, std::uint64_t points, std::uint64_t bytes)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(points * state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
}

void PlainRead(benchmark::State& state)
{
    Survey& s = TheSurvey();
    std::vector<char> buffer(kBlock);
    for (auto _ : state)
    {
        const int fd = ::open(s.path.c_str(), O_RDONLY);
        ::lseek(fd, s.file.header->offsetToPointData, SEEK_SET);
        std::uint64_t total = 0;
        for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
        {
            total += static_cast<std::uint64_t>(got);
        }
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
    SetFigures(state, s.file.header->numberOfPointRecords, s.pointBytes);
}

template <typename Read>
void Reader(benchmark::State& state, Read read)
{
    Survey& s = TheSurvey();
    NullProgress progress;
    for (auto _ : state)
    {
        auto values = read(s.file, progress);
        if (!values)
        {
            state.SkipWithError("the reader returned nothing");
            break;
        }
        benchmark::DoNotOptimize(values.get());
    }
    SetFigures(state, s.file.header->numberOfPointRecords, s.pointBytes);
}

void PlainWrite(benchmark::State& state)
{
    Survey& s = TheSurvey();
    std::vector<char> buffer(kBlock, 'x');
    for (auto _ : state)
    {
        const int fd = ::open(s.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (std::uint64_t left = s.pointBytes; left > 0;)
        {
            const std::size_t size = left < buffer.size() ? left : buffer.size();
            if (::write(fd, buffer.data(), size) != static_cast<ssize_t>(size))
            {
                state.SkipWithError("write failed");
                break;
            }
            left -= size;
        }
        ::close(fd);
        state.PauseTiming();
        ::unlink(s.outPath.c_str());
        state.ResumeTiming();
    }
    SetFigures(state, s.file.header->numberOfPointRecords, s.pointBytes);
}

void AppendRecords(benchmark::State& state)
{
    Survey& s = TheSurvey();
    CLasFile out;
    out.SetPath(s.outPath.c_str());
    out.header = new LasHeader(*s.file.header);
    out.AllocatePoints();
    for (auto _ : state)
    {
        const int fd = ::open(s.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::close(fd);
        AppendLasPointRecords(out.path, out.header->numberOfPointRecords,
                              out.header->pointDataRecordLength, out.points, nullptr);
        state.PauseTiming();
        ::unlink(s.outPath.c_str());
        state.ResumeTiming();
    }
    SetFigures(state, s.file.header->numberOfPointRecords, s.pointBytes);
}

// Collects each benchmark's time per iteration next to the console output.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
        {
            if (run.error_occurred)
            {
                continue;
            }
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (single || median)
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
    using telvora::CLasFile;
    auto reader = [](auto method)
    {
        return [method](benchmark::State& state)
        {
            Reader(state, [method](const CLasFile& file, NullProgress& progress)
                   { return (file.*method)(&progress, nullptr); });
        };
    };
    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("PlainRead", PlainRead)->Unit(ms)->UseRealTime();
    // Relative to the middle of the file's box, as the viewer reads them.
    benchmark::RegisterBenchmark(
        "ReadPositions",
        [](benchmark::State& state)
        {
            Reader(
                state,
                [](const CLasFile& file, NullProgress& progress)
                {
                    const LasHeader& h = *file.header;
                    const telvora::Vec3d middle{(h.minX + h.maxX) / 2, (h.minY + h.maxY) / 2, 0.0};
                    return file.ReadPositions(&progress, nullptr, middle);
                });
        })
        ->Unit(ms)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ReadIntensities", reader(&CLasFile::ReadIntensities))
        ->Unit(ms)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ReadClassifications", reader(&CLasFile::ReadClassifications))
        ->Unit(ms)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ReadScanAngleRanks", reader(&CLasFile::ReadScanAngleRanks))
        ->Unit(ms)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ReadReturnNumbers", reader(&CLasFile::ReadReturnNumbers))
        ->Unit(ms)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ReadColors", reader(&CLasFile::ReadColors))
        ->Unit(ms)
        ->UseRealTime();
    // Writes into the page cache vary several-fold from one run to the next (reclaim, writeback of
    // earlier runs), so both sides of the writer's ratio are taken as medians of repetitions.
    benchmark::RegisterBenchmark("PlainWrite", PlainWrite)
        ->Unit(ms)
        ->UseRealTime()
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark("AppendLasPointRecords", AppendRecords)
        ->Unit(ms)
        ->UseRealTime()
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
    {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // Speed relative to the plain system calls on the same bytes: 1.0 is as fast as read() or
    // write() alone, the target is at least 0.5 for positions and the writer.
    auto ratio = [&](const std::string& baseline, const std::string& name)
    {
        const auto base = reporter.seconds.find(baseline);
        const auto own = reporter.seconds.find(name);
        if (base == reporter.seconds.end() || own == reporter.seconds.end() || own->second <= 0)
        {
            return;
        }
        const double value = base->second / own->second;
        const bool targeted = name == "ReadPositions" || name == "AppendLasPointRecords";
        fmt::print("{:<24} {:>6.2f} x {}{}\n", name, value, baseline,
                   targeted
                       ? (value >= 0.5 ? "   (target >= 0.5: met)" : "   (target >= 0.5: NOT met)")
                       : "");
    };
    fmt::print("\nSpeed relative to the baseline of the same run\n");
    for (const char* name : {"ReadPositions", "ReadIntensities", "ReadClassifications",
                             "ReadScanAngleRanks", "ReadReturnNumbers", "ReadColors"})
    {
        ratio("PlainRead", name);
    }
    ratio("PlainWrite", "AppendLasPointRecords");
    std::remove(TheSurvey().outPath.c_str());
    return 0;
}
