// Exported adapters of the octree, visibility, polygon BSP and lightmap code.
#include <VeskMathLIB.h>

#include <cstddef>
#include <span>
#include <type_traits>

#include "level/lightmaps.h"
#include "level/octree.h"
#include "level/poly_bsp.h"

static_assert(sizeof(LightmapLight) == 32 && offsetof(LightmapLight, position) == 0 &&
              offsetof(LightmapLight, intensity) == 12 && offsetof(LightmapLight, radius) == 16 &&
              offsetof(LightmapLight, red) == 20 && offsetof(LightmapLight, blue) == 24 &&
              offsetof(LightmapLight, green) == 28 && std::is_standard_layout_v<LightmapLight>);
static_assert(sizeof(Poly) == 128 && offsetof(Poly, word) == 120 && offsetof(Poly, tag) == 124);

namespace {
// A null array or a non-positive count is an empty list.
template <class T>
std::span<T> Records(T *records, int32_t count) {
    if (records == nullptr || count <= 0) return {};
    return {records, static_cast<size_t>(count)};
}
}  // namespace

VESK_API int32_t VESK_CALL BuildVeskOctree(const Poly *polys, int32_t count) {
    vesk::BuildOctree(vesk::TheOctree(), Records(polys, count));
    return 1;
}

VESK_API int32_t VESK_CALL RenderVeskOctree(const Frustum *frustum, const VeskHostCallback *callback,
                                            int32_t *visitedLeaves) {
    int32_t visited = 0;
    if (frustum != nullptr) visited = vesk::RenderOctree(vesk::TheOctree(), *frustum, callback);
    else vesk::TheOctree().visitedLeaves = 0;
    if (visitedLeaves != nullptr) *visitedLeaves = visited;
    return visited;
}

VESK_API void VESK_CALL RenderVeskPoly(const Poly *polys, int32_t count, const Frustum *frustum, int32_t mode,
                                       const VeskHostCallback *callback) {
    vesk::RenderPolys(Records(polys, count), frustum, mode, callback);
}

VESK_API int32_t VESK_CALL GetVeskBSP(int32_t ignored, const Poly *polys, int32_t count) {
    (void)ignored;
    return vesk::CompilePolyBsp(vesk::ThePolyBsp(), Records(polys, count));
}

VESK_API void VESK_CALL VeskGetBspStats(int32_t *stats) {
    if (stats == nullptr) return;
    const vesk::BspStats s = vesk::GetBspStats(vesk::ThePolyBsp());
    stats[0] = s.nodes;
    stats[1] = s.leaves;
    stats[2] = s.pieces;
    stats[3] = s.depth;
}

VESK_API void VESK_CALL VeskWalkBspBackToFront(const Vector3 *eye, const VeskHostCallback *callback) {
    if (eye == nullptr) return;
    vesk::WalkBspBackToFront(vesk::ThePolyBsp(), *eye, callback);
}

VESK_API void VESK_CALL CreateLightmaps(int32_t count, Poly *triangles, const LightmapLight *lights,
                                        int32_t lightCount, uint8_t *output) {
    vesk::CreateLightmaps(Records(triangles, count), Records(lights, lightCount), output, true);
}

VESK_API void VESK_CALL CreateLightmaps2(int32_t count, const Poly *triangles, const LightmapLight *lights,
                                         int32_t lightCount, uint8_t *output) {
    vesk::CreateLightmaps(Records(triangles, count), Records(lights, lightCount), output);
}
