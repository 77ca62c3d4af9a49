// Polygon BSP compiler: split codes, splitter choice, termination, the
// compiled tree read back through the stats and the back-to-front walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "geometry/primitives.h"
#include "geometry/vector_ops.h"
#include "level/poly_bsp.h"
#include "poly_bsp_reference.h"
#include "spatial_test_util.h"

namespace vesk::test {
namespace {

std::vector<int32_t> Stats() {
    std::vector<int32_t> s(4, -1);
    VeskGetBspStats(s.data());
    return s;
}

double Area(const Poly &p) { return ExactMagnitude(PolyNormal(p)) * 0.5; }

// The splitter: the plane z = 0 facing +z.
const Poly kFloor = Tri({0, 0, 0}, {1, 0, 0}, {0, 1, 0});

// 1. Split codes and pieces for each documented configuration.
TEST(PolyBspTest, S01_SplitCodes) {
    struct Case {
        const char *what;
        Poly t;
        int32_t code;
    } cases[] = {
        {"two in front, one behind", Tri({0, 0, 1}, {2, 0, 1}, {0, 2, -1}), kSplitFrontQuad},
        {"one in front, two behind", Tri({0, 0, 1}, {2, 0, -1}, {0, 2, -1}), kSplitBackQuad},
        {"front, behind, on plane", Tri({0, 0, 1}, {2, 0, -1}, {0, 2, 0}), kSplitBoth},
        {"touching by a corner from the front", Tri({0, 0, 0}, {2, 0, 1}, {0, 2, 1}), kFront},
        {"touching by an edge from the front", Tri({0, 0, 0}, {2, 0, 0}, {0, 2, 1}), kFront},
        {"touching by an edge from behind", Tri({0, 0, 0}, {2, 0, 0}, {0, 2, -1}), kBack},
        {"within the band counts as on the plane", Tri({0, 0, 0.0005f}, {2, 0, 0}, {0, 2, -1}), kBack},
        {"in plane, same facing", Tri({5, 5, 0}, {6, 5, 0}, {5, 6, 0}), kFront},
        {"in plane, opposite facing", Tri({5, 5, 0}, {5, 6, 0}, {6, 5, 0}), kBack},
        {"in plane, zero normal", Tri({5, 5, 0}, {6, 5, 0}, {7, 5, 0}), kFront},
    };
    for (const Case &c : cases) {
        Poly pieces[3];
        EXPECT_EQ(SplitPolygon(c.t, kFloor, pieces), c.code) << c.what;
        EXPECT_EQ(SplitPolygon(c.t, kFloor, nullptr), c.code) << c.what;
        if (c.code < kSplitFrontQuad) continue;
        const PieceCounts n = PieceCountsOf(c.code);
        double area = 0;
        for (int i = 0; i < n.front + n.back; ++i) {
            area += Area(pieces[i]);
            const int side = i < n.front ? 1 : -1;
            for (const PolyVertex &v : pieces[i].corner) EXPECT_NE(PlaneSide(v.position, {0, 0, 0}, {0, 0, 1}), -side) << c.what;
        }
        EXPECT_NEAR(area, Area(c.t), 1e-5) << c.what;
    }
    // Code 2's two front pieces share the front list's first corner.
    Poly pieces[3];
    SplitPolygon(cases[0].t, kFloor, pieces);
    EXPECT_EQ(std::memcmp(&pieces[0].corner[0].position, &pieces[1].corner[0].position, sizeof(Vector3)), 0);
}

// 2. A crossing at the middle of an edge takes the mean texture coordinates;
// pieces keep the source's word and tag.
TEST(PolyBspTest, S02_CrossingAttributes) {
    Poly t = Tri({0, 0, 1}, {0, 0, -1}, {4, 0, 1}, 77);
    t.word = 9;
    t.corner[0].u = 0.2f, t.corner[0].v = 1.0f;
    t.corner[1].u = 0.6f, t.corner[1].v = 3.0f;
    Poly pieces[3];
    ASSERT_EQ(SplitPolygon(t, kFloor, pieces), kSplitFrontQuad);
    bool found = false;
    for (const Poly &p : pieces) {
        EXPECT_TRUE(p.tag == 77 && p.word == 9u);
        for (const PolyVertex &v : p.corner)
            if (v.position.x == 0.0f && v.position.z == 0.0f) {
                found = true;
                EXPECT_TRUE(std::fabs(v.u - 0.4f) < 1e-6f && std::fabs(v.v - 2.0f) < 1e-6f) << v.u << " " << v.v;
            }
    }
    EXPECT_TRUE(found);
}

// 3. The fast choice equals one SplitPolygon per pair, on seeded sets that
// include coplanar, touching and degenerate triangles.
TEST(PolyBspTest, S03_ChoiceMatchesPlainRule) {
    for (uint32_t seed = 0; seed < 60; ++seed) {
        auto polys = RandomTriangles(seed, 5 + static_cast<int>(seed % 40), 10.0f, 6.0f);
        if (seed % 3 == 0)
            for (Poly &p : polys)
                for (PolyVertex &v : p.corner) v.position = {std::round(v.position.x), std::round(v.position.y), 0.0f};
        if (seed % 5 == 0) polys[1].corner[2].position = polys[1].corner[0].position;
        const SplitterChoice a = ChooseSplitter(polys), b = ChooseSplitterPlain(polys);
        EXPECT_EQ((std::vector<int32_t>{a.index, a.front, a.back}), (std::vector<int32_t>{b.index, b.front, b.back})) << seed;
        EXPECT_TRUE(a.index < 0 || (a.front > 0 && a.back > 0)) << seed;
    }
}

// 3b. Whole trees compiled with the library's search and with the plain
// rule: every node alike, byte for byte. Sets large enough for the search's
// boxes, with corners on and near other triangles' planes, coplanar layers,
// far-off and non-finite corners.
TEST(PolyBspTest, S03b_TreesMatchPlainRuleNodeByNode) {
    std::vector<std::pair<std::string, std::vector<Poly>>> sets;
    for (uint32_t seed = 0; seed < 14; ++seed) {
        auto polys = RandomTriangles(100 + seed, 40 + static_cast<int>(seed) * 25, 10.0f, 2.0f + static_cast<float>(seed % 4));
        for (Poly &p : polys)
            for (PolyVertex &v : p.corner) {
                if (seed % 3 == 1)
                    for (float *c : {&v.position.x, &v.position.y, &v.position.z}) *c = std::round(*c * 4) / 4;
                if (seed % 3 == 2) v.position.y = std::round(v.position.y) + (v.position.x > 0 ? 0.001f : -0.0009f);
            }
        if (seed == 5) polys[3].corner[1].position.x = std::numeric_limits<float>::quiet_NaN();
        if (seed == 6) polys[4].corner[0].position = {1e38f, 0, 0};
        if (seed == 7)
            for (Poly &p : polys) p.corner[2].position.z += 3e5f;
        sets.emplace_back("seed " + std::to_string(seed), std::move(polys));
    }
    auto real = ModelPolys("assimp/OBJ/spider.obj");
    real.resize(std::min<size_t>(real.size(), 1100));
    sets.emplace_back("spider", real);
    for (const auto &[what, polys] : sets) {
        PolyBspTree fast, plain;
        CompilePolyBsp(fast, polys);
        CompilePolyBsp(plain, polys, ChooseSplitterPlain);
        ASSERT_EQ(fast.nodes.size(), plain.nodes.size()) << what;
        ASSERT_GT(fast.nodes.size(), 1u) << what;
        for (size_t i = 0; i < fast.nodes.size(); ++i) {
            const BspNode &a = fast.nodes[i], &b = plain.nodes[i];
            const size_t bytes = a.polygons.size() * sizeof(Poly);
            ASSERT_TRUE(a.isLeaf == b.isLeaf && a.front == b.front && a.back == b.back && a.depth == b.depth &&
                        std::memcmp(&a.splitter, &b.splitter, sizeof(Poly)) == 0 &&
                        a.polygons.size() == b.polygons.size() &&
                        (bytes == 0 || std::memcmp(a.polygons.data(), b.polygons.data(), bytes) == 0))
                << what << " node " << i;
        }
    }
}

class PolyBspTreeTest : public ::testing::Test {
protected:
    void TearDown() override { GetVeskBSP(0, nullptr, 0); }
};

// 4. The best-scoring candidate (index 0, score 2) leaves the back side empty
// while candidate 1 (also score 2) divides the set: 1 is the splitter.
TEST_F(PolyBspTreeTest, S04_UnsplittingCandidateIsSkipped) {
    const Poly set[] = {Tri({-4, 0, -4}, {-4, 0, 8}, {8, 0, -4}, 0),  // floor facing +y
                        Tri({1, 1, 0}, {1, 1, 1}, {1, 2, 0}, 1)};     // plane x = 1 facing -x
    const SplitterChoice c = ChooseSplitter(set);
    EXPECT_EQ((std::vector<int32_t>{c.index, c.front, c.back}), (std::vector<int32_t>{1, 3, 1}));
    GetVeskBSP(0, set, 2);
    EXPECT_EQ(Stats(), (std::vector<int32_t>{3, 2, 4, 2}));
}

// 5. When every candidate leaves one side empty the node is a leaf that keeps
// its list in order; a tie goes to the lower index; the counter counts.
TEST_F(PolyBspTreeTest, S05_LeafTiesAndCounter) {
    // Inside faces of a tetrahedron: each plane has the others in front.
    const Vector3 a{0, 0, 0}, b{4, 0, 0}, c{0, 4, 0}, d{0, 0, 4};
    std::vector<Poly> inside = {Tri(a, b, c, 0), Tri(a, d, b, 1), Tri(a, c, d, 2), Tri(b, d, c, 3)};
    for (Poly &p : inside)
        if (Dot(PolyNormal(p), Sub(Vector3{1, 1, 1}, p.corner[0].position)) < 0) std::swap(p.corner[1], p.corner[2]);
    const int32_t first = GetVeskBSP(0, inside.data(), 4);
    EXPECT_EQ(Stats(), (std::vector<int32_t>{1, 1, 4, 1}));
    const auto &leaf = ThePolyBsp().nodes[0].polygons;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(leaf[static_cast<size_t>(i)].tag, i);
    // Outside faces: every candidate scores |1 - 3| = 2, so index 0 splits.
    for (Poly &p : inside) std::swap(p.corner[1], p.corner[2]);
    EXPECT_EQ(ChooseSplitter(inside).index, 0);
    EXPECT_EQ(GetVeskBSP(0, inside.data(), 4), first + 1);
    EXPECT_EQ(ThePolyBsp().nodes[0].splitter.tag, 0);
    EXPECT_EQ(GetVeskBSP(0, nullptr, 0), first + 2);
    EXPECT_EQ(Stats(), (std::vector<int32_t>{1, 1, 0, 1}));
    EXPECT_EQ(GetVeskBSP(0, inside.data(), -3), first + 3);
    EXPECT_EQ(Stats(), (std::vector<int32_t>{1, 1, 0, 1}));
}

// 6. A convex fan seen from outside peels one face per level: depth equals
// the input count, built and released without recursion.
TEST_F(PolyBspTreeTest, S06_DeepTree) {
    const int n = 300;
    std::vector<Poly> cone;
    for (int i = 0; i < n; ++i) {
        const double a0 = 2 * M_PI * i / n, a1 = 2 * M_PI * (i + 1) / n;
        Poly p = Tri({0, 50, 0}, {ToF(100 * std::cos(a0)), 0, ToF(100 * std::sin(a0))},
                     {ToF(100 * std::cos(a1)), 0, ToF(100 * std::sin(a1))}, i);
        if (Dot(PolyNormal(p), p.corner[1].position) < 0) std::swap(p.corner[1], p.corner[2]);
        cone.push_back(p);
    }
    GetVeskBSP(0, cone.data(), n);
    EXPECT_EQ(Stats(), (std::vector<int32_t>{2 * n - 1, n, n, n}));
}

// Checks area, planes, the walk's coverage and its order against every
// splitter for a few eyes.
void CheckCompiledTree(const std::vector<Poly> &input, uint32_t seed, const std::string &what) {
    GetVeskBSP(0, input.data(), static_cast<int32_t>(input.size()));
    const PolyBspTree &tree = ThePolyBsp();
    const auto stats = Stats();
    double inArea = 0, outArea = 0;
    for (const Poly &p : input) inArea += Area(p);
    std::vector<const Poly *> all;
    for (const BspNode &node : tree.nodes)
        for (const Poly &p : node.polygons) {
            all.push_back(&p);
            outArea += Area(p);
            const Poly &src = input[static_cast<size_t>(p.tag)];
            const Vector3 n = SafeNormalize(PolyNormal(src));
            for (const PolyVertex &v : p.corner)
                ASSERT_LT(std::fabs(Dot(n, Sub(v.position, src.corner[0].position))), 1e-3) << what;
        }
    EXPECT_EQ(static_cast<int32_t>(all.size()), stats[2]) << what;
    EXPECT_NEAR(outArea, inArea, inArea * 1e-4) << what;
    Vector3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
    for (const Poly &p : input)
        for (const PolyVertex &v : p.corner) {
            lo = {std::min(lo.x, v.position.x), std::min(lo.y, v.position.y), std::min(lo.z, v.position.z)};
            hi = {std::max(hi.x, v.position.x), std::max(hi.y, v.position.y), std::max(hi.z, v.position.z)};
        }
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-0.5f, 1.5f);
    for (int e = 0; e < 4; ++e) {
        const Vector3 eye{lo.x + u(rng) * (hi.x - lo.x), lo.y + u(rng) * (hi.y - lo.y), lo.z + u(rng) * (hi.z - lo.z)};
        PolyRecorder rec;
        VeskWalkBspBackToFront(&eye, &PolyRecorder::cell);
        std::map<const Poly *, size_t> position;
        for (size_t i = 0; i < PolyRecorder::Seen().size(); ++i) position[PolyRecorder::Seen()[i]] = i;
        ASSERT_TRUE(position.size() == all.size() && PolyRecorder::Seen().size() == all.size()) << what;
        for (const Poly *p : all) ASSERT_TRUE(position.count(p)) << what;
        // Every splitter: within its subtree, nothing wholly on the eye's side
        // comes before anything wholly on the far side.
        for (const BspNode &node : tree.nodes) {
            if (node.isLeaf) continue;
            const Vector3 n = PolyNormal(node.splitter), &s0 = node.splitter.corner[0].position;
            const int32_t eyeSide = PlaneSide(eye, s0, n);
            if (eyeSide == 0) continue;
            size_t firstNear = SIZE_MAX, lastFar = 0;
            bool anyFar = false;
            std::vector<int32_t> stack = {node.front, node.back};
            while (!stack.empty()) {
                const BspNode &sub = tree.nodes[static_cast<size_t>(stack.back())];
                stack.pop_back();
                if (!sub.isLeaf) {
                    stack.push_back(sub.front), stack.push_back(sub.back);
                    continue;
                }
                for (const Poly &p : sub.polygons) {
                    int near = 0, far = 0;
                    for (const PolyVertex &v : p.corner) {
                        const int32_t s = PlaneSide(v.position, s0, n);
                        near += s == eyeSide, far += s == -eyeSide;
                    }
                    if (near > 0 && far == 0) firstNear = std::min(firstNear, position[&p]);
                    if (far > 0 && near == 0) anyFar = true, lastFar = std::max(lastFar, position[&p]);
                }
            }
            ASSERT_TRUE(!anyFar || lastFar < firstNear) << what;
        }
    }
}

// 7. Random sets and real models: area conserved, pieces in their source's
// plane, the walk covers every piece once and respects every splitter.
TEST_F(PolyBspTreeTest, S07_CompiledTreeProperties) {
    for (uint32_t seed = 0; seed < 12; ++seed)
        CheckCompiledTree(RandomTriangles(seed, 30 + static_cast<int>(seed) * 7, 10.0f, 5.0f), seed,
                          "seed " + std::to_string(seed));
    for (const char *file : {"assimp/3DS/fels.3ds", "assimp/OBJ/spider.obj"}) {
        auto model = ModelPolys(file);
        if (model.size() > 1500) model.resize(1500);
        CheckCompiledTree(model, 5, file);
    }
}

// 8. Bad input: NaN and infinite corners, duplicates and zero-area triangles
// compile without hanging; the walk and the stats accept null arguments.
TEST_F(PolyBspTreeTest, S08_BadInput) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    auto polys = RandomTriangles(3, 40, 10.0f, 5.0f);
    polys[2].corner[1].position.x = nan;
    polys[5].corner[0].position = {inf, 0, 0};
    polys[7] = polys[8];
    polys[9].corner[2].position = polys[9].corner[1].position;
    GetVeskBSP(0, polys.data(), static_cast<int32_t>(polys.size()));
    const auto s = Stats();
    EXPECT_GE(s[2], 40);
    PolyRecorder rec;
    const Vector3 eye{1, 2, 3};
    VeskWalkBspBackToFront(&eye, &PolyRecorder::cell);
    EXPECT_EQ(static_cast<int32_t>(PolyRecorder::Seen().size()), s[2]);
    VeskWalkBspBackToFront(nullptr, &PolyRecorder::cell);
    VeskWalkBspBackToFront(&eye, nullptr);
    VeskGetBspStats(nullptr);
    EXPECT_EQ(static_cast<int32_t>(PolyRecorder::Seen().size()), s[2]);
}

}  // namespace
}  // namespace vesk::test
