// Every loader refuses a real file in which one float it uses was set to NaN,
// +infinity or -infinity, with its usual corrupt-file failure, and keeps what
// it held; the untouched file loads.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "characters/md3_model.h"
#include "level/q3bsp.h"
#include "loaders/static_model.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::DataPath;
using test::MessageCapture;
using test::ReadAll;
using test::WriteTemp;
using Bytes = std::vector<uint8_t>;

int32_t I32(const Bytes &b, size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
size_t At(const Bytes &b, size_t at) { return static_cast<size_t>(I32(b, at)); }

// Data of the first chunk id, descending into the containers that hold meshes.
size_t Chunk3ds(const Bytes &b, uint16_t id) {
    for (size_t at = 0; at + 6 <= b.size();) {
        uint16_t chunk;
        std::memcpy(&chunk, b.data() + at, 2);
        if (chunk == id) return at + 6;
        if (chunk == 0x4D4D || chunk == 0x3D3D || chunk == 0x4100) {
            at += 6;
        } else if (chunk == 0x4000) {
            at += 6 + std::strlen(reinterpret_cast<const char *>(b.data() + at + 6)) + 1;
        } else {
            at += At(b, at + 2);
        }
    }
    ADD_FAILURE() << "no chunk " << id;
    return 0;
}

// Replaces word `field` after `key` on the first line whose first word is key.
void SetWord(Bytes &b, const std::string &key, size_t field, const std::string &text) {
    std::string s(b.begin(), b.end());
    for (size_t line = 0; line < s.size(); line = s.find('\n', line) + 1) {
        size_t at = s.find_first_not_of(" \t", line);
        if (s.compare(at, key.size() + 1, key + ' ') != 0 && s.compare(at, key.size() + 1, key + '\t') != 0) {
            if (s.find('\n', line) == std::string::npos) break;
            continue;
        }
        at += key.size();
        for (size_t k = 0; k <= field; ++k) at = s.find_first_not_of(" \t", s.find_first_of(" \t", at));
        s.replace(at, s.find_first_of(" \t\r\n", at) - at, text);
        b.assign(s.begin(), s.end());
        return;
    }
    ADD_FAILURE() << "no line " << key;
}

// The loaders' verdicts on path (query and load where both exist).
using Verdicts = std::vector<bool>;

Verdicts LoadQ3Bsp(const std::string &path) {
    const Q3BspLevel &level = CurrentQ3BspLevel();
    const std::vector<Q3BspVertex> before = level.vertices;
    int32_t counts[VESK_Q3BSP_COUNT_SLOTS] = {};
    const bool queried = VeskGetQ3BSP_Counts(path.c_str(), counts);
    // Arrays sized for the untouched map, whose counts the damage keeps.
    VeskGetQ3BSP_Counts(DataPath("openarena/maps/oa_dm1.bsp").c_str(), counts);
    std::vector<Q3BspVertex> v(static_cast<size_t>(counts[0]));
    std::vector<Q3BspFace> f(static_cast<size_t>(counts[1]));
    std::vector<Q3BspLeaf> l(static_cast<size_t>(counts[2]));
    std::vector<int32_t> lf(static_cast<size_t>(counts[3]));
    std::vector<Q3BspNode> n(static_cast<size_t>(counts[4]));
    std::vector<Q3BspPlane> p(static_cast<size_t>(counts[5]));
    std::vector<uint8_t> rows(static_cast<size_t>(counts[6]));
    const bool loaded =
        GetQ3BSP_INFO(path.c_str(), v.data(), f.data(), l.data(), lf.data(), n.data(), p.data(), rows.data()) != 0;
    if (!loaded) {
        EXPECT_TRUE(level.vertices.size() == before.size() &&
                    std::memcmp(level.vertices.data(), before.data(), before.size() * sizeof before[0]) == 0)
            << "the level loaded before is kept";
    }
    return {queried, loaded};
}

Verdicts LoadMd2(const std::string &path) {
    int32_t counts[4] = {};
    const bool queried = VeskGetMD2_Counts(path.c_str(), counts);
    VeskGetMD2_Counts(DataPath("assimp/MD2/faerie.md2").c_str(), counts);
    std::vector<Md2Vertex> out(static_cast<size_t>(counts[2]));
    int32_t n = 0;
    return {queried, GetMD2_MESH(path.c_str(), 0, out.data(), &n) != 0};
}

Verdicts LoadMs3d(const std::string &path) {
    Ms3dInfo info{};
    const bool queried = GetMSD3_Info(path.c_str(), &info);
    std::vector<Ms3dVertex> v(65536);
    return {queried, GetMSD3_Vertex(path.c_str(), v.data()) != 0};
}

Verdicts LoadMd3File(const std::string &path) {
    Md3Model model;
    return {LoadMd3(model, path.c_str())};
}

Verdicts LoadStatic(const std::string &path, bool (*load)(const char *, StaticModel &)) {
    StaticModel &model = TheStaticModel();
    const int32_t objects = model.objectCount, materials = model.materialCount;
    const size_t vertices = objects > 0 ? model.objects.back().vertices.size() : 0;
    const bool loaded = load(path.c_str(), model);
    if (!loaded) {
        EXPECT_TRUE(model.objectCount == objects && model.materialCount == materials &&
                    model.objects.size() == static_cast<size_t>(objects) &&
                    (objects > 0 ? model.objects.back().vertices.size() : 0) == vertices)
            << "the model is kept";
    }
    return {loaded};
}

struct Row {
    const char *what;
    const char *file;
    // Sets one used float of the file to value (written as text by text formats).
    std::function<void(Bytes &, float value, const std::string &text)> damage;
    std::function<Verdicts(const std::string &)> load;
    bool silent = false;  // the MS3D calls fail without a message
};

void SetFloat(Bytes &b, size_t at, float value) { std::memcpy(b.data() + at, &value, 4); }

TEST(FiniteInput, EveryLoaderRefusesNonFiniteFloats) {
    const auto staticLoad = [](bool (*load)(const char *, StaticModel &)) {
        return [load](const std::string &p) { return LoadStatic(p, load); };
    };
    // Q3 BSP lumps: planes 2, vertices 10, faces 13; each entry offset at 8 + 8k.
    const Row rows[] = {
        {"bsp vertex x", "openarena/maps/oa_dm1.bsp",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, At(b, 8 + 8 * 10), f); }, LoadQ3Bsp},
        {"bsp plane normal x", "openarena/maps/oa_dm1.bsp",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, At(b, 8 + 8 * 2), f); }, LoadQ3Bsp},
        {"bsp face normal y", "openarena/maps/oa_dm1.bsp",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, At(b, 8 + 8 * 13) + 88, f); }, LoadQ3Bsp},
        {"md2 frame scale x", "assimp/MD2/faerie.md2",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, At(b, 56), f); }, LoadMd2},
        {"md3 tag axis", "openarena/models/players/sarge/upper.md3",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, 108 + 56 * At(b, 76) + 64 + 28, f); },
         LoadMd3File},
        {"md3 texture u", "openarena/models/players/sarge/upper.md3",
         [](Bytes &b, float f, const std::string &) {
             const size_t surface = 108 + 56 * At(b, 76) + 112 * At(b, 76) * At(b, 80);
             SetFloat(b, surface + At(b, surface + 96), f);
         },
         LoadMd3File},
        {"ms3d vertex y", "assimp/MS3D/jeep1.ms3d",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, 10 + 4 + 2 + 1 + 4, f); }, LoadMs3d, true},
        {"ms3d triangle t", "assimp/MS3D/jeep1.ms3d",
         [](Bytes &b, float f, const std::string &) {
             uint16_t vertices;
             std::memcpy(&vertices, b.data() + 14, 2);
             SetFloat(b, 16 + 15 * size_t{vertices} + 2 + 64, f);  // t of corner 2
         },
         LoadMs3d, true},
        {"3ds vertex z", "assimp/3DS/cube_with_diffuse_texture.3DS",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, Chunk3ds(b, 0x4110) + 2 + 8, f); }, staticLoad(Load3ds)},
        {"3ds texture v", "assimp/3DS/cube_with_diffuse_texture.3DS",
         [](Bytes &b, float f, const std::string &) { SetFloat(b, Chunk3ds(b, 0x4140) + 2 + 4, f); }, staticLoad(Load3ds)},
        {"obj position", "assimp/OBJ/box.obj",
         [](Bytes &b, float, const std::string &t) { SetWord(b, "v", 0, t); }, staticLoad(LoadObj)},
        {"obj texture coordinate", "assimp/OBJ/spider.obj",
         [](Bytes &b, float, const std::string &t) { SetWord(b, "vt", 1, t); }, staticLoad(LoadObj)},
        {"ase vertex", "assimp/ASE/RotatingCube.ASE",
         [](Bytes &b, float, const std::string &t) { SetWord(b, "*MESH_VERTEX", 2, t); }, staticLoad(LoadAse)},
        {"ase texture vertex", "assimp/ASE/anim.ASE",
         [](Bytes &b, float, const std::string &t) { SetWord(b, "*MESH_TVERT", 1, t); }, staticLoad(LoadAse)},
        {"ase diffuse", "assimp/ASE/ThreeCubesGreen.ASE",
         [](Bytes &b, float, const std::string &t) { SetWord(b, "*MATERIAL_DIFFUSE", 1, t); }, staticLoad(LoadAse)},
    };
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, std::string> values[] = {
        {std::numeric_limits<float>::quiet_NaN(), "nan"}, {inf, "inf"}, {-inf, "-1e39"}};
    int n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string original = DataPath(row.file);
        MessageCapture messages;
        for (const bool verdict : row.load(original)) EXPECT_TRUE(verdict) << "untouched file";
        for (const auto &m : messages.messages()) EXPECT_NE(m.caption, "Error") << m.text;
        for (const auto &[value, text] : values) {
            SCOPED_TRACE(text);
            Bytes bytes = ReadAll(original);
            row.damage(bytes, value, text);
            const std::string name = "finite" + std::to_string(n++);
            const std::string path = WriteTemp(name + original.substr(original.rfind('.')), bytes);
            MessageCapture refused;
            const Verdicts verdicts = row.load(path);
            for (const bool verdict : verdicts) EXPECT_FALSE(verdict);
            if (row.silent) {
                EXPECT_TRUE(refused.messages().empty());
                continue;
            }
            EXPECT_FALSE(refused.messages().empty());
            for (const auto &m : refused.messages())
                EXPECT_EQ(m.caption + ": " + m.text, "Error: Invalid file format (corrupt data): " + path + "!");
        }
    }
    // A refused map kept the level loaded before it.
    EXPECT_TRUE(CurrentQ3BspLevel().Loaded());
    TheStaticModel().Clear();
}

}  // namespace
}  // namespace vesk
