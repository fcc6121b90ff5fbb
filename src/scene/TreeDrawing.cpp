#include "scene/TreeDrawing.h"

#include <GL/glew.h>
#include <array>
#include <cmath>
#include <cstdint>

namespace telvora
{

CFrustum FrustumFromMatrices(const float projection[16], const float modelView[16])
{
    float clip[16];
    for (int column = 0; column < 4; ++column)
    {
        for (int row = 0; row < 4; ++row)
        {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
            {
                sum += projection[k * 4 + row] * modelView[column * 4 + k];
            }
            clip[column * 4 + row] = sum;
        }
    }
    auto row = [&](int i) {
        return std::array<float, 4>{clip[i], clip[4 + i], clip[8 + i], clip[12 + i]};
    };
    const auto r0 = row(0);
    const auto r1 = row(1);
    const auto r2 = row(2);
    const auto r3 = row(3);
    auto plane = [](const std::array<float, 4>& a, const std::array<float, 4>& b, float sign)
    {
        CPlane p;
        p.normal = {a[0] + sign * b[0], a[1] + sign * b[1], a[2] + sign * b[2]};
        p.offset = a[3] + sign * b[3];
        return p;
    };
    CFrustum frustum;
    frustum.planes[0] = plane(r3, r0, 1.0f);  // left
    frustum.planes[1] = plane(r3, r0, -1.0f); // right
    frustum.planes[2] = plane(r3, r1, -1.0f); // top
    frustum.planes[3] = plane(r3, r1, 1.0f);  // bottom
    frustum.planes[4] = plane(r3, r2, 1.0f);  // near
    frustum.planes[5] = plane(r3, r2, -1.0f); // far
    return frustum;
}

CFrustum BuildFrustum()
{
    float projection[16];
    float modelView[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    return FrustumFromMatrices(projection, modelView);
}

int ClassifyBox(const CFrustum& frustum, const CBoundingBox& box)
{
    const Vec3& lo = box.minimum;
    const Vec3& hi = box.maximum;
    const Vec3 corners[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {lo.x, hi.y, lo.z},
                             {hi.x, hi.y, lo.z}, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z},
                             {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}};
    int result = 2;
    for (const CPlane& plane : frustum.planes)
    {
        int in = 0;
        int out = 0;
        for (int c = 0; c < 8 && (in == 0 || out == 0); ++c)
        {
            if (plane.SignedDistance(corners[c]) >= 0.0f)
            {
                ++in;
            }
            else
            {
                ++out;
            }
        }
        if (in == 0)
        {
            return 0;
        }
        if (out != 0)
        {
            result = 1;
        }
    }
    return result;
}

namespace
{

void CullNode(CPointNode& node, bool filtered, const Vec3& eye, const CFrustum* frustum,
              CullStatistics& statistics)
{
    if (node.IsLeaf())
    {
        if (node.count > 0)
        {
            // The budget counts what can be drawn: hidden points take none of it.
            statistics.points += node.DrawnCount(filtered);
            statistics.leaves += 1;
            statistics.distanceSum += Distance(eye, node.box.centre);
            node.state = 2;
        }
        return;
    }
    node.state = frustum != nullptr ? ClassifyBox(*frustum, node.box) : 2;
    if (node.state == 0)
    {
        return;
    }
    // Everything below an inside node is inside: it is accepted without further tests.
    const CFrustum* below = node.state == 1 ? frustum : nullptr;
    for (CPointNode* child : node.children)
    {
        CullNode(*child, filtered, eye, below, statistics);
    }
}

void DrawOutline(const CBoundingBox& box)
{
    const Vec3& a = box.minimum;
    const Vec3& b = box.maximum;
    const Vec3 edges[12][2] = {
        {{a.x, a.y, a.z}, {b.x, a.y, a.z}}, {{b.x, a.y, a.z}, {b.x, b.y, a.z}},
        {{b.x, b.y, a.z}, {a.x, b.y, a.z}}, {{a.x, b.y, a.z}, {a.x, a.y, a.z}},
        {{a.x, a.y, b.z}, {b.x, a.y, b.z}}, {{b.x, a.y, b.z}, {b.x, b.y, b.z}},
        {{b.x, b.y, b.z}, {a.x, b.y, b.z}}, {{a.x, b.y, b.z}, {a.x, a.y, b.z}},
        {{a.x, a.y, a.z}, {a.x, a.y, b.z}}, {{b.x, a.y, a.z}, {b.x, a.y, b.z}},
        {{b.x, b.y, a.z}, {b.x, b.y, b.z}}, {{a.x, b.y, a.z}, {a.x, b.y, b.z}}};
    glLineWidth(1.0f);
    glColor3f(1.0f, 0.0f, 1.0f);
    glBegin(GL_LINES);
    for (const auto& edge : edges)
    {
        glVertex3f(edge[0].x, edge[0].y, edge[0].z);
        glVertex3f(edge[1].x, edge[1].y, edge[1].z);
    }
    glEnd();
}

// The points of a leaf that a frame draws: its level-of-detail fraction, then the share.
GLsizei LeafDrawCount(const CPointNode& leaf, bool filtered, const Vec3* eye, double k, float share)
{
    const float fraction = eye != nullptr ? LeafFraction(k, Distance(*eye, leaf.box.centre)) : 1.0f;
    const auto n = static_cast<GLsizei>(filtered ? leaf.shown : leaf.count);
    const auto m = static_cast<GLsizei>(static_cast<float>(n) * fraction);
    // A still frame draws exactly what it always did; a moving one a uniform part of it.
    return share >= 1.0f ? m : static_cast<GLsizei>(static_cast<float>(m) * share);
}

template <typename Visit>
void VisitDrawnLeaves(const CPointNode& node, Visit&& visit)
{
    if (node.IsLeaf())
    {
        visit(node);
        return;
    }
    for (const CPointNode* child : node.children)
    {
        if (child->state != 0)
        {
            VisitDrawnLeaves(*child, visit);
        }
    }
}

struct DrawPass
{
    const Vec3* eye;
    double k;
    float share;
    bool outlines;
    bool filtered;
    std::int64_t& drawnPoints;
    bool arraysEnabled = false;

    void Leaf(const CPointNode& leaf)
    {
        if (outlines)
        {
            DrawOutline(leaf.box);
        }
        if (leaf.count == 0 || leaf.buffer == nullptr)
        {
            return;
        }
        const auto n = static_cast<GLsizei>(leaf.buffer->count);
        const GLsizei m = LeafDrawCount(leaf, filtered, eye, k, share);
        if (m <= 0)
        {
            return;
        }
        // The array state is the same for every leaf, so it is switched on once per tree.
        if (!arraysEnabled)
        {
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_COLOR_ARRAY);
            glPointSize(2.0f);
            arraysEnabled = true;
        }
        glBindBuffer(GL_ARRAY_BUFFER, leaf.buffer->name);
        glColorPointer(3, GL_FLOAT, 0,
                       reinterpret_cast<const void*>(static_cast<std::uintptr_t>(12) * n));
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        if (filtered)
        {
            // The shown points' positions in the buffer, in its random order.
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, leaf.elements);
            glDrawElements(GL_POINTS, m, leaf.shortElements ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                           nullptr);
        }
        else
        {
            glDrawArrays(GL_POINTS, 0, m);
        }
        drawnPoints += m;
    }
};

} // namespace

void Cull(CPointTree& tree, const Vec3& eye, const CFrustum* frustum, CullStatistics& statistics)
{
    for (std::uint32_t i = 0; i < tree.cellCount; ++i)
    {
        CullNode(tree.rootCells[i], tree.Filter() != nullptr, eye, frustum, statistics);
    }
}

double LodFactor(const CullStatistics& statistics)
{
    const double points = static_cast<double>(statistics.points);
    const double meanDistance =
        static_cast<double>(statistics.distanceSum) / static_cast<double>(statistics.leaves);
    return (kPointBudget / points - 1.0) / meanDistance;
}

float LeafFraction(double k, float distance)
{
    float f = static_cast<float>(k * static_cast<double>(distance) + 1.0);
    if (f > 0.85f)
    {
        f = 1.0f;
    }
    // Also catches NaN, which would otherwise reach the point count.
    if (!(f >= 0.05f))
    {
        f = 0.05f;
    }
    return f;
}

std::int64_t CountDrawn(const CPointTree& tree, const Vec3* eye, double k)
{
    std::int64_t total = 0;
    for (std::uint32_t i = 0; i < tree.cellCount; ++i)
    {
        if (tree.rootCells[i].state != 0)
        {
            VisitDrawnLeaves(tree.rootCells[i],
                             [&](const CPointNode& leaf)
                             {
                                 if (leaf.count > 0 && leaf.buffer != nullptr)
                                 {
                                     total += LeafDrawCount(leaf, tree.Filter() != nullptr, eye, k,
                                                            1.0f);
                                 }
                             });
        }
    }
    return total;
}

void Draw(const CPointTree& tree, const Vec3* eye, double k, bool outlines,
          std::int64_t& drawnPoints, float share)
{
    DrawPass pass{eye, k, share, outlines, tree.Filter() != nullptr, drawnPoints};
    for (std::uint32_t i = 0; i < tree.cellCount; ++i)
    {
        if (tree.rootCells[i].state != 0)
        {
            VisitDrawnLeaves(tree.rootCells[i], [&](const CPointNode& leaf) { pass.Leaf(leaf); });
        }
    }
    if (pass.arraysEnabled)
    {
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
}

} // namespace telvora
