// An exact early rejection shared by the collision loops: a triangle whose
// corners all lie far beyond a sphere on one axis, relative to its own size.
#pragma once

#include <VeskMathLIB.h>

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
    FarTriangles(const Vector3 &centre, const double (&scale)[3], double reach, bool usable) : reach_(reach) {
        for (int k = 0; k < 3; ++k) scale_[k] = scale[k];
        on_ = usable && std::isfinite(reach) && reach < 1e15;
        Move(centre);
    }

    // A new centre, as after a push-out.
    void Move(const Vector3 &centre) {
        centre_[0] = centre.x, centre_[1] = centre.y, centre_[2] = centre.z;
        const double top = std::max({std::fabs(centre_[0]), std::fabs(centre_[1]), std::fabs(centre_[2])});
        live_ = on_ && top < 1e15;
        slack_ = 1e-5 * (1.0 + reach_ + top);
    }

    bool Skip(const Poly &poly) const {
        if (!live_) return false;
        double lo[3], hi[3], extent = 0.0, top = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double u0 = Component(poly.corner[0].position, k) * scale_[k];
            const double u1 = Component(poly.corner[1].position, k) * scale_[k];
            const double u2 = Component(poly.corner[2].position, k) * scale_[k];
            lo[k] = std::min({u0, u1, u2});
            hi[k] = std::max({u0, u1, u2});
            // Bounds the distance from the centre to any corner (an L1 norm over the box).
            extent += std::max(std::fabs(hi[k] - centre_[k]), std::fabs(lo[k] - centre_[k]));
            top = std::max({top, std::fabs(lo[k]), std::fabs(hi[k])});
        }
        if (!(top < 1e30)) return false;  // NaN, or near the float range
        const double need = 0.06 * (reach_ + extent) + slack_ + 1e-5 * top;
        for (int k = 0; k < 3; ++k)
            if (lo[k] - centre_[k] - reach_ > need || centre_[k] - reach_ - hi[k] > need) return true;
        return false;
    }

private:
    static float Component(const Vector3 &v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; }

    bool on_ = false, live_ = false;
    double scale_[3] = {}, centre_[3] = {}, reach_ = 0.0, slack_ = 0.0;
};

}  // namespace vesk
