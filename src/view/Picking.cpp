// The GL side of picking: the cursor's ray from the matrices the frame is drawn with, and the
// leaves' positions read back from their buffers.
#include "view/Picking.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <limits>
#include <memory>
#include <vector>

#include "scene/LasFileSet.h"
#include "scene/PointTree.h"

namespace telvora
{

CRay CursorRay(const CGLContext& context, int x, int y)
{
    // The matrices of the frame on screen: the context's projection and the camera's look.
    const CCamera& camera = context.camera;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(context.fovY, context.aspect, context.zNear, context.zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const Vec3& e = camera.eye;
    const Vec3 target = e + camera.forward;
    gluLookAt(e.x, e.y, e.z, target.x, target.y, target.z, camera.up.x, camera.up.y, camera.up.z);

    GLdouble modelView[16];
    GLdouble projection[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    const GLint viewport[4] = {0, 0, context.width, context.height};
    const GLdouble windowX = x;
    const GLdouble windowY = context.height - y - 1;
    GLdouble nearPoint[3] = {};
    GLdouble farPoint[3] = {};
    gluUnProject(windowX, windowY, 0.0, modelView, projection, viewport, &nearPoint[0],
                 &nearPoint[1], &nearPoint[2]);
    gluUnProject(windowX, windowY, 1.0, modelView, projection, viewport, &farPoint[0], &farPoint[1],
                 &farPoint[2]);

    CRay ray;
    ray.origin = camera.eye;
    ray.direction = Normalise({static_cast<float>(farPoint[0] - nearPoint[0]),
                               static_cast<float>(farPoint[1] - nearPoint[1]),
                               static_cast<float>(farPoint[2] - nearPoint[2])});
    ray.length = context.zFar;
    return ray;
}

LeafPick PickInLeaf(const CRay& ray, const CPointNode& leaf, const PointFilter* filter)
{
    const std::unique_ptr<float[]> positions(CPointTree::ReadBackPositions(leaf));
    if (!positions || filter == nullptr || leaf.keys == nullptr)
    {
        return PickAmong(ray, positions.get(), leaf.indices, positions ? leaf.count : 0, leaf.box);
    }
    // Hidden points are never picked: the shown ones are gathered first.
    std::vector<float> shownPositions;
    std::vector<std::int32_t> shownIndices;
    for (std::uint32_t k = 0; k < leaf.count; ++k)
    {
        if (leaf.Shows(filter, k))
        {
            const float* p = positions.get() + 3 * static_cast<std::size_t>(k);
            shownPositions.insert(shownPositions.end(), p, p + 3);
            shownIndices.push_back(leaf.indices[k]);
        }
    }
    return PickAmong(ray, shownPositions.data(), shownIndices.data(),
                     static_cast<std::uint32_t>(shownIndices.size()), leaf.box);
}

ScenePick PickScene(const CRay& ray, const CLasFileSet& set, CPointTree* const* trees)
{
    ScenePick best;
    float bestDistance = std::numeric_limits<float>::max();
    for (std::int32_t i = 0; i < set.count; ++i)
    {
        if (set.visible[i] == 0 || trees[i] == nullptr)
        {
            continue;
        }
        const CPointNode* leaf = trees[i]->FindPickLeaf(ray);
        if (leaf == nullptr)
        {
            continue;
        }
        const LeafPick pick = PickInLeaf(ray, *leaf, trees[i]->Filter());
        if (pick.index < 0)
        {
            continue;
        }
        const float distance = Distance(ray.origin, pick.position);
        if (distance < bestDistance)
        {
            bestDistance = distance;
            best = {i, pick.index, pick.position};
        }
    }
    return best;
}

Vec3 ScenePointOnRay(const CRay& ray, const CLasFileSet& set, CPointTree* const* trees)
{
    for (std::int32_t i = 0; i < set.count; ++i)
    {
        if (set.visible[i] == 0 || trees[i] == nullptr)
        {
            continue;
        }
        if (const CPointNode* leaf = trees[i]->FindPickLeaf(ray))
        {
            return RayOnLeafPlane(ray, leaf->box);
        }
    }
    return {};
}

} // namespace telvora
