#include "las/PositionTransform.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "las/ByteOrder.h"

namespace telvora
{
namespace
{

LasHeader HeaderOf(double scale, Vec3d offset)
{
    LasHeader header;
    header.xScaleFactor = header.yScaleFactor = header.zScaleFactor = scale;
    header.xOffset = offset.x;
    header.yOffset = offset.y;
    header.zOffset = offset.z;
    return header;
}

std::vector<unsigned char> RecordOf(std::int32_t x, std::int32_t y, std::int32_t z)
{
    std::vector<unsigned char> bytes(12);
    StoreLE(bytes.data(), x);
    StoreLE(bytes.data() + 4, y);
    StoreLE(bytes.data() + 8, z);
    return bytes;
}

// Survey positions at UTM coordinates come out exact to the file's scale: a float holds
// northings of 5.4 million metres only to half a metre, the scene positions to a float's
// precision at their own small size.
// Expected values are worked by hand: (raw x scale + offset) - origin.
TEST(PositionTransform, UtmPositionsKeepTheFilesPrecisionRelativeToTheOrigin)
{
    const Vec3d utm{500000.0, 5400000.0, 0.0};
    const Vec3d centre{500123.457, 5400302.86, 0.0};
    struct Case
    {
        double scale;
        Vec3d offset;
        Vec3d origin;
        std::int32_t raw[3];
        double expected[3];
    };
    const Case cases[] = {
        // On the origin: 500,123.457 / 5,400,302.86, 12.345 m up.
        {0.001, utm, centre, {123457, 302860, 12345}, {0.0, 0.0, 12.345}},
        // 1 cm east and north of it: distinct.
        {0.001, utm, centre, {123467, 302870, 12345}, {0.010, 0.010, 12.345}},
        // 1 mm east, at northing 5,400,302.61.
        {0.001, utm, centre, {123458, 302610, 0}, {0.001, -0.250, 0.0}},
        // Centimetre scale: 500,123.46 is 3 mm east of the origin.
        {0.01, utm, centre, {12346, 30261, 100}, {0.003, -0.250, 1.0}},
        // Negative offsets (west and south of the grid's origin), heights below the datum.
        {0.001,
         {-500000.0, -5400000.0, -100.0},
         {-500123.457, -5400302.86, 0.0},
         {-123457, -302860, 150},
         {0.0, 0.0, -99.850}},
        {0.001,
         {-500000.0, -5400000.0, -100.0},
         {-500123.457, -5400302.86, 0.0},
         {-123447, -302850, 150},
         {0.010, 0.010, -99.850}},
        // No origin: real-world coordinates.
        {0.01, {}, {}, {12345, -6789, 1}, {123.45, -67.89, 0.01}},
    };
    for (const Case& c : cases)
    {
        const PositionTransform transform(HeaderOf(c.scale, c.offset), c.origin);
        float fromRecord[3] = {};
        transform.Apply(RecordOf(c.raw[0], c.raw[1], c.raw[2]).data(), fromRecord);
        const Vec3 fromValues = transform.Of(c.raw[0], c.raw[1], c.raw[2]);
        for (int axis = 0; axis < 3; ++axis)
        {
            // The decimal value to a float's precision: a micrometre, or a millionth of it.
            EXPECT_NEAR(fromRecord[axis], c.expected[axis],
                        1e-6 * std::max(1.0, std::fabs(c.expected[axis])))
                << "raw " << c.raw[0] << " " << c.raw[1] << " " << c.raw[2] << ", axis " << axis;
            EXPECT_EQ(fromValues[axis], fromRecord[axis]);
        }
    }
}

// A record on the edge of its header's box stays inside the scene box, also where the edge is
// the scene offset itself (two tiles side by side, the offset on their common edge). The box
// keeps half a float step of the real-world magnitude around the header's (1/64 m at easting
// 500,000, 1/4 m at northing 5,400,000), as much as rounding positions to floats used to forgive.
TEST(PositionTransform, RecordsOnTheHeadersBoxLieInsideTheSceneBox)
{
    LasHeader header = HeaderOf(0.001, {500000.0, 5400000.0, 0.0});
    // Raw 123457 .. 223457 east, 302860 .. 402860 north, 0 .. 12345 up.
    header.minX = 500123.457;
    header.maxX = 500223.457;
    header.minY = 5400302.86;
    header.maxY = 5400402.86;
    header.minZ = 0.0;
    header.maxZ = 12.345;
    struct Case
    {
        Vec3d origin;
        float minimum[2];
        float maximum[2];
    };
    const Case cases[] = {
        {{500123.457, 5400302.86, 0.0}, {-0.015625f, -0.25f}, {100.015625f, 100.25f}},
        {{500173.457, 5400352.86, 0.0}, {-50.015625f, -50.25f}, {50.015625f, 50.25f}},
        {{500000.0, 5400000.0, 0.0}, {123.441375f, 302.61f}, {223.472625f, 403.11f}},
    };
    for (const Case& c : cases)
    {
        const CBoundingBox box = SceneBoxOf(header, c.origin);
        const PositionTransform transform(header, c.origin);
        const Vec3 low = transform.Of(123457, 302860, 0);
        const Vec3 high = transform.Of(223457, 402860, 12345);
        for (int axis = 0; axis < 3; ++axis)
        {
            EXPECT_LE(box.minimum[axis], low[axis]) << "axis " << axis;
            EXPECT_GE(box.maximum[axis], high[axis]) << "axis " << axis;
        }
        for (int axis = 0; axis < 2; ++axis)
        {
            EXPECT_NEAR(box.minimum[axis], c.minimum[axis], 1e-4) << "axis " << axis;
            EXPECT_NEAR(box.maximum[axis], c.maximum[axis], 1e-4) << "axis " << axis;
        }
    }
    // One point (or a line) has no extent to keep slack around: its box stays flat, for the
    // tree to widen.
    header.maxX = header.minX;
    const CBoundingBox flat = SceneBoxOf(header, {500123.457, 5400302.86, 0.0});
    EXPECT_EQ(flat.minimum.x, 0.0f);
    EXPECT_EQ(flat.maximum.x, 0.0f);
}

} // namespace
} // namespace telvora
