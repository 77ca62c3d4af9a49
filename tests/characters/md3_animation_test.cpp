#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "characters/md3_player.h"
#include "characters/md3_test_util.h"

namespace vesk::test {
namespace {

std::vector<std::string> Names(const Md3Model &m) {
    std::vector<std::string> out;
    for (const auto &a : m.animations) out.emplace_back(a.name);
    return out;
}

TEST(Md3AnimationConfig, RealFileDistributesBothTorsoAndLegs) {
    Md3Player player;
    ASSERT_TRUE(ReadAnimationConfig(player, DataPath("openarena/models/players/sarge/animation.cfg").c_str()));
    ASSERT_EQ(player.upper.animationCount, 13);
    ASSERT_EQ(player.lower.animationCount, 18);
    EXPECT_EQ(player.head.animationCount, 0);
    const auto upper = Names(player.upper), lower = Names(player.lower);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(upper[static_cast<size_t>(i)], kMd3AnimationNames[i]);
        EXPECT_EQ(lower[static_cast<size_t>(i)], kMd3AnimationNames[i]);
    }
    for (int i = 6; i < 13; ++i) EXPECT_EQ(upper[static_cast<size_t>(i)], kMd3AnimationNames[i]);
    for (int i = 13; i < 25; ++i) EXPECT_EQ(lower[static_cast<size_t>(i - 7)], kMd3AnimationNames[i]);
    // The file: "90 40 0 13 // TORSO_GESTURE" ... "153 8 8 20 // LEGS_WALKCR", "254 7 7 18 // LEGS_TURN".
    const Md3Animation &gesture = player.upper.animations[6];
    EXPECT_EQ(gesture.startFrame, 90);
    EXPECT_EQ(gesture.endFrame, 130);
    EXPECT_EQ(gesture.framesPerSecond, 13);
    const Md3Animation &walkcr = player.lower.animations[6];
    EXPECT_EQ(walkcr.startFrame, 90);  // 153 - (153 - 90)
    EXPECT_EQ(walkcr.endFrame, 98);
    EXPECT_EQ(walkcr.loopingFrames, 8);
    EXPECT_EQ(player.lower.animations[17].startFrame, 254 - 63);
    EXPECT_EQ(player.lower.animations[0].startFrame, 0);  // BOTH records keep their frames
    EXPECT_EQ(player.lower.animations[1].endFrame, 30);
    EXPECT_FALSE(ReadAnimationConfig(player, "/nonexistent/animation.cfg"));
}

TEST(Md3AnimationConfig, SkippedLinesSlotsAndOverflow) {
    std::string text =
        "// comment 5 5 5\n"
        "sex m\n"
        "headoffset -4 0 -1\n"
        "-3 4 0 10 // BOTH_NEGATIVE\n"
        "10x 2 0 5 // TORSO_A\n"  // leading digits count: 10
        "7 1 0 5 // SOMETHING_ELSE\n"
        "20 3\n0 9 // LEGS_SPLIT\n";  // a record may run across lines
    for (int i = 0; i < 30; ++i) text += std::to_string(100 + i) + " 1 0 10 // LEGS_" + std::to_string(i) + "\n";
    Md3Player player;
    ParseAnimationConfig(player, text);
    // Slots: 0 TORSO_A, 1 SOMETHING_ELSE, 2 LEGS_SPLIT, 3.. LEGS_i; the 26th record on is ignored.
    ASSERT_EQ(player.upper.animationCount, 1);
    EXPECT_STREQ(player.upper.animations[0].name, "TORSO_A");
    EXPECT_EQ(player.upper.animations[0].startFrame, 10);
    EXPECT_EQ(player.upper.animations[0].endFrame, 12);
    ASSERT_EQ(player.lower.animationCount, 23);
    // The offset is slot 13 minus slot 6, unfilled slots counting 0, and it is
    // taken again while it is 0: 0 for LEGS_SPLIT and LEGS_0..2 (slots 2..5),
    // then 0 - 103 once LEGS_3 fills slot 6.
    EXPECT_STREQ(player.lower.animations[0].name, "LEGS_SPLIT");
    EXPECT_EQ(player.lower.animations[0].startFrame, 20);
    EXPECT_EQ(player.lower.animations[0].endFrame, 23);
    EXPECT_EQ(player.lower.animations[0].framesPerSecond, 9);
    EXPECT_EQ(player.lower.animations[3].startFrame, 102);
    EXPECT_EQ(player.lower.animations[4].startFrame, 206);
    EXPECT_STREQ(player.lower.animations[22].name, "LEGS_21");
    EXPECT_EQ(player.lower.animations[22].startFrame, 224);
    EXPECT_EQ(player.lower.animations[22].endFrame, 225);

    Md3Player longName;
    ParseAnimationConfig(longName, "1 1 1 1 // BOTH_" + std::string(300, 'N') + "\n");
    ASSERT_EQ(longName.upper.animationCount, 1);
    EXPECT_EQ(std::strlen(longName.upper.animations[0].name), 254u);
}

// A model with one animation, stepped by the fake clock.
struct Stepper {
    Md3Player player;
    Md3Model &m = player.lower;
    explicit Stepper(int32_t start, int32_t end, int32_t fps) {
        Md3Animation a;
        std::strcpy(a.name, "LEGS_WALK");
        a.startFrame = start;
        a.endFrame = end;
        a.framesPerSecond = fps;
        m.animations.push_back(a);
        m.animationCount = 1;
    }
};

TEST(Md3Playback, StepsOnceTheFrameTimeHasPassed) {
    FakeClock clock(10000);
    Stepper s(0, 3, 20);          // 50 ms per frame
    AdvanceModel(s.player, s.m);  // first call steps at once
    EXPECT_EQ(s.m.currentFrame, 1);
    EXPECT_EQ(s.m.lastStepTime, 10000.0f);
    clock.Advance(49);
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 1);
    EXPECT_EQ(s.m.nextFrame, 2);
    EXPECT_FLOAT_EQ(s.m.blend, 0.98f);
    clock.Advance(1);
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 2);
    EXPECT_EQ(s.m.nextFrame, 2);  // until the next call
    EXPECT_FLOAT_EQ(s.m.blend, 1.0f);
    EXPECT_EQ(s.m.lastStepTime, 10050.0f);
    // A late call still steps one frame only; frames run 0 1 2 0 1 2.
    std::vector<int32_t> frames;
    for (int i = 0; i < 6; ++i) {
        clock.Advance(500);
        AdvanceModel(s.player, s.m);
        frames.push_back(s.m.currentFrame);
    }
    EXPECT_EQ(frames, (std::vector<int32_t>{0, 1, 2, 0, 1, 2}));

    s.player.speed = 2.0f;  // 25 ms per frame
    clock.Advance(24);
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 2);
    clock.Advance(1);
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 0);
}

TEST(Md3Playback, DegenerateAnimationsHoldTheCurrentFrame) {
    FakeClock clock(5000);
    for (auto [end, fps, speed] :
         {std::tuple{0, 20, 1.0f}, std::tuple{5, 0, 1.0f}, std::tuple{5, 20, 0.0f}, std::tuple{5, 20, -1.0f}}) {
        Stepper s(0, end, fps);
        s.player.speed = speed;
        s.m.currentFrame = 3;
        s.m.nextFrame = 4;
        for (int i = 0; i < 3; ++i) {
            clock.Advance(1000);
            AdvanceModel(s.player, s.m);
            EXPECT_EQ(s.m.currentFrame, 3);
            EXPECT_EQ(s.m.nextFrame, 3);
        }
    }
    // Without animations the frames run 0 only and the clock is not read.
    Md3Player player;
    player.head.currentFrame = 0;
    AdvanceModel(player, player.head);
    EXPECT_EQ(player.head.nextFrame, 0);
    EXPECT_EQ(player.head.lastStepTime, 0.0f);
}

// A 32-bit millisecond clock runs for days and wraps after 49.7 of them.
TEST(Md3Playback, LongUptimesAndTheClockWrapKeepStepping) {
    FakeClock clock(864000000u + 7u);  // ten days: a float cannot hold this tick exactly
    Stepper s(0, 100, 20);
    AdvanceModel(s.player, s.m);
    clock.Advance(49);
    AdvanceModel(s.player, s.m);
    EXPECT_FLOAT_EQ(s.m.blend, 0.98f);
    EXPECT_EQ(s.m.currentFrame, 1);
    clock.Advance(1);
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 2);

    clock.Set(0xFFFFFFF0u);
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 3);
    clock.Set(0x00000022u);  // 50 ms later, past the wrap
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 4);
    clock.Advance(25);
    AdvanceModel(s.player, s.m);
    EXPECT_EQ(s.m.currentFrame, 4);
    EXPECT_FLOAT_EQ(s.m.blend, 0.5f);
}

TEST(Md3Selection, NumbersSelectAndRestartByName) {
    Md3Player player;
    ASSERT_TRUE(ReadAnimationConfig(player, DataPath("openarena/models/players/sarge/animation.cfg").c_str()));
    player.lower.currentFrame = player.upper.currentFrame = 77;
    player.lower.nextFrame = 78;
    player.lower.blend = 0.5f;
    SelectAnimations(player, 14, 11);  // LEGS_WALK, TORSO_STAND
    EXPECT_EQ(player.lower.currentAnimation, 7);
    EXPECT_EQ(player.lower.currentFrame, 161 - 63);
    EXPECT_EQ(player.upper.currentAnimation, 11);
    EXPECT_EQ(player.upper.currentFrame, 151);
    EXPECT_EQ(player.lower.nextFrame, 78);  // untouched
    EXPECT_EQ(player.lower.blend, 0.5f);

    player.lower.currentFrame = 100;
    SelectAnimations(player, 6, 25);  // legs 6..12 and torso 25 are ignored
    EXPECT_EQ(player.lower.currentAnimation, 7);
    EXPECT_EQ(player.lower.currentFrame, 100);
    EXPECT_EQ(player.upper.currentAnimation, 11);
    SelectAnimations(player, 14, -1);  // the same animation restarts
    EXPECT_EQ(player.lower.currentFrame, 98);
    SelectAnimations(player, 0, 0);  // BOTH_DEATH1 on both halves
    EXPECT_EQ(player.lower.currentAnimation, 0);
    EXPECT_EQ(player.upper.currentAnimation, 0);
    SetLegsAnimation(player, "LEGS_NONE");
    EXPECT_EQ(player.lower.currentAnimation, 0);
    SetTorsoAnimation(player, "LEGS_WALK");  // not an upper-body animation
    EXPECT_EQ(player.upper.currentAnimation, 0);
}

}  // namespace
}  // namespace vesk::test
