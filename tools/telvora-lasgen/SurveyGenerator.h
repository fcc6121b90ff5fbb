#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace telvora::lasgen
{

// What the surveyed land is covered with: the usual mix of meadows, forests, villages and lakes,
// or forest alone (many returns per pulse), or meadow alone (one return, nearly flat ground).
enum class LandCover : std::uint8_t
{
    Mixed,
    Forest,
    Open
};

struct SurveyOptions
{
    std::uint8_t versionMinor = 2; // LAS 1.0 to 1.4
    std::uint8_t format = 1;       // point data format 0..10 (4 and 5 from 1.3, 6 to 10 from 1.4)
    std::uint32_t points = 100000;
    std::uint64_t seed = 1;
    std::uint32_t vlrs = 0;       // number of variable length records to add
    std::uint16_t extraBytes = 0; // extra bytes per record beyond the standard size
    double originX = 500000.0;    // south-west corner of the surveyed area, metres
    double originY = 5400000.0;
    LandCover land = LandCover::Mixed;
    // The widest spacing of the flight strips, metres: narrower spacing flies more strips, and
    // each turn between two of them leaves a jump in GPS Time.
    double maxStripSpacing = 450.0;
};

// Writes a complete LAS file of an airborne survey over a made-up landscape: flight strips of
// zigzag scan lines over terrain, houses, trees, fields, roads with cars and a lake, classified
// and with multiple returns where pulses pass through vegetation. The same options give the same
// bytes. The surveyed area grows with the point count (about eight points per square metre, at
// least a hundred metres square).
//
// Progress (0..1) is called about a hundred times. Throws CLasException on I/O failure, after
// removing the partly written file, and std::invalid_argument on bad options, before touching
// the path.
void WriteSurvey(const std::string& path, const SurveyOptions& options,
                 const std::function<void(double)>& progress = {});

// "250000", "2.5k", "10M", "1G": a point count with an optional decimal suffix. None when the
// text is not such a count, is not a whole number of points or exceeds what a LAS 1.0 to 1.2 file
// can hold.
std::optional<std::uint32_t> ParsePointCount(std::string_view text);

} // namespace telvora::lasgen
