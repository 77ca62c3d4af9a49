// MDL skeletal pose: the module-wide clock, channel decoding, bone
// transforms, rigid skinning and the mesh, size and triangle exports.
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>

#include <emmintrin.h>

#include "characters/mdl_model.h"
#include "frame/platform.h"
#include "math/float_trig.h"

static_assert(sizeof(VeskMdlSequence) == 48 && offsetof(VeskMdlSequence, framesPerSecond) == 32 &&
              offsetof(VeskMdlSequence, frameCount) == 36 && offsetof(VeskMdlSequence, flags) == 40 &&
              offsetof(VeskMdlSequence, activity) == 44);

namespace vesk {
namespace {

using mdl::BoneMatrix;
using mdl::Field;
using mdl::Quaternion;

constexpr int kSets = 4;

// What one bone's rotation needed at its recent frames in one blend set: the
// quaternion of each frame's angles and the fixed part of each frame's
// slerp, in a slot by frame number (a loop of up to kSlots frames is kept
// whole; an advancing frame finds its start where the last frame left its
// end). Each is a function of its key alone, so a hit gives the bits a
// recompute gives, whichever model or sequence filled the slot.
struct RotationMemo {
    static constexpr uint32_t kSlots = 32;
    // Plain floats, no initialisers: the memos are zero at module load
    // without a constructor touching their pages.
    struct Angles {
        float key[3];
        float q[4];
    };
    struct SlerpEntry {
        float key[8];
        mdl::SlerpSetup::Kind kind;
        float q[4];
        float omega, sinOmega;
    };
    uint32_t anglesFilled, slerpsFilled;  // one bit per slot
    Angles angles[kSlots];
    SlerpEntry slerps[kSlots];

    // Keys compare as bits, one float at a time (they were just computed in
    // registers; a wider load of them would wait on the narrower stores).
    static bool Same(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }
    static bool Same(const float *a, const Quaternion &b) {
        return Same(a[0], b.x) && Same(a[1], b.y) && Same(a[2], b.z) && Same(a[3], b.w);
    }

    Quaternion Angle(const float (&a)[3], uint32_t frame) {
        const uint32_t slot = frame % kSlots;
        Angles &e = angles[slot];
        if (!(anglesFilled >> slot & 1) || !Same(e.key[0], a[0]) || !Same(e.key[1], a[1]) || !Same(e.key[2], a[2])) {
            const Quaternion q = mdl::AngleQuaternion(a);
            e = {{a[0], a[1], a[2]}, {q.x, q.y, q.z, q.w}};
            anglesFilled |= 1u << slot;
        }
        return {e.q[0], e.q[1], e.q[2], e.q[3]};
    }

    mdl::SlerpSetup Slerp(const Quaternion &p, const Quaternion &q, uint32_t frame) {
        const uint32_t slot = frame % kSlots;
        SlerpEntry &e = slerps[slot];
        if (!(slerpsFilled >> slot & 1) || !Same(e.key, p) || !Same(e.key + 4, q)) {
            const mdl::SlerpSetup s = mdl::PrepareSlerp(p, q);
            e = {{p.x, p.y, p.z, p.w, q.x, q.y, q.z, q.w}, s.kind, {s.q.x, s.q.y, s.q.z, s.q.w}, s.omega, s.sinOmega};
            slerpsFilled |= 1u << slot;
        }
        mdl::SlerpSetup s;
        s.kind = e.kind;
        s.q = {e.q[0], e.q[1], e.q[2], e.q[3]};
        s.omega = e.omega;
        s.sinOmega = e.sinOmega;
        return s;
    }
};
static_assert(std::is_trivially_default_constructible_v<RotationMemo>);
RotationMemo g_rotationMemo[kSets][kMdlMaxBones];

struct ChromeCache {
    int32_t stamp = 0;
    Vector3 up{}, right{};
};

// Shared by every MDL model; zero at module load. Fixed sizes: a pose never
// allocates.
struct WorkState {
    Vector3 positions[kSets][kMdlMaxBones];
    Quaternion rotations[kSets][kMdlMaxBones];
    BoneMatrix boneTransform[kMdlMaxBones];
    // Bone columns in record order (x, z, y, 0), set with the bone transforms.
    alignas(16) float boneColumns[kMdlMaxBones][4][4];
    // Posed points in record order (x, z, y, pad).
    alignas(16) float transformed[kMdlMaxVertices][4];
    int32_t chrome[kMdlMaxVertices][2];
    ChromeCache chromeCache[kMdlMaxBones];
    Vector3 viewRight{0.0f, 0.0f, 0.0f};
    float lastTime = 0.0f;
    int32_t callStamp = 0;
};
WorkState g_work;

uint64_t U(int32_t v) { return static_cast<uint64_t>(v); }

// Single-precision trigonometry as the double functions round it: C runtimes
// differ in the last bits of their float versions, and a pose must be the
// same on every platform; the double result rounds to the same float.
using trig::Sin;
float ArcCos(float x) { return static_cast<float>(std::acos(static_cast<double>(x))); }

// Float to int by truncation, defined for every input (NaN gives 0).
int32_t TruncToInt(float v) {
    if (!(v > -2147483520.0f)) return v != v ? 0 : INT32_MIN;
    if (v > 2147483520.0f) return INT32_MAX;
    return static_cast<int32_t>(v);
}

Vector3 Cross(const Vector3 &a, const Vector3 &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const Vector3 &a, const Vector3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
void Normalize(Vector3 &v) {
    const float length = std::sqrt(Dot(v, v));
    if (length > 0.0f) v = {v.x / length, v.y / length, v.z / length};
}

// Where a sequence's animation records live.
struct Animation {
    std::span<const uint8_t> buffer;
    uint64_t offset = 0;  // first record
};

mdl::Sequence SequenceRecord(const MdlModel &model, int32_t sequence) {
    return mdl::Record<mdl::Sequence>(model.header.data(), model.Head().sequenceOffset, sequence);
}

Animation SequenceAnimation(const MdlModel &model, const mdl::Sequence &seq) {
    Animation anim;
    int64_t base = 0;
    if (seq.sequenceGroup == 0) {
        anim.buffer = model.header;
        base = mdl::Record<mdl::Group>(model.header.data(), model.Head().groupOffset, 0).data;
    } else {
        anim.buffer = model.sequenceGroups[static_cast<size_t>(seq.sequenceGroup - 1)];
    }
    anim.offset = static_cast<uint64_t>(base + seq.animationOffset);
    return anim;
}

Quaternion CalcBoneQuaternion(const MdlModel &model, int32_t frame, float s, const mdl::Bone &bone,
                              std::span<const uint8_t> buffer, uint64_t record, const mdl::Animation &anim,
                              RotationMemo &memo) {
    float angle1[3], angle2[3];
    for (int j = 0; j < 3; ++j) {
        const int k = j + 3;
        const float value = bone.value[k];
        const float scale = bone.scale[k];
        const uint16_t o = anim.offset[k];
        if (o == 0) {
            angle1[j] = angle2[j] = value;
        } else {
            const mdl::ChannelValues c = mdl::DecodeChannel(buffer, record + o, frame);
            angle1[j] = value + c.a1 * scale;
            angle2[j] = value + c.a2 * scale;
        }
        const int32_t controller = bone.controller[k];
        if (controller != -1) {
            angle1[j] += model.adjustments[controller];
            angle2[j] += model.adjustments[controller];
        }
    }
    bool same = true;
    for (int j = 0; j < 3; ++j) same = same && std::fabs(angle1[j] - angle2[j]) <= 0.001f;
    const uint32_t at = static_cast<uint32_t>(frame);
    if (same) return memo.Angle(angle1, at);
    const Quaternion p = memo.Angle(angle1, at), q = memo.Angle(angle2, at + 1u);
    return mdl::ApplySlerp(p, memo.Slerp(p, q, at), s);
}

Vector3 CalcBonePosition(const MdlModel &model, int32_t frame, float s, const mdl::Bone &bone,
                         std::span<const uint8_t> buffer, uint64_t record, const mdl::Animation &anim) {
    float pos[3];
    for (int j = 0; j < 3; ++j) {
        pos[j] = bone.value[j];
        const float scale = bone.scale[j];
        const uint16_t o = anim.offset[j];
        if (o != 0) {
            const mdl::ChannelValues c = mdl::DecodeChannel(buffer, record + o, frame);
            if (c.valid > c.local) {
                pos[j] += c.valid > c.local + 1 ? (c.a1 * (1.0f - s) + c.next * s) * scale : c.a1 * scale;
            } else {
                pos[j] += c.total <= c.local + 1 ? (c.last * (1.0f - s) + c.following * s) * scale : c.last * scale;
            }
        }
        const int32_t controller = bone.controller[j];
        if (controller != -1) pos[j] += model.adjustments[controller];
    }
    return {pos[0], pos[1], pos[2]};
}

void CalcRotations(MdlModel &model, int set, const mdl::Sequence &seq, const Animation &anim, uint64_t firstRecord,
                   float f) {
    const int32_t frame = TruncToInt(f);
    const float s = f - static_cast<float>(frame);
    CalcBoneAdj(model);
    const mdl::Header head = model.Head();
    for (int32_t i = 0; i < head.boneCount; ++i) {
        const auto bone = mdl::Record<mdl::Bone>(model.header.data(), head.boneOffset, i);
        const uint64_t record = firstRecord + uint64_t{mdl::kAnimationSize} * U(i);
        const auto channels = Field<mdl::Animation>(anim.buffer.data(), record);
        g_work.rotations[set][i] =
            CalcBoneQuaternion(model, frame, s, bone, anim.buffer, record, channels, g_rotationMemo[set][i]);
        g_work.positions[set][i] = CalcBonePosition(model, frame, s, bone, anim.buffer, record, channels);
    }
    const int32_t motionType = seq.motionType;
    if (motionType & 7) {
        Vector3 &p = g_work.positions[set][seq.motionBone];
        if (motionType & 1) p.x = 0.0f;
        if (motionType & 2) p.y = 0.0f;
        if (motionType & 4) p.z = 0.0f;
    }
}

void SlerpBones(int a, int b, int32_t bones, float s) {
    if (s < 0.0f) s = 0.0f;
    if (s > 1.0f) s = 1.0f;
    for (int32_t i = 0; i < bones; ++i) {
        g_work.rotations[a][i] = mdl::QuaternionSlerp(g_work.rotations[a][i], g_work.rotations[b][i], s);
        Vector3 &p = g_work.positions[a][i];
        const Vector3 &q = g_work.positions[b][i];
        p = {p.x * (1.0f - s) + q.x * s, p.y * (1.0f - s) + q.y * s, p.z * (1.0f - s) + q.z * s};
    }
}

// The chrome texture coordinates of one normal: from the bone's view-aligned
// axes, computed once per bone per call.
void Chrome(const MdlModel &model, int32_t bone, const Vector3 &normal, int32_t (&out)[2]) {
    ChromeCache &cache = g_work.chromeCache[bone];
    if (cache.stamp != g_work.callStamp) {
        const BoneMatrix &m = g_work.boneTransform[bone];
        Vector3 d{m[0][3] - model.origin.x, m[1][3] - model.origin.y, m[2][3] - model.origin.z};
        Normalize(d);
        Vector3 up = Cross(d, g_work.viewRight);
        Normalize(up);
        Vector3 right = Cross(d, up);
        Normalize(right);
        auto toBone = [&](const Vector3 &v) {
            return Vector3{v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
                           v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
        };
        cache.up = toBone(up);
        cache.right = toBone(right);
        cache.stamp = g_work.callStamp;
    }
    out[0] = TruncToInt((Dot(normal, cache.right) + 1.0f) * 32.0f);
    out[1] = TruncToInt((Dot(normal, cache.up) + 1.0f) * 32.0f);
}

// Walks a validated command list: f(first vertex entry offset, n, fan).
template <class F>
void ForEachCommand(const uint8_t *h, uint64_t offset, F &&f) {
    for (;;) {
        const int16_t n = Field<int16_t>(h, offset);
        offset += 2;
        if (n == 0) return;
        const int32_t count = n > 0 ? n : -static_cast<int32_t>(n);
        f(offset, count, n < 0);
        offset += 8u * U(count);
    }
}

// The model record a body part draws.
uint64_t SelectModel(const MdlModel &model, int32_t b) {
    const auto part = mdl::Record<mdl::BodyPart>(model.header.data(), model.Head().bodyPartOffset, b);
    const int32_t body = model.bodyNumber > 0 ? model.bodyNumber : 0;
    // A part whose base is not positive has only its first model.
    const int32_t index = part.base > 0 ? (body / part.base) % part.modelCount : 0;
    return U(part.modelOffset) + uint64_t{mdl::kModelSize} * U(index);
}

// f(mesh record) for every mesh the mesh call draws, in drawing order.
template <class F>
void ForEachDrawnMesh(const MdlModel &model, F &&f) {
    const int32_t parts = model.Head().bodyPartCount;
    const uint8_t *h = model.header.data();
    for (int32_t b = 0; b < parts; ++b) {
        const auto m = Field<mdl::Model>(h, SelectModel(model, b));
        for (int32_t k = 0; k < m.meshCount; ++k) f(mdl::Record<mdl::Mesh>(h, m.meshOffset, k));
    }
}

}  // namespace

namespace mdl {

Quaternion AngleQuaternion(const float (&angles)[3]) {
    float s2[2], c2[2], sy, cy;
    trig::SinCos2(angles[0] * 0.5f, angles[1] * 0.5f, s2, c2);
    trig::SinCos(angles[2] * 0.5f, sy, cy);
    const float sr = s2[0], cr = c2[0], sp = s2[1], cp = c2[1];
    return {sr * cp * cy - cr * sp * sy, cr * sp * cy + sr * cp * sy, cr * cp * sy - sr * sp * cy,
            cr * cp * cy + sr * sp * sy};
}

SlerpSetup PrepareSlerp(const Quaternion &p, Quaternion q) {
    // Sums from 0 in x, y, z, w order, written out: the quaternions arrive
    // in scalar registers, and a vector load of them would stall.
    auto sq = [](float v) { return v * v; };
    const float a = ((sq(p.x - q.x) + sq(p.y - q.y)) + sq(p.z - q.z)) + sq(p.w - q.w);
    const float b = ((sq(p.x + q.x) + sq(p.y + q.y)) + sq(p.z + q.z)) + sq(p.w + q.w);
    if (a > b) q = {-q.x, -q.y, -q.z, -q.w};
    SlerpSetup setup;
    setup.q = q;
    const float c = p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w;
    if (1.0f + c > 1e-8f) {
        if (1.0f - c > 1e-8f) {
            setup.kind = SlerpSetup::Arc;
            setup.omega = ArcCos(c);
            setup.sinOmega = Sin(setup.omega);
        }
    } else {
        setup.kind = SlerpSetup::Opposite;
    }
    return setup;
}

Quaternion ApplySlerp(const Quaternion &p, const SlerpSetup &setup, float t) {
    const Quaternion &q = setup.q;
    if (setup.kind != SlerpSetup::Opposite) {
        float kp, kq;
        if (setup.kind == SlerpSetup::Arc) {
            float sines[2];
            trig::Sin2((1.0f - t) * setup.omega, t * setup.omega, sines);
            kp = sines[0] / setup.sinOmega;
            kq = sines[1] / setup.sinOmega;
        } else {
            kp = 1.0f - t;
            kq = t;
        }
        return {kp * p.x + kq * q.x, kp * p.y + kq * q.y, kp * p.z + kq * q.z, kp * p.w + kq * q.w};
    }
    const Quaternion r{-p.y, p.x, -p.w, p.z};
    const float half = 1.5707963267948966f;
    float sines[2];
    trig::Sin2((1.0f - t) * half, t * half, sines);
    const float kp = sines[0], kq = sines[1];
    return {kp * p.x + kq * r.x, kp * p.y + kq * r.y, kp * p.z + kq * r.z, r.w};
}

Quaternion QuaternionSlerp(const Quaternion &p, Quaternion q, float t) { return ApplySlerp(p, PrepareSlerp(p, q), t); }

void QuaternionMatrix(const Quaternion &q, BoneMatrix &m) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    m[0][0] = 1.0f - 2.0f * y * y - 2.0f * z * z;
    m[1][0] = 2.0f * x * y + 2.0f * w * z;
    m[2][0] = 2.0f * x * z - 2.0f * w * y;
    m[0][1] = 2.0f * x * y - 2.0f * w * z;
    m[1][1] = 1.0f - 2.0f * x * x - 2.0f * z * z;
    m[2][1] = 2.0f * y * z + 2.0f * w * x;
    m[0][2] = 2.0f * x * z + 2.0f * w * y;
    m[1][2] = 2.0f * y * z - 2.0f * w * x;
    m[2][2] = 1.0f - 2.0f * x * x - 2.0f * y * y;
}

// Row by row in lanes, in the scalar order ((a0 b0 + a1 b1) + a2 b2) + c,
// where c is a's translation in the last column and +0 in the others (which
// turns a -0 into +0, as the scalar sum does).
void ConcatTransforms(const BoneMatrix &a, const BoneMatrix &b, BoneMatrix &out) {
    const __m128 b0 = _mm_loadu_ps(b[0]), b1 = _mm_loadu_ps(b[1]), b2 = _mm_loadu_ps(b[2]);
    for (int i = 0; i < 3; ++i) {
        __m128 r = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(a[i][0]), b0), _mm_mul_ps(_mm_set1_ps(a[i][1]), b1));
        r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(a[i][2]), b2));
        _mm_storeu_ps(out[i], _mm_add_ps(r, _mm_setr_ps(0.0f, 0.0f, 0.0f, a[i][3])));
    }
}

ChannelValues DecodeChannel(std::span<const uint8_t> buffer, uint64_t stream, int32_t frame) {
    ChannelValues c;
    if (frame < 0) frame = 0;
    uint64_t p = stream;
    int32_t local = frame;
    for (;;) {
        if (p > buffer.size() || buffer.size() - p < 2) return c;
        const uint8_t valid = buffer.data()[p], total = buffer.data()[p + 1];
        if (total > local || total == 0) break;
        local -= total;
        p += 2u * (uint64_t{valid} + 1u);
    }
    // v[n]: the n-th 16-bit entry of the run, the header being v[0].
    auto v = [&](uint64_t n) -> int16_t {
        const uint64_t at = p + 2u * n;
        if (at > buffer.size() || buffer.size() - at < 2) return 0;
        return Field<int16_t>(buffer.data(), at);
    };
    c.valid = buffer.data()[p];
    c.total = buffer.data()[p + 1];
    c.local = local;
    const uint64_t f = U(local);
    c.last = v(c.valid);
    c.following = v(uint64_t{c.valid} + 2u);
    c.next = v(f + 2u);
    c.a1 = c.valid > local ? v(f + 1u) : c.last;
    if (c.valid > local) {
        c.a2 = c.valid > local + 1 ? c.next : (c.total > local + 1 ? c.a1 : c.following);
    } else {
        c.a2 = c.total > local + 1 ? c.a1 : c.following;
    }
    return c;
}

}  // namespace mdl

void AdvanceFrame(MdlModel &model, double dt) {
    const int32_t count = model.Head().sequenceCount;
    const int32_t sequence = model.sequence >= 0 && model.sequence < count ? model.sequence : 0;
    const mdl::Sequence seq = SequenceRecord(model, sequence);
    if (dt > 0.1) dt = 0.1;
    const float fps = seq.framesPerSecond;
    // A clock far behind with a huge rate would step outside float range.
    const double next = model.frame + dt * fps;
    model.frame = std::fabs(next) < 1e30 ? static_cast<float>(next) : 0.0f;
    const int32_t frames = seq.frameCount;
    if (frames <= 1) {
        model.frame = 0.0f;
        return;
    }
    const float span = static_cast<float>(frames - 1);
    model.frame -= std::trunc(model.frame / span) * span;
    // A clock that went back leaves a negative remainder: wrap it forward.
    if (model.frame < 0.0f) model.frame += span;
    if (!(model.frame >= 0.0f && model.frame < span)) model.frame = 0.0f;
}

void CalcBoneAdj(MdlModel &model) {
    const mdl::Header head = model.Head();
    for (int32_t j = 0; j < head.controllerCount; ++j) {
        const auto c = mdl::Record<mdl::Controller>(model.header.data(), head.controllerOffset, j);
        const int32_t type = c.type;
        const float start = c.start, end = c.end;
        const int32_t number = c.number;
        float value;
        if (number < 4) {
            const float setting = model.controllers[number];
            if (type & 0x8000) {
                value = setting * 1.40625f + start;
            } else {
                float f = setting / 255.0f;
                f = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
                value = (1.0f - f) * start + f * end;
            }
        } else {
            float f = model.mouth / 64.0f;
            if (f > 1.0f) f = 1.0f;
            value = (1.0f - f) * start + f * end;
        }
        switch (type & 0x7FFF) {
        case 1:
        case 2:
        case 4:
            model.adjustments[j] = value;
            break;
        case 8:
        case 16:
        case 32:
            model.adjustments[j] = value * 0.017453292519943295f;
            break;
        default:
            break;
        }
    }
}

void SetUpBones(MdlModel &model) {
    const mdl::Header head = model.Head();
    if (model.sequence < 0 || model.sequence >= head.sequenceCount) model.sequence = 0;
    const mdl::Sequence seq = SequenceRecord(model, model.sequence);
    const Animation anim = SequenceAnimation(model, seq);
    const int32_t bones = head.boneCount;
    const uint64_t stride = uint64_t{mdl::kAnimationSize} * U(bones);
    const int32_t blends = seq.blendCount;
    ++g_work.callStamp;  // new bone transforms: the chrome axes go stale
    CalcRotations(model, 0, seq, anim, anim.offset, model.frame);
    if (blends > 1) {
        CalcRotations(model, 1, seq, anim, anim.offset + stride, model.frame);
        SlerpBones(0, 1, bones, model.blending[0] / 255.0f);
        if (blends == 4) {
            CalcRotations(model, 2, seq, anim, anim.offset + 2 * stride, model.frame);
            CalcRotations(model, 3, seq, anim, anim.offset + 3 * stride, model.frame);
            SlerpBones(2, 3, bones, model.blending[0] / 255.0f);
            SlerpBones(0, 2, bones, model.blending[1] / 255.0f);
        }
    }
    // Each bone's matrix as QuaternionMatrix writes it, with the position in
    // the last column, and its product with the parent's as ConcatTransforms
    // forms it, built in registers (a matrix stored a float at a time and
    // read back by rows would wait on its stores).
    for (int32_t i = 0; i < bones; ++i) {
        const Quaternion &q = g_work.rotations[0][i];
        const Vector3 &p = g_work.positions[0][i];
        const float x = q.x, y = q.y, z = q.z, w = q.w;
        const __m128 m0 = _mm_setr_ps(1.0f - 2.0f * y * y - 2.0f * z * z, 2.0f * x * y - 2.0f * w * z,
                                      2.0f * x * z + 2.0f * w * y, p.x);
        const __m128 m1 = _mm_setr_ps(2.0f * x * y + 2.0f * w * z, 1.0f - 2.0f * x * x - 2.0f * z * z,
                                      2.0f * y * z - 2.0f * w * x, p.y);
        const __m128 m2 = _mm_setr_ps(2.0f * x * z - 2.0f * w * y, 2.0f * y * z + 2.0f * w * x,
                                      1.0f - 2.0f * x * x - 2.0f * y * y, p.z);
        const int32_t parent = Field<int32_t>(model.header.data(), U(head.boneOffset) + uint64_t{mdl::kBoneSize} * U(i) +
                                                                   offsetof(mdl::Bone, parent));
        __m128 rows[3] = {m0, m1, m2};
        if (parent != -1) {
            const BoneMatrix &a = g_work.boneTransform[parent];
            for (int r = 0; r < 3; ++r) {
                __m128 v = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(a[r][0]), m0), _mm_mul_ps(_mm_set1_ps(a[r][1]), m1));
                v = _mm_add_ps(v, _mm_mul_ps(_mm_set1_ps(a[r][2]), m2));
                rows[r] = _mm_add_ps(v, _mm_setr_ps(0.0f, 0.0f, 0.0f, a[r][3]));
            }
        }
        for (int r = 0; r < 3; ++r) _mm_storeu_ps(g_work.boneTransform[i][r], rows[r]);
        // Columns in record order (x, z, y, 0).
        __m128 c0 = rows[0], c1 = rows[2], c2 = rows[1], c3 = _mm_setzero_ps();
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
        _mm_store_ps(g_work.boneColumns[i][0], c0);
        _mm_store_ps(g_work.boneColumns[i][1], c1);
        _mm_store_ps(g_work.boneColumns[i][2], c2);
        _mm_store_ps(g_work.boneColumns[i][3], c3);
    }
}

void SetupModel(MdlModel &model, int32_t b) {
    if (b < 0 || b >= model.Head().bodyPartCount) b = 0;
    model.currentModel = SelectModel(model, b);
}

void DrawModel(MdlModel &model, CharacterVertex *records) {
    const uint8_t *h = model.header.data();
    const std::span<const uint8_t> textures = model.TextureHeader();
    const uint8_t *t = textures.data();
    const mdl::Header th = model.TextureHead();
    int64_t skin = th.skinOffset;
    if (model.skinNumber > 0 && model.skinNumber < th.skinFamilyCount)
        skin += 2 * int64_t{model.skinNumber} * th.skinReferenceCount;
    auto texture = [&](const mdl::Mesh &mesh) {
        return mdl::Record<mdl::Texture>(t, th.textureOffset, mdl::Record<int16_t>(t, skin, mesh.skinReference));
    };

    const auto m = Field<mdl::Model>(h, model.currentModel);
    const int32_t meshes = m.meshCount;
    const int32_t vertices = m.vertexCount;
    const uint64_t vertexBones = U(m.vertexBoneOffset);
    const uint64_t vertexOffset = U(m.vertexOffset);
    const uint64_t normalBones = U(m.normalBoneOffset);
    const uint64_t normalOffset = U(m.normalOffset);

    // Lane-wise in the scalar order: ((x * c0 + y * c1) + z * c2) + c3.
    for (int32_t i = 0; i < vertices; ++i) {
        const float(&c)[4][4] = g_work.boneColumns[h[vertexBones + U(i)]];
        const Vector3 v = Field<Vector3>(h, vertexOffset + 12u * U(i));
        __m128 p = _mm_mul_ps(_mm_set1_ps(v.x), _mm_load_ps(c[0]));
        p = _mm_add_ps(p, _mm_mul_ps(_mm_set1_ps(v.y), _mm_load_ps(c[1])));
        p = _mm_add_ps(p, _mm_mul_ps(_mm_set1_ps(v.z), _mm_load_ps(c[2])));
        _mm_store_ps(g_work.transformed[i], _mm_add_ps(p, _mm_load_ps(c[3])));
    }

    int32_t k = 0;
    for (int32_t j = 0; j < meshes; ++j) {
        const auto mesh = mdl::Record<mdl::Mesh>(h, m.meshOffset, j);
        const int32_t normals = mesh.normalCount;
        if (texture(mesh).flags & 2) {
            for (int32_t n = k; n < k + normals; ++n)
                Chrome(model, h[normalBones + U(n)], Field<Vector3>(h, normalOffset + 12u * U(n)), g_work.chrome[n]);
        }
        k += normals;
    }

    for (int32_t j = 0; j < meshes; ++j) {
        const auto mesh = mdl::Record<mdl::Mesh>(h, m.meshOffset, j);
        const mdl::Texture tex = texture(mesh);
        const bool chrome = (tex.flags & 2) != 0;
        // A texture without a size gives coordinates 0 rather than a division by zero.
        const int32_t width = tex.width, height = tex.height;
        const float su = width > 0 ? 1.0f / static_cast<float>(width) : 0.0f;
        const float sv = height > 0 ? 1.0f / static_cast<float>(height) : 0.0f;
        if (!records) {
            ForEachCommand(h, U(mesh.commandOffset),
                           [&](uint64_t, int32_t count, bool) { model.vertexCount += count; });
            continue;
        }
        const __m128 scale = _mm_setr_ps(su, sv, 0.0f, 0.0f);
        // x, z, y at 0 (the three unused floats stay as they are), u, v at 24.
        // A local count: the record stores may alias the model's.
        int32_t written = model.vertexCount;
        auto put = [&](int32_t vi, __m128 st) {
            CharacterVertex &r = records[written++];
            const __m128 p = _mm_load_ps(g_work.transformed[vi]);
            _mm_storel_pi(reinterpret_cast<__m64 *>(&r.x), p);
            _mm_store_ss(&r.y, _mm_movehl_ps(p, p));
            _mm_storel_pi(reinterpret_cast<__m64 *>(&r.u), _mm_mul_ps(st, scale));
        };
        ForEachCommand(h, U(mesh.commandOffset), [&](uint64_t at, int32_t count, bool) {
            if (chrome) {
                for (int32_t i = 0; i < count; ++i, at += 8) {
                    const auto c = Field<mdl::CommandVertex>(h, at);
                    const int32_t(&st)[2] = g_work.chrome[c.normal];
                    put(c.vertex, _mm_cvtepi32_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(st))));
                }
            } else {
                for (int32_t i = 0; i < count; ++i, at += 8) {
                    const auto c = Field<mdl::CommandVertex>(h, at);
                    // s and t, sign-extended to two ints in the low lanes.
                    int32_t st;
                    std::memcpy(&st, h + at + 4, 4);
                    const __m128i w = _mm_cvtsi32_si128(st);
                    put(c.vertex, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(w, w), 16)));
                }
            }
        });
        model.vertexCount = written;
    }
}

bool PoseMdl(MdlModel &model, CharacterVertex *records, int32_t *count) {
    const double now = TickCount() * 0.001;
    const double dt = (now - g_work.lastTime) * model.speed;
    AdvanceFrame(model, dt);
    g_work.lastTime = static_cast<float>(now);
    const int32_t parts = model.Head().bodyPartCount;
    if (parts == 0) return false;
    SetUpBones(model);
    model.vertexCount = 0;
    for (int32_t b = 0; b < parts; ++b) {
        SetupModel(model, b);
        DrawModel(model, records);
    }
    if (count) *count = model.vertexCount;
    model.drawn = true;
    return true;
}

const mdl::BoneMatrix &MdlBoneTransform(int32_t bone) { return g_work.boneTransform[bone]; }
float &MdlLastTime() { return g_work.lastTime; }

MdlSizes MdlMeshSizes(const MdlModel &model) {
    MdlSizes sizes;
    const uint8_t *h = model.header.data();
    ForEachDrawnMesh(model, [&](const mdl::Mesh &mesh) {
        ForEachCommand(h, U(mesh.commandOffset), [&](uint64_t, int32_t n, bool) {
            sizes.records += n;
            if (n >= 3) sizes.indices += 3 * (n - 2);
        });
    });
    return sizes;
}

int32_t MdlTriangles(const MdlModel &model, uint32_t *indices) {
    const uint8_t *h = model.header.data();
    uint32_t base = 0;
    int32_t written = 0;
    auto put = [&](uint32_t a, uint32_t b, uint32_t c) {
        if (indices) {
            indices[written] = a;
            indices[written + 1] = b;
            indices[written + 2] = c;
        }
        written += 3;
    };
    ForEachDrawnMesh(model, [&](const mdl::Mesh &mesh) {
        ForEachCommand(h, U(mesh.commandOffset), [&](uint64_t, int32_t n, bool fan) {
            for (uint32_t i = 2; i < static_cast<uint32_t>(n); ++i) {
                if (fan)
                    put(base, base + i - 1, base + i);
                else if (i % 2 == 0)
                    put(base + i - 2, base + i - 1, base + i);
                else  // every other strip triangle is flipped to keep one winding
                    put(base + i - 1, base + i - 2, base + i);
            }
            base += static_cast<uint32_t>(n);
        });
    });
    return written;
}

int32_t MdlMeshRanges(const MdlModel &model, int32_t *ranges) {
    const uint8_t *h = model.header.data();
    const uint8_t *t = model.TextureHeader().data();
    const mdl::Header th = model.TextureHead();
    int32_t meshes = 0, first = 0;
    ForEachDrawnMesh(model, [&](const mdl::Mesh &mesh) {
        int32_t indices = 0;
        ForEachCommand(h, U(mesh.commandOffset), [&](uint64_t, int32_t n, bool) {
            if (n >= 3) indices += 3 * (n - 2);
        });
        if (ranges) {
            ranges[3 * meshes] = first;
            ranges[3 * meshes + 1] = indices;
            ranges[3 * meshes + 2] = mdl::Record<int16_t>(t, th.skinOffset, mesh.skinReference);
        }
        first += indices;
        ++meshes;
    });
    return meshes;
}

bool SetMdlSequence(MdlModel &model, int32_t sequence) {
    if (sequence < 0 || sequence >= model.Head().sequenceCount) return false;
    model.sequence = sequence;
    model.frame = 0.0f;
    return true;
}

}  // namespace vesk

VESK_API int32_t VESK_CALL GetModelMDLmesh(int32_t index, CharacterVertex *records, int32_t *count) {
    vesk::MdlModel *model = vesk::UsableMdlModelAt(index);
    if (!model) {
        if (count) *count = 0;
        return index;
    }
    vesk::PoseMdl(*model, records, count);
    return index;
}

VESK_API void VESK_CALL VeskGetModelMDLtriangles(int32_t index, uint32_t *indices, int32_t *count) {
    const vesk::MdlModel *model = vesk::UsableMdlModelAt(index);
    const int32_t n = model && model->drawn ? vesk::MdlTriangles(*model, indices) : 0;
    if (count) *count = n;
}

VESK_API void VESK_CALL VeskGetModelMDLcounts(int32_t index, int32_t *counts) {
    if (!counts) return;
    const vesk::MdlModel *model = vesk::UsableMdlModelAt(index);
    const vesk::MdlSizes sizes = model ? vesk::MdlMeshSizes(*model) : vesk::MdlSizes{};
    counts[0] = sizes.records;
    counts[1] = sizes.indices;
}

VESK_API int32_t VESK_CALL VeskGetModelMDLmeshes(int32_t index, int32_t *ranges) {
    const vesk::MdlModel *model = vesk::UsableMdlModelAt(index);
    return model ? vesk::MdlMeshRanges(*model, ranges) : 0;
}

VESK_API VeskBool VESK_CALL VeskSetModelMDLsequence(int32_t index, int32_t sequence) {
    vesk::MdlModel *model = vesk::UsableMdlModelAt(index);
    return model && vesk::SetMdlSequence(*model, sequence) ? 1 : 0;
}
