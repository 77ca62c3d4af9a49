// The module-wide static model, its normal smoothing and face validation.
#include "loaders/static_model.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesk {
namespace {
StaticModel g_staticModel;
}  // namespace

StaticModel &TheStaticModel() { return g_staticModel; }

void StaticModel::Clear() {
    objects.clear();
    objects.shrink_to_fit();
    materials.clear();
    materials.shrink_to_fit();
    objectCount = 0;
    materialCount = 0;
}

namespace {

bool ValidVertex(int32_t index, int32_t vertexCount) { return index >= 0 && index < vertexCount; }

void Accumulate(Vector3 &s, const Vector3 &n) {
    s.x += n.x;
    s.y += n.y;
    s.z += n.z;
}

// count is scratch shared by the objects of one model; the sums gather in the
// normals themselves.
void SmoothObject(StaticObject &object, std::vector<int32_t> &count) {
    const size_t vertexCount = object.vertices.size();
    // Summing face by face in face order gives every vertex the same sum, in
    // the same order, as a loop over vertices with an inner loop over faces.
    std::vector<Vector3> &normals = object.normals;
    normals.assign(vertexCount, Vector3{0.0f, 0.0f, 0.0f});
    count.assign(vertexCount, 0);
    Vector3 *sum = normals.data();
    int32_t *used = count.data();
    const Vector3 *vertices = object.vertices.data();
    // Unsigned compare: negative indices fail too.
    const uint32_t limit = static_cast<uint32_t>(
        std::min<uint64_t>(static_cast<uint64_t>(std::max<int32_t>(0, object.vertexCount)), vertexCount));
    for (const StaticFace &face : object.faces) {
        const uint32_t i0 = static_cast<uint32_t>(face.vertexIndex[0]);
        const uint32_t i1 = static_cast<uint32_t>(face.vertexIndex[1]);
        const uint32_t i2 = static_cast<uint32_t>(face.vertexIndex[2]);
        if (i0 >= limit || i1 >= limit || i2 >= limit) continue;
        const Vector3 &p0 = vertices[i0];
        const Vector3 &p1 = vertices[i1];
        const Vector3 &p2 = vertices[i2];
        const Vector3 a{p0.x - p2.x, p0.y - p2.y, p0.z - p2.z};
        const Vector3 b{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z};
        const Vector3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
        // A face that names a vertex twice still counts once for it.
        Accumulate(sum[i0], n);
        ++used[i0];
        if (i1 != i0) {
            Accumulate(sum[i1], n);
            ++used[i1];
        }
        if (i2 != i0 && i2 != i1) {
            Accumulate(sum[i2], n);
            ++used[i2];
        }
    }
    for (size_t i = 0; i < vertexCount; ++i) {
        if (used[i] == 0) continue;  // unused vertex: no direction to give (its sum stayed 0)
#if defined(__SSE2__)
        // Packed IEEE division rounds each lane as the scalar one does: the
        // same bits for half the divisions' cost.
        const __m128 s = _mm_set_ps(1.0f, sum[i].z, sum[i].y, sum[i].x);
        const __m128 avg = _mm_div_ps(s, _mm_set1_ps(-static_cast<float>(used[i])));
        alignas(16) float a[4];
        _mm_store_ps(a, avg);
        const float length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        if (!(length > 0.0f) || !std::isfinite(length)) {
            sum[i] = Vector3{0.0f, 0.0f, 0.0f};  // cancelled or overflowed
            continue;
        }
        _mm_store_ps(a, _mm_div_ps(avg, _mm_set1_ps(length)));
        sum[i] = Vector3{a[0], a[1], a[2]};
#else
        const float c = -static_cast<float>(used[i]);
        const Vector3 avg{sum[i].x / c, sum[i].y / c, sum[i].z / c};
        const float length = std::sqrt(avg.x * avg.x + avg.y * avg.y + avg.z * avg.z);
        if (!(length > 0.0f) || !std::isfinite(length)) {
            sum[i] = Vector3{0.0f, 0.0f, 0.0f};  // cancelled or overflowed
            continue;
        }
        sum[i] = Vector3{avg.x / length, avg.y / length, avg.z / length};
#endif
    }
}

}  // namespace

void SmoothVertexNormals(StaticModel &model) {
    std::vector<int32_t> count;
    for (int32_t i = 0; i < model.objectCount && static_cast<size_t>(i) < model.objects.size(); ++i)
        SmoothObject(model.objects[i], count);
}

int32_t DropInvalidFaces(StaticModel &model, int32_t first) {
    int32_t dropped = 0;
    for (int32_t i = first < 0 ? 0 : first; i < model.objectCount && static_cast<size_t>(i) < model.objects.size();
         ++i) {
        StaticObject &object = model.objects[i];
        const int32_t vertexCount = static_cast<int32_t>(object.vertices.size());
        object.vertexCount = vertexCount;
        // Faces move only once an invalid one has been met.
        size_t kept = 0;
        for (size_t f = 0; f < object.faces.size(); ++f) {
            const StaticFace &face = object.faces[f];
            if (ValidVertex(face.vertexIndex[0], vertexCount) && ValidVertex(face.vertexIndex[1], vertexCount) &&
                ValidVertex(face.vertexIndex[2], vertexCount)) {
                if (kept != f) object.faces[kept] = face;
                ++kept;
            } else {
                ++dropped;
            }
        }
        object.faces.resize(kept);
        object.faceCount = static_cast<int32_t>(kept);
    }
    return dropped;
}

}  // namespace vesk
