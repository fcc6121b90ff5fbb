#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/Geometry.h"
#include "scene/PointFilter.h"

namespace telvora
{

// A leaf's vertex buffer: n positions (x, y, z floats) followed by n colours (r, g, b floats).
struct CNodeBuffer
{
    std::uint32_t name = 0;
    std::int32_t count = 0;
};

// A cell of the two-dimensional tree. Inner nodes have four children, numbered by quadrant
// around the centre: 0 upper right, 1 upper left, 2 lower left, 3 lower right. Only leaves hold
// record indices and a buffer. The z range of a node spans the heights of the points that passed
// through it.
class CPointNode
{
public:
    // A leaf splits when a point would make it hold more than this many.
    static constexpr std::uint32_t kLeafCapacity = 10000;

    CPointNode() = default;
    ~CPointNode();
    CPointNode(const CPointNode&) = delete;
    CPointNode& operator=(const CPointNode&) = delete;

    bool IsLeaf() const { return children[0] == nullptr; }

    CPointNode* parent = nullptr;
    CPointNode* children[4] = {};
    CBoundingBox box;
    std::int32_t state = 2;
    std::uint32_t count = 0;
    std::int32_t* indices = nullptr;
    CNodeBuffer* buffer = nullptr;

    // Bookkeeping of the index array: it grows with the leaf instead of taking room for a full
    // leaf at the first point, and the depth bounds how often points that share a position can
    // make a leaf split.
    std::uint32_t capacity = 0;
    std::uint32_t depth = 0;

    // Filtering: each stored point's key in buffer order (SetKeys), and while the tree is
    // filtered an element buffer of the shown points' buffer positions, in buffer order, so that
    // any prefix of it is still a uniform sample of the shown points.
    PointKey* keys = nullptr;
    std::uint32_t elements = 0;
    std::uint32_t shown = 0;
    // Leaves of up to 65,536 points (all but those grown past splitting) index with 16 bits: half
    // the index traffic of every filtered frame.
    bool shortElements = false;

    // What the frame draws from: the shown points while the tree is filtered, else all.
    std::uint32_t DrawnCount(bool filtered) const { return filtered ? shown : count; }
    // Whether the point at buffer position k is shown under the filter.
    bool Shows(const PointFilter* filter, std::uint32_t k) const
    {
        return filter == nullptr || keys == nullptr || filter->Shows(keys[k]);
    }
};

// The spatial index of one file's points in scene coordinates: a row of root cells along the
// longer horizontal side of the file's box, each a quadtree whose leaves keep their points in
// randomly ordered vertex buffers.
//
// Containment: a cell holds the points with minimum <= x < maximum and minimum <= y < maximum,
// and the tree box's own maximum edges belong to the cells on them, so every point inside or on
// the box is stored exactly once. Points outside the box are not stored.
class CPointTree
{
public:
    // Root cells are capped so that an extremely thin box cannot ask for millions of them; the
    // cells then get longer than wide, which costs nothing but a few more splits.
    static constexpr std::uint32_t kMaxRootCells = 4096;
    // Half the width given to a box that is flat in x or y (a millimetre, or more where floats
    // are coarser at the data's distance from the scene's centre).
    static constexpr float kFlatMargin = 0.001f;
    // Below this depth a full leaf no longer splits but grows: points sharing a position (more
    // than a leaf holds) would otherwise split it forever.
    static constexpr std::uint32_t kMaxDepth = 24;

    explicit CPointTree(const CBoundingBox& fileBox);
    ~CPointTree();
    CPointTree(const CPointTree&) = delete;
    CPointTree& operator=(const CPointTree&) = delete;

    // Inserts record j, whose scene position is positions[3j .. 3j + 2].
    void Insert(const float* positions, std::int32_t j);

    // Recomputes every centre, shuffles every leaf's indices and creates the buffers of the
    // non-empty leaves. Needs a current OpenGL context, like everything below that touches
    // buffers. The shuffle is seeded from the clock unless a seed was set.
    void CreateBuffers();
    void SetShuffleSeed(std::uint64_t seed) { shuffleSeed = seed; }

    void UploadPositions(const float* positions);
    // colours: three floats per record of the file.
    void UploadColors(const float* colors);

    // Writes the colour half of every leaf from colourOf(record index, rgb), without a colour
    // array for the whole file: only the stored points are coloured, and their attributes are
    // gathered directly. progress(points done, points stored) follows each leaf.
    template <typename ColourOf, typename Progress>
    void UploadColorsWith(ColourOf&& colourOf, Progress&& progress)
    {
        std::uint64_t total = 0;
        ForEachNode([&](const CPointNode& node)
                    { total += node.buffer != nullptr ? node.count : 0; });
        std::uint64_t done = 0;
        float* gathered = nullptr;
        std::uint32_t room = 0;
        ForEachNode(
            [&](const CPointNode& node)
            {
                if (node.buffer == nullptr || node.count == 0)
                {
                    return;
                }
                if (room < node.count)
                {
                    delete[] gathered;
                    room = node.count;
                    gathered = new float[3 * static_cast<std::size_t>(room)];
                }
                for (std::uint32_t k = 0; k < node.count; ++k)
                {
                    colourOf(node.indices[k], gathered + 3 * static_cast<std::size_t>(k));
                }
                WriteColorHalf(node, gathered);
                done += node.count;
                progress(done, total);
            });
        delete[] gathered;
        UnbindBuffers();
    }

    // The leaf's positions in buffer order, new[]-allocated for the caller; none when the leaf
    // has no buffer or the buffer cannot be mapped.
    static float* ReadBackPositions(const CPointNode& leaf);

    // The leaf nearest the ray's origin among the leaves whose boxes (and whose ancestors' boxes)
    // the ray hits; none when it misses the tree.
    CPointNode* FindPickLeaf(const CRay& ray) const;

    // Counts the shown stored points within limitA of plane A and within limitB of plane B and,
    // when there are any, hands out a new[]-allocated array of their record indices.
    std::uint32_t QuerySection(const CPlane& planeA, float limitA, const CPlane& planeB,
                               float limitB, std::int32_t** result) const;

    // Each stored point's key from keyOf(record index), kept in buffer order for filtering. After
    // CreateBuffers.
    template <typename KeyOf>
    void SetKeys(KeyOf&& keyOf)
    {
        ForEachNode(
            [&](CPointNode& node)
            {
                if (!node.IsLeaf() || node.count == 0)
                {
                    return;
                }
                delete[] node.keys;
                node.keys = new PointKey[node.count];
                for (std::uint32_t k = 0; k < node.count; ++k)
                {
                    node.keys[k] = keyOf(node.indices[k]);
                }
            });
    }

    // Shows only what the filter shows, from the next frame, search and pick on: every leaf gets
    // an element buffer of its shown points. None, or a filter that shows everything, draws the
    // leaves' buffers whole again. Needs the context current.
    void ApplyFilter(const PointFilter* filter);
    // After the classification bytes of records (ascending) changed from `from` to `to` in the
    // file (of the given point format): the counts by class, the stored points' keys and, while
    // filtered, the shown points of the leaves that hold them follow. Needs the context current.
    void ChangeClasses(const std::uint32_t* records, const std::uint8_t* from,
                       const std::uint8_t* to, std::size_t n, unsigned format);

    // The filter in effect; none while everything is shown.
    const PointFilter* Filter() const { return filtered ? &filter : nullptr; }

    // Calls visit(node) for every node, depth first, root cells in order, children 0 to 3.
    template <typename Visit>
    void ForEachNode(Visit&& visit) const
    {
        for (std::uint32_t i = 0; i < cellCount; ++i)
        {
            VisitNode(&rootCells[i], visit);
        }
    }

    CPointNode* rootCells = nullptr;
    CBoundingBox box;
    std::uint32_t cellCount = 0;
    // Records of the file by class code: all of them, not only those stored.
    std::array<std::uint64_t, 256> classCounts{};

private:
    template <typename Visit>
    static void VisitNode(CPointNode* node, Visit& visit)
    {
        visit(*node);
        if (!node->IsLeaf())
        {
            for (CPointNode* child : node->children)
            {
                VisitNode(child, visit);
            }
        }
    }

    static void WriteColorHalf(const CPointNode& leaf, const float* colors);
    // The leaf's element buffer of the points the filter shows.
    void RefreshShown(CPointNode& leaf, std::vector<std::uint32_t>& scratch) const;
    static void UnbindBuffers();
    CPointNode* FindRootCell(float x, float y) const;
    void InsertFrom(CPointNode* node, const float* positions, std::int32_t j);
    void Split(CPointNode* leaf, const float* positions);

    int cellAxis = 0;
    float cellStep = 0.0f;
    std::optional<std::uint64_t> shuffleSeed;
    PointFilter filter;
    bool filtered = false;
};

// Whether the half-line meets the box (candidate-plane test with a small tolerance on the
// two other axes).
bool RayHitsBox(const CRay& ray, const CBoundingBox& box);

// Whether the plane passes through the box: its nearest corner lies on or below the plane and its
// farthest on or above.
bool PlaneMeetsBox(const CPlane& plane, const CBoundingBox& box);

} // namespace telvora
