#include "las/LasHeader.h"

#include <cstring>
#include <gtest/gtest.h>

#include "las/ByteOrder.h"

namespace telvora
{
namespace
{

TEST(LasHeaderImage, FieldsLieAtTheirFileOffsets)
{
    LasHeader header;
    std::memcpy(header.fileSignature, "LASF", 4);
    header.fileSourceId = 0x0102;
    header.globalEncoding = 0x0304;
    header.guidData1 = 0xFFFFFFFF;
    header.guidData4[7] = 0x99;
    header.versionMajor = 1;
    header.versionMinor = 2;
    std::memset(header.systemIdentifier, 'S', 32);
    std::memset(header.generatingSoftware, 'G', 32);
    header.fileCreationYear = 2026;
    header.headerSize = 227;
    header.offsetToPointData = 0x11223344;
    header.numberOfVariableLengthRecords = 3;
    header.pointDataFormatId = 3;
    header.pointDataRecordLength = 34;
    header.numberOfPointRecords = 0xAABBCCDD;
    header.numberOfPointsByReturn[4] = 5;
    header.xScaleFactor = 0.01;
    header.maxX = 638982.55;
    header.minZ = -1.5;

    unsigned char image[LasHeader::kImageSize];
    SerializeLasHeader(header, image);

    EXPECT_EQ(std::memcmp(image, "LASF", 4), 0);
    EXPECT_EQ(LoadLE<std::uint16_t>(image + 4), 0x0102);
    EXPECT_EQ(LoadLE<std::uint16_t>(image + 6), 0x0304);
    EXPECT_EQ(LoadLE<std::uint32_t>(image + 8), 0xFFFFFFFFu);
    EXPECT_EQ(image[23], 0x99);
    EXPECT_EQ(image[24], 1);
    EXPECT_EQ(image[25], 2);
    EXPECT_EQ(image[26], 'S');
    EXPECT_EQ(image[57], 'S');
    EXPECT_EQ(image[58], 'G');
    EXPECT_EQ(image[89], 'G');
    EXPECT_EQ(LoadLE<std::uint16_t>(image + 92), 2026);
    EXPECT_EQ(LoadLE<std::uint16_t>(image + 94), 227);
    EXPECT_EQ(LoadLE<std::uint32_t>(image + 96), 0x11223344u);
    EXPECT_EQ(LoadLE<std::uint32_t>(image + 100), 3u);
    EXPECT_EQ(image[104], 3);
    EXPECT_EQ(LoadLE<std::uint16_t>(image + 105), 34);
    EXPECT_EQ(LoadLE<std::uint32_t>(image + 107), 0xAABBCCDDu);
    EXPECT_EQ(LoadLE<std::uint32_t>(image + 127), 5u);
    EXPECT_EQ(LoadLE<double>(image + 131), 0.01);
    EXPECT_EQ(LoadLE<double>(image + 179), 638982.55);
    EXPECT_EQ(LoadLE<double>(image + 219), -1.5);

    const LasHeader back = ParseLasHeader(image);
    unsigned char again[LasHeader::kImageSize];
    SerializeLasHeader(back, again);
    EXPECT_EQ(std::memcmp(image, again, sizeof image), 0);
    EXPECT_EQ(back.numberOfPointRecords, 0xAABBCCDDu);
    EXPECT_EQ(back.maxX, 638982.55);
}

TEST(LasVlrHeaderImage, FieldsLieAtTheirOffsets)
{
    unsigned char image[LasVlrHeader::kImageSize] = {};
    image[0] = 0x01;
    std::memcpy(image + 2, "LASF_Projection", sizeof "LASF_Projection");
    StoreLE<std::uint16_t>(image + 18, 34735);
    StoreLE<std::uint16_t>(image + 20, 64);
    std::memcpy(image + 22, "GeoTIFF GeoKeyDirectoryTag", sizeof "GeoTIFF GeoKeyDirectoryTag");

    const LasVlrHeader vlr = ParseLasVlrHeader(image);
    EXPECT_EQ(vlr.reserved, 1);
    EXPECT_EQ(std::string(vlr.userId, 15), "LASF_Projection");
    EXPECT_EQ(vlr.recordId, 34735);
    EXPECT_EQ(vlr.recordLengthAfterHeader, 64);
    EXPECT_STREQ(vlr.description, "GeoTIFF GeoKeyDirectoryTag");

    unsigned char again[LasVlrHeader::kImageSize];
    SerializeLasVlrHeader(vlr, again);
    EXPECT_EQ(std::memcmp(image, again, sizeof image), 0);
}

} // namespace
} // namespace telvora
