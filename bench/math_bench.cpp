// Per-call cost of the math exports that hosts call every frame.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_InverseSqrt(benchmark::State &state) {
    std::vector<float> xs(1024);
    for (size_t i = 0; i < xs.size(); ++i) xs[i] = 0.5f + static_cast<float>(i);
    for (auto _ : state) {
        for (float x : xs) benchmark::DoNotOptimize(InverseSqrt(x));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * xs.size()));
}
BENCHMARK(BM_InverseSqrt);

void BM_VectorNormalize(benchmark::State &state) {
    std::vector<Vector3> vs(1024);
    for (size_t i = 0; i < vs.size(); ++i) vs[i] = {1.0f + static_cast<float>(i), 2.0f, -3.0f};
    for (auto _ : state) {
        for (Vector3 v : vs) benchmark::DoNotOptimize(VECTOR_Normalize(&v));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * vs.size()));
}
BENCHMARK(BM_VectorNormalize);

void BM_MatrixPolygonMultiply(benchmark::State &state) {
    std::vector<Poly> polys(static_cast<size_t>(state.range(0)));
    Matrix4 m{};
    const Vector3 scale{1, 1, 1}, angles{0.1f, 0.2f, 0.3f}, position{1, 2, 3};
    MatrixCreate(&m, &scale, &angles, &position);
    m.m[3] = m.m[7] = m.m[11] = 0.0f;
    for (auto _ : state) {
        MatrixPolygonMultiply(polys.data(), &m, static_cast<int32_t>(polys.size()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_MatrixPolygonMultiply)->Arg(10000);

}  // namespace
