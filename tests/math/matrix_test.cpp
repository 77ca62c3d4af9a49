#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "math/matrix.h"

namespace vesk {
namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2;

Matrix4 Identity() {
    Matrix4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

TEST(MatrixCreate, IdentityRotationWithTranslationKeepsEntries3_7_11) {
    Matrix4 m;
    for (float &e : m.m) e = 77.0f;
    MatrixCreate(m, {1, 1, 1}, {0, 0, 0}, {1, 2, 3});
    const Matrix4 id = Identity();
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10, 15}) EXPECT_EQ(m.m[i], id.m[i]) << i;
    EXPECT_EQ(m.m[12], 1.0f);
    EXPECT_EQ(m.m[13], 2.0f);
    EXPECT_EQ(m.m[14], 3.0f);
    EXPECT_EQ(m.m[3], 77.0f);
    EXPECT_EQ(m.m[7], 77.0f);
    EXPECT_EQ(m.m[11], 77.0f);
}

TEST(MatrixCreate, RotationOrderScaleThenXThenYThenZ) {
    Matrix4 m{};
    MatrixCreate(m, {1, 1, 1}, {0, 0, kHalfPi}, {0, 0, 0});
    Vector3 p{1, 0, 0};
    MatrixVectorTransform(p, m, p);
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
    EXPECT_NEAR(p.z, 0.0f, 1e-6f);

    // X by 90 then Z by 90: (0,1,0) -> X -> (0,0,1) -> Z -> (0,0,1); (0,0,1) -> X -> (0,-1,0) -> Z -> (1,0,0).
    MatrixCreate(m, {2, 3, 4}, {kHalfPi, 0, kHalfPi}, {10, 20, 30});
    Vector3 q{0, 0, 1};
    MatrixVectorTransform(q, m, q);
    EXPECT_NEAR(q.x, 10.0f + 4.0f, 1e-5f);
    EXPECT_NEAR(q.y, 20.0f, 1e-5f);
    EXPECT_NEAR(q.z, 30.0f, 1e-5f);
    Vector3 r{0, 1, 0};
    MatrixVectorTransform(r, m, r);
    EXPECT_NEAR(r.x, 10.0f, 1e-5f);
    EXPECT_NEAR(r.y, 20.0f, 1e-5f);
    EXPECT_NEAR(r.z, 30.0f + 3.0f, 1e-5f);
}

TEST(MatrixMultiply, AppliesAFirstThenBAndMayOverwriteA) {
    Matrix4 a{}, b{};
    MatrixCreate(a, {1, 1, 1}, {0, 0, kHalfPi}, {0, 0, 0});
    a.m[3] = a.m[7] = a.m[11] = 0.0f;
    b = Identity();
    b.m[12] = 5.0f;  // translate x by 5
    Matrix4 out{};
    MatrixMultiply(out, a, b);
    Vector3 p{1, 0, 0};
    MatrixVectorTransform(p, out, p);
    EXPECT_NEAR(p.x, 5.0f, 1e-6f);  // rotate to (0,1,0), then translate
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);

    Matrix4 inPlace = a;
    MatrixMultiply(inPlace, inPlace, b);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(inPlace.m[i], out.m[i]) << i;

    // General matrices: every entry is the documented sum.
    Matrix4 g{}, h{};
    for (int i = 0; i < 16; ++i) {
        g.m[i] = static_cast<float>(i + 1);
        h.m[i] = static_cast<float>(16 - i) * 0.5f;
    }
    MatrixMultiply(out, g, h);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += double(g.m[4 * i + k]) * h.m[4 * k + j];
            EXPECT_EQ(out.m[4 * i + j], static_cast<float>(sum));
        }
}

TEST(TransformPointProjective, DividesByWAndSkipsNearZeroW) {
    Matrix4 m = Identity();
    m.m[15] = 2.0f;
    Vector3 out{9, 9, 9};
    EXPECT_TRUE(TransformPointProjective(m, {2, 4, 6}, out));
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.z, 3.0f);
    m.m[15] = 1e-11f;
    out = {9, 9, 9};
    EXPECT_FALSE(TransformPointProjective(m, {2, 4, 6}, out));
    EXPECT_EQ(out.x, 9.0f);
    m.m[15] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(TransformPointProjective(m, {2, 4, 6}, out));
    EXPECT_EQ(out.y, 9.0f);
    m.m[15] = 1e-10f;  // exactly the threshold: not below it
    EXPECT_TRUE(TransformPointProjective(m, {0, 0, 0}, out));
}

TEST(MinMaxOf8, StrictComparisonsInOrder) {
    const float v[8] = {3, -1, 7, 7, -5, 2, 0, -5};
    EXPECT_EQ(MaxOf8(v), 7.0f);
    EXPECT_EQ(MinOf8(v), -5.0f);
    const float zeros[8] = {-0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_TRUE(std::signbit(MaxOf8(zeros)));  // a later equal value never replaces
    const float nanFirst[8] = {std::numeric_limits<float>::quiet_NaN(), 1, 2, 3, 4, 5, 6, 7};
    EXPECT_TRUE(std::isnan(MaxOf8(nanFirst)));
}

TEST(MatrixBboxMultiply, IdentityRotationAndAliasing) {
    const BoundingBox box{0, 0, 0, 2, 1, 1};
    BoundingBox out{};
    MatrixBboxMultiply(out, box, Identity());
    EXPECT_EQ(out.minX, 0.0f);
    EXPECT_EQ(out.maxX, 2.0f);
    EXPECT_EQ(out.maxY, 1.0f);

    Matrix4 rz{};
    MatrixCreate(rz, {1, 1, 1}, {0, 0, kHalfPi}, {0, 0, 0});
    BoundingBox b = box;
    MatrixBboxMultiply(b, b, rz);  // out is box
    EXPECT_NEAR(b.minX, -1.0f, 1e-6f);
    EXPECT_NEAR(b.minY, 0.0f, 1e-6f);
    EXPECT_NEAR(b.minZ, 0.0f, 1e-6f);
    EXPECT_NEAR(b.maxX, 0.0f, 1e-6f);
    EXPECT_NEAR(b.maxY, 2.0f, 1e-6f);
    EXPECT_NEAR(b.maxZ, 1.0f, 1e-6f);

    // A projection whose W vanishes at the min-x corners leaves those corners as they were.
    Matrix4 p = Identity();
    p.m[3] = 1.0f;   // W = x ...
    p.m[15] = 0.0f;  // ... so the corners with x = 0 are skipped
    p.m[5] = 0.5f;   // and the transformed ones have their y halved
    MatrixBboxMultiply(out, {0, 2, 2, 1, 4, 4}, p);
    EXPECT_EQ(out.minX, 0.0f);  // untransformed x of the skipped corners
    EXPECT_EQ(out.maxX, 1.0f);
    EXPECT_EQ(out.maxY, 4.0f);  // a skipped corner keeps y = 4 (transformed ones reach 2)
    EXPECT_EQ(out.minY, 1.0f);  // transformed: 0.5 * 2
}

TEST(MatrixPolygonMultiply, VisitsExactlyCountRecords) {
    std::vector<Poly> polys(3);
    for (Poly &p : polys) {
        for (PolyVertex &c : p.corner) {
            c.position = {1, 1, 1};
            c.normal = {0, 1, 0};
            c.u = 0.25f;
        }
        p.word = 0xABCD;
        p.tag = 12;
    }
    Matrix4 t = Identity();
    t.m[12] = 10.0f;
    MatrixPolygonMultiply(std::span<Poly>(polys.data(), 2), t);
    EXPECT_EQ(polys[0].corner[0].position.x, 11.0f);
    EXPECT_EQ(polys[1].corner[2].position.x, 11.0f);
    EXPECT_EQ(polys[2].corner[0].position.x, 1.0f);  // the record after count is untouched
    EXPECT_EQ(polys[0].corner[1].normal.y, 1.0f);
    EXPECT_EQ(polys[0].corner[1].u, 0.25f);
    EXPECT_EQ(polys[1].word, 0xABCDu);
    EXPECT_EQ(polys[1].tag, 12);
}

TEST(MatrixPolygonMultiply, DegenerateCornerTakesTheLastResult) {
    Poly poly{};
    poly.corner[0].position = {0, 0, 0};  // W = 0 under the matrix below
    poly.corner[1].position = {1, 2, 3};  // W = 1
    poly.corner[2].position = {0, 5, 5};  // W = 0 again
    Matrix4 m = Identity();
    m.m[3] = 1.0f;
    m.m[15] = 0.0f;
    MatrixPolygonMultiply(std::span<Poly>(&poly, 1), m);
    EXPECT_EQ(poly.corner[0].position.x, 0.0f);  // nothing produced yet: (0, 0, 0)
    EXPECT_EQ(poly.corner[0].position.y, 0.0f);
    EXPECT_EQ(poly.corner[1].position.y, 2.0f);
    EXPECT_EQ(poly.corner[2].position.x, 1.0f);  // copy of corner 1's result
    EXPECT_EQ(poly.corner[2].position.z, 3.0f);
}

}  // namespace
}  // namespace vesk
