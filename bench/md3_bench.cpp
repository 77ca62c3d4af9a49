// Cost of posing a real player with a weapon (GetModelMD3mesh), per call.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "characters/md3_player.h"
#include "math/matrix.h"
#include "support/reference_kernels.h"

namespace {

std::string Data(const char *relative) { return std::string(VESK_TESTDATA_DIR) + "/" + relative; }

// sarge with the machine gun, loaded once; frames keep stepping by the clock.
template <bool kFast>
void BM_Md3PoseSargeWithWeapon(benchmark::State &state) {
    const auto weapons = std::filesystem::temp_directory_path() / "vesk_bench_md3";
    std::filesystem::create_directories(weapons);
    std::filesystem::copy_file(Data("openarena/models/weapons2/machinegun/machinegun.md3"), weapons / "machinegun.md3",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(weapons / "machinegun.shader") << "mgun.tga\nflare.tga\n";

    auto player = std::make_unique<vesk::Md3Player>();
    if (!vesk::LoadPlayer(*player, Data("openarena/models/players/sarge").c_str(), "") ||
        !vesk::LoadWeapon(*player, weapons.string().c_str(), "machinegun")) {
        state.SkipWithError("sarge or the machine gun not read");
        return;
    }
    vesk::SelectAnimations(*player, 15, 7);  // LEGS_RUN, TORSO_ATTACK
    std::vector<CharacterVertex> parts[4];
    for (auto &p : parts) p.resize(4096);
    int32_t counts[4] = {};
    float box[6];
    vesk::CharacterOutput out;
    for (int i = 0; i < 4; ++i) out.parts[i] = parts[i].data();
    out.counts = counts;
    out.box = box;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kFast ? vesk::PosePlayer(*player, out) : vesk::reference::PosePlayer(*player, out));
        benchmark::ClobberMemory();
    }
    const double vertices = counts[0] + counts[1] + counts[2] + counts[3];
    state.counters["vertices"] = vertices;
    state.counters["per_vertex"] =
        benchmark::Counter(vertices, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// The whole export beside the same walk with the plain corner-by-corner emit.
BENCHMARK_TEMPLATE(BM_Md3PoseSargeWithWeapon, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_Md3PoseSargeWithWeapon, true)->Unit(benchmark::kMicrosecond);

// The vertex kernel beside its plain form, in one run: every part of sarge
// and the machine gun, blended between two frames, under a tag placement.
template <bool kFast>
void BM_PerFrameMd3Emit(benchmark::State &state) {
    std::vector<vesk::Md3Model> models(4);
    const char *files[4] = {"players/sarge/lower", "players/sarge/upper", "players/sarge/head",
                            "weapons2/machinegun/machinegun"};
    for (int i = 0; i < 4; ++i)
        if (!vesk::LoadMd3(models[static_cast<size_t>(i)],
                           Data((std::string("openarena/models/") + files[i] + ".md3").c_str()).c_str())) {
            state.SkipWithError("an MD3 file was not read");
            return;
        }
    for (vesk::Md3Model &m : models) {
        m.currentFrame = 0;
        m.nextFrame = m.meshes[0].FrameCount() > 1 ? 1 : 0;
        m.blend = 0.375f;
    }
    Matrix4 placement;
    vesk::TagMatrix(models[0].tags[0], models[0].tags.back(), 0.25f, placement);
    std::vector<CharacterVertex> parts[4];
    for (auto &p : parts) p.resize(4096);
    int32_t counts[4] = {};
    float box[6] = {};
    vesk::CharacterOutput out;
    for (int i = 0; i < 4; ++i) out.parts[i] = parts[i].data();
    out.counts = counts;
    out.box = box;
    vesk::Md3Player player;
    for (auto _ : state) {
        player.partIndex = 0;
        for (const vesk::Md3Model &m : models) {
            if (kFast) vesk::EmitModel(player, m, placement, out);
            else vesk::reference::EmitModel(player, m, placement, out);
        }
        benchmark::ClobberMemory();
    }
    const double vertices = counts[0] + counts[1] + counts[2] + counts[3];
    state.counters["vertices"] = vertices;
    state.counters["per_vertex"] =
        benchmark::Counter(vertices, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_PerFrameMd3Emit, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_PerFrameMd3Emit, true)->Unit(benchmark::kMicrosecond);

}  // namespace
