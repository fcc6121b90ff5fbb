#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

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
         {"out.las --format 4", "out.las --version 1.3", "out.las --points lots",
          "out.las --points -5", "out.las --extra-bytes 70000", "out.las --origin 1", "",
          "out.las --vlrs 70000", "out.las --extra-bytes 65535 --format 3"})
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

} // namespace
} // namespace telvora::lasgen
