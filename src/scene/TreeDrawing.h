#pragma once

#include <cstdint>

#include "common/Geometry.h"
#include "scene/PointTree.h"

namespace telvora
{

// The six clip planes left, right, top, bottom, near, far, unnormalised: a point is on the inner
// side when Dot(normal, p) + offset >= 0.
struct CFrustum
{
    CPlane planes[6];
};

// What culling gathers over every visible file in one frame. The point count is 64-bit: fifty
// files of tens of millions of points would overflow 32 bits and turn the level of detail upside
// down.
struct CullStatistics
{
    std::int64_t points = 0;
    std::int32_t leaves = 0;
    float distanceSum = 0.0f;
};

// The frame's point budget: above it the level of detail thins the leaves out.
constexpr double kPointBudget = 5000000.0;

// The frustum of the clip matrix projection × modelView (both column-major, as OpenGL keeps
// them).
CFrustum FrustumFromMatrices(const float projection[16], const float modelView[16]);

// The frustum of the current context's projection and model-view matrices.
CFrustum BuildFrustum();

// 0: the box lies outside, 1: it crosses the frustum's boundary, 2: it lies inside.
int ClassifyBox(const CFrustum& frustum, const CBoundingBox& box);

// Classifies the tree's inner nodes against the frustum (none: everything is inside) and counts
// the leaves below the visible ones. Leaves themselves are never tested.
void Cull(CPointTree& tree, const Vec3& eye, const CFrustum* frustum, CullStatistics& statistics);

// k of the level of detail: a leaf at distance d draws the fraction k·d + 1 of its points.
// Negative when the culled leaves hold more points than the budget; not finite when no leaf
// was counted (nothing is drawn then).
double LodFactor(const CullStatistics& statistics);

// The fraction of a leaf drawn at the given distance: 1 above 0.85, never below 0.05. Without an
// eye every leaf is drawn in full.
float LeafFraction(double k, float distance);

// Draws the leaves reached through nodes whose state is not 0 and adds the number of points
// drawn to drawnPoints. Outlines draw every reached leaf's box in magenta. A share below 1 draws
// that part of every leaf's count (truncated): since the leaves' points are shuffled, a uniform
// sample of the full picture, for frames drawn while the camera moves.
void Draw(const CPointTree& tree, const Vec3* eye, double k, bool outlines,
          std::int64_t& drawnPoints, float share = 1.0f);

// The number of points Draw would draw with a share of 1, without drawing.
std::int64_t CountDrawn(const CPointTree& tree, const Vec3* eye, double k);

} // namespace telvora
