// Load costs of the static model loaders on real files, and how the ASE load
// grows with the size of the file.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "io/file.h"
#include "io/line_masks.h"
#include "loaders/static_model.h"

namespace {

std::string Data(const char *relative) { return std::string(VESK_TESTDATA_DIR) + "/" + relative; }

template <bool (*Load)(const char *, vesk::StaticModel &)>
void LoadFile(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    int32_t faces = 0;
    for (auto _ : state) {
        vesk::StaticModel model;
        if (!Load(path.c_str(), model)) state.SkipWithError("file not read");
        faces = 0;
        for (const vesk::StaticObject &o : model.objects) faces += o.faceCount;
        benchmark::DoNotOptimize(model.objects.data());
    }
    state.counters["faces"] = faces;
}

void BM_LoadAseMotionCapture(benchmark::State &state) {
    LoadFile<vesk::LoadAse>(state, "assimp/ASE/MotionCaptureROM.ase");
}
BENCHMARK(BM_LoadAseMotionCapture)->Unit(benchmark::kMillisecond);

// The game's map objects: many small objects per file.
void BM_LoadAseMapObject(benchmark::State &state, const char *relative) { LoadFile<vesk::LoadAse>(state, relative); }
BENCHMARK_CAPTURE(BM_LoadAseMapObject, lamp, "openarena/models/mapobjects/lamp/lamp.ase")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LoadAseMapObject, pitborder, "openarena/models/mapobjects/gaelevish/pitborder.ase")
    ->Unit(benchmark::kMicrosecond);

void BM_LoadObjWuson(benchmark::State &state) { LoadFile<vesk::LoadObj>(state, "assimp/OBJ/WusonOBJ.obj"); }
BENCHMARK(BM_LoadObjWuson)->Unit(benchmark::kMillisecond);

void BM_Load3dsTest1(benchmark::State &state) { LoadFile<vesk::Load3ds>(state, "assimp/3DS/test1.3ds"); }
BENCHMARK(BM_Load3dsTest1)->Unit(benchmark::kMicrosecond);

// The ASE text repeated n times (n times the objects): bytes per second stays
// flat when the parse is linear in the file.
void BM_ParseAseRepeated(benchmark::State &state) {
    const auto text = vesk::ReadTextFile(Data("assimp/ASE/MotionCaptureROM.ase").c_str());
    if (!text) {
        state.SkipWithError("MotionCaptureROM.ase not read");
        return;
    }
    std::string repeated;
    for (int64_t i = 0; i < state.range(0); ++i) repeated += *text;
    for (auto _ : state) {
        vesk::StaticModel model;
        vesk::ParseAseBytes(repeated, model);
        benchmark::DoNotOptimize(model.objects.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(repeated.size()));
}
BENCHMARK(BM_ParseAseRepeated)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

// The ASE parse from memory with the plain SSE2 reader (the reference: the
// same model, as the tests check) and with the widest the machine has, one
// after the other in every iteration so that noise falls on both. The
// benchmark's time is the widest's; medians and their ratio are counters.
void BM_ParseAseLanes(benchmark::State &state, const char *relative) {
    const auto bytes = vesk::ReadFileCopy(Data(relative).c_str());
    if (!bytes) {
        state.SkipWithError("file not read");
        return;
    }
    const std::string_view text(reinterpret_cast<const char *>(bytes->data()), bytes->size());
    vesk::StaticModel model;
    std::vector<double> plain, widest;
    bool widestFirst = false;
    for (auto _ : state) {
        widestFirst = !widestFirst;
        for (const bool wide : {widestFirst, !widestFirst}) {
            vesk::LimitLineMaskLanes(wide ? vesk::LineMaskLanes::Avx512 : vesk::LineMaskLanes::Sse2);
            const auto start = std::chrono::steady_clock::now();
            vesk::ParseAseBytes(text, model);
            const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
            (wide ? widest : plain).push_back(took.count());
            if (wide) state.SetIterationTime(took.count() * 1e-6);
        }
        benchmark::DoNotOptimize(model.objects.data());
    }
    vesk::LimitLineMaskLanes(vesk::LineMaskLanes::Avx512);
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    state.counters["sse2_us"] = median(plain);
    state.counters["widest_us"] = median(widest);
    state.counters["sse2/widest"] = median(plain) / median(widest);
    state.counters["widest_is"] = static_cast<double>(vesk::LineMaskLanesInUse());  // 0 SSE2, 1 AVX2, 2 AVX-512
}
BENCHMARK_CAPTURE(BM_ParseAseLanes, lamp, "openarena/models/mapobjects/lamp/lamp.ase")
    ->Iterations(400)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ParseAseLanes, pitborder, "openarena/models/mapobjects/gaelevish/pitborder.ase")
    ->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ParseAseLanes, MotionCaptureROM, "assimp/ASE/MotionCaptureROM.ase")
    ->Iterations(400)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
