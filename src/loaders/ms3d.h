// MS3D models: one validating pass over the file, then one writer per record
// kind. The exports keep the last file read and its parse while the file is
// unchanged.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vesk {

inline constexpr size_t kMs3dVertexSize = 15;
inline constexpr size_t kMs3dTriangleSize = 70;
inline constexpr size_t kMs3dMaterialSize = 361;
// The caller's texture-name buffer holds 128 bytes, NUL included.
inline constexpr size_t kMs3dTextureField = 128;

struct Ms3dGroupData {
    uint16_t triangleCount = 0;
    std::span<const uint8_t> triangleIndices;  // triangleCount u16
    int8_t materialIndex = -1;
};

// Views into the file's sections; every one lies inside the buffer.
struct Ms3dModel {
    uint16_t vertexCount = 0;
    std::span<const uint8_t> vertices;
    uint16_t triangleCount = 0;
    std::span<const uint8_t> triangles;
    std::vector<Ms3dGroupData> groups;
    uint16_t materialCount = 0;
    std::span<const uint8_t> materials;
};

// Checks the magic and version (3 or 4) and walks vertices, triangles, groups
// and materials; false when any of them runs past the end of the file or a
// float the exports hand out is not finite.
bool ParseMs3d(std::span<const uint8_t> bytes, Ms3dModel &model);

Ms3dInfo Ms3dCounts(const Ms3dModel &model);
void WriteMs3dVertices(const Ms3dModel &model, std::span<Ms3dVertex> out);
void WriteMs3dTriangles(const Ms3dModel &model, std::span<Ms3dTriangle> out);
void WriteMs3dGroups(const Ms3dModel &model, std::span<Ms3dGroup> out);
// Writes the group's triangle indices; false (nothing written) for no such group.
bool WriteMs3dGroupIndices(const Ms3dModel &model, int32_t groupIndex, uint32_t *out);
// Fills the materials, each with a fresh texture-name copy for the caller.
void WriteMs3dMaterials(const Ms3dModel &model, std::span<Ms3dMaterial> out);
// The material's texture name, at most 127 characters; false for no such material.
bool Ms3dTextureName(const Ms3dModel &model, int32_t materialIndex, std::string_view &name);

// Forgets the file the MS3D exports keep between calls.
void DropMs3dFileCache();

}  // namespace vesk
