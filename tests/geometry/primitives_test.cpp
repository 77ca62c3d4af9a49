#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/geometry_test_util.h"
#include "geometry/primitives.h"

namespace vesk {
namespace {
using test::kInf;
using test::kNaN;
using test::MakePoly;

TEST(IntersectRayPlane, Scenarios) {
    const Vector3 q{0, 0, 0}, n{0, 0, 1};
    // 1. Straight down onto z = 0 from 5.
    EXPECT_EQ(IntersectRayPlane({0, 0, 5}, {0, 0, -1}, q, n), 5.0f);
    // 2. Parallel ray.
    EXPECT_EQ(IntersectRayPlane({0, 0, 5}, {1, 0, 0}, q, n), -1.0f);
    // 3. Plane behind the origin: negative distance, not -1.
    EXPECT_EQ(IntersectRayPlane({0, 0, 5}, {0, 0, 1}, q, n), -5.0f);
    // 4. Units of |direction|.
    EXPECT_EQ(IntersectRayPlane({0, 0, 5}, {0, 0, -2}, q, n), 2.5f);
    // 5. Origin on the plane: zero.
    EXPECT_EQ(IntersectRayPlane({3, 4, 0}, {0, 0, -1}, q, n), 0.0f);
    // 6. Zero-length direction is parallel to everything.
    EXPECT_EQ(IntersectRayPlane({0, 0, 5}, {0, 0, 0}, q, n), -1.0f);
    EXPECT_TRUE(std::isnan(IntersectRayPlane({0, 0, 5}, {0, 0, kNaN}, q, n)));
}

TEST(IntersectRaySphere, Scenarios) {
    const Vector3 o{0, 0, 0}, d{1, 0, 0};
    EXPECT_EQ(IntersectRaySphere(o, d, {10, 0, 0}, 2.0f), 8.0f);
    EXPECT_EQ(IntersectRaySphere(o, d, {10, 5, 0}, 2.0f), -1.0f);
    // Grazing exactly (|d| = 10 exact): the discriminant is 0, not below.
    EXPECT_EQ(IntersectRaySphere(o, d, {8, 6, 0}, 6.0f), 8.0f);
    EXPECT_EQ(IntersectRaySphere(o, d, {8, 6, 0}, std::nextafter(6.0f, 0.0f)), -1.0f);
    // A sphere wholly behind still answers, negatively.
    EXPECT_EQ(IntersectRaySphere(o, d, {-10, 0, 0}, 2.0f), -12.0f);
    // Origin inside: the entry point lies behind.
    EXPECT_EQ(IntersectRaySphere(o, d, {1, 0, 0}, 2.0f), -1.0f);
    EXPECT_EQ(IntersectRaySphere(o, d, {10, 0, 0}, 0.0f), 10.0f);
}

TEST(CheckPointInTriangle, AngleSum) {
    const Vector3 a{0, 0, 0}, b{4, 0, 0}, c{0, 3, 1};
    const Vector3 centroid{4.0f / 3, 1, 1.0f / 3};
    EXPECT_TRUE(CheckPointInTriangle(centroid, a, b, c));
    EXPECT_TRUE(CheckPointInTriangle(centroid, c, b, a));  // either winding
    EXPECT_FALSE(CheckPointInTriangle({5, 5, 0}, a, b, c));
    // Off the plane above the centroid: angles shrink below 2 pi.
    EXPECT_FALSE(CheckPointInTriangle({4.0f / 3, 1, 3}, a, b, c));
    // On an edge the two opposite directions give pi (cosine clamped at -1).
    EXPECT_TRUE(CheckPointInTriangle({2, 0, 0}, a, b, c));
    // Collinear corners: a point between two of them sums to 2 pi, one beyond all of them to 0.
    EXPECT_TRUE(CheckPointInTriangle({1, 0, 0}, a, {2, 0, 0}, {3, 0, 0}));
    EXPECT_FALSE(CheckPointInTriangle({5, 0, 0}, a, {2, 0, 0}, {3, 0, 0}));
    EXPECT_FALSE(CheckPointInTriangle({kNaN, 0, 0}, a, b, c));
}

TEST(ClosestPointOnLine, EndsAndInterior) {
    const Vector3 a{0, 0, 0}, b{10, 0, 0};
    EXPECT_VEC_NEAR(ClosestPointOnLine(a, b, {-5, 3, 0}), 0, 0, 0, 0);
    EXPECT_VEC_NEAR(ClosestPointOnLine(a, b, {15, 3, 0}), 10, 0, 0, 0);
    EXPECT_VEC_NEAR(ClosestPointOnLine(a, b, {4, 3, 0}), 4, 0, 0, 0);
    // t = 0 and t = L are interior points of the formula, not the ends.
    EXPECT_VEC_NEAR(ClosestPointOnLine(a, b, {0, 7, 0}), 0, 0, 0, 0);
    EXPECT_VEC_NEAR(ClosestPointOnLine(a, b, {10, 7, 0}), 10, 0, 0, 1e-5);
    // Zero-length segment: a.
    const Vector3 p = ClosestPointOnLine({1, 2, 3}, {1, 2, 3}, {9, 9, 9});
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);
}

TEST(ClosestPointOnPolygon, OutlineOnlyAndFirstEdgeWinsTies) {
    const Vector3 a{0, 0, 0}, b{2, 0, 0}, c{0, 2, 0};
    // Inside the triangle the answer is still on the outline.
    EXPECT_VEC_NEAR(ClosestPointOnPolygon(a, b, c, {0.2f, 1.0f, 0}), 0, 1, 0, 1e-6);
    // Equidistant from edge (a, c) and edge (b, a): (a, c) is looked at first.
    EXPECT_VEC_NEAR(ClosestPointOnPolygon(a, b, c, {0.5f, 0.5f, 0}), 0, 0.5f, 0, 1e-6);
    // With b and c swapped the first edge is the other one.
    EXPECT_VEC_NEAR(ClosestPointOnPolygon(a, c, b, {0.5f, 0.5f, 0}), 0.5f, 0, 0, 1e-6);
    // Nearest to the hypotenuse.
    EXPECT_VEC_NEAR(ClosestPointOnPolygon(a, b, c, {2, 2, 0}), 1, 1, 0, 1e-6);
}

TEST(CheckPointInSphere, InclusiveBoundary) {
    EXPECT_TRUE(CheckPointInSphere({3, 4, 0}, {0, 0, 0}, 5.0f));
    EXPECT_FALSE(CheckPointInSphere({3, 4, 0}, {0, 0, 0}, std::nextafter(5.0f, 0.0f)));
    EXPECT_TRUE(CheckPointInSphere({1, 1, 1}, {1, 1, 1}, 0.0f));
    EXPECT_FALSE(CheckPointInSphere({kNaN, 0, 0}, {0, 0, 0}, 5.0f));
    EXPECT_TRUE(CheckPointInSphere({1e30f, 0, 0}, {0, 0, 0}, kInf));
}

TEST(TangentPlaneNormalOfEllipsoid, GradientDirection) {
    EXPECT_VEC_NEAR(TangentPlaneNormalOfEllipsoid({3, 0, 0}, {1, 0, 0}, {2, 2, 2}), 1, 0, 0, 0);
    // (1, 1, 0) on semi-axes (2, 1, 1): gradient (1/4, 1, 0).
    const double k = 1.0 / std::sqrt(1.0 / 16 + 1.0);
    EXPECT_VEC_NEAR(TangentPlaneNormalOfEllipsoid({1, 1, 0}, {0, 0, 0}, {2, 1, 1}), 0.25 * k, k, 0, 1e-6);
    // At the centre the zero gradient stays zero.
    EXPECT_VEC_NEAR(TangentPlaneNormalOfEllipsoid({1, 1, 1}, {1, 1, 1}, {2, 1, 1}), 0, 0, 0, 0);
    // A zero radius is not guarded: no finite answer.
    const Vector3 r = TangentPlaneNormalOfEllipsoid({1, 1, 0}, {0, 0, 0}, {0, 1, 1});
    EXPECT_TRUE(std::isnan(r.x));
}

TEST(ClassifyPoint, InclusiveBandOfOneThousandth) {
    const Vector3 q{0, 0, 0}, n{0, 0, 1};
    EXPECT_EQ(ClassifyPoint(q, {5, 5, 0.001f}, n), 0);
    EXPECT_EQ(ClassifyPoint(q, {5, 5, -0.001f}, n), 0);
    EXPECT_EQ(ClassifyPoint(q, {0, 0, std::nextafter(0.001f, 1.0f)}, n), -1);
    EXPECT_EQ(ClassifyPoint(q, {0, 0, 0.002f}, n), -1);
    EXPECT_EQ(ClassifyPoint(q, {0, 0, -0.002f}, n), 1);
    EXPECT_EQ(ClassifyPoint(q, {0, 0, kNaN}, n), 0);
    // The exported form takes nine floats: plane point, point, normal.
    EXPECT_EQ(::ClassifyPoint(0, 0, 1, 0, 0, 3, 0, 0, 1), -1);
    EXPECT_EQ(::ClassifyPoint(0, 0, 1, 0, 0, -3, 0, 0, 1), 1);
}

TEST(PolyNormals, OppositeOrientationsAndDegenerateTriangles) {
    const Poly p = MakePoly({0, 0, 0}, {2, 0, 0}, {0, 3, 0});
    Vector3 poly{}, unit{};
    ::GetPolyNormal(&poly, &p);
    EXPECT_VEC_NEAR(poly, 0, 0, 6, 0);  // not normalised
    ::GetVnormal(&unit, &p.corner[0].position, &p.corner[1].position, &p.corner[2].position);
    EXPECT_VEC_NEAR(unit, 0, 0, -1, 1e-7);  // unit, opposite
    // Collinear corners.
    const Poly flat = MakePoly({0, 0, 0}, {1, 1, 1}, {3, 3, 3});
    EXPECT_EQ(::GetPolyNormal(&poly, &flat), &poly);
    EXPECT_VEC_NEAR(poly, 0, 0, 0, 0);
    EXPECT_EQ(::GetVnormal(&unit, &flat.corner[0].position, &flat.corner[1].position, &flat.corner[2].position),
              &unit);
    EXPECT_TRUE(std::isnan(unit.x) && std::isnan(unit.y) && std::isnan(unit.z));
}

TEST(PolyArrays, SetNormalAndFlatCopies) {
    std::vector<Poly> polys{MakePoly({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), MakePoly({0, 0, 0}, {0, 0, 2}, {0, 2, 0})};
    const std::vector<Poly> original = polys;

    // count <= 0 touches nothing.
    ::SetPolyNormal(polys.data(), 0);
    ::SetPolyNormal(polys.data(), -1);
    PolyFlatShort shortOut[2];
    PolyFlat flatOut[2];
    std::memset(shortOut, 0xCD, sizeof shortOut);
    std::memset(flatOut, 0xCD, sizeof flatOut);
    const std::vector<unsigned char> sentinel(sizeof flatOut, 0xCD);
    ::buildFromPOLY(polys.data(), shortOut, 0);
    ::buildFromPOLY2(polys.data(), flatOut, -5);
    EXPECT_EQ(std::memcmp(shortOut, sentinel.data(), sizeof shortOut), 0);
    EXPECT_EQ(std::memcmp(flatOut, sentinel.data(), sizeof flatOut), 0);
    EXPECT_TRUE(test::SameBytes(polys[0], original[0]) && test::SameBytes(polys[1], original[1]));

    ::buildFromPOLY(polys.data(), shortOut, 2);
    ::buildFromPOLY2(polys.data(), flatOut, 2);
    ::SetPolyNormal(polys.data(), 1);  // only the first record
    EXPECT_TRUE(test::SameBytes(polys[1], original[1]));
    for (int k = 0; k < 3; ++k) {
        EXPECT_VEC_NEAR(polys[0].corner[k].normal, 0, 0, 1, 0);
        Poly expect = original[0];
        expect.corner[k].normal = polys[0].corner[k].normal;
        EXPECT_TRUE(test::SameBytes(polys[0].corner[k], expect.corner[k]));
    }
    EXPECT_EQ(polys[0].word, original[0].word);
    EXPECT_EQ(polys[0].tag, original[0].tag);
    for (int i = 0; i < 2; ++i) {
        const Vector3 n = i == 0 ? Vector3{0, 0, 1} : Vector3{-4, 0, 0};
        for (int k = 0; k < 3; ++k) {
            const PolyVertex &src = original[i].corner[k];
            const PolyVertexShort &s = shortOut[i].corner[k];
            EXPECT_TRUE(test::SameBytes(s.position, src.position));
            EXPECT_VEC_NEAR(s.normal, n.x, n.y, n.z, 0);
            EXPECT_EQ(s.u, src.u);
            EXPECT_EQ(s.v, src.v);
            PolyVertex expect = src;
            expect.normal = n;
            EXPECT_TRUE(test::SameBytes(flatOut[i].corner[k], expect));
        }
    }
}

TEST(PolyArrays, ShortCopiesCompactInPlace) {
    std::vector<Poly> polys;
    for (int i = 0; i < 5; ++i)
        polys.push_back(MakePoly({static_cast<float>(i), 0, 0}, {static_cast<float>(i) + 1, 0, 0}, {static_cast<float>(i), 1, 0}));
    const std::vector<Poly> original = polys;
    ::buildFromPOLY(polys.data(), reinterpret_cast<PolyFlatShort *>(polys.data()), 5);
    const auto *out = reinterpret_cast<const PolyFlatShort *>(polys.data());
    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(test::SameBytes(out[i].corner[k].position, original[i].corner[k].position)) << i;
            EXPECT_EQ(out[i].corner[k].u, original[i].corner[k].u);
        }
}

}  // namespace
}  // namespace vesk
