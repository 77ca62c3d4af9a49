#include "geometry/box_tests.h"

#include <cmath>

#include "math/matrix.h"

namespace vesk {

bool CheckPointInBox(const Vector3 &point, const BoundingBox &box) {
    const bool x = box.minX <= point.x && point.x <= box.maxX;
    const bool y = box.minY <= point.y && point.y <= box.maxY;
    const bool z = box.minZ <= point.z && point.z <= box.maxZ;
    return x && y && z;
}

bool CheckPointInBoxEx(const Vector3 &point, const BoundingBox &box, const Matrix4 &m) {
    const float *e = m.m;
    // Corner order of the box transform, so ties resolve the same way.
    Vector3 corners[8] = {{box.maxX, box.minY, box.minZ}, {box.maxX, box.minY, box.maxZ},
                          {box.minX, box.minY, box.maxZ}, {box.minX, box.minY, box.minZ},
                          {box.maxX, box.maxY, box.minZ}, {box.maxX, box.maxY, box.maxZ},
                          {box.minX, box.maxY, box.maxZ}, {box.minX, box.maxY, box.minZ}};
    float xs[8], ys[8], zs[8];
    for (int i = 0; i < 8; ++i) {
        Vector3 &c = corners[i];
        const double x = c.x, y = c.y, z = c.z;
        const double w = x * e[3] + y * e[7] + z * e[11] + e[15];
        // This test's threshold is the double 1e-10; a NaN weight also keeps the corner.
        if (!(std::fabs(w) < 1e-10) && !std::isnan(w)) {
            c = {static_cast<float>((x * e[0] + y * e[4] + z * e[8] + e[12]) / w),
                 static_cast<float>((x * e[1] + y * e[5] + z * e[9] + e[13]) / w),
                 static_cast<float>((x * e[2] + y * e[6] + z * e[10] + e[14]) / w)};
        }
        xs[i] = c.x;
        ys[i] = c.y;
        zs[i] = c.z;
    }
    const float maxX = MaxOf8(xs), maxY = MaxOf8(ys), maxZ = MaxOf8(zs);
    const float minX = MinOf8(xs), minY = MinOf8(ys), minZ = MinOf8(zs);
    if (!(minX <= point.x) || !(point.x <= maxX)) return false;
    if (!(minY <= point.y) || !(point.y <= maxY)) return false;
    return minZ <= point.z && point.z <= maxZ;
}

}  // namespace vesk
