#include "geometry/vector_ops.h"
#include "level/q3bsp.h"
#include "math/scalar.h"

namespace vesk {

float PlaneSide(const Q3BspPlane &plane, const Vector3 &point) {
    return static_cast<float>(Dot(plane.normal, point) - double{plane.distance});
}

Q3BspDescent DescendQ3Bsp(std::span<const Q3BspNode> nodes, std::span<const Q3BspPlane> planes,
                          const Vector3 &point) {
    Q3BspDescent result;
    if (nodes.empty()) return result;
    int32_t index = 0;
    // A tree takes at most one step per node; more means the children loop.
    for (size_t steps = 0; steps < nodes.size(); ++steps) {
        const Q3BspNode &node = nodes[static_cast<size_t>(index)];
        result.lastNode = index;
        index = PlaneSide(planes[static_cast<size_t>(node.plane)], point) >= 0.0f ? node.front : node.back;
        if (index < 0) {
            result.leaf = ~index;
            return result;
        }
    }
    return Q3BspDescent{};
}

int32_t FindLeaf(const Q3BspLevel &level, const Vector3 &point) {
    return DescendQ3Bsp(level.nodes, level.planes, point).leaf;
}

bool IsClusterVisible(int32_t from, int32_t to, const uint8_t *rows, int32_t bytesPerCluster) {
    if (from < 0) return true;
    if (to < 0) return false;
    const size_t at = static_cast<size_t>(from) * static_cast<size_t>(bytesPerCluster) + static_cast<size_t>(to / 8);
    return (rows[at] & (1u << (to & 7))) != 0;
}

int32_t Q3BspCollision(const Q3BspLevel &level, const Vector3 &center, float radius) {
    if (!level.Loaded()) return kQ3BspInFront;
    const Q3BspDescent descent = DescendQ3Bsp(level.nodes, level.planes, center);
    if (descent.leaf < 0) return kQ3BspInFront;
    const Q3BspNode &node = level.nodes[static_cast<size_t>(descent.lastNode)];
    const float s = PlaneSide(level.planes[static_cast<size_t>(node.plane)], center);
    if (FastAbs(s) < radius) return kQ3BspIntersects;
    return s >= radius ? kQ3BspInFront : kQ3BspBehind;
}

}  // namespace vesk
