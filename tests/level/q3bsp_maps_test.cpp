// Q3 BSP levels on the real maps: counts, whole copies, spawn points, and the
// visible faces from every spawn against an independent walk of the file.
#include <VeskMathLIB.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "host_dl.h"
#include "level/q3bsp.h"
#include "level/q3bsp_test_util.h"
#include "q3bsp_host_check.h"
#include "support/test_support.h"

namespace vesk::test {
namespace {

const char *const kMaps[] = {"openarena/maps/oa_dm1.bsp", "openarena/maps/ctf_inyard.bsp"};

Vector3 Host(const float p[3]) { return {p[0], p[2], -p[1]}; }
Vector3 Host(const int32_t p[3]) { return {float(p[0]), float(p[2]), -float(p[1])}; }

// The file's own tree, walked in the host frame from the stored records.
struct Reference {
    const StoredMap &map;

    int32_t Leaf(const Vector3 &p, int32_t *lastNode = nullptr) const {
        int32_t index = 0;
        while (index >= 0) {
            if (lastNode) *lastNode = index;
            const RawNode &node = map.nodes[static_cast<size_t>(index)];
            index = Side(node.plane, p) >= 0.0f ? node.front : node.back;
        }
        return ~index;
    }
    float Side(int32_t plane, const Vector3 &p) const {
        const RawPlane &pl = map.planes[static_cast<size_t>(plane)];
        const Vector3 n = Host(pl.n);
        return static_cast<float>(double{n.x} * p.x + double{n.y} * p.y + double{n.z} * p.z - double{pl.d});
    }
    bool Sees(int32_t from, int32_t to) const {
        if (map.rows.empty() || from < 0) return true;
        if (to < 0) return false;
        return (map.rows[static_cast<size_t>(from * map.bytesPerCluster + to / 8)] >> (to % 8)) & 1;
    }
    // The faces GetQ3BSP_Process2 must report, in order.
    std::vector<intptr_t> Visible(const Vector3 &camera, const Frustum *frustum) const {
        const int32_t cluster = map.leaves[static_cast<size_t>(Leaf(camera))].cluster;
        std::vector<intptr_t> out;
        std::set<int32_t> seen;
        for (size_t i = map.leaves.size(); i-- > 0;) {
            const RawLeaf &leaf = map.leaves[i];
            if (!Sees(cluster, leaf.cluster)) continue;
            const Vector3 a = Host(leaf.mins), b = Host(leaf.maxs);
            if (frustum && !BoxInFrustum(frustum, a.x, a.y, a.z, b.x, b.y, b.z)) continue;
            for (int32_t j = leaf.faceCount - 1; j >= 0; --j) {
                const int32_t f = map.leafFaces[static_cast<size_t>(leaf.firstFace + j)];
                if (RawFace(map.faces[static_cast<size_t>(f)]).type() == 1 && seen.insert(f).second) out.push_back(f);
            }
        }
        return out;
    }
};

std::vector<intptr_t> Process2(const Vector3 &camera, const Frustum &frustum) {
    Reported().clear();
    GetQ3BSP_Process2(&camera, &frustum, &kRecordCell);
    return Reported();
}

TEST(Q3BspMaps, CountsAndWholeCopiesMatchTheFile) {
    for (const char *name : kMaps) {
        const std::string path = DataPath(name);
        const StoredMap map(ReadAll(path));
        int32_t counts[7];
        ASSERT_TRUE(VeskGetQ3BSP_Counts(path.c_str(), counts)) << name;
        const int32_t want[7] = {map.length[10] / 44, map.length[13] / 104, map.length[4] / 48, map.length[5] / 4,
                                 map.length[3] / 36,  map.length[2] / 16,   map.clusterCount * map.bytesPerCluster};
        for (int k = 0; k < 7; ++k) EXPECT_EQ(counts[k], want[k]) << name << " count " << k;
        EXPECT_GT(map.clusterCount, 0) << name;

        // Host buffers with a sentinel tail: every record copied, nothing past.
        Q3Arrays arrays;
        ASSERT_TRUE(InfoIntoArrays(path, counts, 256, 0xC3, arrays)) << name;
        EXPECT_EQ(FirstTouchedTail(arrays, counts, 0xC3), -1) << name << ": written past its count";
        const auto *vertices = reinterpret_cast<const Q3BspVertex *>(arrays[0].data());
        for (size_t i = 0; i < map.vertices.size(); ++i) {
            const Vector3 p = Host(map.vertices[i].pos);
            ASSERT_TRUE(vertices[i].position.x == p.x && vertices[i].position.y == p.y &&
                        vertices[i].position.z == p.z && vertices[i].texCoord[1] == -map.vertices[i].tex[1])
                << name << " vertex " << i;
        }
        const auto *leaves = reinterpret_cast<const Q3BspLeaf *>(arrays[2].data());
        for (size_t i = 0; i < map.leaves.size(); ++i) {
            const Vector3 a = Host(map.leaves[i].mins);
            ASSERT_TRUE(static_cast<float>(leaves[i].mins[1]) == a.y && static_cast<float>(leaves[i].mins[2]) == a.z &&
                        leaves[i].firstLeafFace == map.leaves[i].firstFace)
                << name << " leaf " << i;
        }
        EXPECT_EQ(std::memcmp(arrays[1].data(), map.faces.data(), map.faces.size() * 104), 0) << name;
        EXPECT_EQ(std::memcmp(arrays[3].data(), map.leafFaces.data(), map.leafFaces.size() * 4), 0) << name;
        EXPECT_EQ(std::memcmp(arrays[4].data(), map.nodes.data(), map.nodes.size() * 36), 0) << name;
        EXPECT_EQ(std::memcmp(arrays[6].data(), map.rows.data(), map.rows.size()), 0) << name;
        const auto *planes = reinterpret_cast<const Q3BspPlane *>(arrays[5].data());
        for (size_t i = 0; i < map.planes.size(); ++i) {
            const Vector3 n = Host(map.planes[i].n);
            ASSERT_TRUE(planes[i].normal.x == n.x && planes[i].normal.y == n.y && planes[i].normal.z == n.z &&
                        planes[i].distance == map.planes[i].d)
                << name << " plane " << i;
        }
    }
}

TEST(Q3BspMaps, VisibleFacesFromEverySpawnMatchAnIndependentWalk) {
    for (const char *name : kMaps) {
        const std::string path = DataPath(name);
        const StoredMap map(ReadAll(path));
        const Reference ref{map};
        int32_t counts[7];
        Q3Arrays a;
        ASSERT_TRUE(VeskGetQ3BSP_Counts(path.c_str(), counts) && InfoIntoArrays(path, counts, 0, 0, a));
        const std::vector<vesk_host::Spawn> spawns = vesk_host::DeathmatchSpawns(map.bytes);
        ASSERT_GE(spawns.size(), 5u) << name;
        const Matrix4 projection = vesk_host::Perspective90(4.0f, 8192.0f);
        for (size_t s = 0; s < spawns.size(); ++s) {
            const Vector3 eye = spawns[s].origin;
            const int32_t leaf = ref.Leaf(eye);
            EXPECT_EQ(FindLeaf(CurrentQ3BspLevel(), eye), leaf) << name << " spawn " << s;
            const int32_t cluster = map.leaves[static_cast<size_t>(leaf)].cluster;
            EXPECT_TRUE(cluster >= 0 && cluster < map.clusterCount) << name << " spawn " << s << " cluster " << cluster;

            const std::vector<intptr_t> all = Process2(eye, OpenFrustum());
            EXPECT_EQ(all, ref.Visible(eye, nullptr)) << name << " spawn " << s;
            const std::set<intptr_t> sortedAll(all.begin(), all.end());
            size_t fewest = all.size();
            for (float turn : {0.0f, 180.0f}) {
                const Matrix4 view = vesk_host::LookAlongYaw(eye, spawns[s].yawDegrees + turn);
                Frustum frustum;
                CalculateFrustum(&frustum, &view, &projection);
                const std::vector<intptr_t> seen = Process2(eye, frustum);
                SCOPED_TRACE(std::string(name) + " spawn " + std::to_string(s) + " turn " + std::to_string(turn));
                EXPECT_EQ(seen, ref.Visible(eye, &frustum));
                const std::set<intptr_t> sortedSeen(seen.begin(), seen.end());
                EXPECT_TRUE(!seen.empty() && sortedSeen.size() == seen.size()) << "some faces, each once";
                EXPECT_TRUE(std::includes(sortedAll.begin(), sortedAll.end(), sortedSeen.begin(), sortedSeen.end()))
                    << "a view only removes faces";
                fewest = std::min(fewest, seen.size());
            }

            EXPECT_LT(fewest, all.size()) << name << " spawn " << s << ": one of two opposite views culls";

            // The host-array walk: every face of every visible leaf, once per leaf.
            std::vector<intptr_t> want;
            for (size_t i = map.leaves.size(); i-- > 0;) {
                const RawLeaf &l = map.leaves[i];
                if (!ref.Sees(cluster, l.cluster)) continue;
                for (int32_t j = l.faceCount - 1; j >= 0; --j) want.push_back(map.leafFaces[static_cast<size_t>(l.firstFace + j)]);
            }
            Reported().clear();
            GetQ3BSP_ProcessEX(&eye, 0, counts[2], reinterpret_cast<Q3BspLeaf *>(a[2].data()),
                               reinterpret_cast<int32_t *>(a[3].data()), reinterpret_cast<Q3BspNode *>(a[4].data()),
                               reinterpret_cast<Q3BspPlane *>(a[5].data()), a[6].data(), map.bytesPerCluster, &kRecordCell);
            EXPECT_EQ(Reported(), want) << name << " spawn " << s;
        }
    }
}

TEST(Q3BspMaps, SphereTestAgreesWithTheStoredTree) {
    for (const char *name : kMaps) {
        const std::string path = DataPath(name);
        const StoredMap map(ReadAll(path));
        const Reference ref{map};
        ASSERT_TRUE(GetQ3BSP_INFO(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
        std::mt19937 rng(2024);
        std::uniform_real_distribution<float> coord(-3000.0f, 3000.0f), radius(0.0f, 64.0f);
        int outcomes[3] = {};
        for (int i = 0; i < 4000; ++i) {
            const Vector3 c{coord(rng), coord(rng), coord(rng)};
            const float r = radius(rng);
            int32_t last = -1;
            ref.Leaf(c, &last);
            const float s = ref.Side(map.nodes[static_cast<size_t>(last)].plane, c);
            const int32_t want = std::fabs(s) < r ? 1 : (s >= r ? 2 : 0);
            const int32_t got = GetQ3BSP_Collision(&c, r);
            ASSERT_EQ(got, want) << name << " " << c.x << " " << c.y << " " << c.z << " r " << r;
            ++outcomes[got];
        }
        for (int k = 0; k < 3; ++k) EXPECT_GT(outcomes[k], 0) << name << " outcome " << k << " never seen";
    }
}

// What a host sees through the library loaded by name; the Windows host
// program prints the same digest for its build (scripts/check-windows.sh).
TEST(Q3BspMaps, HostDigestFromTheFirstSpawn) {
    VeskModule lib = VeskOpen(VeskLibraryName());
    ASSERT_NE(lib, nullptr);
    const vesk_host::LevelExports e = vesk_host::ResolveLevelExports(lib);
    const std::string path = DataPath(kMaps[0]);
    int32_t counts[7];
    std::vector<intptr_t> faces;
    uint64_t digest = 0;
    ASSERT_TRUE(vesk_host::LevelDigest(e, path.c_str(), counts, faces, digest));
    const StoredMap map(ReadAll(path));
    const auto spawn = vesk_host::DeathmatchSpawns(map.bytes).at(0);
    const Matrix4 view = vesk_host::LookAlongYaw(spawn.origin, spawn.yawDegrees);
    const Matrix4 projection = vesk_host::Perspective90(4.0f, 8192.0f);
    Frustum frustum;
    CalculateFrustum(&frustum, &view, &projection);
    EXPECT_EQ(faces, Reference{map}.Visible(spawn.origin, &frustum));
    EXPECT_EQ(counts[1], map.length[13] / 104);
    vesk_host::PrintDigestLine(counts, faces, digest);
    VeskClose(lib);
}

}  // namespace
}  // namespace vesk::test
