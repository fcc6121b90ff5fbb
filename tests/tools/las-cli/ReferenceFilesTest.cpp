// Every LAS file of the shared test data against the values an independent reader found in it.

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
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

// Little-endian fields of a record, read byte by byte.
std::uint64_t Unsigned(const std::string& bytes, std::size_t at, int width)
{
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
    {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

std::int64_t Signed(const std::string& bytes, std::size_t at, int width)
{
    const std::uint64_t value = Unsigned(bytes, at, width);
    const std::uint64_t sign = std::uint64_t{1} << (8 * width - 1);
    return static_cast<std::int64_t>(value ^ sign) - static_cast<std::int64_t>(sign);
}

// The reference reader lists neither points nor aggregates of a LAS 1.4 file: they are decoded
// here from the record bytes, at the offsets of point format 6 (a 30-byte record) written out.
void DecodeFormatSix(const fs::path& file, json& reference)
{
    std::ifstream stream(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(stream)),
                            std::istreambuf_iterator<char>());
    const json& header = reference.at("header");
    const auto offset = header.at("offset_to_point_data").get<std::size_t>();
    const auto count = reference.at("header_extension").at("number_of_point_records_64");
    json points = json::array();
    json aggregates = {{"records", count},
                       {"classification_histogram", json::object()},
                       {"return_number_histogram", json::object()}};
    for (std::size_t i = 0; i < count.get<std::size_t>(); ++i)
    {
        const std::size_t at = offset + i * 30;
        json point = {{"index", i}};
        const char* axes[3] = {"X", "Y", "Z"};
        const char* scaled[3] = {"x", "y", "z"};
        const char* scales[3] = {"x_scale_factor", "y_scale_factor", "z_scale_factor"};
        const char* offsets[3] = {"x_offset", "y_offset", "z_offset"};
        for (std::size_t axis = 0; axis < 3; ++axis)
        {
            const std::int64_t raw = Signed(bytes, at + 4 * axis, 4);
            const double value = static_cast<double>(raw) * header.at(scales[axis]).get<double>() +
                                 header.at(offsets[axis]).get<double>();
            point[axes[axis]] = raw;
            point[scaled[axis]] = value;
            const std::string low = std::string(scaled[axis]) + "_min";
            const std::string high = std::string(scaled[axis]) + "_max";
            aggregates[low] = i == 0 ? value : std::min(aggregates[low].get<double>(), value);
            aggregates[high] = i == 0 ? value : std::max(aggregates[high].get<double>(), value);
        }
        const std::uint64_t intensity = Unsigned(bytes, at + 12, 2);
        const std::uint64_t returns = Unsigned(bytes, at + 14, 1);
        const std::uint64_t flags = Unsigned(bytes, at + 15, 1);
        const std::uint64_t classification = Unsigned(bytes, at + 16, 1);
        const std::int64_t angle = Signed(bytes, at + 18, 2);
        // Whole degrees of 0.006-degree steps, halves away from zero.
        const std::int64_t rank = (angle * 6 + (angle < 0 ? -500 : 500)) / 1000;
        char gpsBits[24];
        std::snprintf(gpsBits, sizeof gpsBits, "0x%016llx",
                      static_cast<unsigned long long>(Unsigned(bytes, at + 22, 8)));
        point.update({{"intensity", intensity},
                      {"return_number", returns & 15},
                      {"number_of_returns", returns >> 4},
                      {"synthetic", flags & 1},
                      {"key_point", (flags >> 1) & 1},
                      {"withheld", (flags >> 2) & 1},
                      {"overlap", (flags >> 3) & 1},
                      {"scanner_channel", (flags >> 4) & 3},
                      {"scan_direction_flag", (flags >> 6) & 1},
                      {"edge_of_flight_line", flags >> 7},
                      {"classification", classification},
                      {"user_data", Unsigned(bytes, at + 17, 1)},
                      {"scan_angle", angle},
                      {"scan_angle_rank", rank},
                      {"point_source_id", Unsigned(bytes, at + 20, 2)},
                      {"gps_time_bits", gpsBits},
                      {"red", 0},
                      {"green", 0},
                      {"blue", 0}});
        const std::int64_t magnitude = rank < 0 ? -rank : rank;
        const std::pair<const char*, std::int64_t> ranges[] = {
            {"intensity", static_cast<std::int64_t>(intensity)},
            {"abs_scan_angle_rank", magnitude}};
        for (const auto& [name, value] : ranges)
        {
            const std::string low = std::string(name) + "_min";
            const std::string high = std::string(name) + "_max";
            aggregates[low] = i == 0 ? value : std::min(aggregates[low].get<std::int64_t>(), value);
            aggregates[high] =
                i == 0 ? value : std::max(aggregates[high].get<std::int64_t>(), value);
        }
        json& byClass = aggregates["classification_histogram"][std::to_string(classification)];
        byClass = byClass.is_null() ? 1 : byClass.get<int>() + 1;
        json& byReturn = aggregates["return_number_histogram"][std::to_string(returns & 15)];
        byReturn = byReturn.is_null() ? 1 : byReturn.get<int>() + 1;
        points.push_back(std::move(point));
    }
    reference["points"] = std::move(points);
    reference["aggregates"] = std::move(aggregates);
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
        // point formats 0 to 10, records at least their standard size, point data behind the
        // header and every declared record in the file.
        const json& points = reference.at("point_block");
        readable =
            header.at("file_signature") == "LASF" && header.at("version_major") == 1 &&
            !points.at("compressed").get<bool>() &&
            points.at("base_format").get<unsigned>() <= 10 &&
            points.at("record_length") >= points.at("standard_size") &&
            points.at("offset") >= std::max(header.at("header_size").get<unsigned>(), 227u) &&
            points.at("records_complete_in_file") == points.at("records_declared");
        if (readable && points.at("base_format") == 6 && reference.at("points").empty())
        {
            DecodeFormatSix(GetParam().file, reference);
        }
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

    // What LAS 1.3 and 1.4 add, only for the versions that have it.
    const std::pair<const char*, const char*> extension[] = {
        {"Start of Waveform Data Packet Record", "start_of_waveform_data_packet_record"},
        {"Start of first Extended Variable Length Record", "start_of_first_extended_vlr"},
        {"Number of Extended Variable Length Records", "number_of_extended_vlrs"},
        {"Number of point records (64-bit)", "number_of_point_records_64"},
        {"Number of points by return (64-bit)", "number_of_points_by_return_64"}};
    const json theirExtension = reference.at("header_extension").is_object()
                                    ? reference.at("header_extension")
                                    : json::object();
    for (const auto& [ours, theirs] : extension)
    {
        ASSERT_EQ(report.contains(ours), theirExtension.contains(theirs)) << ours;
        if (report.contains(ours))
        {
            EXPECT_EQ(report.at(ours), theirExtension.at(theirs)) << ours;
        }
    }
    // The reference lists no extended VLRs; the one LAS 1.4 file declares none.
    EXPECT_EQ(report.contains("evlrs"), theirExtension.contains("number_of_extended_vlrs"));
    if (report.contains("evlrs"))
    {
        EXPECT_EQ(report.at("evlrs_declared"), theirExtension.at("number_of_extended_vlrs"));
        EXPECT_EQ(report.at("evlrs"), json::array());
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
    // Only in the formats that have them.
    const std::pair<const char*, const char*> ownFields[] = {{"Synthetic", "synthetic"},
                                                             {"Key-point", "key_point"},
                                                             {"Withheld", "withheld"},
                                                             {"Overlap", "overlap"},
                                                             {"Scanner Channel", "scanner_channel"},
                                                             {"Scan Angle", "scan_angle"}};
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
        for (const auto& [name, key] : ownFields)
        {
            ASSERT_EQ(ours.contains(name), expected.contains(key)) << name;
            if (expected.contains(key))
            {
                EXPECT_EQ(ours.at(name), expected.at(key)) << name;
            }
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

    // Return numbers have 3 bits up to format 5 and 4 bits from format 6 on.
    const int slots = reference.at("point_block").at("base_format") >= 6 ? 16 : 8;
    json returns = json::array();
    for (int number = 0; number < slots; ++number)
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
