#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "loaders/static_model.h"
#include "loaders/static_test_util.h"

namespace vesk {
namespace {

StaticObject Object(std::vector<Vector3> vertices, std::vector<StaticFace> faces) {
    StaticObject o;
    o.vertexCount = static_cast<int32_t>(vertices.size());
    o.faceCount = static_cast<int32_t>(faces.size());
    o.vertices = std::move(vertices);
    o.faces = std::move(faces);
    return o;
}

StaticFace Face(int32_t a, int32_t b, int32_t c) { return StaticFace{{a, b, c}, {0, 0, 0}}; }

void Add(StaticModel &model, StaticObject object) {
    model.objects.push_back(std::move(object));
    model.objectCount = static_cast<int32_t>(model.objects.size());
}

void ExpectVec(const Vector3 &v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

TEST(SmoothVertexNormals, NormalsPointAgainstTheCornerCrossProduct) {
    // P0 = (0,0,0), P1 = (1,0,0), P2 = (0,1,0): A x B = (0,0,-1), so (0,0,1).
    StaticModel model;
    Add(model, Object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {Face(0, 1, 2)}));
    SmoothVertexNormals(model);
    ASSERT_EQ(model.objects[0].normals.size(), 3u);
    for (const Vector3 &n : model.objects[0].normals) ExpectVec(n, 0, 0, 1);
}

TEST(SmoothVertexNormals, LargerFacesWeighMoreAndEachFaceCountsOncePerVertex) {
    // Vertex 0 is shared by a small face in the z = 0 plane and a face four
    // times its area in the x = 0 plane; the average leans toward the large one.
    StaticModel model;
    Add(model, Object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 0, 2}},
                      {Face(0, 1, 2), Face(0, 3, 4), Face(4, 4, 0)}));
    SmoothVertexNormals(model);
    const Vector3 n = model.objects[0].normals[0];
    // Face 0: (0,0,-1); face 1: A = (0,0,-2), B = (0,-2,2), A x B = (-4,0,0);
    // face 2 is degenerate (zero) but still counts once for vertex 0 and once for 4.
    // Sum (-4,0,-1) / -3, normalised.
    const float len = std::sqrt(17.0f);
    ExpectVec(n, 4.0f / len, 0.0f, 1.0f / len);
    // Vertex 4: faces 1 and 2 (the repeated 4 counts once): (-4,0,0)/-2 -> (1,0,0).
    ExpectVec(model.objects[0].normals[4], 1, 0, 0);
}

TEST(SmoothVertexNormals, UnusedAndCancellingVerticesGetZeroNotNaN) {
    StaticModel model;
    // Vertices 0..2 carry two opposite windings of one triangle; vertex 3 is unused.
    Add(model, Object({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}, {Face(0, 1, 2), Face(0, 2, 1)}));
    SmoothVertexNormals(model);
    for (const Vector3 &n : model.objects[0].normals) ExpectVec(n, 0, 0, 0);
}

// Every loaded face names vertices of its own object, and the arrays match
// the counts, whatever the input.
void ExpectConsistent(const StaticModel &model) {
    ASSERT_EQ(model.objects.size(), static_cast<size_t>(model.objectCount));
    ASSERT_EQ(model.materials.size(), static_cast<size_t>(model.materialCount));
    for (const StaticObject &o : model.objects) {
        ASSERT_EQ(o.vertices.size(), static_cast<size_t>(o.vertexCount));
        ASSERT_EQ(o.normals.size(), o.vertices.size());
        ASSERT_EQ(o.faces.size(), static_cast<size_t>(o.faceCount));
        ASSERT_EQ(o.texCoords.size(), static_cast<size_t>(o.texCoordCount));
        for (const StaticFace &f : o.faces)
            for (int32_t i : f.vertexIndex) ASSERT_TRUE(i >= 0 && i < o.vertexCount);
        for (const Vector3 &n : o.normals) ASSERT_FALSE(std::isnan(n.x) || std::isnan(n.y) || std::isnan(n.z));
    }
}

// The smoothing as documented, vertex by vertex over all faces in order; the
// loaders' one pass must give the same bits.
std::vector<Vector3> ReferenceNormals(const StaticObject &o) {
    std::vector<Vector3> out(o.vertices.size());
    for (size_t i = 0; i < o.vertices.size(); ++i) {
        Vector3 s{0, 0, 0};
        int c = 0;
        for (const StaticFace &f : o.faces) {
            const int32_t *x = f.vertexIndex;
            bool valid = true;
            for (int k = 0; k < 3; ++k) valid = valid && x[k] >= 0 && x[k] < o.vertexCount;
            if (!valid || (x[0] != static_cast<int32_t>(i) && x[1] != static_cast<int32_t>(i) &&
                           x[2] != static_cast<int32_t>(i)))
                continue;
            const Vector3 &p0 = o.vertices[static_cast<size_t>(x[0])], &p1 = o.vertices[static_cast<size_t>(x[1])],
                          &p2 = o.vertices[static_cast<size_t>(x[2])];
            const Vector3 a{p0.x - p2.x, p0.y - p2.y, p0.z - p2.z}, b{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z};
            s.x += a.y * b.z - a.z * b.y;
            s.y += a.z * b.x - a.x * b.z;
            s.z += a.x * b.y - a.y * b.x;
            ++c;
        }
        if (c == 0) continue;
        const float m = -static_cast<float>(c);
        const Vector3 v{s.x / m, s.y / m, s.z / m};
        const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        if (len > 0.0f && std::isfinite(len)) out[i] = Vector3{v.x / len, v.y / len, v.z / len};
    }
    return out;
}

TEST(SmoothVertexNormals, OnePassGivesTheBitsOfTheVertexByVertexSums) {
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> coord(-100.0f, 100.0f);
    for (int round = 0; round < 300; ++round) {
        const int32_t n = 1 + static_cast<int32_t>(rng() % 12);
        std::vector<Vector3> vertices(static_cast<size_t>(n));
        // Some rounds overflow the cross products (an infinite or NaN length
        // leaves the normal 0), some put the vertices in one plane.
        const float scale = round % 5 == 0 ? 1e18f : 1.0f;
        for (Vector3 &v : vertices) v = {coord(rng) * scale, coord(rng) * scale, round % 7 == 0 ? 1.0f : coord(rng)};
        std::vector<StaticFace> faces(rng() % 30);
        // Indices a little outside the object too, and repeated corners.
        for (StaticFace &f : faces)
            f = Face(static_cast<int32_t>(rng() % static_cast<uint32_t>(n + 1)) - (rng() % 16 == 0),
                     static_cast<int32_t>(rng() % static_cast<uint32_t>(n)),
                     static_cast<int32_t>(rng() % static_cast<uint32_t>(n)));
        StaticModel model;
        Add(model, Object(vertices, faces));
        const std::vector<Vector3> want = ReferenceNormals(model.objects[0]);
        SmoothVertexNormals(model);
        const std::vector<Vector3> &got = model.objects[0].normals;
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_TRUE(std::memcmp(&got[i], &want[i], sizeof(Vector3)) == 0) << "round " << round << " vertex " << i;
    }
}

// Real meshes (thousands of shared vertices): the same bits as the reference too.
TEST(SmoothVertexNormals, RealFilesGiveTheBitsOfTheVertexByVertexSums) {
    for (const char *file : {"assimp/3DS/fels.3ds", "assimp/OBJ/spider.obj"}) {
        StaticModel model;
        const std::string path = test::DataPath(file);
        ASSERT_TRUE(std::string(file).ends_with(".3ds") ? Load3ds(path.c_str(), model) : LoadObj(path.c_str(), model))
            << file;
        ASSERT_GT(model.objectCount, 0) << file;
        for (const StaticObject &object : model.objects) {
            const std::vector<Vector3> want = ReferenceNormals(object);
            ASSERT_EQ(object.normals.size(), want.size()) << file;
            for (size_t i = 0; i < want.size(); ++i)
                ASSERT_TRUE(std::memcmp(&object.normals[i], &want[i], sizeof(Vector3)) == 0) << file << " " << i;
        }
    }
}

// Random damage anywhere in real files of all three formats (fixed seed).
TEST(StaticLoaders, RandomlyDamagedFilesLoadConsistently) {
    test::MessageCapture quiet;
    std::mt19937 rng(12345);
    const test::Bytes threeDs = test::ReadAll(test::DataPath("assimp/3DS/test1.3ds"));
    const test::Bytes obj = test::ReadAll(test::DataPath("assimp/OBJ/spider.obj"));
    const test::Bytes ase = test::ReadAll(test::DataPath("assimp/ASE/RotatingCube.ASE"));
    const char noise[] = "0123456789 -./:*\"\n\tfvtAB";
    for (int round = 0; round < 300; ++round) {
        test::Bytes a = threeDs, b = obj, c = ase;
        for (int k = 0; k < 8; ++k) {
            a[rng() % a.size()] = static_cast<uint8_t>(rng());
            b[rng() % b.size()] = static_cast<uint8_t>(noise[rng() % (sizeof noise - 1)]);
            c[rng() % c.size()] = static_cast<uint8_t>(noise[rng() % (sizeof noise - 1)]);
        }
        StaticModel model;
        Parse3ds(a, "x.3ds", model);
        ExpectConsistent(model);
        ParseObjBytes(std::string(b.begin(), b.end()), model);
        ExpectConsistent(model);
        ParseAseBytes(std::string(c.begin(), c.end()), model);
        ExpectConsistent(model);
        if (HasFatalFailure()) return;
    }
}

template <class T>
bool SameBits(const std::vector<T> &a, const std::vector<T> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Loads of all three formats in a seeded order into one model. After every
// load: each object's normals are those of recomputing every object; each
// object of a 3DS load has the first held material of its file's name for
// it; an ASE load over a full model equals one into an empty model.
TEST(StaticLoaders, MixedLoadSequenceEqualsRecomputingEverything) {
    test::MessageCapture quiet;
    using test::Chunk;
    const auto object = [](const char *name, const char *material) {
        return test::ObjectChunk(name, test::VertexData({{0, 0, 0}, {1, 0, 2}, {0, 1, 0}, {3, 3, 1}}),
                                 test::FaceData({{0, 1, 2}, {1, 3, 2}}), {Chunk(0x4130, test::NameData(material))});
    };
    // Names repeat ("a" twice: the first wins) and meet the ASE file's "a".
    const std::string crafted3ds = test::WriteTemp(
        "mixed.3ds", test::File3ds({test::MaterialChunk("a", "a.tga"), test::MaterialChunk("b"), test::MaterialChunk("a"),
                                    object("o1", "a"), object("o2", "b"), object("o3", "none")}));
    const std::string craftedAse = "*MATERIAL_COUNT 2\n*MATERIAL 0 {\n*MATERIAL_NAME \"zz\"\n}\n"
                                   "*MATERIAL 1 {\n*MATERIAL_NAME \"a\"\n*BITMAP \"x.tga\"\n}\n"
                                   "*GEOMOBJECT {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n*MESH_VERTEX 0 0 0 0\n"
                                   "*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n*MESH_FACE 0: A: 0 B: 1 C: 2\n}\n";
    const std::string asePath = test::WriteTemp("mixed.ase", test::Bytes(craftedAse.begin(), craftedAse.end()));
    const std::pair<std::string, int32_t> files[] = {
        {test::DataPath("assimp/3DS/fels.3ds"), 0},        {test::DataPath("assimp/3DS/test1.3ds"), 0},
        {crafted3ds, 0},
        {test::DataPath("assimp/OBJ/spider.obj"), 1},      {test::DataPath("assimp/OBJ/box.obj"), 1},
        {test::DataPath("assimp/ASE/RotatingCube.ASE"), 2}, {test::DataPath("assimp/ASE/ThreeCubesGreen.ASE"), 2},
        {asePath, 2}};
    std::mt19937 rng(19);
    StaticModel model;
    for (int step = 0; step < 36; ++step) {
        const auto &[path, type] = files[rng() % std::size(files)];
        const std::string what = "step " + std::to_string(step) + " " + path;
        const int32_t before = model.objectCount;
        int32_t objects = 0, materials = 0;
        LoadStaticModelInfo(model, path.c_str(), type, objects, materials);
        StaticModel alone;
        LoadStaticModelInfo(alone, path.c_str(), type, objects, materials);
        const int32_t first = type == 2 ? 0 : before;
        ASSERT_EQ(model.objectCount - first, alone.objectCount) << what;
        for (int32_t i = 0; i < alone.objectCount; ++i) {
            const StaticObject &got = model.objects[static_cast<size_t>(first + i)];
            const StaticObject &own = alone.objects[static_cast<size_t>(i)];
            ASSERT_TRUE(SameBits(got.vertices, own.vertices) && SameBits(got.faces, own.faces) &&
                        SameBits(got.texCoords, own.texCoords) && std::strcmp(got.name, own.name) == 0)
                << what << " object " << i;
            if (type != 0 || own.materialIndex < 0 || alone.materialCount == 0) {
                EXPECT_TRUE(got.materialIndex == own.materialIndex && got.hasTexture == own.hasTexture)
                    << what << " object " << i;
                continue;
            }
            // The reference search over every held material in order (each
            // object of these files names one material).
            const char *name = alone.materials[static_cast<size_t>(own.materialIndex)].name;
            int32_t want = -1;
            for (int32_t m = 0; m < model.materialCount && want < 0; ++m)
                if (std::strcmp(model.materials[static_cast<size_t>(m)].name, name) == 0) want = m;
            EXPECT_EQ(got.materialIndex, want) << what << " object " << i;
            if (path == crafted3ds) {
                EXPECT_EQ(got.hasTexture, model.materials[static_cast<size_t>(want)].textureFile[0] != '\0') << what;
            }
        }
        StaticModel all;
        all.objects = model.objects;
        all.objectCount = model.objectCount;
        SmoothVertexNormals(all, 0);
        for (size_t i = 0; i < all.objects.size(); ++i)
            ASSERT_TRUE(SameBits(model.objects[i].normals, all.objects[i].normals)) << what << " object " << i;
    }
    EXPECT_GT(model.objectCount, 10);
}

}  // namespace
}  // namespace vesk
