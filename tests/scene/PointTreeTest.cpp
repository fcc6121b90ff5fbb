#include "scene/PointTree.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <set>
#include <vector>

namespace telvora
{
namespace
{

CBoundingBox Box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return CBoundingBox::FromCorners({x0, y0, z0}, {x1, y1, z1});
}

struct Points
{
    std::vector<float> xyz;

    std::int32_t Add(float x, float y, float z)
    {
        xyz.insert(xyz.end(), {x, y, z});
        return static_cast<std::int32_t>(xyz.size() / 3 - 1);
    }
    void InsertAll(CPointTree& tree) const
    {
        for (std::size_t j = 0; j < xyz.size() / 3; ++j)
        {
            tree.Insert(xyz.data(), static_cast<std::int32_t>(j));
        }
    }
};

// Every stored index with the leaf that holds it.
std::multiset<std::int32_t> StoredIndices(const CPointTree& tree)
{
    std::multiset<std::int32_t> stored;
    tree.ForEachNode(
        [&](const CPointNode& node)
        {
            for (std::uint32_t k = 0; k < node.count; ++k)
            {
                stored.insert(node.indices[k]);
            }
        });
    return stored;
}

bool InsideXY(const CBoundingBox& box, const float* p)
{
    return p[0] >= box.minimum.x && p[0] <= box.maximum.x && p[1] >= box.minimum.y &&
           p[1] <= box.maximum.y;
}

TEST(PointTree, RootCellsRunAlongTheLongerSide)
{
    const CPointTree wide(Box(0, 0, 0, 1000, 250, 10));
    ASSERT_EQ(wide.cellCount, 4u);
    for (std::uint32_t i = 0; i < 4; ++i)
    {
        EXPECT_FLOAT_EQ(wide.rootCells[i].box.minimum.x, 250.0f * static_cast<float>(i));
        EXPECT_FLOAT_EQ(wide.rootCells[i].box.maximum.x, 250.0f * static_cast<float>(i + 1));
        EXPECT_EQ(wide.rootCells[i].box.minimum.y, 0.0f);
        EXPECT_EQ(wide.rootCells[i].box.maximum.y, 250.0f);
        EXPECT_EQ(wide.rootCells[i].box.minimum.z, 0.0f);
        EXPECT_EQ(wide.rootCells[i].box.maximum.z, 0.0f);
        EXPECT_EQ(wide.rootCells[i].state, 2);
    }
    const CPointTree tall(Box(0, 0, 0, 250, 1000, 10));
    ASSERT_EQ(tall.cellCount, 4u);
    EXPECT_FLOAT_EQ(tall.rootCells[3].box.minimum.y, 750.0f);
    EXPECT_EQ(tall.rootCells[3].box.maximum.x, 250.0f);

    const CPointTree almostSquare(Box(0, 0, 0, 999, 500, 10));
    ASSERT_EQ(almostSquare.cellCount, 1u);
    EXPECT_EQ(almostSquare.rootCells[0].box.maximum.x, 999.0f);
    EXPECT_EQ(almostSquare.rootCells[0].box.maximum.y, 500.0f);
}

TEST(PointTree, CellsTileTheBoxExactlyEvenWithAwkwardSteps)
{
    const CPointTree tree(Box(-371.3f, 12.7f, 0, 6283.19f, 19.3f, 1));
    ASSERT_GT(tree.cellCount, 900u);
    EXPECT_EQ(tree.rootCells[0].box.minimum.x, tree.box.minimum.x);
    for (std::uint32_t i = 1; i < tree.cellCount; ++i)
    {
        ASSERT_EQ(tree.rootCells[i].box.minimum.x, tree.rootCells[i - 1].box.maximum.x);
    }
    EXPECT_EQ(tree.rootCells[tree.cellCount - 1].box.maximum.x, tree.box.maximum.x);
}

TEST(PointTree, FlatDataIsStoredWhole)
{
    struct Case
    {
        const char* label;
        CBoundingBox box;
        std::vector<std::array<float, 3>> points;
    };
    // Far from the scene's centre a float step is 0.25 m: the box must still grow past it.
    const float far = 3.0e6f;
    std::vector<std::array<float, 3>> identical(25000, {7.5f, -2.0f, 40.0f});
    std::vector<std::array<float, 3>> line;
    std::vector<std::array<float, 3>> column;
    for (int i = 0; i < 30000; ++i)
    {
        line.push_back({3.0f, 0.05f * static_cast<float>(i), 1.0f});
        column.push_back({far, far, 0.01f * static_cast<float>(i)});
    }
    const Case cases[] = {
        {"one point", Box(7.5f, -2, 40, 7.5f, -2, 40), {{7.5f, -2.0f, 40.0f}}},
        {"identical points", Box(7.5f, -2, 40, 7.5f, -2, 40), identical},
        {"line without x extent", Box(3, 0, 1, 3, line.back()[1], 1), line},
        {"column far out", Box(far, far, 0, far, far, 299.99f), column},
    };
    for (const Case& c : cases)
    {
        CPointTree tree(c.box);
        Points points;
        for (const auto& p : c.points)
        {
            points.Add(p[0], p[1], p[2]);
        }
        points.InsertAll(tree);
        EXPECT_EQ(StoredIndices(tree).size(), c.points.size()) << c.label;
    }
}

TEST(PointTree, ExtremelyThinBoxIsCappedButStoresItsPoints)
{
    CPointTree tree(Box(0, 0, 0, 1.0e7f, 1.0f, 1));
    EXPECT_EQ(tree.cellCount, CPointTree::kMaxRootCells);
    Points points;
    points.Add(0, 0, 0);
    points.Add(1.0e7f, 1, 0);
    points.Add(5.0e6f, 0.5f, 0);
    points.InsertAll(tree);
    EXPECT_EQ(StoredIndices(tree).size(), 3u);
}

TEST(PointTree, PointsOnEveryEdgeAreStoredExactlyOnceAndOutsidePointsNever)
{
    CPointTree tree(Box(0, 0, 0, 1000, 250, 10));
    Points points;
    std::vector<std::int32_t> expected;
    // Corners and edges of the box, the borders between the root cells, and their crossings.
    for (float x : {0.0f, 125.0f, 250.0f, 500.0f, 750.0f, 999.99994f, 1000.0f})
    {
        for (float y : {0.0f, 125.0f, 250.0f})
        {
            expected.push_back(points.Add(x, y, 1));
        }
    }
    points.Add(-0.001f, 10, 1);
    points.Add(10, 250.01f, 1);
    points.Add(1000.001f, 10, 1);
    points.Add(std::nanf(""), 10, 1);
    points.InsertAll(tree);
    const auto stored = StoredIndices(tree);
    EXPECT_EQ(stored, std::multiset<std::int32_t>(expected.begin(), expected.end()));
}

TEST(PointTree, TheTenThousandAndFirstPointSplitsTheLeafIntoQuadrants)
{
    CPointTree tree(Box(0, 0, 0, 100, 100, 50));
    Points points;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(0.0f, 100.0f);
    for (int k = 0; k < 10000; ++k)
    {
        points.Add(coordinate(random), coordinate(random), 5.0f + static_cast<float>(k % 10));
    }
    points.Add(75, 75, 40); // upper right
    for (std::int32_t j = 0; j < 10000; ++j)
    {
        tree.Insert(points.xyz.data(), j);
    }
    const CPointNode& cell = tree.rootCells[0];
    ASSERT_TRUE(cell.IsLeaf());
    EXPECT_EQ(cell.count, 10000u);
    EXPECT_EQ(cell.box.minimum.z, 5.0f);
    EXPECT_EQ(cell.box.maximum.z, 14.0f);

    tree.Insert(points.xyz.data(), 10000);
    ASSERT_FALSE(cell.IsLeaf());
    EXPECT_EQ(cell.count, 0u);
    EXPECT_EQ(cell.indices, nullptr);
    EXPECT_EQ(cell.box.maximum.z, 40.0f);
    const float lowX[4] = {50, 0, 0, 50};
    const float lowY[4] = {50, 50, 0, 0};
    std::uint32_t total = 0;
    for (int q = 0; q < 4; ++q)
    {
        const CPointNode& child = *cell.children[q];
        EXPECT_EQ(child.parent, &cell);
        EXPECT_EQ(child.box.minimum.x, lowX[q]);
        EXPECT_EQ(child.box.minimum.y, lowY[q]);
        EXPECT_EQ(child.box.maximum.x, lowX[q] + 50);
        EXPECT_EQ(child.box.maximum.y, lowY[q] + 50);
        EXPECT_EQ(child.box.centre.x, lowX[q] + 25);
        EXPECT_TRUE(child.IsLeaf());
        // The stored indices keep their order of arrival.
        EXPECT_TRUE(std::is_sorted(child.indices, child.indices + child.count));
        total += child.count;
    }
    EXPECT_EQ(total, 10001u);
    EXPECT_EQ(cell.children[0]->indices[cell.children[0]->count - 1], 10000);
    EXPECT_EQ(cell.children[0]->box.maximum.z, 40.0f);
}

TEST(PointTree, ManyPointsAtOnePositionNeitherSplitForeverNorGetLost)
{
    CPointTree tree(Box(0, 0, 0, 100, 100, 10));
    Points points;
    for (int k = 0; k < 25000; ++k)
    {
        points.Add(37.5f, 62.5f, 1.0f);
    }
    points.Add(10, 10, 2);
    points.InsertAll(tree);
    EXPECT_EQ(StoredIndices(tree).size(), 25001u);
    std::uint32_t deepest = 0;
    tree.ForEachNode([&](const CPointNode& node) { deepest = std::max(deepest, node.depth); });
    EXPECT_LE(deepest, CPointTree::kMaxDepth);
}

TEST(PointTree, RandomSurveyKeepsTheInvariants)
{
    CPointTree tree(Box(-300, -120, 0, 300, 120, 100));
    Points points;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> x(-300.0f, 300.0f);
    std::uniform_real_distribution<float> y(-120.0f, 120.0f);
    std::uniform_real_distribution<float> z(0.0f, 100.0f);
    // Clustered as well as spread, so that leaves split to several depths.
    for (int k = 0; k < 60000; ++k)
    {
        points.Add(x(random), y(random), z(random));
        points.Add(x(random) / 50.0f, y(random) / 50.0f, z(random));
    }
    points.InsertAll(tree);
    std::size_t stored = 0;
    tree.ForEachNode(
        [&](const CPointNode& node)
        {
            const bool leaf = node.IsLeaf();
            for (const CPointNode* child : node.children)
            {
                ASSERT_EQ(child == nullptr, leaf);
            }
            if (!leaf)
            {
                ASSERT_EQ(node.count, 0u);
                ASSERT_EQ(node.indices, nullptr);
                return;
            }
            ASSERT_LE(node.count, CPointNode::kLeafCapacity);
            stored += node.count;
            for (std::uint32_t k = 0; k < node.count; ++k)
            {
                const float* p = points.xyz.data() + 3 * static_cast<std::size_t>(node.indices[k]);
                for (const CPointNode* up = &node; up != nullptr; up = up->parent)
                {
                    ASSERT_TRUE(InsideXY(up->box, p));
                    ASSERT_GE(p[2], up->box.minimum.z);
                    ASSERT_LE(p[2], up->box.maximum.z);
                }
            }
        });
    EXPECT_EQ(stored, points.xyz.size() / 3);
}

// A height that is no number (inf * 0 from a damaged scale) must not take the leaf's height
// range with it: the range spans the heights that are numbers.
TEST(PointTree, HeightsThatAreNoNumberLeaveTheHeightRangeToTheOthers)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct
    {
        const char* label;
        std::vector<float> heights;
        float low;
        float high;
    } cases[] = {
        {"first of three", {nan, 7.0f, -2.0f}, -2.0f, 7.0f},
        {"in between", {3.0f, nan, 5.0f}, 3.0f, 5.0f},
        {"last", {4.0f, nan}, 4.0f, 4.0f},
        {"beside infinities", {nan, -inf, inf}, -inf, inf},
    };
    for (const auto& c : cases)
    {
        CPointTree tree(Box(0, 0, 0, 10, 10, 10));
        Points points;
        for (const float z : c.heights)
        {
            points.Add(5, 5, z);
        }
        points.InsertAll(tree);
        ASSERT_EQ(tree.cellCount, 1u) << c.label;
        const CPointNode& leaf = tree.rootCells[0];
        EXPECT_EQ(leaf.count, c.heights.size()) << c.label;
        EXPECT_EQ(leaf.box.minimum.z, c.low) << c.label;
        EXPECT_EQ(leaf.box.maximum.z, c.high) << c.label;
    }
}

TEST(RayHitsBox, OriginInsideHitsAndPointingAwayMisses)
{
    const CBoundingBox box = Box(0, 0, 0, 10, 10, 10);
    EXPECT_TRUE(RayHitsBox({{5, 5, 5}, {1, 0, 0}, 1}, box));
    EXPECT_TRUE(RayHitsBox({{-5, 5, 5}, {1, 0, 0}, 1}, box));
    // The line through the ray crosses the box, the half-line does not.
    EXPECT_FALSE(RayHitsBox({{-5, 5, 5}, {-1, 0, 0}, 1}, box));
    EXPECT_FALSE(RayHitsBox({{-5, 15, 5}, {1, 0, 0}, 1}, box));
    // Diagonal from a corner region, grazing an edge within the tolerance.
    const Vec3 d = Normalise({1, 1, 0});
    EXPECT_TRUE(RayHitsBox({{-5, -5, 5}, d, 1}, box));
    EXPECT_TRUE(RayHitsBox({{-5, 5, 10.0000005f}, {1, 0, 0}, 1}, box));
    EXPECT_FALSE(RayHitsBox({{-5, 5, 10.001f}, {1, 0, 0}, 1}, box));
    // Straight down from above.
    EXPECT_TRUE(RayHitsBox({{2, 3, 100}, {0, 0, -1}, 1}, box));
}

TEST(PlaneMeetsBox, NearAndFarCornersDecide)
{
    const CBoundingBox box = Box(0, 0, 0, 10, 10, 10);
    const CPlane through = CPlane::FromPoints({5, 0, 0}, {5, 0, 1}, {5, 1, 0});
    EXPECT_TRUE(PlaneMeetsBox(through, box));
    const CPlane touching = CPlane::FromPoints({10, 0, 0}, {10, 0, 1}, {10, 1, 0});
    EXPECT_TRUE(PlaneMeetsBox(touching, box));
    const CPlane beside = CPlane::FromPoints({10.5f, 0, 0}, {10.5f, 0, 1}, {10.5f, 1, 0});
    EXPECT_FALSE(PlaneMeetsBox(beside, box));
    CPlane diagonal;
    diagonal.normal = Normalise({1, -1, 0});
    diagonal.offset = 0;
    EXPECT_TRUE(PlaneMeetsBox(diagonal, box));
    diagonal.offset = 8.0f; // the plane x - y = -8 sqrt(2) ... lies beyond the corner (0, 10)
    EXPECT_FALSE(PlaneMeetsBox(diagonal, box));
}

} // namespace
} // namespace telvora
