// telvora-lasgen: writes a synthetic airborne survey as a LAS file, for trying the viewer and
// measuring it on files of any size without real data.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fmt/core.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/SystemErrors.h"
#include "common/TerminalText.h"
#include "las/LasException.h"
#include "las/LasHeader.h"
#include "las/LasIo.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace
{

constexpr const char* kProgram = "telvora-lasgen";

void PrintSummary(const std::string& path, double seconds)
{
    const telvora::LasHeader header = telvora::ReadLasHeaderBlock(path.c_str());
    fmt::print("{}: {} points, LAS {}.{} point format {} ({}-byte records), {} VLRs, "
               "X {:.2f}..{:.2f} Y {:.2f}..{:.2f} Z {:.2f}..{:.2f}, {:.1f} s\n",
               telvora::TerminalText(path), telvora::PointCount(header), header.versionMajor,
               header.versionMinor, header.pointDataFormatId, header.pointDataRecordLength,
               header.numberOfVariableLengthRecords, header.minX, header.maxX, header.minY,
               header.maxY, header.minZ, header.maxZ, seconds);
}

} // namespace

// Outside the guarded parse and write only the option table's set-up can throw, on a mistake in
// this file that every run would show at once.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv)
{
    telvora::IgnoreFileSizeLimitSignal();
    using telvora::lasgen::ParsePointCount;

    CLI::App app{
        "Writes a synthetic airborne LiDAR survey (LAS 1.0 to 1.4, point formats 0 to 10): "
        "flight strips over terrain, buildings, trees, roads, water.",
        kProgram};
    std::string output;
    std::string version = "1.2";
    unsigned format = 1;
    std::string points = "100000";
    std::uint64_t seed = 1;
    std::uint32_t vlrs = 0;
    std::uint16_t extraBytes = 0;
    std::vector<double> origin{500000.0, 5400000.0};
    std::string land = "mixed";
    double stripSpacing = 450.0;

    app.add_option("output", output, "LAS file to write")->required();
    app.add_option("--version", version, "LAS version: 1.0 to 1.4")
        ->capture_default_str()
        ->check(CLI::IsMember({"1.0", "1.1", "1.2", "1.3", "1.4"}));
    app.add_option("--format", format,
                   "Point data format, 0 to 10 (4 and 5 need LAS 1.3 or later, 6 to 10 LAS 1.4)")
        ->capture_default_str()
        ->check(CLI::Range(0u, 10u));
    app.add_option("--points", points,
                   "Number of point records; k, M and G multiply by a thousand, a million and a "
                   "billion (2.5k, 10M)")
        ->capture_default_str()
        ->check(
            [](const std::string& text)
            {
                return ParsePointCount(text) ? std::string()
                                             : "not a point count from 0 to 4294967295: " + text;
            });
    app.add_option("--seed", seed, "Seed of the landscape and the measurement noise")
        ->capture_default_str();
    app.add_option("--vlrs", vlrs, "Number of variable length records to add")
        ->capture_default_str()
        ->check(CLI::Range(0u, 65535u));
    app.add_option("--extra-bytes", extraBytes, "Extra bytes per record beyond the standard size")
        ->capture_default_str();
    app.add_option("--origin", origin, "South-west corner of the surveyed area, X Y in metres")
        ->expected(2)
        ->capture_default_str();

    app.add_option("--land", land,
                   "Land cover: mixed, forest (many returns per pulse) or open (flat meadows)")
        ->capture_default_str()
        ->check(CLI::IsMember({"mixed", "forest", "open"}));
    app.add_option("--strip-spacing", stripSpacing,
                   "Widest spacing of the flight strips in metres; narrower flies more strips, "
                   "with a jump in GPS Time at each turn")
        ->capture_default_str()
        ->check(CLI::Range(10.0, 1e5));

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        return app.exit(e);
    }

    telvora::lasgen::SurveyOptions options;
    options.versionMinor = static_cast<std::uint8_t>(version.back() - '0');
    options.format = static_cast<std::uint8_t>(format);
    options.points = *ParsePointCount(points);
    options.seed = seed;
    options.vlrs = vlrs;
    options.extraBytes = extraBytes;
    options.originX = origin[0];
    options.originY = origin[1];
    options.land = land == "forest" ? telvora::lasgen::LandCover::Forest
                   : land == "open" ? telvora::lasgen::LandCover::Open
                                    : telvora::lasgen::LandCover::Mixed;
    options.maxStripSpacing = stripSpacing;

    // A percentage on a terminal; nothing in logs and pipes.
    const bool showProgress = ::isatty(STDERR_FILENO) != 0;
    int shown = -1;
    const auto progress = [&](double fraction)
    {
        const int percent = static_cast<int>(fraction * 100.0);
        if (showProgress && percent != shown)
        {
            shown = percent;
            fmt::print(stderr, "\r{:3d}%", percent);
            std::fflush(stderr);
        }
    };

    const auto start = std::chrono::steady_clock::now();
    try
    {
        telvora::lasgen::WriteSurvey(output, options, progress);
        if (showProgress)
        {
            fmt::print(stderr, "\r    \r");
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        PrintSummary(output, elapsed.count());
    }
    catch (const telvora::CLasException& e)
    {
        fmt::print(stderr, "{}{}: cannot write {}: {}{}{}\n", shown >= 0 ? "\n" : "", kProgram,
                   telvora::TerminalText(output), e.GetErrorText(),
                   e.GetDetail().empty() ? "" : "\n", telvora::TerminalText(e.GetDetail()));
        return 1;
    }
    catch (const std::invalid_argument& e)
    {
        fmt::print(stderr, "{}: {}\n", kProgram, e.what());
        return 2;
    }
    catch (const std::exception& e)
    {
        fmt::print(stderr, "{}{}: {}\n", shown >= 0 ? "\n" : "", kProgram, e.what());
        return 1;
    }
    return 0;
}
