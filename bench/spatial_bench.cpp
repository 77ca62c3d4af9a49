// Spatial structures: octree culling against the plain list walk, polygon BSP
// splitter choice and compile times, lightmap lumel-light evaluations.
// Run: cmake ... -DVESK_BENCH=ON && ninja vesk_bench && vesk_bench --benchmark_filter=Spatial
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "geometry/primitives.h"
#include "geometry/vector_ops.h"
#include "level/lightmaps.h"
#include "level/octree.h"
#include "level/poly_bsp.h"
#include "level/poly_bsp_reference.h"
#include "level/spatial_scenes.h"
#include "support/reference_kernels.h"

namespace {

std::vector<Poly> ModelPolys(const std::string &relative) {
    return vesk::test::LoadModelPolys(std::string(VESK_TESTDATA_DIR) + "/" + relative);
}

// A real model tiled on a square grid in x and z until `target` triangles.
std::vector<Poly> Tiled(const std::string &file, size_t target) {
    const auto model = ModelPolys(file);
    float minX = 1e30f, maxX = -1e30f, minZ = 1e30f, maxZ = -1e30f;
    for (const Poly &p : model)
        for (const PolyVertex &c : p.corner) {
            minX = std::min(minX, c.position.x), maxX = std::max(maxX, c.position.x);
            minZ = std::min(minZ, c.position.z), maxZ = std::max(maxZ, c.position.z);
        }
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(target) / static_cast<double>(model.size()))));
    std::vector<Poly> out;
    for (int i = 0; i < side && out.size() < target; ++i)
        for (int j = 0; j < side && out.size() < target; ++j)
            for (Poly p : model) {
                if (out.size() == target) break;
                for (PolyVertex &c : p.corner) {
                    c.position.x += (maxX - minX) * 1.1f * static_cast<float>(i);
                    c.position.z += (maxZ - minZ) * 1.1f * static_cast<float>(j);
                }
                out.push_back(p);
            }
    return out;
}

// A real model tiled on a cubic lattice in x, y and z until `target` triangles.
std::vector<Poly> TiledCube(const std::string &file, size_t target) {
    const auto model = ModelPolys(file);
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (const Poly &p : model)
        for (const PolyVertex &c : p.corner) {
            const float v[3] = {c.position.x, c.position.y, c.position.z};
            for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], v[a]), hi[a] = std::max(hi[a], v[a]);
        }
    const int side = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(target) / static_cast<double>(model.size()))));
    std::vector<Poly> out;
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j)
            for (int k = 0; k < side; ++k)
                for (Poly p : model) {
                    if (out.size() == target) return out;
                    for (PolyVertex &c : p.corner) {
                        c.position.x += (hi[0] - lo[0]) * 1.1f * static_cast<float>(i);
                        c.position.y += (hi[1] - lo[1]) * 1.1f * static_cast<float>(j);
                        c.position.z += (hi[2] - lo[2]) * 1.1f * static_cast<float>(k);
                    }
                    out.push_back(p);
                }
    return out;
}

int64_t g_reported = 0;
void VESK_CALL Count(intptr_t) { ++g_reported; }
const VeskHostCallback g_count = &Count;

size_t VisibleCount(const std::vector<Poly> &scene, const Frustum &f) {
    g_reported = 0;
    RenderVeskPoly(scene.data(), static_cast<int32_t>(scene.size()), &f, 1, &g_count);
    return static_cast<size_t>(g_reported);
}

// About 100 000 triangles of a real model in a 3 x 3 x 3 block, seen by a
// 60-degree perspective camera (CalculateFrustum) whose far plane is searched
// so that about a tenth of the triangles pass. View 0 stands at the block's
// centre, view 1 at a lower corner looking in along the diagonal.
struct OctreeScene {
    std::vector<Poly> polys;
    Frustum frustum[2]{};
    double fraction[2]{};
    OctreeScene() {
        polys = TiledCube("assimp/OBJ/WusonOBJ.obj", 100000);
        float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
        for (const Poly &p : polys)
            for (const PolyVertex &c : p.corner) {
                const float v[3] = {c.position.x, c.position.y, c.position.z};
                for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], v[a]), hi[a] = std::max(hi[a], v[a]);
            }
        auto at = [&](float t) {
            return Vector3{lo[0] + (hi[0] - lo[0]) * t, lo[1] + (hi[1] - lo[1]) * t, lo[2] + (hi[2] - lo[2]) * t};
        };
        const Vector3 eyes[2] = {at(0.5f), at(0.05f)};
        // Yaw 2.356 looks toward +x and +z; pitch 0.5 rises through the block.
        const float yaw[2] = {0.6f, 2.356f}, pitch[2] = {0.2f, 0.5f};
        for (int v = 0; v < 2; ++v) {
            float nearFar[2] = {1.0f, (hi[0] - lo[0] + hi[1] - lo[1] + hi[2] - lo[2]) * 2.0f};
            for (int it = 0; it < 30; ++it) {
                const float mid = 0.5f * (nearFar[0] + nearFar[1]);
                frustum[v] = vesk::test::ViewFrustum(eyes[v], yaw[v], pitch[v], 1.047f, 1.33f, 0.1f, mid);
                (VisibleCount(polys, frustum[v]) < polys.size() / 10 ? nearFar[0] : nearFar[1]) = mid;
            }
            fraction[v] = static_cast<double>(VisibleCount(polys, frustum[v])) / static_cast<double>(polys.size());
        }
        BuildVeskOctree(polys.data(), static_cast<int32_t>(polys.size()));
    }
};
OctreeScene &Scene() {
    static OctreeScene scene;
    return scene;
}

void BM_Spatial_OctreeBuild100k(benchmark::State &state) {
    auto &s = Scene();
    for (auto _ : state) BuildVeskOctree(s.polys.data(), static_cast<int32_t>(s.polys.size()));
    state.counters["triangles"] = static_cast<double>(s.polys.size());
    state.counters["leaves"] = static_cast<double>(vesk::TheOctree().walk.nodes.front().leaves);
}
void BM_Spatial_RenderOctree100k(benchmark::State &state) {
    auto &s = Scene();
    const int v = static_cast<int>(state.range(0));
    BuildVeskOctree(s.polys.data(), static_cast<int32_t>(s.polys.size()));
    int32_t leaves = 0;
    for (auto _ : state) {
        g_reported = 0;
        RenderVeskOctree(&s.frustum[v], &g_count, &leaves);
    }
    state.counters["visible_fraction"] = s.fraction[v];
    state.counters["reported"] = static_cast<double>(g_reported);
    state.counters["visited_leaves"] = leaves;
}
void BM_Spatial_RenderPolyMode1_100k(benchmark::State &state) {
    auto &s = Scene();
    const int v = static_cast<int>(state.range(0));
    for (auto _ : state) {
        g_reported = 0;
        RenderVeskPoly(s.polys.data(), static_cast<int32_t>(s.polys.size()), &s.frustum[v], 1, &g_count);
    }
    state.counters["visible_fraction"] = s.fraction[v];
    state.counters["reported"] = static_cast<double>(g_reported);
}
// The list test beside its plain form (every box through BoxInFrustum), in
// one run, on the same scene and views.
template <bool kFast>
void BM_PerFrameRenderPoly100k(benchmark::State &state) {
    auto &s = Scene();
    const int v = static_cast<int>(state.range(0));
    for (auto _ : state) {
        g_reported = 0;
        if (kFast) vesk::RenderPolys(s.polys, &s.frustum[v], 1, &g_count);
        else vesk::reference::RenderPolys(s.polys, &s.frustum[v], 1, &g_count);
    }
    state.counters["reported"] = static_cast<double>(g_reported);
    state.counters["per_triangle"] =
        benchmark::Counter(static_cast<double>(s.polys.size()),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_PerFrameRenderPoly100k, false)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_PerFrameRenderPoly100k, true)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Peer: the walk without shortcuts (every node box and every triangle box
// through BoxInFrustum, boxes recomputed per frame) over the same tree.
void PlainWalk(const vesk::OctreeNode &n, const Frustum &f, int32_t &leaves) {
    const BoundingBox &b = n.bounds;
    if (!BoxInFrustum(&f, b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ)) return;
    if (n.subdivided) {
        for (const auto &c : n.children)
            if (c) PlainWalk(*c, f, leaves);
        return;
    }
    ++leaves;
    for (const Poly &p : n.triangles)
        if (vesk::TriangleVisible(f, p)) Count(reinterpret_cast<intptr_t>(&p));
}
void BM_Spatial_RenderOctreePlainWalk100k(benchmark::State &state) {
    auto &s = Scene();
    const int v = static_cast<int>(state.range(0));
    BuildVeskOctree(s.polys.data(), static_cast<int32_t>(s.polys.size()));
    int32_t leaves = 0;
    for (auto _ : state) {
        g_reported = 0;
        leaves = 0;
        PlainWalk(vesk::TheOctree().root, s.frustum[v], leaves);
    }
    state.counters["reported"] = static_cast<double>(g_reported);
    state.counters["visited_leaves"] = leaves;
}
BENCHMARK(BM_Spatial_OctreeBuild100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spatial_RenderOctreePlainWalk100k)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Spatial_RenderOctree100k)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Spatial_RenderPolyMode1_100k)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Splitter choice over one node of n real triangles: ns per candidate-polygon
// pair, the library's search and the plain rule (one SplitPolygon per pair).
template <bool kFast>
void BM_Spatial_ChooseSplitter(benchmark::State &state) {
    const auto polys = Tiled("assimp/OBJ/spider.obj", static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(kFast ? vesk::ChooseSplitter(polys) : vesk::test::ChooseSplitterPlain(polys));
    const double pairs = static_cast<double>(polys.size()) * static_cast<double>(polys.size());
    state.counters["ns_per_pair"] =
        benchmark::Counter(pairs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_Spatial_ChooseSplitter, true)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Spatial_ChooseSplitter, false)->Arg(2000)->Iterations(3)->Unit(benchmark::kMillisecond);

// The library's former search, the baseline of the compiles below: every
// candidate's plane against every corner in one straight pass.
vesk::SplitterChoice ChooseSplitterScan(std::span<const Poly> polys, const std::vector<uint8_t> *excluded) {
    const size_t n = polys.size();
    std::vector<float> px(3 * n), py(3 * n), pz(3 * n);
    std::vector<Vector3> normal(n);
    for (size_t j = 0; j < n; ++j) {
        for (int k = 0; k < 3; ++k) {
            const Vector3 &p = polys[j].corner[k].position;
            px[3 * j + k] = p.x, py[3 * j + k] = p.y, pz[3 * j + k] = p.z;
        }
        normal[j] = vesk::PolyNormal(polys[j]);
    }
    std::vector<int8_t> side(3 * n);
    vesk::SplitterChoice best;
    int64_t bestScore = 1000000000;
    for (size_t i = 0; i < n; ++i) {
        const Vector3 nS = normal[i];
        if ((excluded && (*excluded)[i]) || !std::isfinite(nS.x) || !std::isfinite(nS.y) || !std::isfinite(nS.z) ||
            (nS.x == 0.0f && nS.y == 0.0f && nS.z == 0.0f))
            continue;
        const double sx = px[3 * i], sy = py[3 * i], sz = pz[3 * i], nx = nS.x, ny = nS.y, nz = nS.z;
        for (size_t c = 0; c < 3 * n; ++c) {
            const double dx = vesk::ToF(sx - px[c]), dy = vesk::ToF(sy - py[c]), dz = vesk::ToF(sz - pz[c]);
            const double d = dx * nx + dy * ny + dz * nz;
            side[c] = static_cast<int8_t>((d < -vesk::kOnPlaneBand) - (d > vesk::kOnPlaneBand));
        }
        int32_t front = 0, back = 0;
        for (size_t j = 0; j < n; ++j) {
            const int8_t *sj = &side[3 * j];
            const int32_t f = (sj[0] == 1) + (sj[1] == 1) + (sj[2] == 1), b = (sj[0] == -1) + (sj[1] == -1) + (sj[2] == -1);
            const int32_t code = f && b ? (f == 2 ? vesk::kSplitFrontQuad : b == 2 ? vesk::kSplitBackQuad : vesk::kSplitBoth)
                                 : f    ? vesk::kFront
                                 : b    ? vesk::kBack
                                        : (vesk::Dot(normal[j], nS) < 0.0 ? vesk::kBack : vesk::kFront);
            const vesk::PieceCounts pc = vesk::PieceCountsOf(code);
            front += pc.front, back += pc.back;
        }
        const int64_t score = std::llabs(int64_t{front} - back);
        if (front > 0 && back > 0 && score < bestScore) bestScore = score, best = {static_cast<int32_t>(i), front, back};
    }
    return best;
}

// Whole compiles of a tiled real model with the library's search, the former
// scan and the plain rule (one run each: the baselines take seconds).
enum Search { kLibrary, kScan, kPlain };
template <Search kSearch>
void BM_Spatial_CompileBsp(benchmark::State &state) {
    const auto polys = Tiled("assimp/OBJ/WusonOBJ.obj", static_cast<size_t>(state.range(0)));
    const vesk::SplitterSearchFn search = kSearch == kLibrary ? vesk::ChooseSplitter
                                          : kSearch == kScan  ? ChooseSplitterScan
                                                              : vesk::test::ChooseSplitterPlain;
    vesk::PolyBspTree tree;
    for (auto _ : state) vesk::CompilePolyBsp(tree, polys, search);
    const vesk::BspStats stats = vesk::GetBspStats(tree);
    state.counters["triangles"] = static_cast<double>(polys.size());
    state.counters["pieces"] = stats.pieces;
    state.counters["depth"] = stats.depth;
}
BENCHMARK_TEMPLATE(BM_Spatial_CompileBsp, kLibrary)->Arg(2000)->Arg(10000)->Arg(50000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Spatial_CompileBsp, kScan)->Arg(2000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Spatial_CompileBsp, kPlain)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Lightmaps of 200 real triangles under 8 lights: ns per lumel-light evaluation.
void BM_Spatial_Lightmaps(benchmark::State &state) {
    auto polys = ModelPolys("assimp/OBJ/spider.obj");
    polys.resize(std::min<size_t>(polys.size(), 200));
    std::vector<LightmapLight> lights;
    for (int i = 0; i < 8; ++i)
        lights.push_back({{static_cast<float>(i * 10 - 40), 30.0f, static_cast<float>(40 - i * 9)}, 30, 500, 200, 100, 50});
    std::vector<uint8_t> out(polys.size() * vesk::kLightmapBytes);
    for (auto _ : state)
        CreateLightmaps2(static_cast<int32_t>(polys.size()), polys.data(), lights.data(), 8, out.data());
    const double evals = static_cast<double>(polys.size()) * 256.0 * 8.0;
    state.counters["ns_per_lumel_light"] =
        benchmark::Counter(evals, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Spatial_Lightmaps)->Unit(benchmark::kMillisecond);

// The lightmap kernel beside its plain form, in one run: arg 0 the scene
// above (every light reaches every lumel), arg 1 the same lights with radius
// 40 (each reaches part of the model).
template <bool kFast>
void BM_PerFrameLightmaps(benchmark::State &state) {
    auto polys = ModelPolys("assimp/OBJ/spider.obj");
    polys.resize(std::min<size_t>(polys.size(), 200));
    std::vector<LightmapLight> lights;
    const float radius = state.range(0) ? 40.0f : 500.0f;
    for (int i = 0; i < 8; ++i)
        lights.push_back(
            {{static_cast<float>(i * 10 - 40), 30.0f, static_cast<float>(40 - i * 9)}, 30, radius, 200, 100, 50});
    std::vector<uint8_t> out(polys.size() * vesk::kLightmapBytes);
    for (auto _ : state) {
        if (kFast) vesk::CreateLightmaps(std::span<Poly>(polys), lights, out.data(), false);
        else vesk::reference::CreateLightmaps(std::span<Poly>(polys), lights, out.data(), false);
        benchmark::ClobberMemory();
    }
    const double evals = static_cast<double>(polys.size()) * 256.0 * 8.0;
    state.counters["ns_per_lumel_light"] =
        benchmark::Counter(evals, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_PerFrameLightmaps, false)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PerFrameLightmaps, true)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
