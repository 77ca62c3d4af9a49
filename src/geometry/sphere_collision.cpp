#include "geometry/sphere_collision.h"

#include <cmath>

#include "geometry/far_triangles.h"
#include "geometry/primitives.h"

namespace vesk {

int32_t ClassifySphere(const Vector3 &center, const Vector3 &normal, const Vector3 &pointOnPlane, float radius,
                       float &distance) {
    const double d = PlaneDistance(normal, pointOnPlane);
    const float dist = ToF(Dot(center, normal) + d);
    distance = dist;
    if (std::fabs(dist) < radius) return kSphereIntersects;
    if (dist >= radius) return kSphereInFront;
    return kSphereBehind;
}

double AngleBetweenVectors(const Vector3 &a, const Vector3 &b) {
    const double angle = std::acos(Dot(a, b) / (double{FastMagnitude(a)} * FastMagnitude(b)));
    return std::isnan(angle) ? 0.0 : angle;
}

bool InsidePolygon(const Vector3 &point, std::span<const Vector3> vertices) {
    const size_t n = vertices.size();
    if (n == 0) return false;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += AngleBetweenVectors(Sub(vertices[i], point), Sub(vertices[(i + 1) % n], point));
    return sum >= 6.282556988648868;  // 2 pi * 0.9999
}

Vector3 ClosestPointOnSegmentFast(const Vector3 &a, const Vector3 &b, const Vector3 &p) {
    const Vector3 dir = FastNormalize(Sub(b, a));
    const double length = FastDistance(a, b);
    const double t = Dot(dir, Sub(p, a));
    if (t <= 0.0) return a;
    if (t >= length) return b;
    return AddScaled(a, dir, t);
}

bool EdgeSphereCollision(const Vector3 &center, std::span<const Vector3> vertices, float radius) {
    const size_t n = vertices.size();
    for (size_t i = 0; i < n; ++i) {
        const Vector3 q = ClosestPointOnSegmentFast(vertices[i], vertices[(i + 1) % n], center);
        if (FastDistance(q, center) < radius) return true;
    }
    return false;
}

Vector3 GetCollisionOffset(const Vector3 &normal, float radius, float dist) {
    if (dist > 0.0f) return Scale(normal, double{radius} - dist);
    return Scale(normal, -(double{radius} + dist));
}

float MeanRadius(const Vector3 &radii, bool yFirst) {
    // The two unswept body tests add the radii in different orders.
    const double sum = yFirst ? (double{radii.y} + radii.z) + radii.x : (double{radii.z} + radii.y) + radii.x;
    return ToF(sum * double{1.0f / 3.0f});
}

namespace {

struct Triangle {
    Vector3 v[3];
    explicit Triangle(const Poly &poly)
        : v{CornerPosition(poly, 0), CornerPosition(poly, 1), CornerPosition(poly, 2)} {}
};

// The centre's projection lies in the triangle, or an edge passes within half
// the radius of the centre.
bool Penetrates(const Triangle &tri, const Vector3 &center, const Vector3 &normal, float dist, float radius) {
    return InsidePolygon(SubScaled(center, normal, dist), tri.v) ||
           EdgeSphereCollision(center, tri.v, ToF(double{radius} * 0.5));
}

}  // namespace

void CheckForCollision1(Vector3 &out, CollisionBody &body, std::span<const Poly> polys) {
    const float r = MeanRadius(body.radii, false);
    Vector3 position = body.position;
    out = position;
    // A record is hit only through a point within r of the centre: the
    // projected centre (|dist| < r), tested by an angle sum within 2 pi *
    // 0.0001, or an outline point within r / 2 (far_triangles.h).
    FarTriangles far(position, {1.0, 1.0, 1.0}, double{r} * (1.0 + 1e-6), std::isfinite(r));
    for (const Poly &poly : polys) {
        if (far.Skip(poly)) continue;
        const Triangle tri(poly);
        const Vector3 n = TriangleNormal(tri.v[0], tri.v[1], tri.v[2]);
        float dist = 0.0f;
        if (ClassifySphere(position, n, tri.v[0], r, dist) != kSphereIntersects) continue;
        if (!Penetrates(tri, position, n, dist, r)) continue;
        // Later records are tested from the pushed-out position.
        position = Add(position, GetCollisionOffset(n, r, dist));
        far.Move(position);
        out = position;
        body.position = position;
        body.collided = 1;
    }
}

void CheckForCollision2(Vector3 &out, CollisionBody &body, std::span<const Poly> polys) {
    const float r = MeanRadius(body.radii, true);
    const Vector3 position = body.position;
    body.collided = 0;
    out = position;
    for (const Poly &poly : polys) {
        const Vector3 cross = PolyNormal(poly);
        // A zero-area triangle has no plane; its zero normal would put every
        // centre at distance 0 and report a contact with nothing.
        if (IsZero(cross)) continue;
        const Vector3 n = SafeNormalize(cross);
        float dist = 0.0f;
        if (ClassifySphere(position, n, CornerPosition(poly, 0), r, dist) != kSphereIntersects) continue;
        body.collided = 1;
        body.distance = dist;
        out = SubScaled(position, n, dist);
        return;
    }
}

bool CheckForCollisionNormal(Vector3 &outPosition, Vector3 &outNormal, const Vector3 &center, float radius,
                             std::span<const Poly> polys) {
    const Vector3 c = center;
    outPosition = c;
    for (const Poly &poly : polys) {
        const Triangle tri(poly);
        const Vector3 n = TriangleNormal(tri.v[0], tri.v[1], tri.v[2]);
        float dist = 0.0f;
        if (ClassifySphere(c, n, tri.v[0], radius, dist) != kSphereIntersects) continue;
        if (!Penetrates(tri, c, n, dist, radius)) continue;
        outPosition = Add(c, GetCollisionOffset(n, radius, dist));
        outNormal = PolyNormal(poly);
        return true;
    }
    return false;
}

}  // namespace vesk
