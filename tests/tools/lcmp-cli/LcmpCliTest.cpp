#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ArchiveBytes.h"
#include "FailureInjection.h"
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

TEST_F(LcmpCli, FolderThatIsNoFolderIsReported)
{
    WriteAll(archive, Archive({{"a.las", PointsEntry(1)}}));
    WriteAll(temp.File("out.las"), {'x'});
    const struct
    {
        std::string folder;
        std::string message;
    } cases[] = {
        {temp.File("nowhere"), temp.File("nowhere") + ": no such folder\n"},
        {temp.File("out.las"), temp.File("out.las") + ": not a folder\n"},
    };
    for (const auto& c : cases)
    {
        std::ostringstream e;
        EXPECT_EQ(RunExtract(archive, ExtractOptions{{}, c.folder, false}, e), kExitFailure);
        EXPECT_EQ(e.str(), c.message);
    }
    EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(LcmpCli, EmptyFileExitsOneAndEmptyDirectoryZero)
{
    WriteAll(archive, {});
    const Result empty = List(archive);
    EXPECT_EQ(empty.exitCode, kExitFailure);
    EXPECT_EQ(empty.err, archive + ": Cannot read LCMPFile file headers\n");
    EXPECT_EQ(Extract(archive, {}).exitCode, kExitFailure);

    WriteAll(archive, Archive({}));
    const Result none = List(archive);
    EXPECT_EQ(none.exitCode, kExitOk);
    EXPECT_EQ(none.out + none.err, "");
    EXPECT_EQ(Extract(archive, {}).exitCode, kExitOk);
    EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(LcmpCli, NamesAreShownWithControlCharactersAndBadUtf8Escaped)
{
    const struct
    {
        std::string stored;
        std::string shown;
    } cases[] = {
        {"plain.las", "plain.las"},
        {"\x1b[2Jclear.las", "\\x1b[2Jclear.las"},
        {"tab\tnew\nline\r.las", "tab\\x09new\\x0aline\\x0d.las"},
        {"del\x7f.las", "del\\x7f.las"},
        {"back\\slash.las", "back\\\\slash.las"},
        {"caf\xc3\xa9 \xe6\x9d\xb1 \xf0\x9f\x98\x80.las",
         "caf\xc3\xa9 \xe6\x9d\xb1 \xf0\x9f\x98\x80.las"},
        // C1 control (CSI), a lone continuation byte, a cut sequence, an overlong '/', a
        // surrogate, and beyond U+10FFFF.
        {"\xc2\x9bK", "\\xc2\\x9bK"},
        {"\x80\xc3.las", "\\x80\\xc3.las"},
        {"\xc0\xaf", "\\xc0\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        // Right-to-left override and a first strong isolate: the name shown in another order.
        {"\xe2\x80\xae"
         "sal.exe",
         "\\xe2\\x80\\xaesal.exe"},
        {"a\xe2\x81\xa8"
         "b",
         "a\\xe2\\x81\\xa8"
         "b"},
    };
    std::vector<telvora::test::Entry> entries;
    std::string listing;
    for (const auto& c : cases)
    {
        entries.push_back({c.stored, PointsEntry(1)});
        listing += c.shown + "\n";
    }
    WriteAll(archive, Archive(entries));
    const Result listed = List(archive);
    EXPECT_EQ(listed.exitCode, kExitOk);
    EXPECT_EQ(listed.out, listing);

    // Messages quote names the same way.
    const Result missing = Extract(archive, {"\x1b]0;title\x07"});
    EXPECT_EQ(missing.err, "\\x1b]0;title\\x07: LAS file not found in archive!\n");
}

TEST_F(LcmpCli, NamesThatAreNoPlainFileNameGetTheUnsafeNameMessage)
{
    WriteAll(archive, Archive({{"", PointsEntry(1)},
                               {".", PointsEntry(1)},
                               {"..", PointsEntry(1)},
                               {"/", PointsEntry(1)}}));
    const std::string unsafe = ": The entry name is not a plain file name and cannot be written!\n";
    const Result r = Extract(archive, {});
    EXPECT_EQ(r.exitCode, kExitFailure);
    EXPECT_EQ(r.err, unsafe + "." + unsafe + ".." + unsafe + "/" + unsafe);
    EXPECT_TRUE(FilesIn(out).empty());
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

// Waits until the hidden file an extraction writes into the folder is at least that large; false
// when none grew so far within ten seconds.
bool WaitForPartFile(const fs::path& folder, std::uintmax_t atLeast)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until)
    {
        std::error_code error;
        for (const auto& item : fs::directory_iterator(folder, error))
        {
            const std::uintmax_t size = fs::file_size(item.path(), error);
            if (item.path().filename().string().rfind(".lcmp-", 0) == 0 && !error &&
                size >= atLeast)
            {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

TEST_F(LcmpCli, ExecutableOutOfSpaceOrStoppedMidwayLeavesNothing)
{
    // Ten million points, 260000227 bytes to write: about a second of work, far longer than each
    // case takes to act once the first records are written.
    WriteAll(archive, Archive({{"a.las", PointsEntry(10'000'000)}}));
    const std::string cancelled = "a.las: cancelled, nothing written\n";
    const struct
    {
        const char* what;
        rlim_t limit;
        // Sent once records are being written; 0 lowers the file-size limit to 1 byte instead.
        int signal;
        std::string err;
        // An a.las of the user's there before, which --force would have replaced.
        bool replacing = false;
    } cases[] = {
        {"file-size limit below the output", 100 << 20, 0,
         "a.las: There is not enough space for the decompressed file! (" + out.string() +
             "/a.las: it needs 260000227 bytes (248.0 MiB), but the file-size limit of this "
             "process is 104857600 bytes (100.0 MiB))\n"},
        {"terminal closed", RLIM_INFINITY, SIGHUP, cancelled},
        {"Ctrl-C", RLIM_INFINITY, SIGINT, cancelled},
        {"terminated", RLIM_INFINITY, SIGTERM, cancelled},
        // No check before writing could see this coming.
        {"file-size limit lowered meanwhile", RLIM_INFINITY, 0,
         "a.las: WriteError::LAS Point (" + out.string() +
             "/a.las: the file is too large (a file-size limit was reached))\n"},
        {"file-size limit lowered while replacing", RLIM_INFINITY, 0,
         "a.las: WriteError::LAS Point (" + out.string() +
             "/a.las: the file is too large (a file-size limit was reached))\n",
         true},
    };
    const std::vector<unsigned char> users(3000, 0x42);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<std::string> arguments = {"extract", archive, "--into", out.string()};
        if (c.replacing)
        {
            WriteAll((out / "a.las").string(), users);
            arguments.push_back("--force");
        }
        telvora::test::CLimitedProgram tool(
            {c.limit == RLIM_INFINITY ? -1 : static_cast<std::int64_t>(c.limit), false},
            TELVORA_LCMP_CLI, arguments);
        if (c.limit == RLIM_INFINITY)
        {
            if (!WaitForPartFile(out, 228))
            {
                ADD_FAILURE() << "no records were written";
                continue;
            }
            rlimit oneByte{};
            ::getrlimit(RLIMIT_FSIZE, &oneByte);
            oneByte.rlim_cur = 1;
            EXPECT_EQ(c.signal != 0 ? ::kill(tool.Pid(), c.signal)
                                    : ::prlimit(tool.Pid(), RLIMIT_FSIZE, &oneByte, nullptr),
                      0);
        }
        const telvora::test::LimitedRun r = tool.Wait();
        EXPECT_EQ(r.exitCode, kExitFailure);
        EXPECT_EQ(r.err, c.err);
        if (c.replacing)
        {
            EXPECT_EQ(FilesIn(out), std::vector<std::string>{"a.las"});
            EXPECT_TRUE(ReadAll((out / "a.las").string()) == users);
            fs::remove(out / "a.las");
        }
        EXPECT_TRUE(FilesIn(out).empty());
    }
}

} // namespace
} // namespace telvora::lcmpcli::test
