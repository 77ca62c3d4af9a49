// Scenes shared by the spatial tests and benchmarks (no test framework):
// seeded triangles, perspective frusta, real models as Poly lists.
#pragma once

#include <VeskMathLIB.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "geometry/frustum.h"
#include "loaders/static_model.h"

namespace vesk::test {

inline Poly Tri(Vector3 a, Vector3 b, Vector3 c, int32_t tag = 0) {
    Poly p{};
    p.corner[0].position = a;
    p.corner[1].position = b;
    p.corner[2].position = c;
    p.tag = tag;
    return p;
}

// Triangles scattered in a cube of half-size `extent`, edges up to `size`;
// tag = index.
inline std::vector<Poly> RandomTriangles(uint32_t seed, int count, float extent, float size) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> pos(-extent, extent), off(-size, size);
    std::vector<Poly> out;
    for (int i = 0; i < count; ++i) {
        const Vector3 a{pos(rng), pos(rng), pos(rng)};
        out.push_back(Tri(a, {a.x + off(rng), a.y + off(rng), a.z + off(rng)},
                          {a.x + off(rng), a.y + off(rng), a.z + off(rng)}, i));
    }
    return out;
}

// A perspective view from eye looking along (yaw, pitch), as a host would
// build it: modelview = rotation then translation, projection like the
// classic symmetric perspective.
inline Frustum ViewFrustum(Vector3 eye, float yaw, float pitch, float fovY, float aspect, float zNear, float zFar) {
    const float f = 1.0f / std::tan(fovY * 0.5f);
    Matrix4 proj{};
    proj.m[0] = f / aspect;
    proj.m[5] = f;
    proj.m[10] = (zFar + zNear) / (zNear - zFar);
    proj.m[11] = -1.0f;
    proj.m[14] = 2.0f * zFar * zNear / (zNear - zFar);
    // Camera basis: forward from yaw/pitch, right-handed, Y up.
    const Vector3 fwd{std::cos(pitch) * std::sin(yaw), std::sin(pitch), -std::cos(pitch) * std::cos(yaw)};
    Vector3 right{-fwd.z, 0.0f, fwd.x};
    const float rl = std::sqrt(right.x * right.x + right.z * right.z);
    right = {right.x / rl, 0.0f, right.z / rl};
    const Vector3 up{right.y * fwd.z - right.z * fwd.y, right.z * fwd.x - right.x * fwd.z,
                     right.x * fwd.y - right.y * fwd.x};
    Matrix4 mv{};
    const Vector3 rows[3] = {right, up, {-fwd.x, -fwd.y, -fwd.z}};
    for (int r = 0; r < 3; ++r) {
        mv.m[0 + r] = rows[r].x;
        mv.m[4 + r] = rows[r].y;
        mv.m[8 + r] = rows[r].z;
        mv.m[12 + r] = -(rows[r].x * eye.x + rows[r].y * eye.y + rows[r].z * eye.z);
    }
    mv.m[15] = 1.0f;
    Frustum out{};
    CalculateFrustum(out, mv, proj);
    return out;
}

// Loads an OBJ or 3DS file into a Poly list (tag = index); empty on failure.
inline std::vector<Poly> LoadModelPolys(const std::string &path) {
    StaticModel model;
    const bool obj = path.size() > 4 && (path.substr(path.size() - 4) == ".obj");
    if (!(obj ? LoadObj(path.c_str(), model) : Load3ds(path.c_str(), model))) return {};
    size_t faces = 0;
    for (int32_t o = 0; o < model.objectCount && static_cast<size_t>(o) < model.objects.size(); ++o)
        faces += model.objects[o].faces.size();
    std::vector<Poly> polys(faces);
    int32_t n = 0;
    if (faces) CopyStaticPolys(model, polys.data(), &n);
    polys.resize(static_cast<size_t>(n));
    for (size_t i = 0; i < polys.size(); ++i) polys[i].tag = static_cast<int32_t>(i);
    return polys;
}

}  // namespace vesk::test
