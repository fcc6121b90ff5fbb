#include <atomic>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
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
    const std::string path = temp.File("missing.lcmp");
    EXPECT_EQ(missing.err, path + ": Error opening file! (" + path + ": no such file or folder)\n");
    WriteAll(archive, {1, 2, 3, 4, 5, 6, 7, 8});
    const Result wrong = List(archive);
    EXPECT_EQ(wrong.exitCode, kExitFailure);
    EXPECT_EQ(wrong.err, archive + ": Wrong file format! (" + archive +
                             ": it begins with 01 02 03 04, not with the archive's 1D 2C 3B 4A)\n");
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
    EXPECT_EQ(r.err, "../up.las: The entry name is not a plain file name and cannot be written! "
                     "(../up.las in " +
                         archive +
                         ": as it stands, it names no file in the folder)\n"
                         "zzz.las: LAS file not found in archive! (" +
                         archive + ": no entry is named zzz.las)\n");
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
    EXPECT_EQ(empty.err, archive + ": Cannot read LCMPFile file headers (" + archive +
                             ": the file is empty)\n");
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
    EXPECT_EQ(missing.err, "\\x1b]0;title\\x07: LAS file not found in archive! (" + archive +
                               ": no entry is named \\x1b]0;title\\x07)\n");
}

TEST_F(LcmpCli, NamesThatAreNoPlainFileNameGetTheUnsafeNameMessage)
{
    WriteAll(archive, Archive({{"", PointsEntry(1)},
                               {".", PointsEntry(1)},
                               {"..", PointsEntry(1)},
                               {"/", PointsEntry(1)}}));
    const auto unsafe = [&](const std::string& name)
    {
        return name + ": The entry name is not a plain file name and cannot be written! (" + name +
               " in " + archive + ": as it stands, it names no file in the folder)\n";
    };
    const Result r = Extract(archive, {});
    EXPECT_EQ(r.exitCode, kExitFailure);
    EXPECT_EQ(r.err, unsafe("") + unsafe(".") + unsafe("..") + unsafe("/"));
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

TEST_F(LcmpCli, ExecutableRefusesAnOutputAboveItsFileSizeLimitBeforeWriting)
{
    // Ten million points, 260000227 bytes to write.
    WriteAll(archive, Archive({{"a.las", PointsEntry(10'000'000)}}));
    const telvora::test::LimitedRun r = telvora::test::RunProgramWithLimits(
        {100 << 20, false}, TELVORA_LCMP_CLI, {"extract", archive, "--into", out.string()});
    EXPECT_EQ(r.exitCode, kExitFailure);
    EXPECT_EQ(r.err, "a.las: There is not enough space for the decompressed file! (" +
                         out.string() +
                         "/a.las: it needs 260000227 bytes (248.0 MiB), but the file-size limit "
                         "of this process is 104857600 bytes (100.0 MiB))\n");
    EXPECT_TRUE(FilesIn(out).empty());
}

// The handlers the executable installs, with each signal sent at an explicit point of the
// extraction: mid-way through an entry, once the entry is complete in its hidden file (the next
// step would rename it over the user's file), mid-way through the next entry, and once the last
// entry is renamed. The folder then holds the user's file byte for byte or the complete entry,
// never neither, and nothing half-written; after the last rename the job has succeeded.
TEST_F(LcmpCli, InterruptAtAnyPointKeepsTheUsersFileOrTheCompleteEntry)
{
    WriteAll(archive, Archive({{"a.las", PointsEntry(300)}, {"b.las", PointsEntry(200)}}));
    const Bytes users(3000, 0x42);
    enum class Point
    {
        FirstStream,
        EntryComplete,
        NextEntry,
        LastRenamed
    };
    std::atomic<bool>& interrupted = CatchInterrupts();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    {
        for (const Point point :
             {Point::FirstStream, Point::EntryComplete, Point::NextEntry, Point::LastRenamed})
        {
            for (const bool force : {false, true})
            {
                SCOPED_TRACE(testing::Message() << "signal " << signal << ", point "
                                                << static_cast<int>(point) << ", force " << force);
                fs::remove_all(out);
                fs::create_directory(out);
                if (force)
                {
                    WriteAll((out / "a.las").string(), users);
                    WriteAll((out / "b.las").string(), users);
                }
                interrupted.store(false);
                int entries = 0;
                ExtractOptions options{{}, out.string(), force};
                options.afterStream = [&](std::int32_t done)
                {
                    if (done != 1)
                    {
                        return;
                    }
                    ++entries;
                    if ((point == Point::FirstStream && entries == 1) ||
                        (point == Point::NextEntry && entries == 2))
                    {
                        ::raise(signal);
                    }
                };
                options.entryComplete = [&]
                {
                    if (point == Point::EntryComplete)
                    {
                        ::raise(signal);
                    }
                };
                int renamed = 0;
                options.entryRenamed = [&]
                {
                    if (point == Point::LastRenamed && ++renamed == 2)
                    {
                        ::raise(signal);
                    }
                };
                std::ostringstream err;
                const int exitCode = RunExtract(archive, options, err, nullptr, &interrupted);
                const bool firstDone = point == Point::NextEntry || point == Point::LastRenamed;
                const bool allDone = point == Point::LastRenamed;
                EXPECT_EQ(exitCode, allDone ? kExitOk : kExitFailure);
                EXPECT_EQ(err.str(), allDone     ? std::string()
                                     : firstDone ? "b.las: cancelled, nothing written\n"
                                                 : "a.las: cancelled, nothing written\n");
                const std::vector<std::string> left =
                    force || allDone ? std::vector<std::string>{"a.las", "b.las"}
                    : firstDone      ? std::vector<std::string>{"a.las"}
                                     : std::vector<std::string>{};
                EXPECT_EQ(FilesIn(out), left);
                if (firstDone)
                {
                    EXPECT_EQ(ReadAll((out / "a.las").string()).size(), 227u + 300 * 26);
                }
                else if (force)
                {
                    EXPECT_TRUE(ReadAll((out / "a.las").string()) == users);
                }
                if (allDone)
                {
                    EXPECT_EQ(ReadAll((out / "b.las").string()).size(), 227u + 200 * 26);
                }
                else if (force)
                {
                    EXPECT_TRUE(ReadAll((out / "b.las").string()) == users);
                }
            }
        }
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    {
        std::signal(signal, SIG_DFL);
    }
    interrupted.store(false);
}

// A file-size limit lowered while the records are being written: no check before writing could
// see it coming. The limit is lowered at an explicit point, after the first stream, and only for
// the writes that follow.
TEST_F(LcmpCli, FileSizeLimitReachedMidwayKeepsTheUsersFile)
{
    WriteAll(archive, Archive({{"a.las", PointsEntry(3000)}}));
    const Bytes users(3000, 0x42);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    for (const bool force : {false, true})
    {
        SCOPED_TRACE(testing::Message() << "force " << force);
        fs::remove_all(out);
        fs::create_directory(out);
        if (force)
        {
            WriteAll((out / "a.las").string(), users);
        }
        ExtractOptions options{{}, out.string(), force};
        options.afterStream = [&](std::int32_t done)
        {
            if (done == 1)
            {
                rlimit oneByte = saved;
                oneByte.rlim_cur = 1;
                ::setrlimit(RLIMIT_FSIZE, &oneByte);
            }
        };
        std::ostringstream err;
        const int exitCode = RunExtract(archive, options, err);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(exitCode, kExitFailure);
        EXPECT_EQ(err.str(),
                  "a.las: WriteError::LAS Point (" + out.string() +
                      "/a.las: the file is too large (a file-size limit was reached))\n");
        if (force)
        {
            EXPECT_EQ(FilesIn(out), std::vector<std::string>{"a.las"});
            EXPECT_TRUE(ReadAll((out / "a.las").string()) == users);
        }
        else
        {
            EXPECT_TRUE(FilesIn(out).empty());
        }
    }
    std::signal(SIGXFSZ, previous);
}

} // namespace
} // namespace telvora::lcmpcli::test
