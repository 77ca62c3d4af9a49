// Golden results through the loaded library: every build must reproduce the
// hashes recorded from the default build (scripts/test.sh also runs this test
// against a -march=native build, and the Windows host check runs the same
// calls through the x86-64 DLL).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "golden_calls.h"
#include "support/test_support.h"

namespace {

vesk_golden::Data TestData() {
    return {vesk::test::DataPath("assimp/OBJ/spider.obj"), vesk::test::DataPath("openarena/models/players/sarge")};
}

TEST(GoldenResults, EveryBuiltFamilyGivesTheRecordedHash) {
    VeskModule lib = VeskOpen(VeskLibraryName());
    ASSERT_NE(lib, nullptr) << dlerror();
    const auto results = vesk_golden::RunAll(lib, TestData());
    EXPECT_EQ(vesk_golden::CountMismatches(results), 0);
    // The families of the core exports are built everywhere; none may be skipped.
    const std::set<std::string> core = {"scalar", "vector", "matrix", "geometry", "frustum",
                                        "collision", "static-normals", "md3-pose"};
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
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].hash, second[i].hash) << first[i].family;
    VeskClose(lib);
}

}  // namespace
