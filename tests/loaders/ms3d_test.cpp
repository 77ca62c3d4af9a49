#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host_dl.h"
#include "loaders/ms3d.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::DataPath;
using test::MessageCapture;
using test::ReadAll;
using test::WriteTemp;

// ---------------------------------------------------------------------------
// A small MS3D built byte by byte.

class Ms3dBytes {
public:
    explicit Ms3dBytes(int32_t version = 4) {
        Raw("MS3D000000", 10);
        Value(version);
    }
    template <class T>
    Ms3dBytes &Value(T v) {
        Raw(&v, sizeof v);
        return *this;
    }
    Ms3dBytes &Raw(const void *p, size_t n) {
        const auto *b = static_cast<const uint8_t *>(p);
        bytes.insert(bytes.end(), b, b + n);
        return *this;
    }
    Ms3dBytes &Zeros(size_t n) {
        bytes.resize(bytes.size() + n, 0);
        return *this;
    }
    std::vector<uint8_t> bytes;
};

struct TriangleData {
    uint16_t index[3];
    float normalBase;
    float s[3], t[3];
};

// Two vertices, two triangles, three groups, two materials.
std::vector<uint8_t> BuildMs3d(int32_t version = 4) {
    Ms3dBytes b(version);
    b.Value<uint16_t>(2);
    b.Value<uint8_t>(0).Value(1.5f).Value(-2.5f).Value(3.5f).Value<int8_t>(-1).Value<uint8_t>(1);
    b.Value<uint8_t>(0).Value(4.0f).Value(5.0f).Value(6.0f).Value<int8_t>(7).Value<uint8_t>(1);

    const TriangleData tris[2] = {
        {{0, 1, 0xFFFF}, 10.0f, {0.1f, 0.2f, 0.3f}, {0.0f, 0.25f, 1.0f}},
        {{1, 0, 1}, 20.0f, {0.5f, 0.6f, 0.7f}, {0.5f, 2.0f, -1.0f}},
    };
    b.Value<uint16_t>(2);
    for (const TriangleData &t : tris) {
        b.Value<uint16_t>(0x1234);  // flags
        for (uint16_t i : t.index) b.Value(i);
        for (int k = 0; k < 9; ++k) b.Value(t.normalBase + static_cast<float>(k));
        for (float s : t.s) b.Value(s);
        for (float v : t.t) b.Value(v);
        b.Value<uint8_t>(3).Value<uint8_t>(0);
    }

    b.Value<uint16_t>(3);
    const uint16_t indices[3][3] = {{0, 1, 0}, {0xFFFF, 0, 0}, {0, 0, 0}};
    const uint16_t counts[3] = {2, 1, 0};
    const int8_t materials[3] = {-1, 1, 0};
    for (int g = 0; g < 3; ++g) {
        b.Value<uint8_t>(0).Zeros(32).Value(counts[g]);
        for (uint16_t i = 0; i < counts[g]; ++i) b.Value(indices[g][i]);
        b.Value(materials[g]);
    }

    b.Value<uint16_t>(2);
    for (int m = 0; m < 2; ++m) {
        const size_t at = b.bytes.size();
        b.Zeros(361);
        for (int f = 0; f < 17; ++f) {
            const float v = static_cast<float>(100 * m + f);
            std::memcpy(&b.bytes[at + 32 + 4 * static_cast<size_t>(f)], &v, 4);
        }
        if (m == 1) std::memcpy(&b.bytes[at + 105], "skin\\face.tga", 13);
    }
    // Animation data that is never read.
    b.Value(24.0f).Value(0.0f).Value<int32_t>(0).Value<uint16_t>(0);
    return b.bytes;
}

TEST(Ms3dReader, ByteBuiltFileInEveryRecordKind) {
    const std::string path = WriteTemp("small.ms3d", BuildMs3d());
    Ms3dInfo info{};
    ASSERT_EQ(GetMSD3_Info(path.c_str(), &info), 1);
    EXPECT_EQ(info.groupCount, 3);
    EXPECT_EQ(info.materialCount, 2);
    EXPECT_EQ(info.vertexCount, 2);
    EXPECT_EQ(info.triangleCount, 2);

    Ms3dVertex vertices[3];
    std::memset(vertices, 0xAB, sizeof vertices);
    ASSERT_EQ(GetMSD3_Vertex(path.c_str(), vertices), 1);
    EXPECT_EQ(vertices[0].boneId, -1);
    EXPECT_EQ(vertices[0].unused[0], 0xAB) << "bytes 1..3 are the caller's";
    EXPECT_EQ(vertices[0].position.y, -2.5f);
    EXPECT_EQ(vertices[1].boneId, 7);
    EXPECT_EQ(vertices[1].position.z, 6.0f);
    EXPECT_EQ(vertices[2].unused[2], 0xAB);

    Ms3dTriangle triangles[2];
    ASSERT_EQ(GetMSD3_Triangles(path.c_str(), triangles), 1);
    EXPECT_EQ(triangles[0].normal[0].x, 10.0f);
    EXPECT_EQ(triangles[0].normal[2].z, 18.0f);
    EXPECT_EQ(triangles[1].normal[1].y, 24.0f);
    EXPECT_EQ(triangles[0].s[2], 0.3f);
    // t = (0, 0.25, 1) comes out as 1 - t.
    EXPECT_EQ(triangles[0].oneMinusT[0], 1.0f);
    EXPECT_EQ(triangles[0].oneMinusT[1], 0.75f);
    EXPECT_EQ(triangles[0].oneMinusT[2], 0.0f);
    EXPECT_EQ(triangles[1].oneMinusT[1], -1.0f);
    EXPECT_EQ(triangles[0].vertexIndex[2], 65535u) << "indices are zero-extended";
    EXPECT_EQ(triangles[1].vertexIndex[0], 1u);

    Ms3dGroup groups[3];
    ASSERT_EQ(GetMSD3_Meshes(path.c_str(), groups), 1);
    EXPECT_EQ(groups[0].materialIndex, -1) << "byte 0xFF stays -1";
    EXPECT_EQ(groups[0].triangleCount, 2);
    EXPECT_EQ(groups[1].materialIndex, 1);
    EXPECT_EQ(groups[2].triangleCount, 0);

    uint32_t indices[4] = {9, 9, 9, 9};
    ASSERT_EQ(GetMSD3_MesheINDICES(path.c_str(), 1, indices), 1);
    EXPECT_EQ(indices[0], 65535u);
    EXPECT_EQ(indices[1], 9u);
    ASSERT_EQ(GetMSD3_MesheINDICES(path.c_str(), 0, indices), 1);
    EXPECT_EQ(indices[0], 0u);
    EXPECT_EQ(indices[1], 1u);
    EXPECT_EQ(indices[2], 9u);
    // No such group: nothing written, still read.
    for (int32_t g : {3, -1, 1000}) {
        uint32_t untouched[2] = {7, 7};
        EXPECT_EQ(GetMSD3_MesheINDICES(path.c_str(), g, untouched), 1) << g;
        EXPECT_EQ(untouched[0], 7u) << g;
    }
}

TEST(Ms3dReader, MaterialsHandOutFreshTextureCopiesAndTexturesCopyTheName) {
    const std::string path = WriteTemp("materials.ms3d", BuildMs3d());
    Ms3dMaterial first[2], second[2];
    std::memset(first, 0xCD, sizeof first);
    ASSERT_EQ(GetMSD3_Material(path.c_str(), first), 1);
    ASSERT_EQ(GetMSD3_Material(path.c_str(), second), 1);
    EXPECT_EQ(first[0].ambient[0], 0.0f);
    EXPECT_EQ(first[0].diffuse[1], 5.0f);
    EXPECT_EQ(first[1].specular[3], 111.0f);
    EXPECT_EQ(first[1].emissive[0], 112.0f);
    EXPECT_EQ(first[1].shininess, 116.0f);
    EXPECT_EQ(first[0].unused, 0xCDCDCDCDu) << "offset 68 is the caller's";
    ASSERT_NE(first[1].texture, nullptr);
    EXPECT_STREQ(first[1].texture, "skin\\face.tga");
    EXPECT_STREQ(first[0].texture, "");
    EXPECT_STREQ(second[1].texture, "skin\\face.tga");
    EXPECT_NE(first[1].texture, second[1].texture) << "every call makes new copies";
    // The copies belong to the caller, who hands them back here (ASan checks the pairing).
    for (Ms3dMaterial *m : {&first[0], &first[1], &second[0], &second[1]}) VeskFreeString(m->texture);
    VeskFreeString(nullptr);

    char name[128];
    std::memset(name, 'x', sizeof name);
    ASSERT_EQ(GetMSD3_Texture(path.c_str(), 1, name), 1);
    EXPECT_STREQ(name, "skin\\face.tga");
    std::memset(name, 'x', sizeof name);
    ASSERT_EQ(GetMSD3_Texture(path.c_str(), 0, name), 1);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(name[1], 'x') << "an empty name is a single NUL";
    for (int32_t m : {2, -1}) {
        std::memset(name, 'x', sizeof name);
        EXPECT_EQ(GetMSD3_Texture(path.c_str(), m, name), 1);
        EXPECT_EQ(name[0], 'x') << m;
    }

    // A texture field without a NUL still fits the caller's 128 bytes.
    std::vector<uint8_t> bytes = BuildMs3d();
    const size_t secondTexture = bytes.size() - 14 - 361 + 105;
    std::memset(&bytes[secondTexture], 'a', 128);
    const std::string full = WriteTemp("fullname.ms3d", bytes);
    char buffer[129];
    buffer[128] = 'z';
    ASSERT_EQ(GetMSD3_Texture(full.c_str(), 1, buffer), 1);
    EXPECT_EQ(std::strlen(buffer), 127u);
    EXPECT_EQ(buffer[128], 'z');
    Ms3dMaterial materials[2];
    ASSERT_EQ(GetMSD3_Material(full.c_str(), materials), 1);
    EXPECT_EQ(std::string(materials[1].texture), std::string(buffer));
    VeskFreeString(materials[0].texture);
    VeskFreeString(materials[1].texture);
}

TEST(Ms3dReader, RefusesForeignVersionsMagicsAndMissingFilesSilently) {
    MessageCapture messages;
    Ms3dInfo info{-5, -5, -5, -5};
    for (int32_t version : {2, 5, 0, -1}) {
        const std::string path = WriteTemp("version.ms3d", BuildMs3d(version));
        EXPECT_EQ(GetMSD3_Info(path.c_str(), &info), 0) << version;
        EXPECT_EQ(info.vertexCount, -5);
    }
    Ms3dInfo v3{}, v4{};
    const std::string three = WriteTemp("v3.ms3d", BuildMs3d(3));
    const std::string four = WriteTemp("v4.ms3d", BuildMs3d(4));
    ASSERT_EQ(GetMSD3_Info(three.c_str(), &v3), 1);
    ASSERT_EQ(GetMSD3_Info(four.c_str(), &v4), 1);
    EXPECT_EQ(std::memcmp(&v3, &v4, sizeof v3), 0);

    std::vector<uint8_t> bytes = BuildMs3d();
    bytes[9] = '1';
    const std::string foreign = WriteTemp("magic.ms3d", bytes);
    EXPECT_EQ(GetMSD3_Info(foreign.c_str(), &info), 0);
    EXPECT_EQ(GetMSD3_Info("/nonexistent/none.ms3d", &info), 0);
    EXPECT_EQ(info.groupCount, -5);
    EXPECT_TRUE(messages.messages().empty());
}

TEST(Ms3dReader, CountsPastTheEndFailAndWriteNothing) {
    const std::vector<uint8_t> whole = BuildMs3d();
    const size_t sectionsEnd = whole.size() - 14;  // the animation tail is not read
    for (size_t n = 0; n < whole.size(); ++n) {
        // An exactly sized copy, so that ASan sees any read past the end.
        const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
        Ms3dModel model;
        EXPECT_EQ(ParseMs3d(bytes, model), n >= sectionsEnd) << "length " << n;
    }
    // Through an export: a vertex count far past the end.
    std::vector<uint8_t> bytes = whole;
    bytes[14] = 0xFF;
    bytes[15] = 0xFF;
    const std::string path = WriteTemp("count.ms3d", bytes);
    Ms3dVertex vertices[2];
    std::memset(vertices, 0x11, sizeof vertices);
    EXPECT_EQ(GetMSD3_Vertex(path.c_str(), vertices), 0);
    EXPECT_EQ(vertices[0].boneId, 0x11);
}

// ---------------------------------------------------------------------------
// Real files, against a minimal reader of the test's own.

struct RawMs3d {
    std::vector<uint8_t> bytes;
    size_t vertices = 0, triangles = 0, afterTriangles = 0;
    explicit RawMs3d(const std::string &path) : bytes(ReadAll(path)) {
        vertices = 16;
        triangles = vertices + 15 * U16(14) + 2;
        afterTriangles = triangles + 70 * U16(triangles - 2);
    }
    uint16_t U16(size_t at) const { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); }
    float F(size_t at) const {
        float v;
        std::memcpy(&v, &bytes[at], 4);
        return v;
    }
};

TEST(Ms3dRealFiles, CountsGroupsAndMaterialsAsStored) {
    struct Case {
        const char *file;
        Ms3dInfo info;
    } cases[] = {
        {"assimp/MS3D/Wuson.ms3d", {1, 0, 2117, 3732}},
        {"assimp/MS3D/jeep1.ms3d", {7, 1, 1190, 2032}},
        {"assimp/MS3D/twospheres.ms3d", {2, 0, 124, 240}},
        {"assimp/MS3D/twospheres_withmats.ms3d", {2, 2, 124, 240}},
    };
    for (const Case &c : cases) {
        const std::string path = DataPath(c.file);
        Ms3dInfo info{};
        ASSERT_EQ(GetMSD3_Info(path.c_str(), &info), 1) << c.file;
        EXPECT_EQ(std::memcmp(&info, &c.info, sizeof info), 0)
            << c.file << ": " << info.groupCount << " " << info.materialCount << " " << info.vertexCount << " "
            << info.triangleCount;
    }

    const std::string jeep = DataPath("assimp/MS3D/jeep1.ms3d");
    Ms3dGroup groups[7];
    ASSERT_EQ(GetMSD3_Meshes(jeep.c_str(), groups), 1);
    const int32_t sizes[7] = {192, 192, 192, 192, 36, 36, 1192};
    int32_t total = 0;
    for (int g = 0; g < 7; ++g) {
        EXPECT_EQ(groups[g].triangleCount, sizes[g]) << g;
        EXPECT_EQ(groups[g].materialIndex, 0) << g;
        total += groups[g].triangleCount;
    }
    EXPECT_EQ(total, 2032);
    std::vector<uint32_t> indices(1192, 0xFFFFFFFFu);
    ASSERT_EQ(GetMSD3_MesheINDICES(jeep.c_str(), 6, indices.data()), 1);
    for (uint32_t i : indices) EXPECT_LT(i, 2032u);
    char texture[128];
    ASSERT_EQ(GetMSD3_Texture(jeep.c_str(), 0, texture), 1);
    EXPECT_STREQ(texture, ".\\jeep1.jpg");

    const std::string spheres = DataPath("assimp/MS3D/twospheres_withmats.ms3d");
    Ms3dGroup two[2];
    ASSERT_EQ(GetMSD3_Meshes(spheres.c_str(), two), 1);
    EXPECT_EQ(two[0].materialIndex, 1);
    EXPECT_EQ(two[1].materialIndex, 0);
}

TEST(Ms3dRealFiles, VerticesAndTrianglesMatchAnIndependentReading) {
    const std::string path = DataPath("assimp/MS3D/Wuson.ms3d");
    const RawMs3d raw(path);
    std::vector<Ms3dVertex> vertices(2117);
    std::vector<Ms3dTriangle> triangles(3732);
    ASSERT_EQ(GetMSD3_Vertex(path.c_str(), vertices.data()), 1);
    ASSERT_EQ(GetMSD3_Triangles(path.c_str(), triangles.data()), 1);
    for (size_t v : {size_t{0}, size_t{1000}, size_t{2116}}) {
        const size_t at = raw.vertices + 15 * v;
        EXPECT_EQ(vertices[v].position.x, raw.F(at + 1)) << v;
        EXPECT_EQ(vertices[v].position.z, raw.F(at + 9)) << v;
        EXPECT_EQ(vertices[v].boneId, static_cast<int8_t>(raw.bytes[at + 13])) << v;
    }
    for (size_t t : {size_t{0}, size_t{1865}, size_t{3731}}) {
        const size_t at = raw.triangles + 70 * t;
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(triangles[t].vertexIndex[k], raw.U16(at + 2 + 2 * k)) << t;
            EXPECT_EQ(triangles[t].normal[k].y, raw.F(at + 8 + 12 * k + 4)) << t;
            EXPECT_EQ(triangles[t].s[k], raw.F(at + 44 + 4 * k)) << t;
            EXPECT_EQ(triangles[t].oneMinusT[k], 1.0f - raw.F(at + 56 + 4 * k)) << t;
        }
    }
    for (const Ms3dTriangle &t : triangles)
        for (uint32_t i : t.vertexIndex) ASSERT_LT(i, 2117u);
}

// Every field of every triangle, bit for bit, and nothing written past the last one.
TEST(Ms3dRealFiles, EveryTriangleMatchesItsRecordBitForBit) {
    const std::string path = DataPath("assimp/MS3D/Wuson.ms3d");
    const RawMs3d raw(path);
    std::vector<Ms3dTriangle> triangles(3732 + 1);
    std::memset(triangles.data(), 0xA5, triangles.size() * sizeof(Ms3dTriangle));
    ASSERT_EQ(GetMSD3_Triangles(path.c_str(), triangles.data()), 1);
    for (size_t t = 0; t < 3732; ++t) {
        const size_t at = raw.triangles + 70 * t;
        ASSERT_EQ(std::memcmp(triangles[t].normal, &raw.bytes[at + 8], 48), 0) << t;
        for (size_t k = 0; k < 3; ++k) {
            const float oneMinusT = 1.0f - raw.F(at + 56 + 4 * k);
            ASSERT_EQ(std::memcmp(&triangles[t].oneMinusT[k], &oneMinusT, 4), 0) << t;
            ASSERT_EQ(triangles[t].vertexIndex[k], raw.U16(at + 2 + 2 * k)) << t;
        }
    }
    const auto *guard = reinterpret_cast<const uint8_t *>(&triangles[3732]);
    for (size_t b = 0; b < sizeof(Ms3dTriangle); ++b) ASSERT_EQ(guard[b], 0xA5) << b;
}

TEST(Ms3dRealFiles, TruncationAndByteFlipsNeverReadOutside) {
    const std::vector<uint8_t> whole = ReadAll(DataPath("assimp/MS3D/jeep1.ms3d"));
    ASSERT_EQ(whole.size(), 164803u);
    const size_t sectionsEnd = whole.size() - 14;
    std::vector<size_t> lengths;
    for (size_t n = 0; n < 64; ++n) lengths.push_back(n);
    for (size_t n = 64; n < whole.size(); n += 331) lengths.push_back(n);
    for (size_t n = sectionsEnd - 400; n <= whole.size(); ++n) lengths.push_back(n);
    for (size_t n : lengths) {
        const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
        Ms3dModel model;
        EXPECT_EQ(ParseMs3d(bytes, model), n >= sectionsEnd) << "length " << n;
    }
    const RawMs3d raw(DataPath("assimp/MS3D/jeep1.ms3d"));
    std::vector<size_t> spots = {14, 15, raw.triangles - 2, raw.triangles - 1, raw.afterTriangles,
                                 raw.afterTriangles + 1};
    for (size_t i = 0; i < whole.size(); i += 1499) spots.push_back(i);
    for (size_t at = raw.afterTriangles; at < whole.size(); at += 7) spots.push_back(at);
    for (size_t at : spots) {
        std::vector<uint8_t> bytes = whole;
        bytes[at] ^= 0xFF;
        Ms3dModel model;
        if (!ParseMs3d(bytes, model)) continue;
        // Whatever parsed can be written out in full.
        std::vector<Ms3dVertex> v(model.vertexCount);
        std::vector<Ms3dTriangle> t(model.triangleCount);
        std::vector<Ms3dGroup> g(model.groups.size());
        std::vector<Ms3dMaterial> m(model.materialCount);
        WriteMs3dVertices(model, v);
        WriteMs3dTriangles(model, t);
        WriteMs3dGroups(model, g);
        for (size_t i = 0; i < model.groups.size(); ++i) {
            std::vector<uint32_t> indices(model.groups[i].triangleCount);
            EXPECT_TRUE(WriteMs3dGroupIndices(model, static_cast<int32_t>(i), indices.data()));
        }
        WriteMs3dMaterials(model, m);
        for (Ms3dMaterial &material : m) VeskFreeString(material.texture);
    }
}

TEST(LoaderExports, AHostReleasesTextureCopiesThroughTheLibrary) {
    // By full path: under ASan, dlopen runs from the sanitizer runtime and does
    // not see the suite's run path.
    const std::string library = std::string(VESK_LIBRARY_DIR) + "/" + VeskLibraryName();
    VeskModule lib = VeskOpen(library.c_str());
    ASSERT_NE(lib, nullptr) << library;
    auto material = VeskResolve<VeskBool(VESK_CALL *)(const char *, Ms3dMaterial *)>(lib, "GetMSD3_Material");
    auto release = VeskResolve<void(VESK_CALL *)(char *)>(lib, "VeskFreeString");
    ASSERT_TRUE(material && release);
    Ms3dMaterial m{};
    ASSERT_EQ(material(DataPath("assimp/MS3D/jeep1.ms3d").c_str(), &m), 1);
    ASSERT_NE(m.texture, nullptr);
    EXPECT_STREQ(m.texture, ".\\jeep1.jpg");
    release(m.texture);
    VeskClose(lib);
}

}  // namespace
}  // namespace vesk
