// The plain scalar bone setup and record writer of the MDL mesh call, as they
// were before their fast paths: the tests compare the library's bytes with
// them, the benchmark times both in one run.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "characters/mdl_model.h"

namespace vesk::reference {

inline int32_t MdlTruncToInt(float v) {
    if (!(v > -2147483520.0f)) return v != v ? 0 : INT32_MIN;
    if (v > 2147483520.0f) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// The chrome coordinates of one normal; the view's right axis is zero.
// Bone transforms from bones, or the library's last pose where that is null.
inline const mdl::BoneMatrix &MdlBone(const mdl::BoneMatrix *bones, int32_t bone) {
    return bones ? bones[bone] : MdlBoneTransform(bone);
}

inline void MdlChrome(const MdlModel &model, int32_t bone, const Vector3 &n, int32_t (&out)[2],
                      const mdl::BoneMatrix *bones) {
    auto cross = [](const Vector3 &a, const Vector3 &b) {
        return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    };
    auto dot = [](const Vector3 &a, const Vector3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    auto normalize = [&](Vector3 &v) {
        const float length = std::sqrt(dot(v, v));
        if (length > 0.0f) v = {v.x / length, v.y / length, v.z / length};
    };
    const mdl::BoneMatrix &m = MdlBone(bones, bone);
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

// The plain bone setup, as it was before the library kept quaternions and
// slerp setups between poses and took its sine and cosine from its own
// polynomial: the double functions of the C runtime at every step. Writes
// the bone transforms of the model's current sequence and frame to out.
namespace mdl_plain {
inline float Sin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float Cos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
inline float ArcCos(float x) { return static_cast<float>(std::acos(static_cast<double>(x))); }

inline mdl::Quaternion AngleQuaternion(const float (&a)[3]) {
    const float sr = Sin(a[0] * 0.5f), cr = Cos(a[0] * 0.5f);
    const float sp = Sin(a[1] * 0.5f), cp = Cos(a[1] * 0.5f);
    const float sy = Sin(a[2] * 0.5f), cy = Cos(a[2] * 0.5f);
    return {sr * cp * cy - cr * sp * sy, cr * sp * cy + sr * cp * sy, cr * cp * sy - sr * sp * cy,
            cr * cp * cy + sr * sp * sy};
}

inline mdl::Quaternion Slerp(const mdl::Quaternion &p, mdl::Quaternion q, float t) {
    const float pv[4] = {p.x, p.y, p.z, p.w}, qv[4] = {q.x, q.y, q.z, q.w};
    float a = 0.0f, b = 0.0f;
    for (int i = 0; i < 4; ++i) {
        a += (pv[i] - qv[i]) * (pv[i] - qv[i]);
        b += (pv[i] + qv[i]) * (pv[i] + qv[i]);
    }
    if (a > b) q = {-q.x, -q.y, -q.z, -q.w};
    const float c = p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w;
    if (1.0f + c > 1e-8f) {
        float kp = 1.0f - t, kq = t;
        if (1.0f - c > 1e-8f) {
            const float omega = ArcCos(c), sinOmega = Sin(omega);
            kp = Sin((1.0f - t) * omega) / sinOmega;
            kq = Sin(t * omega) / sinOmega;
        }
        return {kp * p.x + kq * q.x, kp * p.y + kq * q.y, kp * p.z + kq * q.z, kp * p.w + kq * q.w};
    }
    const mdl::Quaternion r{-p.y, p.x, -p.w, p.z};
    const float kp = Sin((1.0f - t) * 1.5707963267948966f), kq = Sin(t * 1.5707963267948966f);
    return {kp * p.x + kq * r.x, kp * p.y + kq * r.y, kp * p.z + kq * r.z, r.w};
}

inline int32_t Trunc(float v) { return MdlTruncToInt(v); }

struct Set {
    mdl::Quaternion q[kMdlMaxBones];
    Vector3 p[kMdlMaxBones];
};

inline void Rotations(MdlModel &model, Set &set, const mdl::Sequence &seq, std::span<const uint8_t> buffer,
                      uint64_t first, float f) {
    const int32_t frame = Trunc(f);
    const float s = f - static_cast<float>(frame);
    CalcBoneAdj(model);
    const mdl::Header head = model.Head();
    for (int32_t i = 0; i < head.boneCount; ++i) {
        const auto bone = mdl::Record<mdl::Bone>(model.header.data(), head.boneOffset, i);
        const uint64_t record = first + uint64_t{mdl::kAnimationSize} * static_cast<uint64_t>(i);
        const auto anim = mdl::Field<mdl::Animation>(buffer.data(), record);
        float angle1[3], angle2[3], pos[3];
        for (int j = 0; j < 3; ++j) {
            const int k = j + 3;
            angle1[j] = angle2[j] = bone.value[k];
            if (anim.offset[k] != 0) {
                const mdl::ChannelValues c = mdl::DecodeChannel(buffer, record + anim.offset[k], frame);
                angle1[j] = bone.value[k] + c.a1 * bone.scale[k];
                angle2[j] = bone.value[k] + c.a2 * bone.scale[k];
            }
            if (bone.controller[k] != -1) {
                angle1[j] += model.adjustments[bone.controller[k]];
                angle2[j] += model.adjustments[bone.controller[k]];
            }
            pos[j] = bone.value[j];
            if (anim.offset[j] != 0) {
                const mdl::ChannelValues c = mdl::DecodeChannel(buffer, record + anim.offset[j], frame);
                const float scale = bone.scale[j];
                if (c.valid > c.local)
                    pos[j] += c.valid > c.local + 1 ? (c.a1 * (1.0f - s) + c.next * s) * scale : c.a1 * scale;
                else
                    pos[j] += c.total <= c.local + 1 ? (c.last * (1.0f - s) + c.following * s) * scale : c.last * scale;
            }
            if (bone.controller[j] != -1) pos[j] += model.adjustments[bone.controller[j]];
        }
        bool same = true;
        for (int j = 0; j < 3; ++j) same = same && std::fabs(angle1[j] - angle2[j]) <= 0.001f;
        set.q[i] = same ? AngleQuaternion(angle1) : Slerp(AngleQuaternion(angle1), AngleQuaternion(angle2), s);
        set.p[i] = {pos[0], pos[1], pos[2]};
    }
    if (seq.motionType & 7) {
        Vector3 &p = set.p[seq.motionBone];
        if (seq.motionType & 1) p.x = 0.0f;
        if (seq.motionType & 2) p.y = 0.0f;
        if (seq.motionType & 4) p.z = 0.0f;
    }
}

inline void Blend(Set &a, const Set &b, int32_t bones, float s) {
    s = s < 0.0f ? 0.0f : s > 1.0f ? 1.0f : s;
    for (int32_t i = 0; i < bones; ++i) {
        a.q[i] = Slerp(a.q[i], b.q[i], s);
        const Vector3 &q = b.p[i];
        Vector3 &p = a.p[i];
        p = {p.x * (1.0f - s) + q.x * s, p.y * (1.0f - s) + q.y * s, p.z * (1.0f - s) + q.z * s};
    }
}
}  // namespace mdl_plain

inline void MdlSetUpBones(MdlModel &model, mdl::BoneMatrix *out) {
    using namespace mdl_plain;
    static Set sets[4];
    const mdl::Header head = model.Head();
    if (model.sequence < 0 || model.sequence >= head.sequenceCount) model.sequence = 0;
    const auto seq = mdl::Record<mdl::Sequence>(model.header.data(), head.sequenceOffset, model.sequence);
    std::span<const uint8_t> buffer = model.header;
    int64_t base = 0;
    if (seq.sequenceGroup == 0)
        base = mdl::Record<mdl::Group>(model.header.data(), head.groupOffset, 0).data;
    else
        buffer = model.sequenceGroups[static_cast<size_t>(seq.sequenceGroup - 1)];
    const uint64_t first = static_cast<uint64_t>(base + seq.animationOffset);
    const uint64_t stride = uint64_t{mdl::kAnimationSize} * static_cast<uint64_t>(head.boneCount);
    const int32_t blends = seq.blendCount;
    Rotations(model, sets[0], seq, buffer, first, model.frame);
    if (blends > 1) {
        Rotations(model, sets[1], seq, buffer, first + stride, model.frame);
        Blend(sets[0], sets[1], head.boneCount, model.blending[0] / 255.0f);
        if (blends == 4) {
            Rotations(model, sets[2], seq, buffer, first + 2 * stride, model.frame);
            Rotations(model, sets[3], seq, buffer, first + 3 * stride, model.frame);
            Blend(sets[2], sets[3], head.boneCount, model.blending[0] / 255.0f);
            Blend(sets[0], sets[2], head.boneCount, model.blending[1] / 255.0f);
        }
    }
    for (int32_t i = 0; i < head.boneCount; ++i) {
        mdl::BoneMatrix m;
        mdl::QuaternionMatrix(sets[0].q[i], m);
        m[0][3] = sets[0].p[i].x;
        m[1][3] = sets[0].p[i].y;
        m[2][3] = sets[0].p[i].z;
        const int32_t parent = mdl::Record<mdl::Bone>(model.header.data(), head.boneOffset, i).parent;
        if (parent == -1)
            std::memcpy(out[i], m, sizeof m);
        else
            mdl::ConcatTransforms(out[parent], m, out[i]);
    }
}

// Records of the model at model.currentModel, from records[written]; returns
// the new count.
inline int32_t MdlDrawModel(const MdlModel &model, CharacterVertex *records, int32_t written,
                            const mdl::BoneMatrix *bones) {
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
        const mdl::BoneMatrix &b = MdlBone(bones, h[U(m.vertexBoneOffset) + U(i)]);
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
                          mdl::Field<Vector3>(h, U(m.normalOffset) + 12u * U(n)), chrome[n], bones);
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

// Every body part's records of the library's last pose, or of bones; returns the count.
inline int32_t MdlRecords(MdlModel &model, CharacterVertex *records, const mdl::BoneMatrix *bones = nullptr) {
    int32_t written = 0;
    for (int32_t b = 0; b < model.Head().bodyPartCount; ++b) {
        SetupModel(model, b);
        written = MdlDrawModel(model, records, written, bones);
    }
    return written;
}

}  // namespace vesk::reference
