#pragma once

#include <cstdint>

#include "common/Geometry.h"
#include "view/Camera.h"
#include "view/GLContext.h"

namespace telvora
{

class CLasFileSet;
class CPointTree;

// The budget of a still frame (the scene's kPointBudget).
inline constexpr double kFullPointBudget = 5000000.0;

// Everything one frame draws, as the view holds it. Pointers that are null are not drawn.
struct FrameScene
{
    const CLasFileSet* set = nullptr;
    CPointTree* const* trees = nullptr;
    bool sceneReady = false;
    bool lodEnabled = true;
    bool showNodeBoxes = false;
    bool showPickRay = false;
    // The section line is being marked: the background turns white.
    bool marking = false;
    const SectionLine* sectionLine = nullptr;
    const CRay* pickRay = nullptr;
    const Vec3* pickedPoint = nullptr;
    // The measured points (0 to 2): markers, and the line between two.
    const Vec3* measureEnds = nullptr;
    int measureEndCount = 0;
    // The most points the frame draws: the level of detail's five million, or fewer while the
    // camera moves, when every leaf draws the same part of what a full frame would. Not used
    // without the level of detail.
    double pointBudget = kFullPointBudget;
};

// The camera as the model-view matrix (gluLookAt), after the camera's per-frame upkeep.
void ApplyCamera(CCamera& camera);

// Clears, applies the camera, draws the visible files' points (culled and thinned out with the
// level of detail on; the node states of the last culled frame otherwise), then the section band,
// the pick ray, the picked-point sphere and the measurement, which blend over the points. Returns
// the number of points drawn. Needs the view's context current with its projection set.
std::int64_t RenderFrame(const FrameScene& scene, CGLContext& context);

// The section line's band: four corners from zHigh at start down to zLow and along to end.
struct SectionBand
{
    Vec3 corners[4];
};
inline SectionBand SectionBandOf(const SectionLine& line, float zLow, float zHigh)
{
    return {{{line.start.x, line.start.y, zHigh},
             {line.start.x, line.start.y, zLow},
             {line.end.x, line.end.y, zLow},
             {line.end.x, line.end.y, zHigh}}};
}

// The radius of the picked-point sphere: it keeps the same size on screen at any distance.
inline float PickedSphereRadius(const Vec3& eye, const Vec3& point)
{
    return Distance(eye, point) / 750.0f * 3.0f;
}

} // namespace telvora
