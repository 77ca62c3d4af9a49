// Spatial structures: octree culling against the plain list walk, polygon BSP
// splitter choice and compile times, lightmap lumel-light evaluations.
// Run: cmake ... -DVESK_BENCH=ON && ninja vesk_bench && vesk_bench --benchmark_filter=Spatial
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "level/lightmaps.h"
#include "level/octree.h"
#include "level/poly_bsp.h"
#include "level/spatial_scenes.h"

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

int64_t g_reported = 0;
void VESK_CALL Count(intptr_t) { ++g_reported; }
const VeskHostCallback g_count = &Count;

size_t VisibleCount(const std::vector<Poly> &scene, const Frustum &f) {
    g_reported = 0;
    RenderVeskPoly(scene.data(), static_cast<int32_t>(scene.size()), &f, 1, &g_count);
    return static_cast<size_t>(g_reported);
}

struct OctreeScene {
    std::vector<Poly> polys;
    Frustum frustum{};
    double fraction = 0;
    OctreeScene() {
        polys = Tiled("assimp/OBJ/WusonOBJ.obj", 100000);
        float maxX = -1e30f, maxY = -1e30f, maxZ = -1e30f, minX = 1e30f, minZ = 1e30f;
        for (const Poly &p : polys)
            for (const PolyVertex &c : p.corner) {
                maxX = std::max(maxX, c.position.x), maxY = std::max(maxY, c.position.y);
                maxZ = std::max(maxZ, c.position.z), minX = std::min(minX, c.position.x);
                minZ = std::min(minZ, c.position.z);
            }
        // From a corner of the grid looking across it; the far plane is
        // searched so that about a tenth of the triangles pass.
        const Vector3 eye{minX - 1.0f, maxY * 2.0f, minZ - 1.0f};
        float lo = 1.0f, hi = (maxX - minX + maxZ - minZ) * 2.0f;
        for (int it = 0; it < 30; ++it) {
            const float mid = 0.5f * (lo + hi);
            frustum = vesk::test::ViewFrustum(eye, 2.356f, -0.3f, 1.0f, 1.33f, 0.1f, mid);
            (VisibleCount(polys, frustum) < polys.size() / 10 ? lo : hi) = mid;
        }
        fraction = static_cast<double>(VisibleCount(polys, frustum)) / static_cast<double>(polys.size());
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
}
void BM_Spatial_RenderOctree100k(benchmark::State &state) {
    auto &s = Scene();
    BuildVeskOctree(s.polys.data(), static_cast<int32_t>(s.polys.size()));
    int32_t leaves = 0;
    for (auto _ : state) {
        g_reported = 0;
        RenderVeskOctree(&s.frustum, &g_count, &leaves);
    }
    state.counters["visible_fraction"] = s.fraction;
    state.counters["reported"] = static_cast<double>(g_reported);
}
void BM_Spatial_RenderPolyMode1_100k(benchmark::State &state) {
    auto &s = Scene();
    for (auto _ : state) {
        g_reported = 0;
        RenderVeskPoly(s.polys.data(), static_cast<int32_t>(s.polys.size()), &s.frustum, 1, &g_count);
    }
    state.counters["reported"] = static_cast<double>(g_reported);
}
BENCHMARK(BM_Spatial_OctreeBuild100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spatial_RenderOctree100k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Spatial_RenderPolyMode1_100k)->Unit(benchmark::kMicrosecond);

// Splitter choice over one node of n real triangles: ns per candidate-polygon pair.
template <bool kFast>
void BM_Spatial_ChooseSplitter(benchmark::State &state) {
    const auto polys = Tiled("assimp/OBJ/spider.obj", static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(kFast ? vesk::ChooseSplitter(polys) : vesk::ChooseSplitterPlain(polys));
    const double pairs = static_cast<double>(polys.size()) * static_cast<double>(polys.size());
    state.counters["ns_per_pair"] =
        benchmark::Counter(pairs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_Spatial_ChooseSplitter, true)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Spatial_ChooseSplitter, false)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_Spatial_CompileBsp(benchmark::State &state) {
    const auto polys = Tiled("assimp/OBJ/WusonOBJ.obj", static_cast<size_t>(state.range(0)));
    for (auto _ : state) GetVeskBSP(0, polys.data(), static_cast<int32_t>(polys.size()));
    int32_t stats[4];
    VeskGetBspStats(stats);
    state.counters["triangles"] = static_cast<double>(polys.size());
    state.counters["pieces"] = stats[2];
    state.counters["depth"] = stats[3];
}
BENCHMARK(BM_Spatial_CompileBsp)->Arg(2000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

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

}  // namespace
