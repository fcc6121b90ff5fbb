#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

#include "AllAttributes.h"
#include "LasImage.h"
#include "TestData.h"
#include "TestFiles.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "las/LasIo.h"

namespace telvora
{
namespace
{

using test::ErrorOf;
using test::LasImage;
using test::ReadAll;
using test::TempDir;

// A CLasFile filled the way the archive decoder fills one: header, VLR table and points.
class CLasFileWrite : public ::testing::Test
{
protected:
    void Prepare(std::uint8_t format, std::uint32_t count, std::uint16_t offset = 227)
    {
        file.Clear();
        file.SetPath(dir.File("out.las").c_str());
        file.header = new LasHeader(LasImage::Make(format, count).header);
        file.header->offsetToPointData = offset;
    }

    void FillPoints()
    {
        file.AllocatePoints();
        for (std::uint32_t i = 0; i < file.header->numberOfPointRecords; ++i)
        {
            file.points[i]->SetX(static_cast<std::int32_t>(i));
            file.points[i]->SetIntensity(static_cast<std::uint16_t>(i * 3));
            file.points[i]->SetRed(static_cast<std::uint16_t>(i));
        }
    }

    TempDir dir;
    CLasFile file;
};

TEST_F(CLasFileWrite, Las10LayoutGetsTheStartSignature)
{
    Prepare(1, 2, 229);
    FillPoints();
    WriteLasHeader(*file.header, file.path);
    file.WriteVariableLengthRecords();
    file.WritePoints(nullptr);

    const auto bytes = ReadAll(file.path);
    ASSERT_EQ(bytes.size(), 229u + 2 * 28);
    EXPECT_EQ(bytes[227], 0xDD);
    EXPECT_EQ(bytes[228], 0xCC);
    EXPECT_EQ(LoadLE<std::int32_t>(bytes.data() + 229 + 28), 1);

    CLasFile back;
    back.SetPath(file.path);
    back.ReadHeader();
    std::unique_ptr<LASPoint> point(back.ReadPoint(1));
    EXPECT_EQ(point->GetIntensity(), 3);
}

TEST_F(CLasFileWrite, NoVlrsAndNoRoomGetNeitherBlockNorSignature)
{
    Prepare(0, 1, 227);
    FillPoints();
    WriteLasHeader(*file.header, file.path);
    file.WriteVariableLengthRecords();
    file.WritePoints(nullptr);
    EXPECT_EQ(ReadAll(file.path).size(), 227u + 20);
}

TEST_F(CLasFileWrite, VlrBlockIsWrittenAsItStands)
{
    LasImage image = LasImage::Make(3, 0);
    image.AddVlr("LASF_Projection", 34735, std::vector<unsigned char>(16, 7));
    image.Layout(1);
    Prepare(3, 0, static_cast<std::uint16_t>(image.header.offsetToPointData));
    file.header->numberOfVariableLengthRecords = 1;
    auto* block = new unsigned char[image.vlrBlock.size()];
    std::copy(image.vlrBlock.begin(), image.vlrBlock.end(), block);
    file.vlrs = new unsigned char* [1] { block };

    WriteLasHeader(*file.header, file.path);
    file.WriteVariableLengthRecords();
    EXPECT_EQ(ReadAll(file.path), image.Bytes());

    CLasFile back;
    back.SetPath(file.path);
    back.ReadHeader();
    unsigned char** table = back.ReadVariableLengthRecords();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ParseLasVlrHeader(table[0]).recordId, 34735);
    ReleaseVlrTable(table);
}

TEST_F(CLasFileWrite, ProgressCounterCountsHundredthsOfTheRecords)
{
    const std::pair<std::uint32_t, int> cases[] = {{250, 125}, {50, 1}, {0, 0}, {1, 1}};
    for (auto [count, expected] : cases)
    {
        Prepare(1, count);
        FillPoints();
        WriteLasHeader(*file.header, file.path);
        std::atomic<std::int32_t> counter{-9};
        file.WritePoints(&counter);
        EXPECT_EQ(counter.load(), expected) << count;
        EXPECT_EQ(ReadAll(file.path).size(), 227u + count * 28u) << count;
    }
}

TEST_F(CLasFileWrite, BatchesFollowEachOther)
{
    Prepare(2, 1000);
    WriteLasHeader(*file.header, file.path);
    for (std::uint32_t batch : {1000u, 500u})
    {
        file.header->numberOfPointRecords = batch;
        file.AllocatePoints();
        for (std::uint32_t i = 0; i < batch; ++i)
        {
            file.points[i]->SetX(static_cast<std::int32_t>(batch + i));
        }
        AppendLasPointRecords(file.path, batch, 26, file.points, nullptr);
    }
    file.header->numberOfPointRecords = 1500;

    const auto bytes = ReadAll(file.path);
    ASSERT_EQ(bytes.size(), 227u + 1500 * 26);
    for (std::size_t i = 0; i < 1500; ++i)
    {
        const std::int32_t expected = i < 1000 ? static_cast<std::int32_t>(1000 + i)
                                               : static_cast<std::int32_t>(500 + (i - 1000));
        ASSERT_EQ(LoadLE<std::int32_t>(bytes.data() + 227 + i * 26), expected) << i;
    }
}

TEST_F(CLasFileWrite, RecordsLongerThanTheirFormatArePaddedWithZeros)
{
    Prepare(0, 3);
    file.header->pointDataRecordLength = 24;
    FillPoints();
    WriteLasHeader(*file.header, file.path);
    file.WritePoints(nullptr);
    const auto bytes = ReadAll(file.path);
    ASSERT_EQ(bytes.size(), 227u + 3 * 24);
    EXPECT_EQ(LoadLE<std::int32_t>(bytes.data() + 227 + std::ptrdiff_t{2} * 24), 2);
    EXPECT_EQ(LoadLE<std::uint32_t>(bytes.data() + 227 + 20), 0u);

    // Shorter records cannot hold the point.
    file.header->pointDataRecordLength = 19;
    EXPECT_EQ(ErrorOf([&] { file.WritePoints(nullptr); }), "WriteError::LAS Point");
}

TEST_F(CLasFileWrite, UnsupportedFormatsWriteNoPoints)
{
    Prepare(1, 3);
    WriteLasHeader(*file.header, file.path);
    file.header->pointDataFormatId = 11;
    file.WritePoints(nullptr);
    EXPECT_EQ(ReadAll(file.path).size(), 227u);
}

TEST_F(CLasFileWrite, WriterErrorsCarryTheirTexts)
{
    const std::string nowhere = dir.File("no/such/folder/out.las");
    LasHeader header;
    EXPECT_EQ(ErrorOf([&] { WriteLasHeader(header, nowhere.c_str()); }), "WriteError::LAS Header");
    const unsigned char bytes[4] = {};
    EXPECT_EQ(ErrorOf([&] { AppendLasBlock(nowhere.c_str(), 4, bytes); }),
              "WriteError::File could not be open.");
    EXPECT_EQ(ErrorOf([&] { AppendPointDataStartSignature(nowhere.c_str()); }),
              "WriteError::File could not be open.");
    EXPECT_EQ(ErrorOf([&] { WriteLasPointRecord(nowhere.c_str(), 4, bytes, 0); }),
              "WriteError::File could not be open.");
    EXPECT_EQ(ErrorOf([&] { AppendLasPointRecords(nowhere.c_str(), 0, 20, nullptr, nullptr); }),
              "WriteError::File could not be open.");

    // A table without its points is refused rather than followed.
    const std::string out = dir.File("points.las");
    LASPoint* table[2] = {nullptr, nullptr};
    EXPECT_EQ(ErrorOf([&] { AppendLasPointRecords(out.c_str(), 2, 20, table, nullptr); }),
              "WriteError::LAS Point");
}

TEST_F(CLasFileWrite, ShortWritesCarryTheirTexts)
{
    if (!std::filesystem::exists("/dev/full"))
    {
        TELVORA_MISSING_TEST_INPUT("no /dev/full to fill");
    }
    // Every write to /dev/full fails as on a full disk.
    const char* full = "/dev/full";
    LasHeader header;
    EXPECT_EQ(ErrorOf([&] { WriteLasHeader(header, full); }), "WriteError::LAS Header");
    const unsigned char bytes[4] = {};
    EXPECT_EQ(ErrorOf([&] { AppendLasBlock(full, 4, bytes); }), "WriteError::LAS VRL");
    EXPECT_EQ(ErrorOf([&] { AppendPointDataStartSignature(full); }), "WriteError::LAS Signature");
    EXPECT_EQ(ErrorOf([&] { WriteLasPointRecord(full, 4, bytes, 0); }), "WriteError::LAS Point");

    // Enough records for many blocks: the failure of any block must reach the caller.
    Prepare(3, 200000);
    FillPoints();
    std::atomic<std::int32_t> counter{0};
    EXPECT_EQ(ErrorOf([&] { AppendLasPointRecords(full, 200000, 34, file.points, &counter); }),
              "WriteError::LAS Point");
}

TEST_F(CLasFileWrite, ManyBlocksArriveInOrder)
{
    Prepare(3, 100003);
    FillPoints();
    WriteLasHeader(*file.header, file.path);
    std::atomic<std::int32_t> counter{0};
    file.WritePoints(&counter);
    EXPECT_EQ(counter.load(), 101); // step 1000: records 0, 1000, ..., 100000

    const auto bytes = ReadAll(file.path);
    ASSERT_EQ(bytes.size(), 227u + 100003u * 34);
    for (std::uint32_t i = 0; i < 100003; ++i)
    {
        ASSERT_EQ(LoadLE<std::int32_t>(bytes.data() + 227 + std::size_t(i) * 34),
                  static_cast<std::int32_t>(i))
            << i;
    }
}

class CLasFileRewrite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LasImage image = LasImage::Make(3, 4);
        image.AddVlr("keep", 1, std::vector<unsigned char>(5, 1));
        image.Layout(1);
        image.header.pointDataRecordLength = 40; // six extra bytes per record
        for (auto& record : image.records)
        {
            record.resize(40, 0xEE);
        }
        path = dir.File("edit.las");
        image.Save(path);
        original = ReadAll(path);
        file.SetPath(path.c_str());
        file.ReadHeader();
    }

    TempDir dir;
    std::string path;
    std::vector<unsigned char> original;
    CLasFile file;
};

TEST_F(CLasFileRewrite, ChangesOnlyTheStandardPartOfOneRecord)
{
    std::unique_ptr<LASPoint> point(file.ReadPoint(2));
    ASSERT_NE(point, nullptr);
    point->SetClassification(6);
    ASSERT_TRUE(file.WritePoint(2, *point));

    const auto now = ReadAll(path);
    ASSERT_EQ(now.size(), original.size());
    const std::size_t record = 227 + 59 + 2 * 40;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < now.size(); ++i)
    {
        if (now[i] != original[i])
        {
            ++changed;
            EXPECT_EQ(i, record + 15);
        }
    }
    EXPECT_EQ(changed, 1u);
    // The extra bytes behind the record survive.
    for (std::size_t i = record + 34; i < record + 40; ++i)
    {
        EXPECT_EQ(now[i], 0xEE);
    }
}

TEST_F(CLasFileRewrite, RefusesIndicesOutOfRangeAndForeignFormats)
{
    LASPoint3 point;
    EXPECT_FALSE(file.WritePoint(4, point));
    EXPECT_FALSE(file.WritePoint(0xFFFFFFFFu, point));
    LASPoint1 other;
    EXPECT_FALSE(file.WritePoint(0, other));
    EXPECT_EQ(ReadAll(path), original);

    file.header->pointDataFormatId = 9;
    EXPECT_FALSE(file.WritePoint(0, point));
    EXPECT_EQ(ReadAll(path), original);
}

TEST_F(CLasFileRewrite, MissingFileFailsWithItsText)
{
    std::filesystem::remove(path);
    LASPoint3 point;
    EXPECT_EQ(ErrorOf([&] { file.WritePoint(0, point); }), "WriteError::File could not be open.");
    EXPECT_FALSE(std::filesystem::exists(path));
}

class CopyLasFileTest : public ::testing::Test
{
protected:
    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

TEST_F(CopyLasFileTest, MakesAnExactCopyAndReplacesTheDestination)
{
    std::vector<unsigned char> bytes(3 * 1024 * 1024 + 17);
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        bytes[i] = static_cast<unsigned char>(i * 31 + 7);
    }
    test::WriteAll(dir.File("a.las"), bytes);
    test::WriteAll(dir.File("b.las"), std::vector<unsigned char>(10, 1));
    ASSERT_EQ(::chmod(dir.File("b.las").c_str(), 0640), 0);

    CopyLasFile(dir.File("a.las").c_str(), dir.File("b.las").c_str());
    EXPECT_EQ(ReadAll(dir.File("b.las")), bytes);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(dir.File("b.las").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    CopyLasFile(dir.File("a.las").c_str(), dir.File("new.las").c_str());
    EXPECT_EQ(ReadAll(dir.File("new.las")), bytes);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.las", "b.las", "new.las"}));
}

TEST_F(CopyLasFileTest, CopyOntoItselfLeavesTheFileAlone)
{
    const std::vector<unsigned char> bytes = {1, 2, 3, 4, 5};
    test::WriteAll(dir.File("a.las"), bytes);
    CopyLasFile(dir.File("a.las").c_str(), dir.File("a.las").c_str());
    EXPECT_EQ(ReadAll(dir.File("a.las")), bytes);
    // The same file under another name is still the same file.
    std::filesystem::create_symlink(dir.File("a.las"), dir.File("link.las"));
    CopyLasFile(dir.File("link.las").c_str(), dir.File("a.las").c_str());
    EXPECT_EQ(ReadAll(dir.File("a.las")), bytes);
}

TEST_F(CopyLasFileTest, FailuresLeaveTheDestinationUntouched)
{
    const std::vector<unsigned char> kept = {9, 8, 7};
    test::WriteAll(dir.File("b.las"), kept);
    EXPECT_EQ(
        ErrorOf([&] { CopyLasFile(dir.File("missing.las").c_str(), dir.File("b.las").c_str()); }),
        "ReadError::File could not be open.");
    EXPECT_EQ(ReadAll(dir.File("b.las")), kept);

    test::WriteAll(dir.File("a.las"), {1, 2});
    EXPECT_EQ(
        ErrorOf([&] { CopyLasFile(dir.File("a.las").c_str(), dir.File("none/b.las").c_str()); }),
        "WriteError::File could not be created.");
    // A folder in the way of the destination cannot be replaced by a file.
    std::filesystem::create_directory(dir.File("folder.las"));
    EXPECT_EQ(
        ErrorOf([&] { CopyLasFile(dir.File("a.las").c_str(), dir.File("folder.las").c_str()); }),
        "WriteError::File could not be created.");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.las", "b.las", "folder.las"}));
}

} // namespace
} // namespace telvora
