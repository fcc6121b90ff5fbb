#include "telvora-lasgen/SurveyGenerator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "common/SystemErrors.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/LasHeader.h"
#include "las/LasIo.h"
#include "las/PosixFile.h"
#include "telvora-lasgen/Landscape.h"
#include "telvora-lasgen/Random.h"

namespace telvora::lasgen
{

namespace
{

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The survey: about eight points per square metre, strips at most 450 m apart (unless the
// options say otherwise) overlapping their
// neighbours by a quarter of the swath, a scanner firing about 150 000 pulses a second across
// 19.5 degrees either side of nadir from an aircraft at 40 to 75 m/s, and a minute and a half for
// each turn between strips.
constexpr double kDensity = 8.0;
constexpr double kMinExtent = 100.0;
constexpr double kSideLap = 0.25;
constexpr double kMaxScanAngle = 19.5 * kDegree;
constexpr double kTargetPulseRate = 150000.0;
constexpr double kMinSpeed = 40.0;
constexpr double kMaxSpeed = 75.0;
constexpr double kTurnTime = 95.0;
// GPS week seconds, as LAS 1.0 to 1.2 files without the adjusted standard time bit keep them.
constexpr double kStartTime = 300000.0;

// Two echoes of one pulse lie at least this far apart along the beam: the length of the pulse.
constexpr double kSeparation = 1.3;
constexpr int kMaxEchoes = 4;
constexpr double kMultipathRate = 1.0 / 4000.0;
constexpr double kKeyPointRate = 1.0 / 25.0;
constexpr double kWaterDropout = 0.45;
constexpr double kLeafReflectance = 950.0;

constexpr double kScale = 0.01;
constexpr double kUnitsPerMetre = 100.0;
constexpr std::uint32_t kBatch = 1u << 18;
constexpr std::uint16_t kSurveyYear = 2024;

enum Salt : std::uint64_t
{
    kPulseSalt = 101,
    kPilotSalt,
    kFlightSalt,
    kVlrSalt,
    kGuidSalt
};

enum Classification : std::uint8_t
{
    kUnclassified = 1,
    kGround = 2,
    kLowVegetation = 3,
    kMediumVegetation = 4,
    kHighVegetation = 5,
    kBuilding = 6,
    kLowPoint = 7,
    kModelKeyPoint = 8,
    kWater = 9
};

struct FlightPlan
{
    double extent = kMinExtent; // the planned area is extent metres square
    std::uint32_t strips = 1;
    double stripSpacing = kMinExtent;
    double height = 100.0; // above the terrain, for the swath geometry
    std::uint32_t pulsesPerLine = 8;
    std::uint64_t linesPerStrip = 1;
    double speed = kMinSpeed;
    double pulseRate = kTargetPulseRate;
    double startTime = kStartTime;

    double StripDuration() const
    {
        return static_cast<double>(linesPerStrip * pulsesPerLine) / pulseRate;
    }
};

struct Echo
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double intensity = 0.0;
    std::uint8_t classification = kUnclassified;
};

// What a pulse's echoes share.
struct Pulse
{
    double time = 0.0;
    std::int8_t angleRank = 0;
    // The same angle in the 0.006-degree steps of formats 6 to 10.
    std::int16_t angleSteps = 0;
    bool forward = true;
    bool edge = false;
    std::uint16_t source = 1;
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
};

std::uint16_t ToIntensity(double value)
{
    return static_cast<std::uint16_t>(std::clamp<long>(std::lround(value), 1, 65535));
}

std::uint8_t VegetationClass(double heightAboveGround)
{
    return heightAboveGround < 2.0   ? kLowVegetation
           : heightAboveGround < 5.0 ? kMediumVegetation
                                     : kHighVegetation;
}

// Turns what a pulse meets into its echoes.
class PulseModel
{
public:
    explicit PulseModel(const Landscape& landscape)
        : land(landscape)
    {
    }

    // The echoes of one pulse whose beam reaches the ground at (x, y), leaning outward by lean
    // metres along x per metre of descent, in the order they return; falloff scales their
    // strength with the scan angle. A pulse that must echo (the last of its scan line, which
    // carries the edge flag) is not lost on water. colour is the photograph's colour at (x, y).
    int Fire(double x, double y, double lean, double falloff, bool mustEcho, Rng& rng, Echo* echoes,
             Rgb8& colour) const
    {
        const Spot spot = land.Look(x, y);
        colour = spot.colour;

        // A multipath echo, far below the ground.
        if (rng.Chance(kMultipathRate))
        {
            const double u = rng.Uniform();
            echoes[0] = {x, y, spot.ground - 2.5 - 10.0 * u * u, 40.0 + 200.0 * rng.Uniform(),
                         kLowPoint};
            return 1;
        }
        // Water reflects most pulses away from the sensor and returns little of the rest.
        if (spot.cover == Cover::Water)
        {
            if (!mustEcho && rng.Chance(kWaterDropout))
            {
                return 0;
            }
            echoes[0] = {x, y, spot.surface + 0.015 * rng.Normal(),
                         spot.reflectance * falloff * (1.0 + 0.3 * rng.Normal()), kWater};
            return 1;
        }
        // Leaves stop a pulse more often near the stem than at the rim of the crown.
        if (spot.canopy && spot.crownTop > spot.surface + 0.5 &&
            rng.Chance(0.35 + 0.6 * std::sqrt(spot.crownCover)))
        {
            return ThroughCanopy(spot, x, y, lean, falloff, rng, echoes);
        }
        // A footprint straddling an eave echoes from the roof and from the ground beside it.
        if (spot.cover == Cover::Roof && spot.eaveDistance < 0.35 && rng.Chance(0.6))
        {
            echoes[0] = Solid(spot, x, y, spot.surface, 0.7, falloff, false, rng);
            const double step = 0.5 - spot.eaveDistance;
            const double gx = x + step * spot.eaveNormalX;
            const double gy = y + step * spot.eaveNormalY;
            echoes[1] = {gx, gy, land.Ground(gx, gy) + 0.03 * rng.Normal(),
                         1450.0 * 0.35 * falloff * (1.0 + 0.12 * rng.Normal()), kGround};
            return 2;
        }
        echoes[0] = Solid(spot, x, y, spot.surface, 1.0, falloff, true, rng);
        return 1;
    }

private:
    Echo Solid(const Spot& spot, double x, double y, double z, double energy, double falloff,
               bool single, Rng& rng) const
    {
        Echo echo{x, y, z, spot.reflectance * energy * falloff * (1.0 + 0.12 * rng.Normal()),
                  kGround};
        switch (spot.cover)
        {
        case Cover::Ground:
        case Cover::Road:
            echo.z += 0.03 * rng.Normal();
            // A thinned subset of the open ground carries the terrain model.
            echo.classification = single && rng.Chance(kKeyPointRate) ? kModelKeyPoint : kGround;
            break;
        case Cover::Roof:
            echo.z += 0.025 * rng.Normal();
            echo.classification = kBuilding;
            break;
        case Cover::Vehicle:
            echo.z += 0.03 * rng.Normal();
            echo.classification = kUnclassified;
            break;
        case Cover::Water:
            echo.classification = kWater;
            break;
        }
        return echo;
    }

    int ThroughCanopy(const Spot& spot, double x, double y, double lean, double falloff, Rng& rng,
                      Echo* echoes) const
    {
        // Where the slanting beam reaches the ground, which on a slope lies higher or lower than
        // the ground below the crown. Roofs and cars are flat enough to take as they are.
        const bool earth = spot.cover == Cover::Ground || spot.cover == Cover::Road;
        const double floorX = x + lean * (spot.crownTop - spot.surface);
        const double floor = earth ? land.Ground(floorX, y) : spot.surface;

        const double top = spot.crownTop - 0.35 * rng.Uniform();
        const int possible =
            std::min(kMaxEchoes, 1 + static_cast<int>(std::max(0.0, top - floor) / kSeparation));
        const double draw = rng.Uniform();
        const int wanted = draw < 0.12 ? 1 : draw < 0.5 ? 2 : draw < 0.82 ? 3 : 4;
        const int count = std::min(wanted, possible);

        // The last echo comes from the ground (or roof) below, or now and then from undergrowth.
        double heights[kMaxEchoes] = {top, 0.0, 0.0, 0.0};
        bool lastOnSolid = count > 1;
        if (count > 1)
        {
            double last = floor;
            const double highest = top - kSeparation * (count - 1);
            if (highest > floor + 0.3 && rng.Chance(0.2))
            {
                lastOnSolid = false;
                last = floor + 0.3 + rng.Uniform() * std::min(3.0, highest - floor - 0.3);
            }
            const double slack = top - last - kSeparation * (count - 1);
            double a = rng.Uniform() * slack;
            double b = rng.Uniform() * slack;
            if (a > b)
            {
                std::swap(a, b);
            }
            if (count >= 3)
            {
                heights[1] = top - kSeparation - a;
            }
            if (count == 4)
            {
                heights[2] = top - 2.0 * kSeparation - b;
            }
            heights[count - 1] = last;
        }

        for (int k = 0; k < count; ++k)
        {
            Echo& echo = echoes[k];
            if (k == count - 1 && lastOnSolid)
            {
                echo = Solid(spot, floorX, y, floor, 0.35, falloff, false, rng);
                continue;
            }
            // Later echoes lie further along the slanting beam.
            const double ex = x + lean * (top - heights[k]);
            const double ground = k == 0 ? spot.ground : land.Ground(ex, y);
            const double energy = count == 1 ? 1.0 : k == 0 ? 0.75 : 0.45;
            echo = {ex, y, heights[k] + 0.05 * rng.Normal(),
                    kLeafReflectance * energy * falloff * (1.0 + 0.18 * rng.Normal()),
                    VegetationClass(heights[k] - ground)};
        }
        return count;
    }

    const Landscape& land;
};

// Local metres to the integers stored in the records.
struct Quantiser
{
    double baseX = 0.0; // (origin - offset) in record units
    double baseY = 0.0;

    static std::int32_t Clamp(double units)
    {
        return static_cast<std::int32_t>(
            std::clamp<long long>(std::llround(units), std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max()));
    }
    std::int32_t X(double x) const { return Clamp(baseX + x * kUnitsPerMetre); }
    std::int32_t Y(double y) const { return Clamp(baseY + y * kUnitsPerMetre); }
    std::int32_t Z(double z) const { return Clamp(z * kUnitsPerMetre); }
};

struct Totals
{
    std::int32_t min[3] = {std::numeric_limits<std::int32_t>::max(),
                           std::numeric_limits<std::int32_t>::max(),
                           std::numeric_limits<std::int32_t>::max()};
    std::int32_t max[3] = {std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::min()};
    std::uint64_t byReturn[15] = {};
    std::uint32_t written = 0;
};

// Fills point objects of one format in batches and appends them to the file. Working on the
// concrete record class lets the compiler call the setters directly.
template <int Format>
class RecordWriter
{
    using Record = LASPointRecord<Format>;

public:
    RecordWriter(const std::string& filePath, const LasHeader& header, std::uint32_t count,
                 const Quantiser& toUnits, const std::function<void(double)>& report)
        : path(filePath)
        , recordLength(header.pointDataRecordLength)
        , total(count)
        , quantiser(toUnits)
        , progress(report)
        , step(std::max<std::uint32_t>(1, count / 100))
    {
        if (total == 0)
        {
            return;
        }
        batch.SetPath(path.c_str());
        batch.header = new LasHeader(header);
        batch.header->numberOfPointRecords = std::min(total, kBatch);
        batch.AllocatePoints();
        capacity = batch.header->numberOfPointRecords;
    }

    bool Full() const { return totals.written == total; }

    void Put(const Echo& echo, int number, int count, const Pulse& pulse)
    {
        Record& record = static_cast<Record&>(*batch.points[used]);
        const std::int32_t raw[3] = {quantiser.X(echo.x), quantiser.Y(echo.y), quantiser.Z(echo.z)};
        for (int axis = 0; axis < 3; ++axis)
        {
            totals.min[axis] = std::min(totals.min[axis], raw[axis]);
            totals.max[axis] = std::max(totals.max[axis], raw[axis]);
        }
        ++totals.byReturn[number - 1];

        record.SetX(raw[0]);
        record.SetY(raw[1]);
        record.SetZ(raw[2]);
        record.SetIntensity(ToIntensity(echo.intensity));
        record.SetReturnNumber(static_cast<std::uint8_t>(number));
        record.SetNumberOfReturns(static_cast<std::uint8_t>(count));
        record.SetScanDirectionFlag(pulse.forward ? 1 : 0);
        record.SetEdgeOfFlightLine(pulse.edge ? 1 : 0);
        record.SetClassification(echo.classification);
        if constexpr (LasRecordLayout<Format>::kExtended)
        {
            record.SetScanAngle(pulse.angleSteps);
            // Two-channel scanners alternate their channels line by line.
            record.SetScannerChannel(static_cast<std::uint8_t>(pulse.forward ? 0 : 1));
        }
        else
        {
            record.SetScanAngleRank(pulse.angleRank);
        }
        record.SetUserData(0);
        record.SetPointSourceID(pulse.source);
        if constexpr (LasRecordLayout<Format>::kGpsTime >= 0)
        {
            record.SetGPSTime(pulse.time);
        }
        if constexpr (LasRecordLayout<Format>::kRgb >= 0)
        {
            record.SetRed(pulse.red);
            record.SetGreen(pulse.green);
            record.SetBlue(pulse.blue);
        }
        if constexpr (LasRecordLayout<Format>::kNir >= 0)
        {
            // Vegetation reflects near infrared strongly, so it follows the echo's strength.
            record.SetNIR(ToIntensity(echo.intensity * 1.5));
        }

        ++totals.written;
        if (++used == capacity)
        {
            Flush();
        }
        if (progress && totals.written % step == 0)
        {
            progress(static_cast<double>(totals.written) / total);
        }
    }

    void Flush()
    {
        if (used > 0)
        {
            AppendLasPointRecords(path.c_str(), used, recordLength, batch.points, nullptr);
            used = 0;
        }
    }

    Totals totals;

private:
    const std::string& path;
    std::uint16_t recordLength;
    std::uint32_t total;
    const Quantiser& quantiser;
    const std::function<void(double)>& progress;
    std::uint32_t step;
    CLasFile batch;
    std::uint32_t capacity = 0;
    std::uint32_t used = 0;
};

std::uint16_t ColourChannel(std::uint8_t value, Rng& rng)
{
    const long shade = std::clamp<long>(std::lround(value + 4.0 * rng.Normal()), 0, 255);
    return static_cast<std::uint16_t>(shade * 257);
}

// Flies the strips one after another, alternating heading, until the file holds its records;
// should the landscape echo less than planned, further strips continue eastward.
template <int Format>
Totals Fly(const std::string& path, const LasHeader& header, const SurveyOptions& options,
           const FlightPlan& plan, const PulseModel& model, const Quantiser& quantiser,
           const std::function<void(double)>& progress)
{
    RecordWriter<Format> writer(path, header, options.points, quantiser, progress);
    Rng rng(HashOf(options.seed, 0, 0, kPulseSalt));
    const std::uint32_t perLine = plan.pulsesPerLine;
    const double tanMax = std::tan(kMaxScanAngle);
    std::uint64_t lines = 0;
    std::array<Echo, kMaxEchoes> echoes{};

    for (std::uint32_t strip = 0; !writer.Full(); ++strip)
    {
        Rng flight(HashOf(options.seed, strip, 0, kFlightSalt));
        const double heading = strip % 2 == 0 ? 1.0 : -1.0;
        const double stripStart = plan.startTime + strip * (plan.StripDuration() + kTurnTime);
        const double centre = (strip + 0.5) * plan.stripSpacing;
        const double yStart = heading > 0.0 ? 0.0 : plan.extent;
        // Wind: a small crab angle skews the scan lines; gusts roll the aircraft and push it off
        // the planned line by a metre or two.
        const double crab = flight.Uniform(-0.03, 0.03);
        const double rollPhase = flight.Uniform(0.0, kTwoPi);
        const double swayPhase = flight.Uniform(0.0, kTwoPi);
        const double driftPhase = flight.Uniform(0.0, kTwoPi);
        const auto source = static_cast<std::uint16_t>(std::min<std::uint32_t>(strip + 1, 65535));

        for (std::uint64_t line = 0; line < plan.linesPerStrip && !writer.Full(); ++line, ++lines)
        {
            // An oscillating mirror: every other line sweeps back.
            const bool forward = lines % 2 == 0;
            const double lineTime = static_cast<double>(line * perLine) / plan.pulseRate;
            const double roll = (0.25 * std::sin(kTwoPi * lineTime / 6.3 + rollPhase) +
                                 0.1 * std::sin(kTwoPi * lineTime / 1.7 + swayPhase)) *
                                kDegree;
            const double xAircraft = centre + 1.5 * std::sin(kTwoPi * lineTime / 37.0 + driftPhase);

            for (std::uint32_t p = 0; p < perLine && !writer.Full(); ++p)
            {
                const double since = static_cast<double>(line * perLine + p) / plan.pulseRate;
                const double sweep = (p + 0.5) / perLine;
                const double angle =
                    (forward ? 2.0 * sweep - 1.0 : 1.0 - 2.0 * sweep) * kMaxScanAngle + roll;
                const double tanAngle = std::tan(angle);
                // Positive angles look to the right of the aircraft: east when flying north.
                const double lean = heading * tanAngle;
                const double across = plan.height * lean;
                const double x = xAircraft + across;
                const double y = yStart + heading * plan.speed * since + crab * across;
                const double ratio = tanAngle / tanMax;
                const bool edge = p + 1 == perLine;

                Rgb8 colour;
                const int count = model.Fire(x, y, lean, 1.0 - 0.25 * ratio * ratio, edge, rng,
                                             echoes.data(), colour);
                if (count == 0)
                {
                    continue;
                }
                Pulse pulse;
                pulse.time = stripStart + since;
                pulse.angleRank = static_cast<std::int8_t>(
                    std::clamp<long>(std::lround(angle / kDegree), -20, 20));
                pulse.angleSteps = static_cast<std::int16_t>(std::clamp<long>(
                    std::lround(angle / kDegree / kScanAngleStepDegrees), -3334, 3334));
                pulse.forward = forward;
                pulse.edge = edge;
                pulse.source = source;
                pulse.red = ColourChannel(colour.r, rng);
                pulse.green = ColourChannel(colour.g, rng);
                pulse.blue = ColourChannel(colour.b, rng);
                for (int k = 0; k < count && !writer.Full(); ++k)
                {
                    writer.Put(echoes[static_cast<std::size_t>(k)], k + 1, count, pulse);
                }
            }
        }
    }
    writer.Flush();
    return writer.totals;
}

// The strip layout for the area; the number of pulses waits for EstimateEchoes.
FlightPlan LayOutStrips(const SurveyOptions& options)
{
    FlightPlan plan;
    plan.extent = std::max(kMinExtent, std::sqrt(options.points / kDensity));
    plan.strips = std::max<std::uint32_t>(
        1, static_cast<std::uint32_t>(std::ceil(plan.extent / options.maxStripSpacing)));
    plan.stripSpacing = plan.extent / plan.strips;
    const double swath = plan.stripSpacing / (1.0 - kSideLap);
    plan.height = 0.5 * swath / std::tan(kMaxScanAngle);
    plan.startTime = kStartTime + static_cast<double>(options.seed % 1000) * 60.0;
    return plan;
}

// Echoes per pulse over this landscape, from a sample of pulses scattered over the strips: how
// many pulses the survey needs for its records.
double EstimateEchoes(const PulseModel& model, const FlightPlan& plan, std::uint64_t seed)
{
    constexpr int kSamples = 16384;
    Rng rng(HashOf(seed, 0, 0, kPilotSalt));
    std::array<Echo, kMaxEchoes> echoes{};
    const double tanMax = std::tan(kMaxScanAngle);
    std::uint64_t total = 0;
    for (int k = 0; k < kSamples; ++k)
    {
        const std::uint32_t strip = rng.Below(plan.strips);
        const double heading = strip % 2 == 0 ? 1.0 : -1.0;
        const double tanAngle = std::tan(rng.Uniform(-kMaxScanAngle, kMaxScanAngle));
        const double ratio = tanAngle / tanMax;
        Rgb8 colour;
        total += static_cast<std::uint64_t>(
            model.Fire((strip + 0.5) * plan.stripSpacing + heading * plan.height * tanAngle,
                       rng.Uniform(0.0, plan.extent), heading * tanAngle,
                       1.0 - 0.25 * ratio * ratio, false, rng, echoes.data(), colour));
    }
    return std::max(0.3, static_cast<double>(total) / kSamples);
}

void PlanPulses(FlightPlan& plan, std::uint32_t points, double echoesPerPulse)
{
    // A little more than needed: a survey cut short reads better than one that runs on past
    // its area.
    const double pulses = std::max(1.0, 1.02 * points / echoesPerPulse);
    const double swath = plan.stripSpacing / (1.0 - kSideLap);
    // As many pulses across the swath as scan lines per metre along it: square sampling.
    plan.pulsesPerLine = static_cast<std::uint32_t>(std::clamp(
        std::lround(std::sqrt(swath * pulses / (plan.strips * plan.extent))), 8L, 1000000L));
    plan.linesPerStrip = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::ceil(pulses / (plan.strips * plan.pulsesPerLine))));
    const double lineSpacing = plan.extent / static_cast<double>(plan.linesPerStrip);
    plan.speed =
        std::clamp(kTargetPulseRate * lineSpacing / plan.pulsesPerLine, kMinSpeed, kMaxSpeed);
    plan.pulseRate = plan.speed * plan.pulsesPerLine / lineSpacing;
}

void CopyText(char* field, std::size_t size, const char* text)
{
    // Fixed-width LAS text fields: NUL-padded, and a text of the full width has no NUL at all.
    std::memset(field, 0, size);
    std::copy_n(text, std::min(size, std::strlen(text)), field);
}

// The records: the first describes the survey in words, the others carry a line of text and a
// tail of bytes of varying length.
std::vector<unsigned char> BuildVlrBlock(const SurveyOptions& options, const FlightPlan& plan)
{
    std::vector<unsigned char> block;
    for (std::uint32_t id = 1; id <= options.vlrs; ++id)
    {
        char text[320];
        if (id == 1)
        {
            std::snprintf(text, sizeof text,
                          "Synthetic airborne survey: %u points, %u strips %.0f m apart, flying "
                          "height %.0f m, pulse rate %.0f Hz, scan angle +-%.1f deg, seed %llu.",
                          options.points, plan.strips, plan.stripSpacing, plan.height,
                          plan.pulseRate, kMaxScanAngle / kDegree,
                          static_cast<unsigned long long>(options.seed));
        }
        else
        {
            std::snprintf(text, sizeof text, "Telvora synthetic record %u of %u.", id,
                          options.vlrs);
        }
        std::vector<unsigned char> payload(text, text + std::strlen(text) + 1);
        if (id > 1)
        {
            Rng rng(HashOf(options.seed, id, 0, kVlrSalt));
            const std::uint32_t tail = rng.Below(200);
            for (std::uint32_t k = 0; k < tail; ++k)
            {
                payload.push_back(static_cast<unsigned char>(rng.Below(256)));
            }
        }

        LasVlrHeader header;
        // LAS 1.0 marks every record with a signature where later versions reserve the field.
        header.reserved = options.versionMinor == 0 ? 0xAABB : 0;
        CopyText(header.userId, sizeof header.userId, "TELVORA");
        header.recordId = static_cast<std::uint16_t>(id);
        header.recordLengthAfterHeader = static_cast<std::uint16_t>(payload.size());
        char description[32];
        std::snprintf(description, sizeof description,
                      id == 1 ? "Survey description" : "Synthetic record %u", id);
        CopyText(header.description, sizeof header.description, description);

        unsigned char image[LasVlrHeader::kImageSize];
        SerializeLasVlrHeader(header, image);
        block.insert(block.end(), image, image + sizeof image);
        block.insert(block.end(), payload.begin(), payload.end());
    }
    return block;
}

LasHeader MakeHeader(const SurveyOptions& options, std::uint32_t offsetToPoints)
{
    LasHeader header;
    std::memcpy(header.fileSignature, "LASF", 4);
    const std::uint64_t guid = HashOf(options.seed, 0, 0, kGuidSalt);
    const std::uint64_t guidTail = MixBits(guid);
    header.guidData1 = static_cast<std::uint32_t>(guid);
    header.guidData2 = static_cast<std::uint16_t>(guid >> 32);
    header.guidData3 = static_cast<std::uint16_t>(guid >> 48);
    for (int k = 0; k < 8; ++k)
    {
        header.guidData4[k] = static_cast<std::uint8_t>(guidTail >> (8 * k));
    }
    header.versionMajor = 1;
    header.versionMinor = options.versionMinor;
    CopyText(header.systemIdentifier, sizeof header.systemIdentifier, "TELVORA SYNTHETIC SURVEY");
    CopyText(header.generatingSoftware, sizeof header.generatingSoftware, "telvora-lasgen");
    // A day of the leaf-on season fixed by the seed, never the clock, so that files repeat.
    header.fileCreationDayOfYear = static_cast<std::uint16_t>(100 + options.seed % 150);
    header.fileCreationYear = kSurveyYear;
    header.headerSize = static_cast<std::uint16_t>(LasHeaderImageSize(header));
    header.offsetToPointData = offsetToPoints;
    header.numberOfVariableLengthRecords = options.vlrs;
    header.pointDataFormatId = options.format;
    header.pointDataRecordLength =
        static_cast<std::uint16_t>(StandardRecordSize(options.format) + options.extraBytes);
    header.xScaleFactor = kScale;
    header.yScaleFactor = kScale;
    header.zScaleFactor = kScale;
    return header;
}

void Validate(const SurveyOptions& options)
{
    if (options.versionMinor > 4)
    {
        throw std::invalid_argument("the LAS version must be 1.0 to 1.4, not 1." +
                                    std::to_string(options.versionMinor));
    }
    if (options.format > 10)
    {
        throw std::invalid_argument("the point data format must be 0 to 10, not " +
                                    std::to_string(options.format));
    }
    // Formats 4 and 5 came with LAS 1.3, 6 to 10 with 1.4.
    const unsigned since = options.format >= 6 ? 4 : options.format >= 4 ? 3 : 0;
    if (options.versionMinor < since)
    {
        throw std::invalid_argument("point format " + std::to_string(options.format) +
                                    " needs LAS 1." + std::to_string(since) + " or later, not 1." +
                                    std::to_string(options.versionMinor));
    }
    if (options.vlrs > 65535)
    {
        throw std::invalid_argument("at most 65535 variable length records can be numbered, not " +
                                    std::to_string(options.vlrs));
    }
    const std::size_t standard = StandardRecordSize(options.format);
    if (standard + options.extraBytes > 65535)
    {
        throw std::invalid_argument("point format " + std::to_string(options.format) +
                                    " allows at most " + std::to_string(65535 - standard) +
                                    " extra bytes per record");
    }
    if (!(options.maxStripSpacing >= 10.0 && options.maxStripSpacing <= 1e5))
    {
        throw std::invalid_argument("the strip spacing must lie between 10 and 100000 metres");
    }
    for (const double origin : {options.originX, options.originY})
    {
        if (!std::isfinite(origin) || std::fabs(origin) > 1e9)
        {
            throw std::invalid_argument("the origin must be a coordinate within 1e9 metres");
        }
    }
}

// An empty file of a fresh name beside path, made exclusively so that nothing else is replaced.
std::string ReservePartFile(const std::string& path)
{
    std::random_device entropy;
    std::mt19937_64 generator((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt)
    {
        std::string candidate =
            fmt::format("{}.{:012x}.part", path, generator() & 0xFFFFFFFFFFFFull);
        PosixFile file(candidate.c_str(), PosixFile::Mode::CreateNew);
        if (file.IsOpen())
        {
            return candidate;
        }
        error = file.LastError();
    }
    throw CLasException(LasMessage::kWriteFileCreate, FileProblem(path, error));
}

void Generate(const std::string& path, const SurveyOptions& options,
              const std::function<void(double)>& progress, bool& headerWritten)
{
    FlightPlan plan = LayOutStrips(options);
    const double swath = plan.stripSpacing / (1.0 - kSideLap);
    // Room across the flight lines for the outer swaths and a strip beyond the planned ones;
    // along them for the skew of the scan lines.
    const Landscape land(options.seed, plan.extent, plan.extent, plan.stripSpacing + 0.5 * swath,
                         20.0, options.land);
    const PulseModel model(land);
    PlanPulses(plan, options.points, EstimateEchoes(model, plan, options.seed));

    const std::vector<unsigned char> vlrBlock = BuildVlrBlock(options, plan);
    const std::size_t signature = options.versionMinor == 0 ? 2 : 0;
    LasHeader header = MakeHeader(options, 0);
    header.offsetToPointData =
        static_cast<std::uint32_t>(header.headerSize + vlrBlock.size() + signature);
    // Offsets on round kilometres at the middle of the area keep every record's integers small.
    header.xOffset = std::round((options.originX + 0.5 * plan.extent) / 1000.0) * 1000.0;
    header.yOffset = std::round((options.originY + 0.5 * plan.extent) / 1000.0) * 1000.0;
    header.zOffset = 0.0;
    const Quantiser quantiser{(options.originX - header.xOffset) * kUnitsPerMetre,
                              (options.originY - header.yOffset) * kUnitsPerMetre};

    WriteLasHeader(header, path.c_str(), true);
    headerWritten = true;
    if (!vlrBlock.empty())
    {
        AppendLasBlock(path.c_str(), vlrBlock.size(), vlrBlock.data());
    }
    if (signature != 0)
    {
        AppendPointDataStartSignature(path.c_str());
    }

    const Totals totals = WithLasFormat(
        options.format,
        [&](auto f) {
            return Fly<decltype(f)::value>(path, header, options, plan, model, quantiser, progress);
        },
        [] { return Totals{}; });

    // Counts and bounds are known only now. The bounds come from the stored integers, so that
    // they are exactly what a reader computes from the records. LAS 1.4 keeps the 32-bit counts
    // for the formats older readers know and zero for 6 to 10, which they cannot read.
    if (options.format < 6)
    {
        header.numberOfPointRecords = totals.written;
        for (std::size_t k = 0; k < 5; ++k)
        {
            header.numberOfPointsByReturn[k] = static_cast<std::uint32_t>(totals.byReturn[k]);
        }
    }
    if (options.versionMinor >= 4)
    {
        header.extendedNumberOfPointRecords = totals.written;
        std::copy(std::begin(totals.byReturn), std::end(totals.byReturn),
                  std::begin(header.extendedNumberOfPointsByReturn));
    }
    if (totals.written > 0)
    {
        header.minX = totals.min[0] * header.xScaleFactor + header.xOffset;
        header.maxX = totals.max[0] * header.xScaleFactor + header.xOffset;
        header.minY = totals.min[1] * header.yScaleFactor + header.yOffset;
        header.maxY = totals.max[1] * header.yScaleFactor + header.yOffset;
        header.minZ = totals.min[2] * header.zScaleFactor + header.zOffset;
        header.maxZ = totals.max[2] * header.zScaleFactor + header.zOffset;
    }
    unsigned char image[LasHeader::kImageSize14];
    WriteLasPointRecord(path.c_str(), SerializeLasHeaderImage(header, image), image, 0);
}

} // namespace

void WriteSurvey(const std::string& path, const SurveyOptions& options,
                 const std::function<void(double)>& progress)
{
    Validate(options);
    // The survey is written beside the output and takes its place only when complete: a partial
    // survey would pass for a complete one with fewer points, and a failure must not cost an
    // existing file its contents.
    const std::string partPath = ReservePartFile(path);
    try
    {
        bool written = false;
        Generate(partPath, options, progress, written);
        if (::rename(partPath.c_str(), path.c_str()) != 0)
        {
            throw CLasException(LasMessage::kWriteFileCreate, FileProblem(path, errno));
        }
    }
    catch (const CLasException& error)
    {
        ::unlink(partPath.c_str());
        throw error.NamingFile(partPath, path);
    }
    catch (...)
    {
        ::unlink(partPath.c_str());
        throw;
    }
    if (progress)
    {
        progress(1.0);
    }
}

std::optional<std::uint32_t> ParsePointCount(std::string_view text)
{
    std::uint64_t whole = 0;
    std::uint64_t fraction = 0;
    std::uint64_t fractionScale = 1;
    std::size_t at = 0;
    std::size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits)
    {
        if (digits == 10)
        {
            return std::nullopt;
        }
        whole = whole * 10 + static_cast<std::uint64_t>(text[at] - '0');
    }
    std::size_t fractionDigits = 0;
    if (at < text.size() && text[at] == '.')
    {
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++fractionDigits)
        {
            if (fractionDigits == 9)
            {
                return std::nullopt;
            }
            fraction = fraction * 10 + static_cast<std::uint64_t>(text[at] - '0');
            fractionScale *= 10;
        }
    }
    if (digits + fractionDigits == 0)
    {
        return std::nullopt;
    }
    std::uint64_t multiplier = 1;
    if (at < text.size())
    {
        switch (text[at])
        {
        case 'k':
        case 'K':
            multiplier = 1000;
            break;
        case 'm':
        case 'M':
            multiplier = 1000000;
            break;
        case 'g':
        case 'G':
            multiplier = 1000000000;
            break;
        default:
            return std::nullopt;
        }
        ++at;
    }
    if (at != text.size() || (fraction * multiplier) % fractionScale != 0)
    {
        return std::nullopt;
    }
    const std::uint64_t value = whole * multiplier + fraction * multiplier / fractionScale;
    if (value > std::numeric_limits<std::uint32_t>::max())
    {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace telvora::lasgen
