// Frustum walks over the octree and over a plain triangle list.
#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "frame/host_callback.h"
#include "geometry/frustum.h"
#include "level/octree.h"

namespace vesk {
namespace {

using Box6 = std::array<float, 6>;

bool BoxVisible(const Frustum &frustum, const BoundingBox &b) {
    return BoxInFrustum(frustum, b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ) != 0;
}

bool BoxVisible(const Frustum &frustum, const Box6 &b) {
    return BoxInFrustum(frustum, b[0], b[1], b[2], b[3], b[4], b[5]) != 0;
}

Box6 ToBox6(const BoundingBox &b) { return {b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ}; }

bool Finite(const Box6 &b) {
    for (float v : b)
        if (!std::isfinite(v)) return false;
    return b[0] <= b[3] && b[1] <= b[4] && b[2] <= b[5];
}

bool Inside(const Box6 &inner, const Box6 &outer) {
    return inner[0] >= outer[0] && inner[1] >= outer[1] && inner[2] >= outer[2] && inner[3] <= outer[3] &&
           inner[4] <= outer[4] && inner[5] <= outer[5];
}

// Why one corner per plane decides, and why a node inside a plane needs no
// margin for what it contains. With finite floats each product a*x is exact
// in double (24 + 24 bits < 53) and every addition is correctly rounded,
// hence non-decreasing in each operand; the value (a*x + b*y) + c*z + d is
// therefore computed largest at the corner taking, per axis, the end that
// makes its product largest, and smallest at the opposite corner. So:
// - the box test passes a plane exactly when that largest corner gives > 0;
// - if the smallest corner of box B gives > 0, any box C inside B has every
//   product at least B's and so every computed value at least B's: C passes
//   too, after rounding, because it is the same expression rounded the same
//   way (a margin of zero is safe).
// Infinite or NaN inputs break exact products (0 * inf, inf - inf): such
// frusta and boxes take the plain box test.
struct CornerPlane {
    double a, b, c, d;
    uint8_t hx, hy, hz;  // index of the end giving the largest product
};

inline double Value(const CornerPlane &p, const Box6 &box, int x, int y, int z) {
    return (p.a * box[static_cast<size_t>(x)] + p.b * box[static_cast<size_t>(y)]) + p.c * box[static_cast<size_t>(z)] +
           p.d;
}
inline double High(const CornerPlane &p, const Box6 &box) { return Value(p, box, p.hx, p.hy, p.hz); }
inline double Low(const CornerPlane &p, const Box6 &box) { return Value(p, box, 3 - p.hx, 5 - p.hy, 7 - p.hz); }

constexpr uint8_t kAllPlanes = 0x3F;

struct Walker {
    OctreeWalkIndex &index;
    const Frustum &frustum;
    const VeskHostCallback *callback;
    std::array<CornerPlane, 6> planes{};
    bool exact = true;  // a finite frustum: the corner tests apply
    int32_t visited = 0;

    Walker(OctreeWalkIndex &idx, const Frustum &f, const VeskHostCallback *cb) : index(idx), frustum(f), callback(cb) {
        for (size_t k = 0; k < 6; ++k) {
            const Plane &p = f.plane[k];
            exact = exact && std::isfinite(p.a) && std::isfinite(p.b) && std::isfinite(p.c) && std::isfinite(p.d);
            planes[k] = {p.a, p.b, p.c, p.d, static_cast<uint8_t>(p.a > 0 ? 3 : 0),
                         static_cast<uint8_t>(p.b > 0 ? 4 : 1), static_cast<uint8_t>(p.c > 0 ? 5 : 2)};
        }
    }

    void Report(int32_t t) { CallHost(callback, reinterpret_cast<intptr_t>(index.polys[static_cast<size_t>(t)])); }

    // Triangles of a leaf that passed, tested against the planes it straddles.
    void TestLeaf(const OctreeWalkNode &node, uint8_t mask, bool corners) {
        if (!corners) {
            for (int32_t t = node.first; t < node.last; ++t)
                if (BoxVisible(frustum, index.boxes[static_cast<size_t>(t)])) Report(t);
            return;
        }
        std::array<CornerPlane, 6> active;
        size_t n = 0;
        for (size_t k = 0; k < 6; ++k)
            if (mask & (1u << k)) active[n++] = planes[k];
        for (int32_t t = node.first; t < node.last; ++t) {
            const Box6 &box = index.boxes[static_cast<size_t>(t)];
            bool pass = true;
            for (size_t k = 0; k < n && pass; ++k) pass = High(active[k], box) > 0.0;
            if (pass) Report(t);
        }
    }

    void Run() {
        const auto &nodes = index.nodes;
        auto &masks = index.masks;  // per node: the planes it straddles
        const int32_t count = static_cast<int32_t>(nodes.size());
        for (int32_t i = 0; i < count;) {
            const OctreeWalkNode &node = nodes[static_cast<size_t>(i)];
            uint8_t mask = node.parent >= 0 ? masks[static_cast<size_t>(node.parent)] : kAllPlanes;
            const bool corners = exact && node.nested;
            if (corners) {
                bool culled = false;
                for (size_t k = 0; k < 6 && !culled; ++k) {
                    if (!(mask & (1u << k))) continue;
                    if (!(High(planes[k], node.box) > 0.0)) culled = true;
                    else if (Low(planes[k], node.box) > 0.0) mask = static_cast<uint8_t>(mask & ~(1u << k));
                }
                if (culled) {
                    i = node.end;
                    continue;
                }
                if (mask == 0) {
                    // Wholly inside: every leaf below passes, every triangle too.
                    visited += node.leaves;
                    for (int32_t t = node.first; t < node.last; ++t) Report(t);
                    i = node.end;
                    continue;
                }
            } else {
                if (!BoxVisible(frustum, node.box)) {
                    i = node.end;
                    continue;
                }
                mask = kAllPlanes;
            }
            if (node.leaf) {
                ++visited;
                TestLeaf(node, mask, corners);
            } else {
                masks[static_cast<size_t>(i)] = mask;
            }
            ++i;  // a leaf's subtree is itself; an inner node's first child follows it
        }
    }
};

struct Indexer {
    OctreeWalkIndex &index;

    // Returns whether the subtree is nested (see OctreeWalkNode).
    bool Add(const OctreeNode &node, int32_t parent) {
        const size_t at = index.nodes.size();
        index.nodes.emplace_back();
        Box6 box = ToBox6(node.bounds);
        bool nested = Finite(box);
        int32_t leaves = 0;
        const int32_t first = static_cast<int32_t>(index.polys.size());
        if (node.subdivided) {
            for (const auto &child : node.children) {
                if (!child) continue;
                const size_t c = index.nodes.size();
                const bool childNested = Add(*child, static_cast<int32_t>(at));
                nested = nested && childNested && Inside(index.nodes[c].box, box);
                leaves += index.nodes[c].leaves;
            }
        } else {
            leaves = 1;
            for (const Poly &p : node.triangles) {
                const Box6 tb = ToBox6(TriangleBox(p));
                nested = nested && Finite(tb) && Inside(tb, box);
                index.polys.push_back(&p);
                index.boxes.push_back(tb);
            }
        }
        OctreeWalkNode &out = index.nodes[at];
        out.box = box;
        out.parent = parent;
        out.end = static_cast<int32_t>(index.nodes.size());
        out.first = first;
        out.last = static_cast<int32_t>(index.polys.size());
        out.leaves = leaves;
        out.leaf = !node.subdivided;
        out.nested = nested;
        return nested;
    }
};

}  // namespace

bool TriangleVisible(const Frustum &frustum, const Poly &poly) { return BoxVisible(frustum, TriangleBox(poly)); }

void IndexOctree(Octree &tree) {
    tree.walk.nodes.clear();
    tree.walk.polys.clear();
    tree.walk.boxes.clear();
    Indexer{tree.walk}.Add(tree.root, -1);
    tree.walk.masks.assign(tree.walk.nodes.size(), kAllPlanes);
}

int32_t RenderOctree(Octree &tree, const Frustum &frustum, const VeskHostCallback *callback) {
    Walker walker(tree.walk, frustum, callback);
    walker.Run();
    tree.visitedLeaves = walker.visited;
    return tree.visitedLeaves;
}

namespace {

// The box test of every triangle of a list against a finite frustum. With a
// finite box each plane is passed exactly when its largest corner gives > 0
// (see CornerPlane), so one corner per plane decides; the planes are ANDed,
// so any order gives the same answer, and the plane that culled the last
// triangle goes first. The box's zeros may differ in sign from TriangleBox's
// (fmin may keep either zero): a signed zero times a coefficient is a signed
// zero, which changes no sum but a zero one, and -0 > 0 is +0 > 0.
class ListCuller {
public:
    explicit ListCuller(const Frustum &frustum) : frustum_(frustum) {
        for (size_t k = 0; k < 6; ++k) {
            const Plane &p = frustum.plane[k];
            exact_ = exact_ && std::isfinite(p.a) && std::isfinite(p.b) && std::isfinite(p.c) && std::isfinite(p.d);
            planes_[k] = {p.a, p.b, p.c, p.d, static_cast<uint8_t>(p.a > 0 ? 3 : 0),
                          static_cast<uint8_t>(p.b > 0 ? 4 : 1), static_cast<uint8_t>(p.c > 0 ? 5 : 2)};
        }
    }

    bool Visible(const Poly &poly) {
        if (!exact_) return TriangleVisible(frustum_, poly);
        const Vector3 &a = poly.corner[0].position, &b = poly.corner[1].position, &c = poly.corner[2].position;
        // v - v is 0 for a finite value and NaN for the rest.
        const float spread = ((a.x - a.x) + (a.y - a.y) + (a.z - a.z)) + ((b.x - b.x) + (b.y - b.y) + (b.z - b.z)) +
                             ((c.x - c.x) + (c.y - c.y) + (c.z - c.z));
        if (!(spread == 0.0f)) return TriangleVisible(frustum_, poly);
        const Box6 box{Min3(a.x, b.x, c.x), Min3(a.y, b.y, c.y), Min3(a.z, b.z, c.z),
                       Max3(a.x, b.x, c.x), Max3(a.y, b.y, c.y), Max3(a.z, b.z, c.z)};
        if (!(High(planes_[first_], box) > 0.0)) return false;
        for (size_t k = 0; k < 6; ++k)
            if (k != first_ && !(High(planes_[k], box) > 0.0)) {
                first_ = k;
                return false;
            }
        return true;
    }

private:
    static float Min3(float x, float y, float z) {
        const float m = y < x ? y : x;
        return z < m ? z : m;
    }
    static float Max3(float x, float y, float z) {
        const float m = y > x ? y : x;
        return z > m ? z : m;
    }

    const Frustum &frustum_;
    std::array<CornerPlane, 6> planes_{};
    bool exact_ = true;
    size_t first_ = 0;
};

}  // namespace

void RenderPolys(std::span<const Poly> polys, const Frustum *frustum, int32_t mode,
                 const VeskHostCallback *callback) {
    if (mode < 0) return;
    if (mode == 0) {
        for (const Poly &p : polys) CallHost(callback, reinterpret_cast<intptr_t>(&p));
        return;
    }
    if (frustum == nullptr) return;
    ListCuller culler(*frustum);
    for (const Poly &p : polys)
        if (culler.Visible(p)) CallHost(callback, reinterpret_cast<intptr_t>(&p));
}

}  // namespace vesk
