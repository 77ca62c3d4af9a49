#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "geometry/geometry_test_util.h"
#include "geometry/sphere_collision.h"

namespace vesk {
namespace {
using test::kNaN;
using test::MakeBody;
using test::MakePoly;

// Large horizontal triangle in z = h whose TriangleNormal is +z.
Poly Floor(float h = 0.0f) { return MakePoly({-50, -50, h}, {-50, 100, h}, {100, -50, h}); }

TEST(ClassifySphere, PlaneZeroRadiusOne) {
    const Vector3 n{0, 0, 1}, q{0, 0, 0};
    float dist = 123.0f;
    const Vector3 c{0, 0, 0.5f};
    EXPECT_EQ(::GetClassifySphere(&c, &n, &q, 1.0f, &dist), 1);
    EXPECT_EQ(dist, 0.5f);
    EXPECT_EQ(ClassifySphere({0, 0, 1}, n, q, 1.0f, dist), kSphereInFront);  // equal to the radius
    EXPECT_EQ(dist, 1.0f);
    EXPECT_EQ(ClassifySphere({0, 0, -1}, n, q, 1.0f, dist), kSphereBehind);
    EXPECT_EQ(dist, -1.0f);
    EXPECT_EQ(ClassifySphere({0, 0, -0.999f}, n, q, 1.0f, dist), kSphereIntersects);
    // The distance is written before classifying, even when it is NaN.
    EXPECT_EQ(ClassifySphere({0, 0, kNaN}, n, q, 1.0f, dist), kSphereBehind);
    EXPECT_TRUE(std::isnan(dist));
    // Plane through (0, 0, 3): d comes from the plane point.
    EXPECT_EQ(ClassifySphere({7, 7, 2.5f}, n, {1, 1, 3}, 1.0f, dist), kSphereIntersects);
    EXPECT_EQ(dist, -0.5f);
}

TEST(SphereHelpers, AnglesOutlinesAndOffsets) {
    EXPECT_NEAR(AngleBetweenVectors({1, 0, 0}, {0, 2, 0}), std::numbers::pi / 2, 1e-6);
    EXPECT_EQ(AngleBetweenVectors({0, 0, 0}, {1, 0, 0}), 0.0);  // undefined -> 0
    const Vector3 tri[3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}};
    EXPECT_TRUE(InsidePolygon({1, 1, 0}, tri));
    EXPECT_FALSE(InsidePolygon({3, 3, 0}, tri));
    EXPECT_FALSE(InsidePolygon({1, 1, 0}, std::span<const Vector3>()));
    // Fast segment: inclusive ends.
    EXPECT_VEC_NEAR(ClosestPointOnSegmentFast({0, 0, 0}, {4, 0, 0}, {-1, 1, 0}), 0, 0, 0, 0);
    EXPECT_VEC_NEAR(ClosestPointOnSegmentFast({0, 0, 0}, {4, 0, 0}, {2, 1, 0}), 2, 0, 0, 1e-6);
    EXPECT_VEC_NEAR(ClosestPointOnSegmentFast({0, 0, 0}, {4, 0, 0}, {9, 1, 0}), 4, 0, 0, 0);
    EXPECT_TRUE(EdgeSphereCollision({2, -0.4f, 0}, tri, 0.5f));
    EXPECT_FALSE(EdgeSphereCollision({2, -0.5f, 0}, tri, 0.5f));  // strictly closer than the radius
    EXPECT_FALSE(EdgeSphereCollision({2, -0.4f, 0}, std::span<const Vector3>(), 0.5f));
    // Out to the radius on the centre's own side.
    EXPECT_VEC_NEAR(GetCollisionOffset({0, 0, 1}, 1.0f, 0.25f), 0, 0, 0.75f, 0);
    EXPECT_VEC_NEAR(GetCollisionOffset({0, 0, 1}, 1.0f, -0.25f), 0, 0, -0.75f, 0);
    EXPECT_VEC_NEAR(GetCollisionOffset({0, 0, 1}, 1.0f, 0.0f), 0, 0, -1.0f, 0);
}

TEST(CheckForCollision1, Scenarios) {
    const std::vector<Poly> floor{Floor()};
    // 1. count 0: out = position, body untouched.
    CollisionBody body = MakeBody({1, 2, 0.5f});
    const CollisionBody before = body;
    Vector3 out{9, 9, 9};
    ::CheckForCollision1(&out, &body, floor.data(), 0);
    EXPECT_TRUE(test::SameBytes(body, before));
    EXPECT_VEC_NEAR(out, 1, 2, 0.5f, 0);
    // 2. Mean radius 1, 0.5 above: pushed to exactly 1 above.
    ::CheckForCollision1(&out, &body, floor.data(), 1);
    EXPECT_EQ(out.z, 1.0f);
    EXPECT_EQ(body.position.z, 1.0f);
    EXPECT_EQ(body.collided, 1);
    // 3. From below it is pushed further down; mean radius of (0.5, 1, 1.5) is 1.
    body = MakeBody({1, 2, -0.25f});
    body.radii = {0.5f, 1.0f, 1.5f};
    ::CheckForCollision1(&out, &body, floor.data(), 1);
    EXPECT_EQ(body.position.z, -1.0f);
    // 4. Beside the triangle, more than r/2 from every edge: no hit; collided is not cleared.
    const std::vector<Poly> small{MakePoly({0, 0, 0}, {0, 1, 0}, {1, 0, 0})};
    body = MakeBody({3, 3, 0.5f});
    body.collided = 1;
    ::CheckForCollision1(&out, &body, small.data(), 1);
    EXPECT_VEC_NEAR(body.position, 3, 3, 0.5f, 0);
    EXPECT_EQ(body.collided, 1);
    body.collided = 0;
    ::CheckForCollision1(&out, &body, small.data(), 1);
    EXPECT_EQ(body.collided, 0);
    // 5. Within r/2 of an edge outside the outline: hit.
    body = MakeBody({0.5f, -0.4f, 0.2f});
    ::CheckForCollision1(&out, &body, small.data(), 1);
    EXPECT_EQ(body.collided, 1);
    EXPECT_EQ(body.position.z, 1.0f);
    // 6. Every record is visited, each from the position the earlier ones left.
    const std::vector<Poly> corner{Floor(), MakePoly({0, -50, -50}, {0, 100, -50}, {0, -50, 100})};
    body = MakeBody({0.5f, 0, 0.5f});
    ::CheckForCollision1(&out, &body, corner.data(), 2);
    EXPECT_NEAR(out.x, 1.0f, 1e-6);
    EXPECT_NEAR(out.z, 1.0f, 1e-6);
    EXPECT_TRUE(test::SameBytes(out, body.position));
}

TEST(CheckForCollision2, FirstPlaneOnly) {
    const std::vector<Poly> small{MakePoly({0, 0, 0}, {1, 0, 0}, {0, 1, 0})};
    // 1. Crossing the plane beside the triangle counts (no outline test), and only here.
    CollisionBody body = MakeBody({3, 3, 0.5f});
    body.collided = 7;
    Vector3 out{};
    ::CheckForCollision2(&out, &body, small.data(), 1);
    EXPECT_EQ(body.collided, 1);
    EXPECT_EQ(body.distance, 0.5);
    EXPECT_VEC_NEAR(out, 3, 3, 0, 0);
    EXPECT_VEC_NEAR(body.position, 3, 3, 0.5f, 0);  // not moved
    Vector3 pushed{}, normal{};
    EXPECT_EQ(::CheckForCollisionNormal(&pushed, &normal, &body.position, 1.0f, small.data(), 1), 0);
    ::CheckForCollision1(&pushed, &body, small.data(), 1);
    EXPECT_VEC_NEAR(body.position, 3, 3, 0.5f, 0);
    // 2. Stops at the first intersecting record.
    const std::vector<Poly> two{MakePoly({0, 0, 0.25f}, {1, 0, 0.25f}, {0, 1, 0.25f}), small[0]};
    body = MakeBody({0, 0, 0.5f});
    ::CheckForCollision2(&out, &body, two.data(), 2);
    EXPECT_EQ(body.distance, 0.25);
    EXPECT_EQ(out.z, 0.25f);
    // 3. Nothing hit: collided cleared, out = position.
    body = MakeBody({0, 0, 5});
    body.collided = 1;
    ::CheckForCollision2(&out, &body, two.data(), 2);
    EXPECT_EQ(body.collided, 0);
    EXPECT_VEC_NEAR(out, 0, 0, 5, 0);
    // 4. A zero-area record has no plane and is passed over.
    const std::vector<Poly> degenerate{MakePoly({0, 0, 0}, {1, 1, 1}, {2, 2, 2}), small[0]};
    body = MakeBody({5, 5, 0.75f});
    ::CheckForCollision2(&out, &body, degenerate.data(), 2);
    EXPECT_EQ(body.collided, 1);
    EXPECT_EQ(body.distance, 0.75);
    // 5. The mean radius is the sum times the single nearest 1/3, which here
    //    rounds one ulp above sum / 3: a centre at sum / 3 still intersects.
    body = MakeBody({0.1f, 0.1f, 0x1.635f52p-2f});
    body.radii = {0x1.0a877ep+0f, 0, 0};
    ::CheckForCollision2(&out, &body, small.data(), 1);
    EXPECT_EQ(body.collided, 1);
}

TEST(CheckForCollisionNormal, PushesOutAndReportsTheRawNormal) {
    const std::vector<Poly> polys{MakePoly({5, 5, 5}, {6, 5, 5}, {5, 6, 5}), Floor(), Floor(-0.25f)};
    const Vector3 center{1, 1, 0.5f};
    Vector3 pos{}, normal{42, 42, 42};
    EXPECT_EQ(::CheckForCollisionNormal(&pos, &normal, &center, 2.0f, polys.data(), 3), 1);
    EXPECT_VEC_NEAR(pos, 1, 1, 2.0f, 0);
    EXPECT_VEC_NEAR(normal, 0, 0, -22500.0f, 0);  // (p1 - p0) x (p2 - p0) of the floor, first hit only
    // Miss: false, position = centre, normal untouched.
    normal = {42, 42, 42};
    const Vector3 high{1, 1, 9};
    EXPECT_EQ(::CheckForCollisionNormal(&pos, &normal, &high, 2.0f, polys.data(), 3), 0);
    EXPECT_VEC_NEAR(pos, 1, 1, 9, 0);
    EXPECT_VEC_NEAR(normal, 42, 42, 42, 0);
    EXPECT_EQ(::CheckForCollisionNormal(&pos, &normal, &center, 2.0f, polys.data(), -3), 0);
}

}  // namespace
}  // namespace vesk
