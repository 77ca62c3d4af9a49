// The level kernels' fast paths against their plain forms, byte for byte:
// seeded triangles and lights with degenerate and non-finite values, and
// real models.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "level/lightmaps.h"
#include "level/octree.h"
#include "spatial_test_util.h"
#include "support/reference_kernels.h"

namespace vesk::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Rng {
    std::mt19937 gen;
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(gen) < p; }
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(gen); }
    // Now and then a special value; grid values make exact ties and radii.
    float Odd(float v, double p = 0.02) {
        const float specials[] = {kNaN, kInf, -kInf, 0.0f, -0.0f, 1e30f};
        return Chance(p) ? specials[Pick(6)] : v;
    }
    Vector3 Point(float extent, bool grid) {
        auto c = [&] { return Odd(grid ? static_cast<float>(Pick(9) - 4) * extent / 4 : Uniform(-extent, extent)); };
        return {c(), c(), c()};
    }
};

using LumelSums = std::array<double[3], kLumels * kLumels>;

// Bytes and corners, and the sums behind the bytes bit for bit (any NaN
// matching any NaN), since a last-bit slip seldom reaches a byte.
void ExpectSameLightmaps(const std::vector<Poly> &polys, const std::vector<LightmapLight> &lights, int trial) {
    std::vector<LumelSums> plainSums(polys.size());
    for (size_t p = 0; p < polys.size(); ++p) reference::lightmap::LumelSums(polys[p], lights, plainSums[p].data());
    for (bool writeCoords : {true, false}) {
        std::vector<Poly> plain = polys;
        std::vector<uint8_t> b(polys.size() * kLightmapBytes, 0xCD);
        reference::CreateLightmaps(std::span<Poly>(plain), lights, b.data(), writeCoords);
        // Every lane width the processor has.
        for (int lanes : {0, 1, 2}) {
            LimitLightmapLanes(static_cast<LightmapLanes>(lanes));
            std::vector<Poly> fast = polys;
            std::vector<uint8_t> a(polys.size() * kLightmapBytes, 0xCD);
            CreateLightmaps(std::span<Poly>(fast), lights, a.data(), writeCoords);
            ASSERT_EQ(a, b) << "trial " << trial << ", lanes " << lanes;
            ASSERT_EQ(std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(Poly)), 0) << "trial " << trial;
            for (size_t p = 0; writeCoords && p < polys.size(); ++p) {  // once per width
                LumelSums sums;
                LightmapSums(polys[p], lights, sums.data());
                for (int m = 0; m < kLumels * kLumels; ++m)
                    for (int c = 0; c < 3; ++c) {
                        const double x = sums[m][c], y = plainSums[p][m][c];
                        ASSERT_TRUE(std::memcmp(&x, &y, sizeof x) == 0 || (std::isnan(x) && std::isnan(y)))
                            << "trial " << trial << ", lanes " << lanes << ", lumel " << m << ": " << x << " vs " << y;
                    }
            }
        }
    }
    LimitLightmapLanes(LightmapLanes::Avx512);
}

TEST(LevelFastPaths, LightmapsWriteThePlainBytes) {
    Rng r{std::mt19937(404)};
    int lit = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const bool grid = r.Chance(0.4);
        std::vector<Poly> polys;
        for (int i = 0, n = 1 + r.Pick(4); i < n; ++i) {
            Vector3 c[3] = {r.Point(16, grid), r.Point(16, grid), r.Point(16, grid)};
            if (r.Chance(0.1)) c[2] = c[1];                       // zero area
            if (r.Chance(0.1)) c[1].z = c[0].z, c[2].z = c[0].z;  // flat on an axis plane
            if (r.Chance(0.05)) c[2] = {2 * c[1].x - c[0].x, 2 * c[1].y - c[0].y, 2 * c[1].z - c[0].z};  // collinear
            polys.push_back(Tri(c[0], c[1], c[2]));
        }
        // Up to 70 lights: more than one batch of the old form, none at all too.
        std::vector<LightmapLight> lights;
        for (int l = 0, n = r.Pick(8) == 0 ? 70 : r.Pick(6); l < n; ++l) {
            LightmapLight light;
            light.position = r.Point(30, grid);
            light.intensity = r.Odd(r.Chance(0.1) ? -r.Uniform(0, 50) : r.Uniform(0, 200));
            // Whole radii hit lumels at exactly that distance on grid scenes.
            light.radius = r.Odd(grid ? static_cast<float>(r.Pick(30)) : r.Uniform(-2, 60));
            light.red = r.Odd(r.Uniform(-20, 300)), light.green = r.Uniform(0, 300), light.blue = r.Uniform(0, 300);
            if (r.Chance(0.3)) {  // exactly the radius off lumel (0, 0) of a triangle flat on z
                const PolyVertex(&c)[3] = polys[r.Pick(static_cast<int>(polys.size()))].corner;
                light.radius = static_cast<float>(1 + r.Pick(20));
                light.position = {std::fmin(c[0].position.x, std::fmin(c[1].position.x, c[2].position.x)),
                                  std::fmin(c[0].position.y, std::fmin(c[1].position.y, c[2].position.y)),
                                  c[0].position.z + (r.Chance(0.5) ? light.radius : -light.radius)};
            }
            lights.push_back(light);
        }
        ExpectSameLightmaps(polys, lights, trial);
        if (!lights.empty()) ++lit;
    }
    EXPECT_GT(lit, 300);
    // A real model under lights that reach some triangles and not others.
    std::vector<Poly> spider = ModelPolys("assimp/OBJ/spider.obj");
    ASSERT_GT(spider.size(), 300u);
    spider.resize(300);
    std::vector<LightmapLight> lights;
    for (int i = 0; i < 6; ++i)
        lights.push_back({{static_cast<float>(i * 12 - 30), 20.0f, static_cast<float>(30 - i * 10)},
                          40,
                          25.0f + 10.0f * static_cast<float>(i),
                          200,
                          100,
                          50});
    ExpectSameLightmaps(spider, lights, -1);
}

std::vector<const Poly *> Reported(void (*render)(std::span<const Poly>, const Frustum *, int32_t,
                                                  const VeskHostCallback *),
                                   const std::vector<Poly> &polys, const Frustum &f, int32_t mode) {
    PolyRecorder recorder;
    render(polys, &f, mode, &PolyRecorder::cell);
    return PolyRecorder::Seen();
}

TEST(LevelFastPaths, RenderPolysReportsThePlainTriangles) {
    Rng r{std::mt19937(77)};
    size_t reported = 0, tested = 0;
    for (int trial = 0; trial < 500; ++trial) {
        Frustum f = ViewFrustum(r.Point(20, false), r.Uniform(-3, 3), r.Uniform(-1.5f, 1.5f), r.Uniform(0.2f, 2.5f),
                                r.Uniform(0.5f, 2), r.Uniform(0.01f, 2), r.Uniform(3, 80));
        if (r.Chance(0.1)) {  // NaN, infinite or zero terms
            Plane &p = f.plane[r.Pick(6)];
            float *terms[4] = {&p.a, &p.b, &p.c, &p.d};
            *terms[r.Pick(4)] = r.Odd(0.0f, 1.0);
        }
        std::vector<Poly> polys = RandomTriangles(static_cast<uint32_t>(trial), 200, 40, r.Chance(0.5) ? 0.5f : 20);
        for (Poly &p : polys)
            for (PolyVertex &c : p.corner) {
                c.position.x = r.Odd(c.position.x, 0.005);
                if (r.Chance(0.02)) c.position.y = 0.0f, c.position.z = -0.0f;  // signed zeros in the box
            }
        const int32_t mode = r.Pick(4) - 1;
        const auto fast = Reported(&RenderPolys, polys, f, mode);
        ASSERT_EQ(fast, Reported(&reference::RenderPolys, polys, f, mode)) << "trial " << trial;
        reported += fast.size(), tested += polys.size();
    }
    EXPECT_GT(reported, tested / 20);
    EXPECT_LT(reported, tested / 2);
    // A real model from inside and from outside.
    const std::vector<Poly> wuson = ModelPolys("assimp/OBJ/WusonOBJ.obj");
    for (int v = 0; v < 8; ++v) {
        const Frustum f = ViewFrustum({r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3)}, r.Uniform(-3, 3),
                                      r.Uniform(-1, 1), 1.0f, 1.33f, 0.1f, r.Uniform(1, 10));
        ASSERT_EQ(Reported(&RenderPolys, wuson, f, 1), Reported(&reference::RenderPolys, wuson, f, 1)) << v;
    }
}

}  // namespace
}  // namespace vesk::test
