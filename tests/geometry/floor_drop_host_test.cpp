// A host's view: load the library by name and drop a body onto a floor of
// many small triangles through the exported swept tests.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geometry/geometry_test_util.h"
#include "host_dl.h"

namespace {

using SweepFn = void(VESK_CALL *)(const void *, CollisionBody *, const Poly *, int32_t);

class FloorDrop : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = VeskOpen((std::string(VESK_LIBRARY_DIR) + "/" + VeskLibraryName()).c_str());
        ASSERT_NE(module_, nullptr);
        checkCollision_ = VeskResolve<SweepFn>(module_, "CheckCollision");
        checkForCollision3_ = VeskResolve<SweepFn>(module_, "CheckForCollision3");
        ASSERT_NE(checkCollision_, nullptr);
        ASSERT_NE(checkForCollision3_, nullptr);
    }
    void TearDown() override {
        if (module_) VeskClose(module_);
    }

    // Y-up floor at y = height over [-4, 4]^2, cells of 0.5 split along a
    // diagonal. Each call's own winding makes its normal point up.
    static std::vector<Poly> Grid(bool forCollision3, float height = 0.0f) {
        std::vector<Poly> polys;
        const float cell = 0.5f;
        for (int i = -8; i < 8; ++i)
            for (int j = -8; j < 8; ++j) {
                const float x0 = static_cast<float>(i) * cell, x1 = x0 + cell;
                const float z0 = static_cast<float>(j) * cell, z1 = z0 + cell;
                const Vector3 p00{x0, height, z0}, p01{x0, height, z1}, p10{x1, height, z0}, p11{x1, height, z1};
                // (b - a) x (c - a) is +y for (p00, p01, p10): the CheckCollision order.
                if (forCollision3) {
                    polys.push_back(vesk::test::MakePoly(p00, p10, p01));
                    polys.push_back(vesk::test::MakePoly(p11, p01, p10));
                } else {
                    polys.push_back(vesk::test::MakePoly(p00, p01, p10));
                    polys.push_back(vesk::test::MakePoly(p11, p10, p01));
                }
            }
        return polys;
    }

    VeskModule module_ = nullptr;
    SweepFn checkCollision_ = nullptr;
    SweepFn checkForCollision3_ = nullptr;
};

CollisionBody Drop(float x, float height, float z, float fall) {
    CollisionBody b = vesk::test::MakeBody({x, height, z}, {0, -fall, 0});
    return b;
}

TEST_F(FloorDrop, GapToTheFloorFromHeightsAndOffsets) {
    // Interior of a cell, a shared edge, a shared corner, the diagonal, an odd spot.
    const float offsets[][2] = {{0.1f, 0.3f}, {0.5f, 0.2f}, {0.2f, -1.0f}, {1.0f, 1.5f}, {0.25f, 0.25f}, {-2.3f, 3.1f}};
    const float heights[] = {1.25f, 2.0f, 3.5f};
    for (bool cf3 : {true, false}) {
        const SweepFn fn = cf3 ? checkForCollision3_ : checkCollision_;
        const std::vector<Poly> floor = Grid(cf3);
        for (const auto &o : offsets)
            for (float h : heights) {
                SCOPED_TRACE(testing::Message() << (cf3 ? "CheckForCollision3" : "CheckCollision") << " at (" << o[0]
                                                << ", " << h << ", " << o[1] << ")");
                const double gap = h - 1.0;
                CollisionBody body = Drop(o[0], h, o[1], h);
                fn(nullptr, &body, floor.data(), static_cast<int32_t>(floor.size()));
                EXPECT_EQ(body.collided, 1);
                EXPECT_NEAR(body.distance, gap, 1e-5);
                EXPECT_NEAR(body.polygonPoint.x, o[0], 1e-5);
                EXPECT_NEAR(body.polygonPoint.y, 0.0f, 1e-5);
                EXPECT_NEAR(body.polygonPoint.z, o[1], 1e-5);
                EXPECT_NEAR(body.spherePoint.y, h - 1.0f, 1e-5);
                EXPECT_EQ(body.touching, 0);
                // Too short to reach: nothing recorded, the body untouched.
                CollisionBody shortFall = Drop(o[0], h, o[1], static_cast<float>(gap) - 0.05f);
                const CollisionBody before = shortFall;
                fn(nullptr, &shortFall, floor.data(), static_cast<int32_t>(floor.size()));
                EXPECT_TRUE(vesk::test::SameBytes(shortFall, before));
            }
    }
}

TEST_F(FloorDrop, NearestTriangleWinsWhereverItIsListed) {
    for (bool cf3 : {true, false}) {
        SCOPED_TRACE(cf3 ? "CheckForCollision3" : "CheckCollision");
        const SweepFn fn = cf3 ? checkForCollision3_ : checkCollision_;
        const std::vector<Poly> floor = Grid(cf3);
        const std::vector<Poly> raised = Grid(cf3, 0.25f);
        // One raised tile under the body at (0.1, ., 0.3) in cell (0, 0), placed first, in the middle or last.
        const Poly step = raised[2 * (8 * 16 + 8)];
        for (size_t at : {size_t{0}, floor.size() / 2, floor.size()}) {
            std::vector<Poly> polys = floor;
            polys.insert(polys.begin() + static_cast<std::ptrdiff_t>(at), step);
            CollisionBody body = Drop(0.1f, 2.0f, 0.3f, 5.0f);
            fn(nullptr, &body, polys.data(), static_cast<int32_t>(polys.size()));
            EXPECT_EQ(body.collided, 1);
            EXPECT_NEAR(body.distance, 0.75, 1e-5) << at;
            EXPECT_NEAR(body.polygonPoint.y, 0.25f, 1e-5) << at;
        }
        // Beside the raised tile its edge is met by the sphere's side before the floor.
        std::vector<Poly> polys = floor;
        polys.push_back(step);
        CollisionBody body = Drop(0.1f, 2.0f, -0.3f, 5.0f);
        fn(nullptr, &body, polys.data(), static_cast<int32_t>(polys.size()));
        EXPECT_NEAR(body.distance, 2.0 - 0.25 - std::sqrt(1.0 - 0.09), 1e-5);
        EXPECT_NEAR(body.polygonPoint.z, 0.0f, 1e-5);
    }
}

}  // namespace
