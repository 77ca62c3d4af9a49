// The static mesh exports: load into the module's static model, then copy its
// triangles and materials into host records.
#include <VeskMathLIB.h>

#include <cstddef>
#include <cstring>

#include "frame/platform.h"
#include "loaders/static_model.h"

static_assert(sizeof(StaticModelInfo) == 8);
static_assert(offsetof(StaticModelInfo, objectCount) == 0);
static_assert(offsetof(StaticModelInfo, materialCount) == 4);
static_assert(sizeof(StaticMaterialInfo) == 8);
static_assert(offsetof(StaticMaterialInfo, red) == 0);
static_assert(offsetof(StaticMaterialInfo, green) == 1);
static_assert(offsetof(StaticMaterialInfo, blue) == 2);
static_assert(offsetof(StaticMaterialInfo, reserved) == 4);
static_assert(sizeof(PolyVertex) == 40);
static_assert(offsetof(PolyVertex, normal) == 12);
static_assert(offsetof(PolyVertex, u) == 24 && offsetof(PolyVertex, v) == 28);
static_assert(offsetof(PolyVertex, u2) == 32 && offsetof(PolyVertex, v2) == 36);
static_assert(sizeof(Poly) == 128 && offsetof(Poly, word) == 120 && offsetof(Poly, tag) == 124);

namespace vesk {
namespace {

constexpr float kBoxStart = 9999999.0f;

bool InRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

// The texture coordinate of one corner, or null when the object exports none
// or its lookup index has no coordinate.
const TexCoord *CornerTexCoord(const StaticObject &object, const StaticFace &face, int k) {
    if (!object.hasTexture || object.texCoords.empty()) return nullptr;
    const int32_t index = object.texCoordsPerCorner ? face.texCoordIndex[k] : face.vertexIndex[k];
    return InRange(index, object.texCoords.size()) ? &object.texCoords[index] : nullptr;
}

// Position, normal and (when textured) both texture pairs of one corner.
void WriteCorner(const StaticObject &object, const StaticFace &face, int k, PolyVertex &out, bool setCurrent) {
    const int32_t i = face.vertexIndex[k];
    out.normal = InRange(i, object.normals.size()) ? object.normals[i] : Vector3{0.0f, 0.0f, 0.0f};
    if (const TexCoord *t = CornerTexCoord(object, face, k)) {
        if (setCurrent) SetTexCoord(t->u, t->v);
        out.u = out.u2 = t->u;
        out.v = out.v2 = -t->v;
    }
    out.position = object.vertices[i];
}

void Grow(BoundingBox &box, const Vector3 &p) {
    if (p.x < box.minX) box.minX = p.x;
    if (p.y < box.minY) box.minY = p.y;
    if (p.z < box.minZ) box.minZ = p.z;
    if (p.x > box.maxX) box.maxX = p.x;
    if (p.y > box.maxY) box.maxY = p.y;
    if (p.z > box.maxZ) box.maxZ = p.z;
}

}  // namespace

void LoadStaticModelInfo(StaticModel &model, const char *path, int32_t type, int32_t &objectCount,
                         int32_t &materialCount) {
    switch (static_cast<StaticFileType>(type)) {
        case StaticFileType::ThreeDs: Load3ds(path, model); break;
        case StaticFileType::Obj: LoadObj(path, model); break;
        case StaticFileType::Ase: LoadAse(path, model); break;
        default: break;  // unknown type: only the counts held
    }
    objectCount = model.objectCount;
    materialCount = model.materialCount;
}

int32_t CopyStaticMesh(const StaticModel &model, int32_t objectIndex, PolyVertex *vertices, int32_t *count,
                       BoundingBox *box) {
    BoundingBox bounds{kBoxStart, kBoxStart, kBoxStart, -kBoxStart, -kBoxStart, -kBoxStart};
    if (box) *box = bounds;
    if (model.objectCount < 1 || !InRange(objectIndex, model.objects.size()) || objectIndex >= model.objectCount)
        return 0;
    const StaticObject &object = model.objects[objectIndex];
    size_t n = 0;
    if (vertices) {
        for (const StaticFace &face : object.faces)
            for (int k = 0; k < 3; ++k) {
                WriteCorner(object, face, k, vertices[n++], true);
                Grow(bounds, object.vertices[face.vertexIndex[k]]);
            }
    }
    if (box) *box = bounds;
    const int32_t written = static_cast<int32_t>(n);
    if (count) *count = written;
    return written;
}

int32_t CopyStaticPolys(const StaticModel &model, Poly *polys, int32_t *count) {
    if (model.objectCount <= 0 || !polys) return 0;
    int32_t n = 0;
    for (int32_t o = 0; o < model.objectCount && static_cast<size_t>(o) < model.objects.size(); ++o) {
        const StaticObject &object = model.objects[o];
        for (const StaticFace &face : object.faces) {
            Poly &poly = polys[n++];
            for (int k = 0; k < 3; ++k) WriteCorner(object, face, k, poly.corner[k], false);
            poly.tag = -1;
        }
    }
    if (count) *count = n;
    return n;
}

void CopyStaticMaterial(const StaticModel &model, int32_t materialIndex, StaticMaterialInfo *info,
                        char *textureFile) {
    if (model.materialCount < 1 || materialIndex >= model.materialCount ||
        !InRange(materialIndex, model.materials.size()))
        return;
    const StaticMaterial &material = model.materials[materialIndex];
    if (info) {
        info->red = material.colour[0];
        info->green = material.colour[1];
        info->blue = material.colour[2];
        info->reserved = material.reserved;
    }
    if (textureFile) {
        const size_t length = strnlen(material.textureFile, sizeof material.textureFile - 1);
        std::memcpy(textureFile, material.textureFile, length);
        textureFile[length] = '\0';
    }
}

}  // namespace vesk

VESK_API void VESK_CALL Get3DS_INFO(const char *path, StaticModelInfo *info, int32_t type) {
    int32_t objects = 0, materials = 0;
    vesk::LoadStaticModelInfo(vesk::TheStaticModel(), path, type, objects, materials);
    if (info) {
        info->objectCount = objects;
        info->materialCount = materials;
    }
}

VESK_API int32_t VESK_CALL Get3DS_MESH(int32_t, int32_t objectIndex, PolyVertex *vertices, int32_t *count, BoundingBox *box, int32_t) {
    return vesk::CopyStaticMesh(vesk::TheStaticModel(), objectIndex, vertices, count, box);
}

VESK_API int32_t VESK_CALL Get3DS_MESHPOLY(Poly *polys, int32_t *count, int32_t) {
    return vesk::CopyStaticPolys(vesk::TheStaticModel(), polys, count);
}

VESK_API void VESK_CALL Get3DS_MATERIAL(int32_t, int32_t materialIndex, StaticMaterialInfo *info, char *textureFile, int32_t) {
    vesk::CopyStaticMaterial(vesk::TheStaticModel(), materialIndex, info, textureFile);
}
