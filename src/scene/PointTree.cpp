#include "scene/PointTree.h"

#include <GL/glew.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace telvora
{

namespace
{

// A leaf's first index array is small: most leaves of a survey end up far from full, and the
// arrays of a split leaf's children would otherwise take four full leaves' room.
constexpr std::uint32_t kFirstCapacity = 256;

// SplitMix64: fast, and good enough to order the points of a leaf; the standard engines cost
// several times more per draw.
class ShuffleRandom
{
public:
    explicit ShuffleRandom(std::uint64_t seed)
        : state(seed)
    {
    }

    std::uint64_t Next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A value below bound, by multiply-and-shift; the bias is far below anything visible.
    std::uint32_t Below(std::uint32_t bound)
    {
        return static_cast<std::uint32_t>(((Next() >> 32) * bound) >> 32);
    }

private:
    std::uint64_t state;
};

std::int32_t* GrowIndices(std::int32_t* indices, std::uint32_t capacity)
{
    void* grown = std::realloc(indices, sizeof(std::int32_t) * capacity);
    if (grown == nullptr)
    {
        throw std::bad_alloc();
    }
    return static_cast<std::int32_t*>(grown);
}

// A height that is no number (a damaged scale or offset) widens nothing, and a range that is
// none yet takes the first height that is: otherwise one such point would leave its leaf
// without a height range, and culling would judge the leaf's other points by it.
void WidenZ(CBoundingBox& box, float z)
{
    if (std::isnan(z))
    {
        return;
    }
    if (z < box.minimum.z || std::isnan(box.minimum.z))
    {
        box.minimum.z = z;
    }
    if (z > box.maximum.z || std::isnan(box.maximum.z))
    {
        box.maximum.z = z;
    }
}

// Splitting only helps when the centre separates something on at least one axis; in a cell
// narrower than float resolution every point would land in the same child again.
bool CanSplit(const CPointNode& leaf)
{
    if (leaf.depth >= CPointTree::kMaxDepth)
    {
        return false;
    }
    const CBoundingBox& b = leaf.box;
    const bool xSplits = b.minimum.x < b.centre.x && b.centre.x < b.maximum.x;
    const bool ySplits = b.minimum.y < b.centre.y && b.centre.y < b.maximum.y;
    return xSplits || ySplits;
}

// Children 0 to 3 are the quadrants upper right, upper left, lower left, lower right.
int Quadrant(const CPointNode& node, float x, float y)
{
    const bool right = x >= node.box.centre.x;
    const bool top = y >= node.box.centre.y;
    if (top)
    {
        return right ? 0 : 1;
    }
    return right ? 3 : 2;
}

template <typename Visit>
void VisitLeaves(CPointNode* node, Visit& visit)
{
    if (node->IsLeaf())
    {
        visit(*node);
        return;
    }
    for (CPointNode* child : node->children)
    {
        VisitLeaves(child, visit);
    }
}

} // namespace

CPointNode::~CPointNode()
{
    for (CPointNode*& child : children)
    {
        delete child;
        child = nullptr;
    }
    if (buffer != nullptr)
    {
        glDeleteBuffers(1, &buffer->name);
        delete buffer;
        buffer = nullptr;
    }
    if (elements != 0)
    {
        glDeleteBuffers(1, &elements);
        elements = 0;
    }
    delete[] keys;
    keys = nullptr;
    std::free(indices);
    indices = nullptr;
}

CPointTree::CPointTree(const CBoundingBox& fileBox)
    : box(fileBox)
{
    // One point, identical points, a line or a column have a box without area. They still get a
    // cell, a little wider than the data on each flat axis, so that they are drawn and picked.
    for (int axis = 0; axis < 2; ++axis)
    {
        float& low = box.minimum[axis];
        float& high = box.maximum[axis];
        if (low == high && std::isfinite(low))
        {
            const float step = std::nextafter(std::fabs(low), INFINITY) - std::fabs(low);
            const float margin = std::max(kFlatMargin, 4.0f * step);
            low -= margin;
            high += margin;
        }
    }
    box.UpdateCentre();
    const float dx = box.maximum.x - box.minimum.x;
    const float dy = box.maximum.y - box.minimum.y;
    // A box with NaNs in it, or inverted, gets no cells and stores nothing.
    if (!(dx > 0.0f) || !(dy > 0.0f) || !std::isfinite(dx) || !std::isfinite(dy))
    {
        return;
    }
    cellAxis = dy > dx ? 1 : 0;
    const float ratio = cellAxis == 1 ? dy / dx : dx / dy;
    cellCount = ratio >= static_cast<float>(kMaxRootCells)
                    ? kMaxRootCells
                    : std::max<std::uint32_t>(1, static_cast<std::uint32_t>(ratio));
    cellStep = (cellAxis == 1 ? dy : dx) / static_cast<float>(cellCount);

    rootCells = new CPointNode[cellCount];
    CBoundingBox cell;
    cell.minimum = {box.minimum.x, box.minimum.y, 0.0f};
    cell.maximum = {box.maximum.x, box.maximum.y, 0.0f};
    cell.maximum[cellAxis] = box.minimum[cellAxis] + cellStep;
    cell.UpdateCentre();
    Vec3 step;
    step[cellAxis] = cellStep;
    for (std::uint32_t i = 0; i < cellCount; ++i)
    {
        rootCells[i].box = cell;
        // A running sum, so that each cell starts exactly where the one before ends.
        cell.minimum = cell.minimum + step;
        cell.maximum = cell.maximum + step;
        cell.centre = cell.centre + step;
    }
    // The sum of the steps rounds away from the box's edge; the last cell ends on it so that the
    // points on the edge are stored.
    rootCells[cellCount - 1].box.maximum[cellAxis] = box.maximum[cellAxis];
}

CPointTree::~CPointTree()
{
    delete[] rootCells;
}

CPointNode* CPointTree::FindRootCell(float x, float y) const
{
    if (cellCount == 0)
    {
        return nullptr;
    }
    const float along = cellAxis == 0 ? x : y;
    const float across = cellAxis == 0 ? y : x;
    const int acrossAxis = 1 - cellAxis;
    // Written so that NaN fails every test.
    if (!(across >= box.minimum[acrossAxis] && across <= box.maximum[acrossAxis]) ||
        !(along >= box.minimum[cellAxis] && along <= box.maximum[cellAxis]))
    {
        return nullptr;
    }
    const float estimate = (along - box.minimum[cellAxis]) / cellStep;
    std::uint32_t i = estimate >= static_cast<float>(cellCount)
                          ? cellCount - 1
                          : static_cast<std::uint32_t>(std::max(estimate, 0.0f));
    while (i > 0 && along < rootCells[i].box.minimum[cellAxis])
    {
        --i;
    }
    while (i + 1 < cellCount && along >= rootCells[i].box.maximum[cellAxis])
    {
        ++i;
    }
    return &rootCells[i];
}

void CPointTree::Insert(const float* positions, std::int32_t j)
{
    const float* p = positions + 3 * static_cast<std::size_t>(j);
    CPointNode* cell = FindRootCell(p[0], p[1]);
    if (cell != nullptr)
    {
        InsertFrom(cell, positions, j);
    }
}

void CPointTree::InsertFrom(CPointNode* node, const float* positions, std::int32_t j)
{
    const float* p = positions + 3 * static_cast<std::size_t>(j);
    const float x = p[0];
    const float y = p[1];
    const float z = p[2];
    for (;;)
    {
        while (!node->IsLeaf())
        {
            WidenZ(node->box, z);
            node = node->children[Quadrant(*node, x, y)];
        }
        if (node->indices == nullptr)
        {
            node->indices = GrowIndices(nullptr, kFirstCapacity);
            node->capacity = kFirstCapacity;
            node->count = 0;
            node->box.minimum.z = z;
            node->box.maximum.z = z;
        }
        WidenZ(node->box, z);
        if (node->count >= CPointNode::kLeafCapacity && CanSplit(*node))
        {
            Split(node, positions);
            continue; // the node is inner now: j goes down to a child
        }
        if (node->count == node->capacity)
        {
            const std::uint32_t grown =
                node->capacity < CPointNode::kLeafCapacity
                    ? std::min(node->capacity * 2, CPointNode::kLeafCapacity)
                    : node->capacity + node->capacity / 2;
            node->indices = GrowIndices(node->indices, grown);
            node->capacity = grown;
        }
        node->indices[node->count++] = j;
        return;
    }
}

void CPointTree::Split(CPointNode* leaf, const float* positions)
{
    const CBoundingBox& b = leaf->box;
    const float cx = b.centre.x;
    const float cy = b.centre.y;
    const Vec3 low[4] = {{cx, cy, b.minimum.z},
                         {b.minimum.x, cy, b.minimum.z},
                         {b.minimum.x, b.minimum.y, b.minimum.z},
                         {cx, b.minimum.y, b.minimum.z}};
    const Vec3 high[4] = {{b.maximum.x, b.maximum.y, b.maximum.z},
                          {cx, b.maximum.y, b.maximum.z},
                          {cx, cy, b.maximum.z},
                          {b.maximum.x, cy, b.maximum.z}};
    for (int q = 0; q < 4; ++q)
    {
        CPointNode* child = new CPointNode;
        child->parent = leaf;
        child->depth = leaf->depth + 1;
        child->box.minimum = low[q];
        child->box.maximum = high[q];
        child->box.UpdateCentre();
        leaf->children[q] = child;
    }
    std::int32_t* stored = leaf->indices;
    const std::uint32_t storedCount = leaf->count;
    leaf->indices = nullptr;
    leaf->count = 0;
    leaf->capacity = 0;
    for (std::uint32_t k = 0; k < storedCount; ++k)
    {
        InsertFrom(leaf, positions, stored[k]);
    }
    std::free(stored);
}

void CPointTree::CreateBuffers()
{
    const std::uint64_t seed = shuffleSeed.value_or(
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    ShuffleRandom random(seed);
    ForEachNode(
        [&](CPointNode& node)
        {
            node.box.UpdateCentre();
            if (!node.IsLeaf() || node.count == 0)
            {
                return;
            }
            // The leaf is complete: its array shrinks to what it holds.
            if (node.capacity > node.count)
            {
                node.indices = GrowIndices(node.indices, node.count);
                node.capacity = node.count;
            }
            // Fisher-Yates, so that every prefix of the buffer is a uniform sample of the leaf,
            // which the level of detail relies on when it draws only the first points.
            for (std::uint32_t k = node.count - 1; k > 0; --k)
            {
                const std::uint32_t other = random.Below(k + 1);
                std::swap(node.indices[k], node.indices[other]);
            }
            node.buffer = new CNodeBuffer;
            node.buffer->count = static_cast<std::int32_t>(node.count);
            glGenBuffers(1, &node.buffer->name);
            glBindBuffer(GL_ARRAY_BUFFER, node.buffer->name);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(24) * node.count, nullptr,
                         GL_STATIC_DRAW);
        });
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

namespace
{

// Gathers three floats per point of the leaf, in buffer order, from a per-record array and
// writes them at the given byte offset of the leaf's buffer.
void UploadHalf(const CPointNode& leaf, const float* perRecord, bool colourHalf,
                std::vector<float>& gathered)
{
    const std::uint32_t n = leaf.count;
    gathered.resize(3 * static_cast<std::size_t>(n));
    float* out = gathered.data();
    for (std::uint32_t k = 0; k < n; ++k)
    {
        const float* in = perRecord + 3 * static_cast<std::size_t>(leaf.indices[k]);
        float* at = out + 3 * static_cast<std::size_t>(k);
        at[0] = in[0];
        at[1] = in[1];
        at[2] = in[2];
    }
    const GLsizeiptr size = static_cast<GLsizeiptr>(12) * n;
    glBindBuffer(GL_ARRAY_BUFFER, leaf.buffer->name);
    glBufferSubData(GL_ARRAY_BUFFER, colourHalf ? size : 0, size, out);
}

} // namespace

void CPointTree::UploadPositions(const float* positions)
{
    std::vector<float> gathered;
    auto upload = [&](CPointNode& leaf)
    {
        if (leaf.count == 0)
        {
            leaf.box.minimum.z = 0.0f;
            leaf.box.maximum.z = 0.0f;
            return;
        }
        if (leaf.buffer != nullptr)
        {
            UploadHalf(leaf, positions, false, gathered);
        }
    };
    for (std::uint32_t i = 0; i < cellCount; ++i)
    {
        VisitLeaves(&rootCells[i], upload);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CPointTree::UploadColors(const float* colors)
{
    std::vector<float> gathered;
    auto upload = [&](CPointNode& leaf)
    {
        if (leaf.count > 0 && leaf.buffer != nullptr)
        {
            UploadHalf(leaf, colors, true, gathered);
        }
    };
    for (std::uint32_t i = 0; i < cellCount; ++i)
    {
        VisitLeaves(&rootCells[i], upload);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CPointTree::WriteColorHalf(const CPointNode& leaf, const float* colors)
{
    const GLsizeiptr size = static_cast<GLsizeiptr>(12) * leaf.count;
    glBindBuffer(GL_ARRAY_BUFFER, leaf.buffer->name);
    glBufferSubData(GL_ARRAY_BUFFER, size, size, colors);
}

void CPointTree::UnbindBuffers()
{
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CPointTree::RefreshShown(CPointNode& leaf, std::vector<std::uint32_t>& scratch) const
{
    static_assert(sizeof(GLuint) == sizeof(std::uint32_t));
    scratch.clear();
    for (std::uint32_t k = 0; k < leaf.count; ++k)
    {
        if (leaf.Shows(&filter, k))
        {
            scratch.push_back(k);
        }
    }
    leaf.shown = static_cast<std::uint32_t>(scratch.size());
    if (leaf.elements == 0)
    {
        glGenBuffers(1, &leaf.elements);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, leaf.elements);
    leaf.shortElements = leaf.count <= 65536;
    if (leaf.shortElements)
    {
        const std::vector<GLushort> narrow(scratch.begin(), scratch.end());
        glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                     static_cast<GLsizeiptr>(sizeof(GLushort) * narrow.size()), narrow.data(),
                     GL_STATIC_DRAW);
        return;
    }
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(GLuint) * scratch.size()),
                 scratch.data(), GL_STATIC_DRAW);
}

void CPointTree::ApplyFilter(const PointFilter* newFilter)
{
    filtered = newFilter != nullptr && !newFilter->ShowsAll();
    if (filtered)
    {
        filter = *newFilter;
    }
    std::vector<std::uint32_t> scratch;
    ForEachNode(
        [&](CPointNode& node)
        {
            if (!node.IsLeaf() || node.buffer == nullptr)
            {
                return;
            }
            if (filtered)
            {
                RefreshShown(node, scratch);
                return;
            }
            if (node.elements != 0)
            {
                glDeleteBuffers(1, &node.elements);
                node.elements = 0;
            }
            node.shown = node.count;
        });
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void CPointTree::ChangeClasses(const std::uint32_t* records, const std::uint8_t* from,
                               const std::uint8_t* to, std::size_t n, unsigned format)
{
    for (std::size_t k = 0; k < n; ++k)
    {
        --classCounts[ClassCodeOf(from[k], format)];
        ++classCounts[ClassCodeOf(to[k], format)];
    }
    std::vector<std::uint32_t> scratch;
    ForEachNode(
        [&](CPointNode& node)
        {
            if (!node.IsLeaf() || node.keys == nullptr)
            {
                return;
            }
            bool changed = false;
            for (std::uint32_t k = 0; k < node.count; ++k)
            {
                const auto record = static_cast<std::uint32_t>(node.indices[k]);
                const std::uint32_t* at = std::lower_bound(records, records + n, record);
                if (at != records + n && *at == record)
                {
                    const std::uint8_t code = ClassCodeOf(to[at - records], format);
                    node.keys[k] = static_cast<PointKey>((node.keys[k] & 0xFF00u) | code);
                    changed = true;
                }
            }
            if (changed && filtered && node.buffer != nullptr)
            {
                RefreshShown(node, scratch);
            }
        });
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

float* CPointTree::ReadBackPositions(const CPointNode& leaf)
{
    if (leaf.buffer == nullptr || leaf.count == 0)
    {
        return nullptr;
    }
    const std::size_t floats = 3 * static_cast<std::size_t>(leaf.count);
    glBindBuffer(GL_ARRAY_BUFFER, leaf.buffer->name);
    const void* mapped = glMapBuffer(GL_ARRAY_BUFFER, GL_READ_ONLY);
    if (mapped == nullptr)
    {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        return nullptr;
    }
    float* copy = new float[floats];
    std::memcpy(copy, mapped, floats * sizeof(float));
    glUnmapBuffer(GL_ARRAY_BUFFER);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return copy;
}

bool RayHitsBox(const CRay& ray, const CBoundingBox& box)
{
    bool inside = true;
    float candidate[3] = {};
    bool middle[3] = {};
    for (int axis = 0; axis < 3; ++axis)
    {
        middle[axis] = false;
        if (ray.origin[axis] < box.minimum[axis])
        {
            candidate[axis] = box.minimum[axis];
            inside = false;
        }
        else if (ray.origin[axis] > box.maximum[axis])
        {
            candidate[axis] = box.maximum[axis];
            inside = false;
        }
        else
        {
            middle[axis] = true;
        }
    }
    if (inside)
    {
        return true;
    }
    float t[3];
    for (int axis = 0; axis < 3; ++axis)
    {
        t[axis] = !middle[axis] && ray.direction[axis] != 0.0f
                      ? (candidate[axis] - ray.origin[axis]) / ray.direction[axis]
                      : -1.0f;
    }
    int chosen = 0;
    for (int axis = 1; axis < 3; ++axis)
    {
        if (t[axis] > t[chosen])
        {
            chosen = axis;
        }
    }
    if (t[chosen] < 0.0f)
    {
        return false;
    }
    constexpr float kEpsilon = 0.000001f;
    for (int axis = 0; axis < 3; ++axis)
    {
        if (axis == chosen)
        {
            continue;
        }
        const float c = ray.origin[axis] + t[chosen] * ray.direction[axis];
        if (c < box.minimum[axis] - kEpsilon || c > box.maximum[axis] + kEpsilon)
        {
            return false;
        }
    }
    return true;
}

bool PlaneMeetsBox(const CPlane& plane, const CBoundingBox& box)
{
    Vec3 nearCorner;
    Vec3 farCorner;
    for (int axis = 0; axis < 3; ++axis)
    {
        const bool positive = plane.normal[axis] >= 0.0f;
        nearCorner[axis] = positive ? box.minimum[axis] : box.maximum[axis];
        farCorner[axis] = positive ? box.maximum[axis] : box.minimum[axis];
    }
    return plane.SignedDistance(nearCorner) <= 0.0f && plane.SignedDistance(farCorner) >= 0.0f;
}

namespace
{

void CollectPickLeaves(CPointNode* node, const CRay& ray, CPointNode*& best, float& bestDistance)
{
    if (node->IsLeaf())
    {
        const float distance = Distance(node->box.centre, ray.origin);
        if (best == nullptr || distance < bestDistance)
        {
            best = node;
            bestDistance = distance;
        }
        return;
    }
    for (CPointNode* child : node->children)
    {
        if (RayHitsBox(ray, child->box))
        {
            CollectPickLeaves(child, ray, best, bestDistance);
        }
    }
}

template <typename OnLeaf>
void VisitSectionLeaves(CPointNode* node, const CPlane& plane, OnLeaf& onLeaf)
{
    if (node->IsLeaf())
    {
        if (node->count > 0)
        {
            onLeaf(*node);
        }
        return;
    }
    for (CPointNode* child : node->children)
    {
        if (PlaneMeetsBox(plane, child->box))
        {
            VisitSectionLeaves(child, plane, onLeaf);
        }
    }
}

} // namespace

CPointNode* CPointTree::FindPickLeaf(const CRay& ray) const
{
    if (!RayHitsBox(ray, box))
    {
        return nullptr;
    }
    CPointNode* best = nullptr;
    float bestDistance = 0.0f;
    for (std::uint32_t i = 0; i < cellCount; ++i)
    {
        if (RayHitsBox(ray, rootCells[i].box))
        {
            CollectPickLeaves(&rootCells[i], ray, best, bestDistance);
        }
    }
    return best;
}

std::uint32_t CPointTree::QuerySection(const CPlane& planeA, float limitA, const CPlane& planeB,
                                       float limitB, std::int32_t** result) const
{
    *result = nullptr;
    if (!PlaneMeetsBox(planeA, box))
    {
        return 0;
    }
    auto passes = [&](const float* p)
    {
        const Vec3 point{p[0], p[1], p[2]};
        return std::fabs(planeA.SignedDistance(point)) <= limitA &&
               std::fabs(planeB.SignedDistance(point)) <= limitB;
    };
    // Two passes over the same leaves, each holding one leaf's positions at a time, rather than a
    // growing list: a section through a large survey may hold millions of points.
    auto search = [&](auto&& onLeaf)
    {
        for (std::uint32_t i = 0; i < cellCount; ++i)
        {
            if (PlaneMeetsBox(planeA, rootCells[i].box))
            {
                VisitSectionLeaves(&rootCells[i], planeA, onLeaf);
            }
        }
    };
    std::uint32_t total = 0;
    auto count = [&](const CPointNode& leaf)
    {
        float* positions = ReadBackPositions(leaf);
        if (positions == nullptr)
        {
            return;
        }
        for (std::uint32_t k = 0; k < leaf.count; ++k)
        {
            total += leaf.Shows(Filter(), k) && passes(positions + 3 * static_cast<std::size_t>(k))
                         ? 1
                         : 0;
        }
        delete[] positions;
    };
    search(count);
    if (total == 0)
    {
        return 0;
    }
    std::int32_t* found = new std::int32_t[total];
    std::uint32_t filled = 0;
    auto fill = [&](const CPointNode& leaf)
    {
        float* positions = ReadBackPositions(leaf);
        if (positions == nullptr)
        {
            return;
        }
        for (std::uint32_t k = 0; k < leaf.count && filled < total; ++k)
        {
            if (leaf.Shows(Filter(), k) && passes(positions + 3 * static_cast<std::size_t>(k)))
            {
                found[filled++] = leaf.indices[k];
            }
        }
        delete[] positions;
    };
    search(fill);
    *result = found;
    // Equal unless a buffer could be read in one pass but not in the other.
    return filled;
}

} // namespace telvora
