// The MD3 size query against the mesh export: real players, their damaged
// copies and odd link structures; every part array is sized from the query
// and followed by a guard region.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "characters/md3_player.h"
#include "characters/md3_test_util.h"
#include "frame/module_state.h"
#include "frame/platform.h"
#include "support/sized_output.h"

namespace vesk {
namespace {

using namespace test;

using PartOutputs = std::vector<SizedOutput<CharacterVertex>>;

PartOutputs SizedParts(const int32_t (&counts)[4]) {
    PartOutputs parts;
    for (int p = 0; p < 4; ++p) parts.emplace_back(counts[p]);
    return parts;
}

// The export's counts against the query's, for one pose of slot index.
void ExpectPoseWithinQuery(int32_t index, const int32_t (&query)[4]) {
    PartOutputs parts = SizedParts(query);
    int32_t written[4] = {-7, -7, -7, -7};
    float box[6];
    GetModelMD3mesh(index, parts[0].data(), parts[1].data(), parts[2].data(), parts[3].data(), written, box);
    for (size_t p = 0; p < 4; ++p) {
        SCOPED_TRACE("part " + std::to_string(p));
        // A part the export does not draw keeps its count; the query says 0.
        EXPECT_EQ(written[p] == -7 ? 0 : written[p], query[p]);
        EXPECT_TRUE(parts[p].GuardIntact());
        if (query[p] > 0) {
            EXPECT_TRUE(parts[p].Written(parts[p].size() - 1, 3 * sizeof(float)));
        }
    }
}

// Query, then pose twice with the clock and the animations moved in between:
// the sizes do not depend on the pose.
void CheckSlot(int32_t index, FakeClock &clock, int32_t (&query)[4]) {
    for (int32_t &c : query) c = -5;
    VeskGetModelMD3counts(index, query);
    ExpectPoseWithinQuery(index, query);
    GetModelMD3ani(index, 15, 7);  // run, attack
    clock.Advance(337);
    int32_t again[4];
    VeskGetModelMD3counts(index, again);
    for (int p = 0; p < 4; ++p) EXPECT_EQ(again[p], query[p]);
    ExpectPoseWithinQuery(index, query);
}

int32_t Word(const std::vector<uint8_t> &bytes, size_t at) {
    int32_t v = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// Seeded damage to an MD3: one byte of the file header or of the first
// surface's header (where the counts and offsets live), one anywhere.
std::vector<uint8_t> DamagedMd3(std::vector<uint8_t> bytes, uint32_t seed) {
    std::mt19937 rng(seed);
    const int32_t surface = Word(bytes, 100);
    const bool inSurface = (rng() & 1u) != 0 && surface > 0 && static_cast<size_t>(surface) + 108 <= bytes.size();
    const size_t at = inSurface ? static_cast<size_t>(surface) + rng() % 108 : rng() % 108;
    bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1u + rng() % 255u));
    const size_t anywhere = rng() % bytes.size();
    bytes[anywhere] = static_cast<uint8_t>(bytes[anywhere] ^ (1u + rng() % 255u));
    return bytes;
}

struct PlayerSource {
    std::string name, skin;  // skin: which skin set stands in for the default
};

// A player directory with its own copies of the three models (each possibly
// changed by edit) beside the skins and animation configuration.
std::string PlayerCopy(const std::string &tag, const PlayerSource &source, int damaged, uint32_t seed) {
    const std::string src = DataPath("openarena/models/players/" + source.name) + "/";
    const std::string dir = TempDir(tag);
    const char *models[3] = {"lower", "upper", "head"};
    for (int m = 0; m < 3; ++m) {
        std::vector<uint8_t> bytes = ReadAll(src + models[m] + ".md3");
        if (m == damaged) bytes = DamagedMd3(std::move(bytes), seed);
        WriteBytes(dir + "/" + models[m] + ".md3", bytes);
        std::filesystem::copy_file(src + models[m] + "_" + source.skin + ".skin",
                                   dir + "/" + models[m] + "_default.skin");
    }
    std::filesystem::copy_file(src + "animation.cfg", dir + "/animation.cfg");
    return dir;
}

const PlayerSource kPlayers[] = {{"sarge", "default"}, {"sorceress", "blue"}};

// Earlier tests in this process may have filled slots: start from an empty table.
void ClearPlayerTable() {
    for (Md3Player &p : Md3Players()) {
        p.textureNames.clear();
        for (Md3Model *m : {&p.head, &p.upper, &p.lower, &p.weapon}) *m = Md3Model{};
    }
    Md3PlayerCount() = 0;
}

TEST(Md3SizeQuery, RealPlayersAndDamagedCopiesNeverWritePastTheQueriedSize) {
    MessageCapture quiet;
    FakeClock clock;
    ClearPlayerTable();
    // Clean players first, each in a fresh slot: the query is the independent
    // triangle count of each file, three records per triangle.
    int32_t cleanLegs = 0;
    for (const PlayerSource &source : kPlayers) {
        SCOPED_TRACE(source.name);
        const std::string dir = PlayerCopy(source.name, source, -1, 0);
        const int32_t index = GetModelMD3(dir.c_str()) - 1;
        ASSERT_EQ(index + 1, Md3PlayerCount());
        int32_t query[4];
        CheckSlot(index, clock, query);
        EXPECT_EQ(query[0], 3 * ReadMd3Facts(dir + "/lower.md3").triangles);
        EXPECT_EQ(query[1], 3 * ReadMd3Facts(dir + "/upper.md3").triangles);
        EXPECT_EQ(query[2], 3 * ReadMd3Facts(dir + "/head.md3").triangles);
        EXPECT_EQ(query[3], 0);
        EXPECT_GT(query[0], 0);
        if (cleanLegs == 0) cleanLegs = query[0];

        // A weapon takes the part its tag's place among the upper body's tags gives it.
        const std::string weapons = TempDir(source.name + "_weapon");
        std::filesystem::copy_file(DataPath("openarena/models/weapons2/machinegun/machinegun.md3"),
                                   weapons + "/machinegun.md3");
        WriteFile(weapons + "/machinegun.shader", "mgun.tga\r\nflare.tga\r\n");
        ASSERT_EQ(GetModelMD3weapon(index, weapons.c_str(), "machinegun"), 1);
        int32_t armed[4];
        CheckSlot(index, clock, armed);
        const auto upperTags = ReadMd3Facts(dir + "/upper.md3").tagNames;
        const int weaponPart = std::find(upperTags.begin(), upperTags.end(), "tag_weapon") <
                                       std::find(upperTags.begin(), upperTags.end(), "tag_head")
                                   ? 2
                                   : 3;
        EXPECT_EQ(armed[weaponPart], 3 * ReadMd3Facts(weapons + "/machinegun.md3").triangles);
        EXPECT_EQ(armed[5 - weaponPart], query[2]);
    }

    // One triangle fewer announced in the legs' first surface: the query follows the file.
    {
        const std::string dir = PlayerCopy("fewer", kPlayers[0], -1, 0);
        std::vector<uint8_t> lower = ReadAll(dir + "/lower.md3");
        const size_t field = static_cast<size_t>(Word(lower, 100)) + 84;
        const int32_t announced = Word(lower, field) - 1;
        std::memcpy(lower.data() + field, &announced, 4);
        WriteBytes(dir + "/lower.md3", lower);
        const int32_t index = GetModelMD3(dir.c_str()) - 1;
        int32_t query[4];
        CheckSlot(index, clock, query);
        EXPECT_EQ(query[0], 3 * ReadMd3Facts(dir + "/lower.md3").triangles);
        EXPECT_EQ(query[0], cleanLegs - 3);
    }

    // Damaged copies: whatever loads (or is left behind by a failed load in the
    // slot the next load fills), the query and the export agree.
    int loaded = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const PlayerSource &source = kPlayers[seed % 2];
        const int damaged = static_cast<int>(seed % 3);
        SCOPED_TRACE(source.name + " model " + std::to_string(damaged) + " seed " + std::to_string(seed));
        const std::string dir = PlayerCopy("damaged" + std::to_string(seed), source, damaged, seed);
        const int32_t before = Md3PlayerCount();
        const int32_t after = GetModelMD3(dir.c_str());
        if (after > before) ++loaded;
        int32_t query[4];
        CheckSlot(after > before ? after - 1 : before, clock, query);
    }
    EXPECT_GT(loaded, 0);

    // Slots without a player, and indices outside the table: zeros.
    for (const int32_t index : {-1, kMaxMd3Players - 1, kMaxMd3Players, 1 << 30}) {
        int32_t query[4] = {9, 9, 9, 9};
        VeskGetModelMD3counts(index, query);
        for (const int32_t c : query) EXPECT_EQ(c, 0) << index;
    }
}

// Link structures built byte by byte, posed through the internal walk, with
// the records each part must hold worked out from the construction.
TEST(Md3SizeQuery, OddLinksMeshlessPartsAndFacesThatNameNoVertex) {
    struct Case {
        const char *what;
        bool legsMeshes, badFace, headLinksBack;
        int32_t expected[4];
    };
    // Legs: 2 triangles (+1 naming a missing vertex); upper 3; head 1.
    const Case cases[] = {
        {"plain", true, false, false, {6, 9, 3, 0}},
        {"a face naming no vertex is not drawn", true, true, false, {6, 9, 3, 0}},
        {"meshless legs draw no part", false, false, false, {9, 3, 0, 0}},
        {"a loop through the head draws the upper body again", true, false, true, {6, 9, 3, 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto player = std::make_unique<Md3Player>();
        Md3Player &p = *player;
        TagDef torso, head, back;
        torso.name = "tag_torso";
        head.name = "tag_head";
        back.name = "tag_back";
        SurfaceDef legs = SimpleSurface("l_legs", 6, 2);
        if (c.badFace) legs.triangles.push_back({0, 1, 99});
        const std::vector<SurfaceDef> legSurfaces = c.legsMeshes ? std::vector<SurfaceDef>{legs} : std::vector<SurfaceDef>{};
        ASSERT_TRUE(ParseMd3(p.lower, BuildMd3(2, 1, {torso, torso}, legSurfaces), "lower"));
        ASSERT_TRUE(ParseMd3(p.upper, BuildMd3(1, 1, {head}, {SimpleSurface("u_torso", 9)}), "upper"));
        ASSERT_TRUE(ParseMd3(p.head, BuildMd3(1, c.headLinksBack ? 1 : 0, c.headLinksBack ? std::vector<TagDef>{back}
                                                                                         : std::vector<TagDef>{},
                                             {SimpleSurface("h_head", 3)}),
                             "head"));
        LinkModel(&p.lower, &p.upper, "tag_torso");
        LinkModel(&p.upper, &p.head, "tag_head");
        if (c.headLinksBack) LinkModel(&p.head, &p.upper, "tag_back");

        int32_t query[4] = {-5, -5, -5, -5};
        CountPlayerRecords(p, query);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(query[i], c.expected[i]) << "part " << i;
        PartOutputs parts = SizedParts(query);
        CharacterOutput out;
        int32_t written[4] = {-7, -7, -7, -7};
        float box[6];
        for (int i = 0; i < 4; ++i) out.parts[i] = parts[static_cast<size_t>(i)].data();
        out.counts = written;
        out.box = box;
        PosePlayer(p, out);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(written[i] == -7 ? 0 : written[i], query[i]) << "part " << i;
            EXPECT_TRUE(parts[i].GuardIntact()) << "part " << i;
        }
    }
}

}  // namespace
}  // namespace vesk
