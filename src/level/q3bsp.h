// Q3 BSP levels: checked loading into the module's level object, conversion
// to the host's Y-up frame, the leaf search, cluster visibility and the
// visible-face walks.
#pragma once

#include <VeskMathLIB.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry/frustum.h"

namespace vesk {

inline constexpr int kQ3BspLumpCount = 17;
inline constexpr size_t kQ3BspHeaderSize = 8 + 8 * kQ3BspLumpCount;
// One lightmap: 128 x 128 RGB bytes.
inline constexpr int32_t kQ3BspLightmapBytes = 128 * 128 * 3;

enum Q3BspLump : int {
    kLumpTextures = 1,
    kLumpPlanes = 2,
    kLumpNodes = 3,
    kLumpLeaves = 4,
    kLumpLeafFaces = 5,
    kLumpVertices = 10,
    kLumpMeshVertices = 11,
    kLumpFaces = 13,
    kLumpLightmaps = 14,
    kLumpVisibility = 16,
};

// Where each kept table lies in a file that passed every check.
struct Q3BspLayout {
    struct Table {
        uint64_t offset = 0;
        int32_t count = 0;
    };
    Table vertices, faces, leaves, leafFaces, nodes, planes;
    Table meshVertices, textures, lightmaps;  // lightmaps: count of 128 x 128 RGB images
    uint64_t visRowsOffset = 0;  // start of the bit rows
    int32_t clusterCount = 0;
    int32_t bytesPerCluster = 0;

    // The seven counts in the order of GetQ3BSP_INFO's arrays.
    std::array<int32_t, VESK_Q3BSP_COUNT_SLOTS> Counts() const;
};

enum class Q3BspStatus { Ok, Corrupt };

// Checks the whole file (header, directory, every index and range, the
// visibility header, the node graph) without converting anything.
Q3BspStatus CheckQ3Bsp(std::span<const uint8_t> bytes, Q3BspLayout &layout);

struct Q3BspLevel {
    std::vector<Q3BspVertex> vertices;
    std::vector<Q3BspFace> faces;
    std::vector<Q3BspNode> nodes;
    std::vector<Q3BspLeaf> leaves;
    std::vector<int32_t> leafFaces;
    std::vector<Q3BspPlane> planes;
    std::vector<int32_t> meshVertices;
    std::vector<VeskQ3BspTexture> textures;
    std::vector<uint8_t> lightmaps;  // lightmapCount x kQ3BspLightmapBytes
    int32_t lightmapCount = 0;
    int32_t clusterCount = 0;
    int32_t bytesPerCluster = 0;
    std::vector<uint8_t> visRows;  // empty when the file has no visibility data
    // One bit per face (face count / 32 + 1 words): reported in this walk.
    std::vector<uint32_t> faceBits;

    bool Loaded() const { return !nodes.empty() && !leaves.empty(); }
};

// Builds a level, in the host frame, from a file that CheckQ3Bsp accepted.
void BuildQ3BspLevel(std::span<const uint8_t> bytes, const Q3BspLayout &layout, Q3BspLevel &level);

// The module's level object.
Q3BspLevel &CurrentQ3BspLevel();

// Result of a descent: the leaf reached and the last node passed on the way
// (-1 each when the descent did not end within the node count).
struct Q3BspDescent {
    int32_t leaf = -1;
    int32_t lastNode = -1;
};

// Walks from node 0 to the leaf that holds point: front child when
// normal . point - distance >= 0. Bounded by the node count.
Q3BspDescent DescendQ3Bsp(std::span<const Q3BspNode> nodes, std::span<const Q3BspPlane> planes,
                          const Vector3 &point);
// The leaf of the loaded level that holds point, -1 without one.
int32_t FindLeaf(const Q3BspLevel &level, const Vector3 &point);

// Whether cluster `to` can be seen from cluster `from`: always from a negative
// cluster, never a negative cluster from a real one.
bool IsClusterVisible(int32_t from, int32_t to, const uint8_t *rows, int32_t bytesPerCluster);

// Whether leaf passes the cluster test from cameraCluster (rows null: no
// visibility data, every leaf passes).
inline bool LeafPassesCluster(int32_t cameraCluster, int32_t leafCluster, const uint8_t *rows,
                              int32_t bytesPerCluster) {
    return rows == nullptr || IsClusterVisible(cameraCluster, leafCluster, rows, bytesPerCluster);
}

// Reports the visible polygon faces of the level, each once: leaves from last
// to first, each leaf's faces from last to first.
template <class Report>
void WalkVisibleFaces(Q3BspLevel &level, const Vector3 &camera, const Frustum &frustum, Report &&report) {
    if (!level.Loaded()) return;
    std::fill(level.faceBits.begin(), level.faceBits.end(), 0u);
    const int32_t cameraLeaf = FindLeaf(level, camera);
    const int32_t cameraCluster = cameraLeaf >= 0 ? level.leaves[static_cast<size_t>(cameraLeaf)].cluster : -1;
    const uint8_t *rows = level.visRows.empty() ? nullptr : level.visRows.data();
    for (size_t i = level.leaves.size(); i-- > 0;) {
        const Q3BspLeaf &leaf = level.leaves[i];
        if (!LeafPassesCluster(cameraCluster, leaf.cluster, rows, level.bytesPerCluster)) continue;
        if (!BoxInFrustum(frustum, static_cast<float>(leaf.mins[0]), static_cast<float>(leaf.mins[1]),
                          static_cast<float>(leaf.mins[2]), static_cast<float>(leaf.maxs[0]),
                          static_cast<float>(leaf.maxs[1]), static_cast<float>(leaf.maxs[2])))
            continue;
        for (int32_t j = leaf.leafFaceCount; j-- > 0;) {
            const int32_t face = level.leafFaces[static_cast<size_t>(leaf.firstLeafFace) + static_cast<size_t>(j)];
            if (level.faces[static_cast<size_t>(face)].type != 1) continue;
            uint32_t &word = level.faceBits[static_cast<size_t>(face) / 32];
            const uint32_t bit = uint32_t{1} << (static_cast<uint32_t>(face) % 32);
            if (word & bit) continue;
            word |= bit;
            report(face);
        }
    }
}

// Signed distance of point from the plane, rounded to a single.
float PlaneSide(const Q3BspPlane &plane, const Vector3 &point);

enum : int32_t { kQ3BspBehind = 0, kQ3BspIntersects = 1, kQ3BspInFront = 2 };

// Sphere against the splitting plane of the last node of the centre's
// descent: 0 behind, 1 across, 2 in front; 2 for an empty level.
int32_t Q3BspCollision(const Q3BspLevel &level, const Vector3 &center, float radius);

// A patch face's tessellation at `steps` segments per block side.
struct Q3BspPatchGrid {
    int32_t face = -1;
    int32_t steps = 0;
    int32_t columns = 0, rows = 0;  // grid vertices along the width and the height
    int32_t vertexCount = 0, indexCount = 0;
};

// Sizes the tessellation of face; false for a face that is not a patch of
// the level, steps outside 1..16, a grid whose sizes are even or below 3 or
// whose control points leave the face's vertices, or counts beyond int32.
bool PlanQ3BspPatch(const Q3BspLevel &level, int32_t face, int32_t steps, Q3BspPatchGrid &grid);
// Writes the grid that PlanQ3BspPatch sized (either output may be null).
void TessellateQ3BspPatch(const Q3BspLevel &level, const Q3BspPatchGrid &grid, Q3BspVertex *vertices,
                          uint32_t *indices);

// Converts a stored point (x, y, z) to the host frame (x, z, -y).
inline Vector3 ToHostFrame(const Vector3 &p) { return {p.x, p.z, -p.y}; }

}  // namespace vesk

