// The module-wide static model, its normal smoothing and face validation.
#include "loaders/static_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "math/finite_floats.h"

#include <emmintrin.h>

namespace vesk {
namespace {
StaticModel g_staticModel;
}  // namespace

StaticModel &TheStaticModel() { return g_staticModel; }

void StaticModel::Clear() {
    objects.clear();
    objects.shrink_to_fit();
    spareObjects.clear();
    spareObjects.shrink_to_fit();
    materials.clear();
    materials.shrink_to_fit();
    objectCount = 0;
    materialCount = 0;
    smoothedObjects = 0;
    ForgetMaterialNames();
}

void StaticObject::Reset() {
    vertexCount = faceCount = texCoordCount = materialIndex = 0;
    hasTexture = false;
    std::memset(name, 0, sizeof name);
    vertices.clear();
    normals.clear();
    texCoords.clear();
    faces.clear();
    texCoordsPerCorner = false;
}

void StaticModel::ForgetMaterialNames() {
    materialByName_.clear();
    indexedMaterials_ = 0;
}

int32_t StaticModel::FindMaterial(const char *name) {
    // Materials already indexed never change under the loaders that append;
    // the earlier index of a repeated name stays.
    const int32_t held = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(std::max(materialCount, 0)),
                                                               materials.size()));
    if (indexedMaterials_ > held) ForgetMaterialNames();
    for (; indexedMaterials_ < held; ++indexedMaterials_)
        materialByName_.try_emplace(materials[static_cast<size_t>(indexedMaterials_)].name, indexedMaterials_);
    const auto found = materialByName_.find(name);
    return found == materialByName_.end() ? -1 : found->second;
}

namespace {

// One unsigned compare rejects negative indices too.
bool ValidVertex(int32_t index, int32_t vertexCount) {
    return static_cast<uint32_t>(index) < static_cast<uint32_t>(std::max<int32_t>(vertexCount, 0));
}


// A vertex's running sum in one register; the fourth lane stays 0.
struct alignas(16) Sum4 {
    float v[4];
};

__m128 LoadVector3(const Vector3 &p) {
    return _mm_movelh_ps(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(&p))),
                         _mm_load_ss(&p.z));
}

// Scratch shared by the objects of one model.
struct SmoothScratch {
    std::vector<int32_t> count;
    std::vector<Sum4> sums;
};

void SmoothObject(StaticObject &object, SmoothScratch &scratch) {
    const size_t vertexCount = object.vertices.size();
    std::vector<Vector3> &normals = object.normals;
    normals.assign(vertexCount, Vector3{0.0f, 0.0f, 0.0f});
    std::vector<int32_t> &count = scratch.count;
    count.assign(vertexCount, 0);
    int32_t *used = count.data();
    const Vector3 *vertices = object.vertices.data();
    // Unsigned compare: negative indices fail too.
    const uint32_t limit = static_cast<uint32_t>(
        std::min<uint64_t>(static_cast<uint64_t>(std::max<int32_t>(0, object.vertexCount)), vertexCount));
    // The same products and sums, lane by lane, as the scalar form below:
    // packed IEEE arithmetic rounds each lane alike, so the bits agree.
    scratch.sums.assign(vertexCount, Sum4{});
    Sum4 *sum4 = scratch.sums.data();
    for (const StaticFace &face : object.faces) {
        const uint32_t i0 = static_cast<uint32_t>(face.vertexIndex[0]);
        const uint32_t i1 = static_cast<uint32_t>(face.vertexIndex[1]);
        const uint32_t i2 = static_cast<uint32_t>(face.vertexIndex[2]);
        if (i0 >= limit || i1 >= limit || i2 >= limit) continue;
        const __m128 p0 = LoadVector3(vertices[i0]);
        const __m128 p1 = LoadVector3(vertices[i1]);
        const __m128 p2 = LoadVector3(vertices[i2]);
        const __m128 a = _mm_sub_ps(p0, p2);
        const __m128 b = _mm_sub_ps(p2, p1);
        // {a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x}
        const __m128 aYzx = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 0, 2, 1));
        const __m128 aZxy = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 1, 0, 2));
        const __m128 bYzx = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 0, 2, 1));
        const __m128 bZxy = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 1, 0, 2));
        const __m128 n = _mm_sub_ps(_mm_mul_ps(aYzx, bZxy), _mm_mul_ps(aZxy, bYzx));
        // A face that names a vertex twice still counts once for it.
        _mm_store_ps(sum4[i0].v, _mm_add_ps(_mm_load_ps(sum4[i0].v), n));
        ++used[i0];
        if (i1 != i0) {
            _mm_store_ps(sum4[i1].v, _mm_add_ps(_mm_load_ps(sum4[i1].v), n));
            ++used[i1];
        }
        if (i2 != i0 && i2 != i1) {
            _mm_store_ps(sum4[i2].v, _mm_add_ps(_mm_load_ps(sum4[i2].v), n));
            ++used[i2];
        }
    }
    Vector3 *out = normals.data();
    // Four vertices at a time, one per lane: the same operations in the same
    // order as the single-vertex form below, so the same bits.
    size_t i = 0;
    for (; i + 4 <= vertexCount; i += 4) {
        __m128 x = _mm_load_ps(sum4[i].v), y = _mm_load_ps(sum4[i + 1].v);
        __m128 z = _mm_load_ps(sum4[i + 2].v), w = _mm_load_ps(sum4[i + 3].v);
        _MM_TRANSPOSE4_PS(x, y, z, w);
        const __m128i counts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(used + i));
        const __m128 divisor = _mm_xor_ps(_mm_cvtepi32_ps(counts), _mm_set1_ps(-0.0f));  // -float(count)
        x = _mm_div_ps(x, divisor);
        y = _mm_div_ps(y, divisor);
        z = _mm_div_ps(z, divisor);
        const __m128 length =
            _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z)));
        // Used, and a length above 0 and below infinity (NaN fails both);
        // other lanes keep their 0.
        const __m128 keep = _mm_and_ps(
            _mm_castsi128_ps(_mm_xor_si128(_mm_cmpeq_epi32(counts, _mm_setzero_si128()), _mm_set1_epi32(-1))),
            _mm_and_ps(_mm_cmpgt_ps(length, _mm_setzero_ps()), _mm_cmplt_ps(length, _mm_set1_ps(INFINITY))));
        const int lanes = _mm_movemask_ps(keep);
        if (!lanes) continue;
        alignas(16) float nx[4], ny[4], nz[4];
        _mm_store_ps(nx, _mm_div_ps(x, length));
        _mm_store_ps(ny, _mm_div_ps(y, length));
        _mm_store_ps(nz, _mm_div_ps(z, length));
        for (int k = 0; k < 4; ++k)
            if (lanes >> k & 1) out[i + k] = Vector3{nx[k], ny[k], nz[k]};
    }
    for (; i < vertexCount; ++i) {
        if (used[i] == 0) continue;  // unused vertex: no direction to give (its normal stays 0)
        // Packed IEEE division rounds each lane as the scalar one does: the
        // same bits for half the divisions' cost.
        const __m128 avg = _mm_div_ps(_mm_load_ps(sum4[i].v), _mm_set1_ps(-static_cast<float>(used[i])));
        alignas(16) float a[4];
        _mm_store_ps(a, avg);
        const float length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        if (!(length > 0.0f) || !std::isfinite(length)) continue;  // cancelled or overflowed: stays 0
        _mm_store_ps(a, _mm_div_ps(avg, _mm_set1_ps(length)));
        out[i] = Vector3{a[0], a[1], a[2]};
    }
}

}  // namespace

void SmoothVertexNormals(StaticModel &model, int32_t first) {
    SmoothScratch scratch;
    const int32_t held = static_cast<int32_t>(
        std::min<size_t>(static_cast<size_t>(std::max(model.objectCount, 0)), model.objects.size()));
    for (int32_t i = std::max(0, std::min(first, model.smoothedObjects)); i < held; ++i)
        SmoothObject(model.objects[static_cast<size_t>(i)], scratch);
    model.smoothedObjects = held;
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

bool ObjectsFinite(const StaticModel &model, int32_t first) {
    for (size_t i = first < 0 ? 0 : static_cast<size_t>(first); i < model.objects.size(); ++i) {
        const StaticObject &object = model.objects[i];
        if (!FloatsFinite(object.vertices.data(), 3 * object.vertices.size()) ||
            !FloatsFinite(object.texCoords.data(), 2 * object.texCoords.size()))
            return false;
    }
    return true;
}

void DropAdded(StaticModel &model, int32_t objectCount, int32_t materialCount) {
    // Dropped materials may have been indexed by name, and later ones will
    // take their places.
    if (materialCount < model.materialCount) model.ForgetMaterialNames();
    model.smoothedObjects = std::min(model.smoothedObjects, objectCount);
    model.objects.resize(static_cast<size_t>(objectCount));
    model.objectCount = objectCount;
    model.materials.resize(static_cast<size_t>(materialCount));
    model.materialCount = materialCount;
}

}  // namespace vesk
