// Frustum walks over the octree and over a plain triangle list.
#include <cstdint>

#include "frame/host_callback.h"
#include "geometry/frustum.h"
#include "level/octree.h"

namespace vesk {
namespace {

bool BoxVisible(const Frustum &frustum, const BoundingBox &b) {
    return BoxInFrustum(frustum, b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ) != 0;
}

void Visit(Octree &tree, const OctreeNode &node, const Frustum &frustum, const VeskHostCallback *callback) {
    if (!BoxVisible(frustum, node.bounds)) return;
    if (node.subdivided) {
        for (const auto &child : node.children)
            if (child) Visit(tree, *child, frustum, callback);
        return;
    }
    ++tree.visitedLeaves;
    for (const Poly &p : node.triangles)
        if (TriangleVisible(frustum, p)) CallHost(callback, reinterpret_cast<intptr_t>(&p));
}

}  // namespace

bool TriangleVisible(const Frustum &frustum, const Poly &poly) { return BoxVisible(frustum, TriangleBox(poly)); }

int32_t RenderOctree(Octree &tree, const Frustum &frustum, const VeskHostCallback *callback) {
    tree.visitedLeaves = 0;
    Visit(tree, tree.root, frustum, callback);
    return tree.visitedLeaves;
}

void RenderPolys(std::span<const Poly> polys, const Frustum *frustum, int32_t mode,
                 const VeskHostCallback *callback) {
    if (mode < 0) return;
    if (mode == 0) {
        for (const Poly &p : polys) CallHost(callback, reinterpret_cast<intptr_t>(&p));
        return;
    }
    if (frustum == nullptr) return;
    for (const Poly &p : polys)
        if (TriangleVisible(*frustum, p)) CallHost(callback, reinterpret_cast<intptr_t>(&p));
}

}  // namespace vesk
