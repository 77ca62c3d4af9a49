// MD3 from arbitrary bytes: a model that reads is used as every part of a
// player, joined by its own tags, and posed into host arrays sized from its
// triangle counts.
#include <memory>
#include <vector>

#include "characters/md3_model.h"
#include "characters/md3_player.h"
#include "fuzz_support.h"
#include "pose_output.h"

namespace {

void CheckModel(const vesk::Md3Model &model) {
    VESK_FUZZ_CHECK(model.meshCount >= 0 && static_cast<size_t>(model.meshCount) == model.meshes.size());
    VESK_FUZZ_CHECK(model.tagCount >= 0 && model.links.size() == static_cast<size_t>(model.tagCount));
    if (model.tagCount > 0) VESK_FUZZ_CHECK(model.tags.size() % static_cast<size_t>(model.tagCount) == 0);
    for (const vesk::Md3Tag &tag : model.tags) VESK_FUZZ_CHECK(vesk::fuzz::FiniteFloats(&tag.origin, 12));
    for (const vesk::Md3Mesh &mesh : model.meshes) {
        VESK_FUZZ_CHECK(static_cast<size_t>(mesh.faceCount) == mesh.faces.size());
        VESK_FUZZ_CHECK(static_cast<size_t>(mesh.vertexCount) == mesh.texCoords.size());
        if (mesh.vertexCount > 0) VESK_FUZZ_CHECK(mesh.vertices.size() % static_cast<size_t>(mesh.vertexCount) == 0);
        VESK_FUZZ_CHECK(vesk::fuzz::FiniteFloats(mesh.texCoords.data(), 2 * mesh.texCoords.size()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto bytes = vesk::fuzz::Bytes(data, size);
    auto player = std::make_unique<vesk::Md3Player>();
    if (!vesk::ParseMd3(player->lower, bytes, "fuzz.md3")) {
        // A refused file changes nothing.
        VESK_FUZZ_CHECK(player->lower.meshes.empty() && player->lower.tags.empty() && player->lower.tagCount == 0);
        return 0;
    }
    CheckModel(player->lower);
    // A second read appends its surfaces and replaces the tags.
    VESK_FUZZ_CHECK(vesk::ParseMd3(player->upper, bytes, "fuzz.md3"));
    VESK_FUZZ_CHECK(vesk::ParseMd3(player->upper, bytes, "fuzz.md3"));
    CheckModel(player->upper);
    player->head = player->lower;
    player->weapon = player->lower;

    vesk::LinkModel(&player->lower, &player->upper, "tag_torso");
    vesk::LinkModel(&player->upper, &player->head, "tag_head");
    vesk::LinkModel(&player->upper, &player->weapon, "tag_weapon");

    // Legs, upper body, then what hangs on the upper body in tag order, each
    // array exactly as large as the size query says.
    vesk::fuzz::PoseArrays arrays;
    arrays.SizeFor(*player);
    const vesk::CharacterOutput out = arrays.Output();
    for (int step = 0; step < 3; ++step) {
        vesk::PosePlayer(*player, out);
        VESK_FUZZ_CHECK(arrays.CountsMatchQuery());
        VESK_FUZZ_CHECK(arrays.Finite());
    }
    return 0;
}
