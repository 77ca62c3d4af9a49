#include "level/lightmaps.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
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

// Not on Windows, where GCC cannot align the stack for 32- or 64-byte spills.
#if defined(__GNUC__) && !defined(_WIN32)
#define VESK_LIGHTMAP_AVX 1
constexpr size_t kLumelAlign = 64;
#else
constexpr size_t kLumelAlign = 16;
#endif

// The lumel positions of one triangle, a lane each, and their channel sums.
struct alignas(kLumelAlign) Lumels {
    float x[kLumels * kLumels], y[kLumels * kLumels], z[kLumels * kLumels];
    alignas(kLumelAlign) double sum[3][kLumels * kLumels];
};

// A light that reaches the triangle, as the lanes read it.
struct LitLight {
    float x, y, z;
    double radius, intensity, colour[3];
};

// Lumel (i, j) at AddScaled(AddScaled(o, ea, i / 16), eb, j / 16), as the
// scalar rounds it: the inner point once per row, eb * (j / 16) once per
// column, their double sum rounded to a single in lanes. The box leaves out
// NaN lumels (min(x, lo) keeps lo for a NaN x): they are lit by nothing.
void PlaceLumels(Lumels &lm, const Vector3 &o, const Vector3 &ea, const Vector3 &eb, float (&lo)[3], float (&hi)[3]) {
    alignas(16) double step[3][kLumels];
    for (int j = 0; j < kLumels; ++j) {
        step[0][j] = eb.x * (j * 0.0625);
        step[1][j] = eb.y * (j * 0.0625);
        step[2][j] = eb.z * (j * 0.0625);
    }
    float *lanes[3] = {lm.x, lm.y, lm.z};
    for (int k = 0; k < 3; ++k) {
        __m128 low = _mm_set1_ps(INFINITY), high = _mm_set1_ps(-INFINITY);
        for (int i = 0; i < kLumels; ++i) {
            const Vector3 row = AddScaled(o, ea, i * 0.0625);
            const __m128d base = _mm_set1_pd(k == 0 ? row.x : k == 1 ? row.y : row.z);
            float *dst = lanes[k] + kLumels * i;
            for (int j = 0; j < kLumels; j += 4) {
                const __m128 x = _mm_movelh_ps(_mm_cvtpd_ps(_mm_add_pd(base, _mm_load_pd(step[k] + j))),
                                               _mm_cvtpd_ps(_mm_add_pd(base, _mm_load_pd(step[k] + j + 2))));
                _mm_store_ps(dst + j, x);
                low = _mm_min_ps(x, low);
                high = _mm_max_ps(x, high);
            }
        }
        alignas(16) float l[4], h[4];
        _mm_store_ps(l, low);
        _mm_store_ps(h, high);
        lo[k] = std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
        hi[k] = std::max(std::max(h[0], h[1]), std::max(h[2], h[3]));
    }
}

// Each sum as a byte: min(sum, 255) takes 255 for NaN, as fmin(NaN, 255)
// always has; then max(., 0) makes a negative sum (negative intensity or
// colour) dark instead of wrapping it to a bright byte; then truncation.
void WriteLumels(const Lumels &lm, uint8_t *out) {
    alignas(16) int32_t bytes[3][kLumels * kLumels + 2];
    const __m128d top = _mm_set1_pd(255.0), zero = _mm_setzero_pd();
    for (int c = 0; c < 3; ++c)
        for (int m = 0; m < kLumels * kLumels; m += 2) {
            const __m128d v = _mm_max_pd(_mm_min_pd(_mm_load_pd(lm.sum[c] + m), top), zero);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(bytes[c] + m), _mm_cvttpd_epi32(v));
        }
    for (int m = 0; m < kLumels * kLumels; ++m)
        for (int c = 0; c < 3; ++c) out[3 * m + c] = static_cast<uint8_t>(bytes[c][m]);
}

// Whether no lumel inside [lo, hi] can be closer than the radius. Each lumel
// difference L - X is at least L - hi (or X - L at least lo - L) after the
// same rounding, which is monotonic, and so is the squared sum and the root:
// every lumel's dist is at least the box's, and a light with dist >= radius
// adds nothing (nor does one with a NaN radius).
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
void AddLight(Lumels &lm, const Vector3 &n, const LitLight &light, bool first) {
    const __m128 lx = _mm_set1_ps(light.x), ly = _mm_set1_ps(light.y), lz = _mm_set1_ps(light.z);
    const __m128d nx = _mm_set1_pd(n.x), ny = _mm_set1_pd(n.y), nz = _mm_set1_pd(n.z);
    const __m128d one = _mm_set1_pd(1.0), zero = _mm_setzero_pd(), radius = _mm_set1_pd(light.radius),
                  intensity = _mm_set1_pd(light.intensity);
    const __m128d colour[3] = {_mm_set1_pd(light.colour[0]), _mm_set1_pd(light.colour[1]),
                               _mm_set1_pd(light.colour[2])};
    for (int m = 0; m < kLumels * kLumels; m += 4) {
        // Single differences, as Sub rounds them.
        const __m128 dx4 = _mm_sub_ps(lx, _mm_load_ps(lm.x + m)), dy4 = _mm_sub_ps(ly, _mm_load_ps(lm.y + m)),
                     dz4 = _mm_sub_ps(lz, _mm_load_ps(lm.z + m));
        for (int h = 0; h < 2; ++h) {
            const __m128d dx = _mm_cvtps_pd(h ? _mm_movehl_ps(dx4, dx4) : dx4);
            const __m128d dy = _mm_cvtps_pd(h ? _mm_movehl_ps(dy4, dy4) : dy4);
            const __m128d dz = _mm_cvtps_pd(h ? _mm_movehl_ps(dz4, dz4) : dz4);
            __m128d dist =
                _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy)), _mm_mul_pd(dz, dz)));
            const __m128d atLight = _mm_cmpeq_pd(dist, zero);
            dist = _mm_or_pd(_mm_andnot_pd(atLight, dist), _mm_and_pd(atLight, one));
            const __m128d near = _mm_cmplt_pd(dist, radius);
            const int at = m + 2 * h;
            if (_mm_movemask_pd(near) == 0) {
                if (first)
                    for (double *sum : lm.sum) _mm_store_pd(sum + at, zero);
                continue;
            }
            const __m128d dot = _mm_add_pd(_mm_add_pd(_mm_mul_pd(nx, dx), _mm_mul_pd(ny, dy)), _mm_mul_pd(nz, dz));
            const __m128d f = _mm_div_pd(_mm_mul_pd(_mm_div_pd(dot, dist), intensity), dist);
            for (int c = 0; c < 3; ++c) {
                const __m128d add = _mm_and_pd(near, _mm_mul_pd(f, colour[c]));
                const __m128d prior = first ? zero : _mm_load_pd(lm.sum[c] + at);
                _mm_store_pd(lm.sum[c] + at, _mm_add_pd(prior, add));
            }
        }
    }
}

// The lights in their order, one at a time over every lumel; the first one
// starts every sum at +0.
template <void (*kAddLight)(Lumels &, const Vector3 &, const LitLight &, bool)>
void AddEachLight(Lumels &lm, const Vector3 &n, const LitLight *lights, size_t count, bool first) {
    for (size_t l = 0; l < count; ++l) kAddLight(lm, n, lights[l], first && l == 0);
}

#ifdef VESK_LIGHTMAP_AVX
// The same steps four lanes at a time where the processor has AVX (the
// same IEEE operations, so the same bits; no FMA is enabled here).
__attribute__((target("avx"))) void AddLightAvx(Lumels &lm, const Vector3 &n, const LitLight &light, bool first) {
    const __m128 lx = _mm_set1_ps(light.x), ly = _mm_set1_ps(light.y), lz = _mm_set1_ps(light.z);
    const __m256d nx = _mm256_set1_pd(n.x), ny = _mm256_set1_pd(n.y), nz = _mm256_set1_pd(n.z);
    const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd(), radius = _mm256_set1_pd(light.radius),
                  intensity = _mm256_set1_pd(light.intensity);
    const __m256d colour[3] = {_mm256_set1_pd(light.colour[0]), _mm256_set1_pd(light.colour[1]),
                               _mm256_set1_pd(light.colour[2])};
    for (int m = 0; m < kLumels * kLumels; m += 4) {
        const __m256d dx = _mm256_cvtps_pd(_mm_sub_ps(lx, _mm_load_ps(lm.x + m)));
        const __m256d dy = _mm256_cvtps_pd(_mm_sub_ps(ly, _mm_load_ps(lm.y + m)));
        const __m256d dz = _mm256_cvtps_pd(_mm_sub_ps(lz, _mm_load_ps(lm.z + m)));
        __m256d dist = _mm256_sqrt_pd(
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)), _mm256_mul_pd(dz, dz)));
        const __m256d atLight = _mm256_cmp_pd(dist, zero, _CMP_EQ_OQ);
        dist = _mm256_blendv_pd(dist, one, atLight);
        const __m256d near = _mm256_cmp_pd(dist, radius, _CMP_LT_OQ);
        if (_mm256_movemask_pd(near) == 0) {
            if (first)
                for (double *sum : lm.sum) _mm256_store_pd(sum + m, zero);
            continue;
        }
        const __m256d dot =
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(nx, dx), _mm256_mul_pd(ny, dy)), _mm256_mul_pd(nz, dz));
        const __m256d f = _mm256_div_pd(_mm256_mul_pd(_mm256_div_pd(dot, dist), intensity), dist);
        for (int c = 0; c < 3; ++c) {
            const __m256d add = _mm256_and_pd(near, _mm256_mul_pd(f, colour[c]));
            const __m256d prior = first ? zero : _mm256_load_pd(lm.sum[c] + m);
            _mm256_store_pd(lm.sum[c] + m, _mm256_add_pd(prior, add));
        }
    }
}

// In the AVX-512 loops, zero-masked forms under a full mask stand for plain
// ones that GCC 12 writes with an undefined register its warnings flag.

// Eight lanes where the processor has AVX-512, sixteen lumels at a time with
// their sums in registers through every light; a lane outside the radius is
// left as it was, as the scalar skips it. The divisions and the root bound
// the speed, which halves where 512-bit lanes divide at twice the 256-bit rate.
__attribute__((target("avx512f"))) void AddLightsAvx512(Lumels &lm, const Vector3 &n, const LitLight *lights,
                                                        size_t count, bool first) {
    const __m512d nx = _mm512_set1_pd(n.x), ny = _mm512_set1_pd(n.y), nz = _mm512_set1_pd(n.z);
    const __m512d one = _mm512_set1_pd(1.0), zero = _mm512_setzero_pd();
    for (int m = 0; m < kLumels * kLumels; m += 16) {
        __m256 x[2], y[2], z[2];
        __m512d sum[2][3];
        for (int h = 0; h < 2; ++h) {
            x[h] = _mm256_load_ps(lm.x + m + 8 * h);
            y[h] = _mm256_load_ps(lm.y + m + 8 * h);
            z[h] = _mm256_load_ps(lm.z + m + 8 * h);
            for (int c = 0; c < 3; ++c) sum[h][c] = first ? zero : _mm512_load_pd(lm.sum[c] + m + 8 * h);
        }
        for (size_t l = 0; l < count; ++l) {
            const LitLight &light = lights[l];
            const __m256 lx = _mm256_set1_ps(light.x), ly = _mm256_set1_ps(light.y), lz = _mm256_set1_ps(light.z);
            const __m512d radius = _mm512_set1_pd(light.radius);
            __m512d dx[2], dy[2], dz[2], dist[2];
            __mmask8 near[2];
            for (int h = 0; h < 2; ++h) {
                dx[h] = _mm512_maskz_cvtps_pd(0xFF, _mm256_sub_ps(lx, x[h]));
                dy[h] = _mm512_maskz_cvtps_pd(0xFF, _mm256_sub_ps(ly, y[h]));
                dz[h] = _mm512_maskz_cvtps_pd(0xFF, _mm256_sub_ps(lz, z[h]));
                dist[h] = _mm512_maskz_sqrt_pd(
                    0xFF, _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(dx[h], dx[h]), _mm512_mul_pd(dy[h], dy[h])),
                                        _mm512_mul_pd(dz[h], dz[h])));
                dist[h] = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(dist[h], zero, _CMP_EQ_OQ), dist[h], one);
                near[h] = _mm512_cmp_pd_mask(dist[h], radius, _CMP_LT_OQ);
            }
            if ((near[0] | near[1]) == 0) continue;
            const __m512d intensity = _mm512_set1_pd(light.intensity);
            for (int h = 0; h < 2; ++h) {
                const __m512d dot = _mm512_add_pd(
                    _mm512_add_pd(_mm512_mul_pd(nx, dx[h]), _mm512_mul_pd(ny, dy[h])), _mm512_mul_pd(nz, dz[h]));
                const __m512d f = _mm512_div_pd(_mm512_mul_pd(_mm512_div_pd(dot, dist[h]), intensity), dist[h]);
                for (int c = 0; c < 3; ++c)
                    sum[h][c] = _mm512_mask_add_pd(sum[h][c], near[h], sum[h][c],
                                                   _mm512_mul_pd(f, _mm512_set1_pd(light.colour[c])));
            }
        }
        for (int h = 0; h < 2; ++h)
            for (int c = 0; c < 3; ++c) _mm512_store_pd(lm.sum[c] + m + 8 * h, sum[h][c]);
    }
}

// PlaceLumels' steps sixteen lumels at a time, the inner points too.
__attribute__((target("avx512f"))) void PlaceLumelsAvx512(Lumels &lm, const Vector3 &o, const Vector3 &ea,
                                                          const Vector3 &eb, float (&lo)[3], float (&hi)[3]) {
    const __m512d sixteenth = _mm512_set1_pd(0.0625);
    const __m512d at[2] = {_mm512_mul_pd(_mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7), sixteenth),
                           _mm512_mul_pd(_mm512_setr_pd(8, 9, 10, 11, 12, 13, 14, 15), sixteenth)};
    const float origin[3] = {o.x, o.y, o.z}, across[3] = {ea.x, ea.y, ea.z}, down[3] = {eb.x, eb.y, eb.z};
    float *lanes[3] = {lm.x, lm.y, lm.z};
    for (int k = 0; k < 3; ++k) {
        // AddScaled(o, ea, i / 16) of each row, rounded to a single.
        alignas(64) double row[kLumels];
        __m512d step[2];
        for (int h = 0; h < 2; ++h) {
            const __m512d r =
                _mm512_add_pd(_mm512_set1_pd(origin[k]), _mm512_mul_pd(_mm512_set1_pd(across[k]), at[h]));
            _mm512_store_pd(row + 8 * h, _mm512_maskz_cvtps_pd(0xFF, _mm512_maskz_cvtpd_ps(0xFF, r)));
            step[h] = _mm512_mul_pd(_mm512_set1_pd(down[k]), at[h]);
        }
        __m256 low[2] = {_mm256_set1_ps(INFINITY), _mm256_set1_ps(INFINITY)},
               high[2] = {_mm256_set1_ps(-INFINITY), _mm256_set1_ps(-INFINITY)};
        for (int i = 0; i < kLumels; ++i)
            for (int h = 0; h < 2; ++h) {
                const __m256 x = _mm512_maskz_cvtpd_ps(0xFF, _mm512_add_pd(_mm512_set1_pd(row[i]), step[h]));
                _mm256_store_ps(lanes[k] + kLumels * i + 8 * h, x);
                low[h] = _mm256_min_ps(x, low[h]);
                high[h] = _mm256_max_ps(x, high[h]);
            }
        alignas(32) float l[16], u[16];
        _mm256_store_ps(l, low[0]), _mm256_store_ps(l + 8, low[1]);
        _mm256_store_ps(u, high[0]), _mm256_store_ps(u + 8, high[1]);
        lo[k] = *std::min_element(l, l + 16);
        hi[k] = *std::max_element(u, u + 16);
    }
}

// WriteLumels' steps, sixteen lumels at a time, the channels interleaved by
// byte shuffles.
__attribute__((target("avx512f"))) void WriteLumelsAvx512(const Lumels &lm, uint8_t *out) {
    // Output block t, byte p: lumel (16 t + p) / 3 of channel (16 t + p) % 3.
    alignas(16) static constexpr auto kPick = [] {
        std::array<std::array<std::array<uint8_t, 16>, 3>, 3> pick{};
        for (int t = 0; t < 3; ++t)
            for (int c = 0; c < 3; ++c)
                for (int p = 0; p < 16; ++p) {
                    const int q = 16 * t + p;
                    pick[t][c][p] = static_cast<uint8_t>(q % 3 == c ? q / 3 : 0x80);
                }
        return pick;
    }();
    const __m512d top = _mm512_set1_pd(255.0), zero = _mm512_setzero_pd();
    for (int m = 0; m < kLumels * kLumels; m += 16) {
        __m128i bytes[3];
        for (int c = 0; c < 3; ++c) {
            __m256i whole[2];
            for (int h = 0; h < 2; ++h) {
                const __m512d v = _mm512_load_pd(lm.sum[c] + m + 8 * h);
                whole[h] = _mm512_maskz_cvttpd_epi32(
                    0xFF, _mm512_maskz_max_pd(0xFF, _mm512_maskz_min_pd(0xFF, v, top), zero));
            }
            const __m512i both = _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(whole[0]), whole[1], 1);
            bytes[c] = _mm512_maskz_cvtepi32_epi8(0xFFFF, both);
        }
        for (int t = 0; t < 3; ++t) {
            __m128i block = _mm_setzero_si128();
            for (int c = 0; c < 3; ++c) {
                const __m128i pick = _mm_load_si128(reinterpret_cast<const __m128i *>(kPick[t][c].data()));
                block = _mm_or_si128(block, _mm_shuffle_epi8(bytes[c], pick));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * m + 16 * t), block);
        }
    }
}
#endif

// One lane width's forms of the lumel loops.
struct LumelLoops {
    void (*place)(Lumels &, const Vector3 &, const Vector3 &, const Vector3 &, float (&)[3], float (&)[3]);
    void (*addLights)(Lumels &, const Vector3 &, const LitLight *, size_t, bool);
    void (*write)(const Lumels &, uint8_t *);
};

LumelLoops ChooseLoops(LightmapLanes widest) {
#ifdef VESK_LIGHTMAP_AVX
    __builtin_cpu_init();  // this may run among the static constructors
    if (widest >= LightmapLanes::Avx512 && __builtin_cpu_supports("avx512f"))
        return {&PlaceLumelsAvx512, &AddLightsAvx512, &WriteLumelsAvx512};
    if (widest >= LightmapLanes::Avx && __builtin_cpu_supports("avx"))
        return {&PlaceLumels, &AddEachLight<&AddLightAvx>, &WriteLumels};
#endif
    (void)widest;
    return {&PlaceLumels, &AddEachLight<&AddLight>, &WriteLumels};
}

LumelLoops g_loops = ChooseLoops(LightmapLanes::Avx512);

// The lumels' sums under the lights, in their order; false when no light
// reaches them, every sum then being +0.
bool SumLumels(const Poly &t, const Vector3 &n, const Projection &pr, std::span<const LightmapLight> lights,
               Lumels &lm) {
    if (IsZero(n)) return false;  // no plane to light
    const Vector3 &p0 = t.corner[0].position;
    const double d = PlaneDistance(n, p0);
    const Vector3 o = OnPlane(pr.axis, n, d, pr.uMin, pr.vMin);
    const Vector3 a = OnPlane(pr.axis, n, d, pr.uMax, pr.vMin);
    const Vector3 b = OnPlane(pr.axis, n, d, pr.uMin, pr.vMax);
    const Vector3 ea = Sub(a, o), eb = Sub(b, o);
    float lo[3], hi[3];
    g_loops.place(lm, o, ea, eb, lo, hi);
    // Only lights in front of the plane take part; the test does not depend on the lumel.
    LitLight lit[32];
    size_t count = 0;
    bool first = true;
    for (const LightmapLight &light : lights) {
        if (ClassifyPoint(light.position, p0, n) != 1) continue;
        if (OutOfReach(light, lo, hi)) continue;
        lit[count++] = {light.position.x, light.position.y, light.position.z, light.radius, light.intensity,
                        {light.red, light.green, light.blue}};
        if (count == std::size(lit)) {
            g_loops.addLights(lm, n, lit, count, first);
            first = false, count = 0;
        }
    }
    if (count > 0) g_loops.addLights(lm, n, lit, count, first), first = false;
    return !first;
}

void LightTriangle(Poly &t, std::span<const LightmapLight> lights, uint8_t *out, bool writeCoords) {
    const Vector3 n = SafeNormalize(PolyNormal(t));
    const Projection pr = Project(t, n);
    if (writeCoords)
        for (int k = 0; k < 3; ++k) {
            t.corner[k].u2 = LightmapCoord(pr.u[k], pr.uMin, pr.uMax);
            t.corner[k].v2 = LightmapCoord(pr.v[k], pr.vMin, pr.vMax);
        }
    Lumels lm;
    if (SumLumels(t, n, pr, lights, lm)) g_loops.write(lm, out);
    else std::memset(out, 0, kLightmapBytes);  // every sum +0
}

}  // namespace

void LimitLightmapLanes(LightmapLanes widest) { g_loops = ChooseLoops(widest); }

void LightmapSums(const Poly &t, std::span<const LightmapLight> lights, double (*sums)[3]) {
    const Vector3 n = SafeNormalize(PolyNormal(t));
    Lumels lm;
    const bool lit = SumLumels(t, n, Project(t, n), lights, lm);
    for (int m = 0; m < kLumels * kLumels; ++m)
        for (int c = 0; c < 3; ++c) sums[m][c] = lit ? lm.sum[c][m] : 0.0;
}

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
