// Reads every real LAS file of the shared test data and compares what the reader gives with the
// reference values an independent reader recorded beside each file.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <memory>

#include <nlohmann/json.hpp>

#include "AllAttributes.h"
#include "Recorders.h"
#include "TestData.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"

namespace telvora
{
namespace
{

using nlohmann::json;

const std::filesystem::path kDataDir = TELVORA_TESTDATA_LAS;

std::vector<std::string> ReferenceFiles()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kDataDir, error))
    {
        const auto name = entry.path().filename().string();
        if (name.size() > 5 && name.ends_with(".json"))
        {
            names.push_back(name.substr(0, name.size() - 5));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Hex(const void* bytes, std::size_t size)
{
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i)
    {
        const auto byte = static_cast<const unsigned char*>(bytes)[i];
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

// Text of a fixed-width field up to its first NUL.
std::string Text(const char* field, std::size_t width)
{
    return std::string(field, strnlen(field, width));
}

// The minimum and maximum of the values one field takes over every complete record.
struct Range
{
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    void Add(double value)
    {
        min = std::min(min, value);
        max = std::max(max, value);
    }
};

void ExpectRange(const Range& range, const json& aggregates, const std::string& key)
{
    ASSERT_TRUE(aggregates.contains(key + "_min")) << key;
    EXPECT_EQ(range.min, aggregates[key + "_min"].get<double>()) << key;
    EXPECT_EQ(range.max, aggregates[key + "_max"].get<double>()) << key;
}

void ExpectFloatRange(const Range& range, const json& aggregates, const std::string& key)
{
    EXPECT_EQ(range.min, static_cast<float>(aggregates[key + "_min"].get<double>())) << key;
    EXPECT_EQ(range.max, static_cast<float>(aggregates[key + "_max"].get<double>())) << key;
}

std::map<std::string, int> Histogram(const json& counts)
{
    std::map<std::string, int> histogram;
    for (const auto& [key, value] : counts.items())
    {
        histogram[key] = value.get<int>();
    }
    return histogram;
}

// The fields both ways of reading records see alike: single records and the bulk readers.
struct CommonTally
{
    Range intensity, angle;
    std::map<std::string, int> classes, returns;

    void Add(std::uint16_t intensityValue, std::int8_t angleValue, std::uint8_t classification,
             std::uint8_t returnNumber)
    {
        intensity.Add(intensityValue);
        angle.Add(angleValue);
        ++classes[std::to_string(classification)];
        ++returns[std::to_string(returnNumber)];
    }

    void Expect(const json& aggregates, std::uint32_t records) const
    {
        EXPECT_EQ(classes, Histogram(aggregates["classification_histogram"]));
        EXPECT_EQ(returns, Histogram(aggregates["return_number_histogram"]));
        if (records > 0)
        {
            ExpectRange(intensity, aggregates, "intensity");
            ExpectRange(angle, aggregates, "scan_angle_rank");
        }
    }
};

class LasReference : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override
    {
        const auto jsonPath = kDataDir / (GetParam() + ".json");
        std::ifstream in(jsonPath);
        ASSERT_TRUE(in) << jsonPath;
        reference = json::parse(in);
        path = (kDataDir / GetParam()).string();
        file.SetPath(path.c_str());
        file.ReadHeader();
        const auto& block = reference["point_block"];
        ours = !block["compressed"].get<bool>() && block["base_format"].get<int>() <= 10;
        // The records of files the reference reader did not decode (LAS 1.4) are checked against
        // their bytes through telvora-las's reference tests.
        decoded = !reference["aggregates"].is_null();
        complete = block["records_complete_in_file"] == block["records_declared"];
    }

    json reference;
    std::string path;
    CLasFile file;
    bool ours = false;
    bool decoded = false;
    bool complete = false;
};

TEST_P(LasReference, HeaderFieldsMatch)
{
    const json& r = reference["header"];
    const LasHeader& h = *file.header;
    EXPECT_EQ(std::string(h.fileSignature, 4), r["file_signature"]);
    EXPECT_EQ(h.fileSourceId, r["file_source_id"]);
    EXPECT_EQ(h.globalEncoding, r["global_encoding"]);
    EXPECT_EQ(h.guidData1, r["project_id_guid_data_1"]);
    EXPECT_EQ(h.guidData2, r["project_id_guid_data_2"]);
    EXPECT_EQ(h.guidData3, r["project_id_guid_data_3"]);
    EXPECT_EQ(Hex(h.guidData4, 8), r["project_id_guid_data_4"]);
    EXPECT_EQ(h.versionMajor, r["version_major"]);
    EXPECT_EQ(h.versionMinor, r["version_minor"]);
    EXPECT_EQ(Hex(h.systemIdentifier, 32), r["system_identifier_hex"]);
    EXPECT_EQ(Hex(h.generatingSoftware, 32), r["generating_software_hex"]);
    EXPECT_EQ(h.fileCreationDayOfYear, r["file_creation_day_of_year"]);
    EXPECT_EQ(h.fileCreationYear, r["file_creation_year"]);
    EXPECT_EQ(h.headerSize, r["header_size"]);
    EXPECT_EQ(h.offsetToPointData, r["offset_to_point_data"]);
    EXPECT_EQ(h.numberOfVariableLengthRecords, r["number_of_variable_length_records"]);
    EXPECT_EQ(h.pointDataFormatId, r["point_data_format_id"]);
    EXPECT_EQ(h.pointDataRecordLength, r["point_data_record_length"]);
    EXPECT_EQ(h.numberOfPointRecords, r["number_of_point_records"]);
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(h.numberOfPointsByReturn[i], r["number_of_points_by_return"][i]);
    }
    EXPECT_EQ(h.xScaleFactor, r["x_scale_factor"].get<double>());
    EXPECT_EQ(h.yScaleFactor, r["y_scale_factor"].get<double>());
    EXPECT_EQ(h.zScaleFactor, r["z_scale_factor"].get<double>());
    EXPECT_EQ(h.xOffset, r["x_offset"].get<double>());
    EXPECT_EQ(h.yOffset, r["y_offset"].get<double>());
    EXPECT_EQ(h.zOffset, r["z_offset"].get<double>());
    EXPECT_EQ(std::signbit(h.xOffset), std::signbit(r["x_offset"].get<double>()));
    EXPECT_EQ(h.maxX, r["max_x"].get<double>());
    EXPECT_EQ(h.minX, r["min_x"].get<double>());
    EXPECT_EQ(h.maxY, r["max_y"].get<double>());
    EXPECT_EQ(h.minY, r["min_y"].get<double>());
    EXPECT_EQ(h.maxZ, r["max_z"].get<double>());
    EXPECT_EQ(h.minZ, r["min_z"].get<double>());

    const json& extension = reference["header_extension"];
    if (extension.is_null())
    {
        return;
    }
    EXPECT_EQ(h.startOfWaveformDataPacketRecord, extension["start_of_waveform_data_packet_record"]);
    if (extension.contains("number_of_point_records_64"))
    {
        EXPECT_EQ(h.startOfFirstExtendedVlr, extension["start_of_first_extended_vlr"]);
        EXPECT_EQ(h.numberOfExtendedVlrs, extension["number_of_extended_vlrs"]);
        EXPECT_EQ(h.extendedNumberOfPointRecords, extension["number_of_point_records_64"]);
        for (int i = 0; i < 15; ++i)
        {
            EXPECT_EQ(h.extendedNumberOfPointsByReturn[i],
                      extension["number_of_points_by_return_64"][i]);
        }
    }
}

TEST_P(LasReference, VariableLengthRecordsAreWalkedAsTheReferenceWalksThem)
{
    const json& block = reference["vlr_block"];
    std::uint32_t found = 99;
    std::unique_ptr<unsigned char*[], void (*)(unsigned char**)> table(
        file.ReadVariableLengthRecords(&found), ReleaseVlrTable);
    EXPECT_EQ(found, block["records_walked"].get<std::uint32_t>());
    if (found == 0)
    {
        EXPECT_EQ(table, nullptr);
        return;
    }
    ASSERT_NE(table, nullptr);
    for (const auto& expected : reference["vlrs"])
    {
        const unsigned char* at = table[expected["index"].get<std::size_t>()];
        EXPECT_EQ(at - table[0], expected["block_offset"].get<std::ptrdiff_t>());
        const LasVlrHeader vlr = ParseLasVlrHeader(at);
        EXPECT_EQ(vlr.reserved, expected["reserved"]);
        EXPECT_EQ(Text(vlr.userId, 16), expected["user_id"]);
        EXPECT_EQ(vlr.recordId, expected["record_id"]);
        EXPECT_EQ(vlr.recordLengthAfterHeader, expected["record_length_after_header"]);
        EXPECT_EQ(Text(vlr.description, 32), expected["description"]);
    }
}

TEST_P(LasReference, ListedRecordsMatch)
{
    for (const auto& expected : reference["points"])
    {
        const auto index = expected["index"].get<std::uint32_t>();
        SCOPED_TRACE("record " + std::to_string(index));
        if (!ours)
        {
            EXPECT_EQ(file.ReadPoint(index), nullptr);
            continue;
        }
        if (!expected["present"].get<bool>())
        {
            try
            {
                delete file.ReadPoint(index);
                ADD_FAILURE() << "the record is not in the file";
            }
            catch (const CLasException& e)
            {
                EXPECT_STREQ(e.GetErrorText(), "ReadError::LAS Point");
            }
            continue;
        }
        std::unique_ptr<LASPoint> point(file.ReadPoint(index));
        ASSERT_NE(point, nullptr);
        EXPECT_EQ(point->GetX(), expected["X"]);
        EXPECT_EQ(point->GetY(), expected["Y"]);
        EXPECT_EQ(point->GetZ(), expected["Z"]);
        const auto position = file.GetPointPosition(*point);
        EXPECT_EQ(position[0], static_cast<float>(expected["x"].get<double>()));
        EXPECT_EQ(position[1], static_cast<float>(expected["y"].get<double>()));
        EXPECT_EQ(position[2], static_cast<float>(expected["z"].get<double>()));
        EXPECT_EQ(point->GetIntensity(), expected["intensity"]);
        EXPECT_EQ(point->GetReturnNumber(), expected["return_number"]);
        EXPECT_EQ(point->GetNumberOfReturns(), expected["number_of_returns"]);
        EXPECT_EQ(point->GetScanDirectionFlag(), expected["scan_direction_flag"]);
        EXPECT_EQ(point->GetEdgeOfFlightLine(), expected["edge_of_flight_line"]);
        EXPECT_EQ(point->GetClassification(), expected["classification"]);
        EXPECT_EQ(point->GetScanAngleRank(), expected["scan_angle_rank"]);
        EXPECT_EQ(point->GetUserData(), expected["user_data"]);
        EXPECT_EQ(point->GetPointSourceID(), expected["point_source_id"]);
        EXPECT_EQ(point->GetGPSTimeBits(),
                  std::stoull(expected["gps_time_bits"].get<std::string>(), nullptr, 16));
        EXPECT_EQ(point->GetRed(), expected["red"]);
        EXPECT_EQ(point->GetGreen(), expected["green"]);
        EXPECT_EQ(point->GetBlue(), expected["blue"]);
    }
}

// Every complete record, read one by one, adds up to the reference aggregates.
TEST_P(LasReference, RecordByRecordAggregatesMatch)
{
    const json& aggregates = reference["aggregates"];
    if (!ours || !decoded)
    {
        // Records of this format are not ours to read; ListedRecordsMatch checks the refusal.
        return;
    }
    const auto records = aggregates["records"].get<std::uint32_t>();
    Range X, Y, Z, gps, red;
    CommonTally tally;
    for (std::uint32_t i = 0; i < records; ++i)
    {
        std::unique_ptr<LASPoint> point(file.ReadPoint(i));
        ASSERT_NE(point, nullptr);
        X.Add(point->GetX());
        Y.Add(point->GetY());
        Z.Add(point->GetZ());
        if (std::isfinite(point->GetGPSTime()))
        {
            gps.Add(point->GetGPSTime());
        }
        red.Add(point->GetRed());
        tally.Add(point->GetIntensity(), point->GetScanAngleRank(), point->GetClassification(),
                  point->GetReturnNumber());
    }
    tally.Expect(aggregates, records);
    if (records == 0)
    {
        return;
    }
    ExpectRange(X, aggregates, "X");
    ExpectRange(Y, aggregates, "Y");
    ExpectRange(Z, aggregates, "Z");
    if (aggregates.contains("gps_time_min"))
    {
        ExpectRange(gps, aggregates, "gps_time");
    }
    if (aggregates.contains("red_min"))
    {
        ExpectRange(red, aggregates, "red");
    }
}

// The bulk readers see the same records as the single-record reads, or fail as they must.
TEST_P(LasReference, AttributeReadersMatchOrFailCleanly)
{
    test::RecordingStatus status;
    status.upper = 1000000;
    test::RecordingNotifier notifier;
    const auto read = test::AllAttributes::Read(file, &status, &notifier);
    const auto& [positions, intensities, classes, angles, returns, colours] = read;

    if (!ours)
    {
        EXPECT_TRUE(read.None());
        EXPECT_TRUE(notifier.shown.empty());
        return;
    }
    if (!complete)
    {
        EXPECT_TRUE(read.None());
        ASSERT_EQ(notifier.shown.size(), test::AllAttributes::kReaders);
        EXPECT_EQ(notifier.shown[0].text, "Can't Read LasPoint0");
        return;
    }
    ASSERT_TRUE(read.All());
    EXPECT_TRUE(notifier.shown.empty());
    if (!decoded)
    {
        return;
    }

    const json& aggregates = reference["aggregates"];
    const auto count = aggregates["records"].get<std::uint32_t>();
    const std::size_t updates =
        count == 0 ? 0 : (count < 100 ? 1 : (count - 1) / (count / 100) + 1);
    EXPECT_EQ(status.positions.size(), test::AllAttributes::kReaders * updates);

    Range x, y, z, absAngle, red;
    CommonTally tally;
    for (std::size_t i = 0; i < count; ++i)
    {
        x.Add(positions[3 * i]);
        y.Add(positions[3 * i + 1]);
        z.Add(positions[3 * i + 2]);
        absAngle.Add(std::abs(angles[i]));
        red.Add(colours[3 * i]);
        tally.Add(intensities[i], angles[i], classes[i], returns[i]);
    }
    tally.Expect(aggregates, count);
    if (count == 0)
    {
        return;
    }
    ExpectFloatRange(x, aggregates, "x");
    ExpectFloatRange(y, aggregates, "y");
    ExpectFloatRange(z, aggregates, "z");
    ExpectRange(absAngle, aggregates, "abs_scan_angle_rank");
    if (aggregates.contains("red_min"))
    {
        EXPECT_EQ(red.min, static_cast<float>(aggregates["red_min"].get<double>() / 65535.0));
        EXPECT_EQ(red.max, static_cast<float>(aggregates["red_max"].get<double>() / 65535.0));
    }
    else
    {
        EXPECT_EQ(red.max, 0.0);
    }
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, LasReference, ::testing::ValuesIn(ReferenceFiles()),
                         CaseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(LasReference);

TEST(LasReferenceSet, HoldsTheExpectedFiles)
{
    if (!std::filesystem::exists(kDataDir))
    {
        TELVORA_MISSING_TEST_INPUT("no shared test data at " + kDataDir.string());
    }
    EXPECT_GE(ReferenceFiles().size(), 31u);
}

} // namespace
} // namespace telvora
