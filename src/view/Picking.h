#pragma once

#include <cstdint>

#include "common/Geometry.h"
#include "view/GLContext.h"

namespace telvora
{

class CLasFileSet;
class CPointNode;
class CPointTree;
struct PointFilter;

// A picked point: the record index in its file and its scene position. index is -1 when nothing
// was picked.
struct LeafPick
{
    std::int32_t index = -1;
    Vec3 position;
};

// Below this distance from the ray's line a point is a candidate when the eye is near the leaf,
// and a candidate closer than kNearestPick along the ray is never picked (it would hide the view).
inline constexpr float kPickRadius = 0.2f;
inline constexpr float kNearestPick = 2.0f;

// The pick among a leaf's points (positions as x, y, z floats, the leaf's record indices beside
// them). Far from the leaf (the distance from its centre to the eye above the square root of its
// area) the point nearest the ray's line wins; near it, the candidates within kPickRadius of the
// line that lie ahead of the eye (their foot on the line in the ray's direction) and farther than
// kNearestPick along it compete, and the nearest to the eye wins. Pure: no GL.
LeafPick PickAmong(const CRay& ray, const float* positions, const std::int32_t* indices,
                   std::uint32_t count, const CBoundingBox& leafBox);

// Where the ray meets the horizontal plane through the box's mid-height; (0, 0, 0) when it runs
// parallel to it. The point may lie behind the eye.
Vec3 RayOnLeafPlane(const CRay& ray, const CBoundingBox& leafBox);

// The GL side, with the view's context current.

// The ray from the eye through client pixel (x, y): the pixel is unprojected at depth 0 and 1
// with the context's projection and the camera's model-view matrix; the origin is the eye and the
// length the far clipping distance.
CRay CursorRay(const CGLContext& context, int x, int y);

// PickAmong on a leaf's positions read back from its buffer; with a filter, among the points it
// shows only.
LeafPick PickInLeaf(const CRay& ray, const CPointNode& leaf, const PointFilter* filter = nullptr);

struct ScenePick
{
    std::int32_t file = -1;
    std::int32_t index = -1;
    Vec3 position;
};

// The nearest pick to the eye over the visible files, one leaf per file (the one the ray reaches
// nearest the eye); on equal distances the earlier file wins. file is -1 when nothing was hit.
ScenePick PickScene(const CRay& ray, const CLasFileSet& set, CPointTree* const* trees);

// The scene point under the ray: on the leaf plane of the first visible file whose tree the ray
// reaches; (0, 0, 0) when none does.
Vec3 ScenePointOnRay(const CRay& ray, const CLasFileSet& set, CPointTree* const* trees);

} // namespace telvora
