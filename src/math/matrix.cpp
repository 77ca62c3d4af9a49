#include "math/matrix.h"

#include <cmath>

#include "math/scalar.h"

namespace vesk {
namespace {
inline float F(double v) { return static_cast<float>(v); }
inline double D(float v) { return static_cast<double>(v); }
}  // namespace

void MatrixCreate(Matrix4 &out, const Vector3 &scale, const Vector3 &angles, const Vector3 &position) {
    const double cx = FastCos(angles.x), sx = FastSin(angles.x);
    const double cy = FastCos(angles.y), sy = FastSin(angles.y);
    const double cz = FastCos(angles.z), sz = FastSin(angles.z);
    const double kx = scale.x, ky = scale.y, kz = scale.z;
    const Vector3 p = position;  // read before any write, in case it aliases out
    float *m = out.m;
    m[0] = F(cz * cy * kx);
    m[1] = F(sz * cy * kx);
    m[2] = F(-sy * kx);
    m[4] = F((sx * sy * cz - cx * sz) * ky);
    m[5] = F((sx * sy * sz + cx * cz) * ky);
    m[6] = F(sx * cy * ky);
    m[8] = F((cx * sy * cz + sx * sz) * kz);
    m[9] = F((cx * sy * sz - sx * cz) * kz);
    m[10] = F(cx * cy * kz);
    m[12] = p.x;
    m[13] = p.y;
    m[14] = p.z;
    m[15] = 1.0f;
    // m[3], m[7], m[11] stay as the caller set them.
}

void MatrixMultiply(Matrix4 &out, const Matrix4 &a, const Matrix4 &b) {
    for (int i = 0; i < 4; ++i) {
        const double r0 = a.m[4 * i], r1 = a.m[4 * i + 1], r2 = a.m[4 * i + 2], r3 = a.m[4 * i + 3];
        for (int j = 0; j < 4; ++j)
            out.m[4 * i + j] = F(r0 * b.m[j] + r1 * b.m[4 + j] + r2 * b.m[8 + j] + r3 * b.m[12 + j]);
    }
}

void MatrixVectorTransform(Vector3 &out, const Matrix4 &m, const Vector3 &v) {
    const double x = v.x, y = v.y, z = v.z;
    const Vector3 r{F(x * m.m[0] + y * m.m[4] + z * m.m[8] + m.m[12]),
                    F(x * m.m[1] + y * m.m[5] + z * m.m[9] + m.m[13]),
                    F(x * m.m[2] + y * m.m[6] + z * m.m[10] + m.m[14])};
    out = r;
}

bool TransformPointProjective(const Matrix4 &m, const Vector3 &p, Vector3 &out) {
    const double x = p.x, y = p.y, z = p.z;
    const double w = x * m.m[3] + y * m.m[7] + z * m.m[11] + m.m[15];
    if (std::isnan(w) || std::fabs(w) < D(1e-10f)) return false;
    const double px = x * m.m[0] + y * m.m[4] + z * m.m[8] + m.m[12];
    const double py = x * m.m[1] + y * m.m[5] + z * m.m[9] + m.m[13];
    const double pz = x * m.m[2] + y * m.m[6] + z * m.m[10] + m.m[14];
    out = {F(px / w), F(py / w), F(pz / w)};
    return true;
}

float MaxOf8(const float (&values)[8]) {
    float best = values[0];
    for (int i = 1; i < 8; ++i)
        if (values[i] > best) best = values[i];
    return best;
}

float MinOf8(const float (&values)[8]) {
    float best = values[0];
    for (int i = 1; i < 8; ++i)
        if (values[i] < best) best = values[i];
    return best;
}

void MatrixBboxMultiply(BoundingBox &out, const BoundingBox &box, const Matrix4 &m) {
    const BoundingBox b = box;
    Vector3 corner[8] = {{b.maxX, b.minY, b.minZ}, {b.maxX, b.minY, b.maxZ}, {b.minX, b.minY, b.maxZ},
                         {b.minX, b.minY, b.minZ}, {b.maxX, b.maxY, b.minZ}, {b.maxX, b.maxY, b.maxZ},
                         {b.minX, b.maxY, b.maxZ}, {b.minX, b.maxY, b.minZ}};
    float xs[8], ys[8], zs[8];
    for (int i = 0; i < 8; ++i) {
        TransformPointProjective(m, corner[i], corner[i]);  // near-zero W keeps the corner as it was
        xs[i] = corner[i].x;
        ys[i] = corner[i].y;
        zs[i] = corner[i].z;
    }
    out.maxX = MaxOf8(xs);
    out.maxY = MaxOf8(ys);
    out.maxZ = MaxOf8(zs);
    out.minX = MinOf8(xs);
    out.minY = MinOf8(ys);
    out.minZ = MinOf8(zs);
}

void MatrixPolygonMultiply(std::span<Poly> polys, const Matrix4 &m) {
    Vector3 t{0.0f, 0.0f, 0.0f};  // a degenerate corner takes the last good result
    for (Poly &poly : polys) {
        for (PolyVertex &corner : poly.corner) {
            TransformPointProjective(m, corner.position, t);
            corner.position = t;
        }
    }
}

}  // namespace vesk
