// Writes into users' files made to fail part way: every one must say why, leave every file that
// was there as it was, and leave no temporary file behind.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "FailureInjection.h"
#include "LasImage.h"
#include "TestData.h"
#include "TestFiles.h"
#include "las/LasFile.h"
#include "las/LasIo.h"

namespace telvora
{
namespace
{

namespace fs = std::filesystem;
using test::ReadAll;
using test::TempDir;

enum class WritePath
{
    CopyOntoExistingFile,
    AppendRecords,
    AppendRecordImages,
    RewriteRecord
};

enum class Failure
{
    FileSizeLimit,
    FullDisk,
    ReadOnlyFile,
    FolderWithoutWritePermission
};

// 300 records of format 1 (28 bytes) after a 227-byte header: 8,627 bytes.
constexpr std::size_t kRecords = 300;
constexpr std::size_t kFileSize = 227 + 28 * kRecords;

void WriteSurveyFile(const std::string& path, std::int32_t seed)
{
    test::LasImage image = test::LasImage::Make(1, 0);
    for (std::size_t i = 0; i < kRecords; ++i)
    {
        image.records.push_back(test::MakeRecord(28, seed + static_cast<std::int32_t>(i), 2, 3,
                                                 static_cast<std::uint16_t>(i)));
    }
    image.Layout(0);
    image.Save(path);
}

TEST(WriteFailures, EverySaysWhyAndLeavesTheFilesAsTheyWere)
{
    struct Case
    {
        WritePath path;
        Failure failure;
        // None: the write succeeds.
        const char* text;
        // The detail after "<target path>: ".
        const char* reason;
    };
    const char* tooLarge = "the file is too large (a file-size limit was reached)";
    const Case cases[] = {
        {WritePath::CopyOntoExistingFile, Failure::FileSizeLimit,
         "WriteError::File could not be created.", tooLarge},
        {WritePath::CopyOntoExistingFile, Failure::FullDisk,
         "WriteError::File could not be created.", "the disk is full"},
        {WritePath::CopyOntoExistingFile, Failure::ReadOnlyFile,
         "WriteError::File could not be created.", "the file is read-only"},
        {WritePath::CopyOntoExistingFile, Failure::FolderWithoutWritePermission,
         "WriteError::File could not be created.", "permission denied"},
        {WritePath::AppendRecords, Failure::FileSizeLimit, "WriteError::LAS Point", tooLarge},
        {WritePath::AppendRecords, Failure::FullDisk, "WriteError::LAS Point", "the disk is full"},
        {WritePath::AppendRecordImages, Failure::FileSizeLimit, "WriteError::LAS Point", tooLarge},
        {WritePath::AppendRecordImages, Failure::FullDisk, "WriteError::LAS Point",
         "the disk is full"},
        // The limit falls 27 bytes into record 299: the first part of the new record is written,
        // then the old bytes go back.
        {WritePath::RewriteRecord, Failure::FileSizeLimit, "WriteError::LAS Point",
         "the file is too large (a file-size limit was reached); record 299 was left as it was"},
        {WritePath::RewriteRecord, Failure::ReadOnlyFile, "WriteError::File could not be open.",
         "the file is read-only"},
        {WritePath::RewriteRecord, Failure::FolderWithoutWritePermission, nullptr, nullptr},
    };
    for (const Case& c : cases)
    {
        const std::string label = "path " + std::to_string(static_cast<int>(c.path)) +
                                  ", failure " + std::to_string(static_cast<int>(c.failure));
        TempDir dir;
        // Files of the test live where the failure is made: a small file system of its own for a
        // full disk, a folder that the unprivileged writer may read but not write.
        const std::string folder = dir.File("work");
        fs::create_directory(folder);
        const bool mounted =
            c.failure == Failure::FullDisk && test::MountSmallFileSystem(folder, 16384);
        if (c.failure == Failure::FullDisk && !mounted)
        {
            // The other rows still run, so this is no skip of the whole test.
            if (test::MissingDataMustFail())
            {
                ADD_FAILURE() << label << ": no small file system could be mounted here"
                              << test::kMissingUnderCi;
            }
            else
            {
                std::printf("[   NOTE   ] %s: no small file system could be mounted here; the "
                            "file-size limit rows cover the same writes\n",
                            label.c_str());
            }
            continue;
        }
        const std::string source = dir.File("source.las");
        const std::string target = folder + "/target.las";
        WriteSurveyFile(source, 1000);
        WriteSurveyFile(target, 5000);
        if (c.failure == Failure::FullDisk)
        {
            // Fill the rest, so that the next writes find no room.
            std::vector<unsigned char> filler(16384 - kFileSize - 4096, 0xAB);
            test::WriteAll(folder + "/filler", filler);
        }
        const std::vector<unsigned char> before = ReadAll(target);

        test::WriteLimits limits;
        switch (c.failure)
        {
        case Failure::FileSizeLimit:
            // Half way through a copy, 100 bytes into the appended records, 27 bytes into the
            // last record.
            limits.fileSizeBytes = static_cast<std::int64_t>(
                c.path == WritePath::CopyOntoExistingFile ? kFileSize / 2
                : c.path != WritePath::RewriteRecord      ? kFileSize + 100
                                                          : kFileSize - 28 + 27);
            break;
        case Failure::ReadOnlyFile:
            fs::permissions(target,
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
            break;
        case Failure::FolderWithoutWritePermission:
            // Readable and searchable by everyone, writable by no one but root, who writes as
            // an unprivileged user here.
            fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                            fs::perms::group_exec | fs::perms::others_read |
                                            fs::perms::others_exec);
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec |
                                        fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
            // The file itself may be written by anyone: only the folder stands in the way.
            fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write |
                                        fs::perms::group_read | fs::perms::group_write |
                                        fs::perms::others_read | fs::perms::others_write);
            limits.unprivileged = true;
            break;
        case Failure::FullDisk:
            break;
        }

        const test::ChildOutcome outcome = test::RunWithLimits(
            limits,
            [&]
            {
                switch (c.path)
                {
                case WritePath::CopyOntoExistingFile:
                    CopyLasFile(source.c_str(), target.c_str());
                    break;
                case WritePath::AppendRecords:
                {
                    // Twice the file again: past the limit and past the free space.
                    CLasFile points;
                    points.SetPath(source.c_str());
                    points.ReadHeader();
                    points.header->numberOfPointRecords = 2 * kRecords;
                    points.AllocatePoints();
                    AppendLasPointRecords(target.c_str(), 2 * kRecords, 28, points.points, nullptr);
                    break;
                }
                case WritePath::AppendRecordImages:
                    AppendLasRecordImages(
                        target.c_str(), 2 * kRecords, 28,
                        [](std::uint32_t, std::uint32_t n, unsigned char* images)
                        { std::fill(images, images + std::size_t{n} * 28, 0x5A); },
                        nullptr);
                    break;
                case WritePath::RewriteRecord:
                {
                    CLasFile file;
                    file.SetPath(target.c_str());
                    file.ReadHeader();
                    std::unique_ptr<LASPoint> point(file.ReadPoint(kRecords - 1));
                    point->SetClassification(7);
                    point->SetIntensity(0xFFFF);
                    file.WritePoint(kRecords - 1, *point);
                    break;
                }
                }
            });
        if (c.text == nullptr)
        {
            // A file anyone may write is rewritten in place whatever its folder allows.
            EXPECT_FALSE(outcome.threw) << label << ": " << outcome.text << outcome.detail;
            EXPECT_EQ(ReadAll(target).size(), before.size()) << label;
            EXPECT_TRUE(ReadAll(target) != before) << label;
        }
        else
        {
            EXPECT_TRUE(outcome.threw) << label;
            EXPECT_EQ(outcome.text, c.text) << label;
            EXPECT_EQ(outcome.detail, target + ": " + c.reason) << label;
            EXPECT_TRUE(ReadAll(target) == before) << label;
        }
        EXPECT_TRUE(test::PartFilesIn(folder).empty()) << label;
        fs::permissions(folder, fs::perms::owner_all);
        if (mounted)
        {
            test::Unmount(folder);
        }
    }
}

} // namespace
} // namespace telvora
