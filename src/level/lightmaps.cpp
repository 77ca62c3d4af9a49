#include "level/lightmaps.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

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
// not wrapped to a bright byte; NaN is 255 (fmin(NaN, 255) has always been 255).
inline uint8_t LumelByte(double sum) {
    if (sum >= 255.0 || sum != sum) return 255;
    if (!(sum > 0.0)) return 0;
    return static_cast<uint8_t>(static_cast<int32_t>(sum));
}

// The lumel positions of one triangle, a lane each, and their channel sums.
struct alignas(16) Lumels {
    float x[kLumels * kLumels], y[kLumels * kLumels], z[kLumels * kLumels];
    double sum[3][kLumels * kLumels];
};

// Whether no lumel inside [lo, hi] can be closer than the radius. Each lumel
// difference L - X is at least L - hi (or X - L at least lo - L) after the
// same rounding, which is monotonic, and so is the squared sum and the root:
// every lumel's dist is at least the box's, and a light with dist >= radius
// adds nothing (nor with a NaN position or radius).
bool OutOfReach(const LightmapLight &light, const float (&lo)[3], const float (&hi)[3]) {
    const float l[3] = {light.position.x, light.position.y, light.position.z};
    double g[3];
    for (int k = 0; k < 3; ++k) {
        const float gap = l[k] > hi[k] ? l[k] - hi[k] : l[k] < lo[k] ? lo[k] - l[k] : 0.0f;
        g[k] = gap;
    }
    const double dist = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    return !(dist < light.radius);
}

// One light over every lumel, two lanes of doubles at a time: the scalar
// steps in their order, and a lane outside the radius adds +0, which leaves
// every sum as it was (a sum starts at +0 and never becomes -0).
void AddLight(Lumels &lm, const Vector3 &n, const LightmapLight &light) {
    const __m128 lx = _mm_set1_ps(light.position.x), ly = _mm_set1_ps(light.position.y),
                 lz = _mm_set1_ps(light.position.z);
    const __m128d nx = _mm_set1_pd(n.x), ny = _mm_set1_pd(n.y), nz = _mm_set1_pd(n.z);
    const __m128d one = _mm_set1_pd(1.0), zero = _mm_setzero_pd(), radius = _mm_set1_pd(light.radius),
                  intensity = _mm_set1_pd(light.intensity);
    const __m128d colour[3] = {_mm_set1_pd(light.red), _mm_set1_pd(light.green), _mm_set1_pd(light.blue)};
    for (int m = 0; m < kLumels * kLumels; m += 4) {
        // Single differences, as Sub rounds them.
        const __m128 dx4 = _mm_sub_ps(lx, _mm_load_ps(lm.x + m)), dy4 = _mm_sub_ps(ly, _mm_load_ps(lm.y + m)),
                     dz4 = _mm_sub_ps(lz, _mm_load_ps(lm.z + m));
        for (int h = 0; h < 2; ++h) {
            const __m128d dx = _mm_cvtps_pd(h ? _mm_movehl_ps(dx4, dx4) : dx4);
            const __m128d dy = _mm_cvtps_pd(h ? _mm_movehl_ps(dy4, dy4) : dy4);
            const __m128d dz = _mm_cvtps_pd(h ? _mm_movehl_ps(dz4, dz4) : dz4);
            __m128d dist = _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy)), _mm_mul_pd(dz, dz)));
            const __m128d atLight = _mm_cmpeq_pd(dist, zero);
            dist = _mm_or_pd(_mm_andnot_pd(atLight, dist), _mm_and_pd(atLight, one));
            const __m128d near = _mm_cmplt_pd(dist, radius);
            if (_mm_movemask_pd(near) == 0) continue;
            const __m128d dot = _mm_add_pd(_mm_add_pd(_mm_mul_pd(nx, dx), _mm_mul_pd(ny, dy)), _mm_mul_pd(nz, dz));
            const __m128d f = _mm_div_pd(_mm_mul_pd(_mm_div_pd(dot, dist), intensity), dist);
            const int at = m + 2 * h;
            for (int c = 0; c < 3; ++c) {
                const __m128d add = _mm_and_pd(near, _mm_mul_pd(f, colour[c]));
                _mm_store_pd(lm.sum[c] + at, _mm_add_pd(_mm_load_pd(lm.sum[c] + at), add));
            }
        }
    }
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
    Lumels lm;
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (int i = 0; i < kLumels; ++i)
        for (int j = 0; j < kLumels; ++j) {
            const Vector3 x = AddScaled(AddScaled(o, ea, i * 0.0625), eb, j * 0.0625);
            const int m = kLumels * i + j;
            lm.x[m] = x.x, lm.y[m] = x.y, lm.z[m] = x.z;
            // A NaN lumel is left out of the box: it is lit by nothing anyway.
            const float c[3] = {x.x, x.y, x.z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = c[k] < lo[k] ? c[k] : lo[k];
                hi[k] = c[k] > hi[k] ? c[k] : hi[k];
            }
        }
    for (double(&channel)[kLumels * kLumels] : lm.sum) std::fill(std::begin(channel), std::end(channel), 0.0);
    // Only lights in front of the plane take part; the test does not depend on the lumel.
    for (const LightmapLight &light : lights) {
        if (ClassifyPoint(light.position, p0, n) != 1) continue;
        if (OutOfReach(light, lo, hi)) continue;
        AddLight(lm, n, light);
    }
    for (int m = 0; m < kLumels * kLumels; ++m)
        for (int c = 0; c < 3; ++c) out[3 * m + c] = LumelByte(lm.sum[c][m]);
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
