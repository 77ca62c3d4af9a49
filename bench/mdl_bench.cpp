// Cost of posing man.mdl through GetModelMDLmesh, per call, against the size
// query of the same slot (a walk of its command lists only) in the same run;
// then the pose (bone setup and records) by the library and by the plain
// scalar setup and writer, and each half alone (ns per record).
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "characters/mdl_model.h"
#include "characters/mdl_reference.h"

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

vesk::MdlModel *WalkingMan() {
    vesk::MdlModel *model = vesk::UsableMdlModelAt(ManSlot());
    if (model) {
        model->sequence = 1;
        model->frame = 3.4f;
    }
    return model;
}

void PerRecord(benchmark::State &state, int32_t count) {
    state.counters["vertices"] = count;
    state.counters["ns_per_vertex"] = benchmark::Counter(static_cast<double>(count) * 1e-9,
                                                         benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
}

// Every body part's records of the last pose by the library's writer.
int32_t LibraryRecords(vesk::MdlModel &model, CharacterVertex *records) {
    model.vertexCount = 0;
    for (int32_t b = 0; b < model.Head().bodyPartCount; ++b) {
        vesk::SetupModel(model, b);
        vesk::DrawModel(model, records);
    }
    return model.vertexCount;
}

// The walk as a 60 Hz host plays it (the frame advances 16 ms a call): bone
// setup and records by the library, or by the plain setup and writer.
template <bool Plain>
void PoseMan(benchmark::State &state) {
    vesk::MdlModel *model = WalkingMan();
    if (!model) {
        state.SkipWithError("man.mdl not loaded");
        return;
    }
    static vesk::mdl::BoneMatrix plainBones[vesk::kMdlMaxBones];
    std::vector<CharacterVertex> records(static_cast<size_t>(vesk::MdlMeshSizes(*model).records));
    int32_t count = 0;
    for (auto _ : state) {
        vesk::AdvanceFrame(*model, 0.016);
        if constexpr (Plain) {
            vesk::reference::MdlSetUpBones(*model, plainBones);
            count = vesk::reference::MdlRecords(*model, records.data(), plainBones);
        } else {
            vesk::SetUpBones(*model);
            count = LibraryRecords(*model, records.data());
        }
        benchmark::ClobberMemory();
    }
    PerRecord(state, count);
}
void BM_MdlPoseManPlain(benchmark::State &state) { PoseMan<true>(state); }
void BM_MdlPoseManFast(benchmark::State &state) { PoseMan<false>(state); }
BENCHMARK(BM_MdlPoseManPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MdlPoseManFast)->Unit(benchmark::kMicrosecond);

// Bone setup alone, advancing as above.
template <bool Plain>
void BonesMan(benchmark::State &state) {
    vesk::MdlModel *model = WalkingMan();
    if (!model) {
        state.SkipWithError("man.mdl not loaded");
        return;
    }
    static vesk::mdl::BoneMatrix plainBones[vesk::kMdlMaxBones];
    for (auto _ : state) {
        vesk::AdvanceFrame(*model, 0.016);
        if constexpr (Plain) vesk::reference::MdlSetUpBones(*model, plainBones);
        else vesk::SetUpBones(*model);
        benchmark::ClobberMemory();
    }
}
void BM_MdlBonesManPlain(benchmark::State &state) { BonesMan<true>(state); }
void BM_MdlBonesManFast(benchmark::State &state) { BonesMan<false>(state); }
BENCHMARK(BM_MdlBonesManPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MdlBonesManFast)->Unit(benchmark::kMicrosecond);

// Records of a set pose by the library's writer and by the plain one.
template <bool Plain>
void RecordsMan(benchmark::State &state) {
    vesk::MdlModel *model = WalkingMan();
    if (!model) {
        state.SkipWithError("man.mdl not loaded");
        return;
    }
    vesk::SetUpBones(*model);
    std::vector<CharacterVertex> records(static_cast<size_t>(vesk::MdlMeshSizes(*model).records));
    int32_t count = 0;
    for (auto _ : state) {
        if constexpr (Plain) {
            count = vesk::reference::MdlRecords(*model, records.data());
        } else {
            count = LibraryRecords(*model, records.data());
        }
        benchmark::ClobberMemory();
    }
    PerRecord(state, count);
}
void BM_MdlRecordsManPlain(benchmark::State &state) { RecordsMan<true>(state); }
void BM_MdlRecordsManFast(benchmark::State &state) { RecordsMan<false>(state); }
BENCHMARK(BM_MdlRecordsManPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MdlRecordsManFast)->Unit(benchmark::kMicrosecond);

}  // namespace
