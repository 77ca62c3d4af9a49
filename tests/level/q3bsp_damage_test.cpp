// Damaged real maps: cut at many lengths and with seeded byte changes. Each
// must be refused or load into a level whose walks stay inside its tables
// (run under ASan + UBSan in CI), and the counts query must agree with the load.
#include <VeskMathLIB.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "level/q3bsp.h"
#include "level/q3bsp_test_util.h"
#include "support/test_support.h"

namespace vesk::test {
namespace {

// Uses a level as a host would; every index it reports must be a face.
void Exercise(Q3BspLevel &level, std::mt19937 &rng) {
    std::uniform_real_distribution<float> coord(-4000.0f, 4000.0f);
    const Frustum open = OpenFrustum();
    for (int i = 0; i < 4; ++i) {
        const Vector3 p{coord(rng), coord(rng), coord(rng)};
        size_t reported = 0;
        WalkVisibleFaces(level, p, open, [&](int32_t face) {
            ASSERT_TRUE(face >= 0 && static_cast<size_t>(face) < level.faces.size());
            ++reported;
        });
        ASSERT_LE(reported, level.faces.size());
        const int32_t c = Q3BspCollision(level, p, 16.0f);
        ASSERT_TRUE(c >= 0 && c <= 2);
        const int32_t leaf = FindLeaf(level, p);
        ASSERT_TRUE(leaf >= 0 && static_cast<size_t>(leaf) < level.leaves.size());
    }
}

// Checks one damaged copy in memory; returns whether it loaded.
bool Try(const std::vector<uint8_t> &bytes, std::mt19937 &rng) {
    Q3BspLayout layout;
    if (CheckQ3Bsp(bytes, layout) != Q3BspStatus::Ok) return false;
    Q3BspLevel level;
    BuildQ3BspLevel(bytes, layout, level);
    const auto counts = layout.Counts();
    EXPECT_EQ(level.vertices.size(), static_cast<size_t>(counts[0]));
    EXPECT_EQ(level.faces.size(), static_cast<size_t>(counts[1]));
    EXPECT_EQ(level.leaves.size(), static_cast<size_t>(counts[2]));
    EXPECT_EQ(level.leafFaces.size(), static_cast<size_t>(counts[3]));
    EXPECT_EQ(level.nodes.size(), static_cast<size_t>(counts[4]));
    EXPECT_EQ(level.planes.size(), static_cast<size_t>(counts[5]));
    EXPECT_EQ(level.visRows.size(), static_cast<size_t>(counts[6]));
    EXPECT_EQ(level.meshVertices.size(), static_cast<size_t>(layout.meshVertices.count));
    EXPECT_EQ(level.textures.size(), static_cast<size_t>(layout.textures.count));
    EXPECT_EQ(level.lightmaps.size(), static_cast<size_t>(layout.lightmaps.count) * kQ3BspLightmapBytes);
    Exercise(level, rng);
    // What a host draws with stays inside the tables: mesh offsets, textures,
    // lightmaps, and every patch's grid.
    for (size_t i = 0; i < level.faces.size(); ++i) {
        const Q3BspFace &f = level.faces[i];
        EXPECT_TRUE(f.texture >= 0 && static_cast<size_t>(f.texture) < level.textures.size()) << i;
        EXPECT_LT(f.lightmap, level.lightmapCount) << i;
        if (f.type == 1 || f.type == 3)
            for (int32_t k = 0; k < f.meshVertexCount; ++k) {
                const int32_t m = level.meshVertices.at(static_cast<size_t>(f.firstMeshVertex + k));
                EXPECT_TRUE(m >= 0 && m < f.vertexCount) << i;
            }
        Q3BspPatchGrid grid;
        if (!PlanQ3BspPatch(level, static_cast<int32_t>(i), 2, grid)) {
            EXPECT_NE(f.type, 2) << i << ": a loaded patch tessellates";
            continue;
        }
        std::vector<Q3BspVertex> vertices(static_cast<size_t>(grid.vertexCount));
        std::vector<uint32_t> indices(static_cast<size_t>(grid.indexCount));
        TessellateQ3BspPatch(level, grid, vertices.data(), indices.data());
        EXPECT_TRUE(std::all_of(indices.begin(), indices.end(), [&](uint32_t k) { return k < vertices.size(); })) << i;
    }
    return true;
}

TEST(Q3BspDamage, CutMapsAreRefusedAtEveryLength) {
    for (const char *name : {"openarena/maps/oa_dm1.bsp", "openarena/maps/ctf_inyard.bsp"}) {
        const std::vector<uint8_t> whole = ReadAll(DataPath(name));
        const StoredMap map(whole);
        std::mt19937 rng(11);
        // Every lump's end, one byte either side, and a seeded spread.
        std::vector<size_t> cuts;
        for (int k = 0; k < 17; ++k)
            for (int64_t d : {-1, 0, 1}) cuts.push_back(static_cast<size_t>(std::max<int64_t>(0, int64_t{map.offset[k]} + map.length[k] + d)));
        for (size_t n = 0; n <= kQ3BspHeaderSize; n += 9) cuts.push_back(n);
        std::uniform_int_distribution<size_t> any(0, whole.size() - 1);
        for (int i = 0; i < 150; ++i) cuts.push_back(any(rng));
        size_t lumpsEnd = 0;
        for (int k = 0; k < 17; ++k) lumpsEnd = std::max(lumpsEnd, static_cast<size_t>(map.offset[k] + map.length[k]));
        for (size_t cut : cuts) {
            if (cut >= whole.size()) continue;
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
            // A cut before the end of the last lump loses part of it.
            EXPECT_EQ(Try(part, rng), cut >= lumpsEnd) << name << " cut at " << cut;
        }
        EXPECT_TRUE(Try(whole, rng)) << name << " whole";
    }
}

TEST(Q3BspDamage, ChangedBytesNeverReachOutsideTheTables) {
    for (const char *name : {"openarena/maps/oa_dm1.bsp", "openarena/maps/ctf_inyard.bsp", "openarena/maps/oa_spirit3.bsp"}) {
        const std::vector<uint8_t> whole = ReadAll(DataPath(name));
        const StoredMap map(whole);
        std::mt19937 rng(29);
        // Aim at what the loader reads: the directory, the tree, the lists, the faces, the rows.
        std::vector<std::pair<size_t, size_t>> regions = {{0, kQ3BspHeaderSize}};
        for (int k : {2, 3, 4, 5, 11, 13, 16}) regions.emplace_back(static_cast<size_t>(map.offset[k]), static_cast<size_t>(map.length[k]));
        const int rounds = whole.size() > 4000000 ? 60 : 250;
        size_t loaded = 0, refused = 0;
        for (int i = 0; i < rounds; ++i) {
            std::vector<uint8_t> bytes = whole;
            const auto &[start, length] = regions[static_cast<size_t>(i) % regions.size()];
            std::uniform_int_distribution<size_t> at(start, start + std::max<size_t>(length, 1) - 1);
            std::uniform_int_distribution<int> flips(1, 6), value(0, 255), kind(0, 2);
            for (int f = flips(rng); f > 0; --f) {
                uint8_t &b = bytes[at(rng)];
                switch (kind(rng)) {
                    case 0: b = static_cast<uint8_t>(value(rng)); break;
                    case 1: b ^= static_cast<uint8_t>(1u << (value(rng) & 7)); break;
                    default: b = 0xFF; break;  // makes negatives and huge values
                }
            }
            (Try(bytes, rng) ? loaded : refused) += 1;
        }
        // Both outcomes occur, so the checks and the walks were both exercised.
        EXPECT_GT(loaded, 0u) << name;
        EXPECT_GT(refused, 0u) << name;
    }
}

TEST(Q3BspDamage, ExportsOnDamagedFilesAgreeWithTheCountsQuery) {
    const std::vector<uint8_t> whole = ReadAll(DataPath("openarena/maps/oa_dm1.bsp"));
    const StoredMap map(whole);
    std::mt19937 rng(5);
    std::uniform_int_distribution<size_t> inTree(static_cast<size_t>(map.offset[3]),
                                                 static_cast<size_t>(map.offset[3] + map.length[3] + map.length[4]) - 1);
    MessageCapture quiet;
    for (int i = 0; i < 24; ++i) {
        std::vector<uint8_t> bytes = whole;
        for (int f = 0; f < 2; ++f) bytes[inTree(rng)] ^= 0x80;
        if (i % 3 == 0) bytes.resize(bytes.size() - static_cast<size_t>(i));
        const std::string path = WriteTemp("damaged_dm1.bsp", bytes);
        int32_t counts[7] = {};
        const bool counted = VeskGetQ3BSP_Counts(path.c_str(), counts) != 0;
        std::vector<std::vector<uint8_t>> arrays;
        const size_t sizes[7] = {44, 104, 48, 4, 36, 16, 1};
        for (int k = 0; k < 7; ++k) arrays.emplace_back((counted ? static_cast<size_t>(counts[k]) * sizes[k] : 0) + 64, 0x3C);
        const bool loaded = GetQ3BSP_INFO(path.c_str(), reinterpret_cast<Q3BspVertex *>(arrays[0].data()),
                                          reinterpret_cast<Q3BspFace *>(arrays[1].data()),
                                          reinterpret_cast<Q3BspLeaf *>(arrays[2].data()),
                                          reinterpret_cast<int32_t *>(arrays[3].data()),
                                          reinterpret_cast<Q3BspNode *>(arrays[4].data()),
                                          reinterpret_cast<Q3BspPlane *>(arrays[5].data()), arrays[6].data()) != 0;
        ASSERT_EQ(loaded, counted) << i;
        for (int k = 0; k < 7; ++k) {
            const auto &a = arrays[static_cast<size_t>(k)];
            EXPECT_EQ(std::count(a.end() - 64, a.end(), 0x3C), 64) << i << " array " << k;
        }
        const Vector3 eye{0, 0, 0};
        const Frustum open = OpenFrustum();
        Reported().clear();
        GetQ3BSP_Process2(&eye, &open, &kRecordCell);
        for (intptr_t f : Reported()) ASSERT_LT(static_cast<size_t>(f), CurrentQ3BspLevel().faces.size());
    }
}

}  // namespace
}  // namespace vesk::test
