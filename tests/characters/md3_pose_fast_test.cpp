// The pose export's packed vertex path against the plain corner-by-corner
// form, byte for byte: seeded meshes and placements, and a real running player.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "characters/md3_player.h"
#include "math/matrix.h"
#include "support/reference_kernels.h"
#include "support/test_support.h"

namespace vesk {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Written {
    std::vector<CharacterVertex> parts[4];
    int32_t counts[4] = {-5, -5, -5, -5};
    float box[6];
    int32_t partIndex = 0;
};

// Emits one model with the given function into arrays full of filler bytes.
template <class Fn>
Written Emit(Fn emit, const Md3Model &model, const Matrix4 &placement, int32_t partIndex, const float (&box)[6],
             bool withBox, size_t records) {
    Written w;
    Md3Player player;
    player.partIndex = partIndex;
    std::memcpy(w.box, box, sizeof box);
    CharacterOutput out;
    for (int p = 0; p < 4; ++p) {
        w.parts[p].resize(records + 1);
        std::memset(w.parts[p].data(), 0xA7, (records + 1) * sizeof(CharacterVertex));
        out.parts[p] = w.parts[p].data();
    }
    out.counts = w.counts;
    out.box = withBox ? w.box : nullptr;
    emit(player, model, placement, out);
    w.partIndex = player.partIndex;
    return w;
}

void ExpectSame(const Written &a, const Written &b, int trial) {
    for (int p = 0; p < 4; ++p)
        ASSERT_EQ(std::memcmp(a.parts[p].data(), b.parts[p].data(), a.parts[p].size() * sizeof(CharacterVertex)), 0)
            << "trial " << trial << " part " << p;
    ASSERT_EQ(std::memcmp(a.counts, b.counts, sizeof a.counts), 0) << "trial " << trial;
    ASSERT_EQ(std::memcmp(a.box, b.box, sizeof a.box), 0) << "trial " << trial;
    ASSERT_EQ(a.partIndex, b.partIndex) << "trial " << trial;
}

size_t Corners(const Md3Model &model) {
    size_t n = 0;
    for (const Md3Mesh &mesh : model.meshes) n += 3 * mesh.faces.size();
    return n;
}

TEST(Md3PoseFastPath, SeededMeshesAndPlacements) {
    std::mt19937 rng(5150);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const float specials[] = {kNaN, kInf, -kInf, 0.0f, -0.0f, 1e30f, 1e-40f};
    auto odd = [&](float v, double p) { return chance(p) ? specials[pick(7)] : v; };
    for (int trial = 0; trial < 3000; ++trial) {
        Md3Model model;
        const int meshes = pick(4);  // 0: nothing written at all
        for (int m = 0; m < meshes; ++m) {
            Md3Mesh mesh;
            mesh.vertexCount = 1 + pick(40);
            const int frames = pick(4);  // 0: a surface with no frames is skipped
            const double oddness = chance(0.5) ? 0.0 : 0.03;
            for (int i = 0; i < frames * mesh.vertexCount; ++i) {
                // Whole numbers and zeros give signed-zero and tied results often.
                const bool grid = chance(0.3);
                auto coord = [&] { return odd(grid ? static_cast<float>(pick(3) - 1) : uniform(-50, 50), oddness); };
                mesh.vertices.push_back({coord(), coord(), coord()});
            }
            mesh.texCoords.resize(static_cast<size_t>(chance(0.8) ? mesh.vertexCount : pick(mesh.vertexCount + 1)));
            for (TexCoord &t : mesh.texCoords) t = {uniform(0, 1), uniform(0, 1)};
            const int faces = pick(60);
            for (int f = 0; f < faces; ++f) {
                StaticFace face;
                for (int32_t &vi : face.vertexIndex)
                    vi = chance(0.02) ? (chance(0.5) ? -1 : mesh.vertexCount) : pick(mesh.vertexCount);
                mesh.faces.push_back(face);
            }
            model.meshes.push_back(std::move(mesh));
        }
        model.meshCount = meshes;
        model.currentFrame = pick(5) - 1;
        model.nextFrame = pick(5) - 1;
        const float blends[] = {0.0f, 1.0f, uniform(0, 1), uniform(-2, 3), kNaN};
        model.blend = blends[pick(5)];
        // Placements: a tag product (affine), a general matrix, or either with odd entries.
        Matrix4 placement;
        Md3Tag t0, t1;
        for (Md3Tag *t : {&t0, &t1}) {
            t->origin = {uniform(-40, 40), uniform(-40, 40), uniform(-40, 40)};
            for (Vector3 &axis : t->axis) axis = {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
        }
        TagMatrix(t0, t1, uniform(0, 1), placement);
        if (chance(0.3))
            for (float &e : placement.m) e = uniform(-2, 2);
        if (chance(0.1)) placement.m[pick(16)] = specials[pick(7)];
        if (chance(0.1)) placement.m[3] = -0.0f;
        float box[6] = {9999999.0f, 9999999.0f, 9999999.0f, -9999999.0f, -9999999.0f, -9999999.0f};
        if (chance(0.3))
            for (float &b : box) b = chance(0.5) ? (chance(0.5) ? 0.0f : -0.0f) : uniform(-60, 60);
        const int32_t partIndex = pick(6) - 1;  // -1 and 4 write no records
        const bool withBox = !chance(0.1);
        const size_t records = Corners(model);
        const Written fast = Emit(&EmitModel, model, placement, partIndex, box, withBox, records);
        const Written plain = Emit(&reference::EmitModel, model, placement, partIndex, box, withBox, records);
        ExpectSame(fast, plain, trial);
    }
}

TEST(Md3PoseFastPath, WholeRunningPlayersWithWeapons) {
    const std::string root = test::DataPath("openarena/models");
    const std::string weapons = test::TempDir("md3_fast_weapons");
    std::filesystem::copy_file(root + "/weapons2/machinegun/machinegun.md3", weapons + "/machinegun.md3",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(weapons + "/machinegun.shader") << "mgun.tga\nflare.tga\n";
    test::FakeClock clock;
    test::MessageCapture quiet;
    auto fast = std::make_unique<Md3Player>(), plain = std::make_unique<Md3Player>();
    for (Md3Player *p : {fast.get(), plain.get()}) {
        ASSERT_TRUE(LoadPlayer(*p, (root + "/players/sarge").c_str(), ""));
        ASSERT_TRUE(LoadWeapon(*p, weapons.c_str(), "machinegun"));
        SelectAnimations(*p, 15, 7);  // running and attacking
    }
    Written a, b;
    for (Written *w : {&a, &b})
        for (auto &part : w->parts) part.assign(4096, CharacterVertex{});
    auto output = [](Written &w) {
        CharacterOutput out;
        for (int p = 0; p < 4; ++p) out.parts[p] = w.parts[p].data();
        out.counts = w.counts;
        out.box = w.box;
        return out;
    };
    for (int step = 0; step < 60; ++step) {
        clock.Advance(23);
        const int32_t ra = PosePlayer(*fast, output(a)), rb = reference::PosePlayer(*plain, output(b));
        ASSERT_EQ(ra, rb);
        ExpectSame(a, b, step);
        ASSERT_GT(a.counts[3], 0);  // the weapon is drawn too
    }
}

}  // namespace
}  // namespace vesk
