#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "characters/md3_player.h"
#include "characters/md3_test_util.h"
#include "frame/module_state.h"
#include "io/file.h"

namespace vesk::test {
namespace {

constexpr float kPi = 3.14159265358979f;

// Axes of a rotation by angle about one coordinate axis (0 x, 1 y, 2 z), as a tag stores them.
TagDef RotatedTag(const char *name, Vector3 origin, int about, float angle) {
    TagDef t;
    t.name = name;
    t.origin = origin;
    const float c = std::cos(angle), s = std::sin(angle);
    const int i = (about + 1) % 3, j = (about + 2) % 3;
    float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    m[i][i] = c;
    m[i][j] = s;  // axis i turns towards j
    m[j][i] = -s;
    m[j][j] = c;
    for (int r = 0; r < 3; ++r) t.axis[r] = {m[r][0], m[r][1], m[r][2]};
    return t;
}

Md3Tag ToTag(const TagDef &s) {
    Md3Tag t;
    std::strncpy(t.name, s.name.c_str(), sizeof t.name - 1);
    t.origin = s.origin;
    for (int r = 0; r < 3; ++r) t.axis[r] = s.axis[r];
    return t;
}

// Where a tag carries a point of the attached part, straight from the tag
// (its axes at unit length).
Vector3 ApplyTag(TagDef t, const Vector3 &p) {
    for (auto &a : t.axis) {
        const float n = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
        a = {a.x / n, a.y / n, a.z / n};
    }
    return {t.origin.x + p.x * t.axis[0].x + p.y * t.axis[1].x + p.z * t.axis[2].x,
            t.origin.y + p.x * t.axis[0].y + p.y * t.axis[1].y + p.z * t.axis[2].y,
            t.origin.z + p.x * t.axis[0].z + p.y * t.axis[1].z + p.z * t.axis[2].z};
}

Vector3 Carry(const Matrix4 &m, const Vector3 &p) {
    return {p.x * m.m[0] + p.y * m.m[4] + p.z * m.m[8] + m.m[12], p.x * m.m[1] + p.y * m.m[5] + p.z * m.m[9] + m.m[13],
            p.x * m.m[2] + p.y * m.m[6] + p.z * m.m[10] + m.m[14]};
}

void ExpectNear(const Vector3 &a, const Vector3 &b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(Md3Quaternion, TagMatricesPlaceChildPointsAlongTheTagAxes) {
    // A generic rotation and the half turns that reach each branch of the quaternion extraction.
    TagDef generic = RotatedTag("g", {1, 2, 3}, 2, 0.7f);
    const TagDef tilt = RotatedTag("t", {0, 0, 0}, 0, -1.1f);
    for (int r = 0; r < 3; ++r) generic.axis[r] = ApplyTag(tilt, generic.axis[r]);
    // Axes several times unit length (as some players' files have) place without scaling.
    TagDef scaled = generic;
    scaled.name = "scaled";
    for (auto &a : scaled.axis) a = {a.x * 4.6f, a.y * 4.6f, a.z * 4.6f};
    const TagDef tags[] = {RotatedTag("z90", {10, 0, 0}, 2, kPi / 2),
                           generic,
                           RotatedTag("x180", {0, 5, 0}, 0, kPi),
                           RotatedTag("y180", {0, 0, 5}, 1, kPi),
                           RotatedTag("z180", {-3, 0, 0}, 2, kPi),
                           RotatedTag("id", {0, 0, 0}, 2, 0.0f),
                           scaled};
    for (const TagDef &given : tags) {
        SCOPED_TRACE(given.name);
        const Md3Tag tag = ToTag(given);
        Matrix4 m;
        TagMatrix(tag, tag, 0.0f, m);
        for (const Vector3 &p : {Vector3{1, 0, 0}, Vector3{0, 1, 0}, Vector3{0, 0, 1}, Vector3{2, -3, 4}})
            ExpectNear(Carry(m, p), ApplyTag(given, p), 1e-4f);
        const Vector3 unit = Carry(m, {0, 0, 1});
        const Vector3 o = given.origin;
        EXPECT_NEAR(std::hypot(unit.x - o.x, unit.y - o.y, unit.z - o.z), 1.0f, 1e-5f);
        EXPECT_EQ(m.m[3], 0.0f);
        EXPECT_EQ(m.m[15], 1.0f);
    }
    // The quaternion of the z quarter turn, as the tag's rows give it.
    const Quaternion q = QuaternionFromAxes(ToTag(tags[0]).axis);
    EXPECT_NEAR(std::fabs(q.z), std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(std::fabs(q.w), std::sqrt(0.5f), 1e-6f);
    const Quaternion identity = QuaternionFromAxes(ToTag(tags[5]).axis);
    EXPECT_EQ(identity.x, 0.0f);
    EXPECT_EQ(identity.w, 1.0f);
}

TEST(Md3Quaternion, SlerpWeights) {
    const Quaternion odd{0.3f, 0.1f, 2.0f, -0.5f};  // not unit: returned as it is
    const Quaternion same = QuaternionSlerp(odd, odd, 0.37f);
    EXPECT_EQ(std::memcmp(&same, &odd, sizeof odd), 0);

    const float h = std::sqrt(0.5f);
    const Quaternion id{0, 0, 0, 1}, quarter{0, 0, h, h};
    const Quaternion half = QuaternionSlerp(id, quarter, 0.5f);
    EXPECT_NEAR(half.z, std::sin(kPi / 8), 1e-6f);
    EXPECT_NEAR(half.w, std::cos(kPi / 8), 1e-6f);
    // The opposite sign of one quaternion is the same rotation: no detour.
    const Quaternion flipped = QuaternionSlerp(id, {0, 0, -h, -h}, 0.5f);
    EXPECT_NEAR(flipped.z, std::sin(kPi / 8), 1e-6f);
    const Quaternion back = QuaternionSlerp(id, {0, 0, 0, -1}, 0.5f);
    EXPECT_EQ(back.w, 1.0f);
    // Close orientations (1 - d below 0.1) blend linearly, component by component.
    const Quaternion near{0.3f, 0.0f, 0.0f, 0.95f};
    const Quaternion lerp = QuaternionSlerp(id, near, 0.25f);
    EXPECT_EQ(lerp.x, 0.25f * 0.3f);
    EXPECT_EQ(lerp.w, 0.75f + 0.25f * 0.95f);
}

// A player made of exact test models; the legs carry the upper body at
// tag_torso, the upper body the head and the weapon.
struct TestPlayer {
    std::unique_ptr<Md3Player> player = std::make_unique<Md3Player>();
    TagDef torso = RotatedTag("tag_torso", {0, 0, 10}, 2, kPi / 2);
    TagDef head = RotatedTag("tag_head", {0, 0, 5}, 2, 0.0f);
    TagDef weapon = RotatedTag("tag_weapon", {3, 0, 0}, 0, kPi / 2);

    explicit TestPlayer(bool headFirst, bool withWeapon) {
        Md3Player &p = *player;
        SurfaceDef legs = SimpleSurface("l_legs", 6, 2);
        legs.triangles.push_back({0, 1, 99});  // names a vertex that does not exist
        EXPECT_TRUE(ParseMd3(p.lower, BuildMd3(2, 1, {torso, torso}, {legs}), "lower"));
        std::vector<TagDef> upperTags =
            headFirst ? std::vector<TagDef>{head, weapon} : std::vector<TagDef>{weapon, head};
        EXPECT_TRUE(ParseMd3(p.upper, BuildMd3(1, 2, upperTags, {SimpleSurface("u_torso", 9)}), "upper"));
        EXPECT_TRUE(ParseMd3(p.head, BuildMd3(1, 0, {}, {SimpleSurface("h_head", 3)}), "head"));
        LinkModel(&p.lower, &p.upper, "tag_torso");
        LinkModel(&p.upper, &p.head, "tag_head");
        if (withWeapon) {
            EXPECT_TRUE(
                ParseMd3(p.weapon, BuildMd3(1, 0, {}, {SimpleSurface("gun", 3), SimpleSurface("grip", 3)}), "w"));
            LinkModel(&p.upper, &p.weapon, "tag_weapon");
        }
    }
};

// Records prefilled with a pattern, to see what is written and what is not.
std::vector<CharacterVertex> Sentinels(size_t n) {
    CharacterVertex s;
    s.x = s.y = s.z = s.u = s.v = -123.0f;
    s.unused[0] = s.unused[1] = s.unused[2] = 77.0f;
    return std::vector<CharacterVertex>(n, s);
}

TEST(Md3Pose, LegsAtTheIdentityAreWrittenAsXZYWithUVAndBox) {
    TestPlayer t(true, false);
    auto legs = Sentinels(12), upper = Sentinels(12), head = Sentinels(6), spare = Sentinels(6);
    int32_t counts[4] = {-1, -1, -1, -1};
    float box[6] = {9999999.0f, 9999999.0f, 9999999.0f, -9999999.0f, -9999999.0f, -9999999.0f};
    CharacterOutput out;
    out.parts[0] = legs.data();
    out.parts[1] = upper.data();
    out.parts[2] = head.data();
    out.parts[3] = spare.data();
    out.counts = counts;
    out.box = box;
    t.player->lower.blend = 0.0f;  // frame 0 as loaded
    DrawLink(*t.player, t.player->lower, Matrix4{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}, out);
    // The face that names vertex 99 is skipped.
    EXPECT_EQ(counts[0], 6);
    EXPECT_EQ(counts[1], 9);
    EXPECT_EQ(counts[2], 3);
    EXPECT_EQ(counts[3], -1);  // no weapon: no fourth part
    EXPECT_EQ(spare[0].x, -123.0f);
    EXPECT_EQ(t.player->partIndex, 3);
    // Legs vertex 1 of frame 0 is (1, 2, 3).
    EXPECT_EQ(legs[1].x, 1.0f);
    EXPECT_EQ(legs[1].z, 3.0f);  // written second
    EXPECT_EQ(legs[1].y, 2.0f);
    EXPECT_EQ(legs[1].u, 0.5f);
    EXPECT_EQ(legs[1].v, 0.25f);
    EXPECT_EQ(legs[1].unused[1], 77.0f);
    EXPECT_EQ(legs[6].x, -123.0f);  // nothing past the count
    // Upper-body vertex 8, (8, 16, 24), hangs at (-16, 8, 34): the lowest x and the highest z.
    EXPECT_NEAR(box[0], -16.0f, 1e-4f);
    EXPECT_NEAR(box[4], 34.0f, 1e-4f);
    EXPECT_EQ(box[2], 0.0f);  // the legs' vertex 0 at the origin has the lowest y
    EXPECT_EQ(box[3], 5.0f);  // and their vertex 5 the highest x
}

TEST(Md3Pose, EachPartHangsFromItsOwnParentWhateverTheTagOrder) {
    for (bool headFirst : {true, false}) {
        SCOPED_TRACE(headFirst ? "tag_head first" : "tag_weapon first");
        TestPlayer t(headFirst, true);
        std::vector<CharacterVertex> parts[4] = {Sentinels(12), Sentinels(12), Sentinels(6), Sentinels(6)};
        int32_t counts[4] = {};
        float box[6];
        CharacterOutput out;
        for (int i = 0; i < 4; ++i) out.parts[i] = parts[i].data();
        out.counts = counts;
        out.box = box;
        PosePlayer(*t.player, out);
        const int headPart = headFirst ? 2 : 3, weaponPart = headFirst ? 3 : 2;
        EXPECT_EQ(counts[headPart], 3);
        EXPECT_EQ(counts[weaponPart], 6);
        // Head vertex 1 is (1, 2, 3): through tag_head, then tag_torso.
        const Vector3 headPoint = ApplyTag(t.torso, ApplyTag(t.head, {1, 2, 3}));
        const CharacterVertex &h = parts[headPart][1];
        ExpectNear({h.x, h.y, h.z}, headPoint, 1e-4f);
        // Weapon vertex 2 of its second mesh: (2, 4, 6), through tag_weapon then tag_torso.
        const Vector3 weaponPoint = ApplyTag(t.torso, ApplyTag(t.weapon, {2, 4, 6}));
        const CharacterVertex &w = parts[weaponPart][5];
        ExpectNear({w.x, w.y, w.z}, weaponPoint, 1e-4f);
        // The upper body's own vertex 4 = (4, 8, 12) through tag_torso.
        const CharacterVertex &u = parts[1][4];
        ExpectNear({u.x, u.y, u.z}, ApplyTag(t.torso, {4, 8, 12}), 1e-4f);
    }
}

TEST(Md3Pose, BlendAndFramesOutsideTheModel) {
    TestPlayer t(true, false);
    Md3Model &legs = t.player->lower;
    std::vector<CharacterVertex> records = Sentinels(12);
    int32_t counts[4] = {};
    CharacterOutput out;
    out.parts[0] = records.data();
    out.counts = counts;
    const Matrix4 identity{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    // Vertex 1 is (1, 2, 3) in frame 0 and (1 + 1/64, 2, 3) in frame 1.
    legs.currentFrame = 0;
    legs.nextFrame = 1;
    legs.blend = 0.25f;
    EmitModel(*t.player, legs, identity, out);
    EXPECT_EQ(records[1].x, 1.0f + 0.25f / 64.0f);
    EXPECT_EQ(records[1].y, 2.0f);
    t.player->partIndex = 0;
    legs.currentFrame = 1;
    legs.nextFrame = 1;
    legs.blend = 7.0f;  // equal frames: the blend has no effect
    EmitModel(*t.player, legs, identity, out);
    EXPECT_EQ(records[1].x, 1.0f + 1.0f / 64.0f);
    // Frames past the model's own show its last frame; negative ones its first.
    t.player->partIndex = 0;
    legs.currentFrame = 40;
    legs.nextFrame = 1000000;
    legs.blend = 0.5f;
    EmitModel(*t.player, legs, identity, out);
    EXPECT_EQ(records[1].x, 1.0f + 1.0f / 64.0f);
    t.player->partIndex = 0;
    legs.currentFrame = -5;
    legs.nextFrame = INT32_MIN;
    EmitModel(*t.player, legs, identity, out);
    EXPECT_EQ(records[1].x, 1.0f);
    // The same for the tag frames of a pose.
    t.player->partIndex = 0;
    legs.currentFrame = 99;
    legs.nextFrame = 99;
    float box[6];
    out.box = box;
    DrawLink(*t.player, legs, identity, out);
    EXPECT_EQ(counts[1], 9);
}

// ---------------------------------------------------------------------------
// Real players from the game data, loaded through the exports.

struct RealPlayer {
    std::string name;
    int32_t index = -1;
    Md3Facts lower, upper, head, weapon;
    std::vector<int> partOf;  // part number -> 0 legs, 1 upper, 2 head, 3 weapon
};

std::string Link(const std::string &dir, const std::string &file, const std::string &target) {
    const std::string path = dir + PathSeparator() + file;
    std::filesystem::create_symlink(target, path);
    return path;
}

class Md3RealPlayers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string models = DataPath("openarena/models");
        // sarge lists tag_weapon before tag_head; sorceress the other way round
        // and has only team skins, so its directory gets default ones.
        const std::string sorceress = TempDir("md3_sorceress");
        const std::string src = models + "/players/sorceress/";
        for (const char *f : {"head.md3", "upper.md3", "lower.md3", "animation.cfg"}) Link(sorceress, f, src + f);
        for (const char *part : {"head", "upper", "lower"})
            Link(sorceress, std::string(part) + "_default.skin", src + part + "_blue.skin");
        const std::string weapons = TempDir("md3_weapons");
        Link(weapons, "machinegun.md3", models + "/weapons2/machinegun/machinegun.md3");
        WriteFile(weapons + PathSeparator() + "machinegun.shader", "mgun.tga\r\nflare.tga\r\n");
        Link(weapons, "railgun.md3", models + "/weapons2/railgun/railgun.md3");
        WriteFile(weapons + PathSeparator() + "railgun.shader", "skin.tga\nrailcore.tga\nrailcore.tga\n");

        struct Setup {
            std::string name, dir, weaponDir, weapon;
        };
        for (const Setup &s : {Setup{"sarge", models + "/players/sarge", weapons, "machinegun"},
                               Setup{"sorceress", sorceress, weapons, "railgun"}}) {
            RealPlayer p;
            p.name = s.name;
            const int32_t before = Md3PlayerCount();
            const int32_t count = GetModelMD3(s.dir.c_str());
            ASSERT_EQ(count, before + 1) << s.name;
            p.index = count - 1;
            ASSERT_EQ(GetModelMD3weapon(p.index, s.weaponDir.c_str(), s.weapon.c_str()), 1);
            p.lower = ReadMd3Facts(s.dir + "/lower.md3");
            p.upper = ReadMd3Facts(s.dir + "/upper.md3");
            p.head = ReadMd3Facts(s.dir + "/head.md3");
            p.weapon = ReadMd3Facts(s.weaponDir + "/" + s.weapon + ".md3");
            p.partOf = {0, 1};
            for (const auto &tag : p.upper.tagNames) p.partOf.push_back(tag == "tag_head" ? 2 : 3);
            Players().push_back(std::move(p));
        }
    }
    // Every test walks both players: a set-up that loaded fewer must not pass vacuously.
    void SetUp() override { ASSERT_EQ(Players().size(), 2u); }
    static std::vector<RealPlayer> &Players() {
        static std::vector<RealPlayer> players;
        return players;
    }

    struct Pose {
        std::vector<CharacterVertex> parts[4];
        int32_t counts[4] = {-1, -1, -1, -1};
        float box[6] = {};
        int32_t result = 0;
    };
    static Pose Draw(const RealPlayer &p) {
        Pose pose;
        const Md3Facts *facts[4] = {&p.lower, &p.upper, &p.head, &p.weapon};
        for (int part = 0; part < 4; ++part)
            pose.parts[part] =
                Sentinels(3 * static_cast<size_t>(facts[p.partOf[static_cast<size_t>(part)]]->triangles));
        pose.result = GetModelMD3mesh(p.index, pose.parts[0].data(), pose.parts[1].data(), pose.parts[2].data(),
                                      pose.parts[3].data(), pose.counts, pose.box);
        return pose;
    }
};

TEST_F(Md3RealPlayers, CountsBoxAndStandingPose) {
    FakeClock clock(50000);
    for (const RealPlayer &p : Players()) {
        SCOPED_TRACE(p.name);
        GetModelMD3ani(p.index, 22, 11);  // LEGS_IDLE, TORSO_STAND
        const Pose pose = Draw(p);
        EXPECT_EQ(pose.result, 50000);
        const Md3Facts *facts[4] = {&p.lower, &p.upper, &p.head, &p.weapon};
        float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
        for (int part = 0; part < 4; ++part) {
            EXPECT_EQ(pose.counts[part], 3 * facts[p.partOf[static_cast<size_t>(part)]]->triangles) << part;
            for (const CharacterVertex &v : pose.parts[part]) {
                const float c[3] = {v.x, v.z, v.y};
                for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
            }
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(pose.box[k], lo[k]);
            EXPECT_EQ(pose.box[k + 3], hi[k]);
        }
        // Record component 1 (the model's z) is up: a standing figure of some 50 units.
        const float height = pose.box[4] - pose.box[1];
        EXPECT_GT(height, 40.0f);
        EXPECT_LT(height, 90.0f);
        float legsTop = -1e9f, headBottom = 1e9f;
        for (const CharacterVertex &v : pose.parts[0]) legsTop = std::max(legsTop, v.z);
        const size_t headPart = static_cast<size_t>(std::find(p.partOf.begin(), p.partOf.end(), 2) - p.partOf.begin());
        for (const CharacterVertex &v : pose.parts[headPart]) headBottom = std::min(headBottom, v.z);
        EXPECT_GT(headBottom, legsTop);
    }
}

// At blend 0 the legs show their current frame exactly, the upper body hangs
// from that frame's tag_torso and the head from tag_head of the upper body's.
TEST_F(Md3RealPlayers, BlendZeroShowsTheCurrentFrame) {
    FakeClock clock(200000);
    for (const RealPlayer &p : Players()) {
        SCOPED_TRACE(p.name);
        GetModelMD3ani(p.index, 15, 7);  // LEGS_RUN, TORSO_ATTACK
        for (int step = 0; step < 3; ++step) {
            clock.Advance(1000);
            Draw(p);  // steps a frame
        }
        const Pose pose = Draw(p);  // same tick: blend 0
        const Md3Player &player = Md3Players()[static_cast<size_t>(p.index)];
        ASSERT_EQ(player.lower.blend, 0.0f);
        ASSERT_EQ(player.upper.blend, 0.0f);
        const int32_t legsFrame = player.lower.currentFrame, upperFrame = player.upper.currentFrame;
        EXPECT_NE(legsFrame, player.lower.nextFrame);

        auto expected = [](const Md3Facts &facts, int32_t frame, auto place) {
            std::vector<Vector3> out;
            for (const auto &s : facts.surfaces)
                for (const auto &t : s.triangles)
                    for (int k = 0; k < 3; ++k) {
                        const auto &v =
                            s.vertices[static_cast<size_t>(frame * s.vertexCount + t[static_cast<size_t>(k)])];
                        out.push_back(place(Vector3{v[0] / 64.0f, v[1] / 64.0f, v[2] / 64.0f}));
                    }
            return out;
        };
        const auto tagOf = [](const Md3Facts &f, int32_t frame, const std::string &name) {
            for (size_t i = 0; i < f.tagNames.size(); ++i)
                if (f.tagNames[i] == name) return f.tags[static_cast<size_t>(frame) * f.tagNames.size() + i];
            ADD_FAILURE() << name;
            return TagDef{};
        };
        const TagDef torso = tagOf(p.lower, legsFrame, "tag_torso");
        const TagDef head = tagOf(p.upper, upperFrame, "tag_head");
        const auto legs = expected(p.lower, legsFrame, [](Vector3 v) { return v; });
        const auto upper = expected(p.upper, upperFrame, [&](Vector3 v) { return ApplyTag(torso, v); });
        const auto headPts = expected(p.head, 0, [&](Vector3 v) { return ApplyTag(torso, ApplyTag(head, v)); });
        const size_t headPart = static_cast<size_t>(std::find(p.partOf.begin(), p.partOf.end(), 2) - p.partOf.begin());
        // The legs' records are the file's values exactly; the attached parts
        // went through a quaternion and carry its rounding.
        const auto same = [](const std::vector<CharacterVertex> &records, const std::vector<Vector3> &points,
                             float tolerance) {
            ASSERT_EQ(records.size(), points.size());
            for (size_t i = 0; i < points.size(); ++i) {
                ASSERT_LE(std::fabs(records[i].x - points[i].x), tolerance) << i;
                ASSERT_LE(std::fabs(records[i].y - points[i].y), tolerance) << i;
                ASSERT_LE(std::fabs(records[i].z - points[i].z), tolerance) << i;
            }
        };
        same(pose.parts[0], legs, 0.0f);
        same(pose.parts[1], upper, 0.02f);
        same(pose.parts[headPart], headPts, 0.05f);
    }
}

// Nearest distance between two point sets, by a sweep over x.
float NearestDistance(const std::vector<CharacterVertex> &child, std::vector<CharacterVertex> parent) {
    std::sort(parent.begin(), parent.end(), [](const auto &a, const auto &b) { return a.x < b.x; });
    float best = 1e30f;
    for (const CharacterVertex &c : child) {
        auto it = std::lower_bound(parent.begin(), parent.end(), c.x - best,
                                   [](const CharacterVertex &a, float x) { return a.x < x; });
        for (; it != parent.end() && it->x <= c.x + best; ++it) {
            const float dx = it->x - c.x, dy = it->y - c.y, dz = it->z - c.z;
            best = std::min(best, std::sqrt(dx * dx + dy * dy + dz * dz));
        }
    }
    return best;
}

TEST_F(Md3RealPlayers, EveryFrameOfEveryAnimationKeepsThePartsTogether) {
    FakeClock clock(1000000);
    constexpr float kTouch = 3.0f;
    for (const RealPlayer &p : Players()) {
        SCOPED_TRACE(p.name);
        const Md3Player &player = Md3Players()[static_cast<size_t>(p.index)];
        const size_t headPart = static_cast<size_t>(std::find(p.partOf.begin(), p.partOf.end(), 2) - p.partOf.begin());
        const size_t weaponPart = 5 - headPart;
        float worst[3] = {0, 0, 0};
        int poses = 0;
        for (int32_t number = 0; number < 25; ++number) {
            const int32_t legs = number <= 5 || number >= 13 ? number : 22;
            const int32_t torso = number <= 12 ? number : 11;
            GetModelMD3ani(p.index, legs, torso);
            const Md3Model &model = number >= 13 ? player.lower : player.upper;
            const Md3Animation &a = model.animations[static_cast<size_t>(model.currentAnimation)];
            ASSERT_STREQ(a.name, kMd3AnimationNames[number]);
            for (int32_t frame = a.startFrame; frame < a.endFrame; ++frame) {
                clock.Advance(1000);  // one step per call, however slow the animation
                const Pose pose = Draw(p);
                const float d[3] = {NearestDistance(pose.parts[1], pose.parts[0]),
                                    NearestDistance(pose.parts[headPart], pose.parts[1]),
                                    NearestDistance(pose.parts[weaponPart], pose.parts[1])};
                for (int k = 0; k < 3; ++k) {
                    worst[k] = std::max(worst[k], d[k]);
                    EXPECT_LT(d[k], kTouch) << kMd3AnimationNames[number] << " frame " << frame << " part " << k;
                }
                ++poses;
            }
        }
        std::printf("%s: %d poses; farthest torso %.2f, head %.2f, weapon %.2f\n", p.name.c_str(), poses, worst[0],
                    worst[1], worst[2]);
    }
}

}  // namespace
}  // namespace vesk::test
