// Skin and shader text from arbitrary bytes. Both readers only take a path:
// each input is served under it through the file handler.
#include <cstdio>
#include <memory>
#include <string>

#include "characters/md3_player.h"
#include "fuzz_support.h"

namespace {

void AddMesh(vesk::Md3Model &model, const char *name) {
    vesk::Md3Mesh mesh;
    std::snprintf(mesh.name, sizeof mesh.name, "%s", name);
    model.meshes.push_back(mesh);
    model.meshCount = static_cast<int32_t>(model.meshes.size());
}

void CheckMaterials(const vesk::Md3Player &player, const vesk::Md3Model &model) {
    VESK_FUZZ_CHECK(model.materialCount >= 0 && static_cast<size_t>(model.materialCount) == model.materials.size());
    for (const vesk::Md3Mesh &mesh : model.meshes)
        if (mesh.hasTexture) VESK_FUZZ_CHECK(mesh.materialIndex >= 0 && mesh.materialIndex < model.materialCount);
    for (const vesk::Md3Material &material : model.materials)
        if (material.textureFile[0] != '\0')
            VESK_FUZZ_CHECK(material.textureIndex >= 0 &&
                            static_cast<size_t>(material.textureIndex) < player.textureNames.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const vesk::fuzz::ServedInput served(data, size);
    const std::string path = "players/fuzz/head_default.skin";
    auto player = std::make_unique<vesk::Md3Player>();
    // Mesh names as real player and weapon files have them.
    for (const char *name : {"h_head", "u_torso", "l_legs", "tag_torso"}) AddMesh(player->head, name);
    for (const char *name : {"w_barrel", "w_body"}) AddMesh(player->weapon, name);

    VESK_FUZZ_CHECK(vesk::LoadSkin(&player->head, path.c_str()));
    VESK_FUZZ_CHECK(vesk::LoadShader(&player->weapon, path.c_str()));
    vesk::RegisterTextures(*player, player->head);
    vesk::RegisterTextures(*player, player->weapon);
    CheckMaterials(*player, player->head);
    CheckMaterials(*player, player->weapon);
    return 0;
}
