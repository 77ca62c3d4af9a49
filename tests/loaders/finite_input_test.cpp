// Every loader refuses a real file in which one float it uses was set to NaN,
// +infinity or -infinity, with its usual failure, and keeps what it held.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "characters/md3_model.h"
#include "level/q3bsp.h"
#include "loaders/static_model.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using Bytes = std::vector<uint8_t>;

size_t At(const Bytes &b, size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return static_cast<size_t>(v);
}
// Start of word `skip` after key on the first line that begins with key and a blank.
size_t Word(const Bytes &b, const std::string &key, int skip) {
    const std::string s(b.begin(), b.end());
    size_t at = s.find(key + " ") < s.find(key + "\t") ? s.find(key + " ") : s.find(key + "\t");
    for (int k = 0; k <= skip; ++k) at = s.find_first_not_of(" \t", s.find_first_of(" \t", at));
    return at;
}
size_t After(const Bytes &b, const char (&id)[3]) {
    return std::search(b.begin(), b.end(), id, id + 2) - b.begin() + 8;
}

std::vector<bool> Verdicts(std::initializer_list<bool> v) { return v; }

TEST(FiniteInput, EveryLoaderRefusesNonFiniteFloats) {
    static std::vector<uint8_t> out(8 << 20);  // room for any array these files fill
    void *o = out.data();
    const auto bsp = [o](const char *p) {
        int32_t c[VESK_Q3BSP_COUNT_SLOTS];
        auto *u = static_cast<uint8_t *>(o);
        return Verdicts({VeskGetQ3BSP_Counts(p, c) != 0,
                         GetQ3BSP_INFO(p, static_cast<Q3BspVertex *>(o), static_cast<Q3BspFace *>(o),
                                       static_cast<Q3BspLeaf *>(o), static_cast<int32_t *>(o),
                                       static_cast<Q3BspNode *>(o), static_cast<Q3BspPlane *>(o), u) != 0});
    };
    const auto md2 = [o](const char *p) {
        int32_t c[4], n;
        return Verdicts({VeskGetMD2_Counts(p, c) != 0, GetMD2_MESH(p, 0, static_cast<Md2Vertex *>(o), &n) != 0});
    };
    const auto ms3d = [o](const char *p) {
        Ms3dInfo info;
        return Verdicts({GetMSD3_Info(p, &info) != 0, GetMSD3_Vertex(p, static_cast<Ms3dVertex *>(o)) != 0});
    };
    const auto md3 = [](const char *p) { return Verdicts({LoadMd3(*std::make_unique<Md3Model>(), p)}); };
    const auto in = [](bool (*load)(const char *, StaticModel &)) {
        return [load](const char *p) { return Verdicts({load(p, TheStaticModel())}); };
    };
    struct Row {
        const char *what, *file;
        std::function<size_t(const Bytes &)> at;  // a used float's bytes, or a number's text
        std::function<std::vector<bool>(const char *)> load;
        bool text = false, silent = false;
    };
    const Row rows[] = {
        {"bsp vertex x", "openarena/maps/oa_dm1.bsp", [](const Bytes &b) { return At(b, 88); }, bsp},
        {"bsp plane normal x", "openarena/maps/oa_dm1.bsp", [](const Bytes &b) { return At(b, 24); }, bsp},
        {"bsp face normal y", "openarena/maps/oa_dm1.bsp", [](const Bytes &b) { return At(b, 112) + 88; }, bsp},
        {"md2 frame scale x", "assimp/MD2/faerie.md2", [](const Bytes &b) { return At(b, 56); }, md2},
        {"md3 tag axis", "openarena/models/players/sarge/upper.md3",
         [](const Bytes &b) { return 108 + 56 * At(b, 76) + 92; }, md3},
        {"ms3d triangle t", "assimp/MS3D/jeep1.ms3d",
         [](const Bytes &b) { return 16 + 15 * (At(b, 14) & 0xFFFF) + 2 + 64; }, ms3d, false, true},
        {"3ds vertex z", "assimp/3DS/cube_with_diffuse_texture.3DS",
         [](const Bytes &b) { return After(b, "\x10\x41") + 8; }, in(Load3ds)},
        {"obj position", "assimp/OBJ/box.obj", [](const Bytes &b) { return Word(b, "\nv", 0); }, in(LoadObj), true},
        {"ase vertex", "assimp/ASE/RotatingCube.ASE", [](const Bytes &b) { return Word(b, "*MESH_VERTEX", 2); },
         in(LoadAse), true},
        {"ase diffuse", "assimp/ASE/ThreeCubesGreen.ASE",
         [](const Bytes &b) { return Word(b, "*MATERIAL_DIFFUSE", 1); }, in(LoadAse), true},
    };
    // What the module holds: the level's vertices and the static model's counts.
    const auto held = [] {
        const Q3BspLevel &level = CurrentQ3BspLevel();
        const StaticModel &m = TheStaticModel();
        size_t vertices = 0;
        for (const StaticObject &object : m.objects) vertices += object.vertices.size();
        return std::string(reinterpret_cast<const char *>(level.vertices.data()),
                           level.vertices.size() * sizeof(Q3BspVertex)) +
               std::to_string(m.objectCount) + "/" + std::to_string(m.materialCount) + "/" + std::to_string(vertices);
    };
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, std::string> values[] = {{std::nanf(""), "nan"}, {inf, "inf"}, {-inf, "-1e39"}};
    int n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string original = test::DataPath(row.file);
        for (const bool verdict : row.load(original.c_str())) EXPECT_TRUE(verdict) << "untouched file";
        for (const auto &[value, text] : values) {
            SCOPED_TRACE(text);
            Bytes b = test::ReadAll(original);
            const size_t at = row.at(b);
            ASSERT_LT(at + 4, b.size());
            if (row.text) {
                b.erase(b.begin() + at, std::find_if(b.begin() + at, b.end(), [](uint8_t c) { return c <= ' '; }));
                b.insert(b.begin() + at, text.begin(), text.end());
            } else {
                std::memcpy(b.data() + at, &value, 4);
            }
            const std::string path =
                test::WriteTemp("finite" + std::to_string(n++) + (row.file + std::strlen(row.file) - 4), b);
            const std::string before = held();
            test::MessageCapture messages;
            for (const bool verdict : row.load(path.c_str())) EXPECT_FALSE(verdict);
            EXPECT_EQ(held(), before) << "what the module held was replaced";
            EXPECT_EQ(messages.messages().empty(), row.silent);
            for (const auto &m : messages.messages())
                EXPECT_EQ(m.caption + ": " + m.text, "Error: Invalid file format (corrupt data): " + path + "!");
        }
    }
    TheStaticModel().Clear();
}

}  // namespace
}  // namespace vesk
