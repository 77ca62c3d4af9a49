// Size queries of the static mesh and MD2 exports.
#include "loaders/size_queries.h"

#include <VeskMathLIB.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace vesk {

int32_t StaticFaceCount(const StaticModel &model, int32_t objectIndex) {
    // The exports walk the objects both the count and the array hold.
    const size_t held = model.objectCount > 0 ? std::min(static_cast<size_t>(model.objectCount), model.objects.size())
                                              : 0;
    if (objectIndex == -1) {
        size_t faces = 0;
        for (size_t o = 0; o < held; ++o) faces += model.objects[o].faces.size();
        return static_cast<int32_t>(faces);
    }
    if (objectIndex < 0 || static_cast<size_t>(objectIndex) >= held) return -1;
    return static_cast<int32_t>(model.objects[static_cast<size_t>(objectIndex)].faces.size());
}

void Md2Counts(const Md2File &file, int32_t (&counts)[kMd2CountSlots]) {
    const Md2Header &h = file.header();
    counts[kMd2CountFrames] = file.FrameCount();
    counts[kMd2CountTriangles] = h.numTriangles;
    // Open() bounds the triangles by the file's size, far below 2^31 / 3.
    counts[kMd2CountCorners] = 3 * h.numTriangles;
    counts[kMd2CountAnimations] = static_cast<int32_t>(Md2FileAnimations(file).size());
}

}  // namespace vesk

VESK_API int32_t VESK_CALL VeskGet3DS_Faces(int32_t objectIndex) {
    return vesk::StaticFaceCount(vesk::TheStaticModel(), objectIndex);
}

VESK_API VeskBool VESK_CALL VeskGetMD2_Counts(const char *path, int32_t *counts) {
    const vesk::Md2File *file = vesk::OpenMd2(path, vesk::kMd2AllFrames);
    if (!file) return 0;
    int32_t found[vesk::kMd2CountSlots];
    vesk::Md2Counts(*file, found);
    if (counts)
        for (int i = 0; i < vesk::kMd2CountSlots; ++i) counts[i] = found[i];
    return 1;
}
