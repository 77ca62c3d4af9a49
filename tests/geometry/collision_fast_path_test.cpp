// The collision kernels' fast paths against their plain forms, byte for byte:
// seeded scenes with degenerate, grazing and non-finite input, and bodies
// walking through a real model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "geometry/ellipsoid_collision.h"
#include "geometry/geometry_test_util.h"
#include "geometry/sphere_collision.h"
#include "level/spatial_scenes.h"
#include "support/reference_kernels.h"
#include "support/test_support.h"

namespace vesk {
namespace {

struct Scene {
    CollisionBody body;
    std::vector<Poly> polys;
};

class SceneMaker {
public:
    explicit SceneMaker(uint32_t seed) : rng_(seed) {}

    // Mostly ordinary values; now and then a special one.
    float Odd(float ordinary) {
        const float specials[] = {test::kNaN, test::kInf, -test::kInf, 0.0f, -0.0f, 1e30f, 3e38f, 1e-40f};
        return Chance(0.04) ? specials[Index(8)] : ordinary;
    }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    size_t Index(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
    float LogUniform(float lo, float hi) { return std::exp(Uniform(std::log(lo), std::log(hi))); }
    Vector3 Direction() {
        Vector3 d{Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1)};
        const float n = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) + 1e-6f;
        return {d.x / n, d.y / n, d.z / n};
    }
    Vector3 Along(const Vector3 &p, const Vector3 &d, float s) { return {p.x + d.x * s, p.y + d.y * s, p.z + d.z * s}; }

    Scene Make() {
        Scene s;
        std::memset(&s.body, 0, sizeof s.body);
        const float scale = Chance(0.2) ? LogUniform(1.0f, 1e6f) : 1.0f;
        s.body.position = {Odd(Uniform(-2, 2) * scale), Odd(Uniform(-2, 2) * scale), Odd(Uniform(-2, 2) * scale)};
        s.body.radii = Chance(0.5)
                           ? Vector3{1, 1, 1}
                           : Vector3{Odd(LogUniform(0.2f, 5)), Odd(LogUniform(0.2f, 5)), Odd(LogUniform(0.2f, 5))};
        if (Chance(0.02)) s.body.radii.y = -s.body.radii.y;
        const Vector3 dir = Direction();
        const float speed = Chance(0.05) ? 0.0f : LogUniform(1e-3f, 30.0f);
        s.body.velocity = {Odd(dir.x * speed), Odd(dir.y * speed), Odd(dir.z * speed)};
        s.body.collided = Chance(0.3) ? 1 : 0;
        s.body.distance = s.body.collided ? Uniform(0, 3) : 0.0;
        s.body.touching = static_cast<uint8_t>(Chance(0.1));
        // World centre of the body: unit-space position times the radii.
        const Vector3 &r = s.body.radii, &p = s.body.position;
        const Vector3 centre{p.x * r.x, p.y * r.y, p.z * r.z};
        const size_t count = 1 + Index(6);
        for (size_t i = 0; i < count; ++i) s.polys.push_back(Triangle(centre, r));
        return s;
    }

private:
    Poly Triangle(const Vector3 &centre, const Vector3 &r) {
        const float size = LogUniform(1e-3f, 1e5f);
        const Vector3 mid = Along(centre, Direction(), LogUniform(0.05f, 2e4f));
        Vector3 c[3];
        for (Vector3 &v : c) v = Along(mid, Direction(), size);
        switch (Index(9)) {
            case 0:
                c[2] = c[1];
                break;  // zero edge
            case 1:
                c[2] = Along(c[0], {c[1].x - c[0].x, c[1].y - c[0].y, c[1].z - c[0].z}, 0.5f);
                break;  // collinear
            case 2: {   // a plane grazing the unit sphere, below it on y
                const float y = centre.y - r.y;
                c[0] = {centre.x - size, y, centre.z - size};
                c[1] = {centre.x + size, y, centre.z - size * 0.5f};
                c[2] = {centre.x, y, centre.z + size};
                if (Chance(0.5)) std::swap(c[1], c[2]);
                break;
            }
            case 3: {  // a huge triangle whose edge passes beside the body: the angle test's slack
                const float y = centre.y - r.y * Uniform(0.5f, 1.5f), big = LogUniform(1e3f, 1e5f);
                const float x = centre.x + (Chance(0.5) ? 1.0f : -1.0f) * LogUniform(0.5f, 300.0f) * r.x;
                c[0] = {x, y, centre.z - big};
                c[1] = {x, y, centre.z + big};
                c[2] = {x + (x > centre.x ? big : -big), y, centre.z};
                break;
            }
            default:
                break;
        }
        for (Vector3 &v : c) v = {Odd(v.x), Odd(v.y), Odd(v.z)};
        return test::MakePoly(c[0], c[1], c[2]);
    }
    std::mt19937 rng_;
};

TEST(CollisionFastPaths, CheckCollisionWritesThePlainBytes) {
    SceneMaker maker(20261209);
    int hits = 0, touches = 0;
    for (int trial = 0; trial < 40000; ++trial) {
        const Scene s = maker.Make();
        CollisionBody fast = s.body, plain = s.body;
        CheckCollision(fast, s.polys);
        reference::CheckCollision(plain, s.polys);
        ASSERT_TRUE(test::SameBytes(fast, plain)) << "trial " << trial;
        hits += plain.collided != s.body.collided || plain.distance != s.body.distance;
        touches += plain.touching != s.body.touching;
    }
    // The scenes reach both outcomes often, not only far misses.
    EXPECT_GT(hits, 2000);
    EXPECT_GT(touches, 1000);
}

TEST(CollisionFastPaths, CheckForCollision1WritesThePlainBytes) {
    SceneMaker maker(1221);
    int pushed = 0;
    for (int trial = 0; trial < 40000; ++trial) {
        Scene s = maker.Make();
        // This test works in world space: the unit-space centre times the radii.
        const Vector3 &r = s.body.radii, &p = s.body.position;
        s.body.position = {p.x * r.x, p.y * r.y, p.z * r.z};
        CollisionBody fast = s.body, plain = s.body;
        Vector3 outFast{1, 2, 3}, outPlain{1, 2, 3};
        CheckForCollision1(outFast, fast, s.polys);
        reference::CheckForCollision1(outPlain, plain, s.polys);
        ASSERT_TRUE(test::SameBytes(fast, plain)) << "trial " << trial;
        ASSERT_TRUE(test::SameBytes(outFast, outPlain)) << "trial " << trial;
        pushed += !test::SameBytes(plain.position, s.body.position);
    }
    EXPECT_GT(pushed, 2000);
}

TEST(CollisionFastPaths, BodiesThroughARealModel) {
    const std::vector<Poly> model = test::LoadModelPolys(test::DataPath("assimp/OBJ/WusonOBJ.obj"));
    ASSERT_GT(model.size(), 1000u);
    Vector3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
    for (const Poly &p : model)
        for (const PolyVertex &c : p.corner) {
            lo = {std::fmin(lo.x, c.position.x), std::fmin(lo.y, c.position.y), std::fmin(lo.z, c.position.z)};
            hi = {std::fmax(hi.x, c.position.x), std::fmax(hi.y, c.position.y), std::fmax(hi.z, c.position.z)};
        }
    SceneMaker maker(7);
    int hits = 0, pushes = 0;
    for (int trial = 0; trial < 300; ++trial) {
        CollisionBody body = test::MakeBody({}, {});
        const float radius = maker.LogUniform(0.02f, 0.5f);
        body.radii = {radius, radius * maker.Uniform(0.5f, 2), radius};
        const Vector3 at{maker.Uniform(lo.x, hi.x), maker.Uniform(lo.y, hi.y), maker.Uniform(lo.z, hi.z)};
        body.position = {at.x / body.radii.x, at.y / body.radii.y, at.z / body.radii.z};
        const Vector3 d = maker.Direction();
        const float speed = maker.LogUniform(0.1f, 20.0f);
        body.velocity = {d.x * speed, d.y * speed, d.z * speed};
        CollisionBody fast = body, plain = body;
        CheckCollision(fast, model);
        reference::CheckCollision(plain, model);
        ASSERT_TRUE(test::SameBytes(fast, plain)) << "trial " << trial;
        hits += plain.collided;
        // The sphere push-out from the same spot, in world space.
        body.position = at;
        fast = body, plain = body;
        Vector3 outFast, outPlain;
        CheckForCollision1(outFast, fast, model);
        reference::CheckForCollision1(outPlain, plain, model);
        ASSERT_TRUE(test::SameBytes(fast, plain) && test::SameBytes(outFast, outPlain)) << "trial " << trial;
        pushes += plain.collided;
    }
    EXPECT_GT(hits, 50);
    EXPECT_GT(pushes, 30);
}

}  // namespace
}  // namespace vesk
