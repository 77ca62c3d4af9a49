// An exact early rejection shared by the collision loops: a triangle whose
// corners all lie far beyond a sphere on one axis, relative to its own size.
#pragma once

#include <VeskMathLIB.h>
#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace vesk {

// The collision tests reach a triangle through two kinds of point, both of
// which a caller shows must lie within `reach` of the centre to change
// anything: points of the outline, which lie on the corners' box (up to
// rounding), and plane points P that pass an angle-sum test, the angles
// between P - a, P - b, P - c summing to within a small tolerance of 2 pi.
// Those three directions span a spherical triangle whose sides are the
// angles; if they all lie in a cap of angular radius pi/2 - phi, its
// perimeter is at most the cap's, 2 pi cos phi. With every corner beyond the
// centre + reach on one axis by a gap G, each direction leans away from that
// axis by sin phi >= G / (reach + |centre - corner|), and sin phi >= 0.05
// leaves the sum short of 2 pi by more than 0.0078: beyond the 0.005 and
// 0.00063 tolerances of the callers, plus the arccosine error of rounded
// unit vectors (below 0.002 for three angles). Skip asks for 0.06 of an
// upper bound on those lengths, plus slack far above the float rounding of
// corners and points; NaN, infinities and values near the float range never
// pass it. Corners are scaled by `scale` per axis (1 / radii, or 1).
class FarTriangles {
public:
    FarTriangles(const Vector3 &centre, const double (&scale)[3], double reach, bool usable)
        : scale_(_mm_setr_ps(static_cast<float>(scale[0]), static_cast<float>(scale[1]), static_cast<float>(scale[2]),
                             0.0f)),
          reach_(static_cast<float>(reach)) {
        on_ = usable && std::isfinite(reach) && reach < 1e15;
        Move(centre);
    }

    // A new centre, as after a push-out.
    void Move(const Vector3 &centre) {
        centre_ = _mm_setr_ps(centre.x, centre.y, centre.z, 0.0f);
        const float top = std::max({std::fabs(centre.x), std::fabs(centre.y), std::fabs(centre.z)});
        live_ = on_ && top < 1e15f;
        slack_ = 1e-5f * (1.0f + reach_ + top);
    }

    // In single lanes: scaled corners are within 3e-7 of the callers' own
    // (the scale and the product each round once), and every sum here within
    // a few ulps; the slack and the 0.06 against 0.05 cover both.
    bool Skip(const Poly &poly) const {
        if (!live_) return false;
        // Each 16-byte load stays inside the record (a normal follows each position).
        const __m128 xyz = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
        const __m128 u0 = _mm_mul_ps(_mm_and_ps(_mm_loadu_ps(&poly.corner[0].position.x), xyz), scale_);
        const __m128 u1 = _mm_mul_ps(_mm_and_ps(_mm_loadu_ps(&poly.corner[1].position.x), xyz), scale_);
        const __m128 u2 = _mm_mul_ps(_mm_and_ps(_mm_loadu_ps(&poly.corner[2].position.x), xyz), scale_);
        // u - u is 0 for finite lanes only: NaN and infinities take the full test.
        const __m128 spread = _mm_add_ps(_mm_add_ps(_mm_sub_ps(u0, u0), _mm_sub_ps(u1, u1)), _mm_sub_ps(u2, u2));
        if (_mm_movemask_ps(_mm_cmpeq_ps(spread, _mm_setzero_ps())) != 0xF) return false;
        const __m128 lo = _mm_min_ps(_mm_min_ps(u0, u1), u2), hi = _mm_max_ps(_mm_max_ps(u0, u1), u2);
        const __m128 sign = _mm_set1_ps(-0.0f);
        // Bounds the distance from the centre to any corner (an L1 norm over the box).
        const __m128 reachOut = _mm_max_ps(_mm_andnot_ps(sign, _mm_sub_ps(hi, centre_)),
                                           _mm_andnot_ps(sign, _mm_sub_ps(lo, centre_)));
        const __m128 size = _mm_max_ps(_mm_andnot_ps(sign, lo), _mm_andnot_ps(sign, hi));
        alignas(16) float d[4], t[4];
        _mm_store_ps(d, reachOut);
        _mm_store_ps(t, size);
        const float extent = d[0] + d[1] + d[2], top = std::max({t[0], t[1], t[2]});
        if (!(top < 1e30f)) return false;  // near the float range
        const __m128 need = _mm_set1_ps(0.06f * (reach_ + extent) + slack_ + 1e-5f * top);
        const __m128 reach = _mm_set1_ps(reach_);
        const __m128 above = _mm_cmpgt_ps(_mm_sub_ps(_mm_sub_ps(lo, centre_), reach), need);
        const __m128 below = _mm_cmpgt_ps(_mm_sub_ps(_mm_sub_ps(centre_, reach), hi), need);
        return (_mm_movemask_ps(_mm_or_ps(above, below)) & 7) != 0;
    }

private:
    __m128 scale_, centre_ = _mm_setzero_ps();
    bool on_ = false, live_ = false;
    float reach_ = 0.0f, slack_ = 0.0f;
};

}  // namespace vesk
