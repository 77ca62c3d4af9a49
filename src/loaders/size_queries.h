// How many records the static mesh and MD2 exports will write, asked before
// the host allocates: the same rules as the exports, without writing anything.
#pragma once

#include <cstdint>

#include "loaders/md2.h"
#include "loaders/static_model.h"

namespace vesk {

// Faces of object objectIndex, as Get3DS_MESH sees it (it writes three corners
// per face); for -1 the faces of every object, as Get3DS_MESHPOLY writes them.
// -1 for an index that names no object.
int32_t StaticFaceCount(const StaticModel &model, int32_t objectIndex);

// counts[0] frames, [1] triangles, [2] records GetMD2_MESH writes per frame
// (three per triangle), [3] ranges GetMD2_ANIMATIONS writes.
enum : int32_t { kMd2CountFrames, kMd2CountTriangles, kMd2CountCorners, kMd2CountAnimations, kMd2CountSlots };
void Md2Counts(const Md2File &file, int32_t (&counts)[kMd2CountSlots]);

}  // namespace vesk
