#pragma once

#include <cstdint>
#include <filesystem>
#include <fmt/core.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "encoder/ArchiveBuilder.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace telvora::bench
{

// A generated survey and an archive holding it as the one entry kEntryName, packed by the test
// encoder.
struct SurveyArchive
{
    static constexpr const char* kEntryName = "survey.las";

    std::string lasPath;
    std::string archivePath;
    std::uint32_t points = 0;
    std::uint64_t lasBytes = 0;
    std::uint64_t archiveBytes = 0;
};

// What sets one benchmark survey apart from the default mixed format-3 one; the name tells their
// files apart ("" for the default).
struct SurveyKind
{
    std::string name;
    std::uint8_t format = 3;
    lasgen::LandCover land = lasgen::LandCover::Mixed;
    double maxStripSpacing = 450.0;
};

// The survey archive of TELVORA_BENCH_POINTS points (3 million unless set), made on first use and
// kept, so that repeated runs start at once with a warm page cache.
inline SurveyArchive EnsureSurveyArchive(const SurveyKind& kind = {})
{
    const char* count = std::getenv("TELVORA_BENCH_POINTS");
    lasgen::SurveyOptions options;
    options.format = kind.format;
    options.land = kind.land;
    options.maxStripSpacing = kind.maxStripSpacing;
    options.points =
        count != nullptr ? static_cast<std::uint32_t>(std::strtoul(count, nullptr, 10)) : 3'000'000;
    options.seed = 7;
    SurveyArchive archive;
    archive.points = options.points;
    const std::string stem =
        kind.name.empty() ? fmt::format("telvora-lcmp-bench-{}", options.points)
                          : fmt::format("telvora-lcmp-bench-{}-{}", kind.name, options.points);
    archive.lasPath = (BenchFolder() / (stem + ".las")).string();
    archive.archivePath = (BenchFolder() / (stem + ".lcmp")).string();
    if (!std::filesystem::exists(archive.archivePath))
    {
        fmt::print(stderr, "generating {} points into {}\n", options.points, archive.lasPath);
        lasgen::WriteSurvey(archive.lasPath, options);
        testenc::ArchiveInput input;
        input.name = testenc::ArchiveInput::Name(SurveyArchive::kEntryName);
        std::ifstream in(archive.lasPath, std::ios::binary);
        input.lasFile.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const std::vector<std::uint8_t> bytes = testenc::BuildArchive({input});
        std::ofstream out(archive.archivePath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    archive.lasBytes = std::filesystem::file_size(archive.lasPath);
    archive.archiveBytes = std::filesystem::file_size(archive.archivePath);
    return archive;
}

} // namespace telvora::bench
