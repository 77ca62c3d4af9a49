// Exported adapters of the geometry and collision code: host pointers in,
// internal API out. Inputs are copied before outputs are written.
#include <VeskMathLIB.h>

#include <cstddef>
#include <span>
#include <type_traits>

#include "geometry/box_tests.h"
#include "geometry/ellipsoid_collision.h"
#include "geometry/frustum.h"
#include "geometry/primitives.h"
#include "geometry/sphere_collision.h"

static_assert(sizeof(Plane) == 16 && sizeof(Frustum) == 96 && offsetof(Frustum, plane) == 0);
static_assert(sizeof(PolyFlat) == 120 && offsetof(PolyFlat, corner) == 0);
static_assert(sizeof(PolyVertexShort) == 32 && offsetof(PolyVertexShort, normal) == 12 &&
              offsetof(PolyVertexShort, u) == 24 && offsetof(PolyVertexShort, v) == 28);
static_assert(sizeof(PolyFlatShort) == 96);
static_assert(sizeof(CollisionBody) == 88 && offsetof(CollisionBody, velocity) == 0 &&
              offsetof(CollisionBody, position) == 12 && offsetof(CollisionBody, radii) == 24 &&
              offsetof(CollisionBody, reserved) == 36 && offsetof(CollisionBody, touching) == 48 &&
              offsetof(CollisionBody, collided) == 52 && offsetof(CollisionBody, distance) == 56 &&
              offsetof(CollisionBody, spherePoint) == 64 && offsetof(CollisionBody, polygonPoint) == 76);
static_assert(std::is_standard_layout_v<CollisionBody> && std::is_standard_layout_v<Frustum> &&
              std::is_standard_layout_v<PolyFlat> && std::is_standard_layout_v<PolyFlatShort>);

namespace {
template <class T>
std::span<T> Records(T *records, int32_t count) {
    if (count <= 0) return {};
    return {records, static_cast<size_t>(count)};
}
}  // namespace

VESK_API float VESK_CALL IntersectRayPlane(const Vector3 *origin, const Vector3 *direction, const Vector3 *planePoint,
                                           const Vector3 *planeNormal) {
    return vesk::IntersectRayPlane(*origin, *direction, *planePoint, *planeNormal);
}
VESK_API float VESK_CALL IntersectRaySphere(const Vector3 *origin, const Vector3 *direction, const Vector3 *center,
                                            float radius) {
    return vesk::IntersectRaySphere(*origin, *direction, *center, radius);
}
VESK_API VeskBool VESK_CALL CheckPointInTriangle(const Vector3 *point, const Vector3 *a, const Vector3 *b,
                                                 const Vector3 *c) {
    return vesk::CheckPointInTriangle(*point, *a, *b, *c) ? 1 : 0;
}
VESK_API Vector3 *VESK_CALL ClosestPointOnLine(Vector3 *out, const Vector3 *a, const Vector3 *b,
                                               const Vector3 *point) {
    *out = vesk::ClosestPointOnLine(*a, *b, *point);
    return out;
}
VESK_API Vector3 *VESK_CALL ClosestPointOnPolygon(Vector3 *out, const Vector3 *a, const Vector3 *b, const Vector3 *c,
                                                  const Vector3 *point) {
    *out = vesk::ClosestPointOnPolygon(*a, *b, *c, *point);
    return out;
}
VESK_API VeskBool VESK_CALL CheckPointInSphere(const Vector3 *point, const Vector3 *center, float radius) {
    return vesk::CheckPointInSphere(*point, *center, radius) ? 1 : 0;
}
VESK_API Vector3 *VESK_CALL TangentPlaneNormalOfEllipsoid(Vector3 *out, const Vector3 *point, const Vector3 *center,
                                                          const Vector3 *radii) {
    *out = vesk::TangentPlaneNormalOfEllipsoid(*point, *center, *radii);
    return out;
}
VESK_API int32_t VESK_CALL ClassifyPoint(float planeX, float planeY, float planeZ, float pointX, float pointY,
                                         float pointZ, float normalX, float normalY, float normalZ) {
    return vesk::ClassifyPoint({planeX, planeY, planeZ}, {pointX, pointY, pointZ}, {normalX, normalY, normalZ});
}
VESK_API Vector3 *VESK_CALL GetPolyNormal(Vector3 *out, const Poly *poly) {
    *out = vesk::PolyNormal(*poly);
    return out;
}
VESK_API void VESK_CALL SetPolyNormal(Poly *polys, int32_t count) { vesk::SetPolyNormal(Records(polys, count)); }
VESK_API void VESK_CALL buildFromPOLY(const Poly *polys, PolyFlatShort *out, int32_t count) {
    vesk::BuildFromPoly(Records(polys, count), out);
}
VESK_API void VESK_CALL buildFromPOLY2(const Poly *polys, PolyFlat *out, int32_t count) {
    vesk::BuildFromPoly2(Records(polys, count), out);
}
VESK_API Vector3 *VESK_CALL GetVnormal(Vector3 *out, const Vector3 *a, const Vector3 *b, const Vector3 *c) {
    *out = vesk::TriangleNormal(*a, *b, *c);
    return out;
}

VESK_API void VESK_CALL CalculateFrustum(Frustum *frustum, const Matrix4 *modelview, const Matrix4 *projection) {
    vesk::CalculateFrustum(*frustum, *modelview, *projection);
}
VESK_API int32_t VESK_CALL PointInFrustum(const Frustum *frustum, float x, float y, float z) {
    return vesk::PointInFrustum(*frustum, x, y, z);
}
VESK_API int32_t VESK_CALL SphereInFrustum(const Frustum *frustum, float x, float y, float z, float radius) {
    return vesk::SphereInFrustum(*frustum, x, y, z, radius);
}
VESK_API int32_t VESK_CALL BoxInFrustum(const Frustum *frustum, float x1, float y1, float z1, float x2, float y2,
                                        float z2) {
    return vesk::BoxInFrustum(*frustum, x1, y1, z1, x2, y2, z2);
}

VESK_API int32_t VESK_CALL GetClassifySphere(const Vector3 *center, const Vector3 *normal, const Vector3 *pointOnPlane,
                                             float radius, float *distance) {
    return vesk::ClassifySphere(*center, *normal, *pointOnPlane, radius, *distance);
}
VESK_API void VESK_CALL CheckForCollision1(Vector3 *out, CollisionBody *body, const Poly *polys, int32_t count) {
    vesk::CheckForCollision1(*out, *body, Records(polys, count));
}
VESK_API void VESK_CALL CheckForCollision2(Vector3 *out, CollisionBody *body, const Poly *polys, int32_t count) {
    vesk::CheckForCollision2(*out, *body, Records(polys, count));
}
VESK_API VeskBool VESK_CALL CheckForCollisionNormal(Vector3 *outPosition, Vector3 *outNormal, const Vector3 *center,
                                                    float radius, const Poly *polys, int32_t count) {
    return vesk::CheckForCollisionNormal(*outPosition, *outNormal, *center, radius, Records(polys, count)) ? 1 : 0;
}
VESK_API void VESK_CALL CheckForCollision3(const void *, CollisionBody *body, const Poly *polys, int32_t count) {
    vesk::CheckForCollision3(*body, Records(polys, count));
}
VESK_API void VESK_CALL CheckCollision(const void *, CollisionBody *body, const Poly *polys, int32_t count) {
    vesk::CheckCollision(*body, Records(polys, count));
}
VESK_API void VESK_CALL CheckForCollision4(const void *, CollisionBody *body, const Poly *polys, int32_t count) {
    vesk::CheckForCollision4(*body, Records(polys, count));
}

VESK_API VeskBool VESK_CALL CheckPointInBOX(const Vector3 *point, const BoundingBox *box) {
    return vesk::CheckPointInBox(*point, *box) ? 1 : 0;
}
VESK_API VeskBool VESK_CALL CheckPointInBOXex(const Vector3 *point, const BoundingBox *box, const Matrix4 *m) {
    return vesk::CheckPointInBoxEx(*point, *box, *m) ? 1 : 0;
}
