// The plain scalar forms of the per-frame kernels, as they were before their
// fast paths: the tests compare the library's bytes with these, and the
// benchmarks time both in one run.
#pragma once

#include <VeskMathLIB.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "characters/md3_player.h"
#include "frame/host_callback.h"
#include "geometry/ellipsoid_collision.h"
#include "geometry/primitives.h"
#include "geometry/sphere_collision.h"
#include "geometry/vector_ops.h"
#include "level/lightmaps.h"
#include "level/octree.h"
#include "math/matrix.h"

namespace vesk::reference {

inline Vector3 DivideByRadii(const Vector3 &p, const Vector3 &radii) {
    return {ToF(double{p.x} / radii.x), ToF(double{p.y} / radii.y), ToF(double{p.z} / radii.z)};
}

inline bool PointInTriangleExact(const Vector3 &p, const Vector3 &a, const Vector3 &b, const Vector3 &c) {
    auto unit = [](const Vector3 &v) { return DivideBy(v, ExactMagnitude(v)); };
    const Vector3 u1 = unit(Sub(p, a)), u2 = unit(Sub(p, b)), u3 = unit(Sub(p, c));
    const double sum = std::acos(Dot(u1, u2)) + std::acos(Dot(u2, u3)) + std::acos(Dot(u3, u1));
    return std::fabs(sum - 6.283185307179586) <= 0.005;
}

inline void SweepTriangle(CollisionBody &body, const Vector3 &pos, const Vector3 &nv, double vlen, const Vector3 &a,
                          const Vector3 &b, const Vector3 &c, const Vector3 &n) {
    if (Dot(n, nv) > 1.0) return;
    const Vector3 p = Sub(pos, n);
    Vector3 spherePoint = p;
    Vector3 x;
    double tHit;
    if (ClassifyPointFlags(p, a, n) == kPointInFront) {
        tHit = RayPlaneDistance(p, n, a, n);
        x = AddScaled(p, n, tHit);
    } else {
        tHit = RayPlaneDistance(p, nv, a, n);
        x = AddScaled(p, nv, tHit);
    }
    Vector3 polygonPoint;
    if (reference::PointInTriangleExact(x, a, b, c)) {
        polygonPoint = x;
    } else {
        polygonPoint = ClosestPointOnTriangleEdges(a, b, c, x);
        const double t2 = RaySphereDistance(polygonPoint, Negate(nv), pos, 1.0);
        tHit = t2;
        if (t2 > 0.0) spherePoint = SubScaled(polygonPoint, nv, t2);
    }
    if (WithinDistance(polygonPoint, pos, 1.0)) body.touching = 1;
    if (tHit > 0.0 && tHit <= vlen && (body.collided == 0 || tHit < body.distance)) {
        body.distance = tHit;
        body.spherePoint = spherePoint;
        body.polygonPoint = polygonPoint;
        body.collided = 1;
    }
}

inline void CheckCollision(CollisionBody &body, std::span<const Poly> polys) {
    const Vector3 pos = body.position;
    const double vlen = ExactMagnitude(body.velocity);
    const Vector3 nv = DivideBy(body.velocity, vlen);
    for (const Poly &poly : polys) {
        const Vector3 a = DivideByRadii(poly.corner[0].position, body.radii);
        const Vector3 b = DivideByRadii(poly.corner[1].position, body.radii);
        const Vector3 c = DivideByRadii(poly.corner[2].position, body.radii);
        const Vector3 e1 = Sub(b, a), e2 = Sub(c, a);
        if (IsZero(e1) || IsZero(e2)) continue;
        const Vector3 cross = Cross(e1, e2);
        SweepTriangle(body, pos, nv, vlen, a, b, c, DivideBy(cross, ExactMagnitude(cross)));
    }
}

inline void CheckForCollision1(Vector3 &out, CollisionBody &body, std::span<const Poly> polys) {
    const float r = MeanRadius(body.radii, false);
    Vector3 position = body.position;
    out = position;
    for (const Poly &poly : polys) {
        const Vector3 tri[3] = {poly.corner[0].position, poly.corner[1].position, poly.corner[2].position};
        const Vector3 n = TriangleNormal(tri[0], tri[1], tri[2]);
        float dist = 0.0f;
        if (ClassifySphere(position, n, tri[0], r, dist) != kSphereIntersects) continue;
        if (!InsidePolygon(SubScaled(position, n, dist), tri) &&
            !EdgeSphereCollision(position, tri, ToF(double{r} * 0.5)))
            continue;
        position = Add(position, GetCollisionOffset(n, r, dist));
        out = position;
        body.position = position;
        body.collided = 1;
    }
}

// One model's records, counts and box, corner by corner.
inline void EmitModel(Md3Player &player, const Md3Model &model, const Matrix4 &placement, const CharacterOutput &out) {
    if (model.meshes.empty()) return;
    auto clamp = [](int32_t frame, int32_t frames) {
        return frame < 0 ? size_t{0} : static_cast<size_t>(frame >= frames ? frames - 1 : frame);
    };
    const int32_t part = player.partIndex;
    CharacterVertex *records = part >= 0 && part < 4 ? out.parts[part] : nullptr;
    float *box = out.box;
    const float blend = model.blend;
    int32_t n = 0;
    for (const Md3Mesh &mesh : model.meshes) {
        const int32_t frames = mesh.FrameCount();
        if (frames == 0) continue;
        const size_t vertexCount = static_cast<size_t>(mesh.vertexCount);
        const Vector3 *a = mesh.vertices.data() + clamp(model.currentFrame, frames) * vertexCount;
        const Vector3 *b = mesh.vertices.data() + clamp(model.nextFrame, frames) * vertexCount;
        const size_t usable = std::min(vertexCount, mesh.texCoords.size());
        for (const StaticFace &face : mesh.faces) {
            bool drawn = true;
            for (int k = 0; k < 3; ++k)
                drawn = drawn && face.vertexIndex[k] >= 0 && static_cast<size_t>(face.vertexIndex[k]) < usable;
            if (!drawn) continue;
            for (int k = 0; k < 3; ++k) {
                const size_t vi = static_cast<size_t>(face.vertexIndex[k]);
                const TexCoord &uv = mesh.texCoords[vi];
                const Vector3 s{(b[vi].x - a[vi].x) * blend + a[vi].x, (b[vi].y - a[vi].y) * blend + a[vi].y,
                                (b[vi].z - a[vi].z) * blend + a[vi].z};
                Vector3 r{0.0f, 0.0f, 0.0f};
                TransformPointProjective(placement, s, r);
                if (box) {
                    if (r.x < box[0]) box[0] = r.x;
                    if (r.z < box[1]) box[1] = r.z;
                    if (r.y < box[2]) box[2] = r.y;
                    if (r.x > box[3]) box[3] = r.x;
                    if (r.z > box[4]) box[4] = r.z;
                    if (r.y > box[5]) box[5] = r.y;
                }
                if (records) {
                    CharacterVertex &rec = records[n];
                    rec.x = r.x;
                    rec.z = r.z;
                    rec.y = r.y;
                    rec.u = uv.u;
                    rec.v = uv.v;
                }
                ++n;
            }
        }
    }
    if (out.counts && part >= 0 && part < 4) out.counts[part] = n;
    ++player.partIndex;
}

// The whole export's walk over the parts, each emitted corner by corner.
inline void DrawLink(Md3Player &player, const Md3Model &model, const Matrix4 &placement, const CharacterOutput &out,
                     int depth) {
    reference::EmitModel(player, model, placement, out);
    player.transform = placement;
    const int32_t frames = depth >= 8 ? 0 : model.TagFrameCount();
    if (frames == 0) return;
    auto clamp = [&](int32_t f) { return f < 0 ? size_t{0} : static_cast<size_t>(f >= frames ? frames - 1 : f); };
    const size_t tagCount = static_cast<size_t>(model.tagCount);
    for (size_t i = 0; i < std::min(tagCount, model.links.size()); ++i) {
        if (!model.links[i]) continue;
        Matrix4 tag, child;
        TagMatrix(model.tags[clamp(model.currentFrame) * tagCount + i],
                  model.tags[clamp(model.nextFrame) * tagCount + i], model.blend, tag);
        MatrixMultiply(child, tag, placement);
        reference::DrawLink(player, *model.links[i], child, out, depth + 1);
    }
}

inline int32_t PosePlayer(Md3Player &player, const CharacterOutput &out) {
    player.partIndex = 0;
    AdvanceModel(player, player.lower);
    AdvanceModel(player, player.upper);
    Matrix4 identity{};
    identity.m[0] = identity.m[5] = identity.m[10] = identity.m[15] = 1.0f;
    player.transform = identity;
    if (out.box)
        for (int i = 0; i < 3; ++i) out.box[i] = 9999999.0f, out.box[i + 3] = -9999999.0f;
    reference::DrawLink(player, player.lower, identity, out, 0);
    return static_cast<int32_t>(player.lower.lastStepTick);
}

// Every triangle's box through BoxInFrustum.
inline void RenderPolys(std::span<const Poly> polys, const Frustum *frustum, int32_t mode,
                        const VeskHostCallback *callback) {
    if (mode < 0) return;
    for (const Poly &p : polys)
        if (mode == 0 || (frustum && TriangleVisible(*frustum, p))) CallHost(callback, reinterpret_cast<intptr_t>(&p));
}

// Lightmaps: each lumel under every light in turn.
namespace lightmap {
enum class Axis { YZ, XZ, XY };

struct Projection {
    Axis axis;
    float u[3], v[3];
    float uMin, uMax, vMin, vMax;
};

inline Projection Project(const Poly &t, const Vector3 &n) {
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
inline Vector3 OnPlane(Axis axis, const Vector3 &n, double d, float u, float v) {
    switch (axis) {
        case Axis::YZ:
            return {ToF(-(n.y * double{u} + n.z * double{v} + d) / n.x), u, v};
        case Axis::XZ:
            return {u, ToF(-(n.x * double{u} + n.z * double{v} + d) / n.y), v};
        default:
            return {u, v, ToF(-(n.x * double{u} + n.y * double{v} + d) / n.z)};
    }
}

// A coordinate with no extent to divide by, or not finite, is 0.
inline float LightmapCoord(float value, float lo, float hi) {
    const float range = hi - lo;
    if (!(range != 0.0f)) return 0.0f;
    const float c = (value - lo) / range;
    return std::isfinite(c) ? c : 0.0f;
}

// Clamped to 0..255: a negative sum (negative intensity or colour) is dark,
// not wrapped to a bright byte; NaN is 0.
inline uint8_t ChannelByte(double sum) {
    if (!(sum > 0.0)) return 0;
    if (sum > 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int32_t>(sum));
}

// Each lumel's channel sums under the lights, in their order.
inline void LumelSums(const Poly &t, std::span<const LightmapLight> lights, double (*sums)[3]) {
    const Vector3 &p0 = t.corner[0].position;
    const Vector3 n = SafeNormalize(PolyNormal(t));
    const double d = PlaneDistance(n, p0);
    const Projection pr = Project(t, n);
    std::fill_n(&sums[0][0], kLumels * kLumels * 3, 0.0);
    if (IsZero(n)) return;  // no plane to light
    const Vector3 o = OnPlane(pr.axis, n, d, pr.uMin, pr.vMin);
    const Vector3 a = OnPlane(pr.axis, n, d, pr.uMax, pr.vMin);
    const Vector3 b = OnPlane(pr.axis, n, d, pr.uMin, pr.vMax);
    const Vector3 ea = Sub(a, o), eb = Sub(b, o);
    // Only lights in front of the plane take part; the test does not depend on the lumel.
    LightmapLight lit[64];
    size_t litCount = 0;
    auto flush = [&] {
        for (int i = 0; i < kLumels; ++i)
            for (int j = 0; j < kLumels; ++j) {
                const Vector3 x = AddScaled(AddScaled(o, ea, i * 0.0625), eb, j * 0.0625);
                double *s = sums[kLumels * i + j];
                for (size_t l = 0; l < litCount; ++l) {
                    const LightmapLight &light = lit[l];
                    const Vector3 diff = Sub(light.position, x);
                    double dist = ExactMagnitude(diff);
                    if (dist == 0.0) dist = 1.0;
                    const double c = Dot(n, diff) / dist;
                    if (dist < light.radius) {
                        const double f = c * light.intensity / dist;
                        s[0] += f * light.red;
                        s[1] += f * light.green;
                        s[2] += f * light.blue;
                    }
                }
            }
        litCount = 0;
    };
    for (const LightmapLight &light : lights) {
        if (ClassifyPoint(light.position, p0, n) != 1) continue;
        lit[litCount++] = light;
        if (litCount == 64) flush();
    }
    flush();
}

inline void LightTriangle(Poly &t, std::span<const LightmapLight> lights, uint8_t *out, bool writeCoords) {
    if (writeCoords) {
        const Vector3 n = SafeNormalize(PolyNormal(t));
        const Projection pr = Project(t, n);
        for (int k = 0; k < 3; ++k) {
            t.corner[k].u2 = LightmapCoord(pr.u[k], pr.uMin, pr.uMax);
            t.corner[k].v2 = LightmapCoord(pr.v[k], pr.vMin, pr.vMax);
        }
    }
    double sums[kLumels * kLumels][3];
    LumelSums(t, lights, sums);
    for (int m = 0; m < kLumels * kLumels; ++m)
        for (int c = 0; c < 3; ++c) out[3 * m + c] = ChannelByte(std::fmin(sums[m][c], 255.0));
}

}  // namespace lightmap

inline void CreateLightmaps(std::span<Poly> triangles, std::span<const LightmapLight> lights, uint8_t *output,
                            bool writeCoords) {
    if (output == nullptr) return;
    for (size_t p = 0; p < triangles.size(); ++p)
        lightmap::LightTriangle(triangles[p], lights, output + kLightmapBytes * p, writeCoords);
}

}  // namespace vesk::reference
