#include <cmath>
#include <limits>

#include "view/Picking.h"

namespace telvora
{

LeafPick PickAmong(const CRay& ray, const float* positions, const std::int32_t* indices,
                   std::uint32_t count, const CBoundingBox& leafBox)
{
    LeafPick best;
    if (positions == nullptr || indices == nullptr || count == 0)
    {
        return best;
    }
    const Vec3& o = ray.origin;
    const Vec3& v = ray.direction;
    const float d = Distance(leafBox.centre, o);
    const float s = std::sqrt((leafBox.maximum.y - leafBox.minimum.y) *
                              (leafBox.maximum.x - leafBox.minimum.x));
    float bestMeasure = std::numeric_limits<float>::max();
    for (std::uint32_t k = 0; k < count; ++k)
    {
        const float* at = positions + 3 * std::size_t{k};
        const Vec3 p{at[0], at[1], at[2]};
        const Vec3 op = p - o;
        const float e = Length(Cross(v, op));
        float measure = e;
        if (d <= s)
        {
            if (!(e <= kPickRadius))
            {
                continue;
            }
            // Along the ray's direction only: a point behind the eye lies on the same line. The
            // side is told by the ray's own direction, whatever the eye's distance from the
            // middle of the data.
            const float along = Dot(op, v);
            const float l = Length(op);
            const float t = std::sqrt(std::max(0.0f, l * l - e * e));
            if (!(along > 0.0f) || !(t > kNearestPick))
            {
                continue;
            }
            measure = t;
        }
        if (measure < bestMeasure)
        {
            bestMeasure = measure;
            best.index = indices[k];
            best.position = p;
        }
    }
    return best;
}

Vec3 RayOnLeafPlane(const CRay& ray, const CBoundingBox& leafBox)
{
    const float c = leafBox.centre.z;
    const CPlane plane = CPlane::FromPoints({leafBox.minimum.x, leafBox.maximum.y, c},
                                            {leafBox.maximum.x, leafBox.maximum.y, c},
                                            {leafBox.minimum.x, leafBox.minimum.y, c});
    const float denominator = Dot(plane.normal, ray.direction);
    if (denominator == 0.0f)
    {
        return {};
    }
    const float t = Dot(plane.normal, plane.point - ray.origin) / denominator;
    return ray.origin + ray.direction * t;
}

} // namespace telvora
