// The plain scalar forms of the per-frame kernels, as they were before their
// fast paths: the tests compare the library's bytes with these, and the
// benchmarks time both in one run.
#pragma once

#include <VeskMathLIB.h>

#include <algorithm>
#include <span>

#include "characters/md3_player.h"
#include "geometry/ellipsoid_collision.h"
#include "geometry/vector_ops.h"
#include "math/matrix.h"

namespace vesk::reference {

inline Vector3 DivideByRadii(const Vector3 &p, const Vector3 &radii) {
    return {ToF(double{p.x} / radii.x), ToF(double{p.y} / radii.y), ToF(double{p.z} / radii.z)};
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
    if (PointInTriangleExact(x, a, b, c)) {
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

// One model's records, counts and box, corner by corner.
inline void EmitModel(Md3Player &player, const Md3Model &model, const Matrix4 &placement,
                      const CharacterOutput &out) {
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

}  // namespace vesk::reference
