#pragma once

#include "common/Geometry.h"

namespace telvora
{

// Rotates v by degrees about axis (right-handed). The result keeps the length of v exactly, so
// repeated rotations do not shrink or grow the camera's axes; a zero axis leaves v unchanged.
Vec3 RotateAbout(const Vec3& v, const Vec3& axis, float degrees);

// A free camera in scene coordinates: the eye, the viewing direction and the up vector (both
// kept at unit length), and the pivot it orbits about. Rotations turn its own axes, translations
// move the eye.
struct CCamera
{
    Vec3 eye{0.0f, 0.0f, 0.0f};
    Vec3 forward{0.0f, 0.0f, -1.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    Vec3 pivot{0.0f, 0.0f, 0.0f};
    // Frames since the axes were last renormalised.
    int frameCount = 0;

    // The camera's left as up × forward; unit length while the axes are orthonormal.
    Vec3 Side() const { return Cross(up, forward); }

    // Forward and up rotate about up × forward: positive degrees tip the nose down, as pushing
    // a control stick forward does.
    void Pitch(float degrees);
    // Forward and up rotate about the world's vertical axis: positive degrees turn left.
    void Turn(float degrees);
    // Eye and pivot move sideways by distance × (up × forward).
    void Strafe(float distance);
    // The eye moves along up; the pivot stays.
    void Rise(float distance);
    // The eye moves along forward; the pivot stays.
    void Advance(float distance);
    // Turns the camera about the point as far ahead of it as the pivot (moved to height 0) is
    // from the eye: pitch first, then turn.
    void Orbit(float pitchDegrees, float turnDegrees);

    // What every frame does before the camera becomes the model-view matrix: forward is
    // normalised, and every thousand frames up is too, so rounding never skews the axes.
    void NextFrame();
};

// The distance unit of the wheel and drag moves for data of this extent: a thousandth of the
// square root of the area it covers.
float MoveStepFor(const CBoundingBox& bounds);

// Straight down on the middle of the data, north up, from as high above the data's mid-height
// as the square root of the area it covers.
void HomeView(CCamera& camera, float& moveStep, const CBoundingBox& bounds);

} // namespace telvora
