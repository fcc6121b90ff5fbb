#include <cmath>
#include <gtest/gtest.h>

#include "scene/TreeDrawing.h"

namespace telvora
{
namespace
{

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

CBoundingBox Box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return CBoundingBox::FromCorners({x0, y0, z0}, {x1, y1, z1});
}

TEST(Frustum, IdentityMatricesGiveTheClipCube)
{
    const CFrustum f = FrustumFromMatrices(kIdentity, kIdentity);
    // left, right, top, bottom, near, far: x >= -1, x <= 1, y <= 1, y >= -1, z >= -1, z <= 1.
    const Vec3 normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ(f.planes[i].normal, normals[i]) << i;
        EXPECT_EQ(f.planes[i].offset, 1.0f) << i;
        EXPECT_EQ(f.planes[i].point, Vec3{}) << i;
    }
    // A translation in the model-view matrix moves the cube.
    float moved[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};
    const CFrustum g = FrustumFromMatrices(kIdentity, moved);
    EXPECT_EQ(g.planes[0].offset, 6.0f); // x + 5 >= -1
    EXPECT_EQ(g.planes[1].offset, -4.0f);
}

TEST(Frustum, BoxesAreInsideCrossingOrOutside)
{
    const CFrustum f = FrustumFromMatrices(kIdentity, kIdentity);
    EXPECT_EQ(ClassifyBox(f, Box(-0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f)), 2);
    EXPECT_EQ(ClassifyBox(f, Box(-1, -1, -1, 1, 1, 1)), 2); // on the planes counts as inside
    EXPECT_EQ(ClassifyBox(f, Box(0.5f, 0, 0, 3, 0.5f, 0.5f)), 1);
    EXPECT_EQ(ClassifyBox(f, Box(-5, -5, -5, 5, 5, 5)), 1);
    EXPECT_EQ(ClassifyBox(f, Box(2, 0, 0, 3, 1, 1)), 0);
    EXPECT_EQ(ClassifyBox(f, Box(0, 0, -9, 0.5f, 0.5f, -2)), 0);
}

TEST(LevelOfDetail, FactorFollowsTheBudget)
{
    CullStatistics four{4000000, 400, 400 * 100.0f};
    EXPECT_GT(LodFactor(four), 0.0);
    EXPECT_EQ(LeafFraction(LodFactor(four), 1000.0f), 1.0f);

    CullStatistics ten{10000000, 1000, 1000 * 200.0f};
    const double k = LodFactor(ten);
    EXPECT_DOUBLE_EQ(k, -0.5 / 200.0);
    EXPECT_FLOAT_EQ(LeafFraction(k, 200.0f), 0.5f);
    // A quarter of the mean distance gives 0.875, which is drawn in full.
    EXPECT_EQ(LeafFraction(k, 50.0f), 1.0f);
    // Far leaves keep 5 %, even where the formula goes negative.
    EXPECT_FLOAT_EQ(LeafFraction(k, 390.0f), 0.05f);
    EXPECT_FLOAT_EQ(LeafFraction(k, 5000.0f), 0.05f);
    EXPECT_EQ(static_cast<int>(10.0f * LeafFraction(k, 5000.0f)), 0);
    EXPECT_EQ(static_cast<int>(10000.0f * LeafFraction(k, 200.0f)), 5000);
    // NaN (no leaf counted) never reaches a point count as anything but the floor.
    EXPECT_FLOAT_EQ(LeafFraction(std::nan(""), 1.0f), 0.05f);
}

TEST(Culling, InsideNodesAcceptTheirWholeSubtreeAndLeavesAreCounted)
{
    CPointTree tree(Box(0, 0, 0, 2, 2, 1));
    std::vector<float> xyz;
    for (int k = 0; k < 10001; ++k)
    {
        const float t = static_cast<float>(k) / 10001.0f;
        xyz.insert(xyz.end(), {0.1f + 1.8f * t, 0.1f + 1.8f * std::fmod(t * 37.0f, 1.0f), 0.5f});
    }
    for (std::int32_t j = 0; j < 10001; ++j)
    {
        tree.Insert(xyz.data(), j);
    }
    for (CPointNode* child : tree.rootCells[0].children)
    {
        child->box.UpdateCentre();
        child->state = 0; // a stale state from an earlier frame
    }
    // The cube [-1, 1] shifted to [0, 2]: the whole cell lies inside.
    float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -1, 0, 1};
    const CFrustum f = FrustumFromMatrices(kIdentity, shift);
    CullStatistics statistics;
    Cull(tree, {1, 1, 10}, &f, statistics);
    EXPECT_EQ(tree.rootCells[0].state, 2);
    EXPECT_EQ(statistics.points, 10001);
    EXPECT_EQ(statistics.leaves, 4);
    for (const CPointNode* child : tree.rootCells[0].children)
    {
        EXPECT_EQ(child->state, 2);
    }
    // Moved away entirely: the root cell is outside and nothing below it is visited.
    float away[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 50, 0, 0, 1};
    const CFrustum g = FrustumFromMatrices(kIdentity, away);
    CullStatistics none;
    Cull(tree, {1, 1, 10}, &g, none);
    EXPECT_EQ(tree.rootCells[0].state, 0);
    EXPECT_EQ(none.points, 0);
    EXPECT_EQ(none.leaves, 0);
}

} // namespace
} // namespace telvora
