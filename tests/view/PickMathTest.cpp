#include <gtest/gtest.h>
#include <vector>

#include "view/Picking.h"

namespace telvora
{
namespace
{

// A leaf from (0, 0, 0) to (100, 100, 10): centre (50, 50, 5), s = 100.
CBoundingBox Leaf()
{
    return CBoundingBox::FromCorners({0, 0, 0}, {100, 100, 10});
}

TEST(PickAmong, FarAndNearCasesPickTheRightRecord)
{
    struct Case
    {
        const char* label;
        CRay ray;
        std::vector<Vec3> points; // record index 10 + k
        std::int32_t expected;
    };
    const CRay down{{50, 50, 1000}, {0, 0, -1}, 60000};
    // The eye near the leaf's edge, 40 m from its centre, looking outwards along x: the middle of
    // the data (the scene's origin) lies behind it.
    const CRay outwards{{90, 50, 5}, {1, 0, 0}, 60000};
    const Case cases[] = {
        // Far (eye 995 m from the centre): the point nearest the line wins, whatever its height.
        {"far: nearest to the line", down, {{50.3f, 50, 0}, {49.9f, 50.1f, 8}, {60, 60, 0}}, 11},
        {"far: the earlier of two equally near", down, {{50, 50.2f, 0}, {50.2f, 50, 0}}, 10},
        // Near: within 0.2 of the line, ahead of the eye, farther than 2 along it, nearest wins.
        {"near: nearest ahead",
         outwards,
         {{95, 50.1f, 5},  // 5 ahead, 0.1 off
          {93, 50, 5.05f}, // 3 ahead, 0.05 off: the pick
          {91.5f, 50, 5},  // 1.5 ahead: too close to the eye
          {87.5f, 50, 5},  // 2.5 behind the eye, on the line
          {96, 50.3f, 5}}, // 0.3 off the line
         11},
        {"near: only points behind the eye or off the line",
         outwards,
         {{87.5f, 50, 5}, {80, 50, 5}, {96, 50.3f, 5}},
         -1},
        {"no points", down, {}, -1},
    };
    for (const Case& c : cases)
    {
        std::vector<float> positions;
        std::vector<std::int32_t> indices;
        for (std::size_t k = 0; k < c.points.size(); ++k)
        {
            positions.insert(positions.end(), {c.points[k].x, c.points[k].y, c.points[k].z});
            indices.push_back(10 + static_cast<std::int32_t>(k));
        }
        const LeafPick pick = PickAmong(c.ray, positions.data(), indices.data(),
                                        static_cast<std::uint32_t>(indices.size()), Leaf());
        EXPECT_EQ(pick.index, c.expected) << c.label;
        if (c.expected >= 0)
        {
            EXPECT_EQ(pick.position, c.points[static_cast<std::size_t>(c.expected - 10)])
                << c.label;
        }
    }
}

TEST(RayOnLeafPlane, MeetsTheMidHeightPlaneOnEitherSideOfTheEye)
{
    EXPECT_EQ(RayOnLeafPlane({{20, 30, 100}, {0, 0, -1}, 1}, Leaf()), (Vec3{20, 30, 5}));
    // Below the plane looking down: the meeting point lies behind the eye.
    EXPECT_EQ(RayOnLeafPlane({{20, 30, -10}, {0, 0, -1}, 1}, Leaf()), (Vec3{20, 30, 5}));
    EXPECT_EQ(RayOnLeafPlane({{20, 30, 7}, {1, 0, 0}, 1}, Leaf()), (Vec3{}));
}

} // namespace
} // namespace telvora
