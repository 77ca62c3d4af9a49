// Swept ellipsoid against polygon soups, worked in the body's unit-sphere
// space, and the unswept plane snap. Scalars are doubles throughout.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>

#include "geometry/vector_ops.h"

namespace vesk {

// (N.Q - N.O) / N.D; -1 when the ray is parallel.
double RayPlaneDistance(const Vector3 &origin, const Vector3 &direction, const Vector3 &planePoint,
                        const Vector3 &normal);
// First hit of a unit-direction ray on the sphere, -1 on a miss.
double RaySphereDistance(const Vector3 &origin, const Vector3 &direction, const Vector3 &center, double radius);
// Angle-sum test with exact roots and unclamped cosines (false where they leave [-1, 1]).
bool PointInTriangleExact(const Vector3 &p, const Vector3 &a, const Vector3 &b, const Vector3 &c);
Vector3 ClosestPointOnSegmentExact(const Vector3 &a, const Vector3 &b, const Vector3 &p);
// Edges (a,b), (b,c), (c,a); the first wins ties.
Vector3 ClosestPointOnTriangleEdges(const Vector3 &a, const Vector3 &b, const Vector3 &c, const Vector3 &p);
bool WithinDistance(const Vector3 &p, const Vector3 &q, double r);

enum PointSideFlag : int32_t { kPointInFront = 1, kPointBehind = 16, kPointOnPlane = 256 };
// Side of point relative to the plane through planePoint, with a 0.001 band.
int32_t ClassifyPointFlags(const Vector3 &planePoint, const Vector3 &point, const Vector3 &normal);

void CheckForCollision3(CollisionBody &body, std::span<const Poly> polys);
void CheckCollision(CollisionBody &body, std::span<const Poly> polys);
void CheckForCollision4(CollisionBody &body, std::span<const Poly> polys);

}  // namespace vesk
