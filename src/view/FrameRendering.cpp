#include "view/FrameRendering.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <algorithm>

#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "scene/TreeDrawing.h"

static_assert(telvora::kFullPointBudget == telvora::kPointBudget);

namespace telvora
{
namespace
{

void DrawSectionBand(const SectionLine& line, const CBoundingBox& bounds)
{
    const SectionBand band = SectionBandOf(line, bounds.minimum.z, bounds.maximum.z);
    const Vec3* c = band.corners;
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    glBegin(GL_LINES);
    glVertex3f(c[0].x, c[0].y, c[0].z);
    glVertex3f(c[1].x, c[1].y, c[1].z);
    glEnd();
    glBegin(GL_LINES);
    glVertex3f(c[2].x, c[2].y, c[2].z);
    glVertex3f(c[3].x, c[3].y, c[3].z);
    glEnd();
    glColor4f(1.0f, 0.0f, 0.0f, 0.5f);
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i)
    {
        glVertex3f(c[i].x, c[i].y, c[i].z);
    }
    glEnd();
}

void DrawPickRay(const CRay& ray)
{
    const Vec3 end = ray.origin + ray.direction * ray.length;
    glLineWidth(1.0f);
    glColor4f(0.0f, 0.0f, 1.0f, 0.5f);
    glBegin(GL_LINES);
    glVertex3f(ray.origin.x, ray.origin.y, ray.origin.z);
    glVertex3f(end.x, end.y, end.z);
    glEnd();
}

void DrawPickedPoint(const Vec3& point, const Vec3& eye)
{
    GLUquadric* quadric = gluNewQuadric();
    if (quadric == nullptr)
    {
        return;
    }
    glColor4f(0.0f, 1.0f, 0.0f, 0.6f);
    glPushMatrix();
    glTranslatef(point.x, point.y, point.z);
    gluSphere(quadric, PickedSphereRadius(eye, point), 32, 32);
    glPopMatrix();
    gluDeleteQuadric(quadric);
}

// The measurement stays in sight through the points around its ends: drawn without the depth
// test, in a colour that none of the colour modes' palettes leans on.
void DrawMeasurement(const Vec3* ends, int count, const Vec3& eye)
{
    glDisable(GL_DEPTH_TEST);
    if (count == 2)
    {
        glLineWidth(2.0f);
        glColor4f(1.0f, 0.0f, 1.0f, 1.0f);
        glBegin(GL_LINES);
        glVertex3f(ends[0].x, ends[0].y, ends[0].z);
        glVertex3f(ends[1].x, ends[1].y, ends[1].z);
        glEnd();
        glLineWidth(1.0f);
    }
    GLUquadric* quadric = gluNewQuadric();
    if (quadric != nullptr)
    {
        glColor4f(1.0f, 0.0f, 1.0f, 0.8f);
        for (int i = 0; i < count; ++i)
        {
            glPushMatrix();
            glTranslatef(ends[i].x, ends[i].y, ends[i].z);
            gluSphere(quadric, PickedSphereRadius(eye, ends[i]) * 0.6f, 16, 16);
            glPopMatrix();
        }
        gluDeleteQuadric(quadric);
    }
    glEnable(GL_DEPTH_TEST);
}

} // namespace

void ApplyCamera(CCamera& camera)
{
    camera.NextFrame();
    const Vec3& e = camera.eye;
    const Vec3 target = e + camera.forward;
    gluLookAt(e.x, e.y, e.z, target.x, target.y, target.z, camera.up.x, camera.up.y, camera.up.z);
}

std::int64_t RenderFrame(const FrameScene& scene, CGLContext& context)
{
    // The widget toolkit may have drawn with state of its own since the last frame.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(context.fovY, context.aspect, context.zNear, context.zFar);
    glMatrixMode(GL_MODELVIEW);

    if (scene.marking)
    {
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (scene.marking)
    {
        glClearColor(0.5f, 0.6f, 1.0f, 1.0f);
    }
    glLoadIdentity();
    ApplyCamera(context.camera);

    std::int64_t drawn = 0;
    const CLasFileSet* set = scene.set;
    if (scene.sceneReady && set != nullptr && scene.trees != nullptr)
    {
        const Vec3 eye = context.camera.eye;
        if (scene.lodEnabled)
        {
            const CFrustum frustum = BuildFrustum();
            CullStatistics statistics;
            for (int i = 0; i < set->count; ++i)
            {
                if (set->visible[i] != 0 && scene.trees[i] != nullptr)
                {
                    Cull(*scene.trees[i], eye, &frustum, statistics);
                }
            }
            const double k = LodFactor(statistics);
            // A moving frame draws the same part of every leaf of the full frame: the picture
            // thins out evenly instead of changing which leaves show.
            float share = 1.0f;
            if (scene.pointBudget < kFullPointBudget)
            {
                std::int64_t full = 0;
                for (int i = 0; i < set->count; ++i)
                {
                    if (set->visible[i] != 0 && scene.trees[i] != nullptr)
                    {
                        full += CountDrawn(*scene.trees[i], &eye, k);
                    }
                }
                if (static_cast<double>(full) > scene.pointBudget)
                {
                    share = static_cast<float>(scene.pointBudget / static_cast<double>(full));
                }
            }
            for (int i = 0; i < set->count; ++i)
            {
                if (set->visible[i] != 0 && scene.trees[i] != nullptr)
                {
                    Draw(*scene.trees[i], &eye, k, scene.showNodeBoxes, drawn, share);
                }
            }
        }
        else
        {
            for (int i = 0; i < set->count; ++i)
            {
                if (set->visible[i] != 0 && scene.trees[i] != nullptr)
                {
                    Draw(*scene.trees[i], nullptr, 0.0, scene.showNodeBoxes, drawn);
                }
            }
        }
    }

    if (scene.sectionLine != nullptr && set != nullptr)
    {
        DrawSectionBand(*scene.sectionLine, set->bounds);
    }
    if (scene.showPickRay && scene.pickRay != nullptr)
    {
        DrawPickRay(*scene.pickRay);
    }
    if (scene.pickedPoint != nullptr)
    {
        DrawPickedPoint(*scene.pickedPoint, context.camera.eye);
    }
    if (scene.measureEnds != nullptr && scene.measureEndCount > 0)
    {
        DrawMeasurement(scene.measureEnds, std::min(scene.measureEndCount, 2), context.camera.eye);
    }
    return drawn;
}

} // namespace telvora
