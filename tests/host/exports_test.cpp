// Loads the built library by name, as a host engine does, and compares what it
// exports with the export table.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <VeskMathLIB.h>

#include "host_dl.h"

namespace {

struct Row {
    int ordinal = 0;
    std::string name;
    int args = 0;
    std::string owner, entry;
};

std::vector<Row> ReadRows(const char *path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Row r;
        fields >> r.ordinal >> r.name >> r.args >> r.owner >> r.entry;
        EXPECT_FALSE(fields.fail()) << line;
        rows.push_back(r);
    }
    return rows;
}

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        lib_ = VeskOpen(VeskLibraryName());
        ASSERT_NE(lib_, nullptr) << "dlopen(\"" << VeskLibraryName() << "\"): " << dlerror();
    }
    void TearDown() override {
        if (lib_) VeskClose(lib_);
    }
    VeskModule lib_ = nullptr;
};

TEST(ExportTable, HoldsTheFixedOrdinalsOnceEach) {
    const auto rows = ReadRows(VESK_EXPORT_TABLE);
    std::set<int> ordinals;
    std::set<std::string> names;
    int fixed = 0;
    for (const Row &r : rows) {
        EXPECT_TRUE(ordinals.insert(r.ordinal).second) << "ordinal twice: " << r.ordinal;
        EXPECT_TRUE(names.insert(r.name).second) << "name twice: " << r.name;
        EXPECT_GE(r.args, 1) << r.name;
        if (r.ordinal <= 106) {
            ++fixed;
        } else {
            EXPECT_EQ(r.name.rfind("Vesk", 0), 0u) << "only extensions follow the fixed table: " << r.name;
        }
    }
    EXPECT_EQ(fixed, 106);
    EXPECT_EQ(*ordinals.begin(), 1);
    // Spot checks of the irregular spellings and the paired ordinals.
    std::map<std::string, int> byName;
    for (const Row &r : rows) byName[r.name] = r.ordinal;
    EXPECT_EQ(byName["GetMSD3_MesheINDICES"], 34);
    EXPECT_EQ(byName["GetmodelMDL"], 53);
    EXPECT_EQ(byName["GetMD2_FRAMPAST"], 29);
    EXPECT_EQ(byName["CreateLightmaps2"], 17);
    EXPECT_EQ(byName["farcTan2"], 104);
    EXPECT_EQ(byName["FastCos"], 20);
    EXPECT_EQ(byName["fCos"], 90);
}

TEST_F(LoadedLibrary, EveryBuiltRowResolvesByName) {
    const auto built = ReadRows(VESK_BUILT_EXPORTS);
    EXPECT_EQ(built.size(), ReadRows(VESK_EXPORT_TABLE).size());  // the build leaves no row out
    for (const Row &r : built) EXPECT_NE(VeskSymbol(lib_, r.name.c_str()), nullptr) << r.name;
    EXPECT_EQ(VeskSymbol(lib_, "FastCos"), VeskSymbol(lib_, "fCos"));
    EXPECT_EQ(VeskSymbol(lib_, "fastcos"), nullptr);  // names are case-sensitive
}

TEST_F(LoadedLibrary, ExportsNothingButTheBuiltRows) {
    std::set<std::string> expected;
    for (const Row &r : ReadRows(VESK_BUILT_EXPORTS)) expected.insert(r.name);
    const std::string path = std::string(VESK_LIBRARY_DIR) + "/" + VeskLibraryName();
    const std::string command = "nm -D --defined-only '" + path + "'";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (name.empty() || type == "A") continue;  // version-node markers are absolute symbols
        exported.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0) << command;
    EXPECT_EQ(exported, expected);
}

TEST_F(LoadedLibrary, MathExportsAnswerThroughTheBoundary) {
    auto inverseSqrt = VeskResolve<float (*)(float)>(lib_, "InverseSqrt");
    auto shiftRight = VeskResolve<int32_t (*)(int32_t, int32_t)>(lib_, "Shift_RIGHT");
    auto normalize = VeskResolve<float (*)(Vector3 *)>(lib_, "VECTOR_Normalize");
    auto polygons = VeskResolve<void (*)(Poly *, const Matrix4 *, int32_t)>(lib_, "MatrixPolygonMultiply");
    ASSERT_TRUE(inverseSqrt && shiftRight && normalize && polygons);
    EXPECT_EQ(inverseSqrt(4.0f), 0.5f);
    EXPECT_EQ(shiftRight(-8, 1), -4);
    Vector3 v{0, 0, 0};
    EXPECT_EQ(normalize(&v), 0.0f);

    // count visits exactly count records; -1 and 0 visit none.
    Poly polys[2] = {};
    polys[1].corner[0].position = {1, 1, 1};
    Matrix4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    m.m[12] = 100.0f;
    polygons(polys, &m, -1);
    polygons(polys, &m, 0);
    EXPECT_EQ(polys[0].corner[0].position.x, 0.0f);
    polygons(polys, &m, 1);
    EXPECT_EQ(polys[0].corner[0].position.x, 100.0f);
    EXPECT_EQ(polys[1].corner[0].position.x, 1.0f);
}

TEST(LibraryLifetime, LoadAndUnloadWithoutCallsIsHarmless) {
    for (int i = 0; i < 3; ++i) {
        VeskModule lib = VeskOpen(VeskLibraryName());
        ASSERT_NE(lib, nullptr);
        VeskClose(lib);
    }
}

}  // namespace
