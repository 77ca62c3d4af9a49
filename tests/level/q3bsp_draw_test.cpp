// What a host needs to draw a level: the mesh-vertex, texture and lightmap
// lumps against an independent reading of the real maps, patch grids against
// an independent Bezier evaluation, and the tessellation's refusals.
#include <VeskMathLIB.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "level/q3bsp.h"
#include "level/q3bsp_test_util.h"
#include "support/test_support.h"

namespace vesk::test {
namespace {

Vector3 Host(const float p[3]) { return {p[0], p[2], -p[1]}; }

// A stored vertex as the level hands it over: host position, v negated.
RawVertex Converted(RawVertex v) {
    const Vector3 p = Host(v.pos);
    v.pos[0] = p.x, v.pos[1] = p.y, v.pos[2] = p.z;
    v.tex[1] = -v.tex[1];
    return v;
}

// de Casteljau on every field, in double: along the width, then the height.
struct Ref {
    double f[14];
};
Ref Fields(const RawVertex &v) {
    return {{v.pos[0], v.pos[1], v.pos[2], v.tex[0], v.tex[1], v.light[0], v.light[1], v.normal[0], v.normal[1],
             v.normal[2], double(v.colour[0]), double(v.colour[1]), double(v.colour[2]), double(v.colour[3])}};
}
Ref Quadratic(const Ref &a, const Ref &b, const Ref &c, double t) {
    Ref out;
    for (int k = 0; k < 14; ++k) {
        const double ab = a.f[k] + (b.f[k] - a.f[k]) * t, bc = b.f[k] + (c.f[k] - b.f[k]) * t;
        out.f[k] = ab + (bc - ab) * t;
    }
    return out;
}

// Sign of (b - a) x (c - a) against the stored normal of a (turned to the host frame).
int Facing(const Vector3 &a, const Vector3 &b, const Vector3 &c, const float storedNormal[3]) {
    const double e[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, g[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
    const double n[3] = {e[1] * g[2] - e[2] * g[1], e[2] * g[0] - e[0] * g[2], e[0] * g[1] - e[1] * g[0]};
    const Vector3 h = Host(storedNormal);
    const double d = n[0] * h.x + n[1] * h.y + n[2] * h.z;
    return d > 1e-9 ? 1 : d < -1e-9 ? -1 : 0;
}

TEST(Q3BspDraw, RealMapsLumpsAndPatchGridsMatchAnIndependentReading) {
    size_t patchesSeen = 0;
    for (const char *name : {"openarena/maps/oa_dm1.bsp", "openarena/maps/ctf_inyard.bsp",
                             "openarena/maps/oa_shouse.bsp", "openarena/maps/oa_spirit3.bsp"}) {
        SCOPED_TRACE(name);
        const std::string path = DataPath(name);
        const StoredMap map(ReadAll(path));
        ASSERT_TRUE(GetQ3BSP_INFO(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));

        // Each lump byte for byte, its count from a null call, nothing past it.
        struct Lump {
            int lump;
            size_t record;
            int32_t (*call)(uint8_t *);
        };
        const Lump lumps[] = {
            {11, 4, [](uint8_t *p) { return VeskGetQ3BSP_MeshVertices(reinterpret_cast<int32_t *>(p)); }},
            {1, 72, [](uint8_t *p) { return VeskGetQ3BSP_Textures(reinterpret_cast<VeskQ3BspTexture *>(p)); }},
            {14, 128 * 128 * 3, [](uint8_t *p) { return VeskGetQ3BSP_Lightmaps(p); }}};
        for (const Lump &l : lumps) {
            const int32_t n = l.call(nullptr);
            EXPECT_EQ(n, map.length[l.lump] / static_cast<int32_t>(l.record)) << "lump " << l.lump;
            EXPECT_GT(n, 0) << "lump " << l.lump;
            std::vector<uint8_t> out(static_cast<size_t>(n) * l.record + 32, 0xB7);
            EXPECT_EQ(l.call(out.data()), n);
            EXPECT_EQ(std::memcmp(out.data(), map.bytes.data() + map.offset[l.lump], out.size() - 32), 0) << l.lump;
            EXPECT_EQ(std::count(out.end() - 32, out.end(), 0xB7), 32) << l.lump;
        }

        std::vector<int32_t> mesh(static_cast<size_t>(map.length[11] / 4));
        std::memcpy(mesh.data(), map.bytes.data() + map.offset[11], mesh.size() * 4);
        int facing[2][3] = {};  // [polygon, patch][sign + 1]
        for (size_t fi = 0; fi < map.faces.size(); ++fi) {
            RawFace f = map.faces[fi];
            if (f.type() == 1)
                for (int32_t k = 0; k + 2 < f.meshVertexCount(); k += 3) {
                    const RawVertex *v[3];
                    for (int c = 0; c < 3; ++c)
                        v[c] = &map.vertices[static_cast<size_t>(f.firstVertex() + mesh[static_cast<size_t>(f.firstMeshVertex() + k + c)])];
                    ++facing[0][Facing(Host(v[0]->pos), Host(v[1]->pos), Host(v[2]->pos), v[0]->normal) + 1];
                }
            if (f.type() != 2) continue;
            ++patchesSeen;
            const int32_t w = f.patchSize()[0], h = f.patchSize()[1];
            const RawVertex *control = &map.vertices[static_cast<size_t>(f.firstVertex())];
            for (int32_t steps : {1, 3, 16}) {
                const int32_t cols = (w - 1) / 2 * steps + 1, rows = (h - 1) / 2 * steps + 1;
                int32_t counts[2] = {-1, -1};
                ASSERT_TRUE(VeskTessellateQ3BSP_Patch(static_cast<int32_t>(fi), steps, nullptr, nullptr, counts));
                ASSERT_EQ(counts[0], cols * rows);
                ASSERT_EQ(counts[1], 6 * (cols - 1) * (rows - 1));
                std::vector<Q3BspVertex> grid(static_cast<size_t>(counts[0]) + 1);
                std::vector<uint32_t> indices(static_cast<size_t>(counts[1]) + 1, 0xFFFFFFFFu);
                std::memset(&grid.back(), 0x6B, sizeof(Q3BspVertex));
                ASSERT_TRUE(VeskTessellateQ3BSP_Patch(static_cast<int32_t>(fi), steps, grid.data(), indices.data(), counts));
                const std::vector<uint8_t> tail(sizeof(Q3BspVertex), 0x6B);
                EXPECT_EQ(std::memcmp(&grid.back(), tail.data(), tail.size()), 0) << "vertex written past the count";
                EXPECT_EQ(indices.back(), 0xFFFFFFFFu) << "index written past the count";
                for (int32_t j = 0; j < rows; ++j)
                    for (int32_t i = 0; i < cols; ++i) {
                        const Q3BspVertex &got = grid[static_cast<size_t>(j * cols + i)];
                        if (i % steps == 0 && j % steps == 0) {
                            const RawVertex want = Converted(control[(j / steps * 2) * w + i / steps * 2]);
                            ASSERT_EQ(std::memcmp(&got, &want, sizeof want), 0) << fi << " control point " << i << "," << j;
                            continue;
                        }
                        const int32_t bx = std::min(i / steps, (w - 1) / 2 - 1), by = std::min(j / steps, (h - 1) / 2 - 1);
                        const double s = double(i - bx * steps) / steps, t = double(j - by * steps) / steps;
                        Ref across[3];
                        for (int r = 0; r < 3; ++r) {
                            const RawVertex *row = control + (2 * by + r) * w + 2 * bx;
                            across[r] = Quadratic(Fields(Converted(row[0])), Fields(Converted(row[1])),
                                                  Fields(Converted(row[2])), s);
                        }
                        const Ref want = Quadratic(across[0], across[1], across[2], t);
                        // Positions, texture and lightmap coordinates close; the
                        // normal renormalised; colours rounded to the nearest byte.
                        const Ref g = Fields(reinterpret_cast<const RawVertex &>(got));
                        const double len = std::sqrt(want.f[7] * want.f[7] + want.f[8] * want.f[8] + want.f[9] * want.f[9]);
                        for (int k = 0; k < 14; ++k) {
                            const double tolerance = k < 7 ? 1e-5 * (1 + std::fabs(want.f[k])) : k < 10 ? 1e-5 : 0.5 + 1e-6;
                            if (k >= 7 && k < 10 && len <= 1e-3) continue;
                            const double expected = k >= 7 && k < 10 ? want.f[k] / len : want.f[k];
                            ASSERT_NEAR(g.f[k], expected, tolerance) << fi << " field " << k;
                        }
                    }
                for (size_t k = 0; k + 2 < indices.size(); k += 3) {
                    ASSERT_TRUE(indices[k] < grid.size() - 1 && indices[k + 1] < grid.size() - 1 && indices[k + 2] < grid.size() - 1);
                    if (steps != 3) continue;
                    const Q3BspVertex &a = grid[indices[k]], &b = grid[indices[k + 1]], &c = grid[indices[k + 2]];
                    const float n[3] = {a.normal.x, a.normal.y, a.normal.z};  // as stored
                    ++facing[1][Facing(a.position, b.position, c.position, n) + 1];
                }
            }
        }
        // Patches are wound as the polygons are: most of both turn the same way from their normals.
        for (int kind = 0; kind < 2; ++kind) {
            const int total = facing[kind][0] + facing[kind][2];
            if (total == 0) continue;
            EXPECT_GT(facing[kind][0], total * 9 / 10) << (kind ? "patch" : "polygon") << " triangles";
        }
    }
    EXPECT_GT(patchesSeen, 600u);
}

TEST(Q3BspDraw, DrawingChecksAtLoadAndTessellationRefusals) {
    // What a load accepts: faces with no lightmap (-1), vertex light (-3) or
    // a real one; billboards whose mesh fields mean nothing.
    MapBuilder good;
    good.planes = {{{1, 0, 0}, 0}};
    good.nodes = {{0, ~0, ~0, {0, 0, 0}, {0, 0, 0}}};
    for (int32_t type : {1, 2, 3, 4}) good.AddFace(type, type == 2 ? 15 : 4);
    good.faces[2].lightmap() = -3, good.faces[0].lightmap() = 0;
    good.faces[1].patchSize()[0] = 5;  // 5 x 3 over 15 vertices: two blocks
    good.faces[3].firstMeshVertex() = 999, good.faces[3].meshVertexCount() = -5;
    good.lightmaps.assign(128 * 128 * 3, 0x42);
    good.AddLeaf(-1, {0, 1, 2, 3});
    ASSERT_TRUE(GetQ3BSP_INFO(WriteTemp("draw.bsp", good.Build()).c_str(), nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr));
    EXPECT_EQ(VeskGetQ3BSP_Lightmaps(nullptr), 1);
    EXPECT_EQ(VeskGetQ3BSP_MeshVertices(nullptr), 12);  // two fans of two triangles

    struct Refusal {
        int32_t face, steps;
    } refusals[] = {{-1, 2}, {4, 2}, {0, 2}, {2, 2}, {3, 2}, {1, 0}, {1, 17}, {1, -1}, {INT32_MIN, 1}};
    for (const Refusal &r : refusals) {
        int32_t counts[2] = {-9, -9};
        Q3BspVertex v{};
        std::memset(&v, 0x2D, sizeof v);
        const Q3BspVertex before = v;
        uint32_t index = 77;
        EXPECT_FALSE(VeskTessellateQ3BSP_Patch(r.face, r.steps, &v, &index, counts)) << r.face << " " << r.steps;
        EXPECT_TRUE(counts[0] == -9 && counts[1] == -9 && index == 77 && std::memcmp(&v, &before, sizeof v) == 0);
    }
    int32_t counts[2];
    ASSERT_TRUE(VeskTessellateQ3BSP_Patch(1, 16, nullptr, nullptr, counts));
    EXPECT_EQ(counts[0], 33 * 17);
    EXPECT_TRUE(VeskTessellateQ3BSP_Patch(1, 1, nullptr, nullptr, nullptr)) << "counts may be null";

    // Grids that a load refuses, against the sizing on its own.
    Q3BspLevel level;
    level.vertices.resize(20);
    level.faces.resize(1);
    struct Grid {
        int32_t w, h, first, count;
        bool ok;
    } grids[] = {{3, 3, 0, 9, true}, {5, 3, 5, 15, true}, {2, 3, 0, 9, false}, {3, 1, 0, 9, false},
                 {3, 4, 0, 12, false}, {-3, 3, 0, 9, false}, {3, 5, 0, 9, false}, {3, 3, 12, 9, false},
                 {3, 3, -1, 9, false}, {65535, 65535, 0, 20, false}};
    for (const Grid &g : grids) {
        Q3BspFace &f = level.faces[0];
        f.type = 2, f.patchSize[0] = g.w, f.patchSize[1] = g.h, f.firstVertex = g.first, f.vertexCount = g.count;
        Q3BspPatchGrid plan;
        EXPECT_EQ(PlanQ3BspPatch(level, 0, 2, plan), g.ok) << g.w << "x" << g.h << " from " << g.first;
    }
    Q3BspPatchGrid plan;
    EXPECT_FALSE(PlanQ3BspPatch(Q3BspLevel{}, 0, 2, plan)) << "no level";
}

}  // namespace
}  // namespace vesk::test
