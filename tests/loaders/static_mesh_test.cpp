// The static mesh exports, called as a host calls them, and real files checked
// against small independent readers written here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "host_dl.h"
#include "loaders/static_model.h"
#include "loaders/static_test_util.h"

namespace vesk {
namespace {

using namespace test;

constexpr float kSentinel = 123.5f;

PolyVertex Sentinel() {
    PolyVertex v;
    std::memset(&v, 0, sizeof v);
    v.u = v.v = v.u2 = v.v2 = kSentinel;
    return v;
}

std::string Write3ds(const Bytes &bytes) { return WriteTemp("m.3ds", bytes); }
std::string WriteText(const std::string &name, const std::string &text) {
    return WriteTemp(name, Bytes(text.begin(), text.end()));
}

class StaticMeshExports : public StaticModelTest {};

TEST_F(StaticMeshExports, InfoLoadsByTypeAndAlwaysReportsTheCountsHeld) {
    StaticModelInfo info{-7, -7};
    Get3DS_INFO("unused", &info, 3);  // unknown type, nothing loaded
    EXPECT_EQ(info.objectCount, 0);
    EXPECT_EQ(info.materialCount, 0);

    const std::string threeDs = Write3ds(File3ds({MaterialChunk("m"), ObjectChunk("a", VertexData({{0, 0, 0}}), FaceData({}))}));
    Get3DS_INFO(threeDs.c_str(), &info, 0);
    EXPECT_EQ(info.objectCount, 1);
    EXPECT_EQ(info.materialCount, 1);
    const std::string obj = WriteText("m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Get3DS_INFO(obj.c_str(), &info, 1);
    EXPECT_EQ(info.objectCount, 2);
    EXPECT_EQ(info.materialCount, 1);
    {
        MessageCapture messages;
        info = {-7, -7};
        Get3DS_INFO("/nonexistent/m.obj", &info, 1);  // failed load: counts held
        EXPECT_EQ(info.objectCount, 2);
        EXPECT_EQ(messages.messages().size(), 1u);
        info = {-7, -7};
        Get3DS_INFO(threeDs.c_str(), &info, -1);
        EXPECT_EQ(info.objectCount, 2);
        EXPECT_EQ(info.materialCount, 1);
        EXPECT_EQ(messages.messages().size(), 1u);
    }
    const std::string ase = WriteText("m.ase", "*GEOMOBJECT {\n}\n*GEOMOBJECT {\n}\n*GEOMOBJECT {\n}\n");
    Get3DS_INFO(ase.c_str(), &info, 2);
    EXPECT_EQ(info.objectCount, 3);
    EXPECT_EQ(info.materialCount, 0);
}

TEST_F(StaticMeshExports, MeshWritesCornersBoxAndTexturesOfA3dsObject) {
    const std::string path = Write3ds(File3ds(
        {MaterialChunk("t", "t.bmp"),
         ObjectChunk("quad", VertexData({{-1, 2, 3}, {4, -5, 6}, {7, 8, -9}, {0, 0, 0}}), FaceData({{0, 1, 2}, {2, 1, 3}}),
                     {Chunk(0x4130, NameData("t"))}, TexData({{0.25f, 0.75f}, {1, 0}, {0, 1}}))}));
    StaticModelInfo info{};
    Get3DS_INFO(path.c_str(), &info, 0);
    ASSERT_EQ(info.objectCount, 1);

    TexCoordCapture texCoords;
    std::vector<PolyVertex> out(8, Sentinel());
    int32_t count = -1;
    BoundingBox box{};
    EXPECT_EQ(Get3DS_MESH(0, 0, out.data(), &count, &box, 0), 6);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(out[6].u, kSentinel);  // nothing past the six corners
    const StaticObject &o = model().objects[0];
    const int32_t order[6] = {0, 1, 2, 2, 1, 3};
    for (int i = 0; i < 6; ++i) {
        const int32_t vi = order[i];
        EXPECT_EQ(out[i].position.x, o.vertices[vi].x) << i;
        EXPECT_EQ(out[i].position.z, o.vertices[vi].z) << i;
        EXPECT_EQ(out[i].normal.y, o.normals[vi].y) << i;
    }
    // Per-vertex coordinates: corner 0 is (0.25, 0.75) -> u 0.25, v -0.75 in both pairs.
    EXPECT_EQ(out[0].u, 0.25f);
    EXPECT_EQ(out[0].v, -0.75f);
    EXPECT_EQ(out[0].u2, 0.25f);
    EXPECT_EQ(out[0].v2, -0.75f);
    EXPECT_EQ(out[3].u, 0.0f);
    EXPECT_EQ(out[3].v, -1.0f);
    // Vertex 3 has no coordinate: fields untouched and no call for it.
    EXPECT_EQ(out[5].u, kSentinel);
    EXPECT_EQ(out[5].v2, kSentinel);
    ASSERT_EQ(texCoords.calls().size(), 5u);
    EXPECT_EQ(texCoords.calls()[0].u, 0.25f);
    EXPECT_EQ(texCoords.calls()[0].v, 0.75f);
    EXPECT_EQ(texCoords.calls()[4].u, 1.0f);  // corner 4 = vertex 1

    EXPECT_EQ(box.minX, -1.0f);
    EXPECT_EQ(box.minY, -5.0f);
    EXPECT_EQ(box.minZ, -9.0f);
    EXPECT_EQ(box.maxX, 7.0f);
    EXPECT_EQ(box.maxY, 8.0f);
    EXPECT_EQ(box.maxZ, 6.0f);
}

TEST_F(StaticMeshExports, MeshWithoutObjectOrFacesLeavesTheInitialBox) {
    BoundingBox box{};
    int32_t count = -1;
    PolyVertex v = Sentinel();
    EXPECT_EQ(Get3DS_MESH(0, 0, &v, &count, &box, 0), 0);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(box.minX, 9999999.0f);
    EXPECT_EQ(box.minZ, 9999999.0f);
    EXPECT_EQ(box.maxY, -9999999.0f);
    EXPECT_EQ(box.maxZ, -9999999.0f);
    EXPECT_EQ(Get3DS_MESHPOLY(nullptr, &count, 0), 0);
    EXPECT_EQ(count, -1);

    const std::string path = Write3ds(File3ds({ObjectChunk("empty", VertexData({{1, 1, 1}}), FaceData({})),
                                               ObjectChunk("tri", VertexData({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                                           FaceData({{0, 1, 2}}))}));
    StaticModelInfo info{};
    Get3DS_INFO(path.c_str(), &info, 0);
    box = {};
    EXPECT_EQ(Get3DS_MESH(0, 0, &v, &count, &box, 0), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(box.maxX, -9999999.0f);
    for (int32_t bad : {2, -1, 1 << 30}) {
        count = -1;
        box = {};
        EXPECT_EQ(Get3DS_MESH(0, bad, &v, &count, &box, 0), 0);
        EXPECT_EQ(count, -1);
        EXPECT_EQ(box.minY, 9999999.0f);
        EXPECT_EQ(v.u, kSentinel);
    }
}

TEST_F(StaticMeshExports, UntexturedObjectsLeaveTextureFieldsAndMakeNoCall) {
    // Coordinates present but no textured material: not exported.
    const std::string path = Write3ds(File3ds({ObjectChunk("tri", VertexData({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                                           FaceData({{0, 1, 2}}), {}, TexData({{1, 1}, {1, 1}, {1, 1}}))}));
    StaticModelInfo info{};
    Get3DS_INFO(path.c_str(), &info, 0);
    TexCoordCapture texCoords;
    std::vector<PolyVertex> out(3, Sentinel());
    EXPECT_EQ(Get3DS_MESH(0, 0, out.data(), nullptr, nullptr, 0), 3);
    for (const PolyVertex &v : out) {
        EXPECT_EQ(v.u, kSentinel);
        EXPECT_EQ(v.v, kSentinel);
        EXPECT_EQ(v.u2, kSentinel);
        EXPECT_EQ(v.v2, kSentinel);
    }
    EXPECT_EQ(out[1].position.x, 1.0f);
    EXPECT_TRUE(texCoords.calls().empty());
}

TEST_F(StaticMeshExports, ObjTexturesFollowEachCornersOwnIndex) {
    // Texture indices differ from vertex indices; the second face has a
    // corner with no texture index.
    const std::string path = WriteText("t.obj",
                                       "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.1 0.2\nvt 0.3 0.4\nvt 0.5 0.6\n"
                                       "f 1/3 2/1 3/2\nf 3/1 2//1 1/3\n");
    StaticModelInfo info{};
    Get3DS_INFO(path.c_str(), &info, 1);
    TexCoordCapture texCoords;
    std::vector<PolyVertex> out(6, Sentinel());
    ASSERT_EQ(Get3DS_MESH(0, 0, out.data(), nullptr, nullptr, 0), 6);
    EXPECT_FLOAT_EQ(out[0].u, 0.5f);
    EXPECT_FLOAT_EQ(out[0].v, -0.6f);
    EXPECT_FLOAT_EQ(out[1].u, 0.1f);
    EXPECT_FLOAT_EQ(out[2].v2, -0.4f);
    EXPECT_FLOAT_EQ(out[3].u, 0.1f);
    EXPECT_EQ(out[4].u, kSentinel);
    EXPECT_FLOAT_EQ(out[5].u, 0.5f);
    ASSERT_EQ(texCoords.calls().size(), 5u);
    EXPECT_FLOAT_EQ(texCoords.calls()[0].v, 0.6f);
    EXPECT_FLOAT_EQ(texCoords.calls()[4].u, 0.5f);
}

TEST_F(StaticMeshExports, PolysCoverAllObjectsInOrderWithTagMinusOne) {
    const std::string path = WriteText(
        "two.obj",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0.25 0.75\nf 1/1 2/1 3/1\nf 2/1 4/1 3/1\nf 1/1 4/1 3/1\n"
        "v 5 0 0\nv 6 0 0\nv 5 1 0\nv 6 1 1\nf 5 6 7\nf 6 8 7\nf 5 8 7\nf 7 6 5\n");
    StaticModelInfo info{};
    Get3DS_INFO(path.c_str(), &info, 1);
    ASSERT_EQ(info.objectCount, 2);
    TexCoordCapture texCoords;
    std::vector<Poly> polys(9);
    for (Poly &p : polys) {
        p.word = 0xDEADBEEF;
        p.tag = 77;
        for (PolyVertex &c : p.corner) c = Sentinel();
    }
    int32_t count = -1;
    EXPECT_EQ(Get3DS_MESHPOLY(polys.data(), &count, 0), 7);
    EXPECT_EQ(count, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(polys[i].tag, -1);
        EXPECT_EQ(polys[i].word, 0xDEADBEEFu);
    }
    EXPECT_EQ(polys[7].tag, 77);
    EXPECT_EQ(polys[1].corner[1].position.x, 1.0f);  // vertex 4 of object 0
    EXPECT_EQ(polys[0].corner[0].u, 0.25f);
    EXPECT_EQ(polys[0].corner[0].v2, -0.75f);
    EXPECT_EQ(polys[4].corner[1].position.z, 1.0f);  // vertex 8 of object 1
    EXPECT_EQ(polys[6].corner[0].position.x, 5.0f);
    EXPECT_EQ(polys[6].corner[2].position.x, 5.0f);
    EXPECT_EQ(polys[3].corner[0].u, kSentinel);  // second object untextured
    EXPECT_EQ(polys[3].corner[0].normal.z, model().objects[1].normals[0].z);
    EXPECT_EQ(polys[3].corner[2].normal.x, model().objects[1].normals[2].x);
    EXPECT_TRUE(texCoords.calls().empty());
}

TEST_F(StaticMeshExports, MaterialCopiesColourReservedAndTextureName) {
    StaticMaterialInfo info;
    char texture[255];
    std::memset(&info, 0xAB, sizeof info);
    std::memset(texture, 'x', sizeof texture);
    Get3DS_MATERIAL(0, 0, &info, texture, 0);  // nothing loaded
    EXPECT_EQ(info.red, 0xAB);
    EXPECT_EQ(texture[0], 'x');

    const std::string path = Write3ds(File3ds({MaterialChunk("a", "brick.tga", 11, 22, 33), MaterialChunk("b", {}, 4, 5, 6)}));
    StaticModelInfo counts{};
    Get3DS_INFO(path.c_str(), &counts, 0);
    ASSERT_EQ(counts.materialCount, 2);
    Get3DS_MATERIAL(0, 0, &info, texture, 0);
    EXPECT_EQ(info.red, 11);
    EXPECT_EQ(info.green, 22);
    EXPECT_EQ(info.blue, 33);
    EXPECT_EQ(info.unused, 0xAB);
    EXPECT_EQ(info.reserved, 0);
    EXPECT_STREQ(texture, "brick.tga");
    EXPECT_EQ(texture[10], 'x');
    Get3DS_MATERIAL(0, 1, &info, texture, 0);
    EXPECT_EQ(info.blue, 6);
    EXPECT_EQ(texture[0], '\0');
    EXPECT_EQ(texture[1], 'r');  // a single NUL written
    for (int32_t bad : {2, -1}) {
        std::memset(&info, 0xCD, sizeof info);
        texture[0] = 'q';
        Get3DS_MATERIAL(0, bad, &info, texture, 0);
        EXPECT_EQ(info.red, 0xCD);
        EXPECT_EQ(texture[0], 'q');
    }
}

// ---------------------------------------------------------------------------
// Real files against independent readers.

struct RefObject {
    std::string name;
    std::vector<Vector3> vertices;
    std::vector<TexCoord> texCoords;
    std::vector<std::array<int, 3>> faces, texFaces;
};

// Minimal 3DS reader: proper nesting, only the chunks compared here.
void Walk3ds(const Bytes &b, size_t begin, size_t end, std::vector<RefObject> &objects,
             std::vector<std::pair<std::string, std::string>> &materials) {
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); };
    auto f32 = [&](size_t at) {
        float f;
        std::memcpy(&f, &b[at], 4);
        return f;
    };
    for (size_t at = begin; at + 6 <= end;) {
        const uint16_t id = u16(at);
        uint32_t length;
        std::memcpy(&length, &b[at + 2], 4);
        const size_t data = at + 6, next = at + length;
        switch (id) {
            case 0x4D4D: case 0x3D3D: case 0x4100: case 0xA200: Walk3ds(b, data, next, objects, materials); break;
            case 0xAFFF: materials.emplace_back(); Walk3ds(b, data, next, objects, materials); break;
            case 0xA000: materials.back().first = reinterpret_cast<const char *>(&b[data]); break;
            case 0xA300: materials.back().second = reinterpret_cast<const char *>(&b[data]); break;
            case 0x4000: {
                objects.emplace_back();
                objects.back().name = reinterpret_cast<const char *>(&b[data]);
                Walk3ds(b, data + objects.back().name.size() + 1, next, objects, materials);
                break;
            }
            case 0x4110:
                for (int i = 0, n = u16(data); i < n; ++i)
                    objects.back().vertices.push_back({f32(data + 2 + 12 * i), f32(data + 6 + 12 * i), f32(data + 10 + 12 * i)});
                break;
            case 0x4140:
                for (int i = 0, n = u16(data); i < n; ++i)
                    objects.back().texCoords.push_back({f32(data + 2 + 8 * i), f32(data + 6 + 8 * i)});
                break;
            case 0x4120:
                for (int i = 0, n = u16(data); i < n; ++i)
                    objects.back().faces.push_back({u16(data + 2 + 8 * i), u16(data + 4 + 8 * i), u16(data + 6 + 8 * i)});
                break;
            default: break;
        }
        at = next;
    }
}

// Minimal OBJ reader for single-object files: v, vt and the first three corners.
RefObject ReadObjReference(const std::string &path) {
    const Bytes bytes = ReadAll(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    RefObject o;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "v") {
            Vector3 v;
            words >> v.x >> v.y >> v.z;
            o.vertices.push_back(v);
        } else if (key == "vt") {
            TexCoord t;
            words >> t.u >> t.v;
            o.texCoords.push_back(t);
        } else if (key == "f") {
            std::array<int, 3> f{}, t{};
            for (int k = 0; k < 3; ++k) {
                std::string corner;
                words >> corner;
                f[k] = std::stoi(corner) - 1;
                const size_t slash = corner.find('/');
                t[k] = slash != std::string::npos && corner[slash + 1] != '/' ? std::stoi(corner.substr(slash + 1)) - 1 : -1;
            }
            o.faces.push_back(f);
            o.texFaces.push_back(t);
        }
    }
    return o;
}

// Minimal ASE reader: objects' statements in file order, materials' tiling.
struct AseRef {
    std::vector<RefObject> objects;
    std::vector<int> materialRef;
    std::vector<std::pair<float, float>> tiling;
};
AseRef ReadAseReference(const std::string &path) {
    const Bytes bytes = ReadAll(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    AseRef ref;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string key;
        w >> key;
        if (key == "*MATERIAL") ref.tiling.emplace_back(0.0f, 0.0f);
        else if (key == "*UVW_U_TILING") w >> ref.tiling.back().first;
        else if (key == "*UVW_V_TILING") w >> ref.tiling.back().second;
        else if (key == "*GEOMOBJECT") {
            ref.objects.emplace_back();
            ref.materialRef.push_back(-1);
        } else if (key == "*MATERIAL_REF") w >> ref.materialRef.back();
        else if (key == "*MESH_VERTEX") {
            int i;
            float a, b, c;
            w >> i >> a >> b >> c;
            ref.objects.back().vertices.resize(i + 1);
            ref.objects.back().vertices[i] = {a, c, -b};
        } else if (key == "*MESH_TVERT") {
            int i;
            TexCoord t;
            w >> i >> t.u >> t.v;
            ref.objects.back().texCoords.resize(i + 1);
            ref.objects.back().texCoords[i] = t;
        } else if (key == "*MESH_FACE" || key == "*MESH_TFACE") {
            std::string index, label;
            std::array<int, 3> f{};
            w >> index;
            if (key == "*MESH_FACE") {
                w >> label >> f[0] >> label >> f[1] >> label >> f[2];
                ref.objects.back().faces.push_back(f);
            } else {
                w >> f[0] >> f[1] >> f[2];
                ref.objects.back().texFaces.push_back(f);
            }
        }
    }
    return ref;
}

// Exports one object through Get3DS_MESH and compares every corner.
void CompareMesh(int32_t index, const RefObject &ref, bool textured, float uScale, float vScale) {
    std::vector<PolyVertex> out(ref.faces.size() * 3 + 1, Sentinel());
    int32_t count = -1;
    BoundingBox box{};
    ASSERT_EQ(Get3DS_MESH(0, index, out.data(), &count, &box, 0), static_cast<int32_t>(ref.faces.size() * 3));
    float minY = 9999999.0f;
    for (size_t f = 0; f < ref.faces.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const PolyVertex &v = out[f * 3 + k];
            const Vector3 &p = ref.vertices.at(ref.faces[f][k]);
            ASSERT_EQ(v.position.x, p.x) << f << "," << k;
            ASSERT_EQ(v.position.y, p.y) << f << "," << k;
            ASSERT_EQ(v.position.z, p.z) << f << "," << k;
            minY = std::min(minY, p.y);
            const float len = std::sqrt(v.normal.x * v.normal.x + v.normal.y * v.normal.y + v.normal.z * v.normal.z);
            ASSERT_TRUE(std::fabs(len - 1.0f) < 1e-4f || len == 0.0f);
            if (!textured) {
                ASSERT_EQ(v.u, kSentinel);
                continue;
            }
            const int t = ref.texFaces.empty() ? ref.faces[f][k] : ref.texFaces[f][k];
            if (t < 0) {
                ASSERT_EQ(v.u, kSentinel);
                continue;
            }
            ASSERT_FLOAT_EQ(v.u, ref.texCoords.at(t).u * uScale) << f << "," << k;
            ASSERT_FLOAT_EQ(v.v, -ref.texCoords.at(t).v * vScale) << f << "," << k;
            ASSERT_EQ(v.u2, v.u);
            ASSERT_EQ(v.v2, v.v);
        }
    EXPECT_EQ(count, static_cast<int32_t>(ref.faces.size() * 3));
    EXPECT_EQ(out.back().u, kSentinel);
    if (!ref.faces.empty()) {
        EXPECT_EQ(box.minY, minY);
    }
}

TEST_F(StaticMeshExports, Real3dsFilesMatchAnIndependentReader) {
    for (const char *file : {"assimp/3DS/test1.3ds", "assimp/3DS/cubes_with_alpha.3DS"}) {
        SCOPED_TRACE(file);
        TheStaticModel().Clear();
        const std::string path = DataPath(file);
        std::vector<RefObject> objects;
        std::vector<std::pair<std::string, std::string>> materials;
        const Bytes bytes = ReadAll(path);
        Walk3ds(bytes, 0, bytes.size(), objects, materials);
        StaticModelInfo info{};
        Get3DS_INFO(path.c_str(), &info, 0);
        ASSERT_EQ(info.objectCount, static_cast<int32_t>(objects.size()));
        ASSERT_EQ(info.materialCount, static_cast<int32_t>(materials.size()));
        for (size_t m = 0; m < materials.size(); ++m) {
            StaticMaterialInfo mi{};
            char texture[255];
            Get3DS_MATERIAL(0, static_cast<int32_t>(m), &mi, texture, 0);
            EXPECT_EQ(materials[m].second, texture);
            EXPECT_EQ(materials[m].first, model().materials[m].name);
        }
        for (size_t i = 0; i < objects.size(); ++i) {
            EXPECT_EQ(objects[i].name, model().objects[i].name);
            CompareMesh(static_cast<int32_t>(i), objects[i], model().objects[i].hasTexture, 1.0f, 1.0f);
        }
        // At least one textured object in each file.
        bool anyTextured = false;
        for (const StaticObject &o : model().objects) anyTextured = anyTextured || o.hasTexture;
        EXPECT_TRUE(anyTextured);
    }
}

TEST_F(StaticMeshExports, RealObjFilesMatchAnIndependentReader) {
    for (const char *file : {"assimp/OBJ/spider.obj", "assimp/OBJ/WusonOBJ.obj"}) {
        SCOPED_TRACE(file);
        TheStaticModel().Clear();
        const std::string path = DataPath(file);
        const RefObject ref = ReadObjReference(path);
        StaticModelInfo info{};
        Get3DS_INFO(path.c_str(), &info, 1);
        ASSERT_EQ(info.objectCount, 1);
        EXPECT_EQ(model().objects[0].vertexCount, static_cast<int32_t>(ref.vertices.size()));
        EXPECT_EQ(model().objects[0].texCoordCount, static_cast<int32_t>(ref.texCoords.size()));
        ASSERT_GT(ref.faces.size(), 1000u);
        CompareMesh(0, ref, true, 1.0f, 1.0f);
    }
}

TEST_F(StaticMeshExports, RealAseFilesMatchAnIndependentReader) {
    for (const char *file : {"assimp/ASE/ThreeCubesGreen.ASE", "assimp/ASE/TestUVTransform/UVTransform_ScaleUV2x.ASE",
                             "assimp/ASE/RotatingCube.ASE"}) {
        SCOPED_TRACE(file);
        const std::string path = DataPath(file);
        const AseRef ref = ReadAseReference(path);
        StaticModelInfo info{};
        Get3DS_INFO(path.c_str(), &info, 2);
        ASSERT_EQ(info.objectCount, static_cast<int32_t>(ref.objects.size()));
        ASSERT_EQ(info.materialCount, static_cast<int32_t>(ref.tiling.size()));
        for (size_t i = 0; i < ref.objects.size(); ++i) {
            float u = 1.0f, v = 1.0f;
            if (ref.materialRef[i] >= 0) std::tie(u, v) = ref.tiling.at(ref.materialRef[i]);
            CompareMesh(static_cast<int32_t>(i), ref.objects[i], !ref.objects[i].texCoords.empty(), u, v);
        }
    }
    // Material names as the quoted-value rule stores them.
    Get3DS_INFO(DataPath("assimp/ASE/ThreeCubesGreen.ASE").c_str(), nullptr, 2);
    ASSERT_EQ(model().materialCount, 3);
    EXPECT_STREQ(model().materials[0].name, "0");  // "02 - Default"
    EXPECT_EQ(model().materials[0].diffuse[0], 0.6510f);
    EXPECT_EQ(model().materials[0].diffuse[1], 0.2902f);
}

// Every 3DS, OBJ and ASE file of the package, the invalid ones included,
// through all four exports.
TEST_F(StaticMeshExports, EveryPackageFileLoadsThroughTheExports) {
    MessageCapture quiet;
    TexCoordCapture texCoords;
    int files = 0;
    const std::filesystem::path root = DataPath("assimp");
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string ext = entry.path().extension().string();
        for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string dir = entry.path().parent_path().filename().string();
        int32_t type = -1;
        if (ext == ".3ds" || (dir == "3DS" && ext.empty())) type = 0;
        else if (ext == ".obj") type = 1;
        else if (ext == ".ase" || (dir == "ASE" && ext.empty())) type = 2;
        if (type < 0 || !entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().string());
        TheStaticModel().Clear();
        StaticModelInfo info{-1, -1};
        Get3DS_INFO(entry.path().c_str(), &info, type);
        ASSERT_GE(info.objectCount, 0);
        int32_t total = 0;
        for (int32_t i = 0; i < info.objectCount; ++i) {
            std::vector<PolyVertex> out(static_cast<size_t>(model().objects[i].faceCount) * 3 + 1);
            int32_t count = 0;
            BoundingBox box;
            total += Get3DS_MESH(0, i, out.data(), &count, &box, 0);
        }
        std::vector<Poly> polys(static_cast<size_t>(total / 3) + 1);
        int32_t count = -1;
        EXPECT_EQ(Get3DS_MESHPOLY(polys.data(), &count, 0) * 3, info.objectCount > 0 ? total : 0);
        for (int32_t m = 0; m < info.materialCount; ++m) {
            StaticMaterialInfo mi;
            char texture[255];
            Get3DS_MATERIAL(0, m, &mi, texture, 0);
            EXPECT_LT(std::strlen(texture), 255u);
        }
        ++files;
    }
    EXPECT_GE(files, 45);
}

// The library loaded by name, as a host does: the four exports resolve and work.
TEST(StaticMeshHost, ExportsAnswerThroughTheBoundary) {
    VeskModule lib = VeskOpen(VeskLibraryName());
    ASSERT_NE(lib, nullptr) << VeskLibraryName() << ": " << dlerror();
    using Info = void(VESK_CALL *)(const char *, StaticModelInfo *, int32_t);
    using Mesh = int32_t(VESK_CALL *)(int32_t, int32_t, PolyVertex *, int32_t *, BoundingBox *, int32_t);
    using Polys = int32_t(VESK_CALL *)(Poly *, int32_t *, int32_t);
    using Material = void(VESK_CALL *)(int32_t, int32_t, StaticMaterialInfo *, char *, int32_t);
    const auto info = VeskResolve<Info>(lib, "Get3DS_INFO");
    const auto mesh = VeskResolve<Mesh>(lib, "Get3DS_MESH");
    const auto polys = VeskResolve<Polys>(lib, "Get3DS_MESHPOLY");
    const auto material = VeskResolve<Material>(lib, "Get3DS_MATERIAL");
    ASSERT_TRUE(info && mesh && polys && material);
    StaticModelInfo counts{-1, -1};
    info("none", &counts, 3);
    EXPECT_EQ(counts.objectCount, 0);
    EXPECT_EQ(counts.materialCount, 0);
    info(DataPath("assimp/3DS/test1.3ds").c_str(), &counts, 0);
    EXPECT_EQ(counts.objectCount, 9);
    EXPECT_EQ(counts.materialCount, 3);
    std::vector<PolyVertex> out(36);
    int32_t count = 0;
    BoundingBox box{};
    EXPECT_EQ(mesh(0, 0, out.data(), &count, &box, 0), 36);
    EXPECT_LT(box.minX, box.maxX);
    std::vector<Poly> all(108);
    EXPECT_EQ(polys(all.data(), &count, 0), 108);
    EXPECT_EQ(all[107].tag, -1);
    StaticMaterialInfo mi{};
    char texture[255];
    material(0, 0, &mi, texture, 0);
    EXPECT_STREQ(texture, "IMAGE1.JPG");
    VeskClose(lib);
}

}  // namespace
}  // namespace vesk
