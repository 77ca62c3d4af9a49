// Posing a player: tag placements from interpolated tags and the posed,
// interpolated vertices of every part written to the host's arrays.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "characters/md3_player.h"
#include "math/matrix.h"
#include "math/scalar.h"

static_assert(sizeof(CharacterVertex) == 32);
static_assert(offsetof(CharacterVertex, x) == 0 && offsetof(CharacterVertex, z) == 4 &&
              offsetof(CharacterVertex, y) == 8 && offsetof(CharacterVertex, unused) == 12 &&
              offsetof(CharacterVertex, u) == 24 && offsetof(CharacterVertex, v) == 28);
static_assert(std::is_standard_layout_v<CharacterVertex>);

namespace vesk {
namespace {

constexpr int kPartArrays = 4;
// Legs, upper body, attachments: deeper chains only come from odd links.
constexpr int kMaxLinkDepth = 8;

float FastRoot(float v) { return v == 0.0f ? 0.0f : v * InverseSqrt(v); }

// A frame number from an animation, kept inside the frames that exist.
size_t ClampFrame(int32_t frame, int32_t frames) {
    if (frame < 0) return 0;
    if (frame >= frames) return static_cast<size_t>(frames - 1);
    return static_cast<size_t>(frame);
}

// Some players' tags carry a uniform scale (several times unit length) that
// their attached parts are not modelled for: a tag places, it does not scale.
void UnitAxes(const Vector3 (&in)[3], Vector3 (&out)[3]) {
    for (int r = 0; r < 3; ++r) {
        const double x = in[r].x, y = in[r].y, z = in[r].z;
        const double length = std::sqrt(x * x + y * y + z * z);
        out[r] = length > 0.0 ? Vector3{static_cast<float>(x / length), static_cast<float>(y / length),
                                        static_cast<float>(z / length)}
                              : in[r];
    }
}

Matrix4 Identity() {
    Matrix4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

// The export and its size query walk the same parts: these say which ones.
// Tag frames a model's children are placed from; 0 ends the walk there.
int32_t ChildTagFrames(const Md3Model &model, int depth) {
    return depth >= kMaxLinkDepth ? 0 : model.TagFrameCount();
}

// Tags that can hold a link.
size_t LinkedTags(const Md3Model &model) {
    return std::min(static_cast<size_t>(model.tagCount), model.links.size());
}

// Vertices a face may name: those with positions and a texture coordinate.
size_t UsableVertices(const Md3Mesh &mesh) {
    return std::min(static_cast<size_t>(mesh.vertexCount), mesh.texCoords.size());
}

// A face naming a vertex that does not exist is not drawn.
bool FaceDrawn(const StaticFace &face, size_t usable) {
    for (int k = 0; k < 3; ++k)
        if (face.vertexIndex[k] < 0 || static_cast<size_t>(face.vertexIndex[k]) >= usable) return false;
    return true;
}

// Records EmitModel writes for a model: three per drawn face.
int32_t ModelRecords(const Md3Model &model) {
    int32_t n = 0;
    for (const Md3Mesh &mesh : model.meshes) {
        if (mesh.FrameCount() == 0) continue;
        const size_t usable = UsableVertices(mesh);
        for (const StaticFace &face : mesh.faces)
            if (FaceDrawn(face, usable)) n += 3;
    }
    return n;
}

void CountLinkAt(const Md3Model &model, int32_t &part, int32_t (&counts)[kPartArrays], int depth) {
    if (!model.meshes.empty()) {
        if (part >= 0 && part < kPartArrays) counts[part] = ModelRecords(model);
        ++part;
    }
    if (ChildTagFrames(model, depth) == 0) return;
    for (size_t i = 0; i < LinkedTags(model); ++i)
        if (const Md3Model *child = model.links[i]) CountLinkAt(*child, part, counts, depth + 1);
}

void DrawLinkAt(Md3Player &player, const Md3Model &model, const Matrix4 &placement, const CharacterOutput &out,
                int depth) {
    EmitModel(player, model, placement, out);
    player.transform = placement;
    const int32_t frames = ChildTagFrames(model, depth);
    if (frames == 0) return;
    const size_t tagCount = static_cast<size_t>(model.tagCount);
    const size_t current = ClampFrame(model.currentFrame, frames) * tagCount;
    const size_t next = ClampFrame(model.nextFrame, frames) * tagCount;
    for (size_t i = 0; i < LinkedTags(model); ++i) {
        const Md3Model *child = model.links[i];
        if (!child) continue;
        Matrix4 tag, childPlacement;
        TagMatrix(model.tags[current + i], model.tags[next + i], model.blend, tag);
        // Each child starts from its own parent: first the tag, then the parent.
        MatrixMultiply(childPlacement, tag, placement);
        DrawLinkAt(player, *child, childPlacement, out, depth + 1);
    }
}

}  // namespace

Quaternion QuaternionFromAxes(const Vector3 (&axis)[3]) {
    float m[16] = {};
    for (int r = 0; r < 3; ++r) {
        m[4 * r + 0] = axis[r].x;
        m[4 * r + 1] = axis[r].y;
        m[4 * r + 2] = axis[r].z;
    }
    m[15] = 1.0f;
    Quaternion q;
    const float trace = m[5] + m[10] + m[0] + 1.0f;
    if (trace > 1e-8f) {
        const float s = 2.0f * FastRoot(trace);
        q = {(m[9] - m[6]) / s, (m[2] - m[8]) / s, (m[4] - m[1]) / s, s * 0.25f};
    } else if (m[0] > m[5] && m[0] > m[10]) {
        const float s = 2.0f * FastRoot(m[0] + 1.0f - m[5] - m[10]);
        q = {s * 0.25f, (m[4] + m[1]) / s, (m[8] + m[2]) / s, (m[9] - m[6]) / s};
    } else if (m[5] > m[10]) {
        const float s = 2.0f * FastRoot(m[5] + 1.0f - m[0] - m[10]);
        q = {(m[4] + m[1]) / s, s * 0.25f, (m[9] + m[6]) / s, (m[2] - m[8]) / s};
    } else {
        const float s = 2.0f * FastRoot(m[10] + 1.0f - m[0] - m[5]);
        q = {(m[8] + m[2]) / s, (m[9] + m[6]) / s, s * 0.25f, (m[4] - m[1]) / s};
    }
    return q;
}

Quaternion QuaternionSlerp(const Quaternion &qa, Quaternion qb, float t) {
    if (qa.x == qb.x && qa.y == qb.y && qa.z == qb.z && qa.w == qb.w) return qa;
    float d = qa.x * qb.x + qa.y * qb.y + qa.z * qb.z + qa.w * qb.w;
    if (d < 0.0f) {
        qb = {-qb.x, -qb.y, -qb.z, -qb.w};
        d = -d;
    }
    float k0 = 1.0f - t, k1 = t;
    if (1.0f - d > 0.1f) {
        const float theta = std::acos(d);
        const float sinTheta = std::sin(theta);
        k0 = std::sin((1.0f - t) * theta) / sinTheta;
        k1 = std::sin(t * theta) / sinTheta;
    }
    return {k0 * qa.x + k1 * qb.x, k0 * qa.y + k1 * qb.y, k0 * qa.z + k1 * qb.z, k0 * qa.w + k1 * qb.w};
}

void QuaternionToMatrix(const Quaternion &q, Matrix4 &out) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    float *m = out.m;
    m[0] = 1.0f - 2.0f * (y * y + z * z);
    m[1] = 2.0f * (x * y + w * z);
    m[2] = 2.0f * (x * z - w * y);
    m[3] = 0.0f;
    m[4] = 2.0f * (x * y - w * z);
    m[5] = 1.0f - 2.0f * (x * x + z * z);
    m[6] = 2.0f * (y * z + w * x);
    m[7] = 0.0f;
    m[8] = 2.0f * (x * z + w * y);
    m[9] = 2.0f * (y * z - w * x);
    m[10] = 1.0f - 2.0f * (x * x + y * y);
    m[11] = 0.0f;
    m[12] = m[13] = m[14] = 0.0f;
    m[15] = 1.0f;
}

void TagMatrix(const Md3Tag &current, const Md3Tag &next, float blend, Matrix4 &out) {
    Vector3 a[3], b[3];
    UnitAxes(current.axis, a);
    UnitAxes(next.axis, b);
    const Quaternion q = QuaternionSlerp(QuaternionFromAxes(a), QuaternionFromAxes(b), blend);
    Matrix4 rotation;
    QuaternionToMatrix(q, rotation);
    // The quaternion's matrix carries p to (axis[0].p, axis[1].p, axis[2].p);
    // tags are authored the other way round, so take its transpose.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out.m[4 * r + c] = rotation.m[4 * c + r];
        out.m[4 * r + 3] = 0.0f;
    }
    out.m[12] = (next.origin.x - current.origin.x) * blend + current.origin.x;
    out.m[13] = (next.origin.y - current.origin.y) * blend + current.origin.y;
    out.m[14] = (next.origin.z - current.origin.z) * blend + current.origin.z;
    out.m[15] = 1.0f;
}

namespace {

// One posed vertex as the records store it: (x, z, y), then a pad lane.
struct alignas(16) PosedPoint {
    float p[4];
};

// Posed vertices of the mesh being written, kept between calls so that a
// steady frame allocates nothing.
std::vector<PosedPoint> &PosedScratch() {
    static std::vector<PosedPoint> scratch;
    return scratch;
}

// x, y, z, 0 without reading past the vector (vertices are 4-byte aligned).
inline __m128 LoadVector3(const Vector3 &v) {
    double xy;
    std::memcpy(&xy, &v.x, sizeof xy);
    return _mm_movelh_ps(_mm_castpd_ps(_mm_set_sd(xy)), _mm_load_ss(&v.z));
}

// Every usable vertex of one frame pair, interpolated and carried by the
// placement, as TransformPointProjective would: a failed W leaves (0, 0, 0).
// The lanes do the scalar single blend and the double row sums in the same
// order, so each value has the scalar's bits.
void PoseVertices(const Vector3 *a, const Vector3 *b, size_t count, float blend, const Matrix4 &placement,
                  PosedPoint *out) {
    const float *m = placement.m;
    // With no projective row, W is exactly 1 for a finite point (each product
    // a signed zero) and NaN otherwise: dividing by it changes nothing, and
    // a failed W is a point with a non-finite coordinate.
    if (m[3] == 0.0f && m[7] == 0.0f && m[11] == 0.0f && m[15] == 1.0f) {
        const __m128 t = _mm_set1_ps(blend);
        const __m128d c0 = _mm_set_pd(m[1], m[0]), c4 = _mm_set_pd(m[5], m[4]), c8 = _mm_set_pd(m[9], m[8]),
                      c12 = _mm_set_pd(m[13], m[12]);
        const __m128d z2 = _mm_set_sd(m[2]), z6 = _mm_set_sd(m[6]), z10 = _mm_set_sd(m[10]), z14 = _mm_set_sd(m[14]);
        const __m128 zero = _mm_setzero_ps();
        for (size_t i = 0; i < count; ++i) {
            const __m128 va = LoadVector3(a[i]);
            const __m128 s = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(LoadVector3(b[i]), va), t), va);
            const __m128d xy = _mm_cvtps_pd(s), zw = _mm_cvtps_pd(_mm_movehl_ps(s, s));
            const __m128d x = _mm_unpacklo_pd(xy, xy), y = _mm_unpackhi_pd(xy, xy), z = _mm_unpacklo_pd(zw, zw);
            const __m128d rxy =
                _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(x, c0), _mm_mul_pd(y, c4)), _mm_mul_pd(z, c8)), c12);
            const __m128d rz =
                _mm_add_sd(_mm_add_sd(_mm_add_sd(_mm_mul_sd(x, z2), _mm_mul_sd(y, z6)), _mm_mul_sd(z, z10)), z14);
            __m128 r = _mm_unpacklo_ps(_mm_cvtpd_ps(rxy), _mm_cvtpd_ps(rz));  // x, z, y, z
            // s - s is 0 exactly for finite lanes, NaN for the rest.
            const __m128 finite = _mm_cmpeq_ps(_mm_sub_ps(s, s), zero);
            if ((_mm_movemask_ps(finite) & 7) != 7) r = zero;
            _mm_store_ps(out[i].p, r);
        }
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const Vector3 s{(b[i].x - a[i].x) * blend + a[i].x, (b[i].y - a[i].y) * blend + a[i].y,
                        (b[i].z - a[i].z) * blend + a[i].z};
        Vector3 r{0.0f, 0.0f, 0.0f};
        TransformPointProjective(placement, s, r);
        out[i] = {{r.x, r.z, r.y, 0.0f}};
    }
}

}  // namespace

void EmitModel(Md3Player &player, const Md3Model &model, const Matrix4 &placement, const CharacterOutput &out) {
    if (model.meshes.empty()) return;
    const int32_t part = player.partIndex;
    CharacterVertex *records = part >= 0 && part < kPartArrays ? out.parts[part] : nullptr;
    float *box = out.box;
    // The box as two lanes of (x, z, y): min(r, lo) is "r < lo ? r : lo", the
    // strict scalar update, NaN and signed zeros included, corner by corner.
    __m128 lo = _mm_setzero_ps(), hi = _mm_setzero_ps();
    if (box) {
        lo = _mm_setr_ps(box[0], box[1], box[2], 0.0f);
        hi = _mm_setr_ps(box[3], box[4], box[5], 0.0f);
    }
    std::vector<PosedPoint> &posed = PosedScratch();
    int32_t n = 0;
    for (const Md3Mesh &mesh : model.meshes) {
        const int32_t frames = mesh.FrameCount();
        if (frames == 0) continue;
        const size_t vertexCount = static_cast<size_t>(mesh.vertexCount);
        const Vector3 *a = mesh.vertices.data() + ClampFrame(model.currentFrame, frames) * vertexCount;
        const Vector3 *b = mesh.vertices.data() + ClampFrame(model.nextFrame, frames) * vertexCount;
        const size_t usable = UsableVertices(mesh);
        if (posed.size() < usable) posed.resize(usable);
        PoseVertices(a, b, usable, model.blend, placement, posed.data());
        const TexCoord *uvs = mesh.texCoords.data();
        for (const StaticFace &face : mesh.faces) {
            if (!FaceDrawn(face, usable)) continue;
            for (int k = 0; k < 3; ++k) {
                const size_t vi = static_cast<size_t>(face.vertexIndex[k]);
                const __m128 r = _mm_load_ps(posed[vi].p);
                lo = _mm_min_ps(r, lo);
                hi = _mm_max_ps(r, hi);
                if (records) {
                    CharacterVertex &rec = records[n];
                    std::memcpy(&rec.x, posed[vi].p, 3 * sizeof(float));  // x, z, y
                    std::memcpy(&rec.u, &uvs[vi], sizeof(TexCoord));
                }
                ++n;
            }
        }
    }
    if (box) {
        alignas(16) float l[4], h[4];
        _mm_store_ps(l, lo);
        _mm_store_ps(h, hi);
        for (int i = 0; i < 3; ++i) box[i] = l[i], box[i + 3] = h[i];
    }
    if (out.counts && part >= 0 && part < kPartArrays) out.counts[part] = n;
    ++player.partIndex;
}

void DrawLink(Md3Player &player, const Md3Model &model, const Matrix4 &placement, const CharacterOutput &out) {
    DrawLinkAt(player, model, placement, out, 0);
}

int32_t PosePlayer(Md3Player &player, const CharacterOutput &out) {
    player.partIndex = 0;
    AdvanceModel(player, player.lower);
    AdvanceModel(player, player.upper);
    const Matrix4 identity = Identity();
    player.transform = identity;
    if (out.box) {
        for (int i = 0; i < 3; ++i) {
            out.box[i] = 9999999.0f;
            out.box[i + 3] = -9999999.0f;
        }
    }
    DrawLinkAt(player, player.lower, identity, out, 0);
    // The exact tick, as the host's 32-bit clock reads it.
    return static_cast<int32_t>(player.lower.lastStepTick);
}

void CountPlayerRecords(const Md3Player &player, int32_t (&counts)[4]) {
    for (int32_t &c : counts) c = 0;
    int32_t part = 0;
    CountLinkAt(player.lower, part, counts, 0);
}

}  // namespace vesk

VESK_API int32_t VESK_CALL GetModelMD3mesh(int32_t index, CharacterVertex *part0, CharacterVertex *part1,
                                           CharacterVertex *part2, CharacterVertex *part3, int32_t *counts,
                                           float *box) {
    vesk::Md3Player *player = vesk::Md3PlayerAt(index);
    if (!player) return 0;
    vesk::CharacterOutput out;
    out.parts[0] = part0;
    out.parts[1] = part1;
    out.parts[2] = part2;
    out.parts[3] = part3;
    out.counts = counts;
    out.box = box;
    return vesk::PosePlayer(*player, out);
}

VESK_API void VESK_CALL VeskGetModelMD3counts(int32_t index, int32_t *counts) {
    int32_t found[4] = {0, 0, 0, 0};
    if (const vesk::Md3Player *player = vesk::Md3PlayerAt(index)) vesk::CountPlayerRecords(*player, found);
    if (counts)
        for (int p = 0; p < 4; ++p) counts[p] = found[p];
}
