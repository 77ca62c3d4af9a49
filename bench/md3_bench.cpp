// Cost of posing a real player with a weapon (GetModelMD3mesh), per call.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "characters/md3_player.h"

namespace {

std::string Data(const char *relative) { return std::string(VESK_TESTDATA_DIR) + "/" + relative; }

// sarge with the machine gun, loaded once; frames keep stepping by the clock.
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
        benchmark::DoNotOptimize(vesk::PosePlayer(*player, out));
        benchmark::ClobberMemory();
    }
    state.counters["vertices"] = counts[0] + counts[1] + counts[2] + counts[3];
}
BENCHMARK(BM_Md3PoseSargeWithWeapon)->Unit(benchmark::kMicrosecond);

}  // namespace
