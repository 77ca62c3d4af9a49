// Load costs of the static model loaders on real files, and how the ASE load
// grows with the size of the file.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <string>

#include "io/file.h"
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

}  // namespace
