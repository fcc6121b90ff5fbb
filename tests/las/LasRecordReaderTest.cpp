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

// The images put record i at raw (i, 2i, -i), scale 0.01. Each case visits the indices and
// records the raw X of every record it was handed and the detail of the failure that ended it.
TEST(CLasFileReadRecords, VisitsInTheOrderGivenAndStopsAtTheFirstRecordMissing)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint32_t> indices;
        std::vector<std::int32_t> visited;
        const char* failure;
    };
    const Case cases[] = {
        // 5000 records of 36 bytes (34 and two extra) span close runs, far jumps, a step back.
        {"scattered",
         {0, 1, 2, 40, 1000, 4999, 17, 17, 3000},
         {0, 1, 2, 40, 1000, 4999, 17, 17, 3000},
         ""},
        // The header claims 5002 records; record 5000 is cut to 12 bytes.
        {"past the claimed records",
         {3, 5002},
         {3},
         "section.las: record 5002 is past the last record"},
        {"cut record",
         {4998, 4999, 5000},
         {4998, 4999},
         "section.las: the file ends before record 5000"},
    };
    test::TempDir dir;
    const std::string path = dir.File("section.las");
    test::LasImage image = test::LasImage::Make(3, 5001);
    image.header.pointDataRecordLength = 36;
    for (auto& record : image.records)
    {
        record.resize(36, 0xEE);
    }
    image.records[5000].resize(12);
    image.header.numberOfPointRecords = 5002;
    image.Save(path);
    CLasFile file;
    file.SetPath(path.c_str());
    file.ReadHeader();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<std::int32_t> xs;
        std::string failure;
        try
        {
            file.ReadRecords(c.indices.data(), c.indices.size(),
                             [&](std::size_t k, const unsigned char* record)
                             {
                                 EXPECT_EQ(k, xs.size());
                                 xs.push_back(LoadLE<std::int32_t>(record));
                             });
        }
        catch (const CLasException& e)
        {
            EXPECT_STREQ(e.GetErrorText(), "ReadError::LAS Point");
            failure = std::filesystem::path(e.GetDetail()).filename().string();
        }
        EXPECT_EQ(xs, c.visited);
        EXPECT_EQ(failure, c.failure);
    }

    // Record 1000 as a position: (10, 20, -10) metres.
    const std::uint32_t index = 1000;
    file.ReadRecords(&index, 1,
                     [&](std::size_t, const unsigned char* record)
                     {
                         const auto position = file.RecordPosition(record);
                         EXPECT_FLOAT_EQ(position[0], 10.0f);
                         EXPECT_FLOAT_EQ(position[1], 20.0f);
                         EXPECT_FLOAT_EQ(position[2], -10.0f);
                     });

    std::filesystem::remove(path);
    try
    {
        file.ReadRecords(&index, 1, [](std::size_t, const unsigned char*) { ADD_FAILURE(); });
        ADD_FAILURE() << "a missing file was read";
    }
    catch (const CLasException& e)
    {
        EXPECT_STREQ(e.GetErrorText(), "ReadError::File could not be open.");
    }
}

} // namespace
} // namespace telvora
