#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "FailureInjection.h"
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

// 3000 records of 36 bytes from byte 227, classified 1, record 7 0x82 (class 2, withheld). Each
// case starts from those bytes and expects exactly the classification bytes of `changed` (byte 227
// + 36 i + 15) to hold the new code afterwards, and nothing else to move.
TEST(CLasFileWriteClassifications, ChangesOnlyTheChosenBytesAndCountsWhatReachedTheFile)
{
    constexpr std::size_t kClassAt = 227 + 15;
    constexpr std::size_t kRecordLength = 36;
    struct Case
    {
        const char* what;
        std::vector<std::uint32_t> indices;
        std::vector<std::uint32_t> changed;
        // RLIMIT_FSIZE for the write, in a child process; negative for none.
        std::int64_t limit;
        bool readOnly;
        const char* failure;
    };
    const Case cases[] = {
        {"close and far records", {7, 8, 2999}, {7, 8, 2999}, -1, false, ""},
        {"past the last record",
         {10, 3000},
         {10},
         -1,
         false,
         "data.las: record 3000 is past the last record"},
        // The span from record 100's byte to record 103's is cut at record 102's byte.
        {"file-size limit inside a span",
         {100, 101, 102, 103},
         {100, 101},
         static_cast<std::int64_t>(kClassAt + 102 * kRecordLength),
         false,
         "data.las: the file is too large (a file-size limit was reached); 2 of 4 records were "
         "changed"},
        {"read-only file", {5}, {}, -1, true, "data.las: the file is read-only"},
    };
    test::TempDir dir;
    const std::string path = dir.File("data.las");
    test::LasImage image = test::LasImage::Make(3, 3000);
    image.header.pointDataRecordLength = 36;
    for (auto& record : image.records)
    {
        record.resize(36, 0xEE);
        record[15] = 1;
    }
    image.records[7][15] = 0x82;
    const std::vector<unsigned char> original = image.Bytes();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        test::WriteAll(path, original);
        if (c.readOnly)
        {
            std::filesystem::permissions(path, std::filesystem::perms::owner_read);
        }
        const std::vector<std::uint8_t> codes(c.indices.size(), 5);
        std::vector<std::uint8_t> previous(c.indices.size(), 0xFF);
        std::size_t written = 99;
        const auto write = [&]
        {
            CLasFile file;
            file.SetPath(path.c_str());
            file.ReadHeader();
            file.WriteClassifications(c.indices.data(), c.indices.size(), codes.data(),
                                      previous.data(), written);
        };
        test::ChildOutcome outcome;
        if (c.limit >= 0)
        {
            outcome = test::RunWithLimits({c.limit, false}, write);
        }
        else
        {
            try
            {
                write();
            }
            catch (const CLasException& e)
            {
                outcome = {true, e.GetErrorText(), e.GetDetail()};
            }
            EXPECT_EQ(written, c.changed.size());
            for (std::size_t k = 0; k < c.changed.size(); ++k)
            {
                EXPECT_EQ(previous[k], c.indices[k] == 7 ? 0x82 : 1) << k;
            }
        }
        EXPECT_EQ(std::filesystem::path(outcome.detail).filename().string(), c.failure);
        std::vector<unsigned char> expected = original;
        for (const std::uint32_t i : c.changed)
        {
            expected[kClassAt + kRecordLength * i] = 5;
        }
        EXPECT_EQ(test::ReadAll(path), expected);
    }
}

} // namespace
} // namespace telvora
