// Q3 BSP levels from arbitrary bytes: a file that passes the checks must
// build a level of exactly the counted sizes whose walks, leaf search and
// sphere test stay inside its tables, and whose faces can be drawn from them.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "level/q3bsp.h"

namespace {
std::vector<intptr_t> g_reported;
void VESK_CALL Collect(intptr_t index) { g_reported.push_back(index); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::Q3BspLayout layout;
    if (vesk::CheckQ3Bsp(vesk::fuzz::Bytes(data, size), layout) != vesk::Q3BspStatus::Ok) return 0;
    vesk::Q3BspLevel level;
    vesk::BuildQ3BspLevel(vesk::fuzz::Bytes(data, size), layout, level);
    const auto counts = layout.Counts();
    VESK_FUZZ_CHECK(level.vertices.size() == static_cast<size_t>(counts[0]));
    VESK_FUZZ_CHECK(level.faces.size() == static_cast<size_t>(counts[1]));
    VESK_FUZZ_CHECK(level.leaves.size() == static_cast<size_t>(counts[2]));
    VESK_FUZZ_CHECK(level.leafFaces.size() == static_cast<size_t>(counts[3]));
    VESK_FUZZ_CHECK(level.nodes.size() == static_cast<size_t>(counts[4]));
    VESK_FUZZ_CHECK(level.planes.size() == static_cast<size_t>(counts[5]));
    VESK_FUZZ_CHECK(level.visRows.size() == static_cast<size_t>(counts[6]));
    VESK_FUZZ_CHECK(level.faceBits.size() == level.faces.size() / 32 + 1);
    VESK_FUZZ_CHECK(level.meshVertices.size() == static_cast<size_t>(layout.meshVertices.count));
    VESK_FUZZ_CHECK(level.lightmaps.size() == static_cast<size_t>(layout.lightmaps.count) * vesk::kQ3BspLightmapBytes);

    // Every face can be drawn from the tables; a few patches are tessellated.
    int patches = 0;
    for (size_t i = 0; i < level.faces.size(); ++i) {
        const Q3BspFace &f = level.faces[i];
        VESK_FUZZ_CHECK(f.texture >= 0 && static_cast<size_t>(f.texture) < level.textures.size());
        VESK_FUZZ_CHECK(f.lightmap < level.lightmapCount);
        if (f.type == 1 || f.type == 3)
            for (int32_t k = 0; k < f.meshVertexCount; ++k) {
                const int32_t m = level.meshVertices.at(static_cast<size_t>(f.firstMeshVertex + k));
                VESK_FUZZ_CHECK(m >= 0 && m < f.vertexCount);
            }
        vesk::Q3BspPatchGrid grid;
        const bool planned = vesk::PlanQ3BspPatch(level, static_cast<int32_t>(i), 1 + patches % 4, grid);
        VESK_FUZZ_CHECK(planned == (f.type == 2));
        if (!planned || ++patches > 8 || grid.vertexCount > (1 << 16)) continue;
        std::vector<Q3BspVertex> vertices(static_cast<size_t>(grid.vertexCount));
        std::vector<uint32_t> indices(static_cast<size_t>(grid.indexCount));
        vesk::TessellateQ3BspPatch(level, grid, vertices.data(), indices.data());
        for (uint32_t k : indices) VESK_FUZZ_CHECK(k < vertices.size());
        const Q3BspVertex &first = level.vertices[static_cast<size_t>(f.firstVertex)];
        VESK_FUZZ_CHECK(std::memcmp(&vertices[0], &first, sizeof first) == 0);
    }

    using vesk::fuzz::FiniteFloats;
    for (const Q3BspVertex &v : level.vertices) VESK_FUZZ_CHECK(FiniteFloats(&v, 10));
    for (const Q3BspFace &f : level.faces) VESK_FUZZ_CHECK(FiniteFloats(&f.lightmapOrigin, 12));
    for (const Q3BspPlane &p : level.planes) VESK_FUZZ_CHECK(FiniteFloats(&p, 4));

    // Cameras at the origin and at a few of the level's own vertices.
    std::vector<Vector3> cameras = {{0, 0, 0}};
    for (size_t i = 0; i < level.vertices.size() && cameras.size() < 4; i += level.vertices.size() / 3 + 1)
        cameras.push_back(level.vertices[i].position);
    Frustum open;
    for (Plane &p : open.plane) p = {0, 0, 0, 1};
    for (const Vector3 &camera : cameras) {
        const int32_t leaf = vesk::FindLeaf(level, camera);
        VESK_FUZZ_CHECK(leaf >= 0 && static_cast<size_t>(leaf) < level.leaves.size());
        size_t reported = 0;
        vesk::WalkVisibleFaces(level, camera, open, [&](int32_t face) {
            VESK_FUZZ_CHECK(face >= 0 && static_cast<size_t>(face) < level.faces.size());
            VESK_FUZZ_CHECK(level.faces[static_cast<size_t>(face)].type == 1);
            ++reported;
        });
        VESK_FUZZ_CHECK(reported <= level.faces.size());
        const int32_t side = vesk::Q3BspCollision(level, camera, 8.0f);
        VESK_FUZZ_CHECK(side >= 0 && side <= 2);

        // The host-array walk over the arrays a host would hold.
        g_reported.clear();
        static const VeskHostCallback cell = &Collect;
        GetQ3BSP_ProcessEX(&camera, 0, counts[2], level.leaves.data(), level.leafFaces.data(), level.nodes.data(),
                           level.planes.data(), level.visRows.empty() ? nullptr : level.visRows.data(),
                           level.bytesPerCluster, &cell);
        // Leaves may share leaf faces: each visible leaf reports its whole range.
        size_t bound = 0;
        for (const Q3BspLeaf &l : level.leaves) bound += static_cast<size_t>(l.leafFaceCount);
        VESK_FUZZ_CHECK(g_reported.size() <= bound);
        for (intptr_t f : g_reported) VESK_FUZZ_CHECK(f >= 0 && static_cast<size_t>(f) < level.faces.size());
    }
    return 0;
}
