// The small vector toolkit shared by the geometry, collision and level code.
// Components stay singles; scalars (dot products, lengths, ray parameters)
// are doubles, and a vector built from them rounds each component once.
#pragma once

#include <VeskMathLIB.h>

#include <cmath>

#include "math/scalar.h"

namespace vesk {

inline float ToF(double v) { return static_cast<float>(v); }

inline Vector3 Sub(const Vector3 &a, const Vector3 &b) {
    return {ToF(double{a.x} - b.x), ToF(double{a.y} - b.y), ToF(double{a.z} - b.z)};
}
inline Vector3 Add(const Vector3 &a, const Vector3 &b) {
    return {ToF(double{a.x} + b.x), ToF(double{a.y} + b.y), ToF(double{a.z} + b.z)};
}
inline Vector3 Negate(const Vector3 &v) { return {-v.x, -v.y, -v.z}; }
inline Vector3 Scale(const Vector3 &v, double s) {
    return {ToF(v.x * s), ToF(v.y * s), ToF(v.z * s)};
}
// a + v * s, each component rounded once.
inline Vector3 AddScaled(const Vector3 &a, const Vector3 &v, double s) {
    return {ToF(a.x + v.x * s), ToF(a.y + v.y * s), ToF(a.z + v.z * s)};
}
// a - v * s, each component rounded once.
inline Vector3 SubScaled(const Vector3 &a, const Vector3 &v, double s) {
    return {ToF(a.x - v.x * s), ToF(a.y - v.y * s), ToF(a.z - v.z * s)};
}
inline Vector3 DivideBy(const Vector3 &v, double s) {
    return {ToF(v.x / s), ToF(v.y / s), ToF(v.z / s)};
}
inline bool IsZero(const Vector3 &v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

inline double Dot(const Vector3 &a, const Vector3 &b) {
    return double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z;
}

inline Vector3 Cross(const Vector3 &a, const Vector3 &b) {
    return {ToF(double{a.y} * b.z - double{a.z} * b.y), ToF(double{a.z} * b.x - double{a.x} * b.z),
            ToF(double{a.x} * b.y - double{a.y} * b.x)};
}

// Fast length: InverseSqrt(s) * s of the squared length rounded to a single.
inline float FastMagnitude(const Vector3 &v) {
    const float s = ToF(Dot(v, v));
    if (s == 0.0f) return 0.0f;
    return ToF(double{InverseSqrt(s)} * s);
}

// No guard: a zero vector gives NaN components, which callers rely on to
// reject degenerate triangles.
inline Vector3 FastNormalize(const Vector3 &v) { return DivideBy(v, FastMagnitude(v)); }

inline float FastDistance(const Vector3 &p, const Vector3 &q) { return FastMagnitude(Sub(q, p)); }

inline double ExactMagnitude(const Vector3 &v) { return std::sqrt(Dot(v, v)); }

// The zero vector stays zero.
inline Vector3 SafeNormalize(const Vector3 &v) {
    const double m = ExactMagnitude(v);
    return DivideBy(v, m == 0.0 ? 1.0 : m);
}

// d of the plane normal . X + d = 0 through point.
inline double PlaneDistance(const Vector3 &normal, const Vector3 &point) { return -Dot(normal, point); }

// Unit normal of (p2 - p0) x (p1 - p0); NaN for a degenerate triangle.
inline Vector3 TriangleNormal(const Vector3 &p0, const Vector3 &p1, const Vector3 &p2) {
    return FastNormalize(Cross(Sub(p2, p0), Sub(p1, p0)));
}

}  // namespace vesk
