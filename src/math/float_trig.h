// Sine and cosine of a float, rounded to a float: bit for bit what the C
// runtime's double functions give once rounded, without their cost.
//
// The pose math calls sin and cos of floats through the double functions so
// that every platform gets the same bits (runtimes differ in the last bits of
// their float versions, not in the float rounding of their double results).
// Here the double result comes from a short reduction and Taylor polynomial,
// good to a few hundred units of the double's last place. Rounding it to a float
// gives the same float as rounding the runtime's result whenever it lies
// clearly away from a midpoint between two floats; a result within 2^12
// double units of one (about one in 65 000) is left to the runtime, as are
// arguments outside (-8, 8), non-finite ones and results below the normal
// float range.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include <emmintrin.h>

namespace vesk::trig {

// pi/2 as a 30-bit head (k * head is exact for |k| <= 8, and so is x - k * head
// for a float x below 8) and the rest; what is left beyond is below 1e-25.
inline constexpr double kHalfPiHead = 0x1.921fb548p+0;
inline constexpr double kHalfPiTail = -0x1.de973dcb3b39ap-31;
inline constexpr double kTwoOverPi = 0.6366197723675814;

// Taylor terms to r^13 and r^14: for |r| <= 0.8 what is left is below 3e-14
// of the result, far inside the margin below. Evaluated in two halves so the
// chain of dependent multiplies stays short.
inline double SinPoly(double r) {
    const double z = r * r, z2 = z * z;
    const double low = -0.16666666666666666 + z * 0.008333333333333333;
    const double high = (-0.0001984126984126984 + z * 2.7557319223985893e-06) +
                        z2 * (-2.505210838544172e-08 + z * 1.6059043836821613e-10);
    return r + r * z * (low + z2 * high);
}

inline double CosPoly(double r) {
    const double z = r * r, z2 = z * z;
    const double low = -0.5 + z * 0.041666666666666664;
    const double high = (-0.001388888888888889 + z * 2.48015873015873e-05) +
                        z2 * ((-2.755731922398589e-07 + z * 2.08767569878681e-09) + z2 * -1.1470745597729725e-11);
    return 1.0 + z * (low + z2 * high);
}

// Whether d rounds to the same float as every value within 2^-41 of it,
// relatively: normal float range, and its bits below a float's precision
// not within 2^12 of the midpoint pattern.
inline bool RoundsClearly(double d) {
    const uint64_t bits = std::bit_cast<uint64_t>(d);
    const uint32_t exponent = static_cast<uint32_t>(bits >> 52) & 0x7FFu;
    if (exponent < 1023 - 125 || exponent > 1023 + 126) return false;
    const uint32_t low = static_cast<uint32_t>(bits) & ((1u << 29) - 1u);
    return low - ((1u << 28) - (1u << 12)) > (1u << 13);
}

// x - k * pi/2 with k the nearest quadrant; false outside (-8, 8). Adding
// and taking away 1.5 * 2^52 rounds to an integer in two adds, and leaves k's
// low bits at the bottom of the sum.
inline bool Reduce(float x, double &r, int &quadrant) {
    const double X = x;
    if (!(std::fabs(X) < 8.0)) return false;
    const double shifted = X * kTwoOverPi + 0x1.8p52;
    const double k = shifted - 0x1.8p52;
    r = (X - k * kHalfPiHead) - k * kHalfPiTail;
    quadrant = static_cast<int>(std::bit_cast<uint64_t>(shifted) & 3u);
    return true;
}

inline float Sin(float x) {
    double r;
    int quadrant;
    if (x == 0.0f) return x;  // keeps the sign of zero
    if (Reduce(x, r, quadrant)) {
        const double s = quadrant & 1 ? CosPoly(r) : SinPoly(r);
        const double d = quadrant & 2 ? -s : s;
        if (RoundsClearly(d)) return static_cast<float>(d);
    }
    return static_cast<float>(std::sin(static_cast<double>(x)));
}

inline float Cos(float x) {
    double r;
    int quadrant;
    if (Reduce(x, r, quadrant)) {
        const double c = quadrant & 1 ? SinPoly(r) : CosPoly(r);
        const double d = (quadrant + 1) & 2 ? -c : c;
        if (RoundsClearly(d)) return static_cast<float>(d);
    }
    return static_cast<float>(std::cos(static_cast<double>(x)));
}

// Both at once, from one reduction.
inline void SinCos(float x, float &sine, float &cosine) {
    double r;
    int quadrant;
    if (x != 0.0f && Reduce(x, r, quadrant)) {
        const double s = SinPoly(r), c = CosPoly(r);
        const double sd = quadrant & 1 ? c : s, cd = quadrant & 1 ? s : c;
        const double ds = quadrant & 2 ? -sd : sd, dc = (quadrant + 1) & 2 ? -cd : cd;
        if (RoundsClearly(ds) && RoundsClearly(dc)) {
            sine = static_cast<float>(ds);
            cosine = static_cast<float>(dc);
            return;
        }
    }
    sine = Sin(x);
    cosine = Cos(x);
}

// Two at once in double lanes: the same operations in the same order as the
// scalar forms above, so the same bits; a lane that would go to the runtime
// there goes to the scalar form here.
template <bool kCosines>
inline void SinCosLanes(float a, float b, float (&sine)[2], float (&cosine)[2]) {
    const __m128d x = _mm_cvtps_pd(_mm_setr_ps(a, b, 0.0f, 0.0f));
    const __m128d signBit = _mm_set1_pd(-0.0);
    const __m128d inRange = _mm_cmplt_pd(_mm_andnot_pd(signBit, x), _mm_set1_pd(8.0));
    const __m128d magic = _mm_set1_pd(0x1.8p52);
    const __m128d shifted = _mm_add_pd(_mm_mul_pd(x, _mm_set1_pd(kTwoOverPi)), magic);
    const __m128d k = _mm_sub_pd(shifted, magic);
    const __m128d r = _mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(k, _mm_set1_pd(kHalfPiHead))),
                                 _mm_mul_pd(k, _mm_set1_pd(kHalfPiTail)));
    const __m128d z = _mm_mul_pd(r, r), z2 = _mm_mul_pd(z, z);
    auto add = [](__m128d u, __m128d v) { return _mm_add_pd(u, v); };
    auto mul = [](__m128d u, __m128d v) { return _mm_mul_pd(u, v); };
    auto c = [](double v) { return _mm_set1_pd(v); };
    const __m128d sLow = add(c(-0.16666666666666666), mul(z, c(0.008333333333333333)));
    const __m128d sHigh = add(add(c(-0.0001984126984126984), mul(z, c(2.7557319223985893e-06))),
                              mul(z2, add(c(-2.505210838544172e-08), mul(z, c(1.6059043836821613e-10)))));
    const __m128d s = add(r, mul(mul(r, z), add(sLow, mul(z2, sHigh))));
    const __m128d cLow = add(c(-0.5), mul(z, c(0.041666666666666664)));
    const __m128d cHigh =
        add(add(c(-0.001388888888888889), mul(z, c(2.48015873015873e-05))),
            mul(z2, add(add(c(-2.755731922398589e-07), mul(z, c(2.08767569878681e-09))),
                        mul(z2, c(-1.1470745597729725e-11)))));
    const __m128d co = add(c(1.0), mul(z, add(cLow, mul(z2, cHigh))));
    // Quadrant bits from the low word of each lane's sum, widened to lane masks.
    const __m128i q = _mm_shuffle_epi32(_mm_castpd_si128(shifted), _MM_SHUFFLE(2, 2, 0, 0));
    auto bit = [](__m128i v, int m) {
        return _mm_castsi128_pd(_mm_cmpeq_epi32(_mm_and_si128(v, _mm_set1_epi32(m)), _mm_set1_epi32(m)));
    };
    const __m128d odd = bit(q, 1);
    const __m128d sd = _mm_or_pd(_mm_and_pd(odd, co), _mm_andnot_pd(odd, s));
    const __m128d cd = _mm_or_pd(_mm_and_pd(odd, s), _mm_andnot_pd(odd, co));
    const __m128d ds = _mm_xor_pd(sd, _mm_and_pd(bit(q, 2), signBit));
    const __m128d dc = _mm_xor_pd(cd, _mm_and_pd(bit(_mm_add_epi32(q, _mm_set1_epi32(1)), 2), signBit));
    // RoundsClearly, lane-wise: normal float range, low 29 bits away from the midpoint.
    auto clear = [&](__m128d d) {
        const __m128d normal = _mm_cmpge_pd(_mm_andnot_pd(signBit, d), _mm_set1_pd(0x1p-125));
        const __m128i low = _mm_sub_epi32(_mm_and_si128(_mm_castpd_si128(d), _mm_set1_epi32((1 << 29) - 1)),
                                          _mm_set1_epi32((1 << 28) - (1 << 12)));
        const __m128i away = _mm_or_si128(_mm_cmplt_epi32(low, _mm_setzero_si128()),
                                          _mm_cmpgt_epi32(low, _mm_set1_epi32(1 << 13)));
        return _mm_and_pd(normal, _mm_castsi128_pd(_mm_shuffle_epi32(away, _MM_SHUFFLE(2, 2, 0, 0))));
    };
    const __m128d clearBoth = kCosines ? _mm_and_pd(clear(ds), clear(dc)) : clear(ds);
    const int good = _mm_movemask_pd(_mm_and_pd(inRange, clearBoth));
    alignas(16) float out[2][4];
    _mm_store_ps(out[0], _mm_cvtpd_ps(ds));
    _mm_store_ps(out[1], _mm_cvtpd_ps(dc));
    const float in[2] = {a, b};
    for (int lane = 0; lane < 2; ++lane) {
        if (good >> lane & 1) {
            sine[lane] = out[0][lane];
            if (kCosines) cosine[lane] = out[1][lane];
        } else if (kCosines) {
            SinCos(in[lane], sine[lane], cosine[lane]);
        } else {
            sine[lane] = Sin(in[lane]);
        }
    }
}

inline void SinCos2(float a, float b, float (&sine)[2], float (&cosine)[2]) { SinCosLanes<true>(a, b, sine, cosine); }
inline void Sin2(float a, float b, float (&sine)[2]) {
    float unused[2];
    SinCosLanes<false>(a, b, sine, unused);
}

}  // namespace vesk::trig
