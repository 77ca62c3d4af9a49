#include "math/vector.h"

#include <cmath>

#include "math/scalar.h"

namespace vesk {
namespace {
inline float F(double v) { return static_cast<float>(v); }
inline double D(float v) { return static_cast<double>(v); }
}  // namespace

void VectorSet(Vector3 &v, float x, float y, float z) { v = {x, y, z}; }

float VectorDotProduct(const Vector3 &a, const Vector3 &b) {
    return F((D(a.z) * b.z + D(a.y) * b.y) + D(a.x) * b.x);
}

float FDotProduct(const Vector3 &a, const Vector3 &b) {
    return F((D(a.x) * b.x + D(a.y) * b.y) + D(a.z) * b.z);
}

void VectorCrossProduct(const Vector3 &a, const Vector3 &b, Vector3 &out) {
    const Vector3 r{F(D(a.y) * b.z - D(a.z) * b.y), F(D(a.z) * b.x - D(a.x) * b.z), F(D(a.x) * b.y - D(a.y) * b.x)};
    out = r;
}

float VectorNormalize(Vector3 &v) {
    const float s = F(D(v.x) * v.x + D(v.y) * v.y + D(v.z) * v.z);
    const float length = F(std::sqrt(D(s)));
    if (!(length != 0.0f) || std::isnan(length)) return 0.0f;
    const double r = 1.0 / D(length);
    v = {F(D(v.x) * r), F(D(v.y) * r), F(D(v.z) * r)};
    return length;
}

void VectorScale(const Vector3 &v, float s, Vector3 &out) { out = {F(D(s) * v.x), F(D(s) * v.y), F(D(s) * v.z)}; }

float VectorLength(const Vector3 &v) {
    const float d = VectorDotProduct(v, v);
    if (!(d != 0.0f) || std::isnan(d)) return 0.0f;
    return F(D(InverseSqrt(d)) * d);
}

void VectorSubtract(const Vector3 &a, const Vector3 &b, Vector3 &out) {
    out = {F(D(a.x) - b.x), F(D(a.y) - b.y), F(D(a.z) - b.z)};
}

void VectorAdd(const Vector3 &a, const Vector3 &b, Vector3 &out) {
    out = {F(D(a.x) + b.x), F(D(a.y) + b.y), F(D(a.z) + b.z)};
}

void VectorMA(const Vector3 &a, float s, const Vector3 &b, Vector3 &out) {
    out = {F(D(a.x) + D(s) * b.x), F(D(a.y) + D(s) * b.y), F(D(a.z) + D(s) * b.z)};
}

void VectorInverse(Vector3 &v) { v = {-v.x, -v.y, -v.z}; }

float VectorDistanceBetween(const Vector3 &a, const Vector3 &b) {
    Vector3 t;
    VectorSubtract(a, b, t);
    return VectorLength(t);
}

void VectorRotateAroundPoint(const Vector3 &point, const Vector3 &center, float angleX, float angleY, float angleZ,
                             Vector3 &out) {
    // Every step rotates the original offset; out's unwritten parts stay.
    Vector3 d;
    VectorSubtract(point, center, d);
    const Vector3 c0 = center;
    if (angleX != 0.0f) {
        const double c = FastCos(angleX), s = FastSin(angleX);
        out.z = F(D(c0.z) + (s * d.y + c * d.z));
        out.y = F((D(c0.y) + c * d.y) - s * d.z);
    }
    if (angleY != 0.0f) {
        const double c = FastCos(angleY), s = FastSin(angleY);
        out.z = F(D(c0.z) + (s * d.x + c * d.z));
        out.x = F((D(c0.x) + c * d.x) - s * d.z);
    }
    if (angleZ != 0.0f) {
        const double c = FastCos(angleZ), s = FastSin(angleZ);
        out.x = F(D(c0.x) + (c * d.x + s * d.y));
        out.y = F((D(c0.y) + c * d.y) - s * d.x);
    }
}

}  // namespace vesk
