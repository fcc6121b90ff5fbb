#pragma once

#include <cmath>

namespace telvora
{

// Scene coordinates are floats throughout: positions are held relative to the scene offset,
// which keeps the values small enough for single precision to resolve centimetres.
struct Vec3
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr float& operator[](int axis) { return axis == 0 ? x : (axis == 1 ? y : z); }
    constexpr float operator[](int axis) const { return axis == 0 ? x : (axis == 1 ? y : z); }

    friend constexpr Vec3 operator+(const Vec3& a, const Vec3& b)
    {
        return {a.x + b.x, a.y + b.y, a.z + b.z};
    }
    friend constexpr Vec3 operator-(const Vec3& a, const Vec3& b)
    {
        return {a.x - b.x, a.y - b.y, a.z - b.z};
    }
    friend constexpr Vec3 operator*(const Vec3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
    friend constexpr bool operator==(const Vec3& a, const Vec3& b) = default;
};

// Real-world coordinates and the scene offset. A float steps by half a metre at UTM northings,
// so large values stay in double until the offset has been subtracted.
struct Vec3d
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    friend constexpr bool operator==(const Vec3d& a, const Vec3d& b) = default;
};

constexpr float Dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

constexpr Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float Length(const Vec3& v)
{
    return std::sqrt(Dot(v, v));
}

inline float Distance(const Vec3& a, const Vec3& b)
{
    return Length(a - b);
}

// A zero vector stays zero rather than turning into NaNs that would spread through the camera.
inline Vec3 Normalise(const Vec3& v)
{
    const float length = Length(v);
    if (length == 0.0f)
    {
        return {};
    }
    return {v.x / length, v.y / length, v.z / length};
}

struct CBoundingBox
{
    Vec3 minimum;
    Vec3 maximum;
    Vec3 centre;

    static CBoundingBox FromCorners(const Vec3& a, const Vec3& b)
    {
        CBoundingBox box;
        box.minimum = {std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fmin(a.z, b.z)};
        box.maximum = {std::fmax(a.x, b.x), std::fmax(a.y, b.y), std::fmax(a.z, b.z)};
        box.UpdateCentre();
        return box;
    }

    // The box of floats around the box of doubles with these corners: each minimum rounded down
    // and each maximum rounded up, so that a point inside the doubles, rounded to its nearest
    // float, is still inside.
    static CBoundingBox Enclosing(const Vec3d& a, const Vec3d& b)
    {
        const double as[3] = {a.x, a.y, a.z};
        const double bs[3] = {b.x, b.y, b.z};
        CBoundingBox box;
        for (int axis = 0; axis < 3; ++axis)
        {
            const double low = std::fmin(as[axis], bs[axis]);
            const double high = std::fmax(as[axis], bs[axis]);
            float down = static_cast<float>(low);
            if (static_cast<double>(down) > low)
            {
                down = std::nextafter(down, -INFINITY);
            }
            float up = static_cast<float>(high);
            if (static_cast<double>(up) < high)
            {
                up = std::nextafter(up, INFINITY);
            }
            box.minimum[axis] = down;
            box.maximum[axis] = up;
        }
        box.UpdateCentre();
        return box;
    }

    void UpdateCentre()
    {
        centre = {(minimum.x + maximum.x) * 0.5f, (minimum.y + maximum.y) * 0.5f,
                  (minimum.z + maximum.z) * 0.5f};
    }

    void Unite(const CBoundingBox& other)
    {
        minimum = {std::fmin(minimum.x, other.minimum.x), std::fmin(minimum.y, other.minimum.y),
                   std::fmin(minimum.z, other.minimum.z)};
        maximum = {std::fmax(maximum.x, other.maximum.x), std::fmax(maximum.y, other.maximum.y),
                   std::fmax(maximum.z, other.maximum.z)};
        UpdateCentre();
    }

    // Shifts all nine values, as when a box moves from real-world into scene coordinates.
    void Translate(const Vec3& delta)
    {
        minimum = minimum + delta;
        maximum = maximum + delta;
        centre = centre + delta;
    }
};

// A point p lies on the plane when Dot(normal, p) + offset == 0. Frustum planes use the same
// record with an unnormalised normal and a zero point.
struct CPlane
{
    Vec3 normal;
    float offset = 0.0f;
    Vec3 point;

    static CPlane FromPoints(const Vec3& p0, const Vec3& p1, const Vec3& p2)
    {
        CPlane plane;
        plane.normal = Normalise(Cross(p2 - p0, p1 - p0));
        plane.offset = -Dot(plane.normal, p0);
        plane.point = p0;
        return plane;
    }

    float SignedDistance(const Vec3& p) const { return Dot(normal, p) + offset; }
};

// A half-line: searches along it ignore the length, which only tells how far it was drawn.
struct CRay
{
    Vec3 origin;
    Vec3 direction;
    float length = 0.0f;
};

struct SectionLine
{
    Vec3 start;
    Vec3 end;
};

} // namespace telvora
