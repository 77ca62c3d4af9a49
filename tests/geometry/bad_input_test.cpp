// NaN, infinities and degenerate shapes through every export: the documented
// value where there is one, and never a write outside the outputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/geometry_test_util.h"

namespace {
using vesk::test::kInf;
using vesk::test::kNaN;
using vesk::test::MakeBody;
using vesk::test::MakePoly;
using vesk::test::SameBytes;

// Output records between guard records filled with a byte pattern.
template <class T, int N = 1>
struct Guarded {
    T before, value[N], after;
    Guarded() { std::memset(static_cast<void *>(this), 0xEE, sizeof *this); }
    bool GuardsIntact() const {
        const std::vector<unsigned char> pattern(sizeof(T), 0xEE);
        return std::memcmp(&before, pattern.data(), sizeof(T)) == 0 &&
               std::memcmp(&after, pattern.data(), sizeof(T)) == 0;
    }
};

const Vector3 kBadVectors[] = {{kNaN, 0, 0}, {kInf, 1, 2}, {-kInf, kInf, 0}, {0, 0, 0}, {1e38f, 1e38f, 1e38f}};

std::vector<Poly> BadPolys() {
    return {MakePoly({0, 0, 0}, {0, 0, 0}, {0, 0, 0}), MakePoly({0, 0, 0}, {1, 1, 1}, {2, 2, 2}),
            MakePoly({kNaN, 0, 0}, {1, 0, 0}, {0, 1, 0}), MakePoly({kInf, 0, 0}, {1, 0, 0}, {0, 1, 0}),
            MakePoly({0, 0, 0}, {1e38f, 0, 0}, {0, 1e38f, 0})};
}

Matrix4 Identity() {
    Matrix4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

TEST(BadInput, PointQueriesWriteOnlyTheirOutput) {
    const Vector3 ok{1, 2, 3}, other{-1, 0, 4};
    for (const Vector3 &bad : kBadVectors) {
        Guarded<Vector3> out;
        EXPECT_EQ(::ClosestPointOnLine(out.value, &bad, &ok, &other), out.value);
        EXPECT_EQ(::ClosestPointOnLine(out.value, &ok, &other, &bad), out.value);
        EXPECT_EQ(::ClosestPointOnPolygon(out.value, &bad, &ok, &other, &bad), out.value);
        EXPECT_EQ(::TangentPlaneNormalOfEllipsoid(out.value, &bad, &ok, &bad), out.value);
        EXPECT_EQ(::GetVnormal(out.value, &bad, &ok, &other), out.value);
        const Poly p = MakePoly(bad, ok, other);
        EXPECT_EQ(::GetPolyNormal(out.value, &p), out.value);
        EXPECT_TRUE(out.GuardsIntact());
    }
}

TEST(BadInput, NaNNeverContainsAndPropagates) {
    const Vector3 nan{kNaN, 0, 0}, ok{1, 2, 3}, a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0}, up{0, 0, 1};
    const BoundingBox everything{-kInf, -kInf, -kInf, kInf, kInf, kInf};
    const Matrix4 id = Identity();
    EXPECT_EQ(::CheckPointInTriangle(&nan, &a, &b, &c), 0);
    EXPECT_EQ(::CheckPointInSphere(&nan, &a, kInf), 0);
    EXPECT_EQ(::CheckPointInBOX(&nan, &everything), 0);
    EXPECT_EQ(::CheckPointInBOXex(&nan, &everything, &id), 0);
    EXPECT_EQ(::ClassifyPoint(0, 0, 0, kNaN, 0, 0, 0, 0, 1), 0);
    EXPECT_TRUE(std::isnan(::IntersectRayPlane(&ok, &nan, &a, &up)));
    EXPECT_TRUE(std::isnan(::IntersectRaySphere(&a, &b, &ok, kNaN)));
    EXPECT_TRUE(std::isnan(::IntersectRaySphere(&nan, &b, &ok, 1.0f)));
    Vector3 out{};
    ::ClosestPointOnLine(&out, &a, &b, &nan);
    EXPECT_TRUE(std::isnan(out.x));
    float distance = 0.0f;
    EXPECT_EQ(::GetClassifySphere(&nan, &up, &a, 1.0f, &distance), 0);
    EXPECT_TRUE(std::isnan(distance));
    // A zero radius: only the centre itself is in the sphere.
    EXPECT_EQ(::CheckPointInSphere(&a, &a, 0.0f), 1);
    EXPECT_EQ(::CheckPointInSphere(&b, &a, 0.0f), 0);
}

TEST(BadInput, FrustumFromDegenerateMatrices) {
    Guarded<Frustum> f;
    const Matrix4 zero{};
    const Matrix4 id = Identity();
    ::CalculateFrustum(f.value, &zero, &id);
    EXPECT_TRUE(f.GuardsIntact());
    for (const Plane &p : f.value->plane) EXPECT_TRUE(std::isnan(p.a));
    // NaN planes: a point is never inside, a sphere is never culled, a box is.
    EXPECT_EQ(::PointInFrustum(f.value, 0, 0, 0), 0);
    EXPECT_EQ(::SphereInFrustum(f.value, 0, 0, 0, 1), 1);
    EXPECT_EQ(::BoxInFrustum(f.value, -1, -1, -1, 1, 1, 1), 0);
    Matrix4 nan = id;
    nan.m[5] = kNaN;
    ::CalculateFrustum(f.value, &nan, &id);
    EXPECT_TRUE(f.GuardsIntact());
    EXPECT_EQ(::BoxInFrustum(f.value, 0, 0, 0, kInf, kInf, kInf), 0);
}

TEST(BadInput, PolyArraysStayWithinCount) {
    std::vector<Poly> polys = BadPolys();
    polys.push_back(MakePoly({5, 5, 5}, {6, 5, 5}, {5, 6, 5}));  // beyond count
    const std::vector<Poly> original = polys;
    const int32_t n = static_cast<int32_t>(polys.size()) - 1;
    Guarded<PolyFlatShort, 5> shortOut;
    Guarded<PolyFlat, 5> flatOut;
    ::buildFromPOLY(polys.data(), shortOut.value, n);
    ::buildFromPOLY2(polys.data(), flatOut.value, n);
    EXPECT_TRUE(shortOut.GuardsIntact());
    EXPECT_TRUE(flatOut.GuardsIntact());
    ::SetPolyNormal(polys.data(), n);
    EXPECT_TRUE(SameBytes(polys.back(), original.back()));
    // Zero-area records get a zero normal; NaN corners a NaN one.
    EXPECT_EQ(polys[0].corner[2].normal.z, 0.0f);
    EXPECT_EQ(shortOut.value[1].corner[0].normal.x, 0.0f);
    EXPECT_TRUE(std::isnan(flatOut.value[2].corner[1].normal.z));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(polys[i].word, original[i].word);
        EXPECT_EQ(polys[i].tag, original[i].tag);
    }
}

TEST(BadInput, CollisionWithBrokenTrianglesRecordsNothing) {
    const std::vector<Poly> polys = BadPolys();
    const std::vector<Poly> original = polys;
    const int32_t n = static_cast<int32_t>(polys.size());
    const CollisionBody start = MakeBody({0.2f, 0.2f, 0.5f}, {0, 0, -3});

    CollisionBody body = start;
    Vector3 out{};
    ::CheckForCollision1(&out, &body, polys.data(), n);
    EXPECT_TRUE(SameBytes(body, start));
    EXPECT_TRUE(SameBytes(out, start.position));
    ::CheckForCollision2(&out, &body, polys.data(), n);
    EXPECT_TRUE(SameBytes(body, start));
    Vector3 pos{}, normal{9, 9, 9};
    EXPECT_EQ(::CheckForCollisionNormal(&pos, &normal, &start.position, 1.0f, polys.data(), n), 0);
    EXPECT_VEC_NEAR(normal, 9, 9, 9, 0);
    for (auto fn : {&::CheckForCollision3, &::CheckCollision, &::CheckForCollision4}) {
        body = start;
        fn(nullptr, &body, polys.data(), n);
        EXPECT_TRUE(SameBytes(body, start));
    }
    for (size_t i = 0; i < polys.size(); ++i) EXPECT_TRUE(SameBytes(polys[i], original[i]));
}

TEST(BadInput, BrokenBodiesRecordNothing) {
    const std::vector<Poly> floor3{MakePoly({-9, -9, 0}, {-9, 9, 0}, {9, -9, 0})};
    const std::vector<Poly> floorC{MakePoly({-9, -9, 0}, {9, -9, 0}, {-9, 9, 0})};
    CollisionBody nanPosition = MakeBody({kNaN, 0, 2}, {0, 0, -3});
    CollisionBody zeroRadii = MakeBody({0, 0, 2}, {0, 0, -3});
    zeroRadii.radii = {0, 0, 0};
    CollisionBody infVelocity = MakeBody({0, 0, 2}, {0, 0, -kInf});
    CollisionBody nanRadii = MakeBody({0, 0, 0.5f});
    nanRadii.radii = {kNaN, 1, 1};
    for (const CollisionBody &start : {nanPosition, zeroRadii, infVelocity, nanRadii}) {
        for (auto fn : {&::CheckForCollision3, &::CheckCollision}) {
            CollisionBody body = start;
            fn(nullptr, &body, fn == &::CheckCollision ? floorC.data() : floor3.data(), 1);
            EXPECT_EQ(body.collided, 0);
            EXPECT_TRUE(SameBytes(body, start));
        }
        CollisionBody body = start;
        Vector3 out{};
        ::CheckForCollision1(&out, &body, floor3.data(), 1);
        EXPECT_EQ(body.collided, 0);
        ::CheckForCollision2(&out, &body, floor3.data(), 1);
        EXPECT_EQ(body.collided, 0);
    }
    CollisionBody body = nanPosition;
    ::CheckForCollision4(nullptr, &body, floor3.data(), 1);
    EXPECT_TRUE(SameBytes(body, nanPosition));
}

}  // namespace
