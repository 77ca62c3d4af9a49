#include "geometry/ellipsoid_collision.h"

#include <cmath>

#include "geometry/far_triangles.h"

namespace vesk {

double RayPlaneDistance(const Vector3 &origin, const Vector3 &direction, const Vector3 &planePoint,
                        const Vector3 &normal) {
    const double den = Dot(normal, direction);
    if (den == 0.0) return -1.0;
    return (Dot(normal, planePoint) - Dot(normal, origin)) / den;
}

double RaySphereDistance(const Vector3 &origin, const Vector3 &direction, const Vector3 &center, double radius) {
    const Vector3 d = Sub(center, origin);
    const double length = ExactMagnitude(d);
    const double v = Dot(d, direction);
    const double disc = radius * radius - (length * length - v * v);
    if (disc < 0.0) return -1.0;
    return v - std::sqrt(disc);
}

namespace {
// No guard: a zero vector gives NaN, so a point on a corner fails the test below.
inline Vector3 ExactNormalize(const Vector3 &v) { return DivideBy(v, ExactMagnitude(v)); }
}  // namespace

bool PointInTriangleExact(const Vector3 &p, const Vector3 &a, const Vector3 &b, const Vector3 &c) {
    const Vector3 u1 = ExactNormalize(Sub(p, a));
    const Vector3 u2 = ExactNormalize(Sub(p, b));
    const Vector3 u3 = ExactNormalize(Sub(p, c));
    // Three unit vectors within a cap of angular radius pi/2 - phi span a
    // spherical triangle whose perimeter, the angle sum, is at most the cap's,
    // 2 pi cos phi. All three at more than 0.06 of |s| along s = u1 + u2 + u3
    // gives sin phi > 0.06 and a sum short of 2 pi by over 0.011, far beyond
    // the 0.005 tolerance and the rounding of these doubles: a point well
    // outside the triangle needs no arccosine. NaN falls through.
    const double sx = double{u1.x} + u2.x + u3.x, sy = double{u1.y} + u2.y + u3.y, sz = double{u1.z} + u2.z + u3.z;
    const double floor = 0.06 * std::sqrt(sx * sx + sy * sy + sz * sz);
    auto along = [&](const Vector3 &u) { return sx * u.x + sy * u.y + sz * u.z; };
    if (along(u1) > floor && along(u2) > floor && along(u3) > floor) return false;
    const double sum = std::acos(Dot(u1, u2)) + std::acos(Dot(u2, u3)) + std::acos(Dot(u3, u1));
    return std::fabs(sum - 6.283185307179586) <= 0.005;
}

Vector3 ClosestPointOnSegmentExact(const Vector3 &a, const Vector3 &b, const Vector3 &p) {
    const Vector3 ab = Sub(b, a);
    const Vector3 dir = ExactNormalize(ab);
    const double length = ExactMagnitude(ab);
    const double t = Dot(dir, Sub(p, a));
    if (t < 0.0) return a;
    if (t > length) return b;
    return AddScaled(a, dir, t);
}

Vector3 ClosestPointOnTriangleEdges(const Vector3 &a, const Vector3 &b, const Vector3 &c, const Vector3 &p) {
    Vector3 best = ClosestPointOnSegmentExact(a, b, p);
    double bestDistance = ExactMagnitude(Sub(p, best));
    for (const Vector3 &q : {ClosestPointOnSegmentExact(b, c, p), ClosestPointOnSegmentExact(c, a, p)}) {
        const double d = ExactMagnitude(Sub(p, q));
        if (d < bestDistance) {
            best = q;
            bestDistance = d;
        }
    }
    return best;
}

bool WithinDistance(const Vector3 &p, const Vector3 &q, double r) { return ExactMagnitude(Sub(p, q)) <= r; }

int32_t ClassifyPointFlags(const Vector3 &planePoint, const Vector3 &point, const Vector3 &normal) {
    constexpr double kBand = double{0.001f};
    const double s = Dot(Sub(point, planePoint), normal);
    if (s < -kBand) return kPointBehind;
    if (s > kBand) return kPointInFront;
    return kPointOnPlane;
}

namespace {

inline Vector3 DivideByRadii(const Vector3 &p, const Vector3 &radii) {
    return {ToF(double{p.x} / radii.x), ToF(double{p.y} / radii.y), ToF(double{p.z} / radii.z)};
}

// Steps shared by both swept tests once the unit-space triangle (a, b, c) and
// its unit normal n are known: find the first contact along the unit velocity
// nv and record it when it is the nearest so far within vlen.
void SweepTriangle(CollisionBody &body, const Vector3 &pos, const Vector3 &nv, double vlen, const Vector3 &a,
                   const Vector3 &b, const Vector3 &c, const Vector3 &n) {
    if (Dot(n, nv) > 1.0) return;
    const Vector3 p = Sub(pos, n);  // the sphere point facing the plane
    Vector3 spherePoint = p;
    Vector3 x;
    double tHit;
    if (ClassifyPointFlags(p, a, n) == kPointInFront) {
        // The plane already cuts the sphere: project straight onto it.
        tHit = RayPlaneDistance(p, n, a, n);
        x = AddScaled(p, n, tHit);
    } else {
        tHit = RayPlaneDistance(p, nv, a, n);
        x = AddScaled(p, nv, tHit);
    }
    Vector3 polygonPoint;
    if (PointInTriangleExact(x, a, b, c)) {
        polygonPoint = x;
    } else {
        // The plane contact misses the triangle: sweep the nearest outline
        // point backwards against the sphere instead.
        polygonPoint = ClosestPointOnTriangleEdges(a, b, c, x);
        const double t2 = RaySphereDistance(polygonPoint, Negate(nv), pos, 1.0);
        tHit = t2;
        if (t2 > 0.0) spherePoint = SubScaled(polygonPoint, nv, t2);
    }
    if (WithinDistance(polygonPoint, pos, 1.0)) body.touching = 1;
    if (tHit > 0.0 && tHit <= vlen && (body.collided == 0 || tHit < body.distance)) {
        body.distance = tHit;
        body.spherePoint = spherePoint;
        body.polygonPoint = polygonPoint;
        body.collided = 1;
    }
}

struct Sweep {
    Vector3 pos, nv, radii;
    double vlen;
    explicit Sweep(const CollisionBody &body)
        : pos(body.position), nv(DivideBy(body.velocity, ExactMagnitude(body.velocity))), radii(body.radii),
          vlen(ExactMagnitude(body.velocity)) {}
};

}  // namespace

void CheckForCollision3(CollisionBody &body, std::span<const Poly> polys) {
    // A zero velocity gives a NaN direction, which records no hit.
    const Sweep s(body);
    for (const Poly &poly : polys) {
        const Vector3 a = DivideByRadii(poly.corner[0].position, s.radii);
        const Vector3 b = DivideByRadii(poly.corner[1].position, s.radii);
        const Vector3 c = DivideByRadii(poly.corner[2].position, s.radii);
        SweepTriangle(body, s.pos, s.nv, s.vlen, a, b, c, TriangleNormal(a, b, c));
    }
}

// Why a triangle far from the swept body can be skipped. A triangle changes
// the body only through its polygonPoint Q: touching needs |Q - pos| <= 1; a
// record needs tHit in (0, vlen], and tHit is either the ray parameter t of
// the plane contact X = pos - N + dir t (dir = N or nv, |N| = |nv| = 1), so
// |X - pos| <= 1 + vlen, or the backward ray distance from an outline point Q
// to the unit sphere, which needs |Q - pos|^2 <= 1 + (vlen + 1)^2. So Q lies
// within reach = vlen + 2 of pos, on the outline or, for X, where the angle
// sum passes: FarTriangles (far_triangles.h) proves neither for far ones.

void CheckCollision(CollisionBody &body, std::span<const Poly> polys) {
    const Sweep s(body);
    const Vector3 &r = body.radii;
    const bool radiiUsable = std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z) && r.x != 0.0f &&
                             r.y != 0.0f && r.z != 0.0f;
    // The unit-space corners are float(p / r): p * (1 / r) in double is within
    // the slack of them.
    const FarTriangles far(body.position, {1.0 / r.x, 1.0 / r.y, 1.0 / r.z}, (s.vlen + 2.0) * (1.0 + 1e-6),
                           radiiUsable && std::isfinite(s.vlen) && s.vlen < 1e15);
    for (const Poly &poly : polys) {
        if (far.Skip(poly)) continue;
        const Vector3 a = DivideByRadii(poly.corner[0].position, s.radii);
        const Vector3 b = DivideByRadii(poly.corner[1].position, s.radii);
        const Vector3 c = DivideByRadii(poly.corner[2].position, s.radii);
        const Vector3 e1 = Sub(b, a), e2 = Sub(c, a);
        if (IsZero(e1) || IsZero(e2)) continue;
        const Vector3 cross = Cross(e1, e2);
        SweepTriangle(body, s.pos, s.nv, s.vlen, a, b, c, DivideBy(cross, ExactMagnitude(cross)));
    }
}

void CheckForCollision4(CollisionBody &body, std::span<const Poly> polys) {
    for (const Poly &poly : polys) {
        const Vector3 &p0 = poly.corner[0].position;
        const Vector3 n = TriangleNormal(p0, poly.corner[1].position, poly.corner[2].position);
        const Vector3 pos = body.position;
        const Vector3 low = Sub(pos, n);
        if (ClassifyPointFlags(low, p0, n) != kPointInFront) continue;
        // The plane must also lie below the sphere's far pole: a centre far
        // behind the plane is not reached by the unit sphere and stays put.
        if (ClassifyPointFlags(Add(pos, n), p0, n) != kPointBehind) continue;
        body.position = AddScaled(low, n, RayPlaneDistance(low, n, p0, n));
        body.distance = 100.0;
        body.collided = 1;
        return;
    }
}

}  // namespace vesk
