#include <bit>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <sstream>

#include "las/LASPointFormats.h"

namespace telvora
{
namespace
{

template <typename Point>
class LASPointCommon : public ::testing::Test
{
};

using AllFormats = ::testing::Types<LASPoint0, LASPoint1, LASPoint2, LASPoint3>;
TYPED_TEST_SUITE(LASPointCommon, AllFormats);

TYPED_TEST(LASPointCommon, NewRecordIsAllZero)
{
    TypeParam point;
    for (unsigned char byte : point.record)
    {
        EXPECT_EQ(byte, 0);
    }
    EXPECT_EQ(point.GetGPSTime(), 0.0);
    EXPECT_EQ(point.GetRed(), 0);
}

TYPED_TEST(LASPointCommon, CommonFieldsLieAtTheirOffsetsLittleEndian)
{
    TypeParam point;
    point.SetX(0x01020304);
    point.SetY(-2);
    point.SetZ(0x7FFFFFFF);
    point.SetIntensity(0xA1B2);
    point.SetClassification(0x82);
    point.SetScanAngleRank(-90);
    point.SetUserData(0xEE);
    point.SetPointSourceID(0x1234);

    const unsigned char* r = point.record;
    EXPECT_EQ(r[0], 0x04);
    EXPECT_EQ(r[3], 0x01);
    EXPECT_EQ(r[4], 0xFE);
    EXPECT_EQ(r[7], 0xFF);
    EXPECT_EQ(r[11], 0x7F);
    EXPECT_EQ(r[12], 0xB2);
    EXPECT_EQ(r[13], 0xA1);
    EXPECT_EQ(r[15], 0x82);
    EXPECT_EQ(r[16], static_cast<unsigned char>(-90));
    EXPECT_EQ(r[17], 0xEE);
    EXPECT_EQ(r[18], 0x34);
    EXPECT_EQ(r[19], 0x12);

    EXPECT_EQ(point.GetX(), 0x01020304);
    EXPECT_EQ(point.GetY(), -2);
    EXPECT_EQ(point.GetZ(), 0x7FFFFFFF);
    EXPECT_EQ(point.GetIntensity(), 0xA1B2);
    EXPECT_EQ(point.GetScanAngleRank(), -90);
    EXPECT_EQ(point.GetUserData(), 0xEE);
    EXPECT_EQ(point.GetPointSourceID(), 0x1234);
}

TYPED_TEST(LASPointCommon, ReturnByteSettersKeepTheOtherBits)
{
    TypeParam point;
    point.record[14] = 0xF8;
    point.SetReturnNumber(9); // only the low three bits of 9 count
    EXPECT_EQ(point.record[14], 0xF9);
    EXPECT_EQ(point.GetReturnNumber(), 1);
    EXPECT_EQ(point.GetNumberOfReturns(), 7);
    EXPECT_EQ(point.GetScanDirectionFlag(), 1);
    EXPECT_EQ(point.GetEdgeOfFlightLine(), 1);

    point.SetEdgeOfFlightLine(2); // bit 0 of 2 is clear
    EXPECT_EQ(point.record[14], 0x79);
    point.SetScanDirectionFlag(0);
    EXPECT_EQ(point.record[14], 0x39);
    point.SetNumberOfReturns(0x0A); // low three bits: 2
    EXPECT_EQ(point.record[14], 0x11);
    EXPECT_EQ(point.GetNumberOfReturns(), 2);
    point.SetEdgeOfFlightLine(1);
    point.SetScanDirectionFlag(3);
    EXPECT_EQ(point.record[14], 0xD1);
}

TYPED_TEST(LASPointCommon, ClassificationKeepsTheWholeByteAndItsFlags)
{
    TypeParam point;
    point.SetClassification(0x82); // withheld ground
    EXPECT_EQ(point.GetClassification(), 0x82);
    EXPECT_TRUE(point.GetWithheld());
    EXPECT_FALSE(point.GetSynthetic());
    EXPECT_FALSE(point.GetKeyPoint());

    point.SetSynthetic(2); // any non-zero value is true
    EXPECT_EQ(point.GetClassification(), 0xA2);
    point.SetKeyPoint(true);
    EXPECT_EQ(point.GetClassification(), 0xE2);
    point.SetWithheld(false);
    EXPECT_EQ(point.GetClassification(), 0x62);
    point.SetSynthetic(false);
    point.SetKeyPoint(false);
    EXPECT_EQ(point.GetClassification(), 0x02);
    point.SetClassification(6); // reclassification replaces the flags as well
    EXPECT_EQ(point.record[15], 6);
}

TYPED_TEST(LASPointCommon, ReadTakesExactlyTheStandardSize)
{
    std::string bytes(TypeParam::kRecordSize + 3, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        bytes[i] = static_cast<char>(i + 1);
    }
    std::istringstream stream(bytes);
    TypeParam point;
    ASSERT_TRUE(point.Read(stream));
    EXPECT_EQ(std::memcmp(point.record, bytes.data(), TypeParam::kRecordSize), 0);
    EXPECT_EQ(stream.tellg(), static_cast<std::streamoff>(TypeParam::kRecordSize));

    // Three bytes are left: not a whole record.
    EXPECT_FALSE(point.Read(stream));
}

TEST(LASPointLayout, StandardSizesAndFormats)
{
    EXPECT_EQ(sizeof(LASPoint0::record), 20u);
    EXPECT_EQ(sizeof(LASPoint1::record), 28u);
    EXPECT_EQ(sizeof(LASPoint2::record), 26u);
    EXPECT_EQ(sizeof(LASPoint3::record), 34u);
    for (unsigned format = 0; format < 11; ++format)
    {
        std::unique_ptr<LASPoint> point(CreateLasPoint(format));
        ASSERT_NE(point, nullptr);
        EXPECT_EQ(point->GetFormat(), static_cast<int>(format));
        EXPECT_NE(RecordImage(*point), nullptr);
    }
}

TEST(LASPointLayout, GpsTimeAndColourOffsets)
{
    LASPoint1 p1;
    p1.SetGPSTime(1.5);
    EXPECT_EQ(std::memcmp(p1.record + 20, "\x00\x00\x00\x00\x00\x00\xF8\x3F", 8), 0);

    LASPoint2 p2;
    p2.SetRed(0x0102);
    p2.SetGreen(0x0304);
    p2.SetBlue(0x0506);
    EXPECT_EQ(std::memcmp(p2.record + 20, "\x02\x01\x04\x03\x06\x05", 6), 0);

    LASPoint3 p3;
    p3.SetGPSTime(1.5);
    p3.SetRed(0x0102);
    p3.SetGreen(0x0304);
    p3.SetBlue(0xFFFF);
    EXPECT_EQ(std::memcmp(p3.record + 20, "\x00\x00\x00\x00\x00\x00\xF8\x3F", 8), 0);
    EXPECT_EQ(std::memcmp(p3.record + 28, "\x02\x01\x04\x03\xFF\xFF", 6), 0);
    EXPECT_EQ(p3.GetBlue(), 0xFFFF);
}

// Setting every field a format lacks must leave its record untouched and read back as zero.
template <typename Point>
void ExpectDummies(bool hasGps, bool hasRgb)
{
    Point point;
    point.SetGPSTime(12345.5);
    point.SetRed(100);
    point.SetGreen(200);
    point.SetBlue(300);
    if (!hasGps)
    {
        point.SetGPSTimeBits(0x4000000000000000ull);
        EXPECT_EQ(point.GetGPSTime(), 0.0);
        EXPECT_EQ(point.GetGPSTimeBits(), 0u);
    }
    else
    {
        EXPECT_EQ(point.GetGPSTime(), 12345.5);
    }
    if (!hasRgb)
    {
        EXPECT_EQ(point.GetRed(), 0);
        EXPECT_EQ(point.GetGreen(), 0);
        EXPECT_EQ(point.GetBlue(), 0);
    }
    else
    {
        EXPECT_EQ(point.GetRed(), 100);
        EXPECT_EQ(point.GetGreen(), 200);
        EXPECT_EQ(point.GetBlue(), 300);
    }
    if (!hasGps && !hasRgb)
    {
        for (unsigned char byte : point.record)
        {
            EXPECT_EQ(byte, 0);
        }
    }
}

TEST(LASPointDummies, MissingFieldsReadZeroAndIgnoreWrites)
{
    ExpectDummies<LASPoint0>(false, false);
    ExpectDummies<LASPoint1>(true, false);
    ExpectDummies<LASPoint2>(false, true);
    ExpectDummies<LASPoint3>(true, true);

    LASPoint2 p2;
    p2.SetGPSTime(7.0);
    const LASPoint2 untouched;
    EXPECT_EQ(std::memcmp(p2.record, untouched.record, sizeof p2.record), 0);

    LASPoint1 p1;
    p1.SetRed(65535);
    const LASPoint1 zero;
    EXPECT_EQ(std::memcmp(p1.record, zero.record, sizeof p1.record), 0);
}

TEST(LASPointGpsTime, BitPatternsSurviveUnchanged)
{
    const std::uint64_t patterns[] = {0x7FF8000000000001ull, // a NaN with payload
                                      0x8000000000000000ull, // negative zero
                                      0x410DF44CDD9CB36Eull, 0x0000000000000001ull,
                                      0xFFFFFFFFFFFFFFFFull};
    LASPoint3 point;
    for (std::uint64_t bits : patterns)
    {
        point.SetGPSTimeBits(bits);
        EXPECT_EQ(point.GetGPSTimeBits(), bits);
        const double value = point.GetGPSTime();
        EXPECT_EQ(std::bit_cast<std::uint64_t>(value), bits);
    }
    point.SetGPSTime(245385.6082090395);
    EXPECT_EQ(point.GetGPSTimeBits(), 0x410DF44CDD9CB36Eull);
}

TEST(LASPointCommonAcrossFormats, SameCommonBytesGiveSameValues)
{
    std::unique_ptr<LASPoint> points[4] = {
        std::make_unique<LASPoint0>(), std::make_unique<LASPoint1>(), std::make_unique<LASPoint2>(),
        std::make_unique<LASPoint3>()};
    for (auto& point : points)
    {
        unsigned char* record = RecordImage(*point);
        for (int i = 0; i < 20; ++i)
        {
            record[i] = static_cast<unsigned char>(0x90 + 7 * i);
        }
    }
    for (auto& point : points)
    {
        EXPECT_EQ(point->GetX(), points[0]->GetX());
        EXPECT_EQ(point->GetIntensity(), points[0]->GetIntensity());
        EXPECT_EQ(point->GetReturnNumber(), points[0]->GetReturnNumber());
        EXPECT_EQ(point->GetClassification(), points[0]->GetClassification());
        EXPECT_EQ(point->GetScanAngleRank(), points[0]->GetScanAngleRank());
        EXPECT_EQ(point->GetPointSourceID(), points[0]->GetPointSourceID());
    }
}

} // namespace
} // namespace telvora
