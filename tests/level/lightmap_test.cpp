// Lightmaps: hand-computed lumels, projections, lightmap coordinates,
// clamping, degenerate triangles, and a sweep over a real model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

#include "level/lightmaps.h"
#include "spatial_test_util.h"

namespace vesk::test {
namespace {

// z = 0 facing +z, 16 units a side: lumel (i, j) lies at (i, j, 0).
const Poly kFloor = Tri({0, 0, 0}, {16, 0, 0}, {0, 16, 0});

LightmapLight Light(Vector3 at, float intensity, float radius, float red, float green = 0, float blue = 0) {
    return {at, intensity, radius, red, blue, green};
}

std::vector<uint8_t> Lit(const Poly &t, std::vector<LightmapLight> lights) {
    std::vector<uint8_t> out(kLightmapBytes, 0xCD);
    CreateLightmaps2(1, &t, lights.data(), static_cast<int32_t>(lights.size()), out.data());
    return out;
}
uint8_t At(const std::vector<uint8_t> &m, int i, int j, int c) { return m[static_cast<size_t>(3 * (16 * i + j) + c)]; }

// 1. Hand-computed lumels: f = cos * intensity / dist = 5 * 10 / dist^2 for a
// light 5 above the floor.
TEST(LightmapTest, S01_HandComputedLumels) {
    struct Case {
        const char *what;
        LightmapLight light;
        int i, j, channel;
        uint8_t expected;
    } cases[] = {
        {"at the radius: nothing", Light({0, 0, 5}, 10, 5, 100), 0, 0, 0, 0},
        {"just inside: 2 x 100", Light({0, 0, 5}, 10, 5.001f, 100), 0, 0, 0, 200},
        {"oblique: 50 / 26 x 100", Light({0, 0, 5}, 10, 6, 100), 1, 0, 0, 192},
        {"green goes to byte 1", Light({0, 0, 5}, 10, 6, 0, 20), 0, 0, 1, 40},
        {"blue goes to byte 2", Light({0, 0, 5}, 10, 6, 0, 0, 30), 0, 0, 2, 60},
        {"behind the plane: nothing", Light({0, 0, -5}, 10, 50, 100), 0, 0, 0, 0},
        {"within 0.001 of the plane: nothing", Light({3, 3, 0.0005f}, 10, 50, 100), 3, 4, 0, 0},
        {"clamped at 255", Light({0, 0, 5}, 1000, 6, 100), 0, 0, 0, 255},
        {"negative sum clamped at 0", Light({0, 0, 5}, -10, 6, 100), 0, 0, 0, 0},
        {"lumel (15, 15) at 0.9375 of the edges", Light({15, 15, 1}, 1, 1.5f, 100), 15, 15, 0, 100},
    };
    for (const Case &c : cases) EXPECT_EQ(At(Lit(kFloor, {c.light}), c.i, c.j, c.channel), c.expected) << c.what;
    // Two lights add; the far edges (16, *) are never sampled.
    const auto two = Lit(kFloor, {Light({0, 0, 5}, 10, 6, 50), Light({0, 0, 5}, 10, 6, 25)});
    EXPECT_EQ(At(two, 0, 0, 0), 150);
    EXPECT_EQ(At(Lit(kFloor, {Light({16, 16, 1}, 1, 1.01f, 100)}), 15, 15, 0), 0);
    // No lights: every byte 0.
    const auto none = Lit(kFloor, {});
    EXPECT_EQ(std::count(none.begin(), none.end(), 0), kLightmapBytes);
}

// 2. Projection axis and lightmap coordinates; CreateLightmaps2 changes nothing.
TEST(LightmapTest, S02_ProjectionAndCoordinates) {
    struct Case {
        const char *what;
        Poly t;
        float u[3], v[3];
    } cases[] = {
        {"plane z = 0 onto (x, y)", Tri({0, 0, 0}, {4, 0, 0}, {0, 2, 0}), {0, 1, 0}, {0, 0, 1}},
        {"plane x = 5 onto (y, z)", Tri({5, 0, 0}, {5, 4, 0}, {5, 0, 2}), {0, 1, 0}, {0, 0, 1}},
        {"|n.x| = |n.y| > |n.z| onto (x, y)", Tri({0, 0, 0}, {1, -1, 0}, {0, 0, 1}), {0, 1, 0}, {1, 0, 1}},
        {"plane y = 3 onto (x, z)", Tri({0, 3, 0}, {0, 3, 8}, {2, 3, 0}), {0, 0, 1}, {0, 1, 0}},
    };
    const LightmapLight light = Light({1, 1, 1}, 1, 10, 1);
    for (const Case &c : cases) {
        Poly t = c.t, before = c.t;
        std::vector<uint8_t> a(kLightmapBytes), b(kLightmapBytes);
        CreateLightmaps2(1, &t, &light, 1, b.data());
        EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0) << c.what;
        ::CreateLightmaps(1, &t, &light, 1, a.data());
        EXPECT_EQ(a, b) << c.what;
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(t.corner[k].u2, c.u[k]) << c.what << " corner " << k;
            EXPECT_EQ(t.corner[k].v2, c.v[k]) << c.what << " corner " << k;
        }
    }
}

// 3. Degenerate and bad input: no NaN coordinates, dark lumels for a zero
// normal, nothing written for counts <= 0.
TEST(LightmapTest, S03_DegenerateAndBadInput) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    Poly bad[] = {Tri({0, 0, 0}, {1, 1, 1}, {2, 2, 2}),    // collinear: zero normal
                  Tri({1, 1, 1}, {1, 1, 1}, {1, 1, 1}),    // a point: no extent
                  Tri({0, 0, 0}, {nan, 0, 0}, {0, 1, 0}),  // NaN corner
                  Tri({0, 0, 0}, {inf, 0, 0}, {0, 1, 0})};
    const LightmapLight lights[] = {Light({0.5f, 0.5f, 3}, 10, 100, 100, 100, 100),
                                    Light({0.5f, 0.5f, 3}, nan, 100, 100, 100, 100)};
    std::vector<uint8_t> out(4 * kLightmapBytes, 0xCD);
    ::CreateLightmaps(4, bad, lights, 2, out.data());
    for (const Poly &p : bad)
        for (const PolyVertex &v : p.corner) EXPECT_TRUE(std::isfinite(v.u2) && std::isfinite(v.v2));
    for (int p = 0; p < 3; ++p)
        for (int b = 0; b < kLightmapBytes; ++b) ASSERT_EQ(out[static_cast<size_t>(p * kLightmapBytes + b)], 0) << p;
    EXPECT_EQ(bad[0].corner[2].u2, 1.0f);  // the collinear triangle still has an x extent
    std::vector<uint8_t> untouched(kLightmapBytes, 0xCD);
    for (int32_t count : {0, -2}) {
        ::CreateLightmaps(count, bad, lights, 1, untouched.data());
        CreateLightmaps2(count, bad, lights, 1, untouched.data());
    }
    ::CreateLightmaps(0, nullptr, nullptr, 0, nullptr);
    ::CreateLightmaps(1, bad, nullptr, 0, untouched.data());  // no lights: dark
    EXPECT_EQ(std::count(untouched.begin(), untouched.end(), 0), kLightmapBytes);
}

// 4. A real model under three lights: coordinates in [0, 1], the two exports
// agree byte for byte, and lumels facing away from every light stay dark.
// Set VESK_LIGHTMAP_DUMP to a file name to get the first 64 maps as a PPM.
TEST(LightmapTest, S04_RealModelSweep) {
    auto polys = ModelPolys("assimp/OBJ/spider.obj");
    ASSERT_GT(polys.size(), 100u);
    const std::vector<LightmapLight> lights = {Light({0, 40, 0}, 40, 200, 255, 200, 150),
                                               Light({60, 10, 30}, 20, 120, 50, 120, 255),
                                               Light({-50, 5, -40}, 25, 150, 200, 60, 60)};
    const auto before = polys;
    std::vector<uint8_t> a(polys.size() * kLightmapBytes), b(a.size());
    CreateLightmaps2(static_cast<int32_t>(polys.size()), polys.data(), lights.data(), 3, b.data());
    EXPECT_EQ(std::memcmp(polys.data(), before.data(), polys.size() * sizeof(Poly)), 0);
    ::CreateLightmaps(static_cast<int32_t>(polys.size()), polys.data(), lights.data(), 3, a.data());
    EXPECT_EQ(a, b);
    size_t lit = 0;
    for (const Poly &p : polys)
        for (const PolyVertex &v : p.corner) {
            EXPECT_GE(v.u2, 0.0f);
            EXPECT_LE(v.u2, 1.0f);
            EXPECT_GE(v.v2, 0.0f);
            EXPECT_LE(v.v2, 1.0f);
        }
    for (uint8_t byte : a) lit += byte != 0;
    EXPECT_GT(lit, 0u);
    EXPECT_LT(lit, a.size());
    if (const char *dump = std::getenv("VESK_LIGHTMAP_DUMP")) {
        std::ofstream ppm(dump, std::ios::binary);
        ppm << "P6 128 128 255\n";
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const size_t map = static_cast<size_t>((y / 16) * 8 + x / 16);
                ppm.write(reinterpret_cast<const char *>(&a[map * kLightmapBytes + 3 * (16 * (x % 16) + y % 16)]), 3);
            }
    }
}

}  // namespace
}  // namespace vesk::test
