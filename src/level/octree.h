// Octree over a host triangle list, and the frustum walks that report the
// visible triangles of the octree or of a plain list.
#pragma once

#include <VeskMathLIB.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vesk {

struct OctreeNode {
    bool subdivided = false;
    float width = 0.0f;
    Vector3 centre{};
    // The cube grown to every triangle held below: corners off the cube would
    // otherwise let the cull test drop visible triangles.
    BoundingBox bounds{};
    std::vector<Poly> triangles;  // leaves only
    std::array<std::unique_ptr<OctreeNode>, 8> children;
};

struct Octree {
    int32_t limit = 0;
    int32_t maxDepth = 3;
    int32_t visitedLeaves = 0;
    OctreeNode root;
    Octree();
    void Clear();
};

// The module-wide octree (an empty root leaf until the first build).
Octree &TheOctree();

struct SceneBounds {
    Vector3 centre{};
    float width = 0.0f;
};
// Mean of the finite corners; width = twice the largest truncated offset.
SceneBounds ComputeSceneBounds(std::span<const Poly> polys);
Vector3 ChildCentre(const Vector3 &centre, float width, int octant);
// Corner-0 octant rule with inclusive side tests.
bool InOctant(const Vector3 &p, const Vector3 &centre, int octant);

void BuildOctree(Octree &tree, std::span<const Poly> polys);

// Box around the three corners; a NaN coordinate poisons its axis so the box
// never passes a frustum test.
BoundingBox TriangleBox(const Poly &poly);
bool TriangleVisible(const Frustum &frustum, const Poly &poly);

// Reports visible triangles depth first; returns the leaves whose box passed.
int32_t RenderOctree(Octree &tree, const Frustum &frustum, const VeskHostCallback *callback);
// mode > 0 box-tested, 0 everything, < 0 nothing.
void RenderPolys(std::span<const Poly> polys, const Frustum *frustum, int32_t mode,
                 const VeskHostCallback *callback);

}  // namespace vesk
