// MD3 players: four models joined by tags, their skins, shaders, animations
// and posed mesh export.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "characters/md3_model.h"

namespace vesk {

struct Md3Player {
    int32_t partIndex = 0;
    float speed = 1.0f;
    std::vector<std::string> textureNames;  // distinct texture files, in order of first use
    Md3Model head;
    Md3Model upper;
    Md3Model lower;
    Md3Model weapon;
    Matrix4 transform{};

    Md3Player() = default;
    // Links point between the player's own models: a player never moves.
    Md3Player(const Md3Player &) = delete;
    Md3Player &operator=(const Md3Player &) = delete;
};

inline constexpr int32_t kMaxMd3Players = 50;

// The module's player table (50 slots, never grows). The count of loaded
// players is Md3PlayerCount() (frame/module_state.h).
std::span<Md3Player, kMaxMd3Players> Md3Players();
// The player at a table index, or null outside 0 .. 49.
Md3Player *Md3PlayerAt(int32_t index);

// --- Assembly -----------------------------------------------------------------
bool LoadPlayer(Md3Player &player, const char *path, const char *prefix);
bool LoadSkin(Md3Model *model, const char *path);
bool LoadShader(Md3Model *model, const char *path);
void RegisterTextures(Md3Player &player, Md3Model &model);
void LinkModel(Md3Model *parent, Md3Model *child, const char *tagName);
// Loads path\name.md3 and its .shader into the player's weapon and links it.
bool LoadWeapon(Md3Player &player, const char *path, const char *name);
// The export's work: loads into slot count, raises the count on success.
int32_t LoadNextPlayer(const char *path);

// --- Animation ----------------------------------------------------------------
// Animation names by the number the host selects them with (0 .. 24).
extern const char *const kMd3AnimationNames[25];
bool ReadAnimationConfig(Md3Player &player, const char *path);
// The same from text already in memory (CR LF already turned into LF).
void ParseAnimationConfig(Md3Player &player, std::string_view text);
void AdvanceModel(const Md3Player &player, Md3Model &model);
void SetTorsoAnimation(Md3Player &player, const char *name);
void SetLegsAnimation(Md3Player &player, const char *name);
void SelectAnimations(Md3Player &player, int32_t legs, int32_t torso);

// --- Pose and mesh export -----------------------------------------------------
struct Quaternion {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};
Quaternion QuaternionFromAxes(const Vector3 (&axis)[3]);
Quaternion QuaternionSlerp(const Quaternion &qa, Quaternion qb, float t);
void QuaternionToMatrix(const Quaternion &q, Matrix4 &out);
// The placement a tag gives its child, interpolated between two frames: a
// child point p goes to origin + p.x axis[0] + p.y axis[1] + p.z axis[2], the
// axes taken at unit length.
void TagMatrix(const Md3Tag &current, const Md3Tag &next, float blend, Matrix4 &out);

// Where the mesh export writes: up to four parts, their counts and one box.
struct CharacterOutput {
    CharacterVertex *parts[4] = {nullptr, nullptr, nullptr, nullptr};
    int32_t *counts = nullptr;
    float *box = nullptr;
};
// Advances the legs and the upper body, then writes every part. Returns the
// legs' last step time in milliseconds.
int32_t PosePlayer(Md3Player &player, const CharacterOutput &out);
// What the next PosePlayer of this player writes into each part array: three
// records per drawn face, 0 for a part it does not draw. Changes nothing.
void CountPlayerRecords(const Md3Player &player, int32_t (&counts)[4]);
// The parts of the export's walk, exposed for tests.
void EmitModel(Md3Player &player, const Md3Model &model, const Matrix4 &placement, const CharacterOutput &out);
void DrawLink(Md3Player &player, const Md3Model &model, const Matrix4 &placement, const CharacterOutput &out);

}  // namespace vesk
