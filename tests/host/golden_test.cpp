// Golden results through the loaded library: every build must reproduce the
// hashes recorded from the default build (scripts/test.sh also runs this test
// against a -march=native build, and the Windows host check runs the same
// calls through the x86-64 DLL).
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "golden_calls.h"
#include "support/test_support.h"

namespace {

vesk_golden::Data TestData() {
    return {vesk::test::DataPath("assimp/OBJ/spider.obj"), vesk::test::DataPath("openarena/models/players/sarge"),
            vesk::test::DataPath("openarena/maps/oa_dm1.bsp"), vesk::test::DataPath("assimp/MDL/MDL (HL1)/man.mdl")};
}

TEST(GoldenResults, EveryBuiltFamilyGivesTheRecordedHash) {
    VeskModule lib = VeskOpen(VeskLibraryName());
    ASSERT_NE(lib, nullptr) << dlerror();
    const auto results = vesk_golden::RunAll(lib, TestData());
    EXPECT_EQ(vesk_golden::CountMismatches(results), 0);
    // The families of the core exports are built everywhere; none may be skipped.
    const std::set<std::string> core = {"scalar", "vector", "matrix", "geometry", "frustum",
                                        "collision", "static-normals", "md3-pose", "q3bsp-level",
                                        "spatial", "mdl-pose"};
    for (const auto &r : results)
        if (core.count(r.family)) {
            EXPECT_NE(r.outcome, vesk_golden::Outcome::Skipped) << r.family;
        }
    VeskClose(lib);
}

// A second run in the same process gives the same bytes: no output depends on
// memory a call never wrote, and reloading a player or a model is repeatable.
TEST(GoldenResults, ASecondRunRepeatsTheFirst) {
    VeskModule lib = VeskOpen(VeskLibraryName());
    ASSERT_NE(lib, nullptr) << dlerror();
    const auto first = vesk_golden::RunAll(lib, TestData());
    const auto second = vesk_golden::RunAll(lib, TestData());
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i)
        if (!vesk_golden::Families()[i].firstRunOnly) {
            EXPECT_EQ(first[i].hash, second[i].hash) << first[i].family;
        }
    VeskClose(lib);
}

// The nearest point of a segment from single-precision steps as written: the
// direction is a vector of singles, every other scalar a double. An optimiser
// that keeps the direction in double (GCC 12's SLP vectorizer did) fails here.
TEST(GoldenResults, ClosestPointOnLineRoundsTheDirectionToSingles) {
    VeskModule lib = VeskOpen(VeskLibraryName());
    ASSERT_NE(lib, nullptr) << dlerror();
    const auto closest = VeskResolve<decltype(&::ClosestPointOnLine)>(lib, "ClosestPointOnLine");
    ASSERT_NE(closest, nullptr);
    const auto single = [](double v) {
        volatile float f = static_cast<float>(v);
        return double{f};
    };
    vesk_golden::Rng r(11);
    int wrong = 0;
    for (int i = 0; i < 20000; ++i) {
        const Vector3 a = r.Vec(-20, 20), b = r.Vec(-20, 20), p = r.Vec(-20, 20);
        const double ab[3] = {single(double{b.x} - a.x), single(double{b.y} - a.y), single(double{b.z} - a.z)};
        const double length = std::sqrt(ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2]);
        const double d[3] = {single(ab[0] / length), single(ab[1] / length), single(ab[2] / length)};
        const double t = single(double{p.x} - a.x) * d[0] + single(double{p.y} - a.y) * d[1] +
                         single(double{p.z} - a.z) * d[2];
        const Vector3 expected = t < 0 ? a
                                 : t > length
                                     ? b
                                     : Vector3{static_cast<float>(a.x + d[0] * t), static_cast<float>(a.y + d[1] * t),
                                               static_cast<float>(a.z + d[2] * t)};
        Vector3 out{};
        closest(&out, &a, &b, &p);
        if (out.x != expected.x || out.y != expected.y || out.z != expected.z) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "of 20000 segments";
    VeskClose(lib);
}

}  // namespace
