// Octree build and the frustum walks: numbered scenarios, then the culling
// property over seeded scenes and a real model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "level/octree.h"
#include "spatial_test_util.h"

namespace vesk::test {
namespace {

// A scaled identity view: the visible cube is -half < x, y, z < half.
Frustum CubeFrustum(float half = 1.0f) {
    Matrix4 scale{}, id{};
    scale.m[0] = scale.m[5] = scale.m[10] = 1.0f / half;
    scale.m[15] = id.m[0] = id.m[5] = id.m[10] = id.m[15] = 1.0f;
    Frustum f{};
    CalculateFrustum(f, scale, id);
    return f;
}

// Corners rounded to multiples of step, so they fall on dividing planes.
void Snap(std::vector<Poly> &polys, float step) {
    for (Poly &p : polys)
        for (PolyVertex &c : p.corner)
            c.position = {std::round(c.position.x / step) * step, std::round(c.position.y / step) * step,
                          std::round(c.position.z / step) * step};
}

template <class F>
void ForEachNode(const OctreeNode &node, int depth, F &&f) {
    f(node, depth);
    for (const auto &c : node.children)
        if (c) ForEachNode(*c, depth + 1, f);
}

std::vector<int32_t> Tags(const std::vector<const Poly *> &seen) {
    std::vector<int32_t> t;
    for (const Poly *p : seen) t.push_back(p->tag);
    return t;
}

// Tags of the triangles the octree walk reports for f, in order.
std::vector<int32_t> OctreeTags(const Frustum &f) {
    PolyRecorder rec;
    RenderVeskOctree(&f, &PolyRecorder::cell, nullptr);
    return Tags(PolyRecorder::Seen());
}

// The octree reports each visible triangle once per leaf holding it, nothing
// else; and it visits exactly the leaves whose box passes.
void ExpectOctreeMatchesList(const std::vector<Poly> &polys, const Frustum &frustum, const std::string &what) {
    Octree &tree = TheOctree();
    std::map<int32_t, int> held;
    int passingLeaves = 0;
    ForEachNode(tree.root, 0, [&](const OctreeNode &n, int) {
        if (n.subdivided) return;
        for (const Poly &p : n.triangles) ++held[p.tag];
        const BoundingBox &b = n.bounds;
        if (BoxInFrustum(frustum, b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ)) ++passingLeaves;
    });
    PolyRecorder rec;
    RenderVeskPoly(polys.data(), static_cast<int32_t>(polys.size()), &frustum, 1, &PolyRecorder::cell);
    std::map<int32_t, int> expected;
    for (int32_t tag : Tags(PolyRecorder::Seen())) expected[tag] += held[tag];
    PolyRecorder::Seen().clear();
    int32_t visited = -1;
    const int32_t result = RenderVeskOctree(&frustum, &PolyRecorder::cell, &visited);
    std::map<int32_t, int> got;
    for (int32_t tag : Tags(PolyRecorder::Seen())) ++got[tag];
    EXPECT_EQ(got, expected) << what;
    EXPECT_EQ(result, visited) << what;
    EXPECT_EQ(result, passingLeaves) << what;
}

class OctreeTest : public ::testing::Test {
protected:
    void TearDown() override { BuildVeskOctree(nullptr, 0); }
};

// 1. With count >= 1 the root is divided and no node lies below depth 3; a
// leaf above depth 3 holds few enough triangles (3m <= count / 4).
TEST_F(OctreeTest, S01_DivisionRules) {
    for (int count : {1, 7, 64, 500}) {
        const auto polys = RandomTriangles(static_cast<uint32_t>(count), count, 50.0f, 3.0f);
        EXPECT_EQ(BuildVeskOctree(polys.data(), count), 1);
        EXPECT_TRUE(TheOctree().root.subdivided) << count;
        ForEachNode(TheOctree().root, 0, [&](const OctreeNode &n, int depth) {
            EXPECT_LE(depth, 3);
            EXPECT_FALSE(depth == 3 && n.subdivided);
            EXPECT_TRUE(n.subdivided || depth == 3 || 3 * static_cast<int>(n.triangles.size()) <= count / 4);
        });
    }
}

// 2. Root width from truncated offsets; the centre is the corner mean.
TEST_F(OctreeTest, S02_SceneBounds) {
    struct Case {
        Poly p;
        float width;
    } cases[] = {
        {Tri({2.7f, 0, 0}, {-2.7f, 0, 0}, {0, 0, 0}), 4.0f},
        {Tri({-3.9f, 0, 0}, {3.9f, 0, 0}, {0, 0, 0}), 6.0f},
        {Tri({5, 5, 2}, {-5, -5, -2}, {0, 0, 0}), 10.0f},
        {Tri({0.5f, 0.2f, 0}, {-0.5f, -0.2f, 0}, {0, 0, 0}), 0.0f},
    };
    for (const Case &c : cases) {
        const SceneBounds b = ComputeSceneBounds({&c.p, 1});
        EXPECT_EQ(b.width, c.width);
        EXPECT_NEAR(b.centre.x, 0.0f, 1e-6f);
    }
    // Non-finite corners are left out of the mean instead of poisoning it.
    const Poly mixed[] = {Tri({1, 1, 1}, {3, 3, 3}, {2, 2, 2}),
                          Tri({NAN, 0, 0}, {INFINITY, 0, 0}, {2, 2, 2})};
    const SceneBounds b = ComputeSceneBounds(mixed);
    EXPECT_FLOAT_EQ(b.centre.x, 2.0f);
    EXPECT_EQ(b.width, 2.0f);
}

// 3. A triangle spanning octants goes whole to the octant of its corner 0,
// and the walk still reports it when only its far end is in view (the node's
// cube alone would be culled).
TEST_F(OctreeTest, S03_CornerZeroOwnsTriangle) {
    std::vector<Poly> polys = {Tri({-10, 10, 10}, {-9, 10, 10}, {-10, 9, 10}, 0),   // octant 0
                               Tri({10, -10, -10}, {9, -10, -10}, {10, -9, -10}, 1),  // octant 6
                               // corner 0 in octant 5, reaching into the view at the origin region
                               Tri({-8, -8, -8}, {0.5f, 0.5f, 0.2f}, {0.6f, 0.2f, 0.3f}, 2)};
    BuildVeskOctree(polys.data(), 3);
    int holders = 0;
    ForEachNode(TheOctree().root, 0, [&](const OctreeNode &n, int) {
        for (const Poly &p : n.triangles)
            if (p.tag == 2) {
                ++holders;
                EXPECT_TRUE(InOctant(p.corner[0].position, TheOctree().root.centre, 5));
            }
    });
    EXPECT_EQ(holders, 1);
    const Frustum f = CubeFrustum();
    EXPECT_EQ(OctreeTags(f), std::vector<int32_t>{2});
    ExpectOctreeMatchesList(polys, f, "corner zero");
}

// 4. A corner exactly at the centre belongs to all eight octants: a triangle
// whose corner 0 is there is held by eight leaves and reported eight times.
TEST_F(OctreeTest, S04_CornerAtCentre) {
    std::vector<Poly> polys = {Tri({0, 0, 0}, {0.9f, 0.6f, 0.3f}, {-0.9f, -0.6f, -0.3f}, 7)};
    for (int o = 0; o < 8; ++o) EXPECT_TRUE(InOctant({0, 0, 0}, {0, 0, 0}, o));
    BuildVeskOctree(polys.data(), 1);
    // Offsets below 1 truncate to a zero width: the scene is scaled so the
    // root cube (width 0 here would stack every child on the centre) is real.
    EXPECT_EQ(TheOctree().root.width, 0.0f);
    std::vector<Poly> big = {Tri({0, 0, 0}, {3, 2, 1}, {-3, -2, -1}, 7)};
    BuildVeskOctree(big.data(), 1);
    EXPECT_EQ(TheOctree().root.width, 6.0f);
    const Frustum wide = CubeFrustum(4.0f);
    // Other corners create empty leaves too, so only the reports are counted.
    PolyRecorder rec;
    EXPECT_GE(RenderVeskOctree(&wide, &PolyRecorder::cell, nullptr), 8);
    EXPECT_EQ(PolyRecorder::Seen().size(), 8u);
}

// 5. Reports come depth first, octants 0..7, and in each leaf in host order.
TEST_F(OctreeTest, S05_DepthFirstOrder) {
    std::vector<Poly> polys = {Tri({0.5f, -0.5f, 0.5f}, {0.6f, -0.5f, 0.5f}, {0.5f, -0.6f, 0.5f}, 0),     // octant 7
                               Tri({-0.5f, 0.5f, 0.5f}, {-0.6f, 0.5f, 0.5f}, {-0.5f, 0.6f, 0.5f}, 1),     // octant 0
                               Tri({0.5f, 0.5f, -0.5f}, {0.6f, 0.5f, -0.5f}, {0.5f, 0.6f, -0.5f}, 2),     // octant 2
                               Tri({-0.4f, 0.4f, 0.4f}, {-0.6f, 0.5f, 0.5f}, {-0.5f, 0.6f, 0.5f}, 3)};    // octant 0
    BuildVeskOctree(polys.data(), 4);
    // Octant 0's subtree may split 1 and 3 further, but both precede 2 and 0.
    const auto tags = OctreeTags(CubeFrustum());
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_EQ(std::vector<int32_t>(tags.begin() + 2, tags.end()), (std::vector<int32_t>{2, 0}));
}

// 6. Every build returns 1 and replaces the previous tree completely; an
// empty build leaves one empty root leaf, counted when the origin is in view.
TEST_F(OctreeTest, S06_RebuildAndEmpty) {
    auto first = RandomTriangles(1, 100, 0.5f, 0.2f);
    BuildVeskOctree(first.data(), 100);
    std::vector<Poly> second = {Tri({-2, 0.1f, 0.1f}, {1.8f, 0.1f, 0.1f}, {0.2f, 0.9f, -0.7f}, 500)};
    EXPECT_EQ(BuildVeskOctree(second.data(), 1), 1);
    const Frustum f = CubeFrustum();
    EXPECT_EQ(OctreeTags(f), std::vector<int32_t>{500});
    for (int32_t count : {0, -5}) {
        EXPECT_EQ(BuildVeskOctree(first.data(), count), 1);
        EXPECT_FALSE(TheOctree().root.subdivided);
        PolyRecorder rec;
        int32_t visited = -1;
        EXPECT_EQ(RenderVeskOctree(&f, &PolyRecorder::cell, &visited), 1);
        EXPECT_EQ(visited, 1);
        EXPECT_TRUE(PolyRecorder::Seen().empty());
    }
    EXPECT_EQ(BuildVeskOctree(nullptr, 0), 1);
}

// 7. A leaf in view whose triangles are all outside still counts as visited.
TEST_F(OctreeTest, S07_VisitedLeafWithoutVisibleTriangles) {
    // Depth-3 leaves are 1/8 of the root: triangles just outside x = 1, with
    // the root cube reaching over the view.
    std::vector<Poly> polys = {Tri({1.5f, 0, 0}, {1.6f, 0, 0}, {1.5f, 0.1f, 0}, 0),
                               Tri({-1.5f, 0, 0}, {-1.6f, 0, 0}, {-1.5f, 0.1f, 0}, 1)};
    BuildVeskOctree(polys.data(), 2);
    const Frustum f = CubeFrustum();
    EXPECT_TRUE(OctreeTags(f).empty());
    EXPECT_GE(RenderVeskOctree(&f, &PolyRecorder::cell, nullptr), 1);
    ExpectOctreeMatchesList(polys, f, "outside leaves");
}

// 8. RenderVeskPoly modes: 0 everything, negative nothing, positive the boxes
// that pass (a straddling triangle included); NaN corners never pass.
TEST_F(OctreeTest, S08_PolyModes) {
    std::vector<Poly> polys = {Tri({0, 0, 0}, {0.1f, 0, 0}, {0, 0.1f, 0}, 0),        // inside
                               Tri({5, 5, 5}, {6, 5, 5}, {5, 6, 5}, 1),              // outside
                               Tri({0.5f, 0, 0}, {3, 0, 0}, {0.5f, 0.2f, 0}, 2),      // straddles x = 1
                               Tri({0, 0, 0}, {NAN, 0, 0}, {0, 0.1f, 0}, 3),          // NaN corner
                               Tri({-3, -3, 0}, {3, -3, 0}, {0, 3, 0}, 4)};           // encloses the view
    const Frustum f = CubeFrustum();
    struct Case {
        int32_t mode, count;
        std::vector<int32_t> tags;
    } cases[] = {{0, 5, {0, 1, 2, 3, 4}}, {-1, 5, {}}, {5, 5, {0, 2, 4}}, {1, 0, {}}, {1, -3, {}}, {0, 2, {0, 1}}};
    for (const Case &c : cases) {
        PolyRecorder rec;
        RenderVeskPoly(polys.data(), c.count, &f, c.mode, &PolyRecorder::cell);
        EXPECT_EQ(Tags(PolyRecorder::Seen()), c.tags) << c.mode << " " << c.count;
    }
    PolyRecorder rec;
    RenderVeskPoly(nullptr, 0, &f, 1, &PolyRecorder::cell);
    RenderVeskPoly(polys.data(), 5, nullptr, 1, &PolyRecorder::cell);
    RenderVeskPoly(polys.data(), 5, &f, 0, nullptr);
    EXPECT_TRUE(PolyRecorder::Seen().empty());
}

// 9. The culling property on seeded scenes and random views: large and
// small triangles, triangles far larger than the leaves, some NaN and
// infinite corners, corners on dividing planes.
TEST_F(OctreeTest, S09_PropertyRandomScenes) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (uint32_t seed = 0; seed < 40; ++seed) {
        const float size = (seed % 4 == 0) ? 60.0f : 4.0f;
        auto polys = RandomTriangles(seed, 200 + static_cast<int>(seed) * 13, 40.0f, size);
        if (seed % 5 == 1) Snap(polys, 5.0f);
        if (seed % 7 == 3) polys[3].corner[1].position.y = std::numeric_limits<float>::quiet_NaN();
        BuildVeskOctree(polys.data(), static_cast<int32_t>(polys.size()));
        for (int view = 0; view < 6; ++view) {
            const Frustum f = ViewFrustum({u(rng) * 50, u(rng) * 50, u(rng) * 50}, u(rng) * 3.14f, u(rng) * 1.5f,
                                          0.4f + 0.6f * (u(rng) + 1.0f), 1.3f, 0.5f, 20.0f + 40.0f * (u(rng) + 1.0f));
            ExpectOctreeMatchesList(polys, f, "seed " + std::to_string(seed) + " view " + std::to_string(view));
        }
    }
}

// 10. The same property on real models, tiled into a larger scene.
TEST_F(OctreeTest, S10_PropertyRealModels) {
    for (const char *file : {"assimp/OBJ/spider.obj", "assimp/3DS/fels.3ds", "assimp/OBJ/WusonOBJ.obj"}) {
        const auto model = ModelPolys(file);
        ASSERT_GT(model.size(), 10u) << file;
        std::vector<Poly> scene;
        BoundingBox box{1e30f, 1e30f, 1e30f, -1e30f, -1e30f, -1e30f};
        for (const Poly &p : model)
            for (const PolyVertex &c : p.corner)
                box = {std::min(box.minX, c.position.x), 0, std::min(box.minZ, c.position.z),
                       std::max(box.maxX, c.position.x), 0, std::max(box.maxZ, c.position.z)};
        const float stepX = (box.maxX - box.minX) * 0.8f, stepZ = (box.maxZ - box.minZ) * 0.8f;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (Poly p : model) {
                    for (PolyVertex &c : p.corner) {
                        c.position.x += stepX * static_cast<float>(i);
                        c.position.z += stepZ * static_cast<float>(j);
                    }
                    p.tag = static_cast<int32_t>(scene.size());
                    scene.push_back(p);
                }
        BuildVeskOctree(scene.data(), static_cast<int32_t>(scene.size()));
        const float span = std::max(stepX, stepZ) * 3.0f;
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (int view = 0; view < 20; ++view) {
            const Frustum f = ViewFrustum({box.minX + span * 0.5f * (u(rng) + 1), u(rng) * span * 0.3f,
                                           box.minZ + span * 0.5f * (u(rng) + 1)},
                                          u(rng) * 3.14f, u(rng) * 0.8f, 0.9f, 1.33f, span * 0.01f, span * 0.5f);
            ExpectOctreeMatchesList(scene, f, std::string(file) + " view " + std::to_string(view));
        }
    }
}

// 11. Bad input: infinite and NaN corners everywhere build and walk without
// crashing; the null callback cell and a null frustum report nothing.
TEST_F(OctreeTest, S11_BadInput) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<Poly> polys = {Tri({nan, nan, nan}, {nan, 0, 0}, {0, nan, 0}, 0), Tri({inf, -inf, 0}, {0, 0, 0}, {1, 1, 1}, 1),
                               Tri({3e38f, 3e38f, -3e38f}, {-3e38f, 0, 0}, {0, 0, 0}, 2)};
    const Frustum f = CubeFrustum();
    for (int32_t n = 1; n <= 3; ++n) {
        EXPECT_EQ(BuildVeskOctree(polys.data(), n), 1);
        RenderVeskOctree(&f, nullptr, nullptr);
        for (int32_t tag : OctreeTags(f)) EXPECT_NE(tag, 0);
        EXPECT_EQ(RenderVeskOctree(nullptr, &PolyRecorder::cell, nullptr), 0);
    }
}

// The walk as first written: every node box and every triangle box through
// BoxInFrustum, recursively. The fast walk must match it pointer for pointer.
void PlainWalk(const OctreeNode &n, const Frustum &f, std::vector<const Poly *> &out, int32_t &leaves) {
    const BoundingBox &b = n.bounds;
    if (!BoxInFrustum(f, b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ)) return;
    if (n.subdivided) {
        for (const auto &c : n.children)
            if (c) PlainWalk(*c, f, out, leaves);
        return;
    }
    ++leaves;
    for (const Poly &p : n.triangles)
        if (TriangleVisible(f, p)) out.push_back(&p);
}

// 12. Shortcuts (one corner per plane, planes a node lies inside skipped
// below it, subtrees wholly inside reported untested) change nothing: same
// pointers, same order, same leaf count as the plain walk. Views: random,
// enclosing whole nodes, and planes moved to graze a node or triangle box
// corner within a few ulps; scenes with NaN and infinite corners.
TEST_F(OctreeTest, S12_ShortcutsMatchPlainWalk) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<std::vector<Poly>> scenes;
    for (uint32_t seed = 0; seed < 12; ++seed) {
        auto polys = RandomTriangles(seed + 100, 300 + static_cast<int>(seed) * 50, 30.0f, seed % 3 == 0 ? 15.0f : 2.0f);
        if (seed % 2 == 1) Snap(polys, 1.0f);
        if (seed % 4 == 2) {
            polys[5].corner[2].position.x = std::numeric_limits<float>::quiet_NaN();
            polys[9].corner[0].position.z = std::numeric_limits<float>::infinity();
        }
        scenes.push_back(std::move(polys));
    }
    scenes.push_back(ModelPolys("assimp/OBJ/spider.obj"));
    int shortcuts = 0;
    for (size_t s = 0; s < scenes.size(); ++s) {
        const auto &polys = scenes[s];
        BuildVeskOctree(polys.data(), static_cast<int32_t>(polys.size()));
        const OctreeWalkIndex &walk = TheOctree().walk;
        const float span = walk.nodes.front().box[3] - walk.nodes.front().box[0];
        for (int view = 0; view < 40; ++view) {
            const auto &root = walk.nodes.front().box;
            const Vector3 mid{(root[0] + root[3]) * 0.5f, (root[1] + root[4]) * 0.5f, (root[2] + root[5]) * 0.5f};
            Frustum f;
            if (view % 3 == 0) {
                // From outside, looking at the scene: whole nodes fall inside.
                Vector3 d{u(rng), u(rng), u(rng)};
                const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) + 1e-3f;
                d = {d.x / len, d.y / len, d.z / len};
                f = ViewFrustum({mid.x - d.x * span * 2, mid.y - d.y * span * 2, mid.z - d.z * span * 2},
                                std::atan2(d.x, -d.z), std::asin(std::clamp(d.y, -1.0f, 1.0f)), 0.4f + 0.5f * (u(rng) + 1.0f),
                                1.33f, 0.1f, span * 4.0f);
            } else {
                f = ViewFrustum({mid.x + u(rng) * span, mid.y + u(rng) * span, mid.z + u(rng) * span}, u(rng) * 3.14f,
                                u(rng) * 1.4f, 0.3f + 0.8f * (u(rng) + 1.0f), 1.33f, 0.1f, span * 0.6f);
            }
            if (view % 2 == 1) {
                // Lay one plane exactly on a corner of a box in view: the
                // corner that decides passing (a triangle or a leaf), or the
                // one that decides lying inside (a node). Coarse plane
                // coefficients and whole-number scenes make the value exactly
                // zero there; then nudge d by an ulp either way.
                const bool node = view % 4 == 1;
                std::vector<const std::array<float, 6> *> seen;
                if (node) {
                    for (const OctreeWalkNode &n : walk.nodes)
                        if (BoxInFrustum(f, n.box[0], n.box[1], n.box[2], n.box[3], n.box[4], n.box[5])) seen.push_back(&n.box);
                } else {
                    for (const auto &b : walk.boxes)
                        if (BoxInFrustum(f, b[0], b[1], b[2], b[3], b[4], b[5])) seen.push_back(&b);
                }
                if (!seen.empty()) {
                    const auto &box = *seen[rng() % seen.size()];
                    Plane &p = f.plane[rng() % 6];
                    p.a = std::round(p.a * 256) / 256, p.b = std::round(p.b * 256) / 256, p.c = std::round(p.c * 256) / 256;
                    if (node) {  // node boxes are not whole numbers: an axis plane
                        const float sign = rng() % 2 ? 1.0f : -1.0f;
                        const int axis = static_cast<int>(rng() % 3);
                        p = {axis == 0 ? sign : 0.0f, axis == 1 ? sign : 0.0f, axis == 2 ? sign : 0.0f, 0.0f};
                    }
                    const bool high = !node || rng() % 2 == 0;
                    const float x = box[(p.a > 0) == high ? 3 : 0], y = box[(p.b > 0) == high ? 4 : 1],
                                z = box[(p.c > 0) == high ? 5 : 2];
                    p.d = static_cast<float>(-((double{p.a} * x + double{p.b} * y) + double{p.c} * z));
                    if (const int step = static_cast<int>(rng() % 4) - 1; step != 0 && step != 2)
                        p.d = std::nextafter(p.d, step > 0 ? INFINITY : -INFINITY);
                }
            }
            if (view == 39) f.plane[4].d = std::numeric_limits<float>::quiet_NaN();
            std::vector<const Poly *> expected;
            int32_t expectedLeaves = 0;
            PlainWalk(TheOctree().root, f, expected, expectedLeaves);
            PolyRecorder rec;
            int32_t visited = -1;
            const int32_t result = RenderVeskOctree(&f, &PolyRecorder::cell, &visited);
            ASSERT_EQ(PolyRecorder::Seen(), expected) << "scene " << s << " view " << view;
            ASSERT_EQ(result, expectedLeaves) << "scene " << s << " view " << view;
            ASSERT_EQ(visited, expectedLeaves);
            // Count views where some whole inner node lay inside the frustum.
            for (const OctreeWalkNode &n : walk.nodes) {
                bool inside = !n.leaf && n.nested;
                for (int c = 0; c < 8 && inside; ++c)
                    inside = PointInFrustum(f, n.box[c & 1 ? 3 : 0], n.box[c & 2 ? 4 : 1], n.box[c & 4 ? 5 : 2]) != 0;
                if (inside) {
                    ++shortcuts;
                    break;
                }
            }
        }
    }
    EXPECT_GT(shortcuts, 20) << shortcuts;  // the wholly-inside path was exercised
}

// 13. A plane exactly on the scene's outer face, where a flat triangle lies:
// the root is not inside that plane, and the flat triangle (on the plane, so
// outside) is not reported while everything else is.
TEST_F(OctreeTest, S13_PlaneOnOuterFace) {
    auto polys = RandomTriangles(5, 400, 10.0f, 2.0f);
    Snap(polys, 1.0f);
    polys.push_back(Tri({-20, 0, 0}, {-20, 1, 0}, {-20, 0, 1}, 999));
    BuildVeskOctree(polys.data(), static_cast<int32_t>(polys.size()));
    ASSERT_EQ(TheOctree().walk.nodes.front().box[0], -20.0f);
    Frustum f = CubeFrustum(100.0f);
    f.plane[1] = {1.0f, 0.0f, 0.0f, 20.0f};  // x > -20
    std::vector<const Poly *> expected;
    int32_t leaves = 0;
    PlainWalk(TheOctree().root, f, expected, leaves);
    PolyRecorder rec;
    EXPECT_EQ(RenderVeskOctree(&f, &PolyRecorder::cell, nullptr), leaves);
    EXPECT_EQ(PolyRecorder::Seen(), expected);
    EXPECT_EQ(Tags(PolyRecorder::Seen()).size(), polys.size() - 1);
    for (const Poly *p : PolyRecorder::Seen()) EXPECT_NE(p->tag, 999);
}

}  // namespace
}  // namespace vesk::test
