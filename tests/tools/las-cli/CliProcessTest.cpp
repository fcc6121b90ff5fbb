// The built executable: exit statuses and messages as a script sees them.

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "LasCliTestSupport.h"
#include "LasImage.h"
#include "ProcessRun.h"

namespace telvora::lascli::test
{
namespace
{

// Runs telvora-las with the arguments; its error output goes through a file of the temp folder.
CommandResult RunTool(const TempDir& temp, const std::vector<std::string>& arguments)
{
    const telvora::test::ProcessResult run =
        telvora::test::RunProcess(TELVORA_LAS_CLI, arguments, (temp / "stderr.txt").string());
    return {run.exitCode, run.out, run.err};
}

class CliProcess : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(temp.Valid()); }

    CommandResult Run(const std::vector<std::string>& arguments)
    {
        return RunTool(temp, arguments);
    }

    TempDir temp;
};

// Both commands apply the viewer's check (whose rules its own table tests): a refused LAS file
// exits 1 with the text and reason, info still shows its header, something that is no LAS file
// shows nothing, and the files the viewer opens pass.
TEST_F(CliProcess, BothCommandsRefuseWhatTheViewerRefusesWithItsReason)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    std::string text;
    while (text.size() <= 300)
    {
        text += "Flight 7, strip 12: survey of the river banks, checked on site.\n";
    }
    WriteBytes(temp / "readme.las", text);
    telvora::test::LasImage image = telvora::test::LasImage::Make(10, 1);
    image.header.pointDataFormatId = 11;
    image.Save((temp / "format11.las").string());
    image.header.pointDataFormatId = 6;
    image.header.versionMinor = 5;
    image.Save((temp / "version15.las").string());

    struct Case
    {
        std::filesystem::path file;
        const char* text; // none: the viewer opens the file
        const char* reason;
        bool headerShown;
    };
    const Case cases[] = {
        {TestFile("simple.laz"), "ReadError::LAS Point Format",
         "simple.laz holds compressed (LAZ) point records, which cannot be opened; Telvora reads "
         "uncompressed LAS files",
         true},
        {temp / "format11.las", "ReadError::LAS Point Format",
         "format11.las: LAS 1.4 files with point format 11 cannot be opened; Telvora reads point "
         "formats 0 to 10",
         true},
        {temp / "version15.las", "ReadError::LAS Point Format",
         "version15.las: LAS 1.5 files cannot be opened; Telvora reads LAS 1.0 to 1.4 files with "
         "point formats 0 to 10",
         true},
        {TestFile("test1_4.las"), nullptr, "", true},
        {TestFile("vegetation_1_3.las"), nullptr, "", true},
        {TestFile("no-points.las"), nullptr, "", true},
        {temp / "readme.las", "ReadError::LAS Header", "readme.las is not a LAS file", false},
        {temp / "missing.las", "ReadError::File could not be open.",
         "missing.las: no such file or folder", false},
    };
    for (const Case& c : cases)
    {
        const std::string name = c.file.filename().string();
        const bool readable = c.text == nullptr;
        const std::string line = readable ? "" : std::string(c.text) + " (" + c.reason + ")";
        const int exitCode = readable ? kExitOk : kExitFailure;

        const CommandResult points = Run({"points", c.file.string()});
        EXPECT_EQ(points.exitCode, exitCode) << name;
        EXPECT_EQ(points.err, readable ? "" : line + "\n") << name;
        if (!readable)
        {
            EXPECT_EQ(points.out, "") << name;
        }

        const CommandResult info = Run({"info", "--json", "--stats", c.file.string()});
        EXPECT_EQ(info.exitCode, exitCode) << name;
        // A damaged VLR table adds its own line after the refusal.
        EXPECT_EQ(info.err.substr(0, info.err.find('\n')), line) << name;
        if (!c.headerShown)
        {
            EXPECT_EQ(info.out, "") << name;
            continue;
        }
        const auto report = nlohmann::json::parse(info.out);
        EXPECT_EQ(report["readable"], readable) << name;
        EXPECT_EQ(report["reason"], readable ? nlohmann::json() : nlohmann::json(c.reason)) << name;
        EXPECT_EQ(report["stats"].is_null(), !readable) << name;

        const CommandResult plain = Run({"info", c.file.string()});
        EXPECT_TRUE(Contains(plain.out, readable
                                            ? "\nReadable: yes\n"
                                            : "\nReadable: no (" + std::string(c.reason) + ")\n"))
            << name << '\n'
            << plain.out;
    }
}

TEST_F(CliProcess, JsonOutputParses)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    const CommandResult info = Run({"info", "--json", "--stats", TestFile("autzen.las").string()});
    ASSERT_EQ(info.exitCode, kExitOk) << info.err;
    EXPECT_TRUE(info.err.empty()) << info.err;
    const auto report = nlohmann::json::parse(info.out);
    EXPECT_EQ(report["vlrs"].size(), 4u);
    EXPECT_EQ(report["stats"]["Records"], 106);

    const CommandResult points = Run(
        {"points", "--json", "--index", "105", "--index", "3", TestFile("autzen.las").string()});
    ASSERT_EQ(points.exitCode, kExitOk) << points.err;
    const auto records = nlohmann::json::parse(points.out);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["Index"], 105);
    EXPECT_EQ(records[1]["Index"], 3);
}

TEST_F(CliProcess, MoreVlrsDeclaredThanTheBlockHoldsIsAWarning)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    // autzen.las holds 4 VLRs in its block; the header is made to declare 5 (byte 100).
    std::ifstream source(TestFile("autzen.las"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    bytes[100] = 5;
    WriteBytes(temp / "declares5.las", bytes);
    const CommandResult info = Run({"info", "--json", (temp / "declares5.las").string()});
    EXPECT_EQ(info.exitCode, kExitOk);
    EXPECT_EQ(info.err, "Warning: 4 of 5 declared variable length records found between Header "
                        "Size 227 and Offset to point data 1994\n");
    const auto report = nlohmann::json::parse(info.out);
    EXPECT_EQ(report["vlrs_declared"], 5);
    EXPECT_EQ(report["vlrs_found"], 4);
    EXPECT_EQ(report["vlrs"].size(), 4u);
}

TEST_F(CliProcess, BadCommandLinesAreRefused)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    const std::string file = TestFile("simple.las").string();

    const CommandResult badIndex = Run({"points", "--index", "-1", file});
    EXPECT_EQ(badIndex.exitCode, kExitUsage);
    EXPECT_TRUE(Contains(badIndex.err, "--index: '-1' is not a record number")) << badIndex.err;

    const CommandResult outside = Run({"points", "--index", "1065", file});
    EXPECT_EQ(outside.exitCode, kExitFailure);
    EXPECT_TRUE(Contains(outside.err, "Record index 1065 is out of range: " + file + " declares"))
        << outside.err;

    EXPECT_NE(Run({}).exitCode, kExitOk);
    EXPECT_NE(Run({"info"}).exitCode, kExitOk);
    EXPECT_EQ(Run({"--help"}).exitCode, kExitOk);
}

} // namespace
} // namespace telvora::lascli::test
