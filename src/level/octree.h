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

// The tree flattened for the frustum walk, rebuilt by every build: nodes in
// depth-first order (children 0..7), each subtree one contiguous run of nodes
// and of triangles, with the triangle boxes computed once.
struct OctreeWalkNode {
    std::array<float, 6> box{};  // BoundingBox order: min x, y, z, max x, y, z
    int32_t parent = -1;
    int32_t end = 0;             // index just past this subtree
    int32_t first = 0, last = 0; // the subtree's triangles
    int32_t leaves = 0;          // leaves in the subtree, this one included
    bool leaf = false;
    // Finite boxes all the way down, each inside its parent's: the walk may
    // then decide a subtree from this box alone.
    bool nested = false;
};
struct OctreeWalkIndex {
    std::vector<OctreeWalkNode> nodes;
    std::vector<const Poly *> polys;           // into the leaves' own copies
    std::vector<std::array<float, 6>> boxes;   // TriangleBox of each, same order
    std::vector<uint8_t> masks;                // walk scratch, one per node
};

struct Octree {
    int32_t limit = 0;
    int32_t maxDepth = 3;
    int32_t visitedLeaves = 0;
    OctreeNode root;
    OctreeWalkIndex walk;
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
// Refills tree.walk from the node tree; the build calls it.
void IndexOctree(Octree &tree);

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
