#include "scene/LasFileSet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "FailureInjection.h"
#include "LasErrors.h"
#include "TestData.h"
#include "TestFiles.h"
#include "common/PathHelpers.h"
#include "las/LasException.h"
#include "las/LasHeader.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace telvora
{
namespace
{

namespace fs = std::filesystem;
using test::ReadAll;
using test::TempDir;

const std::string kTestData = TELVORA_TESTDATA_LAS;

using test::ErrorOf;

// A header followed by a sparse point block of the length it declares: the set checks that the
// records are there but reads none of them.
void WriteHeaderOnly(const std::string& path, const Vec3& minimum, const Vec3& maximum,
                     std::uint32_t points)
{
    LasHeader header;
    std::memcpy(header.fileSignature, "LASF", 4);
    header.versionMajor = 1;
    header.versionMinor = 2;
    header.headerSize = 227;
    header.offsetToPointData = 227;
    header.pointDataRecordLength = 20;
    header.numberOfPointRecords = points;
    header.minX = minimum.x;
    header.minY = minimum.y;
    header.minZ = minimum.z;
    header.maxX = maximum.x;
    header.maxY = maximum.y;
    header.maxZ = maximum.z;
    unsigned char image[LasHeader::kImageSize];
    SerializeLasHeader(header, image);
    test::WriteAll(path, std::vector<unsigned char>(image, image + sizeof image));
    fs::resize_file(path, sizeof image + std::uintmax_t{points} * 20);
}

// The names in a folder, sorted.
std::vector<std::string> Listing(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
    {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CLasFileSetCopies : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directory(dir.Path() / "chosen");
        fs::create_directory(dir.Path() / "temp");
        temp = (dir.Path() / "temp").string();
    }

    // A small survey; different seeds give different bytes.
    std::string Survey(const std::string& relativePath, std::uint64_t seed)
    {
        std::string path = dir.File(relativePath);
        fs::create_directories(fs::path(path).parent_path());
        lasgen::SurveyOptions options;
        options.points = 400;
        options.seed = seed;
        lasgen::WriteSurvey(path, options);
        return path;
    }

    std::unique_ptr<CLasFileSet> OpenSet(const std::vector<std::string>& paths)
    {
        auto set = std::make_unique<CLasFileSet>(static_cast<std::int32_t>(paths.size()));
        for (std::size_t i = 0; i < paths.size(); ++i)
        {
            set->OpenFile(static_cast<std::int32_t>(i), paths[i].c_str());
        }
        return set;
    }

    TempDir dir;
    std::string temp;
};

TEST(CLasFileSet, NewSetHoldsVisibleEmptyFilesAndZeroTotals)
{
    const CLasFileSet set(3);
    ASSERT_EQ(set.count, 3);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(set.visible[i], 1);
        EXPECT_EQ(set.files[i].path, nullptr);
        EXPECT_EQ(set.files[i].header, nullptr);
    }
    EXPECT_EQ(set.bounds.minimum, Vec3{});
    EXPECT_EQ(set.bounds.maximum, Vec3{});
    EXPECT_EQ(set.bounds.centre, Vec3{});
    EXPECT_EQ(set.sceneOffset, Vec3d{});
    EXPECT_EQ(set.totalPoints, 0u);
    EXPECT_EQ(set.sourcePaths, nullptr);
    EXPECT_EQ(set.archivePath, nullptr);
}

TEST(CLasFileSet, CountOutsideOneToFiftyIsRejected)
{
    EXPECT_THROW(CLasFileSet(0), std::invalid_argument);
    EXPECT_THROW(CLasFileSet(-1), std::invalid_argument);
    EXPECT_THROW(CLasFileSet(51), std::invalid_argument);
    EXPECT_EQ(CLasFileSet(50).count, 50);
}

TEST(CLasFileSet, TwoOverlappingFilesGiveTheirUnionAndItsHorizontalCentre)
{
    const std::string first = kTestData + "/thin-1.las";
    const std::string second = kTestData + "/thin-2.las";
    if (!fs::exists(first) || !fs::exists(second))
    {
        TELVORA_MISSING_TEST_INPUT("real LAS files not found in " + kTestData);
    }
    CLasFileSet set(2);
    set.OpenFile(0, first.c_str());
    set.OpenFile(1, second.c_str());
    set.ComputeSceneOffset();

    EXPECT_EQ(set.totalPoints, 5327u + 5326u);
    EXPECT_EQ(set.bounds.minimum,
              (Vec3{static_cast<float>(635589.01), static_cast<float>(848886.4500000001),
                    static_cast<float>(406.59000000000003)}));
    EXPECT_EQ(set.bounds.maximum,
              (Vec3{static_cast<float>(638994.75), static_cast<float>(853535.43),
                    static_cast<float>(593.73)}));
    // In double: a float would be a quarter of a metre off at this northing.
    EXPECT_NEAR(set.sceneOffset.x, 637291.88, 1e-6);
    EXPECT_NEAR(set.sceneOffset.y, 851210.94, 1e-6);
    EXPECT_EQ(set.sceneOffset.z, 0.0);
    EXPECT_EQ(set.visible[0], 1);
    EXPECT_EQ(set.visible[1], 1);
}

TEST(CLasFileSet, PointCountsAboveFourBillionAddUpWithoutWrapping)
{
    TempDir dir;
    WriteHeaderOnly(dir.File("a.las"), {0, 0, 0}, {1, 1, 1}, 2200000000u);
    WriteHeaderOnly(dir.File("b.las"), {0, 0, 0}, {1, 1, 1}, 2200000000u);
    CLasFileSet set(2);
    set.OpenFile(0, dir.File("a.las").c_str());
    set.OpenFile(1, dir.File("b.las").c_str());
    EXPECT_EQ(set.totalPoints, 4400000000u);
}

TEST(CLasFileSet, FailedOpenThrowsTheReadErrorAndLeavesTheSetUsable)
{
    TempDir dir;
    WriteHeaderOnly(dir.File("a.las"), {10, 20, 30}, {11, 21, 31}, 5);
    WriteHeaderOnly(dir.File("b.las"), {12, 22, 32}, {13, 23, 33}, 7);
    test::WriteAll(dir.File("short.las"), std::vector<unsigned char>(100, 'L'));
    CLasFileSet set(2);
    set.OpenFile(0, dir.File("a.las").c_str());

    EXPECT_EQ(ErrorOf([&] { set.OpenFile(1, dir.File("missing.las").c_str()); }),
              "ReadError::File could not be open.");
    EXPECT_EQ(ErrorOf([&] { set.OpenFile(1, dir.File("short.las").c_str()); }),
              "ReadError::LAS Header");
    EXPECT_EQ(set.totalPoints, 5u);
    EXPECT_EQ(set.bounds.maximum, (Vec3{11, 21, 31}));

    set.OpenFile(1, dir.File("b.las").c_str());
    EXPECT_EQ(set.totalPoints, 12u);
    EXPECT_EQ(set.bounds.minimum, (Vec3{10, 20, 30}));
    EXPECT_EQ(set.bounds.maximum, (Vec3{13, 23, 33}));
    EXPECT_EQ(set.bounds.centre, (Vec3{11.5f, 21.5f, 31.5f}));
    EXPECT_THROW(set.OpenFile(2, dir.File("b.las").c_str()), std::out_of_range);
    EXPECT_THROW(set.OpenFile(-1, dir.File("b.las").c_str()), std::out_of_range);
}

TEST(CLasFileSet, FailedFirstFileDoesNotPullTheBoundsToTheOrigin)
{
    TempDir dir;
    WriteHeaderOnly(dir.File("b.las"), {500000, 5400000, 100}, {500100, 5400100, 200}, 7);
    CLasFileSet set(2);
    EXPECT_THROW(set.OpenFile(0, dir.File("missing.las").c_str()), CLasException);
    set.OpenFile(1, dir.File("b.las").c_str());
    EXPECT_EQ(set.bounds.minimum, (Vec3{500000, 5400000, 100}));
    EXPECT_EQ(set.bounds.maximum, (Vec3{500100, 5400100, 200}));
}

TEST(CLasFileSet, ArchiveSetDeletesItsDecompressedEntryButNeverTheUsersFile)
{
    TempDir dir;
    const std::string entry = dir.File("entry.las");
    WriteHeaderOnly(entry, {0, 0, 0}, {1, 1, 1}, 3);
    auto set = std::unique_ptr<CLasFileSet>(CLasFileSet::CreateForArchive("/data/flight.lcmp"));
    ASSERT_EQ(set->count, 1);
    EXPECT_STREQ(set->archivePath, "/data/flight.lcmp");
    EXPECT_EQ(set->files[0].path, nullptr);
    EXPECT_EQ(set->sourcePaths, nullptr);

    set->SetArchiveEntryPath(entry.c_str(), EntryFile::Temporary);
    set->OpenFile(0, entry.c_str());
    EXPECT_STREQ(set->files[0].path, entry.c_str());
    ASSERT_NE(set->sourcePaths, nullptr);
    EXPECT_STREQ(set->sourcePaths[0], entry.c_str());
    EXPECT_EQ(set->totalPoints, 3u);

    set.reset();
    EXPECT_FALSE(fs::exists(entry));

    // A file that was at the output path before, kept by the user.
    WriteHeaderOnly(entry, {0, 0, 0}, {1, 1, 1}, 3);
    set.reset(CLasFileSet::CreateForArchive("/data/flight.lcmp"));
    set->SetArchiveEntryPath(entry.c_str(), EntryFile::UsersFile);
    set.reset();
    EXPECT_TRUE(fs::exists(entry));
}

TEST_F(CLasFileSetCopies, CopiesHoldTheOriginalBytesAndBecomeTheWorkingFiles)
{
    const std::string a = Survey("chosen/a.las", 1);
    const std::string b = Survey("chosen/b.las", 2);
    const auto bytesA = ReadAll(a);
    const auto bytesB = ReadAll(b);
    auto set = OpenSet({a, b});

    // A trailing separator on the folder must not change the copies' paths.
    set->CreateTemporaryCopies((temp + "/").c_str());

    ASSERT_NE(set->sourcePaths, nullptr);
    EXPECT_STREQ(set->sourcePaths[0], a.c_str());
    EXPECT_STREQ(set->sourcePaths[1], b.c_str());
    EXPECT_EQ(std::string(set->files[0].path), temp + "/a.las");
    EXPECT_EQ(std::string(set->files[1].path), temp + "/b.las");
    EXPECT_EQ(ReadAll(set->files[0].path), bytesA);
    EXPECT_EQ(ReadAll(set->files[1].path), bytesB);
    EXPECT_EQ(Listing(temp), (std::vector<std::string>{"a.las", "b.las"}));

    set.reset();
    EXPECT_TRUE(Listing(temp).empty());
    EXPECT_EQ(ReadAll(a), bytesA);
    EXPECT_EQ(ReadAll(b), bytesB);
}

TEST_F(CLasFileSetCopies, ChosenFilesWithTheSameNameGetDistinctCopies)
{
    const std::string first = Survey("chosen/x/s.las", 1);
    const std::string second = Survey("chosen/y/s.las", 2);
    const std::string third = Survey("chosen/z/s.las", 3);
    auto set = OpenSet({first, second, third});

    set->CreateTemporaryCopies(temp.c_str());

    EXPECT_EQ(std::string(set->files[0].path), temp + "/s.las");
    EXPECT_EQ(std::string(set->files[1].path), temp + "/s (2).las");
    EXPECT_EQ(std::string(set->files[2].path), temp + "/s (3).las");
    EXPECT_EQ(ReadAll(set->files[0].path), ReadAll(first));
    EXPECT_EQ(ReadAll(set->files[1].path), ReadAll(second));
    EXPECT_EQ(ReadAll(set->files[2].path), ReadAll(third));
    set.reset();
    EXPECT_TRUE(Listing(temp).empty());
}

TEST_F(CLasFileSetCopies, CopyingIntoTheFolderOfChosenFilesNeverTouchesThem)
{
    const std::string chosen = Survey("chosen/s.las", 1);
    // A file of the user's that happens to have the name the second copy would take.
    const std::string bystander = Survey("chosen/s (2).las", 2);
    const auto chosenBytes = ReadAll(chosen);
    const auto bystanderBytes = ReadAll(bystander);
    auto set = OpenSet({chosen});

    set->CreateTemporaryCopies(FolderOf(chosen).c_str());

    EXPECT_EQ(std::string(set->files[0].path), dir.File("chosen/s (3).las"));
    EXPECT_STREQ(set->sourcePaths[0], chosen.c_str());
    set.reset();
    EXPECT_EQ(ReadAll(chosen), chosenBytes);
    EXPECT_EQ(ReadAll(bystander), bystanderBytes);
    EXPECT_EQ(Listing(dir.Path() / "chosen"), (std::vector<std::string>{"s (2).las", "s.las"}));
}

TEST_F(CLasFileSetCopies, LinkUnderTheCopyNameIsNeitherWrittenThroughNorDeleted)
{
    const std::string chosen = Survey("chosen/a.las", 1);
    const std::string target = Survey("chosen/other.las", 2);
    const auto targetBytes = ReadAll(target);
    fs::create_symlink(target, temp + "/a.las");
    fs::create_symlink(dir.File("chosen/nowhere.las"), temp + "/a (2).las");
    auto set = OpenSet({chosen});

    set->CreateTemporaryCopies(temp.c_str());

    EXPECT_EQ(std::string(set->files[0].path), temp + "/a (3).las");
    set.reset();
    EXPECT_EQ(ReadAll(target), targetBytes);
    EXPECT_TRUE(fs::is_symlink(temp + "/a.las"));
    EXPECT_TRUE(fs::is_symlink(temp + "/a (2).las"));
    EXPECT_FALSE(fs::exists(dir.File("chosen/nowhere.las")));
}

TEST_F(CLasFileSetCopies, FailedCopyLeavesNoReservedFileAndKeepsEarlierCopiesInCare)
{
    const std::string a = Survey("chosen/a.las", 1);
    const std::string b = Survey("chosen/b.las", 2);
    const std::string c = Survey("chosen/c.las", 3);
    auto set = OpenSet({a, b, c});
    fs::remove(b);

    EXPECT_EQ(ErrorOf([&] { set->CreateTemporaryCopies(temp.c_str()); }),
              "ReadError::File could not be open.");

    EXPECT_EQ(Listing(temp), (std::vector<std::string>{"a.las"}));
    EXPECT_EQ(std::string(set->files[0].path), temp + "/a.las");
    EXPECT_EQ(std::string(set->files[1].path), b);
    EXPECT_EQ(std::string(set->files[2].path), c);
    ASSERT_NE(set->sourcePaths, nullptr);
    EXPECT_STREQ(set->sourcePaths[0], a.c_str());
    EXPECT_STREQ(set->sourcePaths[1], b.c_str());
    EXPECT_STREQ(set->sourcePaths[2], c.c_str());
    set.reset();
    EXPECT_TRUE(Listing(temp).empty());
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(c));
}

TEST_F(CLasFileSetCopies, MissingFolderThrowsTheCreateErrorAndKeepsTheChosenFiles)
{
    const std::string a = Survey("chosen/a.las", 1);
    auto set = OpenSet({a});
    EXPECT_EQ(ErrorOf([&] { set->CreateTemporaryCopies(dir.File("absent").c_str()); }),
              "WriteError::File could not be created.");
    EXPECT_EQ(ErrorOf([&] { set->CreateTemporaryCopies(""); }),
              "WriteError::File could not be created.");
    EXPECT_EQ(std::string(set->files[0].path), a);
    set.reset();
    EXPECT_TRUE(fs::exists(a));
}

TEST_F(CLasFileSetCopies, CopyingAgainKeepsTheChosenPathsAndCleansUpBothRounds)
{
    const std::string a = Survey("chosen/a.las", 1);
    auto set = OpenSet({a});
    set->CreateTemporaryCopies(temp.c_str());
    set->CreateTemporaryCopies(temp.c_str());

    EXPECT_STREQ(set->sourcePaths[0], a.c_str());
    EXPECT_EQ(std::string(set->files[0].path), temp + "/a (2).las");
    set.reset();
    EXPECT_TRUE(Listing(temp).empty());
    EXPECT_TRUE(fs::exists(a));
}

TEST_F(CLasFileSetCopies, OnlyFilesTheSetMadeAreDeleted)
{
    const std::string a = Survey("chosen/a.las", 1);
    const std::string saved = Survey("chosen/saved.las", 2);
    auto set = OpenSet({a});
    set->CreateTemporaryCopies(temp.c_str());
    // A caller pointing the file elsewhere, as a save under a new name may.
    set->files[0].SetPath(saved.c_str());

    set.reset();
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(Listing(temp).empty());
}

TEST_F(CLasFileSetCopies, SetWithoutCopiesDeletesNothing)
{
    const std::string a = Survey("chosen/a.las", 1);
    OpenSet({a}).reset();
    EXPECT_TRUE(fs::exists(a));
}

// The set's own writes made to fail: temporary copies, Save's copy back and Save As. Each names the
// file and the reason, leaves every file under the test's folder as it was (no copy, no ".part")
// and writes nothing where it failed. Rows that would repeat the copy's own failures
// (LasWriteFailureTest) are left out: Save and Save As add the check of the saved file.
TEST_F(CLasFileSetCopies, FailedWritesOfTheSetSayWhichFileAndWhyAndLeaveEveryFileAsItWas)
{
    enum class Write
    {
        Copies,
        Save,
        SaveAs
    };
    enum class Failure
    {
        // Half the file.
        FileSizeLimit,
        // A small file system of 8 KiB for the copies: less than the file.
        FullDisk,
        // The copies' folder readable, not writable, for an unprivileged writer.
        ReadOnlyFolder,
        // The chosen file (for Save As, the working copy) deleted after it was read.
        Deleted,
        // The chosen file replaced by another file after it was read.
        Replaced
    };
    const std::string changed = "the file was changed by another program since it was opened";
    const std::string tooLarge = "the file is too large (a file-size limit was reached)";
    struct Case
    {
        Write write;
        Failure failure;
        const char* text;
        // The detail: the file, under the test's folder, and the reason.
        std::string detail;
    };
    const char* created = "WriteError::File could not be created.";
    const char* opened = "ReadError::File could not be open.";
    const Case cases[] = {
        {Write::Copies, Failure::FileSizeLimit, created, "temp/a.las: " + tooLarge},
        {Write::Copies, Failure::FullDisk, created, "temp/a.las: the disk is full"},
        {Write::Copies, Failure::ReadOnlyFolder, created, "temp/a.las: permission denied"},
        {Write::Copies, Failure::Replaced, opened, "chosen/a.las: " + changed},
        {Write::Save, Failure::FileSizeLimit, created, "chosen/a.las: " + tooLarge},
        // Save does not bring back a file the user deleted.
        {Write::Save, Failure::Deleted, created, "chosen/a.las: " + changed},
        {Write::Save, Failure::Replaced, created, "chosen/a.las: " + changed},
        {Write::SaveAs, Failure::FileSizeLimit, created, "saved/b.las: " + tooLarge},
        {Write::SaveAs, Failure::Deleted, opened, "temp/a.las: no such file or folder"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE("write " + std::to_string(static_cast<int>(c.write)) + ", failure " +
                     std::to_string(static_cast<int>(c.failure)));
        fs::remove_all(dir.Path());
        fs::create_directories(dir.Path() / "temp");
        fs::create_directories(dir.Path() / "saved");
        const bool mounted =
            c.failure == Failure::FullDisk && test::MountSmallFileSystem(temp, 8192);
        if (c.failure == Failure::FullDisk && !mounted)
        {
            std::printf("[   NOTE   ] no small file system could be mounted here; the file-size "
                        "limit rows cover the same writes\n");
            continue;
        }
        const std::string a = Survey("chosen/a.las", 1);
        const std::string other = Survey("chosen/other.las", 2);
        auto set = OpenSet({a});
        if (c.write != Write::Copies)
        {
            set->CreateTemporaryCopies(temp.c_str());
            // A reclassification of the working copy, for Save to bring back.
            const std::uint32_t record = 3;
            const std::uint8_t code = 9;
            std::uint8_t previous = 0;
            std::size_t written = 0;
            set->files[0].WriteClassifications(&record, 1, &code, &previous, written);
        }
        test::WriteLimits limits;
        switch (c.failure)
        {
        case Failure::FileSizeLimit:
            limits.fileSizeBytes = static_cast<std::int64_t>(fs::file_size(a) / 2);
            break;
        case Failure::ReadOnlyFolder:
            fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                            fs::perms::group_exec | fs::perms::others_read |
                                            fs::perms::others_exec);
            fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_exec |
                                      fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
            limits.unprivileged = true;
            break;
        case Failure::Deleted:
            fs::remove(c.write == Write::SaveAs ? std::string(set->files[0].path) : a);
            break;
        case Failure::Replaced:
            test::ReplaceFile(a, ReadAll(other));
            break;
        case Failure::FullDisk:
            break;
        }
        const test::FileSnapshot before = test::FilesUnder(dir.Path());

        const test::ChildOutcome outcome =
            test::RunWithLimits(limits,
                                [&]
                                {
                                    switch (c.write)
                                    {
                                    case Write::Copies:
                                        set->CreateTemporaryCopies(temp.c_str());
                                        break;
                                    case Write::Save:
                                        set->SaveCopies();
                                        break;
                                    case Write::SaveAs:
                                        set->SaveFileAs(0, dir.File("saved/b.las").c_str());
                                        break;
                                    }
                                });
        EXPECT_TRUE(outcome.threw);
        EXPECT_EQ(outcome.text, c.text);
        EXPECT_EQ(outcome.detail, dir.File(c.detail));
        fs::permissions(temp, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(test::FilesUnder(dir.Path()), before);
        set.reset();
        if (mounted)
        {
            test::Unmount(temp);
        }
    }
}

} // namespace
} // namespace telvora
