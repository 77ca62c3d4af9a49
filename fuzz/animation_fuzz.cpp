// animation.cfg text from arbitrary bytes, read into a small player whose
// parts have frames and tags, then every animation number is selected and
// the player posed while the clock runs.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "characters/md3_player.h"
#include "fuzz_support.h"
#include "pose_output.h"
#include "io/file.h"

namespace {

constexpr int32_t kFrames = 40;

// One triangle over kFrames frames, and tags named as a player's are.
void BuildPart(vesk::Md3Model &model, std::initializer_list<const char *> tagNames) {
    vesk::Md3Mesh mesh;
    mesh.vertexCount = 3;
    mesh.faceCount = 1;
    mesh.texCoordCount = 3;
    for (int32_t f = 0; f < kFrames; ++f)
        for (int v = 0; v < 3; ++v)
            mesh.vertices.push_back({static_cast<float>(f), static_cast<float>(v), 1.0f});
    mesh.texCoords.assign(3, vesk::TexCoord{0.5f, 0.5f});
    mesh.faces.push_back({{0, 1, 2}, {0, 1, 2}});
    model.meshes.push_back(mesh);
    model.meshCount = 1;
    model.tagCount = static_cast<int32_t>(tagNames.size());
    for (int32_t f = 0; f < kFrames; ++f)
        for (const char *name : tagNames) {
            vesk::Md3Tag tag;
            std::snprintf(tag.name, sizeof tag.name, "%s", name);
            tag.origin = {0.0f, 0.0f, static_cast<float>(f)};
            tag.axis[0] = {1.0f, 0.0f, 0.0f};
            tag.axis[1] = {0.0f, 1.0f, 0.0f};
            tag.axis[2] = {0.0f, 0.0f, 1.0f};
            model.tags.push_back(tag);
        }
    model.links.assign(tagNames.size(), nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto player = std::make_unique<vesk::Md3Player>();
    BuildPart(player->lower, {"tag_torso"});
    BuildPart(player->upper, {"tag_head", "tag_weapon"});
    BuildPart(player->head, {});
    vesk::LinkModel(&player->lower, &player->upper, "tag_torso");
    vesk::LinkModel(&player->upper, &player->head, "tag_head");

    vesk::ParseAnimationConfig(*player, vesk::TextModeFromBytes(vesk::fuzz::Text(data, size)));
    for (const vesk::Md3Model *m : {&player->head, &player->upper, &player->lower, &player->weapon})
        VESK_FUZZ_CHECK(m->animationCount >= 0 && static_cast<size_t>(m->animationCount) == m->animations.size());

    vesk::fuzz::PoseArrays arrays;
    arrays.SizeFor(*player);
    const vesk::CharacterOutput out = arrays.Output();
    // Out-of-range numbers included: they must leave the animations alone.
    for (int32_t n = -1; n <= 25; ++n) {
        vesk::SelectAnimations(*player, n, n);
        vesk::PosePlayer(*player, out);
        vesk::PosePlayer(*player, out);
        VESK_FUZZ_CHECK(arrays.CountsMatchQuery());
        VESK_FUZZ_CHECK(arrays.Finite());
    }
    return 0;
}
