#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "LasImage.h"
#include "TestFiles.h"
#include "las/ByteOrder.h"
#include "las/LasException.h"
#include "las/LasFile.h"

namespace telvora
{
namespace
{

using test::LasImage;
using test::TempDir;

// The images put record i at raw (i, 2i, -i), scale 0.01, intensity i.
class CLasFileReadRecords : public ::testing::Test
{
protected:
    void Open(const LasImage& image)
    {
        path = dir.File("section.las");
        image.Save(path);
        file.SetPath(path.c_str());
        file.ReadHeader();
    }

    // The raw X of each visited record, in visiting order, and the failure if one ended the read.
    std::vector<std::int32_t> Read(const std::vector<std::uint32_t>& indices)
    {
        std::vector<std::int32_t> xs;
        try
        {
            file.ReadRecords(indices.data(), indices.size(),
                             [&](std::size_t k, const unsigned char* record)
                             {
                                 EXPECT_EQ(k, xs.size());
                                 xs.push_back(LoadLE<std::int32_t>(record));
                             });
        }
        catch (const CLasException& e)
        {
            error = e.GetErrorText();
            detail = e.GetDetail();
        }
        return xs;
    }

    TempDir dir;
    std::string path;
    CLasFile file;
    std::string error;
    std::string detail;
};

TEST_F(CLasFileReadRecords, VisitsScatteredRecordsWithExtraBytesInTheOrderGiven)
{
    // 5000 records of 34 bytes are 170 kB: the indices below span close runs, far jumps and a
    // step back, with two bytes behind every record that must be stepped over.
    LasImage image = LasImage::Make(3, 5000);
    image.header.pointDataRecordLength = 36;
    for (auto& record : image.records)
    {
        record.resize(36, 0xEE);
    }
    Open(image);
    const std::vector<std::uint32_t> indices = {0, 1, 2, 40, 1000, 4999, 17, 17, 3000};
    EXPECT_EQ(Read(indices), (std::vector<std::int32_t>{0, 1, 2, 40, 1000, 4999, 17, 17, 3000}));
    EXPECT_EQ(error, "");

    std::array<float, 3> position{};
    file.ReadRecords(indices.data() + 4, 1,
                     [&](std::size_t, const unsigned char* record)
                     { position = file.RecordPosition(record); });
    EXPECT_FLOAT_EQ(position[0], 10.0f);
    EXPECT_FLOAT_EQ(position[1], 20.0f);
    EXPECT_FLOAT_EQ(position[2], -10.0f);
}

TEST_F(CLasFileReadRecords, FailuresKeepWhatWasVisitedAndNameTheFile)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint32_t> indices;
        std::vector<std::int32_t> visited;
        const char* error;
        const char* detail;
    };
    // The file holds records 0 to 9 whole and record 10 cut to 12 bytes; the header claims 12.
    const Case cases[] = {
        {"past the claimed records",
         {3, 12},
         {3},
         "ReadError::LAS Point",
         "section.las: record 12 is past the last record"},
        {"cut record in one block",
         {8, 9, 10},
         {8, 9},
         "ReadError::LAS Point",
         "section.las: the file ends before record 10"},
    };
    LasImage image = LasImage::Make(0, 11);
    image.records[10].resize(12);
    image.header.numberOfPointRecords = 12;
    Open(image);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        error.clear();
        detail.clear();
        EXPECT_EQ(Read(c.indices), c.visited);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(std::filesystem::path(detail).filename().string(), c.detail);
    }

    std::filesystem::remove(path);
    error.clear();
    EXPECT_TRUE(Read({0}).empty());
    EXPECT_EQ(error, "ReadError::File could not be open.");
}

} // namespace
} // namespace telvora
