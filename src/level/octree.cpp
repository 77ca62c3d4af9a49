#include "level/octree.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace vesk {
namespace {

Octree g_octree;

BoundingBox CubeBox(const Vector3 &c, float width) {
    const float h = width * 0.5f;
    return {c.x - h, c.y - h, c.z - h, c.x + h, c.y + h, c.z + h};
}

// NaN coordinates are skipped: such a triangle never passes a frustum test,
// so it need not widen anything.
void Grow(BoundingBox &box, const Vector3 &p) {
    if (p.x < box.minX) box.minX = p.x;
    if (p.y < box.minY) box.minY = p.y;
    if (p.z < box.minZ) box.minZ = p.z;
    if (p.x > box.maxX) box.maxX = p.x;
    if (p.y > box.maxY) box.maxY = p.y;
    if (p.z > box.maxZ) box.maxZ = p.z;
}

void GrowBox(BoundingBox &box, const BoundingBox &other) {
    Grow(box, {other.minX, other.minY, other.minZ});
    Grow(box, {other.maxX, other.maxY, other.maxZ});
}

struct Builder {
    Octree &tree;
    int32_t depth = 0;  // the current depth: 0 outside a build

    void Build(OctreeNode &node, std::span<const Poly> polys, const Vector3 &centre, float width) {
        node.centre = centre;
        node.width = width;
        node.bounds = CubeBox(centre, width);
        const int64_t count = static_cast<int64_t>(polys.size());
        if (!(3 * count > tree.limit && depth < tree.maxDepth)) {
            node.subdivided = false;
            node.triangles.assign(polys.begin(), polys.end());
            for (const Poly &p : node.triangles)
                for (const PolyVertex &c : p.corner) Grow(node.bounds, c.position);
            return;
        }
        node.subdivided = true;
        // A child exists where any corner lies; it is filled by corner 0 only.
        std::array<bool, 8> anyCorner{};
        for (const Poly &p : polys)
            for (const PolyVertex &c : p.corner)
                for (int o = 0; o < 8; ++o)
                    if (!anyCorner[o] && InOctant(c.position, centre, o)) anyCorner[o] = true;
        std::vector<Poly> collected;
        for (int o = 0; o < 8; ++o) {
            if (!anyCorner[o]) continue;
            collected.clear();
            for (const Poly &p : polys)
                if (InOctant(p.corner[0].position, centre, o)) collected.push_back(p);
            auto child = std::make_unique<OctreeNode>();
            ++depth;
            Build(*child, collected, ChildCentre(centre, width, o), width * 0.5f);
            --depth;
            GrowBox(node.bounds, child->bounds);
            node.children[o] = std::move(child);
        }
    }
};

}  // namespace

Octree::Octree() { Clear(); }

void Octree::Clear() {
    for (auto &child : root.children) child.reset();
    root.triangles.clear();
    root.triangles.shrink_to_fit();
    root.subdivided = false;
    root.centre = {0.0f, 0.0f, 0.0f};
    root.width = 0.0f;
    root.bounds = CubeBox(root.centre, 0.0f);
    IndexOctree(*this);
}

Octree &TheOctree() { return g_octree; }

bool InOctant(const Vector3 &p, const Vector3 &c, int octant) {
    const bool left = p.x <= c.x, right = p.x >= c.x;
    const bool up = p.y >= c.y, down = p.y <= c.y;
    const bool nearZ = p.z >= c.z, farZ = p.z <= c.z;  // +z and -z halves
    switch (octant) {
        case 0: return left && up && nearZ;
        case 1: return left && up && farZ;
        case 2: return right && up && farZ;
        case 3: return right && up && nearZ;
        case 4: return left && down && nearZ;
        case 5: return left && down && farZ;
        case 6: return right && down && farZ;
        case 7: return right && down && nearZ;
        default: return false;
    }
}

Vector3 ChildCentre(const Vector3 &c, float width, int octant) {
    static constexpr int8_t kSign[8][3] = {{-1, 1, 1},  {-1, 1, -1},  {1, 1, -1},  {1, 1, 1},
                                           {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}};
    const float q = width * 0.25f;
    const int8_t *s = kSign[octant & 7];
    return {c.x + s[0] * q, c.y + s[1] * q, c.z + s[2] * q};
}

SceneBounds ComputeSceneBounds(std::span<const Poly> polys) {
    SceneBounds out;
    // Sum in double so that large finite scenes do not overflow; non-finite
    // corners would make the centre NaN and lose every triangle.
    double sum[3] = {0, 0, 0};
    int64_t n = 0;
    auto finite = [](const Vector3 &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
    for (const Poly &p : polys)
        for (const PolyVertex &c : p.corner)
            if (finite(c.position)) {
                sum[0] += c.position.x;
                sum[1] += c.position.y;
                sum[2] += c.position.z;
                ++n;
            }
    if (n == 0) return out;
    out.centre = {static_cast<float>(sum[0] / static_cast<double>(n)), static_cast<float>(sum[1] / static_cast<double>(n)),
                  static_cast<float>(sum[2] / static_cast<double>(n))};
    // Offsets truncated toward zero, kept in floating point: an integer
    // conversion would overflow for far corners.
    double maxOffset[3] = {0, 0, 0};
    for (const Poly &p : polys)
        for (const PolyVertex &c : p.corner) {
            if (!finite(c.position)) continue;
            const float o[3] = {c.position.x - out.centre.x, c.position.y - out.centre.y, c.position.z - out.centre.z};
            for (int a = 0; a < 3; ++a) {
                const double t = std::fabs(std::trunc(double{o[a]}));
                if (t > maxOffset[a]) maxOffset[a] = t;
            }
        }
    double width = 0;
    for (double m : maxOffset) width = std::fmax(width, 2.0 * m);
    out.width = static_cast<float>(width);
    return out;
}

void BuildOctree(Octree &tree, std::span<const Poly> polys) {
    tree.Clear();
    const int64_t count = static_cast<int64_t>(polys.size());
    tree.limit = static_cast<int32_t>(count / 4);
    tree.maxDepth = 3;
    if (polys.empty()) return;
    const SceneBounds scene = ComputeSceneBounds(polys);
    Builder builder{tree};
    builder.Build(tree.root, polys, scene.centre, scene.width);
    IndexOctree(tree);
}

BoundingBox TriangleBox(const Poly &poly) {
    const Vector3 &a = poly.corner[0].position, &b = poly.corner[1].position, &c = poly.corner[2].position;
    auto lo = [](float x, float y, float z) {
        if (std::isnan(x) || std::isnan(y) || std::isnan(z)) return std::numeric_limits<float>::quiet_NaN();
        return std::fmin(x, std::fmin(y, z));
    };
    auto hi = [](float x, float y, float z) {
        if (std::isnan(x) || std::isnan(y) || std::isnan(z)) return std::numeric_limits<float>::quiet_NaN();
        return std::fmax(x, std::fmax(y, z));
    };
    return {lo(a.x, b.x, c.x), lo(a.y, b.y, c.y), lo(a.z, b.z, c.z),
            hi(a.x, b.x, c.x), hi(a.y, b.y, c.y), hi(a.z, b.z, c.z)};
}

}  // namespace vesk
