#include "loaders/ms3d.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include <emmintrin.h>

#include "io/byte_cursor.h"
#include "io/file.h"
#include "math/finite_floats.h"

static_assert(sizeof(Ms3dInfo) == 16 && offsetof(Ms3dInfo, materialCount) == 4 &&
              offsetof(Ms3dInfo, vertexCount) == 8 && offsetof(Ms3dInfo, triangleCount) == 12);
static_assert(sizeof(Ms3dVertex) == 16 && offsetof(Ms3dVertex, boneId) == 0 && offsetof(Ms3dVertex, position) == 4);
static_assert(sizeof(Ms3dTriangle) == 72 && offsetof(Ms3dTriangle, normal) == 0 && offsetof(Ms3dTriangle, s) == 36 &&
              offsetof(Ms3dTriangle, oneMinusT) == 48 && offsetof(Ms3dTriangle, vertexIndex) == 60);
static_assert(sizeof(Ms3dGroup) == 8 && offsetof(Ms3dGroup, triangleCount) == 4);
static_assert(offsetof(Ms3dMaterial, ambient) == 0 && offsetof(Ms3dMaterial, diffuse) == 16 &&
              offsetof(Ms3dMaterial, specular) == 32 && offsetof(Ms3dMaterial, emissive) == 48 &&
              offsetof(Ms3dMaterial, shininess) == 64 && offsetof(Ms3dMaterial, unused) == 68 &&
              offsetof(Ms3dMaterial, texture) == 72);
// The one shared record holding a pointer: 76 bytes on 32-bit targets, 80 on 64-bit ones.
static_assert(sizeof(Ms3dMaterial) == (sizeof(void *) == 4 ? 76 : 80));
static_assert(std::is_standard_layout_v<Ms3dMaterial> && std::is_standard_layout_v<Ms3dTriangle> &&
              std::is_standard_layout_v<Ms3dVertex>);

namespace vesk {
namespace {

constexpr char kMagic[10] = {'M', 'S', '3', 'D', '0', '0', '0', '0', '0', '0'};

// Offsets inside the stored records.
constexpr size_t kVertexPosition = 1, kVertexBone = 13;
constexpr size_t kTriangleIndices = 2, kTriangleNormals = 8, kTriangleS = 44, kTriangleT = 56;
constexpr size_t kMaterialColours = 32, kMaterialShininess = 96, kMaterialTexture = 105;

template <class T>
T Load(std::span<const uint8_t> record, size_t offset) {
    T value;
    std::memcpy(&value, record.data() + offset, sizeof value);
    return value;
}

bool TakeSection(ByteCursor &cursor, size_t recordSize, uint16_t &count, std::span<const uint8_t> &records) {
    return cursor.Read(count) && cursor.Take(uint64_t{count} * recordSize, records);
}

// Whether kFloats floats from byte first of each record are finite.
template <size_t kFloats>
bool FloatsFinite(std::span<const uint8_t> records, size_t recordSize, size_t first) {
    return RecordFloatsFinite<kFloats>(records.data(), records.size() / recordSize, recordSize, first);
}

std::string_view TextureField(std::span<const uint8_t> material) {
    const char *text = reinterpret_cast<const char *>(material.data() + kMaterialTexture);
    size_t n = 0;
    while (n < kMs3dTextureField - 1 && text[n] != '\0') ++n;
    return {text, n};
}

}  // namespace

bool ParseMs3d(std::span<const uint8_t> bytes, Ms3dModel &model) {
    ByteCursor cursor(bytes);
    char magic[10];
    int32_t version = 0;
    if (!cursor.Read(magic) || std::memcmp(magic, kMagic, sizeof magic) != 0) return false;
    if (!cursor.Read(version) || version < 3 || version > 4) return false;
    if (!TakeSection(cursor, kMs3dVertexSize, model.vertexCount, model.vertices)) return false;
    if (!TakeSection(cursor, kMs3dTriangleSize, model.triangleCount, model.triangles)) return false;
    uint16_t groupCount = 0;
    if (!cursor.Read(groupCount)) return false;
    model.groups.assign(groupCount, {});
    for (Ms3dGroupData &group : model.groups) {
        // flags and the 32-byte name are not exported
        if (!cursor.Skip(1 + 32) || !cursor.Read(group.triangleCount) ||
            !cursor.Take(uint64_t{group.triangleCount} * 2, group.triangleIndices) || !cursor.Read(group.materialIndex))
            return false;
    }
    if (!TakeSection(cursor, kMs3dMaterialSize, model.materialCount, model.materials)) return false;
    // The floats the exports hand out: positions; corner normals, s and t;
    // the four colours and the shininess.
    return FloatsFinite<3>(model.vertices, kMs3dVertexSize, kVertexPosition) &&
           FloatsFinite<15>(model.triangles, kMs3dTriangleSize, kTriangleNormals) &&
           FloatsFinite<17>(model.materials, kMs3dMaterialSize, kMaterialColours);
}

Ms3dInfo Ms3dCounts(const Ms3dModel &model) {
    return {static_cast<int32_t>(model.groups.size()), model.materialCount, model.vertexCount, model.triangleCount};
}

void WriteMs3dVertices(const Ms3dModel &model, std::span<Ms3dVertex> out) {
    // Straight from the section's bytes: ParseMs3d checked that it holds every record.
    const uint8_t *record = model.vertices.data();
    for (size_t i = 0; i < model.vertexCount; ++i, record += kMs3dVertexSize) {
        Ms3dVertex &v = out[i];
        std::memcpy(&v.boneId, record + kVertexBone, 1);  // bytes 1 to 3 stay the caller's
        std::memcpy(&v.position, record + kVertexPosition, sizeof v.position);
    }
}

void WriteMs3dTriangles(const Ms3dModel &model, std::span<Ms3dTriangle> out) {
    const uint8_t *record = model.triangles.data();
    Ms3dTriangle *tri = out.data();
    const size_t count = model.triangleCount;
    for (size_t i = 0; i < count; ++i, record += kMs3dTriangleSize, ++tri) {
        // Normals and s lie in the record as the output holds them.
        static_assert(kTriangleS == kTriangleNormals + sizeof tri->normal);
        uint8_t *to = reinterpret_cast<uint8_t *>(tri);
        // Every load and store stays inside its record and its triangle.
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(record + kTriangleNormals)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(record + kTriangleNormals + 16)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 32),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(record + kTriangleNormals + 32)));
        float t2;  // records are not 4-byte aligned: a plain copy, not a float load
        std::memcpy(&t2, record + kTriangleT + 8, sizeof t2);
        const __m128 t = _mm_movelh_ps(
            _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(record + kTriangleT))), _mm_set_ss(t2));
        const __m128 oneMinusT = _mm_sub_ps(_mm_set1_ps(1.0f), t);  // lanes round as the scalar subtraction
        const __m128i index = _mm_unpacklo_epi16(
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(record + kTriangleIndices)), _mm_setzero_si128());
        // {1 - t0, 1 - t1, 1 - t2, index0}, then {index1, index2}.
        const __m128 high = _mm_shuffle_ps(oneMinusT, _mm_castsi128_ps(index), _MM_SHUFFLE(0, 0, 2, 2));
        _mm_storeu_ps(reinterpret_cast<float *>(to + offsetof(Ms3dTriangle, oneMinusT)),
                      _mm_shuffle_ps(oneMinusT, high, _MM_SHUFFLE(2, 0, 1, 0)));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(to + offsetof(Ms3dTriangle, vertexIndex) + 4),
                         _mm_srli_si128(index, 4));
    }
}

void WriteMs3dGroups(const Ms3dModel &model, std::span<Ms3dGroup> out) {
    for (size_t i = 0; i < model.groups.size(); ++i) {
        out[i].materialIndex = model.groups[i].materialIndex;
        out[i].triangleCount = model.groups[i].triangleCount;
    }
}

bool WriteMs3dGroupIndices(const Ms3dModel &model, int32_t groupIndex, uint32_t *out) {
    if (groupIndex < 0 || static_cast<size_t>(groupIndex) >= model.groups.size()) return false;
    const Ms3dGroupData &group = model.groups[static_cast<size_t>(groupIndex)];
    const uint8_t *stored = group.triangleIndices.data();
    for (size_t i = 0; i < group.triangleCount; ++i) {
        uint16_t index;
        std::memcpy(&index, stored + 2 * i, sizeof index);
        out[i] = index;
    }
    return true;
}

void WriteMs3dMaterials(const Ms3dModel &model, std::span<Ms3dMaterial> out) {
    for (size_t i = 0; i < model.materialCount; ++i) {
        const auto record = model.materials.subspan(i * kMs3dMaterialSize, kMs3dMaterialSize);
        Ms3dMaterial &material = out[i];
        std::memcpy(material.ambient, record.data() + kMaterialColours, 16);
        std::memcpy(material.diffuse, record.data() + kMaterialColours + 16, 16);
        std::memcpy(material.specular, record.data() + kMaterialColours + 32, 16);
        std::memcpy(material.emissive, record.data() + kMaterialColours + 48, 16);
        material.shininess = Load<float>(record, kMaterialShininess);
        // malloc so that VeskFreeString (and a host sharing the C heap) can free it.
        const std::string_view name = TextureField(record);
        char *copy = static_cast<char *>(std::malloc(name.size() + 1));
        if (copy) {
            std::memcpy(copy, name.data(), name.size());
            copy[name.size()] = '\0';
        }
        material.texture = copy;
    }
}

bool Ms3dTextureName(const Ms3dModel &model, int32_t materialIndex, std::string_view &name) {
    if (materialIndex < 0 || materialIndex >= model.materialCount) return false;
    name = TextureField(model.materials.subspan(static_cast<size_t>(materialIndex) * kMs3dMaterialSize,
                                                kMs3dMaterialSize));
    return true;
}

}  // namespace vesk

namespace {

// The last file the exports read and its parse: a host asks for the info,
// vertices, triangles and every group of one file in a row.
struct Ms3dCache {
    vesk::KeptFile file;
    vesk::Ms3dModel model;
    bool parsed = false;
};
Ms3dCache g_ms3d;

// Reads (or reuses) and parses the file, then hands the model (which views
// the file's bytes) to write; false, with nothing written, when the file does
// not parse.
template <class Write>
VeskBool WithMs3d(const char *path, Write write) {
    bool fresh = false;
    if (!g_ms3d.file.Get(path, fresh)) return 0;
    if (fresh) {
        g_ms3d.model = vesk::Ms3dModel{};
        g_ms3d.parsed = vesk::ParseMs3d(g_ms3d.file.bytes(), g_ms3d.model);
    }
    if (!g_ms3d.parsed) return 0;
    write(g_ms3d.model);
    return 1;
}

}  // namespace

void vesk::DropMs3dFileCache() {
    g_ms3d.file.Drop();
    g_ms3d.model = Ms3dModel{};
    g_ms3d.parsed = false;
}

VESK_API VeskBool VESK_CALL GetMSD3_Info(const char *path, Ms3dInfo *info) {
    return WithMs3d(path, [&](const vesk::Ms3dModel &model) {
        *info = vesk::Ms3dCounts(model);
    });
}

VESK_API VeskBool VESK_CALL GetMSD3_Vertex(const char *path, Ms3dVertex *vertices) {
    return WithMs3d(path, [&](const vesk::Ms3dModel &model) {
        vesk::WriteMs3dVertices(model, std::span<Ms3dVertex>(vertices, model.vertexCount));
    });
}

VESK_API VeskBool VESK_CALL GetMSD3_Triangles(const char *path, Ms3dTriangle *triangles) {
    return WithMs3d(path, [&](const vesk::Ms3dModel &model) {
        vesk::WriteMs3dTriangles(model, std::span<Ms3dTriangle>(triangles, model.triangleCount));
    });
}

VESK_API VeskBool VESK_CALL GetMSD3_Meshes(const char *path, Ms3dGroup *groups) {
    return WithMs3d(path, [&](const vesk::Ms3dModel &model) {
        vesk::WriteMs3dGroups(model, std::span<Ms3dGroup>(groups, model.groups.size()));
    });
}

VESK_API VeskBool VESK_CALL GetMSD3_MesheINDICES(const char *path, int32_t groupIndex, uint32_t *indices) {
    return WithMs3d(path, [&](const vesk::Ms3dModel &model) {
        vesk::WriteMs3dGroupIndices(model, groupIndex, indices);
    });
}

VESK_API VeskBool VESK_CALL GetMSD3_Material(const char *path, Ms3dMaterial *materials) {
    return WithMs3d(path, [&](const vesk::Ms3dModel &model) {
        vesk::WriteMs3dMaterials(model, std::span<Ms3dMaterial>(materials, model.materialCount));
    });
}

VESK_API VeskBool VESK_CALL GetMSD3_Texture(const char *path, int32_t materialIndex, char *textureFile) {
    return WithMs3d(path, [&](const vesk::Ms3dModel &model) {
        std::string_view name;
        if (vesk::Ms3dTextureName(model, materialIndex, name)) {
            std::memcpy(textureFile, name.data(), name.size());
            textureFile[name.size()] = '\0';
        }
    });
}

VESK_API void VESK_CALL VeskFreeString(char *text) { std::free(text); }
