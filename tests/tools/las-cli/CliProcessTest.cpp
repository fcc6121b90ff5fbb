// The built executable: exit statuses and messages as a script sees them.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "LasCliTestSupport.h"
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

TEST_F(CliProcess, MissingFileFailsWithOpenMessage)
{
    const std::string missing = (temp / "missing.las").string();
    for (const char* command : {"info", "points"})
    {
        const CommandResult result = Run({command, missing});
        EXPECT_EQ(result.exitCode, kExitFailure) << command;
        EXPECT_EQ(result.err, "ReadError::File could not be open.\n") << command;
        EXPECT_TRUE(result.out.empty()) << command;
    }
}

TEST_F(CliProcess, FileShorterThanHeaderFailsWithHeaderMessage)
{
    const auto tiny = temp / "tiny.las";
    WriteBytes(tiny, "LASF" + std::string(222, '\0'));
    const CommandResult result = Run({"info", "--json", tiny.string()});
    EXPECT_EQ(result.exitCode, kExitFailure);
    EXPECT_EQ(result.err, "ReadError::LAS Header\n");
    EXPECT_TRUE(result.out.empty());
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

TEST_F(CliProcess, TruncatedFileStatsFailAfterHeader)
{
    TELVORA_SKIP_WITHOUT_TESTDATA();
    // simple.las: 1065 records of 34 bytes from byte 227; keep 500 and a half.
    const auto truncated = temp / "truncated.las";
    WriteBytes(truncated, ReadBytes(TestFile("simple.las")).substr(0, 227 + 34 * 500 + 17));

    const CommandResult result = Run({"info", "--stats", truncated.string()});
    EXPECT_EQ(result.exitCode, kExitFailure);
    EXPECT_TRUE(Contains(result.out, "Number of point records: 1065\n")) << result.out;
    EXPECT_EQ(result.err, "ReadError: Can't Read LasPoint0 (truncated.las ends inside its point "
                          "records: 500 of 1065 are complete)\n");

    const CommandResult plain = Run({"info", truncated.string()});
    EXPECT_EQ(plain.exitCode, kExitOk) << plain.err;
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
    EXPECT_TRUE(Contains(outside.err, "Record index 1065 is out of range")) << outside.err;

    EXPECT_NE(Run({}).exitCode, kExitOk);
    EXPECT_NE(Run({"info"}).exitCode, kExitOk);
    EXPECT_EQ(Run({"--help"}).exitCode, kExitOk);
}

} // namespace
} // namespace telvora::lascli::test
