#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "ArchiveBytes.h"
#include "ProcessRun.h"
#include "TestFiles.h"
#include "telvora-lcmp/LcmpCommands.h"

namespace telvora::lcmpcli::test
{
namespace
{

namespace fs = std::filesystem;
using telvora::test::Archive;
using telvora::test::Bytes;
using telvora::test::EntryData;
using telvora::test::MakeHeader;
using telvora::test::ReadAll;
using telvora::test::TempDir;
using telvora::test::WriteAll;
using telvora::test::ZeroChunks;

Bytes PointsEntry(std::uint32_t points)
{
    const LasHeader header = MakeHeader(2, points);
    return EntryData(header, 'L', {}, ZeroChunks(header));
}

std::vector<std::string> FilesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
    {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Result
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

class LcmpCli : public testing::Test
{
protected:
    void SetUp() override { fs::create_directory(out); }

    Result List(const std::string& path)
    {
        std::ostringstream o;
        std::ostringstream e;
        Result r;
        r.exitCode = RunList(path, o, e);
        r.out = o.str();
        r.err = e.str();
        return r;
    }
    Result Extract(const std::string& path, std::vector<std::string> names, bool force = false)
    {
        std::ostringstream e;
        Result r;
        r.exitCode = RunExtract(path, ExtractOptions{std::move(names), out.string(), force}, e);
        r.err = e.str();
        return r;
    }

    TempDir temp;
    fs::path out = temp.Path() / "out";
    std::string archive = temp.File("a.lcmp");
};

TEST_F(LcmpCli, ListPrintsOneNamePerLine)
{
    WriteAll(archive, Archive({{"b.las", PointsEntry(2)}, {"a.las", PointsEntry(3)}}));
    const Result r = List(archive);
    EXPECT_EQ(r.exitCode, kExitOk);
    EXPECT_EQ(r.out, "b.las\na.las\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(LcmpCli, ListFailuresGiveTheMessageAndExitOne)
{
    const Result missing = List(temp.File("missing.lcmp"));
    EXPECT_EQ(missing.exitCode, kExitFailure);
    EXPECT_EQ(missing.err, temp.File("missing.lcmp") + ": Error opening file!\n");
    WriteAll(archive, {1, 2, 3, 4, 5, 6, 7, 8});
    const Result wrong = List(archive);
    EXPECT_EQ(wrong.exitCode, kExitFailure);
    EXPECT_EQ(wrong.err, archive + ": Wrong file format!\n");
}

TEST_F(LcmpCli, ExtractWithoutNamesWritesEveryEntryOnce)
{
    WriteAll(
        archive,
        Archive({{"b.las", PointsEntry(2)}, {"a.las", PointsEntry(3)}, {"b.las", PointsEntry(4)}}));
    const Result r = Extract(archive, {});
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"a.las", "b.las"}));
    // The first of the two b.las.
    EXPECT_EQ(ReadAll((out / "b.las").string()).size(), 227u + 2 * 26);
}

TEST_F(LcmpCli, ExtractNamedEntriesOnly)
{
    WriteAll(archive, Archive({{"b.las", PointsEntry(2)}, {"a.las", PointsEntry(3)}}));
    const Result r = Extract(archive, {"a.las"});
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{"a.las"});
}

TEST_F(LcmpCli, ExistingFilesStayUnlessForced)
{
    WriteAll(archive, Archive({{"a.las", PointsEntry(3)}, {"b.las", PointsEntry(2)}}));
    WriteAll((out / "a.las").string(), {'k', 'e', 'e', 'p'});
    const Result kept = Extract(archive, {});
    EXPECT_EQ(kept.exitCode, kExitFailure);
    EXPECT_EQ(kept.err, "a.las: " + out.string() +
                            "/a.las already exists (use --force to "
                            "replace it)\n");
    EXPECT_EQ(ReadAll((out / "a.las").string()), (Bytes{'k', 'e', 'e', 'p'}));
    // The other entry was still extracted.
    EXPECT_TRUE(fs::exists(out / "b.las"));

    const Result forced = Extract(archive, {"a.las"}, true);
    EXPECT_EQ(forced.exitCode, kExitOk) << forced.err;
    EXPECT_EQ(ReadAll((out / "a.las").string()).size(), 227u + 3 * 26);
}

TEST_F(LcmpCli, FailuresNameTheEntryAndLeaveNothingBehind)
{
    WriteAll(archive, Archive({{"../up.las", PointsEntry(1)}, {"a.las", PointsEntry(1)}}));
    const Result r = Extract(archive, {"../up.las", "zzz.las", "a.las"});
    EXPECT_EQ(r.exitCode, kExitFailure);
    EXPECT_EQ(r.err, "../up.las: The entry name is not a plain file name and cannot be written!\n"
                     "zzz.las: LAS file not found in archive!\n");
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{"a.las"});
    EXPECT_EQ(FilesIn(temp.Path()), (std::vector<std::string>{"a.lcmp", "out"}));
}

TEST_F(LcmpCli, MissingFolderIsReported)
{
    WriteAll(archive, Archive({{"a.las", PointsEntry(1)}}));
    std::ostringstream e;
    const int code = RunExtract(archive, ExtractOptions{{}, temp.File("nowhere"), false}, e);
    EXPECT_EQ(code, kExitFailure);
    EXPECT_EQ(e.str(), temp.File("nowhere") + ": no such folder\n");
}

TEST_F(LcmpCli, CancelledExtractionWritesNothing)
{
    WriteAll(archive, Archive({{"a.las", PointsEntry(3)}}));
    const std::atomic<bool> cancel{true};
    std::ostringstream e;
    EXPECT_EQ(
        RunExtract(archive, ExtractOptions{{"a.las"}, out.string(), false}, e, nullptr, &cancel),
        kExitFailure);
    EXPECT_TRUE(FilesIn(out).empty());
}

// The executable as a script runs it; its error output goes through a file, so it is no
// terminal and carries no progress.
Result RunTool(const TempDir& temp, const std::vector<std::string>& arguments)
{
    const telvora::test::ProcessResult run =
        telvora::test::RunProcess(TELVORA_LCMP_CLI, arguments, temp.File("stderr.txt"));
    return {run.exitCode, run.out, run.err};
}

TEST_F(LcmpCli, ExecutableExitCodesAndOutputs)
{
    WriteAll(archive, Archive({{"a.las", PointsEntry(3)}}));
    const Result list = RunTool(temp, {"list", archive});
    EXPECT_EQ(list.exitCode, kExitOk);
    EXPECT_EQ(list.out, "a.las\n");

    const Result extract = RunTool(temp, {"extract", archive, "--into", out.string()});
    EXPECT_EQ(extract.exitCode, kExitOk);
    EXPECT_EQ(extract.err, "");
    EXPECT_TRUE(fs::exists(out / "a.las"));

    const Result again = RunTool(temp, {"extract", archive, "a.las", "--into", out.string()});
    EXPECT_EQ(again.exitCode, kExitFailure);

    const Result usage = RunTool(temp, {"extract", archive});
    EXPECT_EQ(usage.exitCode, kExitUsage);
    EXPECT_EQ(RunTool(temp, {}).exitCode, kExitUsage);
}

} // namespace
} // namespace telvora::lcmpcli::test
