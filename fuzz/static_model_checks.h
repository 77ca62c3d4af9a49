// After a 3DS, OBJ or ASE parse: the model's counts must match its arrays,
// and the static mesh exports must stay inside host arrays sized by the
// size query.
#pragma once

#include <vector>

#include "fuzz_support.h"
#include "loaders/size_queries.h"
#include "loaders/static_model.h"

namespace vesk::fuzz {

inline void CheckAndExportStaticModel(const StaticModel &model) {
    VESK_FUZZ_CHECK(model.objectCount >= 0 && static_cast<size_t>(model.objectCount) == model.objects.size());
    VESK_FUZZ_CHECK(model.materialCount >= 0 && static_cast<size_t>(model.materialCount) == model.materials.size());

    size_t allFaces = 0;
    for (int32_t o = 0; o < model.objectCount; ++o) {
        const StaticObject &object = model.objects[static_cast<size_t>(o)];
        VESK_FUZZ_CHECK(static_cast<size_t>(object.vertexCount) == object.vertices.size());
        VESK_FUZZ_CHECK(static_cast<size_t>(object.faceCount) == object.faces.size());
        VESK_FUZZ_CHECK(object.normals.size() == object.vertices.size());
        for (const StaticFace &face : object.faces)
            for (int k = 0; k < 3; ++k)
                VESK_FUZZ_CHECK(face.vertexIndex[k] >= 0 && face.vertexIndex[k] < object.vertexCount);
        allFaces += object.faces.size();

        // Exactly the room the size query gives: ASan catches one more.
        const int32_t faces = StaticFaceCount(model, o);
        VESK_FUZZ_CHECK(faces >= 0);
        std::vector<PolyVertex> corners(3 * static_cast<size_t>(faces));
        int32_t count = -1;
        BoundingBox box{};
        const int32_t written = CopyStaticMesh(model, o, corners.data(), &count, &box);
        VESK_FUZZ_CHECK(written == count && static_cast<size_t>(written) == corners.size());
        VESK_FUZZ_CHECK(FiniteFloats(corners.data(), 10 * corners.size()) && FiniteFloats(&box, 6));
    }
    // Indices that name no object write only the box.
    BoundingBox box{};
    VESK_FUZZ_CHECK(CopyStaticMesh(model, model.objectCount, nullptr, nullptr, &box) == 0);
    VESK_FUZZ_CHECK(CopyStaticMesh(model, -1, nullptr, nullptr, &box) == 0);

    VESK_FUZZ_CHECK(StaticFaceCount(model, -1) >= 0 && static_cast<size_t>(StaticFaceCount(model, -1)) == allFaces);
    VESK_FUZZ_CHECK(StaticFaceCount(model, model.objectCount) == -1 && StaticFaceCount(model, -2) == -1);
    std::vector<Poly> polys(static_cast<size_t>(StaticFaceCount(model, -1)));
    int32_t count = 0;
    if (!polys.empty()) VESK_FUZZ_CHECK(static_cast<size_t>(CopyStaticPolys(model, polys.data(), &count)) == allFaces);
    for (const Poly &poly : polys) VESK_FUZZ_CHECK(FiniteFloats(&poly, 30));  // three corners

    for (int32_t m = -1; m <= model.materialCount; ++m) {
        StaticMaterialInfo info{};
        // The name with its NUL needs at most 255 bytes.
        std::vector<char> textureFile(255);
        CopyStaticMaterial(model, m, &info, textureFile.data());
    }
}

}  // namespace vesk::fuzz
