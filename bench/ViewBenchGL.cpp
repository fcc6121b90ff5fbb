#include "ViewBenchGL.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "scene/TreeDrawing.h"

namespace telvora::bench
{
namespace
{

// Appends the first m points of the leaf's buffer, positions and colours.
void CopyPrefix(const CNodeBuffer& buffer, std::size_t m, DrawnPoints& out)
{
    const std::size_t n = static_cast<std::size_t>(buffer.count);
    const std::size_t start = out.positions.size();
    out.positions.resize(start + 3 * m);
    out.colors.resize(start + 3 * m);
    glBindBuffer(GL_ARRAY_BUFFER, buffer.name);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(12 * m),
                       out.positions.data() + start);
    glGetBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(12 * n),
                       static_cast<GLsizeiptr>(12 * m), out.colors.data() + start);
}

// Follows the nodes the tree's Draw follows and takes the prefix of each leaf it would draw.
struct CopyPass
{
    const Vec3* eye;
    double k;
    DrawnPoints& out;

    void Node(const CPointNode& node)
    {
        if (!node.IsLeaf())
        {
            for (const CPointNode* child : node.children)
            {
                if (child->state != 0)
                {
                    Node(*child);
                }
            }
            return;
        }
        if (node.count == 0 || node.buffer == nullptr)
        {
            return;
        }
        const float fraction =
            eye != nullptr ? LeafFraction(k, Distance(*eye, node.box.centre)) : 1.0f;
        const auto n = static_cast<GLsizei>(node.buffer->count);
        const auto m = static_cast<GLsizei>(static_cast<float>(n) * fraction);
        if (m > 0)
        {
            CopyPrefix(*node.buffer, static_cast<std::size_t>(m), out);
        }
    }
};

} // namespace

DrawnPoints CopyDrawnPoints(const FrameScene& scene, const CCamera& camera)
{
    DrawnPoints out;
    const CLasFileSet* set = scene.set;
    if (!scene.sceneReady || set == nullptr || scene.trees == nullptr)
    {
        return out;
    }
    auto visibleTree = [&](int i)
    { return set->visible[i] != 0 ? scene.trees[i] : static_cast<CPointTree*>(nullptr); };
    const Vec3 eye = camera.eye;
    double k = 0.0;
    if (scene.lodEnabled)
    {
        // Culling again with the frame's own matrices gives the same node states and the same
        // statistics, hence the same factor.
        const CFrustum frustum = BuildFrustum();
        CullStatistics statistics;
        for (int i = 0; i < set->count; ++i)
        {
            if (CPointTree* tree = visibleTree(i))
            {
                Cull(*tree, eye, &frustum, statistics);
            }
        }
        k = LodFactor(statistics);
    }
    CopyPass pass{scene.lodEnabled ? &eye : nullptr, k, out};
    for (int i = 0; i < set->count; ++i)
    {
        if (const CPointTree* tree = visibleTree(i))
        {
            for (std::uint32_t c = 0; c < tree->cellCount; ++c)
            {
                if (tree->rootCells[c].state != 0)
                {
                    pass.Node(tree->rootCells[c]);
                }
            }
        }
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return out;
}

void BeginPlainFrame(const CGLContext& context)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(context.fovY, context.aspect, context.zNear, context.zFar);
    glMatrixMode(GL_MODELVIEW);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const CCamera& camera = context.camera;
    const Vec3& e = camera.eye;
    const Vec3 target = e + camera.forward;
    gluLookAt(e.x, e.y, e.z, target.x, target.y, target.z, camera.up.x, camera.up.y, camera.up.z);
}

void SetViewport(int width, int height)
{
    glViewport(0, 0, width, height);
}

void FinishGL()
{
    glFinish();
}

} // namespace telvora::bench
