// The Q3 BSP exports: thin adapters over the level code.
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "frame/host_callback.h"
#include "frame/platform.h"
#include "io/file.h"
#include "level/q3bsp.h"

namespace {

template <class T>
void CopyOut(const std::vector<T> &from, T *to) {
    if (to != nullptr && !from.empty()) std::memcpy(to, from.data(), from.size() * sizeof(T));
}

}  // namespace

VESK_API VeskBool VESK_CALL VeskGetQ3BSP_Counts(const char *path, int32_t *counts) {
    if (path == nullptr || counts == nullptr) return 0;
    const auto bytes = vesk::ReadWholeFile(path);
    vesk::Q3BspLayout layout;
    if (!bytes || vesk::CheckQ3Bsp(*bytes, layout) != vesk::Q3BspStatus::Ok) return 0;
    const auto all = layout.Counts();
    std::memcpy(counts, all.data(), sizeof all);
    return 1;
}

VESK_API VeskBool VESK_CALL GetQ3BSP_INFO(const char *path, Q3BspVertex *vertices, Q3BspFace *faces,
                                          Q3BspLeaf *leaves, int32_t *leafFaces, Q3BspNode *nodes,
                                          Q3BspPlane *planes, uint8_t *visibility) {
    const auto bytes = path ? vesk::ReadWholeFile(path) : std::nullopt;
    if (!bytes) {
        vesk::ReportMessage("Error", "Could not find BSP file!");
        return 0;
    }
    vesk::Q3BspLayout layout;
    if (vesk::CheckQ3Bsp(*bytes, layout) != vesk::Q3BspStatus::Ok) {
        vesk::ReportMessage("Error", "Invalid file format (corrupt data): %s!", path);
        return 0;
    }
    // Built aside and swapped in whole: the previous level is released only
    // once the new one is complete.
    vesk::Q3BspLevel level;
    vesk::BuildQ3BspLevel(*bytes, layout, level);
    vesk::Q3BspLevel &current = vesk::CurrentQ3BspLevel();
    current = std::move(level);
    CopyOut(current.vertices, vertices);
    CopyOut(current.faces, faces);
    CopyOut(current.leaves, leaves);
    CopyOut(current.leafFaces, leafFaces);
    CopyOut(current.nodes, nodes);
    CopyOut(current.planes, planes);
    CopyOut(current.visRows, visibility);
    return 1;
}

VESK_API int32_t VESK_CALL GetQ3BSP_Process(int32_t, int32_t count, const VeskHostCallback *callback) {
    for (int32_t i = count; i-- > 0;) vesk::CallHost(callback, i);
    return 0;
}

VESK_API void VESK_CALL GetQ3BSP_Process2(const Vector3 *camera, const Frustum *frustum,
                                          const VeskHostCallback *callback) {
    vesk::Q3BspLevel &level = vesk::CurrentQ3BspLevel();
    if (!level.Loaded() || camera == nullptr || frustum == nullptr) return;
    const Vector3 eye = *camera;
    vesk::WalkVisibleFaces(level, eye, *frustum, [callback](int32_t face) { vesk::CallHost(callback, face); });
}

VESK_API int32_t VESK_CALL GetQ3BSP_ProcessEX(const Vector3 *camera, int32_t, int32_t leafCount,
                                              const Q3BspLeaf *leaves, const int32_t *leafFaces,
                                              const Q3BspNode *nodes, const Q3BspPlane *planes,
                                              const uint8_t *visibility, int32_t bytesPerCluster,
                                              const VeskHostCallback *callback) {
    if (camera == nullptr || leaves == nullptr || leafFaces == nullptr || nodes == nullptr || planes == nullptr)
        return 0;
    const Vector3 eye = *camera;
    // The host's arrays carry no node count; arrays that GetQ3BSP_INFO filled
    // hold a tree without cycles, so the descent ends.
    int32_t index = 0;
    while (index >= 0) {
        const Q3BspNode &node = nodes[index];
        index = vesk::PlaneSide(planes[node.plane], eye) >= 0.0f ? node.front : node.back;
    }
    const int32_t cameraCluster = leaves[~index].cluster;
    for (int32_t i = leafCount; i-- > 0;) {
        const Q3BspLeaf &leaf = leaves[i];
        if (!vesk::LeafPassesCluster(cameraCluster, leaf.cluster, visibility, bytesPerCluster)) continue;
        for (int32_t j = leaf.leafFaceCount; j-- > 0;) vesk::CallHost(callback, leafFaces[leaf.firstLeafFace + j]);
    }
    return 0;
}

VESK_API int32_t VESK_CALL GetQ3BSP_Collision(const Vector3 *center, float radius) {
    if (center == nullptr) return vesk::kQ3BspInFront;
    const Vector3 c = *center;
    return vesk::Q3BspCollision(vesk::CurrentQ3BspLevel(), c, radius);
}

VESK_API int32_t VESK_CALL VeskGetQ3BSP_MeshVertices(int32_t *offsets) {
    const vesk::Q3BspLevel &level = vesk::CurrentQ3BspLevel();
    if (!level.Loaded()) return 0;
    CopyOut(level.meshVertices, offsets);
    return static_cast<int32_t>(level.meshVertices.size());
}

VESK_API int32_t VESK_CALL VeskGetQ3BSP_Textures(VeskQ3BspTexture *textures) {
    const vesk::Q3BspLevel &level = vesk::CurrentQ3BspLevel();
    if (!level.Loaded()) return 0;
    CopyOut(level.textures, textures);
    return static_cast<int32_t>(level.textures.size());
}

VESK_API int32_t VESK_CALL VeskGetQ3BSP_Lightmaps(uint8_t *rgb) {
    const vesk::Q3BspLevel &level = vesk::CurrentQ3BspLevel();
    if (!level.Loaded()) return 0;
    CopyOut(level.lightmaps, rgb);
    return level.lightmapCount;
}

VESK_API VeskBool VESK_CALL VeskTessellateQ3BSP_Patch(int32_t face, int32_t level, Q3BspVertex *vertices,
                                                      uint32_t *indices, int32_t *counts) {
    const vesk::Q3BspLevel &current = vesk::CurrentQ3BspLevel();
    vesk::Q3BspPatchGrid grid;
    if (!current.Loaded() || !vesk::PlanQ3BspPatch(current, face, level, grid)) return 0;
    if (counts != nullptr) {
        counts[0] = grid.vertexCount;
        counts[1] = grid.indexCount;
    }
    vesk::TessellateQ3BspPatch(current, grid, vertices, indices);
    return 1;
}
