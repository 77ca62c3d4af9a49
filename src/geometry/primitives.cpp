#include "geometry/primitives.h"

#include <algorithm>
#include <cmath>

namespace vesk {

float IntersectRayPlane(const Vector3 &origin, const Vector3 &direction, const Vector3 &planePoint,
                        const Vector3 &planeNormal) {
    const double den = Dot(planeNormal, direction);
    if (den == 0.0) return -1.0f;
    return ToF(-(Dot(planeNormal, origin) - Dot(planeNormal, planePoint)) / den);
}

float IntersectRaySphere(const Vector3 &origin, const Vector3 &direction, const Vector3 &center, float radius) {
    const Vector3 d = Sub(center, origin);
    const double length = ToF(ExactMagnitude(d));
    const double v = Dot(d, direction);
    const double disc = double{radius} * radius - (length * length - v * v);
    if (disc < 0.0) return -1.0f;
    return ToF(v - std::sqrt(disc));
}

namespace {
double ClampedAngle(const Vector3 &u, const Vector3 &w) {
    double x = Dot(u, w);
    if (x < -1.0) x = -1.0;
    if (x > 1.0) x = 1.0;
    return std::acos(x);
}
}  // namespace

bool CheckPointInTriangle(const Vector3 &p, const Vector3 &a, const Vector3 &b, const Vector3 &c) {
    const Vector3 u1 = SafeNormalize(Sub(p, a));
    const Vector3 u2 = SafeNormalize(Sub(p, b));
    const Vector3 u3 = SafeNormalize(Sub(p, c));
    const double sum = ClampedAngle(u1, u2) + ClampedAngle(u2, u3) + ClampedAngle(u3, u1);
    // Slightly below 2 pi, as the angle sum has always been compared.
    return std::fabs(sum - 6.28318491754288) <= 0.005;
}

Vector3 ClosestPointOnLine(const Vector3 &a, const Vector3 &b, const Vector3 &p) {
    const Vector3 ab = Sub(b, a);
    const double length = ExactMagnitude(ab);
    const Vector3 dir = SafeNormalize(ab);
    const double t = Dot(Sub(p, a), dir);
    if (t < 0.0) return a;
    if (t > length) return b;
    return AddScaled(a, dir, t);
}

Vector3 ClosestPointOnPolygon(const Vector3 &a, const Vector3 &b, const Vector3 &c, const Vector3 &p) {
    const Vector3 candidates[3] = {ClosestPointOnLine(a, c, p), ClosestPointOnLine(c, b, p),
                                   ClosestPointOnLine(b, a, p)};
    Vector3 best = candidates[0];
    double bestDistance = ExactMagnitude(Sub(p, best));
    for (int i = 1; i < 3; ++i) {
        const double d = ExactMagnitude(Sub(p, candidates[i]));
        if (d < bestDistance) {
            best = candidates[i];
            bestDistance = d;
        }
    }
    return best;
}

bool CheckPointInSphere(const Vector3 &p, const Vector3 &center, float radius) {
    return ExactMagnitude(Sub(p, center)) <= radius;
}

Vector3 TangentPlaneNormalOfEllipsoid(const Vector3 &p, const Vector3 &center, const Vector3 &radii) {
    const Vector3 d = Sub(p, center);
    const Vector3 g{ToF(d.x / (double{radii.x} * radii.x)), ToF(d.y / (double{radii.y} * radii.y)),
                    ToF(d.z / (double{radii.z} * radii.z))};
    return SafeNormalize(g);
}

int32_t ClassifyPoint(const Vector3 &planePoint, const Vector3 &point, const Vector3 &normal) {
    const double s = Dot(Sub(point, planePoint), normal);
    if (s < -kOnPlaneBand) return 1;
    if (s > kOnPlaneBand) return -1;
    return 0;
}

void SetPolyNormal(std::span<Poly> polys) {
    for (Poly &poly : polys) {
        const Vector3 n = PolyNormal(poly);
        for (PolyVertex &corner : poly.corner) corner.normal = n;
    }
}

// Each source record is read whole before its output is written, so an
// output array laid over the source array compacts it in place.
void BuildFromPoly(std::span<const Poly> polys, PolyFlatShort *out) {
    for (size_t i = 0; i < polys.size(); ++i) {
        const Poly src = polys[i];
        const Vector3 n = PolyNormal(src);
        PolyFlatShort flat;
        for (int k = 0; k < 3; ++k)
            flat.corner[k] = {src.corner[k].position, n, src.corner[k].u, src.corner[k].v};
        out[i] = flat;
    }
}

void BuildFromPoly2(std::span<const Poly> polys, PolyFlat *out) {
    for (size_t i = 0; i < polys.size(); ++i) {
        const Poly src = polys[i];
        const Vector3 n = PolyNormal(src);
        PolyFlat flat;
        for (int k = 0; k < 3; ++k) {
            flat.corner[k] = src.corner[k];
            flat.corner[k].normal = n;
        }
        out[i] = flat;
    }
}

}  // namespace vesk
