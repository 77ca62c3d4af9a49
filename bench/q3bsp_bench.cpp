// Level costs: loading ctf_inyard, and the per-frame visible-face walk from a
// spawn with a real frustum beside the brute-force alternative of testing
// every polygon face's own box against the frustum. Times in microseconds.
//   build-bench/bench/vesk_bench --benchmark_filter=Q3Bsp
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "q3bsp_host_check.h"

namespace {

const std::string kMap = std::string(VESK_TESTDATA_DIR) + "/openarena/maps/ctf_inyard.bsp";

struct HostLevel {
    int32_t counts[7] = {};
    std::vector<Q3BspVertex> vertices;
    std::vector<Q3BspFace> faces;
    std::vector<Q3BspLeaf> leaves;
    std::vector<int32_t> leafFaces;
    std::vector<Q3BspNode> nodes;
    std::vector<Q3BspPlane> planes;
    std::vector<uint8_t> rows;

    bool Load() {
        if (!VeskGetQ3BSP_Counts(kMap.c_str(), counts)) return false;
        vertices.resize(static_cast<size_t>(counts[0]));
        faces.resize(static_cast<size_t>(counts[1]));
        leaves.resize(static_cast<size_t>(counts[2]));
        leafFaces.resize(static_cast<size_t>(counts[3]));
        nodes.resize(static_cast<size_t>(counts[4]));
        planes.resize(static_cast<size_t>(counts[5]));
        rows.resize(static_cast<size_t>(counts[6]));
        return GetQ3BSP_INFO(kMap.c_str(), vertices.data(), faces.data(), leaves.data(), leafFaces.data(),
                             nodes.data(), planes.data(), rows.data()) != 0;
    }
};

// The view from the map's first spawn along its angle.
bool SpawnView(Vector3 &eye, Frustum &frustum) {
    const auto spawns = vesk_host::DeathmatchSpawns(vesk_host::ReadFileBytes(kMap.c_str()));
    if (spawns.empty()) return false;
    eye = spawns[0].origin;
    const Matrix4 view = vesk_host::LookAlongYaw(eye, spawns[0].yawDegrees);
    const Matrix4 projection = vesk_host::Perspective90(4.0f, 8192.0f);
    CalculateFrustum(&frustum, &view, &projection);
    return true;
}

int64_t g_reported = 0;
void VESK_CALL Count(intptr_t) { ++g_reported; }

void BM_Q3BspLoadCtfInyard(benchmark::State &state) {
    HostLevel level;
    for (auto _ : state) {
        if (!level.Load()) {
            state.SkipWithError("ctf_inyard.bsp did not load (run scripts/fetch-testdata.sh)");
            return;
        }
        benchmark::DoNotOptimize(level.faces.data());
    }
}
BENCHMARK(BM_Q3BspLoadCtfInyard)->Unit(benchmark::kMicrosecond);

void BM_Q3BspVisibleFacesPerFrame(benchmark::State &state) {
    HostLevel level;
    Vector3 eye{};
    Frustum frustum{};
    if (!level.Load() || !SpawnView(eye, frustum)) {
        state.SkipWithError("ctf_inyard.bsp did not load");
        return;
    }
    static const VeskHostCallback cell = &Count;
    g_reported = 0;
    for (auto _ : state) GetQ3BSP_Process2(&eye, &frustum, &cell);
    state.counters["faces"] = static_cast<double>(g_reported) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Q3BspVisibleFacesPerFrame)->Unit(benchmark::kMicrosecond);

// The baseline: every polygon face's box (from its vertices, made once)
// against the same frustum, without the tree or the clusters.
void BM_Q3BspEveryPolygonBoxPerFrame(benchmark::State &state) {
    HostLevel level;
    Vector3 eye{};
    Frustum frustum{};
    if (!level.Load() || !SpawnView(eye, frustum)) {
        state.SkipWithError("ctf_inyard.bsp did not load");
        return;
    }
    std::vector<BoundingBox> boxes;
    for (const Q3BspFace &f : level.faces) {
        if (f.type != 1) continue;
        BoundingBox b{1e30f, 1e30f, 1e30f, -1e30f, -1e30f, -1e30f};
        for (int32_t v = f.firstVertex; v < f.firstVertex + f.vertexCount; ++v) {
            const Vector3 &p = level.vertices[static_cast<size_t>(v)].position;
            b.minX = std::min(b.minX, p.x), b.minY = std::min(b.minY, p.y), b.minZ = std::min(b.minZ, p.z);
            b.maxX = std::max(b.maxX, p.x), b.maxY = std::max(b.maxY, p.y), b.maxZ = std::max(b.maxZ, p.z);
        }
        boxes.push_back(b);
    }
    int64_t visible = 0;
    for (auto _ : state) {
        for (const BoundingBox &b : boxes)
            visible += BoxInFrustum(&frustum, b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ);
        benchmark::DoNotOptimize(visible);
    }
    state.counters["faces"] = static_cast<double>(visible) / static_cast<double>(state.iterations());
    state.counters["tested"] = static_cast<double>(boxes.size());
}
BENCHMARK(BM_Q3BspEveryPolygonBoxPerFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
