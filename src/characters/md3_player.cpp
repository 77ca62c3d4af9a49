#include "characters/md3_player.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "frame/module_state.h"
#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"

namespace vesk {
namespace {

// The module's players: built before the host's first call, released at unload.
// The player count is the entry routine's and is left alone here.
struct PlayerTable {
    std::array<Md3Player, kMaxMd3Players> players;
    PlayerTable() = default;
    PlayerTable(const PlayerTable &) = delete;
    PlayerTable &operator=(const PlayerTable &) = delete;
    ~PlayerTable() {
        for (auto &p : players) ResetPlayer(p);
    }
    static void ResetPlayer(Md3Player &p) {
        p.partIndex = 0;
        p.speed = 1.0f;
        p.textureNames.clear();
        for (Md3Model *m : {&p.head, &p.upper, &p.lower, &p.weapon}) *m = Md3Model{};
        p.transform = Matrix4{};
    }
};
PlayerTable g_playerTable;

// directory + separator + prefix + ending, cut to the 255-byte name buffer.
struct FileName {
    char text[255];
    FileName(const char *directory, const char *prefix, const char *ending) {
        std::snprintf(text, sizeof text, "%s%c%s%s", directory, PathSeparator(), prefix ? prefix : "", ending);
    }
};

// Appends one material naming texture and gives it to mesh.
void AssignTexture(Md3Model &model, Md3Mesh &mesh, std::string_view texture) {
    Md3Material material;
    CopyToField(material.textureFile, texture);
    material.uTiling = 1.0f;
    mesh.materialIndex = model.materialCount;
    mesh.hasTexture = true;
    model.materials.push_back(material);
    model.materialCount = static_cast<int32_t>(model.materials.size());
}

}  // namespace

std::span<Md3Player, kMaxMd3Players> Md3Players() { return g_playerTable.players; }

Md3Player *Md3PlayerAt(int32_t index) {
    if (index < 0 || index >= kMaxMd3Players) return nullptr;
    return &g_playerTable.players[static_cast<size_t>(index)];
}

bool LoadSkin(Md3Model *model, const char *path) {
    if (!model || !path) return false;
    const auto text = ReadTextFile(path);
    if (!text) {
        ShowMessage("Error", "Unable to load skin!");
        return false;
    }
    LineReader lines(*text);
    std::string_view line;
    while (lines.Next(line)) {
        if (line.empty()) continue;
        for (auto &mesh : model->meshes) {
            const std::string_view meshName(mesh.name);
            if (meshName.empty() || line.find(meshName) == std::string_view::npos) continue;
            // A '/' at index 0 is not a separator: such a line is kept whole.
            const size_t slash = line.rfind('/');
            const std::string_view texture =
                slash != std::string_view::npos && slash >= 1 ? line.substr(slash + 1) : line;
            AssignTexture(*model, mesh, texture);
        }
    }
    return true;
}

bool LoadShader(Md3Model *model, const char *path) {
    if (!model || !path) return false;
    const auto text = ReadTextFile(path);
    if (!text) {
        ShowMessage("Error", "Unable to load shader!");
        return false;
    }
    LineReader lines(*text);
    std::string_view line;
    // Line k names mesh k's texture; lines beyond the last mesh have no mesh.
    for (size_t k = 0; k < model->meshes.size() && lines.Next(line); ++k) AssignTexture(*model, model->meshes[k], line);
    return true;
}

void RegisterTextures(Md3Player &player, Md3Model &model) {
    for (auto &material : model.materials) {
        const std::string_view name(material.textureFile);
        if (name.empty()) continue;
        size_t i = 0;
        while (i < player.textureNames.size() && player.textureNames[i] != name) ++i;
        if (i == player.textureNames.size()) player.textureNames.emplace_back(name);
        material.textureIndex = static_cast<int32_t>(i);
    }
}

void LinkModel(Md3Model *parent, Md3Model *child, const char *tagName) {
    if (!parent || !child || !tagName || parent->tagCount < 1) return;
    // Names come from frame 0; a file without frames has no tags to match.
    const size_t count = std::min(parent->tags.size(), parent->links.size());
    for (size_t i = 0; i < count && i < static_cast<size_t>(parent->tagCount); ++i) {
        if (std::strcmp(parent->tags[i].name, tagName) == 0) {
            parent->links[i] = child;
            return;
        }
    }
}

bool LoadPlayer(Md3Player &player, const char *path, const char *prefix) {
    if (!path) return false;
    if (!LoadMd3(player.head, FileName(path, prefix, "head.md3").text)) return false;
    if (!LoadMd3(player.upper, FileName(path, prefix, "upper.md3").text)) return false;
    if (!LoadMd3(player.lower, FileName(path, prefix, "lower.md3").text)) return false;
    if (!LoadSkin(&player.lower, FileName(path, prefix, "lower_default.skin").text)) return false;
    if (!LoadSkin(&player.upper, FileName(path, prefix, "upper_default.skin").text)) return false;
    if (!LoadSkin(&player.head, FileName(path, prefix, "head_default.skin").text)) return false;
    RegisterTextures(player, player.lower);
    RegisterTextures(player, player.upper);
    RegisterTextures(player, player.head);
    if (!ReadAnimationConfig(player, FileName(path, prefix, "animation.cfg").text)) return false;
    LinkModel(&player.lower, &player.upper, "tag_torso");
    LinkModel(&player.upper, &player.head, "tag_head");
    return true;
}

bool LoadWeapon(Md3Player &player, const char *path, const char *name) {
    if (!path || !name) return false;
    if (!LoadMd3(player.weapon, FileName(path, name, ".md3").text)) {
        ShowMessage("Error", "Unable to load the WEAPON model!");
        return false;
    }
    if (!LoadShader(&player.weapon, FileName(path, name, ".shader").text)) {
        ShowMessage("Error", "Unable to load the SHADER file!");
        return false;
    }
    RegisterTextures(player, player.weapon);
    LinkModel(&player.upper, &player.weapon, "tag_weapon");
    return true;
}

int32_t LoadNextPlayer(const char *path) {
    int32_t &count = Md3PlayerCount();
    Md3Player *player = Md3PlayerAt(count);
    if (!player) return count;  // the table is full
    // The reader adds surfaces to what a model holds, so the slot starts empty
    // (it may hold a player from before a count reset), and a failed load must
    // not leave half a player behind for the next load into the same slot.
    PlayerTable::ResetPlayer(*player);
    if (LoadPlayer(*player, path, ""))
        ++count;
    else
        PlayerTable::ResetPlayer(*player);
    return count;
}

}  // namespace vesk

VESK_API int32_t VESK_CALL GetModelMD3(const char *directory) { return vesk::LoadNextPlayer(directory); }

VESK_API VeskBool VESK_CALL GetModelMD3weapon(int32_t index, const char *directory, const char *name) {
    vesk::Md3Player *player = vesk::Md3PlayerAt(index);
    return player && vesk::LoadWeapon(*player, directory, name) ? 1 : 0;
}

VESK_API void VESK_CALL GetModelMD3speed(int32_t index, float speed) {
    if (vesk::Md3Player *player = vesk::Md3PlayerAt(index)) player->speed = speed;
}
