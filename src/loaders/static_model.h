// The static model records shared by the 3DS, OBJ and ASE loaders, the static
// mesh exports and the MD2 frames.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
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

    // Back to a new object's state, keeping the arrays' storage.
    void Reset();
};

// The one model the static loaders fill and the static mesh exports read.
// The arrays always hold exactly objectCount / materialCount elements, so a
// later load never inherits stale elements of an earlier one.
struct StaticModel {
    int32_t objectCount = 0;
    int32_t materialCount = 0;
    std::vector<StaticMaterial> materials;
    std::vector<StaticObject> objects;
    // Storage of objects an ASE load replaced: the next one fills it aside
    // before it replaces the objects held.
    std::vector<StaticObject> spareObjects;

    StaticModel() = default;
    StaticModel(const StaticModel &) = delete;
    StaticModel &operator=(const StaticModel &) = delete;
    ~StaticModel() { Clear(); }
    void Clear();

    // Objects 0 .. smoothedObjects - 1 hold the normals of their current
    // vertices and faces: a load smooths only what it added or replaced.
    int32_t smoothedObjects = 0;

    // The first of materials 0 .. materialCount - 1 named name, or -1. Names
    // are indexed as they are first searched; a loader that rewrites earlier
    // materials calls ForgetMaterialNames.
    int32_t FindMaterial(const char *name);
    void ForgetMaterialNames();

private:
    std::unordered_map<std::string, int32_t> materialByName_;
    int32_t indexedMaterials_ = 0;
};

// The module-wide model (built empty at load, released at unload).
StaticModel &TheStaticModel();

// Recomputes the normals of objects first .. objectCount - 1, and of any
// earlier object not yet smoothed: per vertex, the sum of the unnormalised
// face normals of the faces that use it, divided by minus their count, then
// normalised. Unused vertices and cancelling sums give 0. first = 0
// recomputes every object.
void SmoothVertexNormals(StaticModel &model, int32_t first = 0);

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
// names the file in messages. The Parse* forms read the file's raw bytes
// already in memory (a CR right before a LF is dropped, as text mode reads).
bool Load3ds(const char *path, StaticModel &model);
bool Parse3ds(std::span<const uint8_t> bytes, const char *path, StaticModel &model);
bool LoadObj(const char *path, StaticModel &model);
bool ParseObjBytes(std::string_view bytes, StaticModel &model);
bool LoadAse(const char *path, StaticModel &model);
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
