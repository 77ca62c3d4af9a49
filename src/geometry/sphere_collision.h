// Sphere against polygon soups, unswept: classify, push out, report contact.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>

#include "geometry/vector_ops.h"

namespace vesk {

enum SphereSide : int32_t { kSphereBehind = 0, kSphereIntersects = 1, kSphereInFront = 2 };

// Writes the signed distance of center from the plane (rounded to a single)
// before classifying it against radius.
int32_t ClassifySphere(const Vector3 &center, const Vector3 &normal, const Vector3 &pointOnPlane, float radius,
                       float &distance);
// Angle between a and b; 0 where the arccosine is undefined.
double AngleBetweenVectors(const Vector3 &a, const Vector3 &b);
// Angle-sum test (at least 2 pi * 0.9999); false for an empty outline.
bool InsidePolygon(const Vector3 &point, std::span<const Vector3> vertices);
// Nearest point of segment ab with fast roots and inclusive ends; NaN for a == b.
Vector3 ClosestPointOnSegmentFast(const Vector3 &a, const Vector3 &b, const Vector3 &p);
// Whether some edge of the closed outline passes closer than radius to center.
bool EdgeSphereCollision(const Vector3 &center, std::span<const Vector3> vertices, float radius);
// Moves a centre at signed distance dist from the plane out to radius on its own side.
Vector3 GetCollisionOffset(const Vector3 &normal, float radius, float dist);

// Mean of the body's radii, the sphere the unswept tests use.
float MeanRadius(const Vector3 &radii, bool yFirst);

void CheckForCollision1(Vector3 &out, CollisionBody &body, std::span<const Poly> polys);
void CheckForCollision2(Vector3 &out, CollisionBody &body, std::span<const Poly> polys);
bool CheckForCollisionNormal(Vector3 &outPosition, Vector3 &outNormal, const Vector3 &center, float radius,
                             std::span<const Poly> polys);

}  // namespace vesk
