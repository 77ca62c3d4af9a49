// Q3 BSP levels on small maps built byte by byte: conversion, counts,
// visibility rules, report order, the sphere test and refused damage.
#include <VeskMathLIB.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "level/q3bsp.h"
#include "level/q3bsp_test_util.h"
#include "support/test_support.h"

namespace vesk::test {
namespace {

// Two planes split the host space: x >= 0 is leaf 0; otherwise z <= 0 is
// leaf 1 and z > 0 leaf 2 (the second plane is the file's y = 0, whose normal
// (0, 1, 0) becomes (0, 0, -1)). Faces: types 1, 1, 2 (a 3 x 3 patch), 3, 4, 1; leaf 0 lists
// faces 0, 1, 5; leaf 1 lists 5, 2, 3; leaf 2 lists 4, 0.
MapBuilder BaseMap(int32_t cluster0 = 0, int32_t cluster1 = 1, int32_t cluster2 = -1) {
    MapBuilder m;
    m.planes = {{{1, 0, 0}, 0}, {{0, 1, 0}, 0}};
    m.nodes = {{0, ~0, 1, {-1, -2, -3}, {4, 5, 6}}, {1, ~1, ~2, {7, 8, 9}, {10, 11, 12}}};
    for (int32_t type : {1, 1, 2, 3, 4, 1}) m.AddFace(type, type == 2 ? 9 : 3);
    m.AddLeaf(cluster0, {0, 1, 5});
    m.AddLeaf(cluster1, {5, 2, 3});
    m.AddLeaf(cluster2, {4, 0});
    m.Visibility(2, 1);
    m.See(0, 0), m.See(0, 1), m.See(1, 0), m.See(1, 1);
    return m;
}

std::string Save(const std::string &name, const MapBuilder &m) { return WriteTemp(name, m.Build()); }

bool Load(const std::string &path) {
    return GetQ3BSP_INFO(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != 0;
}

std::vector<intptr_t> Process2(const Vector3 &camera, const Frustum &frustum = OpenFrustum()) {
    Reported().clear();
    GetQ3BSP_Process2(&camera, &frustum, &kRecordCell);
    return Reported();
}

std::vector<intptr_t> ProcessEX(const Vector3 &camera, const MapBuilder &m, const uint8_t *rows) {
    // The host's copies, as GetQ3BSP_INFO hands them over.
    int32_t counts[7];
    const std::string path = Save("ex.bsp", m);
    EXPECT_TRUE(VeskGetQ3BSP_Counts(path.c_str(), counts));
    std::vector<Q3BspLeaf> leaves(static_cast<size_t>(counts[2]));
    std::vector<int32_t> leafFaces(static_cast<size_t>(counts[3]));
    std::vector<Q3BspNode> nodes(static_cast<size_t>(counts[4]));
    std::vector<Q3BspPlane> planes(static_cast<size_t>(counts[5]));
    EXPECT_TRUE(GetQ3BSP_INFO(path.c_str(), nullptr, nullptr, leaves.data(), leafFaces.data(), nodes.data(),
                              planes.data(), nullptr));
    Reported().clear();
    EXPECT_EQ(GetQ3BSP_ProcessEX(&camera, 0, counts[2], leaves.data(), leafFaces.data(), nodes.data(),
                                 planes.data(), rows, m.bytesPerCluster, &kRecordCell),
              0);
    return Reported();
}

using Faces = std::vector<intptr_t>;
const Vector3 kInLeaf0{5, 0, 0}, kInLeaf1{-5, 0, -5}, kInLeaf2{-5, 0, 5};

TEST(Q3BspSmall, ConversionOfTheStoredRecords) {
    MapBuilder m = BaseMap();
    m.leaves[0].mins[0] = 0, m.leaves[0].mins[1] = 10, m.leaves[0].mins[2] = 20;
    m.leaves[0].maxs[0] = 5, m.leaves[0].maxs[1] = 30, m.leaves[0].maxs[2] = 40;
    m.leaves[1].mins[1] = INT32_MIN;  // the one y without a negative saturates
    m.vertices[0] = {{1, 2, 3}, {0.25f, 0.5f}, {0.125f, 0.75f}, {0.5f, 0.25f, 1.0f}, {1, 2, 3, 4}};
    m.planes[1] = {{0.6f, 0.8f, 0.0f}, 7.5f};
    const int32_t counts[7] = {24, 6, 3, 8, 2, 2, 2};
    Q3Arrays a;
    ASSERT_TRUE(InfoIntoArrays(Save("conv.bsp", m), counts, 0, 0, a));
    const auto *leaves = reinterpret_cast<const Q3BspLeaf *>(a[2].data());
    const auto *v = reinterpret_cast<const Q3BspVertex *>(a[0].data());
    const auto *plane = reinterpret_cast<const Q3BspPlane *>(a[5].data()) + 1;
    using I3 = std::vector<int32_t>;
    using F = std::vector<float>;
    EXPECT_EQ(I3(leaves[0].mins, leaves[0].mins + 3), (I3{0, 20, -10}));
    EXPECT_EQ(I3(leaves[0].maxs, leaves[0].maxs + 3), (I3{5, 40, -30}));
    EXPECT_EQ(leaves[1].mins[2], INT32_MAX);
    EXPECT_EQ((F{v->position.x, v->position.y, v->position.z, v->texCoord[0], v->texCoord[1]}), (F{1, 3, -2, 0.25f, -0.5f}));
    EXPECT_EQ(std::memcmp(&v->lightmapCoord, &m.vertices[0].light, 8 + 12 + 4), 0) << "lightmap, normal, colour kept";
    EXPECT_EQ((F{plane->normal.x, plane->normal.y, plane->normal.z, plane->distance}), (F{0.6f, 0.0f, -0.8f, 7.5f}));
    EXPECT_EQ(std::memcmp(a[4].data(), m.nodes.data(), a[4].size()), 0) << "node boxes as stored";
    EXPECT_EQ(std::memcmp(a[1].data(), m.faces.data(), a[1].size()), 0) << "faces as stored";
    EXPECT_EQ(std::memcmp(a[3].data(), m.leafFaces.data(), a[3].size()), 0);
    EXPECT_EQ(a[6], m.rows);
    EXPECT_EQ((I3{leaves[2].firstLeafFace, leaves[2].leafFaceCount, leaves[2].cluster}), (I3{6, 2, -1}));
}

TEST(Q3BspSmall, RemaindersAreDroppedAndNothingIsWrittenPastTheCounts) {
    MapBuilder m = BaseMap();
    for (int lump : {2, 3, 4, 5, 10, 13}) m.extraBytes[lump] = 3;
    m.extraBytes[16] = 5;  // visibility bytes past the rows are not rows
    const std::string path = Save("rem.bsp", m);
    int32_t counts[8];
    std::fill(std::begin(counts), std::end(counts), -7);
    ASSERT_TRUE(VeskGetQ3BSP_Counts(path.c_str(), counts));
    EXPECT_EQ(std::vector<int32_t>(counts, counts + 8), (std::vector<int32_t>{24, 6, 3, 8, 2, 2, 2, -7}));
    // Each host array gets its count of records and not one byte more.
    Q3Arrays arrays;
    ASSERT_TRUE(InfoIntoArrays(path, counts, 64, 0xA5, arrays));
    EXPECT_EQ(FirstTouchedTail(arrays, counts, 0xA5), -1);
}

TEST(Q3BspSmall, FaceBitsetHasOneWordPerThirtyTwoFacesPlusOne) {
    for (int faces : {0, 1, 31, 32, 33, 64}) {
        MapBuilder m = BaseMap();
        std::vector<int32_t> all;
        while (static_cast<int>(m.faces.size()) < faces) m.AddFace(1);
        m.faces.resize(static_cast<size_t>(faces));
        for (int32_t f = 0; f < faces; ++f) all.push_back(f);
        m.leafFaces.clear();
        for (RawLeaf &l : m.leaves) l.firstFace = 0, l.faceCount = 0;
        m.leaves[0].faceCount = faces;
        m.leafFaces = all;
        for (RawFace &f : m.faces) f.vertexCount() = 0, f.type() = 1, f.meshVertexCount() = 0;
        ASSERT_TRUE(Load(Save("bits.bsp", m))) << faces;
        EXPECT_EQ(CurrentQ3BspLevel().faceBits.size(), static_cast<size_t>(faces / 32 + 1)) << faces;
        // Every polygon face once, the last listed first.
        Faces want;
        for (int32_t f = faces; f-- > 0;) want.push_back(f);
        EXPECT_EQ(Process2(kInLeaf0), want) << faces;
        EXPECT_EQ(Process2(kInLeaf0), want) << "the bitset is cleared for every call";
    }
}

TEST(Q3BspSmall, VisibleFacesFollowClustersOrderAndTypes) {
    struct Case {
        const char *what;
        MapBuilder map;
        Vector3 camera;
        Faces process2, processEX;
    };
    MapBuilder bit7 = BaseMap();
    bit7.See(0, 7);  // a leaf without a cluster must not read this bit
    MapBuilder hidden = BaseMap();
    hidden.rows[0] = 0x01;  // cluster 0 sees only itself
    MapBuilder allNoCluster = BaseMap(-1, 1, -1);
    const Case cases[] = {
        {"camera in cluster 0", BaseMap(), kInLeaf0, {5, 1, 0}, {3, 2, 5, 5, 1, 0}},
        {"bit 7 of the camera row", bit7, kInLeaf0, {5, 1, 0}, {3, 2, 5, 5, 1, 0}},
        {"cluster 1 hidden from 0", hidden, kInLeaf0, {5, 1, 0}, {5, 1, 0}},
        {"camera without a cluster sees all", BaseMap(), kInLeaf2, {0, 5, 1}, {0, 4, 3, 2, 5, 5, 1, 0}},
        {"camera in cluster 1", BaseMap(), kInLeaf1, {5, 1, 0}, {3, 2, 5, 5, 1, 0}},
        {"camera leaf 0 without cluster", allNoCluster, kInLeaf0, {0, 5, 1}, {0, 4, 3, 2, 5, 5, 1, 0}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(Load(Save("vis.bsp", c.map))) << c.what;
        EXPECT_EQ(Process2(c.camera), c.process2) << c.what;
        EXPECT_EQ(ProcessEX(c.camera, c.map, c.map.rows.data()), c.processEX) << c.what;
    }
}

TEST(Q3BspSmall, MapWithoutVisibilityDataSeesEveryLeafInsideTheFrustum) {
    MapBuilder m = BaseMap();
    m.hasVisibility = false;
    m.leaves[0].maxs[0] = 1000, m.leaves[0].mins[0] = 0;
    m.leaves[1].mins[0] = -1000, m.leaves[1].maxs[0] = -1;
    m.leaves[2].mins[0] = -1000, m.leaves[2].maxs[0] = -1;
    m.leaves[1].cluster = 5;  // never looked up without rows
    const std::string path = Save("novis.bsp", m);
    int32_t counts[7];
    ASSERT_TRUE(VeskGetQ3BSP_Counts(path.c_str(), counts));
    EXPECT_EQ(counts[6], 0);
    uint8_t rows[4] = {9, 9, 9, 9};
    ASSERT_TRUE(GetQ3BSP_INFO(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, rows));
    EXPECT_EQ(rows[0], 9) << "no visibility bytes copied";
    EXPECT_EQ(Process2(kInLeaf0), (Faces{0, 5, 1}));
    Frustum right = OpenFrustum();
    right.plane[0] = {1, 0, 0, -0.5f};  // x > 0.5: only leaf 0's box has a corner inside
    EXPECT_EQ(Process2(kInLeaf0, right), (Faces{5, 1, 0}));
    EXPECT_EQ(ProcessEX(kInLeaf0, m, nullptr), (Faces{0, 4, 3, 2, 5, 5, 1, 0})) << "null rows: every leaf";
}

TEST(Q3BspSmall, ProcessCountsDownWithoutTheLevel) {
    const std::pair<int32_t, Faces> cases[] = {{3, {2, 1, 0}}, {1, {0}}, {0, {}}, {-4, {}}};
    for (const auto &[count, want] : cases) {
        Reported().clear();
        EXPECT_EQ(GetQ3BSP_Process(123, count, &kRecordCell), 0);
        EXPECT_EQ(Reported(), want) << count;
    }
}

// The cell is read before every call: a callback may redirect the next ones.
std::vector<int> g_calls;
VeskHostCallback g_cell = nullptr;
void VESK_CALL Second(intptr_t a) { g_calls.push_back(1000 + static_cast<int>(a)); }
void VESK_CALL First(intptr_t a) {
    g_calls.push_back(static_cast<int>(a));
    g_cell = &Second;
}

TEST(Q3BspSmall, CallbackCellIsReadAnewForEveryCall) {
    g_calls.clear();
    g_cell = &First;
    GetQ3BSP_Process(0, 3, &g_cell);
    EXPECT_EQ(g_calls, (std::vector<int>{2, 1001, 1000}));
}

TEST(Q3BspSmall, SphereAgainstThePlaneOfTheLastNode) {
    ASSERT_TRUE(Load(Save("coll.bsp", BaseMap())));
    struct Case {
        Vector3 center;
        float radius;
        int32_t want;
    };
    const Case cases[] = {
        {{-5, 0, 3}, 1.0f, 0},   {{-5, 0, 3}, 3.0f, 0},  // s = -3 at the second node: -r is behind
        {{-5, 0, 3}, 3.5f, 1},   {{-5, 0, 3}, 4.0f, 1},  // the root's plane (s = -5) would say behind
        {{2, 0, 0}, 2.0f, 2},    {{2, 0, 0}, 1.0f, 2},   {{2, 0, 0}, 2.5f, 1},
        {{2, 0, 0}, 0.0f, 2},    {{2, 0, 0}, -1.0f, 2},  {{0, 0, 0}, 0.0f, 2},  // on the plane, radius 0
        {{0, 0, 0}, -1.0f, 2},   {{-5, 0, -3}, 3.0f, 2}, {{-5, 0, -3}, 10.0f, 1},
        {{-5, 0, 3}, -1.0f, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(GetQ3BSP_Collision(&c.center, c.radius), c.want)
            << c.center.x << " " << c.center.y << " " << c.center.z << " r " << c.radius;
    // A zero or negative radius never intersects.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-20.0f, 20.0f), radius(-10.0f, 0.0f);
    for (int i = 0; i < 500; ++i) {
        const Vector3 c{coord(rng), coord(rng), coord(rng)};
        EXPECT_NE(GetQ3BSP_Collision(&c, radius(rng)), 1);
        EXPECT_NE(GetQ3BSP_Collision(&c, 0.0f), 1);
    }
}

TEST(Q3BspSmall, BeforeAnyLoadNothingIsReportedAndTheSphereIsInFront) {
    CurrentQ3BspLevel() = Q3BspLevel{};  // the state the library starts in
    EXPECT_TRUE(Process2(kInLeaf0).empty());
    const Vector3 c{0, 0, 0};
    EXPECT_EQ(GetQ3BSP_Collision(&c, 5.0f), 2);
}

TEST(Q3BspSmall, DescentEndsOnNodesThatLoop) {
    const Q3BspPlane planes[1] = {{{1, 0, 0}, 0}};
    const Q3BspNode loop[2] = {{0, 1, 1, {}, {}}, {0, 0, 0, {}, {}}};
    const Q3BspDescent d = DescendQ3Bsp(loop, planes, Vector3{1, 2, 3});
    EXPECT_EQ(d.leaf, -1);
}

TEST(Q3BspSmall, MissingFileIsReportedAndChangesNothing) {
    MessageCapture messages;
    ASSERT_TRUE(Load(Save("keep.bsp", BaseMap())));
    int32_t counts[7] = {-1, -1, -1, -1, -1, -1, -1};
    const std::string missing = (TempRoot() / "no-such.bsp").string();
    EXPECT_FALSE(VeskGetQ3BSP_Counts(missing.c_str(), counts));
    EXPECT_EQ(counts[0], -1);
    EXPECT_FALSE(Load(missing));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].caption + ": " + messages.messages()[0].text, "Error: Could not find BSP file!");
    EXPECT_EQ(Process2(kInLeaf0), (Faces{5, 1, 0})) << "the previous level stays";
}

TEST(Q3BspSmall, DamagedMapsAreRefusedBeforeAnythingChanges) {
    using Mutation = std::function<void(MapBuilder &)>;
    struct Case {
        const char *what;
        Mutation mutate;
    };
    const Case cases[] = {
        {"magic", [](MapBuilder &m) { m.magic[0] = 'X'; }},
        {"version 45", [](MapBuilder &m) { m.version = 45; }},
        {"node plane past the table", [](MapBuilder &m) { m.nodes[1].plane = 2; }},
        {"node plane negative", [](MapBuilder &m) { m.nodes[0].plane = -1; }},
        {"child node past the table", [](MapBuilder &m) { m.nodes[0].back = 2; }},
        {"child leaf past the table", [](MapBuilder &m) { m.nodes[1].back = ~3; }},
        {"nodes that loop", [](MapBuilder &m) { m.nodes[1].front = 0; }},
        {"leaf faces past the list", [](MapBuilder &m) { m.leaves[2].faceCount = 3; }},
        {"leaf first face negative", [](MapBuilder &m) { m.leaves[1].firstFace = -1; }},
        {"leaf face count negative", [](MapBuilder &m) { m.leaves[1].faceCount = -1; }},
        {"leaf face index past the faces", [](MapBuilder &m) { m.leafFaces[4] = 7; }},
        {"leaf face index negative", [](MapBuilder &m) { m.leafFaces[0] = -1; }},
        {"face vertices past the table", [](MapBuilder &m) { m.faces[5].vertexCount() = 4; }},
        {"face first vertex negative", [](MapBuilder &m) { m.faces[0].firstVertex() = -2; }},
        {"mesh vertices past the lump", [](MapBuilder &m) { m.faces[3].meshVertexCount() = 9; }},
        {"mesh first vertex negative", [](MapBuilder &m) { m.faces[0].firstMeshVertex() = -3; }},
        {"mesh vertex past its face", [](MapBuilder &m) { m.meshVertices[1] = 3; }},
        {"mesh vertex negative", [](MapBuilder &m) { m.meshVertices.back() = -1; }},
        {"texture past the lump", [](MapBuilder &m) { m.faces[1].fields[0] = 1; }},
        {"texture negative", [](MapBuilder &m) { m.faces[4].fields[0] = -1; }},
        {"lightmap past the lightmaps", [](MapBuilder &m) { m.faces[5].lightmap() = 0; }},
        {"patch width even", [](MapBuilder &m) { m.faces[2].patchSize()[0] = 4; }},
        {"patch height below 3", [](MapBuilder &m) { m.faces[2].patchSize()[1] = 1; }},
        {"patch past its vertices", [](MapBuilder &m) { m.faces[2].patchSize()[1] = 5; }},
        {"row shorter than the clusters", [](MapBuilder &m) { m.Visibility(9, 1); }},
        {"rows past the lump", [](MapBuilder &m) { m.rows.pop_back(); }},
        {"negative cluster count", [](MapBuilder &m) { m.clusterCount = -1, m.rows.clear(); }},
        {"visibility header cut", [](MapBuilder &m) { m.hasVisibility = false, m.extraBytes[16] = 4; }},
        {"leaf cluster past the clusters", [](MapBuilder &m) { m.leaves[0].cluster = 2; }},
        {"no nodes", [](MapBuilder &m) { m.nodes.clear(); }},
        {"no leaves", [](MapBuilder &m) { m.leaves.clear(); }},
    };
    const std::string previous = Save("prev.bsp", BaseMap());
    for (const Case &c : cases) {
        MapBuilder m = BaseMap();
        m.AddFace(1);  // a seventh face that the previous level does not have
        c.mutate(m);
        const std::string path = Save("damaged.bsp", m);
        ASSERT_TRUE(Load(previous));
        MessageCapture messages;
        int32_t counts[7] = {-1, -1, -1, -1, -1, -1, -1};
        EXPECT_FALSE(VeskGetQ3BSP_Counts(path.c_str(), counts)) << c.what;
        EXPECT_EQ(counts[0], -1) << c.what;
        std::vector<uint8_t> sentinel(4096, 0x5A);
        auto *raw = sentinel.data();
        EXPECT_FALSE(GetQ3BSP_INFO(path.c_str(), reinterpret_cast<Q3BspVertex *>(raw), reinterpret_cast<Q3BspFace *>(raw),
                                   reinterpret_cast<Q3BspLeaf *>(raw), reinterpret_cast<int32_t *>(raw),
                                   reinterpret_cast<Q3BspNode *>(raw), reinterpret_cast<Q3BspPlane *>(raw), raw))
            << c.what;
        EXPECT_EQ(std::count(sentinel.begin(), sentinel.end(), 0x5A), 4096) << c.what;
        ASSERT_EQ(messages.messages().size(), 1u) << c.what;
        EXPECT_EQ(messages.messages()[0].caption + ": " + messages.messages()[0].text,
                  "Error: Invalid file format (corrupt data): " + path + "!") << c.what;
        EXPECT_EQ(CurrentQ3BspLevel().faces.size(), 6u) << c.what << ": previous level kept";
        EXPECT_EQ(Process2(kInLeaf0), (Faces{5, 1, 0})) << c.what;
    }
    // The same map undamaged loads: the refusals above are the damage's doing.
    MapBuilder good = BaseMap();
    good.AddFace(1);
    EXPECT_TRUE(Load(Save("good.bsp", good)));
    EXPECT_EQ(CurrentQ3BspLevel().faces.size(), 7u);
}

TEST(Q3BspSmall, LumpDirectoryOutsideTheFileIsRefused) {
    const std::vector<uint8_t> good = BaseMap().Build();
    struct Case {
        int lump, field;  // field 0 offset, 1 length
        int64_t value;
    };
    const int64_t size = static_cast<int64_t>(good.size());
    const Case cases[] = {{3, 0, -4}, {3, 1, -36}, {4, 0, size}, {10, 1, size},
                          {0, 0, size + 1}, {16, 1, 1 << 30}, {13, 0, INT32_MAX}};
    for (const Case &c : cases) {
        std::vector<uint8_t> bytes = good;
        int32_t offset = 0, length = 0;
        std::memcpy(&offset, bytes.data() + 8 + 8 * c.lump, 4);
        std::memcpy(&length, bytes.data() + 12 + 8 * c.lump, 4);
        const int32_t value = static_cast<int32_t>(c.value);
        if (c.field == 0 && length == 0) length = 1;  // an empty lump at the end is still inside
        std::memcpy(bytes.data() + 8 + 8 * c.lump, c.field == 0 ? &value : &offset, 4);
        std::memcpy(bytes.data() + 12 + 8 * c.lump, c.field == 1 ? &value : &length, 4);
        Q3BspLayout layout;
        EXPECT_EQ(CheckQ3Bsp(bytes, layout), Q3BspStatus::Corrupt) << c.lump << " " << c.field << " " << c.value;
    }
    Q3BspLayout layout;
    EXPECT_EQ(CheckQ3Bsp(good, layout), Q3BspStatus::Ok);
    for (size_t cut = 0; cut < 8 + 17 * 8; cut += 7)
        EXPECT_EQ(CheckQ3Bsp(std::span(good.data(), cut), layout), Q3BspStatus::Corrupt) << cut;
}

}  // namespace
}  // namespace vesk::test
