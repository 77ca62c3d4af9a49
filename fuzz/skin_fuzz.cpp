// Skin and shader text from arbitrary bytes. Both readers only take a path,
// so each input goes through a scratch file of this process.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "characters/md3_player.h"
#include "fuzz_support.h"

namespace {

// Removed when the fuzzer exits normally.
struct ScratchFile {
    std::string path;
    ScratchFile() {
        const char *dir = std::getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : "/tmp") + "/vesk_skin_fuzz." + std::to_string(getpid());
    }
    ~ScratchFile() { std::remove(path.c_str()); }
};

const std::string &Write(const uint8_t *data, size_t size) {
    static ScratchFile file;
    std::FILE *f = std::fopen(file.path.c_str(), "wb");
    VESK_FUZZ_CHECK(f != nullptr);
    VESK_FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
    VESK_FUZZ_CHECK(std::fclose(f) == 0);
    return file.path;
}

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
    const std::string &path = Write(data, size);
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
