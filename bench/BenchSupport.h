#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fmt/core.h>
#include <functional>
#include <string>
#include <vector>

#include "common/StatusServices.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace telvora::bench
{

// Progress that goes nowhere, at the cost of a real virtual call, as the status bar would take.
class NullProgress final : public IStatusServices
{
public:
    void SetStatusText(const std::string&) override {}
    void SetProgressRange(int, int) override {}
    int GetProgressPos() const override { return position; }
    void SetProgressPos(int pos) override { position = pos; }

private:
    int position = 0;
};

// Wall time of the work in seconds.
inline double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The middle of the values: one slow repeat on a busy machine does not move it.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Where the benchmarks keep their files: TELVORA_BENCH_DIR, or the system's temporary folder.
inline std::filesystem::path BenchFolder()
{
    const char* folder = std::getenv("TELVORA_BENCH_DIR");
    return folder != nullptr ? folder : std::filesystem::temp_directory_path();
}

// The format-3 survey the benchmarks share (TELVORA_BENCH_POINTS points, 10 million unless set),
// generated on first use and kept, so that repeated runs start with a warm page cache.
inline std::string BenchSurveyPath()
{
    const char* count = std::getenv("TELVORA_BENCH_POINTS");
    lasgen::SurveyOptions options;
    options.format = 3;
    options.points = count != nullptr ? static_cast<std::uint32_t>(std::strtoul(count, nullptr, 10))
                                      : 10'000'000;
    options.seed = 7;
    std::string path =
        (BenchFolder() / fmt::format("telvora-bench-{}.las", options.points)).string();
    if (!std::filesystem::exists(path))
    {
        fmt::print(stderr, "generating {} points into {}\n", options.points, path);
        lasgen::WriteSurvey(path, options);
    }
    return path;
}

} // namespace telvora::bench
