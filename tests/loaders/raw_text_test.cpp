// The loaders read raw file bytes and drop CR before LF themselves: the
// models must be those of translating the text first. Also the MD2 and MS3D
// exports, which keep the last file between calls, against fresh parses.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/file.h"
#include "io/line_masks.h"
#include "loaders/md2.h"
#include "support/md2_reference.h"
#include "loaders/ms3d.h"
#include "loaders/static_model.h"
#include "loaders/static_test_util.h"
#include "support/test_support.h"

namespace vesk {
namespace {

template <class T>
bool SameBits(const std::vector<T> &a, const std::vector<T> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void ExpectSameModel(const StaticModel &a, const StaticModel &b, const std::string &what) {
    ASSERT_EQ(a.objectCount, b.objectCount) << what;
    ASSERT_EQ(a.materialCount, b.materialCount) << what;
    ASSERT_EQ(a.objects.size(), b.objects.size()) << what;
    for (size_t i = 0; i < a.objects.size(); ++i) {
        const StaticObject &x = a.objects[i], &y = b.objects[i];
        EXPECT_TRUE(x.vertexCount == y.vertexCount && x.faceCount == y.faceCount &&
                    x.texCoordCount == y.texCoordCount && x.materialIndex == y.materialIndex &&
                    x.hasTexture == y.hasTexture && std::strcmp(x.name, y.name) == 0)
            << what << " object " << i;
        EXPECT_TRUE(SameBits(x.vertices, y.vertices) && SameBits(x.normals, y.normals) &&
                    SameBits(x.texCoords, y.texCoords) && SameBits(x.faces, y.faces))
            << what << " object " << i;
    }
    ASSERT_EQ(a.materials.size(), b.materials.size()) << what;
    for (size_t m = 0; m < a.materials.size(); ++m) {
        const StaticMaterial &x = a.materials[m], &y = b.materials[m];
        // Field by field: the record's padding holds nothing.
        EXPECT_TRUE(std::strcmp(x.name, y.name) == 0 && std::strcmp(x.textureFile, y.textureFile) == 0 &&
                    std::memcmp(x.diffuse, y.diffuse, sizeof x.diffuse) == 0 &&
                    std::memcmp(&x.uTiling, &y.uTiling, 4) == 0 && std::memcmp(&x.vTiling, &y.vTiling, 4) == 0)
            << what << " material " << m;
    }
}

// Statements of both formats with CR, CR CR LF and LF endings in between, so
// that counts, quoted names, region sizes and object breaks all meet them.
std::string Soup(std::mt19937 &rng) {
    static const char *const kPieces[] = {
        "*MATERIAL_COUNT 2", "*MATERIAL 0 {", "*MATERIAL 1 {", "*BITMAP \"tex.tga\"", "*MATERIAL_NAME \"a b\"",
        "*UVW_U_TILING 2.5", "*GEOMOBJECT {", "*MESH_NUMVERTEX 3", "*MESH_NUMVERTEX 900", "*MESH_NUMFACES 1",
        "*MESH_NUMTVERTEX 2", "*MESH_VERTEX 0 1 2 3", "*MESH_VERTEX 1 4 5 6", "*MESH_VERTEX 2 7 8 9",
        "*MESH_FACE 0: A: 0 B: 1 C: 2", "*MESH_TVERT 1 0.5 0.25", "*MESH_TFACE 0 0 1 1", "*MATERIAL_REF 1",
        "v 1 2 3", "v 4 5 6", "v 7 8 9", "vt 0.5 0.5", "f 1 2 3", "f 1/1 2/1 3/1", "f -3 -2 -1", "# c",
        "*BITMAP \"", "\"", "v 1 2 3\r"};
    static const char *const kEnds[] = {"\n", "\r\n", "\r\r\n", "\r", " ", "\r\n\r\n"};
    std::string text;
    const size_t n = rng() % 40;
    for (size_t i = 0; i < n; ++i) {
        text += kPieces[rng() % std::size(kPieces)];
        text += kEnds[rng() % std::size(kEnds)];
    }
    return text;
}

TEST(RawTextLoaders, ObjAndAseFromRawBytesEqualTheTranslatedText) {
    std::vector<std::string> inputs;
    for (const char *file : {"assimp/OBJ/spider.obj", "assimp/OBJ/WusonOBJ.obj", "assimp/ASE/RotatingCube.ASE",
                             "assimp/ASE/MotionCaptureROM.ase", "openarena/models/mapobjects/lamp/lamp.ase",
                             "openarena/models/mapobjects/gaelevish/glvsh_pillar.ase"}) {
        const auto bytes = test::ReadAll(test::DataPath(file));
        const std::string text(bytes.begin(), bytes.end());
        inputs.push_back(text);
        inputs.push_back(test::WithCrLf(text));
    }
    std::mt19937 rng(2024);
    for (int i = 0; i < 400; ++i) inputs.push_back(Soup(rng));
    int withCr = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string &raw = inputs[i];
        const std::string text = TextModeFromBytes(raw);
        withCr += text.size() != raw.size();
        StaticModel viaText, viaBytes;
        test::ParseObj(text, viaText);
        ParseObjBytes(raw, viaBytes);
        ExpectSameModel(viaText, viaBytes, "obj input " + std::to_string(i));
        test::ParseAse(text, viaText);
        // The reader built for each lane width the machine has.
        for (const LineMaskLanes lanes : {LineMaskLanes::Sse2, LineMaskLanes::Avx2, LineMaskLanes::Avx512}) {
            LimitLineMaskLanes(lanes);
            ParseAseBytes(raw, viaBytes);
            ExpectSameModel(viaText, viaBytes, "ase input " + std::to_string(i));
        }
    }
    EXPECT_GT(withCr, 200);  // the inputs do exercise the translation
}

TEST(Md2Exports, EveryFrameWrittenStraightFromTheFileEqualsTheObjectPath) {
    for (const char *name : {"assimp/MD2/sydney.md2", "assimp/MD2/faerie.md2"}) {
        const std::string path = test::DataPath(name);
        const std::vector<uint8_t> bytes = test::ReadAll(path);
        Md2File file;
        ASSERT_EQ(file.Open(bytes), Md2Status::Ok) << name;
        StaticObject shared;
        vesk::reference::ReadMd2Shared(file, shared);
        std::vector<Md2Vertex> expected(3 * shared.faces.size()), direct(expected.size()), viaExport(expected.size());
        for (int32_t f = 0; f < file.FrameCount(); ++f) {
            StaticObject frame;
            vesk::reference::ReadMd2Frame(file, f, frame);
            vesk::reference::WriteMd2Mesh(shared, frame, expected);
            file.WriteFrameMesh(f, direct);
            int32_t count = 0;
            ASSERT_TRUE(GetMD2_MESH(path.c_str(), f, viaExport.data(), &count)) << name << " frame " << f;
            ASSERT_EQ(static_cast<size_t>(count), expected.size());
            for (size_t c = 0; c < expected.size(); ++c) {
                ASSERT_EQ(std::memcmp(&expected[c].position, &direct[c].position, 12), 0) << name << f << " " << c;
                ASSERT_EQ(std::memcmp(&expected[c].u, &direct[c].u, 8), 0) << name << f << " " << c;
                ASSERT_EQ(std::memcmp(&expected[c].position, &viaExport[c].position, 12), 0) << name << f;
                ASSERT_EQ(std::memcmp(&expected[c].u, &viaExport[c].u, 8), 0) << name << f;
            }
        }
    }
}

TEST(PerCallExports, FollowTheFileAtTheirPathFromCallToCall) {
    // One path holding one model after another, old files and new ones, and a
    // file that stops parsing: each call answers for what the path holds now.
    const std::string path = (test::TempRoot() / "swapped.ms3d").string();
    const char *const order[] = {"Wuson.ms3d", "twospheres.ms3d", "Wuson.ms3d", "jeep1.ms3d", "twospheres_withmats.ms3d"};
    int round = 0;
    for (const char *name : order) {
        for (bool old : {false, true}) {
            const std::vector<uint8_t> bytes = test::ReadAll(test::DataPath(std::string("assimp/MS3D/") + name));
            test::WriteTemp("swapped.ms3d", bytes);
            if (old)
                std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                                           std::chrono::hours(48) + std::chrono::seconds(++round));
            Ms3dModel model;
            ASSERT_TRUE(ParseMs3d(bytes, model));
            const Ms3dInfo want = Ms3dCounts(model);
            for (int repeat = 0; repeat < 2; ++repeat) {
                Ms3dInfo got{};
                ASSERT_TRUE(GetMSD3_Info(path.c_str(), &got)) << name;
                EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << name << " old " << old;
                std::vector<Ms3dVertex> vertices(model.vertexCount), expected(model.vertexCount);
                ASSERT_TRUE(GetMSD3_Vertex(path.c_str(), vertices.data()));
                WriteMs3dVertices(model, expected);
                EXPECT_EQ(std::memcmp(vertices.data(), expected.data(), vertices.size() * sizeof(Ms3dVertex)), 0)
                    << name;
            }
        }
    }
    const std::vector<uint8_t> bytes = test::ReadAll(test::DataPath("assimp/MS3D/Wuson.ms3d"));
    test::WriteTemp("swapped.ms3d", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
    Ms3dInfo info{};
    EXPECT_FALSE(GetMSD3_Info(path.c_str(), &info)) << "a truncated file";
}

}  // namespace
}  // namespace vesk
