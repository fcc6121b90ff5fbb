#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Geometry.h"
#include "view/FrameRendering.h"
#include "view/GLContext.h"

// The OpenGL side of the view benchmark. No GL header is included here, so that the part that
// drives the Qt widgets can use it: GLEW and Qt's OpenGL headers must not meet in one file.
namespace telvora::bench
{

// The points a frame of the scene draws, in drawing order, read back from the leaves' buffers.
struct DrawnPoints
{
    std::vector<float> positions;
    std::vector<float> colors;

    std::size_t Count() const { return positions.size() / 3; }
};

// Right after RenderFrame, with its matrices still current: the points that frame drew. The
// leaves and their prefixes are chosen by the scene's own culling and level of detail.
DrawnPoints CopyDrawnPoints(const FrameScene& scene, const CCamera& camera);

// What RenderFrame does before the points, without drawing any: clear, projection, camera.
void BeginPlainFrame(const CGLContext& context);

void SetViewport(int width, int height);
void FinishGL();

} // namespace telvora::bench
