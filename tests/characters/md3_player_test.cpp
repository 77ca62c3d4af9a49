#include "characters/md3_player.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "characters/md3_test_util.h"
#include "frame/module_state.h"
#include "io/file.h"

namespace vesk::test {
namespace {

std::string Join(const std::string &dir, const std::string &name) { return dir + PathSeparator() + name; }

Md3Model ModelWithMeshes(std::initializer_list<const char *> names) {
    std::vector<SurfaceDef> surfaces;
    for (const char *n : names) surfaces.push_back(SimpleSurface(n, 3));
    Md3Model m;
    EXPECT_TRUE(ParseMd3(m, BuildMd3(1, 0, {}, surfaces), "t"));
    return m;
}

// A small but complete player directory.
std::string WritePlayer(const std::string &name) {
    const std::string dir = TempDir(name);
    WriteBytes(Join(dir, "head.md3"), BuildMd3(1, 0, {}, {SimpleSurface("h_head", 3)}));
    WriteBytes(Join(dir, "upper.md3"), BuildMd3(1, 2, {{"tag_weapon"}, {"tag_head"}}, {SimpleSurface("u_torso", 6)}));
    WriteBytes(Join(dir, "lower.md3"), BuildMd3(1, 1, {{"tag_torso"}}, {SimpleSurface("l_legs", 9)}));
    WriteFile(Join(dir, "head_default.skin"), "h_head,models/players/x/skin.tga\r\ntag_head\r\n");
    WriteFile(Join(dir, "upper_default.skin"), "u_torso,models/players/x/skin.tga\r\ntag_head\r\ntag_weapon\r\n");
    WriteFile(Join(dir, "lower_default.skin"), "l_legs,models/players/x/legs.tga\r\ntag_torso,\r\n");
    WriteFile(Join(dir, "animation.cfg"), "0 1 0 10 // BOTH_DEATH1\n");
    return dir;
}

std::string WriteWeapon(const std::string &dir, const std::string &shader) {
    WriteBytes(Join(dir, "gun.md3"), BuildMd3(1, 0, {}, {SimpleSurface("barrel", 3), SimpleSurface("grip", 3)}));
    WriteFile(Join(dir, "gun.shader"), shader);
    return dir;
}

TEST(Md3Skin, LineRulesPickTheTextureAfterTheLastSlash) {
    Md3Model m = ModelWithMeshes({"h_head", "h_eyes", "h_head_visor"});
    const std::string path = WriteTemp("rules.skin", {});
    WriteFile(path,
              "tag_head,\r\n"                           // names no mesh
              "h_head,models/players/x/h_head.tga\r\n"  // h_head only
              "\r\n"
              "h_eyes,/eyes.tga\r\n"     // '/' at index 7: texture after it
              "/h_eyes\n"                // only '/' at index 0: the whole line
              "h_head_visor,a\\b.tga");  // backslash is no separator; no final LF
    ASSERT_TRUE(LoadSkin(&m, path.c_str()));
    // Line 2 matches h_head only; line 4 and 5 match h_eyes; line 6 matches h_head and h_head_visor.
    ASSERT_EQ(m.materialCount, 5);
    ASSERT_EQ(m.materials.size(), 5u);
    EXPECT_STREQ(m.materials[0].textureFile, "h_head.tga");
    EXPECT_STREQ(m.materials[1].textureFile, "eyes.tga");
    EXPECT_STREQ(m.materials[2].textureFile, "/h_eyes");
    EXPECT_STREQ(m.materials[3].textureFile, "h_head_visor,a\\b.tga");
    EXPECT_STREQ(m.materials[4].textureFile, "h_head_visor,a\\b.tga");
    // A later matching line overrides the mesh's material.
    EXPECT_EQ(m.meshes[0].materialIndex, 3);
    EXPECT_EQ(m.meshes[1].materialIndex, 2);
    EXPECT_EQ(m.meshes[2].materialIndex, 4);
    for (const auto &mesh : m.meshes) EXPECT_TRUE(mesh.hasTexture);
    for (const auto &mat : m.materials) {
        EXPECT_EQ(mat.uTiling, 1.0f);
        EXPECT_EQ(mat.vTiling, 0.0f);
        EXPECT_EQ(mat.uOffset, 0.0f);
        EXPECT_EQ(mat.colour[0], 0);
        EXPECT_EQ(mat.name[0], '\0');
    }
    // Texture names longer than the field are cut to fit.
    WriteFile(path, "h_eyes,x/" + std::string(400, 'q') + "\n");
    ASSERT_TRUE(LoadSkin(&m, path.c_str()));
    EXPECT_EQ(std::strlen(m.materials[5].textureFile), 254u);
}

TEST(Md3Shader, LineKGoesToMeshKAndTheRegistrySkipsEmptyNames) {
    Md3Model weapon = ModelWithMeshes({"barrel", "grip"});
    const std::string path = WriteTemp("gun.shader", {});
    WriteFile(path, "gun.tga\r\n\r\nextra.tga\r\nmore.tga\r\n");  // lines beyond the meshes are ignored
    ASSERT_TRUE(LoadShader(&weapon, path.c_str()));
    ASSERT_EQ(weapon.materialCount, 2);
    EXPECT_STREQ(weapon.materials[0].textureFile, "gun.tga");
    EXPECT_STREQ(weapon.materials[1].textureFile, "");
    EXPECT_EQ(weapon.meshes[1].materialIndex, 1);
    EXPECT_TRUE(weapon.meshes[1].hasTexture);

    Md3Player player;
    Md3Model legs = ModelWithMeshes({"l"});
    const std::string skin = WriteTemp("legs.skin", {});
    WriteFile(skin, "l,a/b/gun.tga\nl,c/legs.tga\nl,gun.tga\n");
    ASSERT_TRUE(LoadSkin(&legs, skin.c_str()));
    RegisterTextures(player, legs);
    RegisterTextures(player, weapon);
    ASSERT_EQ(player.textureNames, (std::vector<std::string>{"gun.tga", "legs.tga", "l,gun.tga"}));
    EXPECT_EQ(legs.materials[0].textureIndex, 0);
    EXPECT_EQ(legs.materials[1].textureIndex, 1);
    EXPECT_EQ(legs.materials[2].textureIndex, 2);
    EXPECT_EQ(weapon.materials[0].textureIndex, 0);  // shared across parts
    EXPECT_EQ(weapon.materials[1].textureIndex, 0);  // empty: never registered
}

TEST(Md3Link, FirstTagOfThatNameGetsTheChild) {
    Md3Model parent, child, other;
    ASSERT_TRUE(ParseMd3(parent, BuildMd3(2, 3, {{"tag_a"}, {"tag_b"}, {"tag_b"}, {"x"}, {"y"}, {"z"}}, {}), "p"));
    LinkModel(&parent, &child, "tag_b");
    LinkModel(&parent, &other, "tag_c");  // no match
    LinkModel(&parent, &other, "tag_");   // exact names only
    LinkModel(&parent, &other, "y");      // names of frame 1 do not count
    LinkModel(&parent, nullptr, "tag_a");
    EXPECT_EQ(parent.links, (std::vector<Md3Model *>{nullptr, &child, nullptr}));
    Md3Model empty;
    LinkModel(&empty, &child, "tag_a");
    EXPECT_TRUE(empty.links.empty());
}

TEST(Md3Player, LoadsPartsSkinsAnimationsAndLinks) {
    const std::string dir = WritePlayer("player_ok");
    Md3Player player;
    ASSERT_TRUE(LoadPlayer(player, dir.c_str(), ""));
    EXPECT_STREQ(player.head.meshes[0].name, "h_head");
    EXPECT_STREQ(player.upper.meshes[0].name, "u_torso");
    EXPECT_STREQ(player.lower.meshes[0].name, "l_legs");
    EXPECT_EQ(player.textureNames, (std::vector<std::string>{"legs.tga", "skin.tga"}));
    EXPECT_EQ(player.head.materials[0].textureIndex, 1);
    EXPECT_EQ(player.upper.animationCount, 1);
    EXPECT_EQ(player.lower.animationCount, 1);
    EXPECT_EQ(player.head.animationCount, 0);
    EXPECT_EQ(player.lower.links[0], &player.upper);
    EXPECT_EQ(player.upper.links[1], &player.head);
    EXPECT_EQ(player.upper.links[0], nullptr);  // no weapon yet
    EXPECT_EQ(player.speed, 1.0f);

    const std::string weaponDir = WriteWeapon(TempDir("weapon_ok"), "gun.tga\n\n");
    ASSERT_TRUE(LoadWeapon(player, weaponDir.c_str(), "gun"));
    EXPECT_EQ(player.upper.links[0], &player.weapon);
    EXPECT_EQ(player.weapon.meshCount, 2);
    EXPECT_EQ(player.textureNames.size(), 3u);
}

TEST(Md3Player, EachMissingPieceFailsWithItsMessage) {
    struct Case {
        const char *remove;
        std::vector<std::string> messages;
    };
    const std::string sep(1, PathSeparator());
    const Case cases[] = {
        {"head.md3", {"Unable to find the file: DIR" + sep + "head.md3!"}},
        {"upper.md3", {"Unable to find the file: DIR" + sep + "upper.md3!"}},
        {"lower.md3", {"Unable to find the file: DIR" + sep + "lower.md3!"}},
        {"lower_default.skin", {"Unable to load skin!"}},
        {"head_default.skin", {"Unable to load skin!"}},
        {"animation.cfg", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.remove);
        const std::string dir = WritePlayer("player_missing");
        std::filesystem::remove(Join(dir, c.remove));
        Md3Player player;
        MessageCapture messages;
        EXPECT_FALSE(LoadPlayer(player, dir.c_str(), ""));
        std::vector<std::string> seen;
        for (const auto &m : messages.messages()) {
            std::string text = m.text;
            if (auto at = text.find(dir); at != std::string::npos) text.replace(at, dir.size(), "DIR");
            seen.push_back(text);
        }
        EXPECT_EQ(seen, c.messages);
    }
    Md3Player player;
    EXPECT_FALSE(LoadPlayer(player, nullptr, ""));
}

TEST(Md3Player, WeaponFailuresReportBothMessages) {
    const std::string dir = WritePlayer("player_weapon_fail");
    Md3Player player;
    ASSERT_TRUE(LoadPlayer(player, dir.c_str(), ""));
    MessageCapture messages;
    EXPECT_FALSE(LoadWeapon(player, dir.c_str(), "nothing"));
    ASSERT_EQ(messages.messages().size(), 2u);
    EXPECT_EQ(messages.messages()[0].text, "Unable to find the file: " + Join(dir, "nothing.md3") + "!");
    EXPECT_EQ(messages.messages()[1].text, "Unable to load the WEAPON model!");

    WriteWeapon(dir, "");
    std::filesystem::remove(Join(dir, "gun.shader"));
    EXPECT_FALSE(LoadWeapon(player, dir.c_str(), "gun"));
    ASSERT_EQ(messages.messages().size(), 4u);
    EXPECT_EQ(messages.messages()[2].text, "Unable to load shader!");
    EXPECT_EQ(messages.messages()[3].text, "Unable to load the SHADER file!");
    EXPECT_EQ(player.weapon.meshCount, 2);      // the meshes stay
    EXPECT_EQ(player.upper.links[0], nullptr);  // but are not attached
    EXPECT_FALSE(LoadWeapon(player, nullptr, "gun"));
    EXPECT_FALSE(LoadWeapon(player, dir.c_str(), nullptr));
}

// The table, through the exports the host calls.
TEST(Md3PlayerTable, CountsLoadsRefusesFullTableAndForeignIndices) {
    const std::string dir = WritePlayer("player_table");
    WriteWeapon(dir, "gun.tga\n");
    int32_t &count = Md3PlayerCount();
    const int32_t before = count;
    ASSERT_LT(before, kMaxMd3Players);
    const int32_t after = GetModelMD3(dir.c_str());
    EXPECT_EQ(after, before + 1);
    EXPECT_EQ(Md3Players()[static_cast<size_t>(before)].lower.links[0],
              &Md3Players()[static_cast<size_t>(before)].upper);
    EXPECT_EQ(GetModelMD3weapon(after - 1, dir.c_str(), "gun"), 1);
    GetModelMD3speed(after - 1, 2.5f);
    EXPECT_EQ(Md3Players()[static_cast<size_t>(before)].speed, 2.5f);

    {
        MessageCapture messages;
        EXPECT_EQ(GetModelMD3((dir + "_absent").c_str()), after);  // failure: unchanged
        EXPECT_EQ(messages.messages().size(), 1u);
    }

    // A full table loads nothing and keeps the count.
    count = kMaxMd3Players;
    {
        MessageCapture messages;
        EXPECT_EQ(GetModelMD3(dir.c_str()), kMaxMd3Players);
        EXPECT_TRUE(messages.messages().empty());
    }
    EXPECT_EQ(count, kMaxMd3Players);

    for (int32_t bad : {-1, kMaxMd3Players, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(GetModelMD3weapon(bad, dir.c_str(), "gun"), 0);
        GetModelMD3speed(bad, 3.0f);
        GetModelMD3ani(bad, 14, 11);
        int32_t counts[4] = {-7, -7, -7, -7};
        float box[6] = {42, 42, 42, 42, 42, 42};
        EXPECT_EQ(GetModelMD3mesh(bad, nullptr, nullptr, nullptr, nullptr, counts, box), 0);
        EXPECT_EQ(counts[0], -7);
        EXPECT_EQ(box[0], 42.0f);
    }
    count = after;
}

// A load that fails after its models were read leaves the slot empty, and
// every load into a slot holds exactly its own surfaces.
TEST(Md3PlayerTable, AFailedLoadLeavesNothingInItsSlot) {
    const std::string good = WritePlayer("player_after_failure");
    const std::string broken = WritePlayer("player_broken_skin");
    std::filesystem::remove(Join(broken, "head_default.skin"));
    const int32_t before = Md3PlayerCount();
    ASSERT_LT(before, kMaxMd3Players - 1);
    Md3Player &slot = Md3Players()[static_cast<size_t>(before)];
    {
        MessageCapture messages;
        EXPECT_EQ(GetModelMD3(broken.c_str()), before);
    }
    EXPECT_EQ(slot.lower.meshCount, 0);
    EXPECT_TRUE(slot.textureNames.empty());
    EXPECT_EQ(GetModelMD3(good.c_str()), before + 1);
    EXPECT_EQ(slot.head.meshCount, 1);
    EXPECT_EQ(slot.upper.meshCount, 1);
    EXPECT_EQ(slot.lower.meshCount, 1);
    EXPECT_EQ(slot.textureNames.size(), 2u);
    // After a count reset the same slot is loaded again from scratch.
    Md3PlayerCount() = before;
    EXPECT_EQ(GetModelMD3(good.c_str()), before + 1);
    EXPECT_EQ(slot.lower.meshCount, 1);
    EXPECT_EQ(slot.textureNames.size(), 2u);
    Md3PlayerCount() = before;
}

TEST(Md3PlayerTable, AnEmptySlotWritesOnlyTheInitialBox) {
    // The last slot is never filled by the other tests of this suite.
    int32_t counts[4] = {-7, -7, -7, -7};
    float box[6] = {};
    EXPECT_EQ(GetModelMD3mesh(kMaxMd3Players - 1, nullptr, nullptr, nullptr, nullptr, counts, box), 0);
    EXPECT_EQ(counts[0], -7);
    EXPECT_EQ(box[0], 9999999.0f);
    EXPECT_EQ(box[2], 9999999.0f);
    EXPECT_EQ(box[3], -9999999.0f);
    EXPECT_EQ(box[5], -9999999.0f);
}

}  // namespace
}  // namespace vesk::test
