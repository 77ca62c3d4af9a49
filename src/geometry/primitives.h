// Single geometric questions: rays against planes and spheres, points against
// triangles and spheres, nearest points, plane sides, polygon normals.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>

#include "geometry/vector_ops.h"

namespace vesk {

// Distance along the ray in units of |direction| (negative behind the
// origin); -1 when the ray is parallel to the plane.
float IntersectRayPlane(const Vector3 &origin, const Vector3 &direction, const Vector3 &planePoint,
                        const Vector3 &planeNormal);
// Distance to the first hit for a unit direction, -1 on a miss.
float IntersectRaySphere(const Vector3 &origin, const Vector3 &direction, const Vector3 &center, float radius);
// Angle-sum test with clamped cosines.
bool CheckPointInTriangle(const Vector3 &p, const Vector3 &a, const Vector3 &b, const Vector3 &c);
// Nearest point of segment ab (exact roots, strict ends).
Vector3 ClosestPointOnLine(const Vector3 &a, const Vector3 &b, const Vector3 &p);
// Nearest point of the triangle's outline, edges (a,c), (c,b), (b,a); the first wins ties.
Vector3 ClosestPointOnPolygon(const Vector3 &a, const Vector3 &b, const Vector3 &c, const Vector3 &p);
bool CheckPointInSphere(const Vector3 &p, const Vector3 &center, float radius);
Vector3 TangentPlaneNormalOfEllipsoid(const Vector3 &p, const Vector3 &center, const Vector3 &radii);

inline constexpr double kOnPlaneBand = double{0.001f};
// 1 behind, 0 within 0.001 of the plane (inclusive), -1 in front.
int32_t ClassifyPoint(const Vector3 &planePoint, const Vector3 &point, const Vector3 &normal);

inline const Vector3 &CornerPosition(const Poly &poly, int k) { return poly.corner[k].position; }
// (p1 - p0) x (p2 - p0), not normalised: the opposite of TriangleNormal's orientation.
inline Vector3 PolyNormal(const Poly &poly) {
    const Vector3 &p0 = CornerPosition(poly, 0);
    return Cross(Sub(CornerPosition(poly, 1), p0), Sub(CornerPosition(poly, 2), p0));
}
void SetPolyNormal(std::span<Poly> polys);
void BuildFromPoly(std::span<const Poly> polys, PolyFlatShort *out);
void BuildFromPoly2(std::span<const Poly> polys, PolyFlat *out);

}  // namespace vesk
