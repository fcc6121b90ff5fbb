// The reports in-process: their layout, the choices made for damaged files, the selection of
// records and independence from the locale.

#include <algorithm>
#include <clocale>
#include <cstring>
#include <gtest/gtest.h>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "LasCliTestSupport.h"
#include "LasImage.h"
#include "TestData.h"
#include "las/ByteOrder.h"
#include "las/LasHeader.h"

namespace telvora::lascli::test
{
namespace
{

const std::vector<std::string> kHeaderNames = {"File Signature",
                                               "File Source ID",
                                               "Global Encoding",
                                               "Project ID - GUID data 1",
                                               "Project ID - GUID data 2",
                                               "Project ID - GUID data 3",
                                               "Project ID - GUID data 4",
                                               "Version Major",
                                               "Version Minor",
                                               "System Identifier",
                                               "Generating Software",
                                               "File Creation Day of Year",
                                               "File Creation Year",
                                               "Header Size",
                                               "Offset to point data",
                                               "Number of Variable Length Records",
                                               "Point Data Format ID",
                                               "Point Data Record Length",
                                               "Number of point records",
                                               "Number of points by return",
                                               "X scale factor",
                                               "Y scale factor",
                                               "Z scale factor",
                                               "X offset value",
                                               "Y offset value",
                                               "Z offset value",
                                               "Max X coordinate",
                                               "Min X coordinate",
                                               "Max Y coordinate",
                                               "Min Y coordinate",
                                               "Max Z coordinate",
                                               "Min Z coordinate"};
const std::vector<std::string> kVlrNames = {"Reserved", "User ID", "Record ID",
                                            "Record Length After Header", "Description"};
const std::vector<std::string> kPointNames = {"Index",
                                              "X",
                                              "Y",
                                              "Z",
                                              "x",
                                              "y",
                                              "z",
                                              "Intensity",
                                              "Return Number",
                                              "Number of Returns",
                                              "Scan Direction Flag",
                                              "Edge of Flight Line",
                                              "Classification",
                                              "Scan Angle Rank",
                                              "User Data",
                                              "Point Source ID",
                                              "GPS Time",
                                              "Red",
                                              "Green",
                                              "Blue"};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
    {
        lines.push_back(line);
    }
    return lines;
}

std::string NameOf(const std::string& line)
{
    return line.substr(0, line.find(':'));
}

std::vector<std::string> KeysOf(const Json& object)
{
    std::vector<std::string> keys;
    for (const auto& item : object.items())
    {
        keys.push_back(item.key());
    }
    return keys;
}

TEST(LasReport, TextAndJsonListFieldsInOrder)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    const CommandResult text = Info(TestFile("1.2_3.las"), false);
    ASSERT_EQ(text.exitCode, kExitOk) << text.err;
    const std::vector<std::string> lines = Lines(text.out);
    ASSERT_EQ(lines.size(), kHeaderNames.size() + 1 + 2 * (1 + kVlrNames.size()));
    for (std::size_t i = 0; i < kHeaderNames.size(); ++i)
    {
        EXPECT_EQ(NameOf(lines[i]), kHeaderNames[i]);
    }
    for (std::size_t i = 0; i < kVlrNames.size(); ++i)
    {
        EXPECT_EQ(NameOf(lines[kHeaderNames.size() + 2 + i]), "  " + kVlrNames[i]);
    }
    EXPECT_EQ(lines[6], "Project ID - GUID data 4: 188 163 107 198 142 123 6 46");
    EXPECT_EQ(lines[19], "Number of points by return: 0 1 0 0 0");
    EXPECT_EQ(lines[26], "Max X coordinate: 470692.447538");
    EXPECT_EQ(lines[32], "Readable: yes");
    EXPECT_EQ(lines[33], "Variable Length Record 1 of 2:");

    const Json report = Json::parse(Info(TestFile("1.2_3.las"), true).out);
    std::vector<std::string> keys = kHeaderNames;
    keys.insert(keys.end(), {"readable", "reason", "vlrs_declared", "vlrs_found", "vlrs"});
    EXPECT_EQ(KeysOf(report), keys);
    EXPECT_EQ(KeysOf(report["vlrs"][0]), kVlrNames);

    // Records: one block each, in the order asked for, blocks apart by an empty line.
    const CommandResult points = Points(TestFile("simple.las"), {{1, 0}, {}, {}}, false);
    const std::vector<std::string> blocks = Lines(points.out);
    ASSERT_EQ(blocks.size(), 2 * kPointNames.size() + 1);
    for (std::size_t i = 0; i < kPointNames.size(); ++i)
    {
        EXPECT_EQ(NameOf(blocks[i]), kPointNames[i]);
    }
    EXPECT_EQ(blocks[0], "Index: 1");
    EXPECT_EQ(blocks[kPointNames.size()], "");
    EXPECT_EQ(blocks[kPointNames.size() + 6], "y: 849028.31");
    EXPECT_EQ(KeysOf(Json::parse(Points(TestFile("simple.las"), {}, true).out)[0]), kPointNames);
}

TEST(LasReport, TextFieldsStopAtNulAndAreLatin1)
{
    EXPECT_EQ(FixedText("AB\0CD", 5), "AB");
    EXPECT_EQ(FixedText("ABCD", 4), "ABCD");
    EXPECT_EQ(FixedText("\xE9t\xE9", 3), "\xC3\xA9t\xC3\xA9");
    // Bytes above 127 must still give valid JSON rather than an exception from the dump.
    LasHeader header;
    std::fill_n(header.systemIdentifier, 32, '\xFF');
    std::string expected;
    for (int i = 0; i < 32; ++i)
    {
        expected += "\xC3\xBF";
    }
    EXPECT_EQ(Json::parse(DescribeHeader(header).dump())["System Identifier"], expected);
}

TEST(LasReport, RefusedFileShowsItsHeaderAndVlrProblemsButNoRecords)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    // Declares 1,069,128,089 VLRs in a block of 0 bytes, and 719 records of which 718 are whole.
    const CommandResult info = Info(TestFile("garbage_nVariableLength.las"), false, true);
    EXPECT_EQ(info.exitCode, kExitFailure);
    EXPECT_TRUE(Contains(info.out, "Min Z coordinate: 0.0006954102920723737\n"));
    EXPECT_TRUE(Contains(info.out,
                         "Readable: no (garbage_nVariableLength.las ends inside its point "
                         "records: 718 of 719 are complete)\n"));
    EXPECT_TRUE(Contains(info.out, "Variable Length Records: 0 of 1069128089 declared found\n"));
    EXPECT_TRUE(Contains(info.out, "Point record statistics: could not be read\n"));
    const std::vector<std::string> errors = Lines(info.err);
    ASSERT_EQ(errors.size(), 2u) << info.err;
    EXPECT_EQ(errors[0], "ReadError::LAS Point (garbage_nVariableLength.las ends inside its point "
                         "records: 718 of 719 are complete)");
    EXPECT_EQ(errors[1], "Warning: 0 of 1069128089 declared variable length records found between "
                         "Header Size 227 and Offset to point data 227");
}

TEST(LasReport, SelectionOfRecords)
{
    using Spans = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    auto spans = [](const PointSelection& selection, std::uint32_t records)
    {
        Spans pairs;
        for (const IndexSpan& span : ResolveSelection(selection, records).spans)
        {
            pairs.emplace_back(span.begin, span.end);
        }
        return pairs;
    };
    EXPECT_EQ(spans({}, 1065), (Spans{{0, 10}}));
    EXPECT_EQ(spans({}, 3), (Spans{{0, 3}}));
    EXPECT_EQ(spans({}, 0), Spans{});
    EXPECT_EQ(spans({{7, 2}, 100, 5}, 1065), (Spans{{7, 8}, {2, 3}, {100, 105}}));
    EXPECT_EQ(spans({{}, 1060, 100}, 1065), (Spans{{1060, 1065}}));
    EXPECT_EQ(spans({{}, {}, 3}, 1065), (Spans{{0, 3}}));
    EXPECT_EQ(spans({{}, 5, {}}, 1065), (Spans{{5, 15}}));
    EXPECT_EQ(spans({{}, {}, 3}, 0), Spans{});
    EXPECT_EQ(spans({{}, 4294967294u, 4294967295u}, 4294967295u),
              (Spans{{4294967294u, 4294967295u}}));

    // An error leaves nothing to list, also when earlier indices were fine.
    const ResolvedSelection outside = ResolveSelection({{3, 1065}, {}, {}}, 1065);
    EXPECT_TRUE(outside.spans.empty());
    EXPECT_EQ(outside.error, "Record index 1065 is out of range: the file declares 1065 point "
                             "records (indices 0 to 1064)");
    EXPECT_TRUE(Contains(ResolveSelection({{0}, {}, {}}, 0).error, "declares no point records"));
    EXPECT_TRUE(Contains(ResolveSelection({{}, 1065, 1}, 1065).error, "First record 1065"));

    EXPECT_EQ(ParseIndex("0"), 0u);
    EXPECT_EQ(ParseIndex("4294967295"), 4294967295u);
    for (const char* bad : {"", "4294967296", "-1", "+1", " 1", "1 ", "1x", "0x10", "1.5", "1e3"})
    {
        EXPECT_FALSE(ParseIndex(bad).has_value()) << '"' << bad << '"';
    }
}

// Formats 4 to 10 built byte by byte: every field written at its offset in the record, records
// longer than standard (extra bytes), the 64-bit counts of LAS 1.4 and two extended VLRs behind
// the records, through both commands.
TEST(LasReport, EveryFieldOfFormatsFourToTen)
{
    const TempDir dir;
    ASSERT_TRUE(dir.Valid());
    struct Row
    {
        std::uint8_t format;
        std::size_t size;
        int rgb; // offsets in the record; -1: the format lacks the field
        int nir;
        int wave;
        std::uint64_t evlrStart; // 375-byte header + 3 records of size + 5 bytes
    };
    const Row rows[] = {
        {4, 57, -1, -1, 28, 0},    {5, 63, 28, -1, 34, 0},   {6, 30, -1, -1, -1, 480},
        {7, 36, 30, -1, -1, 498},  {8, 38, 30, 36, -1, 504}, {9, 59, -1, -1, 30, 567},
        {10, 67, 30, 36, 38, 591},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE("format " + std::to_string(row.format));
        const bool extended = row.format >= 6;
        telvora::test::LasImage image = telvora::test::LasImage::Make(row.format, 3);
        image.header.pointDataRecordLength = static_cast<std::uint16_t>(row.size + 5);
        image.header.startOfWaveformDataPacketRecord = 123456789012u;
        image.header.extendedNumberOfPointsByReturn[0] = 1;
        image.header.extendedNumberOfPointsByReturn[14] = 5000000000u;
        for (std::size_t k = 0; k < 3; ++k)
        {
            std::vector<unsigned char>& r = image.records[k];
            r.assign(row.size + 5, 0xEE);
            StoreLE<std::int32_t>(&r[0], static_cast<std::int32_t>(k) - 7);
            StoreLE<std::int32_t>(&r[4], 2000000000);
            StoreLE<std::int32_t>(&r[8], -5);
            StoreLE<std::uint16_t>(&r[12], 65535);
            if (extended)
            {
                r[14] = 0xFD; // return 13 of 15
                r[15] = 0xAA; // key-point, overlap, channel 2, edge
                r[16] = 200;
                r[17] = 77;
                // -15.006 degrees; the last record 180 degrees, beyond what a rank holds.
                StoreLE<std::int16_t>(&r[18], k == 2 ? 30000 : -2501);
                StoreLE<std::uint16_t>(&r[20], 4660);
                StoreLE<double>(&r[22], 123456.789);
            }
            else
            {
                r[14] = 0x75; // return 5 of 6, scan direction
                r[15] = 0x82;
                r[16] = static_cast<unsigned char>(-12);
                r[17] = 77;
                StoreLE<std::uint16_t>(&r[18], 4660);
                StoreLE<double>(&r[20], 123456.789);
            }
            if (row.rgb >= 0)
            {
                StoreLE<std::uint16_t>(&r[row.rgb], 1000);
                StoreLE<std::uint16_t>(&r[row.rgb + 2], 2000);
                StoreLE<std::uint16_t>(&r[row.rgb + 4], 3000);
            }
            if (row.nir >= 0)
            {
                StoreLE<std::uint16_t>(&r[row.nir], 4000);
            }
            if (row.wave >= 0)
            {
                r[row.wave] = 9;
                StoreLE<std::uint64_t>(&r[row.wave + 1], 4294967301u);
                StoreLE<std::uint32_t>(&r[row.wave + 9], 70000);
                StoreLE<float>(&r[row.wave + 13], 2.5f);
                StoreLE<float>(&r[row.wave + 17], -0.25f);
                StoreLE<float>(&r[row.wave + 21], 0.5f);
                StoreLE<float>(&r[row.wave + 25], -0.125f);
            }
        }
        if (extended)
        {
            image.AddEvlr("first", 7, {1, 2, 3, 4, 5}, "one");
            image.AddEvlr("second", 65535, {}, "two");
        }
        image.Layout(0);
        const std::string file = (dir / "f.las").string();
        image.Save(file);

        const CommandResult points = Points(file, {}, true);
        ASSERT_EQ(points.exitCode, kExitOk) << points.err;
        const Json records = Json::parse(points.out);
        ASSERT_EQ(records.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k)
        {
            const Json& p = records[k];
            EXPECT_EQ(p["X"], static_cast<int>(k) - 7);
            EXPECT_EQ(p["Y"], 2000000000);
            EXPECT_EQ(p["y"], 20000000.0);
            EXPECT_EQ(p["Z"], -5);
            EXPECT_EQ(p["Intensity"], 65535);
            EXPECT_EQ(p["Return Number"], extended ? 13 : 5);
            EXPECT_EQ(p["Number of Returns"], extended ? 15 : 6);
            EXPECT_EQ(p["Scan Direction Flag"], extended ? 0 : 1);
            EXPECT_EQ(p["Edge of Flight Line"], extended ? 1 : 0);
            EXPECT_EQ(p["Classification"], extended ? 200 : 130);
            EXPECT_EQ(p["Scan Angle Rank"], !extended ? -12 : k == 2 ? 180 : -15);
            EXPECT_EQ(p["User Data"], 77);
            EXPECT_EQ(p["Point Source ID"], 4660);
            EXPECT_EQ(p["GPS Time"], 123456.789);
            EXPECT_EQ(p["Red"], row.rgb >= 0 ? 1000 : 0);
            EXPECT_EQ(p["Blue"], row.rgb >= 0 ? 3000 : 0);
            const Json flags = {p.value("Synthetic", -1), p.value("Key-point", -1),
                                p.value("Withheld", -1), p.value("Overlap", -1),
                                p.value("Scanner Channel", -1)};
            EXPECT_EQ(flags, (extended ? Json{0, 1, 0, 1, 2} : Json{-1, -1, -1, -1, -1}));
            EXPECT_EQ(p.value("Scan Angle", 0), !extended ? 0 : k == 2 ? 30000 : -2501);
            EXPECT_EQ(p.value("Scan Angle (degrees)", 0.0), !extended ? 0.0
                                                            : k == 2  ? 180
                                                                      : -15.006);
            EXPECT_EQ(p.value("NIR", -1), row.nir >= 0 ? 4000 : -1);
            const Json wave = {p.value("Wave Packet Descriptor Index", -1),
                               p.value("Byte offset to waveform data", Json(-1)),
                               p.value("Waveform packet size in bytes", -1),
                               p.value("Return Point Waveform Location", -1.0),
                               p.value("X(t)", -1.0),
                               p.value("Y(t)", -1.0),
                               p.value("Z(t)", -1.0)};
            EXPECT_EQ(wave, (row.wave >= 0 ? Json{9, 4294967301u, 70000, 2.5, -0.25, 0.5, -0.125}
                                           : Json{-1, -1, -1, -1.0, -1.0, -1.0, -1.0}));
        }

        const CommandResult info = Info(file, true, true);
        ASSERT_EQ(info.exitCode, kExitOk) << info.err;
        EXPECT_EQ(info.err, "");
        const Json report = Json::parse(info.out);
        EXPECT_EQ(report["Start of Waveform Data Packet Record"], 123456789012u);
        EXPECT_EQ(report["Number of point records"], extended ? 0 : 3);
        EXPECT_EQ(report.value("Number of point records (64-bit)", Json(-1)), extended ? 3 : -1);
        EXPECT_EQ(
            report.value("Number of points by return (64-bit)", Json(-1)),
            (extended ? Json{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5000000000u} : Json(-1)));
        EXPECT_EQ(report.value("Start of first Extended Variable Length Record", Json(-1)),
                  extended ? Json(row.evlrStart) : Json(-1));
        EXPECT_EQ(report.value("Number of Extended Variable Length Records", -1),
                  extended ? 2 : -1);
        const Json evlrs = extended ? Json{{{"Reserved", 0},
                                            {"User ID", "first"},
                                            {"Record ID", 7},
                                            {"Record Length After Header", 5},
                                            {"Description", "one"}},
                                           {{"Reserved", 0},
                                            {"User ID", "second"},
                                            {"Record ID", 65535},
                                            {"Record Length After Header", 0},
                                            {"Description", "two"}}}
                                    : Json();
        EXPECT_EQ(report.value("evlrs", Json()), evlrs);
        EXPECT_EQ(report.value("evlrs_found", Json()), extended ? Json(2) : Json());
        const Json& stats = report["stats"];
        EXPECT_EQ(stats["Records"], 3);
        const Json byReturn = extended ? Json{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0}
                                       : Json{0, 0, 0, 0, 0, 3, 0, 0};
        EXPECT_EQ(stats["Points by return number"], byReturn);
        EXPECT_EQ(stats["Min |Scan Angle Rank|"], extended ? 15 : 12);
        EXPECT_EQ(stats["Max |Scan Angle Rank|"], extended ? 180 : 12);
        EXPECT_EQ(stats["Classification histogram"], (Json{{extended ? "200" : "130", 3}}));

        if (row.format == 10)
        {
            const std::vector<std::string> text = Lines(Points(file, {{0}, {}, {}}, false).out);
            for (const char* line : {"Scan Angle (degrees): -15.006", "X(t): -0.25", "NIR: 4000",
                                     "Byte offset to waveform data: 4294967301"})
            {
                EXPECT_EQ(std::count(text.begin(), text.end(), line), 1) << line;
            }
            const std::string shown = Info(file, false).out;
            EXPECT_TRUE(Contains(shown, "\nNumber of points by return (64-bit): 1 0 0 0 0 0 0 0 0 "
                                        "0 0 0 0 0 5000000000\n"))
                << shown;
            EXPECT_TRUE(Contains(shown, "\nExtended Variable Length Record 2 of 2:\n  Reserved: 0\n"
                                        "  User ID: second\n  Record ID: 65535\n"));

            // A count beyond what the file holds is a warning; what is there is still listed.
            image.header.numberOfExtendedVlrs = 3;
            image.Save(file);
            const CommandResult short3 = Info(file, true);
            EXPECT_EQ(short3.exitCode, kExitOk);
            EXPECT_EQ(short3.err,
                      "Warning: 2 of 3 declared extended variable length records "
                      "found from Start of first Extended Variable Length Record 591\n");
            EXPECT_EQ(Json::parse(short3.out)["evlrs"].size(), 2u);
        }
    }
}

TEST(LasReport, ProgressRunsOverAllReadersAndIsWipedAtTheEnd)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    std::ostringstream shown;
    PercentProgress progress(&shown);
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(RunInfo(TestFile("simple.las").string(), {false, true}, out, err, &progress), 0);
    EXPECT_TRUE(Contains(shown.str(), "\rReading the point records: 50%"));
    EXPECT_TRUE(Contains(shown.str(), "\rReading the point records: 100%"));
    EXPECT_EQ(shown.str().back(), '\r');
    EXPECT_FALSE(Contains(out.str(), "%"));
}

// Switches the C and C++ global locales for one test and restores both.
class GlobalLocale
{
public:
    explicit GlobalLocale(const char* name)
        : savedC(std::setlocale(LC_ALL, nullptr))
    {
        if (std::setlocale(LC_ALL, name) == nullptr)
        {
            return;
        }
        try
        {
            savedCpp = std::locale::global(std::locale(name));
            active = true;
        }
        catch (const std::runtime_error&)
        {
            std::setlocale(LC_ALL, savedC.c_str());
        }
    }
    ~GlobalLocale()
    {
        if (active)
        {
            std::locale::global(savedCpp);
            std::setlocale(LC_ALL, savedC.c_str());
        }
    }
    GlobalLocale(const GlobalLocale&) = delete;
    GlobalLocale& operator=(const GlobalLocale&) = delete;

    bool active = false;

private:
    std::string savedC;
    std::locale savedCpp;
};

// Header and VLR text, and file names, go to a terminal: escape sequences, carriage returns and
// C1 controls are shown as the bytes they are in the file.
TEST(LasReport, TextFromTheFileIsEscapedInTextReports)
{
    const TempDir dir;
    ASSERT_TRUE(dir.Valid());
    telvora::test::LasImage image = telvora::test::LasImage::Make(0, 1);
    std::memcpy(image.header.systemIdentifier, "\x1b[2Jclear", 10);
    std::memcpy(image.header.generatingSoftware, "x\rReadable: yes", 16);
    image.AddVlr("\x85\x9b\\", 7, {}, "caf\xe9\x7f\x1b]0;t\x07");
    image.Layout(1);
    const std::filesystem::path file = dir / "odd\x1b[31m.las";
    image.Save(file.string());

    const CommandResult text = Info(file, false);
    EXPECT_EQ(text.exitCode, kExitOk) << text.err;
    const struct
    {
        const char* line;
    } lines[] = {
        {"System Identifier: \\x1b[2Jclear"},
        {"Generating Software: x\\x0dReadable: yes"},
        {"  User ID: \\x85\\x9b\\\\"},
        {"  Description: caf\xc3\xa9\\x7f\\x1b]0;t\\x07"},
    };
    const std::vector<std::string> shown = Lines(text.out);
    for (const auto& l : lines)
    {
        EXPECT_EQ(std::count(shown.begin(), shown.end(), l.line), 1) << l.line;
    }
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Readable: yes"), 1);
    // JSON keeps the text, escaped as JSON.
    const Json json = Json::parse(Info(file, true).out);
    EXPECT_EQ(json["System Identifier"], "\x1b[2Jclear");

    // A refused file: the reason quotes the file name.
    image.header.headerSize = 226;
    image.Save(file.string());
    const CommandResult refused = Info(file, false);
    EXPECT_EQ(refused.exitCode, kExitFailure);
    const std::string reason = "odd\\x1b[31m.las: its Header Size is 226 bytes, less than the "
                               "227 bytes of every LAS 1.x header";
    const std::vector<std::string> refusedLines = Lines(refused.out);
    EXPECT_EQ(std::count(refusedLines.begin(), refusedLines.end(), "Readable: no (" + reason + ")"),
              1)
        << refused.out;
    EXPECT_EQ(Lines(refused.err).at(0), "ReadError::LAS Header (" + reason + ")");
}

// Every failure names the file and says why.
TEST(LasReport, FailuresNameTheFileAndTheReason)
{
    const TempDir dir;
    ASSERT_TRUE(dir.Valid());
    // No records, one VLR, and Offset to point data 100 bytes past the end of the file.
    telvora::test::LasImage beyond = telvora::test::LasImage::Make(0, 0);
    beyond.AddVlr("one", 1, {});
    beyond.Layout(1);
    beyond.header.offsetToPointData += 100;
    const std::string beyondPath = (dir / "beyond.las").string();
    beyond.Save(beyondPath);
    const std::string cutPath = (dir / "cut.las").string();
    telvora::test::LasImage::Make(0, 3).Save(cutPath);

    const CommandResult info = Info(beyondPath, false);
    EXPECT_EQ(info.exitCode, kExitFailure);
    EXPECT_TRUE(Contains(info.out, "Readable: no (beyond.las ends at byte 281, before its point "
                                   "data, which would start at byte 381)\n"))
        << info.out;
    EXPECT_FALSE(Contains(info.out, "Readable: yes"));
    EXPECT_EQ(Lines(info.err),
              (std::vector<std::string>{
                  "ReadError::LAS Header (beyond.las ends at byte 281, before its point data, "
                  "which would start at byte 381)",
                  "ReadError::LAS VRL (" + beyondPath +
                      ": the file ends at byte 281, inside its variable length records, which "
                      "run from byte 227 to byte 381)"}));

    const CommandResult past = Points(cutPath, {{3}, {}, {}}, false);
    EXPECT_EQ(past.exitCode, kExitFailure);
    EXPECT_EQ(past.err, "Record index 3 is out of range: " + cutPath +
                            " declares 3 point records (indices 0 to 2)\n");
}

TEST(LasReport, ReportsIgnoreTheLocale)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    GlobalLocale german("de_DE.UTF-8");
    if (!german.active)
    {
        TELVORA_MISSING_TEST_INPUT("locale de_DE.UTF-8 is not installed");
    }
    // The trap is armed: a plain stream would now write a decimal comma and group thousands.
    std::ostringstream probe;
    probe << 0.01 << ' ' << 1065;
    ASSERT_EQ(probe.str(), "0,01 1.065");

    const CommandResult text = Info(TestFile("simple.las"), false, true);
    ASSERT_EQ(text.exitCode, kExitOk) << text.err;
    EXPECT_TRUE(Contains(text.out, "\nX scale factor: 0.01\n")) << text.out;
    EXPECT_TRUE(Contains(text.out, "\nNumber of point records: 1065\n"));
    EXPECT_TRUE(Contains(text.out, "\n  Min z: 406.59\n"));
    EXPECT_FALSE(Contains(text.out, "0,01"));

    const CommandResult object = Info(TestFile("simple.las"), true, true);
    ASSERT_EQ(object.exitCode, kExitOk) << object.err;
    EXPECT_TRUE(Contains(object.out, "\"X scale factor\": 0.01,"));
    EXPECT_FALSE(Contains(object.out, "0,01"));
    EXPECT_EQ(Json::parse(object.out)["X scale factor"].get<double>(), 0.01);

    const CommandResult points = Points(TestFile("simple.las"), {{0}, {}, {}}, false);
    EXPECT_TRUE(Contains(points.out, "\nx: 637012.24\n")) << points.out;
    EXPECT_TRUE(Contains(points.out, "\nGPS Time: 245380.78254962614\n")) << points.out;
}

} // namespace
} // namespace telvora::lascli::test
