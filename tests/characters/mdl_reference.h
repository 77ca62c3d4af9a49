// The plain scalar record writer of the MDL mesh call, as it was before its
// SSE2 path: the tests compare the library's bytes with it, the benchmark
// times both in one run. It reads the bone transforms of the last pose.
#pragma once

#include <cmath>
#include <cstdint>

#include "characters/mdl_model.h"

namespace vesk::reference {

inline int32_t MdlTruncToInt(float v) {
    if (!(v > -2147483520.0f)) return v != v ? 0 : INT32_MIN;
    if (v > 2147483520.0f) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// The chrome coordinates of one normal; the view's right axis is zero.
inline void MdlChrome(const MdlModel &model, int32_t bone, const Vector3 &n, int32_t (&out)[2]) {
    auto cross = [](const Vector3 &a, const Vector3 &b) {
        return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    };
    auto dot = [](const Vector3 &a, const Vector3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    auto normalize = [&](Vector3 &v) {
        const float length = std::sqrt(dot(v, v));
        if (length > 0.0f) v = {v.x / length, v.y / length, v.z / length};
    };
    const mdl::BoneMatrix &m = MdlBoneTransform(bone);
    Vector3 d{m[0][3] - model.origin.x, m[1][3] - model.origin.y, m[2][3] - model.origin.z};
    normalize(d);
    Vector3 up = cross(d, Vector3{0.0f, 0.0f, 0.0f});
    normalize(up);
    Vector3 right = cross(d, up);
    normalize(right);
    auto toBone = [&](const Vector3 &v) {
        return Vector3{v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
                       v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
    };
    out[0] = MdlTruncToInt((dot(n, toBone(right)) + 1.0f) * 32.0f);
    out[1] = MdlTruncToInt((dot(n, toBone(up)) + 1.0f) * 32.0f);
}

// Records of the model at model.currentModel, from records[written]; returns
// the new count.
inline int32_t MdlDrawModel(const MdlModel &model, CharacterVertex *records, int32_t written) {
    static Vector3 transformed[kMdlMaxVertices];
    static int32_t chrome[kMdlMaxVertices][2];
    const uint8_t *h = model.header.data();
    const uint8_t *t = model.TextureHeader().data();
    const mdl::Header th = model.TextureHead();
    int64_t skin = th.skinOffset;
    if (model.skinNumber > 0 && model.skinNumber < th.skinFamilyCount)
        skin += 2 * int64_t{model.skinNumber} * th.skinReferenceCount;
    auto texture = [&](const mdl::Mesh &mesh) {
        return mdl::Record<mdl::Texture>(t, th.textureOffset, mdl::Record<int16_t>(t, skin, mesh.skinReference));
    };
    const auto m = mdl::Field<mdl::Model>(h, model.currentModel);
    const auto U = [](int32_t v) { return static_cast<uint64_t>(v); };
    for (int32_t i = 0; i < m.vertexCount; ++i) {
        const mdl::BoneMatrix &b = MdlBoneTransform(h[U(m.vertexBoneOffset) + U(i)]);
        const Vector3 v = mdl::Field<Vector3>(h, U(m.vertexOffset) + 12u * U(i));
        Vector3 &out = transformed[i];
        out.x = v.x * b[0][0] + v.y * b[0][1] + v.z * b[0][2] + b[0][3];
        out.y = v.x * b[1][0] + v.y * b[1][1] + v.z * b[1][2] + b[1][3];
        out.z = v.x * b[2][0] + v.y * b[2][1] + v.z * b[2][2] + b[2][3];
    }
    int32_t k = 0;
    for (int32_t j = 0; j < m.meshCount; ++j) {
        const auto mesh = mdl::Record<mdl::Mesh>(h, m.meshOffset, j);
        if (texture(mesh).flags & 2) {
            for (int32_t n = k; n < k + mesh.normalCount; ++n)
                MdlChrome(model, h[U(m.normalBoneOffset) + U(n)],
                          mdl::Field<Vector3>(h, U(m.normalOffset) + 12u * U(n)), chrome[n]);
        }
        k += mesh.normalCount;
    }
    for (int32_t j = 0; j < m.meshCount; ++j) {
        const auto mesh = mdl::Record<mdl::Mesh>(h, m.meshOffset, j);
        const mdl::Texture tex = texture(mesh);
        const bool isChrome = (tex.flags & 2) != 0;
        const float su = tex.width > 0 ? 1.0f / static_cast<float>(tex.width) : 0.0f;
        const float sv = tex.height > 0 ? 1.0f / static_cast<float>(tex.height) : 0.0f;
        for (uint64_t at = U(mesh.commandOffset);;) {
            const int16_t n = mdl::Field<int16_t>(h, at);
            at += 2;
            if (n == 0) break;
            const int32_t count = n > 0 ? n : -static_cast<int32_t>(n);
            for (int32_t i = 0; i < count; ++i, at += 8) {
                const auto c = mdl::Field<mdl::CommandVertex>(h, at);
                const float s = isChrome ? static_cast<float>(chrome[c.normal][0]) : c.s;
                const float tt = isChrome ? static_cast<float>(chrome[c.normal][1]) : c.t;
                CharacterVertex &r = records[written++];
                const Vector3 &p = transformed[c.vertex];
                r.x = p.x;
                r.z = p.z;
                r.y = p.y;
                r.u = s * su;
                r.v = tt * sv;
            }
        }
    }
    return written;
}

// Every body part's records after the last pose; returns the count.
inline int32_t MdlRecords(MdlModel &model, CharacterVertex *records) {
    int32_t written = 0;
    for (int32_t b = 0; b < model.Head().bodyPartCount; ++b) {
        SetupModel(model, b);
        written = MdlDrawModel(model, records, written);
    }
    return written;
}

}  // namespace vesk::reference
