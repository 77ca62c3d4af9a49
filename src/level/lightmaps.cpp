#include "level/lightmaps.h"

#include <cmath>
#include <cstring>

#include "geometry/primitives.h"
#include "geometry/vector_ops.h"

namespace vesk {
namespace {

enum class Axis { YZ, XZ, XY };

struct Projection {
    Axis axis;
    float u[3], v[3];
    float uMin, uMax, vMin, vMax;
};

Projection Project(const Poly &t, const Vector3 &n) {
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    Projection p{};
    p.axis = (ax > ay && ax > az) ? Axis::YZ : (ay > ax && ay > az) ? Axis::XZ : Axis::XY;
    for (int k = 0; k < 3; ++k) {
        const Vector3 &q = t.corner[k].position;
        p.u[k] = p.axis == Axis::YZ ? q.y : q.x;
        p.v[k] = p.axis == Axis::XY ? q.y : q.z;
    }
    p.uMin = std::fmin(p.u[0], std::fmin(p.u[1], p.u[2]));
    p.uMax = std::fmax(p.u[0], std::fmax(p.u[1], p.u[2]));
    p.vMin = std::fmin(p.v[0], std::fmin(p.v[1], p.v[2]));
    p.vMax = std::fmax(p.v[0], std::fmax(p.v[1], p.v[2]));
    return p;
}

// A point of the rectangle completed onto the triangle's plane.
Vector3 OnPlane(Axis axis, const Vector3 &n, double d, float u, float v) {
    switch (axis) {
        case Axis::YZ: return {ToF(-(n.y * double{u} + n.z * double{v} + d) / n.x), u, v};
        case Axis::XZ: return {u, ToF(-(n.x * double{u} + n.z * double{v} + d) / n.y), v};
        default: return {u, v, ToF(-(n.x * double{u} + n.y * double{v} + d) / n.z)};
    }
}

// A coordinate with no extent to divide by, or not finite, is 0.
float LightmapCoord(float value, float lo, float hi) {
    const float range = hi - lo;
    if (!(range != 0.0f)) return 0.0f;
    const float c = (value - lo) / range;
    return std::isfinite(c) ? c : 0.0f;
}

// Clamped to 0..255: a negative sum (negative intensity or colour) is dark,
// not wrapped to a bright byte; NaN is 0.
uint8_t ChannelByte(double sum) {
    if (!(sum > 0.0)) return 0;
    if (sum > 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int32_t>(sum));
}

void LightTriangle(Poly &t, std::span<const LightmapLight> lights, uint8_t *out, bool writeCoords) {
    const Vector3 &p0 = t.corner[0].position;
    const Vector3 n = SafeNormalize(PolyNormal(t));
    const double d = PlaneDistance(n, p0);
    const Projection pr = Project(t, n);
    if (writeCoords)
        for (int k = 0; k < 3; ++k) {
            t.corner[k].u2 = LightmapCoord(pr.u[k], pr.uMin, pr.uMax);
            t.corner[k].v2 = LightmapCoord(pr.v[k], pr.vMin, pr.vMax);
        }
    std::memset(out, 0, kLightmapBytes);
    if (IsZero(n)) return;  // no plane to light
    const Vector3 o = OnPlane(pr.axis, n, d, pr.uMin, pr.vMin);
    const Vector3 a = OnPlane(pr.axis, n, d, pr.uMax, pr.vMin);
    const Vector3 b = OnPlane(pr.axis, n, d, pr.uMin, pr.vMax);
    const Vector3 ea = Sub(a, o), eb = Sub(b, o);
    // Only lights in front of the plane take part; the test does not depend on the lumel.
    LightmapLight lit[64];
    size_t litCount = 0;
    double sums[kLumels * kLumels][3] = {};
    auto flush = [&] {
        for (int i = 0; i < kLumels; ++i)
            for (int j = 0; j < kLumels; ++j) {
                const Vector3 x = AddScaled(AddScaled(o, ea, i * 0.0625), eb, j * 0.0625);
                double *s = sums[kLumels * i + j];
                for (size_t l = 0; l < litCount; ++l) {
                    const LightmapLight &light = lit[l];
                    const Vector3 diff = Sub(light.position, x);
                    double dist = ExactMagnitude(diff);
                    if (dist == 0.0) dist = 1.0;
                    const double c = Dot(n, diff) / dist;
                    if (dist < light.radius) {
                        const double f = c * light.intensity / dist;
                        s[0] += f * light.red;
                        s[1] += f * light.green;
                        s[2] += f * light.blue;
                    }
                }
            }
        litCount = 0;
    };
    for (const LightmapLight &light : lights) {
        if (ClassifyPoint(light.position, p0, n) != 1) continue;
        lit[litCount++] = light;
        if (litCount == 64) flush();
    }
    flush();
    for (int m = 0; m < kLumels * kLumels; ++m)
        for (int c = 0; c < 3; ++c) out[3 * m + c] = ChannelByte(std::fmin(sums[m][c], 255.0));
}

}  // namespace

void CreateLightmaps(std::span<Poly> triangles, std::span<const LightmapLight> lights, uint8_t *output,
                     bool writeCoords) {
    if (output == nullptr) return;
    for (size_t p = 0; p < triangles.size(); ++p)
        LightTriangle(triangles[p], lights, output + kLightmapBytes * p, writeCoords);
}

void CreateLightmaps(std::span<const Poly> triangles, std::span<const LightmapLight> lights, uint8_t *output) {
    if (output == nullptr) return;
    for (size_t p = 0; p < triangles.size(); ++p) {
        Poly copy = triangles[p];
        LightTriangle(copy, lights, output + kLightmapBytes * p, false);
    }
}

}  // namespace vesk
