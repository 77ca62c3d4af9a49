// animation.cfg reading, selection by number, and clock-driven frame steps.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "characters/md3_player.h"
#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"

namespace vesk {

const char *const kMd3AnimationNames[25] = {
    "BOTH_DEATH1",  "BOTH_DEAD1",    "BOTH_DEATH2", "BOTH_DEAD2",  "BOTH_DEATH3", "BOTH_DEAD3",   "TORSO_GESTURE",
    "TORSO_ATTACK", "TORSO_ATTACK2", "TORSO_DROP",  "TORSO_RAISE", "TORSO_STAND", "TORSO_STAND2", "LEGS_WALKCR",
    "LEGS_WALK",    "LEGS_RUN",      "LEGS_BACK",   "LEGS_SWIM",   "LEGS_JUMP",   "LEGS_LAND",    "LEGS_JUMPB",
    "LEGS_LANDB",   "LEGS_IDLE",     "LEGS_IDLECR", "LEGS_TURN"};

namespace {

constexpr int kSlotCount = 25;
// The records the numbers of the legs' offset come from.
constexpr int kFirstLegsSlot = 13;
constexpr int kFirstTorsoSlot = 6;

int32_t Saturate(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Value of the leading decimal digits of a word, held at INT32_MAX.
int32_t LeadingNumber(std::string_view word) {
    int64_t v = 0;
    for (size_t i = 0; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
        v = v * 10 + (word[i] - '0');
        if (v > INT32_MAX) return INT32_MAX;
    }
    return static_cast<int32_t>(v);
}

void SkipLine(std::string_view &text) {
    const size_t lf = text.find('\n');
    text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
}

bool Contains(const char *name, const char *part) { return std::strstr(name, part) != nullptr; }

void SetAnimation(Md3Model &model, const char *name) {
    if (!name) return;
    const size_t count = std::min(model.animations.size(), static_cast<size_t>(std::max(model.animationCount, 0)));
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(model.animations[i].name, name) == 0) {
            model.currentAnimation = static_cast<int32_t>(i);
            model.currentFrame = model.animations[i].startFrame;
            return;
        }
    }
}

}  // namespace

void ParseAnimationConfig(Md3Player &player, std::string_view text) {
    Md3Animation slots[kSlotCount] = {};
    int slot = 0;
    int64_t offset = 0;
    for (;;) {
        const std::string_view word = NextWord(text);
        if (word.empty()) break;
        if (word[0] < '0' || word[0] > '9') {
            // Keywords, comments and negative numbers: the whole line goes.
            SkipLine(text);
            continue;
        }
        const int32_t first = LeadingNumber(word);
        int32_t count = 0, looping = 0, fps = 0;
        if (!ParseInt(text, count) || !ParseInt(text, looping) || !ParseInt(text, fps)) {
            SkipLine(text);
            continue;
        }
        NextWord(text);  // normally the comment marker
        const std::string_view name = NextWord(text);
        if (slot >= kSlotCount) continue;  // records beyond the table are ignored

        Md3Animation &a = slots[slot];
        CopyToField(a.name, name);
        a.startFrame = first;
        a.endFrame = Saturate(int64_t{first} + count);
        a.loopingFrames = looping;
        a.framesPerSecond = fps;
        if (Contains(a.name, "BOTH")) {
            player.upper.animations.push_back(a);
            player.lower.animations.push_back(a);
        } else if (Contains(a.name, "TORSO")) {
            player.upper.animations.push_back(a);
        } else if (Contains(a.name, "LEGS")) {
            // lower.md3 holds no torso-only frames: its legs frames sit that
            // much earlier than the numbers in the file.
            if (offset == 0) offset = int64_t{slots[kFirstLegsSlot].startFrame} - slots[kFirstTorsoSlot].startFrame;
            a.startFrame = Saturate(a.startFrame - offset);
            a.endFrame = Saturate(a.endFrame - offset);
            player.lower.animations.push_back(a);
        }
        ++slot;
    }
    for (Md3Model *m : {&player.head, &player.upper, &player.lower, &player.weapon})
        m->animationCount = static_cast<int32_t>(m->animations.size());
}

bool ReadAnimationConfig(Md3Player &player, const char *path) {
    const auto text = path ? ReadTextFile(path) : std::nullopt;
    if (!text) return false;
    ParseAnimationConfig(player, *text);
    return true;
}

void AdvanceModel(const Md3Player &player, Md3Model &model) {
    int64_t start = 0, end = 1;
    const Md3Animation *animation = nullptr;
    if (model.animationCount != 0 && model.currentAnimation >= 0 &&
        static_cast<size_t>(model.currentAnimation) < model.animations.size()) {
        animation = &model.animations[static_cast<size_t>(model.currentAnimation)];
        start = animation->startFrame;
        end = animation->endFrame;
    }
    if (end == 0) {  // no frames to run through: hold the current one
        model.nextFrame = model.currentFrame;
        return;
    }
    int64_t next = (int64_t{model.currentFrame} + 1) % end;
    if (next == 0) next = start;
    model.nextFrame = static_cast<int32_t>(next);
    if (model.animations.empty() || !animation) return;

    const double rate = static_cast<double>(animation->framesPerSecond) * static_cast<double>(player.speed);
    if (!(rate > 0.0) || !std::isfinite(rate)) {  // a stopped clock holds the current frame
        model.nextFrame = model.currentFrame;
        return;
    }
    const uint32_t now = TickCount();
    const double msPerFrame = 1000.0 / rate;
    // Unsigned difference: the tick count wraps every 49.7 days.
    const double elapsed = static_cast<double>(static_cast<uint32_t>(now - model.lastStepTick));
    model.blend = static_cast<float>(elapsed / msPerFrame);
    if (elapsed >= msPerFrame) {
        model.currentFrame = model.nextFrame;
        model.lastStepTick = now;
        model.lastStepTime = static_cast<float>(now);
    }
}

void SetTorsoAnimation(Md3Player &player, const char *name) { SetAnimation(player.upper, name); }
void SetLegsAnimation(Md3Player &player, const char *name) { SetAnimation(player.lower, name); }

void SelectAnimations(Md3Player &player, int32_t legs, int32_t torso) {
    if (legs >= 0 && legs <= 5) SetLegsAnimation(player, kMd3AnimationNames[legs]);
    if (torso >= 0 && torso <= 12) SetTorsoAnimation(player, kMd3AnimationNames[torso]);
    if (legs >= 13 && legs <= 24) SetLegsAnimation(player, kMd3AnimationNames[legs]);
}

}  // namespace vesk

VESK_API void VESK_CALL GetModelMD3ani(int32_t index, int32_t legs, int32_t torso) {
    if (vesk::Md3Player *player = vesk::Md3PlayerAt(index)) vesk::SelectAnimations(*player, legs, torso);
}
