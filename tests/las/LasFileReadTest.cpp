#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AllAttributes.h"
#include "LasImage.h"
#include "Recorders.h"
#include "TestData.h"
#include "TestFiles.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/PosixFile.h"

namespace telvora
{
namespace
{

using test::AllAttributes;
using test::ErrorOf;
using test::LasImage;
using test::RecordingNotifier;
using test::RecordingStatus;
using test::TempDir;

class CLasFileRead : public ::testing::Test
{
protected:
    // Saves the image and opens it as a CLasFile with its header read.
    void Open(const LasImage& image, const std::string& name = "file.las")
    {
        path = dir.File(name);
        image.Save(path);
        file.SetPath(path.c_str());
        file.ReadHeader();
    }

    TempDir dir;
    std::string path;
    CLasFile file;
    RecordingStatus status;
    RecordingNotifier notifier;
};

TEST_F(CLasFileRead, NewFileHoldsNothing)
{
    CLasFile empty;
    EXPECT_EQ(empty.header, nullptr);
    EXPECT_EQ(empty.vlrs, nullptr);
    EXPECT_EQ(empty.points, nullptr);
    EXPECT_EQ(empty.path, nullptr);
}

TEST_F(CLasFileRead, HeaderErrorsCarryTheirTexts)
{
    file.SetPath(dir.File("missing.las").c_str());
    EXPECT_EQ(ErrorOf([&] { file.ReadHeader(); }), "ReadError::File could not be open.");

    test::WriteAll(dir.File("short.las"), std::vector<unsigned char>(226, 'L'));
    file.SetPath(dir.File("short.las").c_str());
    EXPECT_EQ(ErrorOf([&] { file.ReadHeader(); }), "ReadError::LAS Header");

    // A folder is not a LAS file either.
    file.SetPath(dir.Path().c_str());
    EXPECT_EQ(ErrorOf([&] { file.ReadHeader(); }), "ReadError::File could not be open.");
}

TEST_F(CLasFileRead, FailedHeaderReadReleasesThePreviousHeader)
{
    Open(LasImage::Make(1, 3));
    ASSERT_NE(file.header, nullptr);
    file.SetPath(dir.File("missing.las").c_str());
    EXPECT_THROW(file.ReadHeader(), CLasException);
    EXPECT_EQ(file.header, nullptr);
}

TEST_F(CLasFileRead, HeaderIsTakenAsItStandsWithoutValidation)
{
    LasImage image = LasImage::Make(1, 0);
    std::memcpy(image.header.fileSignature, "XYZW", 4);
    image.header.versionMinor = 4;
    image.header.fileSourceId = 5;
    image.header.globalEncoding = 0xBEEF;
    image.header.headerSize = 375; // a LAS 1.4 header: only the first 227 bytes are taken
    Open(image);
    EXPECT_EQ(std::string(file.header->fileSignature, 4), "XYZW");
    EXPECT_EQ(file.header->versionMinor, 4);
    EXPECT_EQ(file.header->fileSourceId, 5);
    EXPECT_EQ(file.header->globalEncoding, 0xBEEF);
    EXPECT_EQ(file.header->headerSize, 375);
}

TEST_F(CLasFileRead, VlrTableEntriesFollowRecordLengths)
{
    LasImage image = LasImage::Make(1, 1);
    image.AddVlr("first", 1, std::vector<unsigned char>(10, 'a'));
    image.AddVlr("second", 2, {});
    image.AddVlr("third", 3, std::vector<unsigned char>(26, 'c'), "described");
    image.vlrBlock.push_back(0xDD); // unused bytes at the end of the block stay unused
    image.vlrBlock.push_back(0xCC);
    image.Layout(3);
    Open(image);

    unsigned char** table = file.ReadVariableLengthRecords();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[1] - table[0], 64);
    EXPECT_EQ(table[2] - table[0], 118);
    const LasVlrHeader third = ParseLasVlrHeader(table[2]);
    EXPECT_EQ(third.recordId, 3);
    EXPECT_EQ(third.recordLengthAfterHeader, 26);
    EXPECT_STREQ(third.description, "described");
    EXPECT_EQ(table[2][LasVlrHeader::kImageSize], 'c');
    ReleaseVlrTable(table);
}

TEST_F(CLasFileRead, NoVlrsGiveNoTable)
{
    Open(LasImage::Make(0, 1));
    EXPECT_EQ(file.ReadVariableLengthRecords(), nullptr);
    EXPECT_EQ(file.vlrs, nullptr);
}

TEST_F(CLasFileRead, RecordsAreWalkedUpToTheFirstThatDoesNotFitTheirBlock)
{
    struct Case
    {
        const char* name;
        std::uint32_t declared;
        std::uint32_t found;
    };
    // Records of 54 + 40 and 54 + 10 bytes; the block ends 1 byte before the second one's end,
    // or declares more records than it holds.
    const Case cases[] = {
        {"cut.las", 2, 1},  // the second record's data runs past Offset to point data
        {"more.las", 3, 2}, // declares 3, holds 2: the block ends with the second
        {"billion.las", 1069128089, 2},
        {"fewer.las", 1, 1}, // holds 2, declares 1: only 1 is read
    };
    for (const Case& c : cases)
    {
        LasImage image = LasImage::Make(0, 1);
        image.AddVlr("one", 1, std::vector<unsigned char>(40, 'x'));
        image.AddVlr("two", 2, std::vector<unsigned char>(10, 'y'));
        image.Layout(c.declared);
        if (std::string(c.name) == "cut.las")
        {
            image.header.offsetToPointData -= 1;
        }
        Open(image, c.name);
        std::uint32_t found = 99;
        unsigned char** table = file.ReadVariableLengthRecords(&found);
        EXPECT_EQ(found, c.found) << c.name;
        ASSERT_NE(table, nullptr) << c.name;
        EXPECT_EQ(ParseLasVlrHeader(table[found - 1]).recordId, found) << c.name;
        ReleaseVlrTable(table);
    }

    // A block without a whole record gives no table.
    LasImage empty = LasImage::Make(0, 1);
    empty.Layout(7);
    Open(empty, "empty.las");
    std::uint32_t none = 99;
    EXPECT_EQ(file.ReadVariableLengthRecords(&none), nullptr);
    EXPECT_EQ(none, 0u);
}

TEST_F(CLasFileRead, VlrBlockOutOfBoundsIsRefused)
{
    // Offset to point data before the end of the header.
    LasImage backwards = LasImage::Make(0, 1);
    backwards.AddVlr("one", 1, {});
    backwards.Layout(1);
    backwards.header.offsetToPointData = 200;
    Open(backwards, "backwards.las");
    EXPECT_EQ(ErrorOf([&] { file.ReadVariableLengthRecords(); }), "ReadError::LAS VRL");

    // A block that claims bytes far past the end of the file.
    LasImage beyond = LasImage::Make(0, 0);
    beyond.AddVlr("one", 1, {});
    beyond.Layout(1);
    beyond.header.offsetToPointData = 0xFFFFFFF0u;
    Open(beyond, "beyond.las");
    EXPECT_EQ(ErrorOf([&] { file.ReadVariableLengthRecords(); }), "ReadError::LAS VRL");

    file.SetPath(dir.File("gone.las").c_str());
    EXPECT_EQ(ErrorOf([&] { file.ReadVariableLengthRecords(); }),
              "ReadError::File could not be open.");
}

TEST_F(CLasFileRead, ReadFailuresNameTheFileAndTheReason)
{
    LasImage withVlr = LasImage::Make(0, 2);
    withVlr.AddVlr("one", 1, {});
    withVlr.Layout(1);
    const std::vector<unsigned char> bytes = withVlr.Bytes(); // 227 + 54 + 2 * 20 = 321 bytes
    const struct
    {
        const char* name;
        std::size_t keep;
        std::uint32_t offsetToPointData;
        std::uint16_t recordLength;
        std::function<void()> read;
        const char* message;
    } cases[] = {
        {"header.las", 100, 281, 20, [&] { file.ReadHeader(); },
         "ReadError::LAS Header (%: the file ends inside its header: 100 of 227 bytes)"},
        {"backwards.las", 321, 200, 20, [&] { file.ReadVariableLengthRecords(); },
         "ReadError::LAS VRL (%: its point data would start at byte 200, inside its 227-byte "
         "header)"},
        {"beyond.las", 321, 4000, 20, [&] { file.ReadVariableLengthRecords(); },
         "ReadError::LAS VRL (%: the file ends at byte 321, inside its variable length records, "
         "which run from byte 227 to byte 4000)"},
        {"cut.las", 320, 281, 20, [&] { delete file.ReadPoint(1); },
         "ReadError::LAS Point (%: the file ends inside the record at byte 301)"},
        {"short.las", 321, 281, 19, [&] { delete file.ReadPoint(0); },
         "ReadError::LAS Point (%: its point records are 19 bytes long, too short for point "
         "format 0 (20 bytes))"},
    };
    for (const auto& c : cases)
    {
        const std::string where = dir.File(c.name);
        std::vector<unsigned char> image(bytes.begin(),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(c.keep));
        if (c.keep >= LasHeader::kImageSize)
        {
            StoreLE<std::uint32_t>(image.data() + 96, c.offsetToPointData);
            StoreLE<std::uint16_t>(image.data() + 105, c.recordLength);
        }
        test::WriteAll(where, image);
        file.SetPath(where.c_str());
        if (c.keep >= LasHeader::kImageSize)
        {
            file.ReadHeader();
        }
        std::string expected = c.message;
        expected.replace(expected.find('%'), 1, where);
        EXPECT_EQ(test::MessageOf(c.read), expected) << c.name;
    }
}

TEST_F(CLasFileRead, ReadPointByIndex)
{
    LasImage image = LasImage::Make(3, 4);
    image.AddVlr("one", 1, std::vector<unsigned char>(7, 'x'));
    image.Layout(1);
    StoreLE<std::uint16_t>(image.records[2].data() + 28, 0xFFFF);
    Open(image);

    std::unique_ptr<LASPoint> point(file.ReadPoint(2));
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->GetFormat(), 3);
    EXPECT_EQ(point->GetX(), 2);
    EXPECT_EQ(point->GetY(), 4);
    EXPECT_EQ(point->GetZ(), -2);
    EXPECT_EQ(point->GetRed(), 0xFFFF);

    const auto position = file.GetPointPosition(*point);
    EXPECT_EQ(position[0], static_cast<float>(2 * 0.01));
    EXPECT_EQ(position[2], static_cast<float>(-2 * 0.01));
}

TEST_F(CLasFileRead, ReadPointOutOfRangeReturnsNoneWithoutOpeningTheFile)
{
    Open(LasImage::Make(1, 4));
    std::filesystem::remove(path);
    EXPECT_EQ(file.ReadPoint(4), nullptr);
    EXPECT_EQ(file.ReadPoint(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(ErrorOf([&] { delete file.ReadPoint(3); }), "ReadError::File could not be open.");
}

TEST_F(CLasFileRead, ReadPointOfATruncatedRecordThrows)
{
    LasImage image = LasImage::Make(1, 3);
    image.records[2].resize(20);
    Open(image);
    EXPECT_EQ(ErrorOf([&] { delete file.ReadPoint(2); }), "ReadError::LAS Point");
    std::unique_ptr<LASPoint> whole(file.ReadPoint(1));
    EXPECT_NE(whole, nullptr);
}

TEST_F(CLasFileRead, UnsupportedFormatsGiveNoPointsAndNoArrays)
{
    LasImage image = LasImage::Make(1, 3);
    image.header.pointDataFormatId = 11;
    image.header.pointDataRecordLength = 30;
    Open(image);
    EXPECT_EQ(file.ReadPoint(0), nullptr);
    EXPECT_EQ(file.ReadPositions(&status, &notifier), nullptr);
    EXPECT_EQ(file.ReadColors(&status, &notifier), nullptr);
    EXPECT_EQ(file.ReadIntensities(&status, &notifier), nullptr);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_TRUE(status.positions.empty());
}

TEST_F(CLasFileRead, ExtraBytesAreSteppedOverEverywhere)
{
    LasImage image = LasImage::Make(1, 3);
    image.header.pointDataRecordLength = 36;
    for (auto& record : image.records)
    {
        record.resize(36, 0xAB);
    }
    Open(image);

    std::unique_ptr<LASPoint> point(file.ReadPoint(2));
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->GetX(), 2);
    EXPECT_EQ(point->GetIntensity(), 2);

    auto intensities = file.ReadIntensities(&status, &notifier);
    ASSERT_NE(intensities, nullptr);
    EXPECT_EQ(intensities[1], 1);
    EXPECT_EQ(intensities[2], 2);
    auto positions = file.ReadPositions(&status, &notifier);
    ASSERT_NE(positions, nullptr);
    EXPECT_EQ(positions[6 + 1], static_cast<float>(4 * 0.01));
}

TEST_F(CLasFileRead, RecordsShorterThanTheirFormatAreUnreadable)
{
    LasImage image = LasImage::Make(1, 3);
    image.header.pointDataRecordLength = 20;
    for (auto& record : image.records)
    {
        record.resize(20);
    }
    Open(image);
    EXPECT_EQ(ErrorOf([&] { delete file.ReadPoint(0); }), "ReadError::LAS Point");
    EXPECT_EQ(file.ReadPositions(&status, &notifier), nullptr);
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].text, "Can't Read LasPoint0");
}

struct ProgressCase
{
    std::uint32_t records;
    std::vector<int> expected;
};

std::vector<int> Sequence(int from, int count)
{
    std::vector<int> values;
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
    {
        values.push_back(from + i);
    }
    return values;
}

TEST_F(CLasFileRead, ProgressIsSetOncePerHundredthOfTheRecords)
{
    const ProgressCase cases[] = {
        {0, {}},
        {1, {7}},
        {50, {7}},                // step 50: once, at the first record
        {99, {7}},                // step 99
        {100, Sequence(7, 100)},  // step 1
        {250, Sequence(7, 125)},  // step 2
        {1001, Sequence(7, 101)}, // step 10: records 0, 10, ..., 1000
    };
    for (const auto& c : cases)
    {
        Open(LasImage::Make(0, c.records), "progress" + std::to_string(c.records) + ".las");
        status.lower = 0;
        status.upper = 100000;
        status.position = 7;
        status.positions.clear();
        auto values = file.ReadClassifications(&status, &notifier);
        ASSERT_NE(values, nullptr) << c.records;
        EXPECT_EQ(status.positions, c.expected) << c.records;
    }
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(CLasFileRead, EveryReaderTakesItsField)
{
    LasImage image = LasImage::Make(3, 2);
    for (int i = 0; i < 2; ++i)
    {
        auto& r = image.records[static_cast<std::size_t>(i)];
        r[14] = static_cast<unsigned char>(0xC8 | (i + 2)); // return 2 or 3, flags set
        r[15] = static_cast<unsigned char>(0x82 + i);
        r[16] = static_cast<unsigned char>(-30 + i);
        StoreLE<std::uint16_t>(r.data() + 28, static_cast<std::uint16_t>(65535 * i));
        StoreLE<std::uint16_t>(r.data() + 30, 32768);
        StoreLE<std::uint16_t>(r.data() + 32, 1);
    }
    image.header.xOffset = 1000.0;
    image.header.zScaleFactor = 0.001;
    Open(image);

    const auto read = AllAttributes::Read(file, &status, &notifier);
    ASSERT_TRUE(read.All());
    const auto& [positions, intensities, classes, angles, returns, colours] = read;

    EXPECT_EQ(positions[3], static_cast<float>(1 * 0.01 + 1000.0));
    EXPECT_EQ(positions[4], static_cast<float>(2 * 0.01));
    EXPECT_EQ(positions[5], static_cast<float>(-1 * 0.001));
    EXPECT_EQ(intensities[1], 1);
    EXPECT_EQ(classes[0], 0x82);
    EXPECT_EQ(classes[1], 0x83);
    EXPECT_EQ(angles[0], -30);
    EXPECT_EQ(angles[1], -29);
    EXPECT_EQ(returns[0], 2);
    EXPECT_EQ(returns[1], 3);
    EXPECT_EQ(colours[0], 0.0f);
    EXPECT_EQ(colours[3], 1.0f);
    EXPECT_EQ(colours[4], static_cast<float>(32768 / 65535.0));
    EXPECT_EQ(colours[5], static_cast<float>(1 / 65535.0));
}

TEST_F(CLasFileRead, FormatsWithoutColourGiveBlack)
{
    for (std::uint8_t format : {0, 1})
    {
        LasImage image = LasImage::Make(format, 3);
        for (auto& record : image.records)
        {
            std::fill(record.begin() + 14, record.end(), 0xFF);
        }
        Open(image, "nocolour" + std::to_string(format) + ".las");
        auto colours = file.ReadColors(&status, &notifier);
        ASSERT_NE(colours, nullptr);
        for (int i = 0; i < 9; ++i)
        {
            EXPECT_EQ(colours[i], 0.0f);
        }
    }
}

TEST_F(CLasFileRead, NoRecordsGiveEmptyArraysAndNoProgress)
{
    Open(LasImage::Make(2, 0));
    auto positions = file.ReadPositions(&status, &notifier);
    EXPECT_NE(positions, nullptr);
    EXPECT_TRUE(status.positions.empty());
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(CLasFileRead, TruncatedPointBlockShowsTheMessageAndGivesNothing)
{
    LasImage image = LasImage::Make(0, 719);
    image.records.back().resize(14);
    Open(image);
    EXPECT_TRUE(AllAttributes::Read(file, &status, &notifier).None());
    ASSERT_EQ(notifier.shown.size(), AllAttributes::kReaders);
    for (const auto& message : notifier.shown)
    {
        EXPECT_EQ(message.text, "Can't Read LasPoint0");
        EXPECT_EQ(message.caption, "ReadError");
        EXPECT_EQ(message.icon, MessageIcon::Error);
    }
}

TEST_F(CLasFileRead, HeaderClaimingFourBillionRecordsIsAShortRead)
{
    LasImage image = LasImage::Make(3, 2);
    image.header.numberOfPointRecords = 0xFFFFFFFFu;
    Open(image);
    EXPECT_EQ(file.ReadPositions(&status, &notifier), nullptr);
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].text, "Can't Read LasPoint0");
}

TEST_F(CLasFileRead, UnopenableFileGivesNothingSilently)
{
    Open(LasImage::Make(0, 5));
    std::filesystem::remove(path);
    EXPECT_EQ(file.ReadPositions(&status, &notifier), nullptr);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_TRUE(status.positions.empty());
}

TEST_F(CLasFileRead, ReadOnlyFilesAreReadable)
{
    Open(LasImage::Make(1, 5));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    auto readAsUser = [&]
    {
        auto positions = file.ReadPositions(nullptr, &notifier);
        return positions != nullptr &&
               positions[std::size_t{3} * 4] == static_cast<float>(4 * 0.01);
    };
    if (::geteuid() != 0)
    {
        EXPECT_TRUE(readAsUser());
        return;
    }
    // Root may write any file, so the read runs as an unprivileged user in a child process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
        {
            ::_exit(3);
        }
        ::_exit(readAsUser() ? 0 : 1);
    }
    int result = 0;
    ASSERT_EQ(::waitpid(child, &result, 0), child);
    ASSERT_TRUE(WIFEXITED(result));
    EXPECT_EQ(WEXITSTATUS(result), 0);
}

TEST_F(CLasFileRead, RecordsBeyondFourGibibytesAreReachable)
{
    // A sparse file whose last records lie past 4 GiB: offsets must not wrap at 32 bits.
    LasImage image = LasImage::Make(0, 0);
    image.Layout(0);
    const std::uint32_t count = 220000000; // 220 M records of 20 bytes: 4.4 GB
    image.header.numberOfPointRecords = count;
    path = dir.File("huge.las");
    image.Save(path);
    {
        PosixFile raw(path.c_str(), PosixFile::Mode::Update);
        ASSERT_TRUE(raw.IsOpen());
        const std::uint64_t last = 227 + std::uint64_t(count - 1) * 20;
        ASSERT_GT(last, 0x100000000ull);
        auto record = test::MakeRecord(20, 123, 456, 789, 42);
        if (raw.WriteAt(record.data(), record.size(), static_cast<std::int64_t>(last)) != 20)
        {
            TELVORA_MISSING_TEST_INPUT("the temporary folder cannot hold a sparse 4.4 GB file");
        }
    }
    file.SetPath(path.c_str());
    file.ReadHeader();
    std::unique_ptr<LASPoint> point(file.ReadPoint(count - 1));
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->GetX(), 123);
    EXPECT_EQ(point->GetIntensity(), 42);

    LASPoint0 changed;
    changed.SetX(-5);
    ASSERT_TRUE(file.WritePoint(count - 1, changed));
    point.reset(file.ReadPoint(count - 1));
    EXPECT_EQ(point->GetX(), -5);
    EXPECT_EQ(std::filesystem::file_size(path), 227 + std::uint64_t(count) * 20);
}

TEST_F(CLasFileRead, PointTablesAreCreatedAndAllocatedPerFormat)
{
    Open(LasImage::Make(2, 3));
    file.CreatePoints();
    ASSERT_NE(file.points, nullptr);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(file.points[i], nullptr);
    }
    file.AllocatePoints();
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_NE(file.points[i], nullptr);
        EXPECT_EQ(file.points[i]->GetFormat(), 2);
        EXPECT_EQ(file.points[i]->GetX(), 0);
    }
    EXPECT_EQ(file.points[1], static_cast<LASPoint2*>(file.points[0]) + 1);

    file.header->pointDataFormatId = 11;
    file.AllocatePoints();
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(file.points[i], nullptr);
    }
    file.Clear();
    EXPECT_EQ(file.points, nullptr);
    EXPECT_EQ(file.header, nullptr);
    EXPECT_EQ(file.path, nullptr);
}

} // namespace
} // namespace telvora
