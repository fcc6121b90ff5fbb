// libFuzzer target: the point tree built from any box and any positions, without a GL context
// (the constructor and Insert make no GL call; no buffers are created). The bytes are a box
// (minimum x, y, z, maximum x, y, z as floats) and runs of points: a start (x, y, z), a step in
// x and y, and a count byte, so that a short input can fill leaves past their capacity, stack
// identical positions, or line points up on cell edges. A crash, a sanitizer report, a hang, a
// point inside the box that is not stored exactly once, one outside it that is stored, or a
// point stored in a leaf whose box does not hold it is a finding.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzRequire.h"
#include "scene/PointTree.h"

namespace
{

using namespace telvora;

// Enough for leaves to split several times over, few enough to keep a run fast.
constexpr std::size_t kMaxPoints = 60000;
constexpr std::size_t kPointsPerCount = 64;

float FloatAt(const std::uint8_t* bytes)
{
    float value = 0.0f;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

bool InsideOrOn(const CBoundingBox& box, float x, float y)
{
    return x >= box.minimum.x && x <= box.maximum.x && y >= box.minimum.y && y <= box.maximum.y;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kBoxBytes = 24;
    constexpr std::size_t kRunBytes = 21;
    if (size < kBoxBytes)
    {
        return 0;
    }
    CBoundingBox box;
    for (int axis = 0; axis < 3; ++axis)
    {
        box.minimum[axis] = FloatAt(data + 4 * axis);
        box.maximum[axis] = FloatAt(data + 12 + 4 * axis);
    }
    box.UpdateCentre();

    std::vector<float> positions;
    for (std::size_t at = kBoxBytes; at + kRunBytes <= size; at += kRunBytes)
    {
        const std::uint8_t* run = data + at;
        const std::size_t count = 1 + std::size_t{run[20]} * kPointsPerCount;
        for (std::size_t k = 0; k < count && positions.size() < 3 * kMaxPoints; ++k)
        {
            const auto steps = static_cast<float>(k);
            positions.push_back(FloatAt(run) + steps * FloatAt(run + 12));
            positions.push_back(FloatAt(run + 4) + steps * FloatAt(run + 16));
            positions.push_back(FloatAt(run + 8));
        }
    }
    const std::size_t points = positions.size() / 3;

    CPointTree tree(box);
    for (std::size_t j = 0; j < points; ++j)
    {
        tree.Insert(positions.data(), static_cast<std::int32_t>(j));
    }

    std::vector<std::uint8_t> seen(points, 0);
    tree.ForEachNode(
        [&](const CPointNode& node)
        {
            if (!node.IsLeaf())
            {
                TELVORA_REQUIRE(node.count == 0 && node.indices == nullptr);
                return;
            }
            TELVORA_REQUIRE(node.count <= node.capacity);
            for (std::uint32_t k = 0; k < node.count; ++k)
            {
                const std::int32_t j = node.indices[k];
                TELVORA_REQUIRE(j >= 0 && static_cast<std::size_t>(j) < points && seen[j] == 0);
                seen[j] = 1;
                const float* p = positions.data() + 3 * static_cast<std::size_t>(j);
                TELVORA_REQUIRE(InsideOrOn(node.box, p[0], p[1]));
                // A height that is no number has no place in a range.
                TELVORA_REQUIRE(std::isnan(p[2]) ||
                                (p[2] >= node.box.minimum.z && p[2] <= node.box.maximum.z));
            }
        });
    for (std::size_t j = 0; j < points; ++j)
    {
        const float* p = positions.data() + 3 * j;
        const bool expected = tree.cellCount > 0 && InsideOrOn(tree.box, p[0], p[1]);
        TELVORA_REQUIRE(seen[j] == (expected ? 1 : 0));
    }
    return 0;
}
