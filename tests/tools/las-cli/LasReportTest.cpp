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
