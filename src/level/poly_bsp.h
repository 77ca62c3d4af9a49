// Polygon BSP compiler over a host triangle list, with read-back (counts and
// a back-to-front walk) so that hosts and tests can use the compiled tree.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>
#include <vector>

#include "frame/host_callback.h"

namespace vesk {

// Nodes live in one array and refer to each other by index, so neither
// building, walking nor releasing a deep tree recurses.
struct BspNode {
    Poly splitter{};       // interior nodes
    int32_t back = -1;     // child behind the splitter's plane
    int32_t front = -1;    // child in front of it
    bool isLeaf = false;
    int32_t depth = 1;     // nodes on the path from the root, this one included
    std::vector<Poly> polygons;  // leaves only
};

struct PolyBspTree {
    std::vector<BspNode> nodes;  // nodes[0] is the root; empty before the first compile
    int32_t compileCount = 0;
};

// The module-wide current tree and compile counter.
PolyBspTree &ThePolyBsp();

// Side codes of SplitPolygon.
enum SplitCode : int32_t { kFront = 0, kBack = 1, kSplitFrontQuad = 2, kSplitBackQuad = 3, kSplitBoth = 4 };

// Side of point p against the plane through s0 with normal n: 1 front, -1
// back, 0 within the band.
int32_t PlaneSide(const Vector3 &p, const Vector3 &s0, const Vector3 &n);
// Classifies t against s's plane; writes up to three pieces into out when
// given (see PieceCounts for how many go to each side).
int32_t SplitPolygon(const Poly &t, const Poly &s, Poly *out);

struct PieceCounts {
    int32_t front = 0, back = 0;
};
PieceCounts PieceCountsOf(int32_t code);

struct SplitterChoice {
    int32_t index = -1;
    int32_t front = 0, back = 0;
};
// Best |front - back| among candidates that put pieces on both sides, the
// lower index on ties; -1 when none does. excluded[i] (optional) removes
// candidate i.
SplitterChoice ChooseSplitter(std::span<const Poly> polys, const std::vector<uint8_t> *excluded = nullptr);
using SplitterSearchFn = SplitterChoice (*)(std::span<const Poly> polys, const std::vector<uint8_t> *excluded);

// Compiles a new tree (the previous one is released); returns the counter.
// choose stands in for ChooseSplitter (tests compare searches through it).
int32_t CompilePolyBsp(PolyBspTree &tree, std::span<const Poly> polys, SplitterSearchFn choose = ChooseSplitter);

struct BspStats {
    int32_t nodes = 0, leaves = 0, pieces = 0, depth = 0;
};
BspStats GetBspStats(const PolyBspTree &tree);

// Indices of the leaves in back-to-front order from eye.
std::vector<int32_t> LeavesBackToFront(const PolyBspTree &tree, const Vector3 &eye);
void WalkBspBackToFront(const PolyBspTree &tree, const Vector3 &eye, const VeskHostCallback *callback);

}  // namespace vesk
