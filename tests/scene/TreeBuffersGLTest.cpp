#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "SceneGLSupport.h"
#include "scene/PointTree.h"
#include "scene/TreeDrawing.h"

namespace telvora
{
namespace
{

struct Survey
{
    std::vector<float> positions;
    std::vector<float> colors;
    std::size_t Count() const { return positions.size() / 3; }
};

// Points spread over the box with a denser patch, so that leaves split to several depths and
// some stay empty.
Survey MakeSurvey(std::size_t n, const CBoundingBox& box, unsigned seed)
{
    Survey survey;
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (std::size_t j = 0; j < n; ++j)
    {
        float fx = unit(random);
        float fy = unit(random);
        if (j % 3 == 0)
        {
            fx = 0.7f + 0.1f * fx;
            fy = 0.2f + 0.1f * fy;
        }
        survey.positions.push_back(box.minimum.x + fx * (box.maximum.x - box.minimum.x));
        survey.positions.push_back(box.minimum.y + fy * (box.maximum.y - box.minimum.y));
        survey.positions.push_back(box.minimum.z + unit(random) * (box.maximum.z - box.minimum.z));
        survey.colors.push_back(static_cast<float>(j % 256) / 255.0f);
        survey.colors.push_back(static_cast<float>((j / 256) % 256) / 255.0f);
        survey.colors.push_back(static_cast<float>(j % 7) / 7.0f);
    }
    return survey;
}

std::unique_ptr<CPointTree> BuildTree(const Survey& survey, const CBoundingBox& box,
                                      std::uint64_t seed = 5)
{
    auto tree = std::make_unique<CPointTree>(box);
    for (std::size_t j = 0; j < survey.Count(); ++j)
    {
        tree->Insert(survey.positions.data(), static_cast<std::int32_t>(j));
    }
    tree->SetShuffleSeed(seed);
    tree->CreateBuffers();
    tree->UploadPositions(survey.positions.data());
    return tree;
}

const CBoundingBox kBox = CBoundingBox::FromCorners({-400, -100, 10}, {400, 100, 60});

TEST(TreeBuffers, EveryLeafBufferHoldsItsPointsPositionsThenColoursInIndexOrder)
{
    const Survey survey = MakeSurvey(50000, kBox, 1);
    auto tree = BuildTree(survey, kBox);
    tree->UploadColors(survey.colors.data());
    std::size_t seen = 0;
    tree->ForEachNode(
        [&](const CPointNode& node)
        {
            if (!node.IsLeaf() || node.count == 0)
            {
                EXPECT_EQ(node.buffer, nullptr);
                return;
            }
            ASSERT_NE(node.buffer, nullptr);
            ASSERT_EQ(node.buffer->count, static_cast<std::int32_t>(node.count));
            ASSERT_TRUE(test::IsBuffer(node.buffer->name));
            const std::size_t n = node.count;
            const std::vector<float> data = test::ReadBuffer(node.buffer->name, 6 * n);
            for (std::size_t k = 0; k < n; ++k)
            {
                const std::size_t j = static_cast<std::size_t>(node.indices[k]);
                for (int c = 0; c < 3; ++c)
                {
                    ASSERT_EQ(data[3 * k + c], survey.positions[3 * j + c]);
                    ASSERT_EQ(data[3 * n + 3 * k + c], survey.colors[3 * j + c]);
                }
            }
            seen += n;
        });
    EXPECT_EQ(seen, survey.Count());
    EXPECT_EQ(test::GLError(), 0);
}

TEST(TreeBuffers, ShuffleIsAPermutationThatTheSeedRepeats)
{
    const Survey survey = MakeSurvey(30000, kBox, 2);
    auto first = BuildTree(survey, kBox, 42);
    auto second = BuildTree(survey, kBox, 42);
    auto third = BuildTree(survey, kBox, 43);
    std::vector<std::vector<std::int32_t>> orders[3];
    int t = 0;
    for (CPointTree* tree : {first.get(), second.get(), third.get()})
    {
        tree->ForEachNode(
            [&](const CPointNode& node)
            {
                if (node.IsLeaf() && node.count > 0)
                {
                    orders[t].emplace_back(node.indices, node.indices + node.count);
                }
            });
        ++t;
    }
    ASSERT_EQ(orders[0].size(), orders[2].size());
    EXPECT_EQ(orders[0], orders[1]);
    EXPECT_NE(orders[0], orders[2]);
    std::size_t moved = 0;
    std::size_t total = 0;
    for (const auto& leaf : orders[0])
    {
        std::vector<std::int32_t> sorted = leaf;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
        // Insertion left them ascending; a real shuffle leaves few where they were.
        for (std::size_t k = 0; k < leaf.size(); ++k)
        {
            moved += leaf[k] != sorted[k] ? 1 : 0;
        }
        total += leaf.size();
    }
    EXPECT_GT(moved, total * 95 / 100);
}

TEST(TreeBuffers, EmptyLeavesKeepNoBufferAndGetAFlatZeroRange)
{
    // All points in one quadrant: the split leaves three empty siblings.
    CBoundingBox box = CBoundingBox::FromCorners({0, 0, 0}, {100, 100, 50});
    Survey survey;
    for (int k = 0; k < 12000; ++k)
    {
        const int column = k % 100;
        const int row = k / 100;
        survey.positions.insert(survey.positions.end(),
                                {60.0f + static_cast<float>(column) * 0.3f,
                                 60.0f + static_cast<float>(row) * 0.3f, 20.0f});
    }
    auto tree = BuildTree(survey, box);
    const CPointNode& cell = tree->rootCells[0];
    ASSERT_FALSE(cell.IsLeaf());
    for (int q = 1; q < 4; ++q)
    {
        const CPointNode& empty = *cell.children[q];
        EXPECT_EQ(empty.count, 0u);
        EXPECT_EQ(empty.buffer, nullptr);
        EXPECT_EQ(empty.box.minimum.z, 0.0f);
        EXPECT_EQ(empty.box.maximum.z, 0.0f);
        EXPECT_EQ(CPointTree::ReadBackPositions(empty), nullptr);
    }
    // The centres follow the heights that were inserted.
    EXPECT_EQ(cell.box.centre.z, 20.0f);
}

TEST(TreeBuffers, ReadBackGivesThePositionsInBufferOrder)
{
    const Survey survey = MakeSurvey(20000, kBox, 3);
    auto tree = BuildTree(survey, kBox);
    tree->ForEachNode(
        [&](const CPointNode& node)
        {
            if (node.count == 0)
            {
                return;
            }
            std::unique_ptr<float[]> back(CPointTree::ReadBackPositions(node));
            ASSERT_NE(back, nullptr);
            for (std::size_t k = 0; k < node.count; ++k)
            {
                const std::size_t j = static_cast<std::size_t>(node.indices[k]);
                ASSERT_EQ(back[3 * k], survey.positions[3 * j]);
                ASSERT_EQ(back[3 * k + 2], survey.positions[3 * j + 2]);
            }
        });
}

TEST(TreeBuffers, DestroyingTheTreeDeletesItsBuffers)
{
    const Survey survey = MakeSurvey(25000, kBox, 4);
    std::vector<std::uint32_t> names;
    {
        auto tree = BuildTree(survey, kBox);
        tree->ForEachNode(
            [&](const CPointNode& node)
            {
                if (node.buffer != nullptr)
                {
                    names.push_back(node.buffer->name);
                }
            });
    }
    ASSERT_GT(names.size(), 1u);
    for (std::uint32_t name : names)
    {
        EXPECT_FALSE(test::IsBuffer(name));
    }
}

TEST(QuerySection, ReturnsExactlyThePointsBetweenBothPairsOfPlanesInTreeOrder)
{
    const Survey survey = MakeSurvey(60000, kBox, 5);
    auto tree = BuildTree(survey, kBox);
    // A slab 6 m wide along a slanted line, cut to 150 m of its length.
    const Vec3 start{-200, -50, 0};
    const Vec3 end{150, 40, 0};
    const Vec3 along = Normalise(end - start);
    CPlane planeA;
    planeA.normal = Normalise(Cross(along, {0, 0, 1}));
    planeA.offset = -Dot(planeA.normal, start);
    CPlane planeB;
    planeB.normal = along;
    const Vec3 middle = start + along * 75.0f;
    planeB.offset = -Dot(along, middle);
    std::int32_t* found = nullptr;
    const std::uint32_t n = tree->QuerySection(planeA, 3.0f, planeB, 75.0f, &found);
    std::unique_ptr<std::int32_t[]> owned(found);

    std::set<std::int32_t> expected;
    tree->ForEachNode(
        [&](const CPointNode& node)
        {
            for (std::uint32_t k = 0; k < node.count; ++k)
            {
                const float* p = &survey.positions[3 * static_cast<std::size_t>(node.indices[k])];
                const Vec3 v{p[0], p[1], p[2]};
                if (std::fabs(planeA.SignedDistance(v)) <= 3.0f &&
                    std::fabs(planeB.SignedDistance(v)) <= 75.0f)
                {
                    expected.insert(node.indices[k]);
                }
            }
        });
    ASSERT_GT(expected.size(), 100u);
    ASSERT_EQ(n, expected.size());
    EXPECT_EQ(std::set<std::int32_t>(found, found + n), expected);
}

TEST(QuerySection, PointAtExactlyTheLimitIsIncludedAndAMissReturnsNoArray)
{
    CBoundingBox box = CBoundingBox::FromCorners({0, 0, 0}, {100, 100, 10});
    Survey survey;
    survey.positions = {40, 50, 1, 44, 50, 1, 44.5f, 50, 1, 36, 70, 1};
    auto tree = BuildTree(survey, box);
    CPlane planeA; // x = 40
    planeA.normal = {1, 0, 0};
    planeA.offset = -40;
    CPlane planeB; // y = 50
    planeB.normal = {0, 1, 0};
    planeB.offset = -50;
    std::int32_t* found = nullptr;
    ASSERT_EQ(tree->QuerySection(planeA, 4.0f, planeB, 10.0f, &found), 2u);
    std::unique_ptr<std::int32_t[]> owned(found);
    EXPECT_EQ(std::set<std::int32_t>(found, found + 2), (std::set<std::int32_t>{0, 1}));

    CPlane outside = planeA;
    outside.offset = -150;
    std::int32_t* none = reinterpret_cast<std::int32_t*>(&planeB);
    EXPECT_EQ(tree->QuerySection(outside, 4.0f, planeB, 10.0f, &none), 0u);
    EXPECT_EQ(none, nullptr);
}

TEST(FindPickLeaf, PicksTheHitLeafNearestTheRayOrigin)
{
    const Survey survey = MakeSurvey(80000, kBox, 6);
    auto tree = BuildTree(survey, kBox);
    std::mt19937 random(9);
    std::uniform_real_distribution<float> x(-420.0f, 420.0f);
    std::uniform_real_distribution<float> y(-120.0f, 120.0f);
    for (int trial = 0; trial < 200; ++trial)
    {
        CRay ray;
        ray.origin = {x(random), y(random), 300.0f};
        ray.direction = Normalise({x(random) * 0.2f, y(random) * 0.2f, -300.0f});
        ray.length = 1000.0f;
        // Every leaf whose whole chain of boxes the ray hits, nearest centre first.
        const CPointNode* expected = nullptr;
        float best = 0.0f;
        tree->ForEachNode(
            [&](const CPointNode& node)
            {
                if (!node.IsLeaf())
                {
                    return;
                }
                for (const CPointNode* up = &node; up != nullptr; up = up->parent)
                {
                    if (!RayHitsBox(ray, up->box))
                    {
                        return;
                    }
                }
                const float d = Distance(node.box.centre, ray.origin);
                if (expected == nullptr || d < best)
                {
                    expected = &node;
                    best = d;
                }
            });
        if (!RayHitsBox(ray, tree->box))
        {
            expected = nullptr;
        }
        ASSERT_EQ(tree->FindPickLeaf(ray), expected) << "trial " << trial;
    }
    const CRay away{{0, 0, 300}, {0, 0, 1}, 10};
    EXPECT_EQ(tree->FindPickLeaf(away), nullptr);
}

// Leaves of a tree, with their point counts, in drawing order.
std::vector<const CPointNode*> LeavesWithPoints(const CPointTree& tree)
{
    std::vector<const CPointNode*> leaves;
    tree.ForEachNode(
        [&](const CPointNode& node)
        {
            if (node.IsLeaf() && node.count > 0)
            {
                leaves.push_back(&node);
            }
        });
    return leaves;
}

TEST(TreeDrawing, WithoutLevelOfDetailEveryPointIsDrawnAndCounted)
{
    const Survey survey = MakeSurvey(40000, kBox, 7);
    auto tree = BuildTree(survey, kBox);
    tree->UploadColors(survey.colors.data());
    test::OffscreenTarget target(64, 64);
    ASSERT_TRUE(target.IsComplete());
    test::LookAt({0, -900, 500}, {0, 0, 0}, 45, 1, 0.1f, 60000);
    std::int64_t drawn = 0;
    Draw(*tree, nullptr, 0.0, false, drawn);
    EXPECT_EQ(drawn, 40000);
    EXPECT_EQ(test::GLError(), 0);
}

TEST(TreeDrawing, LevelOfDetailDrawsTheComputedPrefixOfEveryLeaf)
{
    const Survey survey = MakeSurvey(60000, kBox, 8);
    auto tree = BuildTree(survey, kBox);
    tree->UploadColors(survey.colors.data());
    const Vec3 eye{0, -900, 500};
    CullStatistics statistics;
    Cull(*tree, eye, nullptr, statistics);
    EXPECT_EQ(statistics.points, 60000);
    // Pretend the frame held 300 million points: the leaves are thinned out by distance.
    statistics.points = 300000000;
    const double k = LodFactor(statistics);
    ASSERT_LT(k, 0.0);
    std::int64_t expected = 0;
    for (const CPointNode* leaf : LeavesWithPoints(*tree))
    {
        const float f = LeafFraction(k, Distance(eye, leaf->box.centre));
        expected += static_cast<std::int64_t>(static_cast<float>(leaf->count) * f);
    }
    test::OffscreenTarget target(64, 64);
    test::LookAt(eye, {0, 0, 0}, 45, 1, 0.1f, 60000);
    std::int64_t drawn = 0;
    Draw(*tree, &eye, k, false, drawn);
    EXPECT_EQ(drawn, expected);
    EXPECT_LT(drawn, 60000);
    EXPECT_GE(drawn, 60000 / 20 - 64);
}

TEST(TreeDrawing, CulledNodesAreSkippedAndOutlinesCountNoPoints)
{
    // Two root cells; the camera looks at the western one only.
    CBoundingBox box = CBoundingBox::FromCorners({-200, -50, 0}, {200, 50, 10});
    const Survey survey = MakeSurvey(60000, box, 9);
    auto tree = BuildTree(survey, box);
    tree->UploadColors(survey.colors.data());
    ASSERT_EQ(tree->cellCount, 4u);
    test::OffscreenTarget target(64, 64);
    const Vec3 eye{-150, -20, 60};
    test::LookAt(eye, {-150, 0, 0}, 30, 1, 1.0f, 100);
    const CFrustum frustum = BuildFrustum();
    CullStatistics statistics;
    Cull(*tree, eye, &frustum, statistics);
    EXPECT_GT(statistics.points, 0);
    EXPECT_LT(statistics.points, 60000);
    std::int64_t drawn = 0;
    Draw(*tree, nullptr, 0.0, true, drawn);
    // Without an eye every reached leaf is drawn in full.
    EXPECT_EQ(drawn, statistics.points);
    const std::vector<unsigned char> pixels = target.ReadPixels();
    // Outlines are magenta: some pixel must have full red and blue and no green.
    bool magenta = false;
    for (std::size_t p = 0; p + 2 < pixels.size(); p += 3)
    {
        magenta = magenta || (pixels[p] == 255 && pixels[p + 1] == 0 && pixels[p + 2] == 255);
    }
    EXPECT_TRUE(magenta);
}

// 400 points on a 20 x 20 grid half a metre apart, row by row from the south, in colourOf(k),
// as a tree with its colours.
template <typename ColourOf>
std::unique_ptr<CPointTree> GridTree(ColourOf&& colourOf)
{
    const CBoundingBox box = CBoundingBox::FromCorners({-10, -10, 0}, {10, 10, 1});
    Survey survey;
    for (int k = 0; k < 400; ++k)
    {
        const int column = k % 20;
        const int row = k / 20;
        survey.positions.insert(survey.positions.end(),
                                {-5.0f + static_cast<float>(column) * 0.5f,
                                 -5.0f + static_cast<float>(row) * 0.5f, 0.5f});
        const std::array<float, 3> colour = colourOf(k);
        survey.colors.insert(survey.colors.end(), colour.begin(), colour.end());
    }
    auto tree = BuildTree(survey, box);
    tree->UploadColors(survey.colors.data());
    return tree;
}

TEST(TreeDrawing, PointsAppearInTheirColours)
{
    auto tree = GridTree([](int) { return std::array<float, 3>{1.0f, 0.0f, 0.0f}; });
    test::OffscreenTarget target(32, 32);
    test::LookAt({0, -1, 30}, {0, 0, 0}, 45, 1, 0.1f, 100);
    std::int64_t drawn = 0;
    Draw(*tree, nullptr, 0.0, false, drawn);
    const std::vector<unsigned char> pixels = target.ReadPixels();
    const std::size_t centre = (std::size_t{16} * 32 + 16) * 3;
    int red = 0;
    for (std::size_t p = 0; p + 2 < pixels.size(); p += 3)
    {
        red += pixels[p] == 255 && pixels[p + 1] == 0 && pixels[p + 2] == 0 ? 1 : 0;
    }
    EXPECT_GT(red, 50);
    EXPECT_EQ(pixels[centre + 1], 0);
    EXPECT_EQ(drawn, 400);
}

// A grid of 400 points: the first 200 (the southern half) red of class 2, the others green of
// class 5; every fourth point is the last of three returns, the others single.
TEST(TreeDrawing, HiddenClassesAndReturnsAreNeitherDrawnNorFoundAndComeBackWhenShown)
{
    auto tree = GridTree(
        [](int k) {
            return std::array<float, 3>{k < 200 ? 1.0f : 0.0f, k < 200 ? 0.0f : 1.0f, 0.0f};
        });
    tree->SetKeys(
        [](std::int32_t j) {
            return MakePointKey(j < 200 ? 2 : 5,
                                j % 4 == 0 ? ReturnKind::Last : ReturnKind::Single);
        });
    test::OffscreenTarget target(32, 32);
    const auto frame = [&](int& red, int& green)
    {
        test::LookAt({0, -1, 30}, {0, 0, 0}, 45, 1, 0.1f, 100);
        std::int64_t drawn = 0;
        Draw(*tree, nullptr, 0.0, false, drawn);
        red = green = 0;
        const std::vector<unsigned char> pixels = target.ReadPixels();
        for (std::size_t p = 0; p + 2 < pixels.size(); p += 3)
        {
            red += pixels[p] == 255 && pixels[p + 1] == 0 ? 1 : 0;
            green += pixels[p] == 0 && pixels[p + 1] == 255 ? 1 : 0;
        }
        return drawn;
    };
    // Within 100 m of the planes x = 0 and y = 0: the whole grid, less what is hidden.
    const auto found = [&]
    {
        std::int32_t* indices = nullptr;
        const std::uint32_t n =
            tree->QuerySection({{1, 0, 0}, 0, {}}, 100.0f, {{0, 1, 0}, 0, {}}, 100.0f, &indices);
        std::set<std::int32_t> records(indices, indices + n);
        delete[] indices;
        return records;
    };
    int red = 0;
    int green = 0;

    PointFilter filter;
    filter.hiddenClasses.set(5);
    tree->ApplyFilter(&filter);
    EXPECT_EQ(frame(red, green), 200);
    EXPECT_GT(red, 50);
    EXPECT_EQ(green, 0);
    const std::set<std::int32_t> south = found();
    ASSERT_EQ(south.size(), 200u);
    EXPECT_EQ(*south.rbegin(), 199);

    // Last returns of class 2: j = 0, 4, ..., 196.
    filter.returns = ReturnFilter::Intermediate;
    tree->ApplyFilter(&filter);
    EXPECT_EQ(frame(red, green), 0);
    filter.hiddenClasses.reset();
    filter.returns = ReturnFilter::Last;
    tree->ApplyFilter(&filter);
    EXPECT_EQ(frame(red, green), 400);
    filter.returns = ReturnFilter::All;
    filter.hiddenClasses.set(2);
    tree->ApplyFilter(&filter);
    EXPECT_EQ(frame(red, green), 200);
    EXPECT_EQ(red, 0);

    // Shown again: everything is back, from the leaves' own buffers.
    tree->ApplyFilter(nullptr);
    EXPECT_EQ(frame(red, green), 400);
    EXPECT_GT(red, 50);
    EXPECT_GT(green, 50);
    EXPECT_EQ(found().size(), 400u);
    EXPECT_EQ(test::GLError(), 0);
}

} // namespace
} // namespace telvora
