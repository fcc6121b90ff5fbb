#include "telvora-lasgen/SurveyGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "LasgenTestSupport.h"
#include "TestFiles.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/LasFileCheck.h"
#include "las/LasHeader.h"

namespace telvora::lasgen
{
namespace
{

using telvora::test::TempDir;
using test::ReadBack;
using test::ReadSurvey;
using test::Record;
using test::SplitPulses;

ReadBack Generate(const TempDir& dir, const std::string& name, const SurveyOptions& options)
{
    const std::string path = dir.File(name);
    WriteSurvey(path, options);
    return ReadSurvey(path);
}

// Header bounds, return counts and record count against the records themselves.
void ExpectHeaderMatchesRecords(const ReadBack& survey)
{
    const LasHeader& h = survey.header;
    ASSERT_EQ(survey.records.size(), h.numberOfPointRecords);
    ASSERT_FALSE(survey.records.empty());

    std::array<std::int32_t, 3> low{survey.records[0].x, survey.records[0].y, survey.records[0].z};
    std::array<std::int32_t, 3> high = low;
    std::uint32_t byReturn[5] = {};
    for (const Record& r : survey.records)
    {
        low = {std::min(low[0], r.x), std::min(low[1], r.y), std::min(low[2], r.z)};
        high = {std::max(high[0], r.x), std::max(high[1], r.y), std::max(high[2], r.z)};
        ASSERT_GE(r.returnNumber, 1);
        ASSERT_LE(r.returnNumber, 5);
        ++byReturn[r.returnNumber - 1];
    }
    // Exactly: a reader computes the same products and sums from the same integers.
    EXPECT_EQ(h.minX, low[0] * h.xScaleFactor + h.xOffset);
    EXPECT_EQ(h.maxX, high[0] * h.xScaleFactor + h.xOffset);
    EXPECT_EQ(h.minY, low[1] * h.yScaleFactor + h.yOffset);
    EXPECT_EQ(h.maxY, high[1] * h.yScaleFactor + h.yOffset);
    EXPECT_EQ(h.minZ, low[2] * h.zScaleFactor + h.zOffset);
    EXPECT_EQ(h.maxZ, high[2] * h.zScaleFactor + h.zOffset);
    for (int k = 0; k < 5; ++k)
    {
        EXPECT_EQ(h.numberOfPointsByReturn[k], byReturn[k]) << "return " << k + 1;
    }
}

class LasgenLayout : public ::testing::TestWithParam<std::tuple<int, int>>
{
protected:
    TempDir dir;
};

TEST_P(LasgenLayout, HeaderVlrsAndRecordsAgree)
{
    const auto [minor, format] = GetParam();
    SurveyOptions options;
    options.versionMinor = static_cast<std::uint8_t>(minor);
    options.format = static_cast<std::uint8_t>(format);
    options.points = 3000;
    options.seed = 7;
    options.vlrs = 3;
    options.extraBytes = 5;
    const std::string path = dir.File("layout.las");
    WriteSurvey(path, options);
    const ReadBack survey = ReadSurvey(path);
    const LasHeader& h = survey.header;

    EXPECT_EQ(std::string(h.fileSignature, 4), "LASF");
    EXPECT_EQ(h.versionMajor, 1);
    EXPECT_EQ(h.versionMinor, minor);
    EXPECT_EQ(h.pointDataFormatId, format);
    EXPECT_EQ(h.headerSize, 227);
    EXPECT_EQ(h.pointDataRecordLength, StandardRecordSize(static_cast<unsigned>(format)) + 5);
    EXPECT_EQ(h.numberOfPointRecords, 3000u);
    EXPECT_EQ(h.numberOfVariableLengthRecords, 3u);
    EXPECT_EQ(h.xScaleFactor, 0.01);
    EXPECT_STREQ(std::string(h.generatingSoftware, 32).c_str(), "telvora-lasgen");
    EXPECT_EQ(survey.bytes.size(),
              h.offsetToPointData + std::size_t{3000} * h.pointDataRecordLength);

    // The records fill the block up to the offset, less the LAS 1.0 signature behind them.
    CLasFile file;
    file.SetPath(path.c_str());
    file.ReadHeader();
    unsigned char** vlrs = file.ReadVariableLengthRecords();
    ASSERT_NE(vlrs, nullptr);
    std::size_t end = 227;
    for (std::uint16_t k = 0; k < 3; ++k)
    {
        const LasVlrHeader vlr = ParseLasVlrHeader(vlrs[k]);
        EXPECT_STREQ(std::string(vlr.userId, 16).c_str(), "TELVORA");
        EXPECT_EQ(vlr.recordId, k + 1);
        EXPECT_EQ(vlr.reserved, minor == 0 ? 0xAABB : 0);
        EXPECT_GT(vlr.recordLengthAfterHeader, 0);
        end = static_cast<std::size_t>(vlrs[k] - vlrs[0]) + 227 + LasVlrHeader::kImageSize +
              vlr.recordLengthAfterHeader;
    }
    const std::string description(reinterpret_cast<const char*>(vlrs[0]) + 54);
    EXPECT_NE(description.find("3000 points"), std::string::npos) << description;
    ReleaseVlrTable(vlrs);
    EXPECT_EQ(end + (minor == 0 ? 2 : 0), h.offsetToPointData);
    if (minor == 0)
    {
        EXPECT_EQ(survey.bytes[h.offsetToPointData - 2], 0xDD);
        EXPECT_EQ(survey.bytes[h.offsetToPointData - 1], 0xCC);
    }

    ExpectHeaderMatchesRecords(survey);

    // The library's own reader sees the same records, and the extra bytes stay zero.
    std::unique_ptr<LASPoint> last(file.ReadPoint(2999));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->GetZ(), survey.records.back().z);
    EXPECT_EQ(last->GetClassification(), survey.records.back().classification);
    std::size_t nonZeroExtra = 0;
    for (std::size_t i = 0; i < 3000; ++i)
    {
        const std::size_t at = h.offsetToPointData + (i + 1) * h.pointDataRecordLength - 5;
        nonZeroExtra += static_cast<std::size_t>(
            std::count_if(survey.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          survey.bytes.begin() + static_cast<std::ptrdiff_t>(at + 5),
                          [](unsigned char b) { return b != 0; }));
    }
    EXPECT_EQ(nonZeroExtra, 0u);

    const bool hasTime = format == 1 || format == 3;
    const bool hasColour = format == 2 || format == 3;
    std::uint16_t brightest = 0;
    std::set<std::uint16_t> reds;
    for (std::size_t i = 1; i < survey.records.size(); ++i)
    {
        const Record& a = survey.records[i - 1];
        const Record& b = survey.records[i];
        if (hasTime)
        {
            // Returns of one pulse share its time; the next pulse comes later.
            if (b.returnNumber == 1)
            {
                ASSERT_GT(b.time, a.time) << "record " << i;
            }
            else
            {
                ASSERT_EQ(b.time, a.time) << "record " << i;
            }
        }
        brightest = std::max({brightest, b.red, b.green, b.blue});
        reds.insert(b.red);
    }
    if (hasTime)
    {
        EXPECT_GT(survey.records.front().time, 250000.0);
    }
    if (hasColour)
    {
        EXPECT_GT(brightest, 255) << "colours use the whole 16-bit range";
        EXPECT_GT(reds.size(), 10u);
    }
}

INSTANTIATE_TEST_SUITE_P(VersionsAndFormats, LasgenLayout,
                         ::testing::Combine(::testing::Values(0, 1, 2),
                                            ::testing::Values(0, 1, 2, 3)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& param)
                         {
                             return "Las1" + std::to_string(std::get<0>(param.param)) + "Format" +
                                    std::to_string(std::get<1>(param.param));
                         });

// Newer formats carry the same survey: every record's coordinates, intensity, classification and
// GPS time are those of the format-1 survey of the same seed, at the offsets of their format.
TEST(Lasgen, NewerFormatsCarryTheSameSurveyAtTheirOffsets)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 500;
    options.seed = 3;
    options.extraBytes = 3;
    const std::string basePath = dir.File("base.las");
    WriteSurvey(basePath, options);
    const std::vector<unsigned char> base = telvora::test::ReadAll(basePath);
    // version, format, header size, record length (with 3 extra bytes), class byte, GPS time
    struct Row
    {
        int minor, format;
        std::size_t headerSize, recordLength, classByte, time;
    };
    const Row rows[] = {{3, 4, 235, 60, 15, 20}, {3, 5, 235, 66, 15, 20}, {4, 1, 375, 31, 15, 20},
                        {4, 6, 375, 33, 16, 22}, {4, 7, 375, 39, 16, 22}, {4, 8, 375, 41, 16, 22},
                        {4, 9, 375, 62, 16, 22}, {4, 10, 375, 70, 16, 22}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.format);
        options.versionMinor = static_cast<std::uint8_t>(row.minor);
        options.format = static_cast<std::uint8_t>(row.format);
        const std::string path = dir.File("f" + std::to_string(row.format) + ".las");
        WriteSurvey(path, options);
        const std::vector<unsigned char> bytes = telvora::test::ReadAll(path);
        const LasHeader h = ReadCheckedLasHeader(path.c_str());
        EXPECT_EQ(h.headerSize, row.headerSize);
        EXPECT_EQ(h.offsetToPointData, row.headerSize);
        EXPECT_EQ(h.pointDataRecordLength, row.recordLength);
        // LAS 1.4 counts with 64 bits, and with 32 only for the formats older readers know.
        EXPECT_EQ(h.numberOfPointRecords, row.format >= 6 ? 0u : 500u);
        EXPECT_EQ(h.extendedNumberOfPointRecords, row.minor == 4 ? 500u : 0u);
        std::uint64_t counted = 0;
        for (const std::uint64_t n : h.extendedNumberOfPointsByReturn)
        {
            counted += n;
        }
        EXPECT_EQ(counted, row.minor == 4 ? 500u : 0u);
        ASSERT_EQ(bytes.size(), row.headerSize + 500 * row.recordLength);
        for (std::size_t i = 0; i < 500; ++i)
        {
            const unsigned char* r = bytes.data() + row.headerSize + i * row.recordLength;
            const unsigned char* b = base.data() + 227 + i * 31;
            ASSERT_EQ(std::memcmp(r, b, 14), 0) << i;
            ASSERT_EQ(r[row.classByte], b[15]) << i;
            ASSERT_EQ(std::memcmp(r + row.time, b + 20, 8), 0) << i;
            if (row.format >= 6)
            {
                // The angle in 0.006-degree steps rounds to the rank.
                const auto steps = static_cast<std::int16_t>(r[18] | r[19] << 8);
                ASSERT_EQ(std::lround(steps * 0.006), static_cast<std::int8_t>(b[16])) << i;
            }
        }
    }
}

TEST(Lasgen, PointsStartRightAfterTheHeaderWithoutVlrs)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 500;
    for (const std::uint8_t minor : {0, 1, 2})
    {
        options.versionMinor = minor;
        const ReadBack survey = Generate(dir, "plain.las", options);
        if (minor == 0)
        {
            ASSERT_EQ(survey.header.offsetToPointData, 229u);
            EXPECT_EQ(survey.bytes[227], 0xDD);
            EXPECT_EQ(survey.bytes[228], 0xCC);
        }
        else
        {
            EXPECT_EQ(survey.header.offsetToPointData, 227u);
        }
        EXPECT_EQ(survey.header.numberOfVariableLengthRecords, 0u);
        EXPECT_EQ(survey.records.size(), 500u);
    }
}

TEST(Lasgen, EmptyAndSinglePointSurveys)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 0;
    options.format = 3;
    const ReadBack empty = Generate(dir, "empty.las", options);
    EXPECT_EQ(empty.header.numberOfPointRecords, 0u);
    EXPECT_EQ(empty.bytes.size(), empty.header.offsetToPointData);
    EXPECT_EQ(empty.header.numberOfPointsByReturn[0], 0u);

    options.points = 1;
    const ReadBack single = Generate(dir, "single.las", options);
    ASSERT_EQ(single.records.size(), 1u);
    EXPECT_EQ(single.records[0].returnNumber, 1);
    EXPECT_EQ(single.header.minX, single.header.maxX);
    EXPECT_EQ(single.header.minZ, single.header.maxZ);
    ExpectHeaderMatchesRecords(single);
}

TEST(Lasgen, SameOptionsGiveTheSameBytes)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 20000;
    options.format = 3;
    options.vlrs = 2;
    options.seed = 42;
    WriteSurvey(dir.File("a.las"), options);
    WriteSurvey(dir.File("b.las"), options);
    options.seed = 43;
    WriteSurvey(dir.File("c.las"), options);

    const auto a = telvora::test::ReadAll(dir.File("a.las"));
    const auto b = telvora::test::ReadAll(dir.File("b.las"));
    const auto c = telvora::test::ReadAll(dir.File("c.las"));
    EXPECT_TRUE(a == b);
    ASSERT_GT(a.size(), 10000u);
    ASSERT_GT(c.size(), 10000u);
    // Another seed is another landscape, not just another header.
    const std::size_t tail = std::size_t{20000} * 34;
    EXPECT_FALSE(std::equal(a.end() - static_cast<std::ptrdiff_t>(tail), a.end(),
                            c.end() - static_cast<std::ptrdiff_t>(tail)));
}

TEST(Lasgen, StripsAreFlownOneAfterAnotherInAlternateDirections)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 1700000; // an area wide enough for more than one strip
    options.format = 1;
    const ReadBack survey = Generate(dir, "strips.las", options);

    struct Strip
    {
        double firstTime = 0.0;
        double lastTime = 0.0;
        double firstY = 0.0;
        double lastY = 0.0;
    };
    std::map<std::uint16_t, Strip> strips;
    double previous = 0.0;
    for (const Record& r : survey.records)
    {
        if (r.returnNumber != 1)
        {
            continue;
        }
        ASSERT_GT(r.time, previous);
        previous = r.time;
        const auto [it, added] = strips.try_emplace(r.source);
        if (added)
        {
            it->second.firstTime = r.time;
            it->second.firstY = survey.Y(r);
        }
        it->second.lastTime = r.time;
        it->second.lastY = survey.Y(r);
    }
    ASSERT_GE(strips.size(), 2u);
    EXPECT_EQ(strips.begin()->first, 1);
    EXPECT_EQ(strips.rbegin()->first, strips.size());
    for (auto it = std::next(strips.begin()); it != strips.end(); ++it)
    {
        const Strip& before = std::prev(it)->second;
        const Strip& strip = it->second;
        EXPECT_GT(strip.firstTime - before.lastTime, 30.0) << "a turn between strips";
        // Odd strips fly north, even ones south.
        if (it->first % 2 == 0)
        {
            EXPECT_LT(strip.lastY, strip.firstY - 100.0);
        }
        else
        {
            EXPECT_GT(strip.lastY, strip.firstY + 100.0);
        }
    }
    EXPECT_GT(strips[1].lastY, strips[1].firstY + 400.0);
}

TEST(Lasgen, OriginPlacesTheSurveyedArea)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 5000;
    options.originX = 312345.0;
    options.originY = 4123456.0;
    const ReadBack survey = Generate(dir, "origin.las", options);
    const LasHeader& h = survey.header;
    // The outer strips' swaths reach a little beyond the corner.
    EXPECT_GT(h.minX, options.originX - 60.0);
    EXPECT_LT(h.minX, options.originX + 10.0);
    EXPECT_GT(h.minY, options.originY - 10.0);
    EXPECT_LT(h.minY, options.originY + 10.0);
    EXPECT_EQ(std::fmod(h.xOffset, 1000.0), 0.0);
    EXPECT_EQ(std::fmod(h.yOffset, 1000.0), 0.0);
    EXPECT_LT(std::fabs(h.xOffset - options.originX), 1000.0);
}

TEST(Lasgen, ReportsProgressAboutAHundredTimes)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 12345;
    std::vector<double> reported;
    WriteSurvey(dir.File("progress.las"), options, [&](double f) { reported.push_back(f); });
    ASSERT_FALSE(reported.empty());
    EXPECT_GE(reported.size(), 90u);
    EXPECT_LE(reported.size(), 110u);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_GE(reported.front(), 0.0);
    EXPECT_EQ(reported.back(), 1.0);
}

TEST(Lasgen, RejectsBadOptionsWithoutTouchingThePath)
{
    TempDir dir;
    const std::string path = dir.File("bad.las");
    const auto rejected = [&](SurveyOptions options)
    {
        EXPECT_THROW(WriteSurvey(path, options), std::invalid_argument);
        EXPECT_FALSE(std::filesystem::exists(path));
    };
    SurveyOptions options;
    options.points = 100;

    // Formats newer than the version: 4 and 5 came with LAS 1.3, 6 to 10 with 1.4.
    SurveyOptions bad = options;
    bad.format = 4;
    rejected(bad);
    bad.versionMinor = 3;
    bad.format = 6;
    rejected(bad);
    bad = options;
    bad.format = 11;
    bad.versionMinor = 4;
    rejected(bad);
    bad = options;
    bad.versionMinor = 5;
    rejected(bad);
    bad = options;
    bad.vlrs = 70000;
    rejected(bad);
    bad = options;
    bad.format = 3;
    bad.extraBytes = 65535 - 33;
    rejected(bad);
    bad = options;
    bad.originX = std::nan("");
    rejected(bad);
    bad = options;
    bad.originY = 1e12;
    rejected(bad);

    // The largest record that still fits.
    bad = options;
    bad.format = 3;
    bad.extraBytes = 65535 - 34;
    bad.points = 3;
    EXPECT_NO_THROW(WriteSurvey(path, bad));
}

TEST(Lasgen, WriteFailureThrowsLasException)
{
    TempDir dir;
    SurveyOptions options;
    options.points = 100;
    const std::string path = (dir.Path() / "missing" / "out.las").string();
    try
    {
        WriteSurvey(path, options);
        FAIL() << "no exception";
    }
    catch (const CLasException& e)
    {
        EXPECT_STREQ(e.GetErrorText(), "WriteError::File could not be created.");
        EXPECT_EQ(e.GetDetail(), path + ": no such file or folder");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Lasgen, ParsesPointCounts)
{
    EXPECT_EQ(ParsePointCount("0"), 0u);
    EXPECT_EQ(ParsePointCount("250000"), 250000u);
    EXPECT_EQ(ParsePointCount("2.5k"), 2500u);
    EXPECT_EQ(ParsePointCount("10M"), 10000000u);
    EXPECT_EQ(ParsePointCount("1.25m"), 1250000u);
    EXPECT_EQ(ParsePointCount("4G"), 4000000000u);
    EXPECT_EQ(ParsePointCount("4294967295"), 4294967295u);
    EXPECT_EQ(ParsePointCount(".5k"), 500u);

    EXPECT_EQ(ParsePointCount(""), std::nullopt);
    EXPECT_EQ(ParsePointCount("k"), std::nullopt);
    EXPECT_EQ(ParsePointCount("-5"), std::nullopt);
    EXPECT_EQ(ParsePointCount("1.5"), std::nullopt) << "half a point";
    EXPECT_EQ(ParsePointCount("1.0005k"), std::nullopt);
    EXPECT_EQ(ParsePointCount("4294967296"), std::nullopt);
    EXPECT_EQ(ParsePointCount("5G"), std::nullopt);
    EXPECT_EQ(ParsePointCount("10MM"), std::nullopt);
    EXPECT_EQ(ParsePointCount("10 M"), std::nullopt);
    EXPECT_EQ(ParsePointCount("1e6"), std::nullopt);
    EXPECT_EQ(ParsePointCount("99999999999999999999"), std::nullopt);
}

// One survey large enough to hold every kind of surface, generated once for the checks of what
// its data look like.
class LasgenSurvey : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new TempDir;
        SurveyOptions options;
        options.points = 200000;
        options.format = 3;
        options.seed = 1;
        survey = new ReadBack(Generate(*folder, "survey.las", options));
    }
    static void TearDownTestSuite()
    {
        delete survey;
        delete folder;
        survey = nullptr;
        folder = nullptr;
    }

    // The mean height of the ground returns in each cell of the given size, keyed by cell: the
    // ground level to measure heights from, on slopes too when the cells are small.
    static std::map<std::pair<long, long>, double> GroundLevel(double cell)
    {
        std::map<std::pair<long, long>, std::pair<double, int>> sums;
        for (const Record& r : survey->records)
        {
            if (r.classification == 2)
            {
                auto& sum = sums[Cell(r, cell)];
                sum.first += survey->Z(r);
                ++sum.second;
            }
        }
        std::map<std::pair<long, long>, double> level;
        for (const auto& [key, sum] : sums)
        {
            level[key] = sum.first / sum.second;
        }
        return level;
    }
    static std::pair<long, long> Cell(const Record& r, double cell)
    {
        return {std::lround(std::floor(survey->X(r) / cell)),
                std::lround(std::floor(survey->Y(r) / cell))};
    }

    static TempDir* folder;
    static ReadBack* survey;
};

TempDir* LasgenSurvey::folder = nullptr;
ReadBack* LasgenSurvey::survey = nullptr;

TEST_F(LasgenSurvey, HeaderMatchesRecords)
{
    ExpectHeaderMatchesRecords(*survey);
}

TEST_F(LasgenSurvey, EveryClassFromOneToNineOccurs)
{
    std::map<int, std::size_t> counts;
    for (const Record& r : survey->records)
    {
        ++counts[r.classification];
    }
    for (int c = 1; c <= 9; ++c)
    {
        EXPECT_GT(counts[c], 0u) << "class " << c;
    }
    EXPECT_EQ(counts.size(), 9u);
    // Open ground dominates, model key points are a thin subset of it.
    EXPECT_GT(counts[2], survey->records.size() / 3);
    EXPECT_LT(counts[8], counts[2] / 5);
}

TEST_F(LasgenSurvey, PulsesHaveConsistentReturns)
{
    const auto pulses = SplitPulses(survey->records);
    std::map<int, std::size_t> byCount;
    for (std::size_t p = 0; p < pulses.size(); ++p)
    {
        const Record& first = survey->records[pulses[p].first];
        ASSERT_EQ(first.returnNumber, 1);
        const bool last = p + 1 == pulses.size();
        // Only the file's last pulse may have lost returns to the record count.
        if (last)
        {
            ASSERT_LE(pulses[p].count, first.returns);
        }
        else
        {
            ASSERT_EQ(pulses[p].count, first.returns) << "pulse at record " << pulses[p].first;
        }
        for (std::size_t k = 0; k < pulses[p].count; ++k)
        {
            const Record& r = survey->records[pulses[p].first + k];
            ASSERT_EQ(r.returnNumber, k + 1);
            ASSERT_EQ(r.returns, first.returns);
            ASSERT_EQ(r.time, first.time);
            ASSERT_EQ(r.direction, first.direction);
            ASSERT_EQ(r.edge, first.edge);
            ASSERT_EQ(r.angle, first.angle);
            ASSERT_EQ(r.source, first.source);
            // Later returns come from further down.
            if (k > 0)
            {
                ASSERT_LT(survey->Z(r), survey->Z(survey->records[pulses[p].first + k - 1]));
            }
        }
        ++byCount[first.returns];
    }
    EXPECT_GT(byCount[1], pulses.size() / 2);
    EXPECT_GT(byCount[2], 0u);
    EXPECT_GT(byCount[3], 0u);
    EXPECT_GT(byCount[4], 0u);
    EXPECT_EQ(byCount.count(5), 0u);

    // Multiple returns come from vegetation (or eaves), and end lowest.
    std::size_t vegetationFirst = 0;
    std::size_t multiple = 0;
    for (const auto& pulse : pulses)
    {
        const Record& first = survey->records[pulse.first];
        if (first.returns > 1)
        {
            ++multiple;
            vegetationFirst += first.classification >= 3 && first.classification <= 5;
        }
    }
    EXPECT_GT(vegetationFirst, multiple * 9 / 10);
}

TEST_F(LasgenSurvey, ScanLinesSweepBackAndForthEndingAtEdges)
{
    const auto pulses = SplitPulses(survey->records);
    std::size_t lines = 0;
    std::size_t lineStart = 0;
    int previousDirection = -1;
    std::uint16_t previousSource = 0;
    for (std::size_t p = 0; p < pulses.size(); ++p)
    {
        const Record& pulse = survey->records[pulses[p].first];
        const Record& start = survey->records[pulses[lineStart].first];
        ASSERT_EQ(pulse.direction, start.direction) << "pulse " << p;
        ASSERT_LE(std::abs(pulse.angle), 20);
        if (p > lineStart)
        {
            // Forward lines sweep from negative to positive angles, backward lines return.
            const Record& before = survey->records[pulses[p - 1].first];
            if (pulse.direction == 1)
            {
                ASSERT_GE(pulse.angle, before.angle);
            }
            else
            {
                ASSERT_LE(pulse.angle, before.angle);
            }
        }
        if (pulse.edge == 1)
        {
            if (previousDirection >= 0)
            {
                ASSERT_NE(start.direction, previousDirection) << "line ending at pulse " << p;
            }
            EXPECT_GE(std::abs(pulse.angle), 18);
            EXPECT_GE(std::abs(start.angle), 15);
            ASSERT_GE(pulse.source, previousSource);
            previousDirection = start.direction;
            previousSource = pulse.source;
            lineStart = p + 1;
            ++lines;
        }
    }
    EXPECT_GT(lines, 100u);
    EXPECT_GE(survey->records.front().source, 1);
}

TEST_F(LasgenSurvey, WaterIsFlatAndLowPointsLieBelowTheGround)
{
    std::map<std::pair<long, long>, std::pair<double, double>> water;
    for (const Record& r : survey->records)
    {
        if (r.classification == 9)
        {
            auto [it, added] = water.try_emplace(Cell(r, 5.0), survey->Z(r), survey->Z(r));
            it->second.first = std::min(it->second.first, survey->Z(r));
            it->second.second = std::max(it->second.second, survey->Z(r));
            EXPECT_EQ(r.returns, 1);
        }
    }
    ASSERT_FALSE(water.empty());
    for (const auto& [cell, range] : water)
    {
        EXPECT_LT(range.second - range.first, 0.15);
    }

    const auto ground = GroundLevel(2.0);
    std::size_t compared = 0;
    for (const Record& r : survey->records)
    {
        const auto found = ground.find(Cell(r, 2.0));
        if (r.classification == 7 && found != ground.end())
        {
            EXPECT_LT(survey->Z(r), found->second - 1.0);
            ++compared;
        }
    }
    EXPECT_GT(compared, 0u);
}

TEST_F(LasgenSurvey, ClassesFollowHeightAboveGround)
{
    const auto ground = GroundLevel(2.0);
    std::map<int, std::pair<double, std::size_t>> sums;
    for (const Record& r : survey->records)
    {
        const auto found = ground.find(Cell(r, 2.0));
        if (found == ground.end())
        {
            continue;
        }
        const double above = survey->Z(r) - found->second;
        // The classes split at 2 and 5 m; the cells' mean ground is off by a few decimetres.
        switch (r.classification)
        {
        case 3:
            EXPECT_LT(above, 2.8);
            break;
        case 4:
            EXPECT_GT(above, 1.2);
            EXPECT_LT(above, 5.8);
            break;
        case 5:
            EXPECT_GT(above, 4.2);
            break;
        case 6:
            EXPECT_GT(above, 2.0) << "walls are at least 2.8 m high";
            break;
        default:
            break;
        }
        sums[r.classification].first += above;
        ++sums[r.classification].second;
    }
    const auto mean = [&](int c) { return sums[c].first / static_cast<double>(sums[c].second); };
    EXPECT_LT(mean(3), mean(4));
    EXPECT_LT(mean(4), mean(5));
    EXPECT_LT(mean(2), 0.5);
}

TEST_F(LasgenSurvey, IntensityAndColourArePlausible)
{
    std::map<int, std::vector<std::uint16_t>> intensities;
    std::size_t below4096 = 0;
    std::uint16_t brightest = 0;
    for (const Record& r : survey->records)
    {
        intensities[r.classification].push_back(r.intensity);
        below4096 += r.intensity < 4096;
        brightest = std::max({brightest, r.red, r.green, r.blue});
    }
    const auto median = [&](int c)
    {
        auto& v = intensities[c];
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    EXPECT_LT(median(9), median(5)) << "water is darker than trees";
    EXPECT_LT(median(5), median(2)) << "trees are darker than open ground";
    EXPECT_LT(median(5), median(6)) << "trees are darker than roofs";
    EXPECT_GT(below4096, survey->records.size() * 99 / 100);
    EXPECT_GT(brightest, 128 * 257);
}

} // namespace
} // namespace telvora::lasgen
