#include "geometry/frustum.h"

#include <cmath>

#include "math/matrix.h"

namespace vesk {
namespace {

inline float F(double v) { return static_cast<float>(v); }

inline double PlaneSide(const Plane &p, float x, float y, float z) {
    return (double{p.a} * x + double{p.b} * y) + double{p.c} * z + p.d;
}

// Built from sums of two clip entries, then scaled to a unit normal. A zero
// normal is not guarded: it yields NaN planes, which every test treats as not passed.
Plane MakePlane(float a, float b, float c, float d) {
    const double m = std::sqrt(double{a} * a + double{b} * b + double{c} * c);
    return {F(a / m), F(b / m), F(c / m), F(d / m)};
}

}  // namespace

void CalculateFrustum(Frustum &frustum, const Matrix4 &modelview, const Matrix4 &projection) {
    const Matrix4 mv = modelview, proj = projection;
    Matrix4 clip;
    MatrixMultiply(clip, mv, proj);
    const float *c = clip.m;
    frustum.plane[0] = MakePlane(c[3] - c[0], c[7] - c[4], c[11] - c[8], c[15] - c[12]);   // right
    frustum.plane[1] = MakePlane(c[3] + c[0], c[7] + c[4], c[11] + c[8], c[15] + c[12]);   // left
    frustum.plane[2] = MakePlane(c[3] + c[1], c[7] + c[5], c[11] + c[9], c[15] + c[13]);   // bottom
    frustum.plane[3] = MakePlane(c[3] - c[1], c[7] - c[5], c[11] - c[9], c[15] - c[13]);   // top
    frustum.plane[4] = MakePlane(c[3] - c[2], c[7] - c[6], c[11] - c[10], c[15] - c[14]);  // far
    frustum.plane[5] = MakePlane(c[3] + c[2], c[7] + c[6], c[11] + c[10], c[15] + c[14]);  // near
}

int32_t PointInFrustum(const Frustum &frustum, float x, float y, float z) {
    for (const Plane &p : frustum.plane)
        if (!(PlaneSide(p, x, y, z) > 0.0)) return 0;  // on the plane is outside; NaN too
    return 1;
}

int32_t SphereInFrustum(const Frustum &frustum, float x, float y, float z, float radius) {
    for (const Plane &p : frustum.plane)
        if (PlaneSide(p, x, y, z) <= -double{radius}) return 0;
    return 1;
}

int32_t BoxInFrustum(const Frustum &frustum, float x1, float y1, float z1, float x2, float y2, float z2) {
    for (const Plane &p : frustum.plane) {
        // Corner order fixed; the first corner inside passes the plane.
        if (PlaneSide(p, x1, y1, z1) > 0.0) continue;
        if (PlaneSide(p, x2, y1, z1) > 0.0) continue;
        if (PlaneSide(p, x1, y2, z1) > 0.0) continue;
        if (PlaneSide(p, x2, y2, z1) > 0.0) continue;
        if (PlaneSide(p, x1, y1, z2) > 0.0) continue;
        if (PlaneSide(p, x2, y1, z2) > 0.0) continue;
        if (PlaneSide(p, x1, y2, z2) > 0.0) continue;
        if (PlaneSide(p, x2, y2, z2) > 0.0) continue;
        return 0;
    }
    return 1;
}

int32_t CubeInFrustum(const Frustum &frustum, float x, float y, float z, float h) {
    return BoxInFrustum(frustum, x - h, y - h, z - h, x + h, y + h, z + h);
}

}  // namespace vesk
