// Point formats 4 to 10 and the LAS 1.3 and 1.4 headers, against bytes laid out by hand.

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "LasImage.h"
#include "Recorders.h"
#include "TestFiles.h"
#include "las/ByteOrder.h"
#include "las/LASPointFormats.h"
#include "las/LasExtendedVlrs.h"
#include "las/LasFile.h"
#include "las/LasFileCheck.h"

namespace telvora
{
namespace
{

using test::LasImage;

// Where a format keeps its optional fields (-1: it has none), from the format tables.
struct FormatRow
{
    unsigned format;
    std::size_t size;
    int gps;
    int rgb;
    int nir;
    int wave;
};

const FormatRow kFormats[] = {
    {4, 57, 20, -1, -1, 28},  {5, 63, 20, 28, -1, 34}, {6, 30, 22, -1, -1, -1},
    {7, 36, 22, 30, -1, -1},  {8, 38, 22, 30, 36, -1}, {9, 59, 22, -1, -1, 30},
    {10, 67, 22, 30, 36, 38},
};

// One record of the row's format with every field set to a value of its own.
std::vector<unsigned char> FilledRecord(const FormatRow& row)
{
    std::vector<unsigned char> r(row.size, 0);
    StoreLE<std::int32_t>(r.data() + 0, -7);
    StoreLE<std::uint16_t>(r.data() + 12, 0xA1B2);
    if (row.format >= 6)
    {
        r[14] = 0x3B; // return 11 of 3 (4 bits each)
        r[15] = 0xE5; // flags synthetic + withheld, channel 2, scan direction 1, edge 1
        r[16] = 200;  // classification
        r[17] = 0x77;
        StoreLE<std::int16_t>(r.data() + 18, -1500); // -9 degrees
        StoreLE<std::uint16_t>(r.data() + 20, 0x1234);
    }
    else
    {
        r[14] = 0xD1; // return 1 of 2, scan direction 1, edge 1
        r[15] = 0xA2; // class 2 with the synthetic and withheld bits
        r[16] = static_cast<unsigned char>(-12);
        r[17] = 0x77;
        StoreLE<std::uint16_t>(r.data() + 18, 0x1234);
    }
    StoreLE<double>(r.data() + row.gps, 1234.5);
    if (row.rgb >= 0)
    {
        StoreLE<std::uint16_t>(r.data() + row.rgb, 0x1111);
        StoreLE<std::uint16_t>(r.data() + row.rgb + 2, 0x2222);
        StoreLE<std::uint16_t>(r.data() + row.rgb + 4, 0x3333);
    }
    if (row.nir >= 0)
    {
        StoreLE<std::uint16_t>(r.data() + row.nir, 0x4444);
    }
    if (row.wave >= 0)
    {
        r[static_cast<std::size_t>(row.wave)] = 7;
        StoreLE<std::uint64_t>(r.data() + row.wave + 1, 0x0102030405060708);
        StoreLE<std::uint32_t>(r.data() + row.wave + 9, 0x11223344);
        StoreLE<float>(r.data() + row.wave + 13, 1.5f);
        StoreLE<float>(r.data() + row.wave + 17, 0.25f);
        StoreLE<float>(r.data() + row.wave + 21, -0.5f);
        StoreLE<float>(r.data() + row.wave + 25, 2.0f);
    }
    return r;
}

// The getters are checked field by field through the reports of telvora-las; here the setters,
// which the survey generator writes with.
TEST(LasExtendedFormats, TheSettersLayOutEachFieldAtItsOffset)
{
    for (const FormatRow& row : kFormats)
    {
        SCOPED_TRACE(row.format);
        const bool extended = row.format >= 6;
        const std::vector<unsigned char> bytes = FilledRecord(row);
        ASSERT_EQ(StandardRecordSize(row.format), row.size);
        std::unique_ptr<LASPoint> made(CreateLasPoint(row.format));
        made->SetX(-7);
        made->SetIntensity(0xA1B2);
        made->SetReturnNumber(extended ? 11 : 1);
        made->SetNumberOfReturns(extended ? 3 : 2);
        made->SetScanDirectionFlag(1);
        made->SetEdgeOfFlightLine(1);
        made->SetClassification(extended ? 200 : 2);
        made->SetClassificationFlags(0x5);
        made->SetScannerChannel(2);
        made->SetScanAngle(extended ? -1500 : -12);
        made->SetUserData(0x77);
        made->SetPointSourceID(0x1234);
        made->SetGPSTime(1234.5);
        made->SetRed(0x1111);
        made->SetGreen(0x2222);
        made->SetBlue(0x3333);
        made->SetNIR(0x4444);
        made->SetWavePacket(7, 0x0102030405060708, 0x11223344, 1.5f, 0.25f, -0.5f, 2.0f);
        EXPECT_EQ(std::memcmp(RecordImage(*made), bytes.data(), row.size), 0);
    }
    EXPECT_EQ(CreateLasPoint(11), nullptr);
    EXPECT_EQ(StandardRecordSize(11), 0u);
}

// A LAS 1.4 file of format 6 whose 32-bit count is 0: three records with two extra bytes each and
// two extended VLRs behind them.
LasImage FormatSixFile()
{
    LasImage image = LasImage::Make(6);
    image.header.pointDataRecordLength = 32;
    const std::int16_t angles[] = {-1500, 1, 5000};
    for (std::uint8_t i = 0; i < 3; ++i)
    {
        std::vector<unsigned char> record(32, 0xEE);
        StoreLE<std::int32_t>(record.data(), i);
        StoreLE<std::int32_t>(record.data() + 4, 0);
        StoreLE<std::int32_t>(record.data() + 8, 0);
        record[14] = static_cast<unsigned char>(0x0F - i); // returns 15, 14, 13
        record[15] = 0x0F;                                 // every flag set
        record[16] = static_cast<unsigned char>(100 + i);
        StoreLE<std::int16_t>(record.data() + 18, angles[i]);
        image.records.push_back(record);
    }
    image.AddEvlr("first", 1, {'a', 'b', 'c'}, "three bytes");
    image.AddEvlr("second", 2, std::vector<unsigned char>(100, 0x42));
    image.Layout(0);
    return image;
}

TEST(LasExtendedFormats, ALas14FileIsCountedReadAndItsExtendedVlrsWalked)
{
    test::TempDir dir;
    const std::string path = dir.File("six.las");
    LasImage image = FormatSixFile();
    image.Save(path);
    CLasFile file;
    file.SetPath(path.c_str());
    ASSERT_NO_THROW(file.ReadCheckedHeader());
    ASSERT_EQ(file.header->numberOfPointRecords, 0u);
    EXPECT_EQ(PointCount(*file.header), 3u);
    // Behind the 375-byte header and 3 records of 32 bytes.
    EXPECT_EQ(file.header->startOfFirstExtendedVlr, 471u);
    EXPECT_EQ(file.header->numberOfExtendedVlrs, 2u);

    test::RecordingNotifier notifier;
    const auto classes = file.ReadClassifications(nullptr, &notifier);
    const auto returns = file.ReadReturnNumbers(nullptr, &notifier);
    const auto degrees = file.ReadScanAngles(nullptr, &notifier);
    const auto ranks = file.ReadScanAngleRanks(nullptr, &notifier);
    const auto both = file.ReadClassesAndReturns(nullptr, &notifier);
    ASSERT_TRUE(classes && returns && degrees && ranks && both);
    const float expectedDegrees[] = {-9.0f, 0.006f, 30.0f};
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(classes[i], 100 + i);
        EXPECT_EQ(returns[i], 15 - i);
        EXPECT_FLOAT_EQ(degrees[i], expectedDegrees[i]);
        // The return byte as it stands (return 15 - i of 0), above the class.
        EXPECT_EQ(both[i], ((0x0F - i) << 8) | (100 + i));
    }
    EXPECT_EQ(ranks[0], -9);
    EXPECT_EQ(ranks[1], 0);
    EXPECT_EQ(ranks[2], 30);
    std::unique_ptr<LASPoint> last(file.ReadPoint(2));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->GetX(), 2);
    EXPECT_EQ(last->GetClassificationFlags(), 0x0F);
    EXPECT_TRUE(notifier.shown.empty());

    // Declared three, the file holds two; data is cut at the limit.
    file.header->numberOfExtendedVlrs = 3;
    const std::vector<LasExtendedVlr> records = ReadExtendedVlrs(path.c_str(), *file.header, 50);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fileOffset, 471u);
    EXPECT_STREQ(records[0].header.userId, "first");
    EXPECT_EQ(records[0].data, std::vector<unsigned char>({'a', 'b', 'c'}));
    EXPECT_EQ(records[1].fileOffset, 471u + 60 + 3);
    EXPECT_EQ(records[1].header.recordId, 2);
    EXPECT_EQ(records[1].header.recordLengthAfterHeader, 100u);
    EXPECT_EQ(records[1].data, std::vector<unsigned char>(50, 0x42));

    // A length running past the end stops the walk there.
    std::vector<unsigned char> bytes = image.Bytes();
    StoreLE<std::uint64_t>(bytes.data() + 471 + 20, 224);
    test::WriteAll(path, bytes);
    EXPECT_EQ(ReadExtendedVlrs(path.c_str(), *file.header).size(), 0u);
}

TEST(LasExtendedFormats, HeadersOfLas13And14AreReadToTheirFieldsAndNoFurther)
{
    test::TempDir dir;
    const std::string path = dir.File("h.las");
    LasImage image = LasImage::Make(5, 1);
    image.header.startOfWaveformDataPacketRecord = 0x1122334455667788;
    image.Layout(0);
    image.Save(path);
    LasHeader header = ReadCheckedLasHeader(path.c_str());
    EXPECT_EQ(header.headerSize, 235);
    EXPECT_EQ(header.startOfWaveformDataPacketRecord, 0x1122334455667788u);
    EXPECT_EQ(PointCount(header), 1u);

    // A 1.3 header holds no 1.4 fields, whatever bytes follow it.
    image.AddVlr("v", 1, std::vector<unsigned char>(200, 0xFF));
    image.Layout(1);
    image.Save(path);
    header = ReadCheckedLasHeader(path.c_str());
    EXPECT_EQ(header.numberOfExtendedVlrs, 0u);
    EXPECT_EQ(header.extendedNumberOfPointRecords, 0u);

    // 15 counts by return from 1.4 on, used where the 32-bit count is 0.
    LasImage six = LasImage::Make(6, 2);
    six.header.extendedNumberOfPointsByReturn[14] = 2;
    six.Save(path);
    header = ReadCheckedLasHeader(path.c_str());
    EXPECT_EQ(ReturnCountSlots(header), 15u);
    EXPECT_EQ(PointsByReturn(header, 14), 2u);
}

} // namespace
} // namespace telvora
