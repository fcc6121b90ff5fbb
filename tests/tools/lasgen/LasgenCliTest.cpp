#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "FailureInjection.h"
#include "LasgenTestSupport.h"
#include "TestFiles.h"

namespace telvora::lasgen
{
namespace
{

using telvora::test::TempDir;

struct CliRun
{
    int status = -1;
    std::string output; // standard output and error together
};

// Runs the installed program's build with the arguments, from the temporary folder so that
// nothing can land in the working directory.
CliRun RunLasgen(const TempDir& dir, const std::string& arguments)
{
    const std::string command =
        "cd '" + dir.Path().string() + "' && '" TELVORA_LASGEN_EXE "' " + arguments + " 2>&1";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
    {
        return run;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
    {
        run.output += buffer;
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(LasgenCli, WritesTheRequestedSurvey)
{
    TempDir dir;
    const CliRun run =
        RunLasgen(dir, "out.las --version 1.0 --format 2 --points 2.5k --vlrs 2 --extra-bytes 3 "
                       "--seed 9 --origin 1000 2000");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("2500 points"), std::string::npos) << run.output;

    const test::ReadBack survey = test::ReadSurvey(dir.File("out.las"));
    EXPECT_EQ(survey.header.versionMinor, 0);
    EXPECT_EQ(survey.header.pointDataFormatId, 2);
    EXPECT_EQ(survey.header.numberOfPointRecords, 2500u);
    EXPECT_EQ(survey.header.numberOfVariableLengthRecords, 2u);
    EXPECT_EQ(survey.header.pointDataRecordLength, 26 + 3);
    EXPECT_GT(survey.header.minX, 900.0);
    EXPECT_LT(survey.header.minX, 1010.0);
}

TEST(LasgenCli, BadOptionsAndWriteErrorsExitWithAMessage)
{
    TempDir dir;
    for (const char* arguments :
         {"out.las --format 4", "out.las --version 1.3 --format 6", "out.las --version 1.5",
          "out.las --version 1.4 --format 11", "out.las --points lots", "out.las --points -5",
          "out.las --extra-bytes 70000", "out.las --origin 1", "", "out.las --vlrs 70000",
          "out.las --extra-bytes 65535 --format 3"})
    {
        const CliRun run = RunLasgen(dir, arguments);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_NE(run.status, -1) << arguments << ": crashed\n" << run.output;
        EXPECT_FALSE(run.output.empty()) << arguments;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.las"))) << arguments;
    }

    const CliRun unwritable = RunLasgen(dir, "missing/out.las --points 10");
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.output.find("WriteError"), std::string::npos) << unwritable.output;
}

TEST(LasgenCli, AFailedWriteKeepsTheFileItWouldHaveReplaced)
{
    struct Case
    {
        const char* label;
        telvora::test::WriteLimits limits;
        const char* reason;
    };
    const Case cases[] = {
        {"file-size limit",
         {std::int64_t{64} * 1024, false},
         "the file is too large (a file-size limit was reached)"},
        {"folder without write permission", {-1, true}, "permission denied"},
    };
    for (const Case& c : cases)
    {
        TempDir dir;
        const std::string folder = dir.File("out");
        std::filesystem::create_directory(folder);
        const std::string output = folder + "/survey.las";
        const std::vector<unsigned char> old(1000, 0x5A);
        telvora::test::WriteAll(output, old);
        if (c.limits.unprivileged)
        {
            using std::filesystem::perms;
            std::filesystem::permissions(dir.Path(), perms::owner_all | perms::others_read |
                                                         perms::others_exec);
            std::filesystem::permissions(folder, perms::owner_read | perms::owner_exec |
                                                     perms::others_read | perms::others_exec);
        }
        const telvora::test::LimitedRun run = telvora::test::RunProgramWithLimits(
            c.limits, TELVORA_LASGEN_EXE, {output, "--points", "20000", "--seed", "2"});
        EXPECT_EQ(run.exitCode, 1) << c.label << ": " << run.err;
        EXPECT_NE(run.err.find(output + ": " + c.reason), std::string::npos)
            << c.label << ": " << run.err;
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        EXPECT_TRUE(telvora::test::ReadAll(output) == old) << c.label;
        EXPECT_TRUE(telvora::test::PartFilesIn(folder).empty()) << c.label;
    }
}

} // namespace
} // namespace telvora::lasgen
