// The static model records shared by the 3DS, OBJ and ASE loaders, the static
// mesh exports and the MD2 frames.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vesk {

struct TexCoord {
    float u = 0.0f, v = 0.0f;
};

struct StaticFace {
    int32_t vertexIndex[3] = {0, 0, 0};
    int32_t texCoordIndex[3] = {0, 0, 0};
};

struct StaticMaterial {
    char name[255] = {};
    char textureFile[255] = {};
    uint8_t colour[3] = {0, 0, 0};
    float diffuse[3] = {0.0f, 0.0f, 0.0f};
    int32_t reserved = 0;
    float uTiling = 0.0f;
    float vTiling = 0.0f;
};

struct StaticObject {
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    int32_t texCoordCount = 0;
    int32_t materialIndex = 0;
    bool hasTexture = false;
    char name[255] = {};
    std::vector<Vector3> vertices;
    std::vector<Vector3> normals;
    std::vector<TexCoord> texCoords;
    std::vector<StaticFace> faces;
    // OBJ and ASE give every corner its own texture index; 3DS stores one
    // coordinate per vertex, so its corners look up by vertex index.
    bool texCoordsPerCorner = false;
};

// The one model the static loaders fill and the static mesh exports read.
// The arrays always hold exactly objectCount / materialCount elements, so a
// later load never inherits stale elements of an earlier one.
struct StaticModel {
    int32_t objectCount = 0;
    int32_t materialCount = 0;
    std::vector<StaticMaterial> materials;
    std::vector<StaticObject> objects;

    StaticModel() = default;
    StaticModel(const StaticModel &) = delete;
    StaticModel &operator=(const StaticModel &) = delete;
    ~StaticModel() { Clear(); }
    void Clear();
};

// The module-wide model (built empty at load, released at unload).
StaticModel &TheStaticModel();

// Recomputes the normals of objects 0 .. objectCount - 1: per vertex, the sum
// of the unnormalised face normals of the faces that use it, divided by minus
// their count, then normalised. Unused vertices and cancelling sums give 0.
void SmoothVertexNormals(StaticModel &model);

// Drops faces whose vertex indices fall outside their object (corrupt files),
// for objects first .. objectCount - 1; returns how many were dropped.
int32_t DropInvalidFaces(StaticModel &model, int32_t first);

// Whether objects first .. objectCount - 1 hold only finite positions and
// texture coordinates; a file that brings in others is damaged.
bool ObjectsFinite(const StaticModel &model, int32_t first);
// Takes back what a refused load appended: the model ends at these counts.
void DropAdded(StaticModel &model, int32_t objectCount, int32_t materialCount);

// Loaders. Each appends to or overwrites the model as its format's rules say,
// smooths every held object on success and reports failures by message; `path`
// names the file in messages. The Parse* forms read data already in memory:
// ParseObj and ParseAse take text already in text mode, the *Bytes forms the
// file's raw bytes (as the loaders do; the same results as translating first).
bool Load3ds(const char *path, StaticModel &model);
bool Parse3ds(std::span<const uint8_t> bytes, const char *path, StaticModel &model);
bool LoadObj(const char *path, StaticModel &model);
bool ParseObj(std::string_view text, StaticModel &model);
bool ParseObjBytes(std::string_view bytes, StaticModel &model);
bool LoadAse(const char *path, StaticModel &model);
bool ParseAse(std::string_view text, StaticModel &model);
bool ParseAseBytes(std::string_view bytes, StaticModel &model);

// The static mesh exports' work, over typed host records.
enum class StaticFileType : int32_t { ThreeDs = 0, Obj = 1, Ase = 2 };
void LoadStaticModelInfo(StaticModel &model, const char *path, int32_t type, int32_t &objectCount,
                         int32_t &materialCount);
// Writes 3 x faceCount vertices of one object; returns that number (0 and only
// the initial box when the index names no object).
int32_t CopyStaticMesh(const StaticModel &model, int32_t objectIndex, PolyVertex *vertices, int32_t *count,
                       BoundingBox *box);
// Writes one Poly per triangle of every object; returns the number written.
int32_t CopyStaticPolys(const StaticModel &model, Poly *polys, int32_t *count);
// Copies one material's colour, reserved word and texture file name (nothing
// when the index names no material).
void CopyStaticMaterial(const StaticModel &model, int32_t materialIndex, StaticMaterialInfo *info,
                        char *textureFile);

}  // namespace vesk
