// Per-frame costs of the collision and culling calls over a host's triangle
// list. Run: scripts/bench.sh, or
//   cmake -G Ninja -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVESK_BENCH=ON &&
//   ninja -C build-bench vesk_bench && build-bench/bench/vesk_bench --benchmark_filter=Geometry
// The per_triangle counter is the time of one call divided by its triangle count.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/ellipsoid_collision.h"
#include "geometry/sphere_collision.h"
#include "support/reference_kernels.h"

namespace {

// A rolling terrain of small triangles, Y up, wound so that CheckCollision's
// normal points up; heights from a fixed seed.
std::vector<Poly> Terrain(int64_t triangles) {
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(triangles) / 2.0)));
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
    std::vector<float> height(static_cast<size_t>((side + 1) * (side + 1)));
    for (float &h : height) h = jitter(rng);
    auto at = [&](int i, int j) {
        return Vector3{static_cast<float>(i), height[static_cast<size_t>(i * (side + 1) + j)], static_cast<float>(j)};
    };
    std::vector<Poly> polys;
    polys.reserve(static_cast<size_t>(triangles));
    for (int i = 0; i < side && static_cast<int64_t>(polys.size()) < triangles; ++i)
        for (int j = 0; j < side && static_cast<int64_t>(polys.size()) < triangles; ++j) {
            Poly p{};
            p.corner[0].position = at(i, j);
            p.corner[1].position = at(i, j + 1);
            p.corner[2].position = at(i + 1, j);
            polys.push_back(p);
            if (static_cast<int64_t>(polys.size()) == triangles) break;
            p.corner[0].position = at(i + 1, j + 1);
            p.corner[1].position = at(i + 1, j);
            p.corner[2].position = at(i, j + 1);
            polys.push_back(p);
        }
    return polys;
}

void PerTriangle(benchmark::State &state, size_t triangles) {
    // Seconds per triangle, printed with an SI prefix (e.g. "42n" = 42 ns).
    state.counters["per_triangle"] = benchmark::Counter(
        static_cast<double>(triangles), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_GeometryCheckCollision(benchmark::State &state) {
    const std::vector<Poly> polys = Terrain(state.range(0));
    const float mid = std::sqrt(static_cast<float>(polys.size()) / 2.0f) * 0.5f;
    CollisionBody start{};
    start.radii = {1, 1, 1};
    start.position = {mid, 1.5f, mid};
    start.velocity = {0.25f, -1.0f, 0.1f};
    for (auto _ : state) {
        CollisionBody body = start;
        CheckCollision(nullptr, &body, polys.data(), static_cast<int32_t>(polys.size()));
        benchmark::DoNotOptimize(body);
    }
    PerTriangle(state, polys.size());
}
BENCHMARK(BM_GeometryCheckCollision)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The swept test beside its plain form, in one run: arg 0 a body of radius 1
// on 20 000 triangles (most of them far), arg 1 radius 40 (all of them near).
template <bool kFast>
void BM_PerFrameCheckCollision(benchmark::State &state) {
    const std::vector<Poly> polys = Terrain(20000);
    const float mid = std::sqrt(static_cast<float>(polys.size()) / 2.0f) * 0.5f;
    const float radius = state.range(0) ? 40.0f : 1.0f;
    CollisionBody start{};
    start.radii = {radius, radius, radius};
    start.position = {mid / radius, 1.5f, mid / radius};
    start.velocity = {0.25f, -1.0f, 0.1f};
    for (auto _ : state) {
        CollisionBody body = start;
        if (kFast) vesk::CheckCollision(body, polys);
        else vesk::reference::CheckCollision(body, polys);
        benchmark::DoNotOptimize(body);
    }
    PerTriangle(state, polys.size());
}
BENCHMARK_TEMPLATE(BM_PerFrameCheckCollision, false)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_PerFrameCheckCollision, true)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The push-out beside its plain form, in one run: arg 0 a sphere of radius 1
// on 20 000 triangles, arg 1 radius 40 (every triangle's plane cuts it and
// about a tenth of them lie within its reach).
template <bool kFast>
void BM_PerFrameCheckForCollision1(benchmark::State &state) {
    const std::vector<Poly> polys = Terrain(20000);
    const float mid = std::sqrt(static_cast<float>(polys.size()) / 2.0f) * 0.5f;
    const float radius = state.range(0) ? 40.0f : 1.0f;
    CollisionBody start{};
    start.radii = {radius, radius, radius};
    start.position = {mid, 0.5f, mid};
    for (auto _ : state) {
        CollisionBody body = start;
        Vector3 out;
        if (kFast) vesk::CheckForCollision1(out, body, polys);
        else vesk::reference::CheckForCollision1(out, body, polys);
        benchmark::DoNotOptimize(out);
    }
    PerTriangle(state, polys.size());
}
BENCHMARK_TEMPLATE(BM_PerFrameCheckForCollision1, false)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_PerFrameCheckForCollision1, true)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_GeometryCheckForCollision1(benchmark::State &state) {
    const std::vector<Poly> polys = Terrain(state.range(0));
    const float mid = std::sqrt(static_cast<float>(polys.size()) / 2.0f) * 0.5f;
    CollisionBody start{};
    start.radii = {1, 1, 1};
    start.position = {mid, 0.5f, mid};
    for (auto _ : state) {
        CollisionBody body = start;
        Vector3 out;
        CheckForCollision1(&out, &body, polys.data(), static_cast<int32_t>(polys.size()));
        benchmark::DoNotOptimize(out);
    }
    PerTriangle(state, polys.size());
}
BENCHMARK(BM_GeometryCheckForCollision1)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_GeometryBoxInFrustumPerTriangle(benchmark::State &state) {
    const std::vector<Poly> polys = Terrain(state.range(0));
    // Camera above one corner of the terrain looking along it.
    Matrix4 modelview{};
    modelview.m[0] = modelview.m[5] = modelview.m[10] = modelview.m[15] = 1.0f;
    modelview.m[13] = -2.0f;
    Matrix4 projection{};
    projection.m[0] = projection.m[5] = 1.0f;
    projection.m[10] = -1001.0f / 999.0f;
    projection.m[11] = -1.0f;
    projection.m[14] = -2000.0f / 999.0f;
    modelview.m[10] = -1.0f;  // look towards +z
    modelview.m[0] = -1.0f;
    Frustum frustum;
    CalculateFrustum(&frustum, &modelview, &projection);
    int32_t visible = 0;
    for (auto _ : state) {
        visible = 0;
        for (const Poly &p : polys) {
            const Vector3 &a = p.corner[0].position, &b = p.corner[1].position, &c = p.corner[2].position;
            visible += BoxInFrustum(&frustum, std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}),
                                    std::min({a.z, b.z, c.z}), std::max({a.x, b.x, c.x}),
                                    std::max({a.y, b.y, c.y}), std::max({a.z, b.z, c.z}));
        }
        benchmark::DoNotOptimize(visible);
    }
    state.counters["visible"] = visible;
    PerTriangle(state, polys.size());
}
BENCHMARK(BM_GeometryBoxInFrustumPerTriangle)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
