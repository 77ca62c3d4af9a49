// Point against axis-aligned boxes, as given or carried through a matrix.
#pragma once

#include <VeskMathLIB.h>

namespace vesk {

// Inclusive on every bound; false for a NaN coordinate.
bool CheckPointInBox(const Vector3 &point, const BoundingBox &box);
// Tests the untransformed point against the bounds of box's corners carried
// through m (a corner whose weight is near zero keeps its position).
bool CheckPointInBoxEx(const Vector3 &point, const BoundingBox &box, const Matrix4 &m);

}  // namespace vesk
