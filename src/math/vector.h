// Vector3 operations. Arithmetic runs in double; each stored component is
// rounded to a float. Every input is read before any output is written.
#pragma once

#include <VeskMathLIB.h>

namespace vesk {

void VectorSet(Vector3 &v, float x, float y, float z);
// (a.z*b.z + a.y*b.y) + a.x*b.x
float VectorDotProduct(const Vector3 &a, const Vector3 &b);
// (a.x*b.x + a.y*b.y) + a.z*b.z
float FDotProduct(const Vector3 &a, const Vector3 &b);
void VectorCrossProduct(const Vector3 &a, const Vector3 &b, Vector3 &out);
float VectorNormalize(Vector3 &v);
void VectorScale(const Vector3 &v, float s, Vector3 &out);
float VectorLength(const Vector3 &v);
void VectorSubtract(const Vector3 &a, const Vector3 &b, Vector3 &out);
void VectorAdd(const Vector3 &a, const Vector3 &b, Vector3 &out);
void VectorMA(const Vector3 &a, float s, const Vector3 &b, Vector3 &out);
void VectorInverse(Vector3 &v);
float VectorDistanceBetween(const Vector3 &a, const Vector3 &b);
void VectorRotateAroundPoint(const Vector3 &point, const Vector3 &center, float angleX, float angleY, float angleZ,
                             Vector3 &out);

}  // namespace vesk
