// Every LAS file of the shared test data against the values an independent reader found in it.

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "LasCliTestSupport.h"

namespace telvora::lascli::test
{
namespace
{

namespace fs = std::filesystem;
using nlohmann::json;

struct ReferenceCase
{
    std::string name;
    fs::path file;
    fs::path reference;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReferenceCase& item, std::ostream* stream)
{
    *stream << item.file.filename().string();
}

std::vector<ReferenceCase> FindReferenceFiles()
{
    std::vector<ReferenceCase> cases;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(TestDataDir(), error))
    {
        const fs::path& reference = entry.path();
        if (reference.extension() != ".json")
        {
            continue;
        }
        fs::path file = reference;
        file.replace_extension();
        std::string name = file.filename().string();
        std::replace_if(
            name.begin(), name.end(),
            [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        cases.push_back({name, file, reference});
    }
    std::sort(cases.begin(), cases.end(),
              [](const ReferenceCase& a, const ReferenceCase& b) { return a.name < b.name; });
    return cases;
}

void ExpectSameDouble(double ours, double reference, const std::string& what)
{
    // Bit for bit: the sign of a zero offset is part of the file too.
    EXPECT_EQ(std::bit_cast<std::uint64_t>(ours), std::bit_cast<std::uint64_t>(reference))
        << what << ": " << ours << " vs " << reference;
}

std::uint64_t ParseHex(const std::string& text)
{
    return std::stoull(text.substr(text.rfind('x') == std::string::npos ? 0 : 2), nullptr, 16);
}

class ReferenceFileTest : public testing::TestWithParam<ReferenceCase>
{
protected:
    void SetUp() override
    {
        std::ifstream stream(GetParam().reference);
        reference = json::parse(stream);
        header = reference.at("header");
        // What the viewer opens, from the reference reader's findings: LAS 1.x, uncompressed
        // point formats 0 to 3, records at least their standard size, point data behind the
        // header and every declared record in the file.
        const json& points = reference.at("point_block");
        readable =
            header.at("file_signature") == "LASF" && header.at("version_major") == 1 &&
            !points.at("compressed").get<bool>() && points.at("base_format").get<unsigned>() <= 3 &&
            points.at("record_length") >= points.at("standard_size") &&
            points.at("offset") >= std::max(header.at("header_size").get<unsigned>(), 227u) &&
            points.at("records_complete_in_file") == points.at("records_declared");
    }

    json reference;
    json header;
    bool readable = false;
};

TEST_P(ReferenceFileTest, HeaderAndVlrsMatchReference)
{
    const CommandResult result = Info(GetParam().file, true);
    // Fewer records in the VLR block than declared are a warning, not a failure.
    EXPECT_EQ(result.exitCode, readable ? kExitOk : kExitFailure) << result.err;
    const json report = json::parse(result.out);
    EXPECT_EQ(report.at("readable"), readable);
    EXPECT_EQ(report.at("reason").is_string(), !readable);

    EXPECT_EQ(report.at("File Signature"), header.at("file_signature"));
    EXPECT_EQ(report.at("System Identifier"), header.at("system_identifier"));
    EXPECT_EQ(report.at("Generating Software"), header.at("generating_software"));

    const std::pair<const char*, const char*> integers[] = {
        {"File Source ID", "file_source_id"},
        {"Global Encoding", "global_encoding"},
        {"Project ID - GUID data 1", "project_id_guid_data_1"},
        {"Project ID - GUID data 2", "project_id_guid_data_2"},
        {"Project ID - GUID data 3", "project_id_guid_data_3"},
        {"Version Major", "version_major"},
        {"Version Minor", "version_minor"},
        {"File Creation Day of Year", "file_creation_day_of_year"},
        {"File Creation Year", "file_creation_year"},
        {"Header Size", "header_size"},
        {"Offset to point data", "offset_to_point_data"},
        {"Number of Variable Length Records", "number_of_variable_length_records"},
        {"Point Data Format ID", "point_data_format_id"},
        {"Point Data Record Length", "point_data_record_length"},
        {"Number of point records", "number_of_point_records"},
        {"Number of points by return", "number_of_points_by_return"}};
    for (const auto& [ours, theirs] : integers)
    {
        EXPECT_EQ(report.at(ours), header.at(theirs)) << ours;
    }

    const std::string guid4 = header.at("project_id_guid_data_4");
    json guidBytes = json::array();
    for (std::size_t i = 0; i < guid4.size(); i += 2)
    {
        guidBytes.push_back(std::stoul(guid4.substr(i, 2), nullptr, 16));
    }
    EXPECT_EQ(report.at("Project ID - GUID data 4"), guidBytes);

    const std::pair<const char*, const char*> doubles[] = {
        {"X scale factor", "x_scale_factor"}, {"Y scale factor", "y_scale_factor"},
        {"Z scale factor", "z_scale_factor"}, {"X offset value", "x_offset"},
        {"Y offset value", "y_offset"},       {"Z offset value", "z_offset"},
        {"Max X coordinate", "max_x"},        {"Min X coordinate", "min_x"},
        {"Max Y coordinate", "max_y"},        {"Min Y coordinate", "min_y"},
        {"Max Z coordinate", "max_z"},        {"Min Z coordinate", "min_z"}};
    for (const auto& [ours, theirs] : doubles)
    {
        ExpectSameDouble(report.at(ours).get<double>(), header.at(theirs).get<double>(), ours);
    }

    // The records that lie wholly inside the block, as the reference walks them.
    const json& block = reference.at("vlr_block");
    EXPECT_EQ(report.at("vlrs_declared"), block.at("records_declared"));
    EXPECT_EQ(report.at("vlrs_found"), block.at("records_walked"));
    EXPECT_EQ(Contains(result.err, "declared variable length records found"),
              block.at("records_walked") != block.at("records_declared"))
        << result.err;
    const json& expected = reference.at("vlrs");
    ASSERT_EQ(report.at("vlrs").size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
    {
        const json& ours = report.at("vlrs")[i];
        const json& theirs = expected[i];
        SCOPED_TRACE("VLR " + std::to_string(i));
        EXPECT_EQ(ours.at("Reserved"), theirs.at("reserved"));
        EXPECT_EQ(ours.at("User ID"), theirs.at("user_id"));
        EXPECT_EQ(ours.at("Record ID"), theirs.at("record_id"));
        EXPECT_EQ(ours.at("Record Length After Header"), theirs.at("record_length_after_header"));
        EXPECT_EQ(ours.at("Description"), theirs.at("description"));
    }
}

TEST_P(ReferenceFileTest, PointsMatchReference)
{
    if (!readable)
    {
        // Refused as the viewer refuses it, naming the file.
        const CommandResult result = Points(GetParam().file, PointSelection{{0}, {}, {}}, true);
        EXPECT_EQ(result.exitCode, kExitFailure);
        EXPECT_TRUE(Contains(result.err, GetParam().file.filename().string())) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
        return;
    }
    const std::pair<const char*, const char*> fields[] = {
        {"X", "X"},
        {"Y", "Y"},
        {"Z", "Z"},
        {"Intensity", "intensity"},
        {"Return Number", "return_number"},
        {"Number of Returns", "number_of_returns"},
        {"Scan Direction Flag", "scan_direction_flag"},
        {"Edge of Flight Line", "edge_of_flight_line"},
        {"Classification", "classification"},
        {"Scan Angle Rank", "scan_angle_rank"},
        {"User Data", "user_data"},
        {"Point Source ID", "point_source_id"},
        {"Red", "red"},
        {"Green", "green"},
        {"Blue", "blue"}};
    for (const json& expected : reference.at("points"))
    {
        const auto index = expected.at("index").get<std::uint32_t>();
        SCOPED_TRACE("record " + std::to_string(index));
        const CommandResult result = Points(GetParam().file, PointSelection{{index}, {}, {}}, true);
        const json records = json::parse(result.out);
        ASSERT_EQ(result.exitCode, kExitOk) << result.err;
        ASSERT_EQ(records.size(), 1u);
        const json& ours = records[0];
        EXPECT_EQ(ours.at("Index"), index);
        for (const auto& [name, key] : fields)
        {
            EXPECT_EQ(ours.at(name), expected.at(key)) << name;
        }
        ExpectSameDouble(ours.at("x").get<double>(), expected.at("x").get<double>(), "x");
        ExpectSameDouble(ours.at("y").get<double>(), expected.at("y").get<double>(), "y");
        ExpectSameDouble(ours.at("z").get<double>(), expected.at("z").get<double>(), "z");
        EXPECT_EQ(std::bit_cast<std::uint64_t>(ours.at("GPS Time").get<double>()),
                  ParseHex(expected.at("gps_time_bits")));
    }
}

TEST_P(ReferenceFileTest, StatsMatchReference)
{
    const CommandResult result = Info(GetParam().file, true, true);
    const json report = json::parse(result.out);
    // Whatever happens to the records, the header is reported.
    EXPECT_EQ(report.at("Number of point records"), header.at("number_of_point_records"));

    if (!readable)
    {
        EXPECT_EQ(result.exitCode, kExitFailure);
        EXPECT_TRUE(report.at("stats").is_null());
        EXPECT_TRUE(Contains(result.err, GetParam().file.filename().string())) << result.err;
        return;
    }
    EXPECT_EQ(result.exitCode, kExitOk) << result.err;
    const json& stats = report.at("stats");
    const json& expected = reference.at("aggregates");
    ASSERT_TRUE(stats.is_object());
    ASSERT_TRUE(expected.is_object());

    const auto records = expected.at("records").get<std::uint64_t>();
    EXPECT_EQ(stats.at("Records"), records);
    const std::pair<const char*, const char*> bounds[] = {{"Min x", "x_min"}, {"Max x", "x_max"},
                                                          {"Min y", "y_min"}, {"Max y", "y_max"},
                                                          {"Min z", "z_min"}, {"Max z", "z_max"}};
    const std::pair<const char*, const char*> ranges[] = {
        {"Min Intensity", "intensity_min"},
        {"Max Intensity", "intensity_max"},
        {"Min |Scan Angle Rank|", "abs_scan_angle_rank_min"},
        {"Max |Scan Angle Rank|", "abs_scan_angle_rank_max"}};
    if (records == 0)
    {
        for (const auto& [ours, theirs] : bounds)
        {
            EXPECT_TRUE(stats.at(ours).is_null()) << ours;
        }
        for (const auto& [ours, theirs] : ranges)
        {
            EXPECT_TRUE(stats.at(ours).is_null()) << ours;
        }
    }
    else
    {
        for (const auto& [ours, theirs] : bounds)
        {
            const double value = stats.at(ours).get<double>();
            // The bounds are those of the viewer's floats, printed exactly.
            EXPECT_EQ(static_cast<double>(static_cast<float>(value)), value) << ours;
            EXPECT_EQ(static_cast<float>(value),
                      static_cast<float>(expected.at(theirs).get<double>()))
                << ours;
        }
        for (const auto& [ours, theirs] : ranges)
        {
            EXPECT_EQ(stats.at(ours), expected.at(theirs)) << ours;
        }
    }

    json returns = json::array();
    for (int number = 0; number < 8; ++number)
    {
        returns.push_back(expected.at("return_number_histogram").value(std::to_string(number), 0u));
    }
    EXPECT_EQ(stats.at("Points by return number"), returns);
    EXPECT_EQ(stats.at("Classification histogram"), expected.at("classification_histogram"));
}

INSTANTIATE_TEST_SUITE_P(Testdata, ReferenceFileTest, testing::ValuesIn(FindReferenceFiles()),
                         [](const testing::TestParamInfo<ReferenceCase>& param)
                         { return param.param.name; });
// Without the shared folder there is nothing to instantiate;
// ReferenceFiles.EveryFileHasItsReference reports the skip.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ReferenceFileTest);

TEST(ReferenceFiles, EveryFileHasItsReference)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    const std::vector<ReferenceCase> cases = FindReferenceFiles();
    EXPECT_FALSE(cases.empty());
    for (const ReferenceCase& item : cases)
    {
        EXPECT_TRUE(fs::exists(item.file)) << item.file;
    }
}

} // namespace
} // namespace telvora::lascli::test
