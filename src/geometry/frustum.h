// The six-plane view frustum and the visibility tests against it.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>

namespace vesk {

void CalculateFrustum(Frustum &frustum, const Matrix4 &modelview, const Matrix4 &projection);
// 1 only when strictly inside all six planes.
int32_t PointInFrustum(const Frustum &frustum, float x, float y, float z);
// 0 only when the sphere lies wholly outside one plane.
int32_t SphereInFrustum(const Frustum &frustum, float x, float y, float z, float radius);
// 1 when every plane has a corner strictly inside it; corners need not be ordered.
int32_t BoxInFrustum(const Frustum &frustum, float x1, float y1, float z1, float x2, float y2, float z2);
// The box test on the cube of half-size h around (x, y, z).
int32_t CubeInFrustum(const Frustum &frustum, float x, float y, float z, float h);

}  // namespace vesk
