// MS3D from arbitrary bytes: a file that parses is written out record by
// record into host arrays sized from its own counts.
#include <cstdlib>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "loaders/ms3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::Ms3dModel model;
    if (!vesk::ParseMs3d(vesk::fuzz::Bytes(data, size), model)) return 0;
    const Ms3dInfo info = vesk::Ms3dCounts(model);
    VESK_FUZZ_CHECK(info.groupCount >= 0 && info.materialCount >= 0 && info.vertexCount >= 0 &&
                    info.triangleCount >= 0);

    std::vector<Ms3dVertex> vertices(static_cast<size_t>(info.vertexCount));
    vesk::WriteMs3dVertices(model, vertices);
    std::vector<Ms3dTriangle> triangles(static_cast<size_t>(info.triangleCount));
    vesk::WriteMs3dTriangles(model, triangles);
    for (const Ms3dVertex &v : vertices) VESK_FUZZ_CHECK(vesk::fuzz::FiniteFloats(&v.position, 3));
    // Normals, s and 1 - t.
    for (const Ms3dTriangle &t : triangles) VESK_FUZZ_CHECK(vesk::fuzz::FiniteFloats(&t, 18));
    std::vector<Ms3dGroup> groups(static_cast<size_t>(info.groupCount));
    vesk::WriteMs3dGroups(model, groups);
    for (int32_t g = -1; g <= info.groupCount; ++g) {
        const bool exists = g >= 0 && g < info.groupCount;
        std::vector<uint32_t> indices(exists ? static_cast<size_t>(groups[static_cast<size_t>(g)].triangleCount) : 0);
        VESK_FUZZ_CHECK(vesk::WriteMs3dGroupIndices(model, g, indices.data()) == exists);
    }

    std::vector<Ms3dMaterial> materials(static_cast<size_t>(info.materialCount));
    vesk::WriteMs3dMaterials(model, materials);
    for (Ms3dMaterial &material : materials) {
        VESK_FUZZ_CHECK(vesk::fuzz::FiniteFloats(&material, 17));  // colours and shininess
        VESK_FUZZ_CHECK(material.texture != nullptr);
        VeskFreeString(material.texture);
    }
    for (int32_t m = -1; m <= info.materialCount; ++m) {
        std::string_view name;
        const bool exists = m >= 0 && m < info.materialCount;
        VESK_FUZZ_CHECK(vesk::Ms3dTextureName(model, m, name) == exists);
        // The host's buffer holds the name and its NUL in 128 bytes.
        if (exists) VESK_FUZZ_CHECK(name.size() < vesk::kMs3dTextureField);
    }
    return 0;
}
