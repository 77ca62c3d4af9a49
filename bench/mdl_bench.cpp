// Cost of posing man.mdl through GetModelMDLmesh, per call, against the size
// query of the same slot (a walk of its command lists only) in the same run.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "characters/mdl_model.h"

namespace {

uint32_t g_now = 1000;
uint32_t VESK_CALL BenchClock() { return g_now += 16; }

int32_t ManSlot() {
    static const int32_t index = [] {
        const std::string path = std::string(VESK_TESTDATA_DIR) + "/assimp/MDL/MDL (HL1)/man.mdl";
        int32_t textures = 0;
        return GetmodelMDL(path.c_str(), &textures) - 1;
    }();
    return index;
}

void BM_MdlMeshMan(benchmark::State &state) {
    const int32_t index = ManSlot();
    if (!vesk::UsableMdlModelAt(index)) {
        state.SkipWithError("man.mdl not loaded");
        return;
    }
    VeskSetTickSource(&BenchClock);
    vesk::UsableMdlModelAt(index)->sequence = 1;  // the walk: every bone animated
    int32_t sizes[2];
    VeskGetModelMDLcounts(index, sizes);
    std::vector<CharacterVertex> records(static_cast<size_t>(sizes[0]));
    int32_t count = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetModelMDLmesh(index, records.data(), &count));
        benchmark::ClobberMemory();
    }
    VeskSetTickSource(nullptr);
    state.counters["vertices"] = count;
}
BENCHMARK(BM_MdlMeshMan)->Unit(benchmark::kMicrosecond);

void BM_MdlCountsMan(benchmark::State &state) {
    const int32_t index = ManSlot();
    int32_t sizes[2];
    for (auto _ : state) {
        VeskGetModelMDLcounts(index, sizes);
        benchmark::DoNotOptimize(sizes);
    }
}
BENCHMARK(BM_MdlCountsMan)->Unit(benchmark::kMicrosecond);

}  // namespace
