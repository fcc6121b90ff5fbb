#pragma once

#include <cstdint>
#include <string>

#include "TestFiles.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace telvora::test
{

// A generated survey in the test's folder; tests that use it link the generator.
inline std::string WriteSurvey(const TempDir& folder, const std::string& name, std::uint32_t points,
                               std::uint8_t format, std::uint64_t seed, double originX = 500000.0)
{
    lasgen::SurveyOptions options;
    options.points = points;
    options.format = format;
    // Each format in the oldest version that has it.
    options.versionMinor = format >= 6 ? 4 : format >= 4 ? 3 : 2;
    options.seed = seed;
    options.originX = originX;
    std::string path = folder.File(name);
    lasgen::WriteSurvey(path, options);
    return path;
}

} // namespace telvora::test
