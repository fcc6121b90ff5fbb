#include "view/Camera.h"

#include <cmath>
#include <numbers>

namespace telvora
{
namespace
{

constexpr int kRenormaliseEvery = 1000;
const Vec3 kWorldUp{0.0f, 0.0f, 1.0f};
// A centimetre: the eye of the home view is then ten metres above a single point.
constexpr float kSmallestMoveStep = 0.01f;

} // namespace

Vec3 RotateAbout(const Vec3& v, const Vec3& axis, float degrees)
{
    const Vec3 u = Normalise(axis);
    if (u == Vec3{})
    {
        return v;
    }
    // Rodrigues' formula in double precision; the result is then scaled back to v's length.
    const double angle = static_cast<double>(degrees) * std::numbers::pi / 180.0;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double ux = u.x, uy = u.y, uz = u.z;
    const double vx = v.x, vy = v.y, vz = v.z;
    const double dot = ux * vx + uy * vy + uz * vz;
    const double cx = uy * vz - uz * vy;
    const double cy = uz * vx - ux * vz;
    const double cz = ux * vy - uy * vx;
    const double rx = vx * c + cx * s + ux * dot * (1.0 - c);
    const double ry = vy * c + cy * s + uy * dot * (1.0 - c);
    const double rz = vz * c + cz * s + uz * dot * (1.0 - c);
    const double rotatedLength = std::sqrt(rx * rx + ry * ry + rz * rz);
    if (rotatedLength == 0.0)
    {
        return {};
    }
    const double scale = std::sqrt(vx * vx + vy * vy + vz * vz) / rotatedLength;
    return {static_cast<float>(rx * scale), static_cast<float>(ry * scale),
            static_cast<float>(rz * scale)};
}

void CCamera::Pitch(float degrees)
{
    const Vec3 axis = Cross(up, forward);
    forward = RotateAbout(forward, axis, degrees);
    up = RotateAbout(up, axis, degrees);
}

void CCamera::Turn(float degrees)
{
    forward = RotateAbout(forward, kWorldUp, degrees);
    up = RotateAbout(up, kWorldUp, degrees);
}

void CCamera::Strafe(float distance)
{
    const Vec3 step = Side() * distance;
    eye = eye + step;
    pivot = pivot + step;
}

void CCamera::Rise(float distance)
{
    eye = eye + up * distance;
}

void CCamera::Advance(float distance)
{
    eye = eye + forward * distance;
}

void CCamera::Orbit(float pitchDegrees, float turnDegrees)
{
    pivot.z = 0.0f;
    const float radius = Distance(eye, pivot);
    eye = eye + forward * radius;
    Pitch(pitchDegrees);
    Turn(turnDegrees);
    eye = eye - forward * radius;
}

void CCamera::NextFrame()
{
    forward = Normalise(forward);
    if (++frameCount > kRenormaliseEvery)
    {
        frameCount = 0;
        forward = Normalise(forward);
        up = Normalise(up);
    }
}

float MoveStepFor(const CBoundingBox& bounds)
{
    const float width = bounds.maximum.x - bounds.minimum.x;
    const float depth = bounds.maximum.y - bounds.minimum.y;
    const float step = std::sqrt(depth * width) / 1000.0f;
    if (std::isfinite(step) && step > 0.0f)
    {
        return step;
    }
    // Data along a line, or all at one spot, covers no area: a zero step would put the eye
    // inside the data and make the wheel and drags move nothing.
    const float height = bounds.maximum.z - bounds.minimum.z;
    const float extent =
        std::fmax(std::fabs(width), std::fmax(std::fabs(depth), std::fabs(height)));
    const float fallback = extent / 1000.0f;
    return std::isfinite(fallback) && fallback > 0.0f ? fallback : kSmallestMoveStep;
}

void HomeView(CCamera& camera, float& moveStep, const CBoundingBox& bounds)
{
    moveStep = MoveStepFor(bounds);
    const float middle = std::isfinite(bounds.centre.z) ? bounds.centre.z : 0.0f;
    camera.eye = {0.0f, 0.0f, middle + 1000.0f * moveStep};
    camera.forward = {0.0f, 0.0f, -1.0f};
    camera.up = {0.0f, 1.0f, 0.0f};
    camera.pivot = {0.0f, 0.0f, 0.0f};
    camera.frameCount = 0;
}

} // namespace telvora
