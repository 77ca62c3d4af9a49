// 4x4 matrices in OpenGL's column-major layout and the transforms built on them.
#pragma once

#include <VeskMathLIB.h>

#include <cstddef>
#include <span>

namespace vesk {

void MatrixCreate(Matrix4 &out, const Vector3 &scale, const Vector3 &angles, const Vector3 &position);
// out may be a; out must not be b.
void MatrixMultiply(Matrix4 &out, const Matrix4 &a, const Matrix4 &b);
void MatrixVectorTransform(Vector3 &out, const Matrix4 &m, const Vector3 &v);
// Writes out = (X/W, Y/W, Z/W) unless |W| < 1e-10f or W is NaN; returns whether it wrote.
bool TransformPointProjective(const Matrix4 &m, const Vector3 &p, Vector3 &out);
float MaxOf8(const float (&values)[8]);
float MinOf8(const float (&values)[8]);
void MatrixBboxMultiply(BoundingBox &out, const BoundingBox &box, const Matrix4 &m);
void MatrixPolygonMultiply(std::span<Poly> polys, const Matrix4 &m);

}  // namespace vesk
