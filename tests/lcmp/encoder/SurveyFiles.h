#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "las/ByteOrder.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace telvora::testenc
{

// The bytes of a synthetic survey; the seed follows format and size, so that files differ.
inline std::vector<std::uint8_t> SurveyBytes(std::uint8_t versionMinor, std::uint8_t format,
                                             std::uint32_t points, std::uint32_t vlrs = 0,
                                             std::uint16_t extraBytes = 0)
{
    test::TempDir dir;
    lasgen::SurveyOptions options;
    options.versionMinor = versionMinor;
    options.format = format;
    options.points = points;
    options.vlrs = vlrs;
    options.extraBytes = extraBytes;
    options.seed = 3 + format + points;
    const std::string path = dir.File("survey.las");
    lasgen::WriteSurvey(path, options);
    return test::ReadAll(path);
}

// The same file with a header that declares no variable length records, the form in which a
// file round-trips through a 'V' entry.
inline std::vector<std::uint8_t> WithoutDeclaredVlrs(std::vector<std::uint8_t> las)
{
    StoreLE<std::uint32_t>(las.data() + 100, 0);
    return las;
}

} // namespace telvora::testenc
