// A write into a user's file goes ahead only while the file is still the one that was read: the
// same inode, size, modification time and header bytes.

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "FailureInjection.h"
#include "LasImage.h"
#include "TestFiles.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/LasIo.h"

namespace telvora
{
namespace
{

namespace fs = std::filesystem;
using test::ReadAll;

// Sets the file's modification time to the given one, so that only the other changes show.
void SetTime(const std::string& path, const struct stat& at)
{
    const timespec times[2] = {at.st_atim, at.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The text and detail of what the write throws; both empty when it does not.
std::pair<std::string, std::string> FailureOf(const std::function<void()>& write)
{
    try
    {
        write();
    }
    catch (const CLasException& error)
    {
        return {error.GetErrorText(), error.GetDetail()};
    }
    return {};
}

// Gives record `record` the class `code` (its byte at 227 + 28 record + 15).
void Classify(CLasFile& file, std::uint32_t record, std::uint8_t code)
{
    std::uint8_t previous = 0;
    std::size_t written = 0;
    file.WriteClassifications(&record, 1, &code, &previous, written);
}

TEST(FileIdentity, AFileChangedSinceItWasReadIsNeitherReclassifiedNorSavedOnto)
{
    using Change = std::function<void(CLasFile&, const struct stat&)>;
    // The bytes changed in place, the modification time kept.
    const auto rewrite = [](const std::function<void(std::vector<unsigned char>&)>& edit)
    {
        return [edit](CLasFile& file, const struct stat& read)
        {
            std::vector<unsigned char> bytes = ReadAll(file.path);
            edit(bytes);
            test::WriteAll(file.path, bytes);
            SetTime(file.path, read);
        };
    };
    struct Case
    {
        const char* what;
        Change change;
        // The writes go ahead.
        bool allowed;
    };
    const Case cases[] = {
        {"replaced by a file of the same size with its points 1,008 bytes later",
         [](CLasFile& file, const struct stat&)
         { test::ReplaceFile(file.path, test::FormatOneFileWithPointsLater()); },
         false},
        {"replaced by a copy of the same bytes",
         [](CLasFile& file, const struct stat&)
         { test::ReplaceFile(file.path, ReadAll(file.path)); },
         false},
        {"one header byte rewritten", rewrite([](auto& bytes) { bytes[100] ^= 0x01; }), false},
        {"a record appended", rewrite([](auto& bytes) { bytes.resize(bytes.size() + 28); }), false},
        {"touched a second later",
         [](CLasFile& file, const struct stat& read)
         {
             struct stat later = read;
             later.st_mtim.tv_sec += 1;
             SetTime(file.path, later);
         },
         false},
        // The file was read with a time ten seconds back: the program's own write moves it on,
        // and the next writes must still go ahead.
        {"written by the program itself",
         [](CLasFile& file, const struct stat&) { Classify(file, 1, 6); }, true},
    };
    const std::string changed = ": the file was changed by another program since it was opened";
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string path = dir.File("survey.las");
        const std::string source = dir.File("source.las");
        test::WriteAll(path, test::FormatOneFile());
        test::WriteAll(source, test::FormatOneFileWithPointsLater());
        struct stat read
        {
        };
        ASSERT_EQ(::stat(path.c_str(), &read), 0);
        read.st_mtim.tv_sec -= 10;
        SetTime(path, read);
        CLasFile file;
        file.SetPath(path.c_str());
        file.ReadHeader();
        c.change(file, read);
        const std::vector<unsigned char> bytes = ReadAll(path);

        auto failure = FailureOf([&] { Classify(file, 5, 9); });
        std::vector<unsigned char> expected = bytes;
        if (c.allowed)
        {
            EXPECT_EQ(failure.second, "");
            expected[227 + 5 * 28 + 15] = 9;
        }
        else
        {
            EXPECT_EQ(failure.first, "WriteError::File could not be open.");
            EXPECT_EQ(failure.second, path + changed);
        }
        EXPECT_EQ(ReadAll(path), expected);

        // Save's copy back onto it, expecting the file as read or last written.
        failure = FailureOf([&] { CopyLasFile(source.c_str(), path.c_str(), &file.identity); });
        if (c.allowed)
        {
            EXPECT_EQ(failure.second, "");
            EXPECT_EQ(ReadAll(path), ReadAll(source));
        }
        else
        {
            EXPECT_EQ(failure.first, "WriteError::File could not be created.");
            EXPECT_EQ(failure.second, path + changed);
            EXPECT_EQ(ReadAll(path), bytes);
        }
        EXPECT_TRUE(test::PartFilesIn(dir.Path().string()).empty());
    }
}

// A file of 10,000 records, written as if it held 20,000 (a shorter file than the one read):
// records 9,990 and 10,005 share a span, record 19,999 has its own.
TEST(FileIdentity, AFileShorterThanItsLayoutNamesTheFirstRecordItLacks)
{
    test::TempDir dir;
    const std::string path = dir.File("short.las");
    test::LasImage image = test::LasImage::Make(1, 10000);
    image.Layout(0);
    image.Save(path);
    const std::vector<unsigned char> before = ReadAll(path);
    const std::uint32_t records[] = {9990, 10005, 19999};
    const std::uint8_t codes[] = {2, 2, 2};
    std::uint8_t previous[3] = {};
    std::size_t written = 99;
    try
    {
        WriteLasClassifications(path.c_str(), {227, 28, 20000}, records, 3, codes, previous,
                                written);
        ADD_FAILURE() << "the write went ahead";
    }
    catch (const CLasException& error)
    {
        EXPECT_STREQ(error.GetErrorText(), "WriteError::LAS Point");
        EXPECT_EQ(error.GetDetail(), path + ": the file ends before record 10000");
    }
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(ReadAll(path), before);
}

} // namespace
} // namespace telvora
