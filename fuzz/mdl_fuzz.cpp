// MDL from arbitrary bytes: the input is the main file, and stands in for its
// texture file and its sequence-group files. A model that validates is posed
// into arrays sized exactly from its counts, over a stepping clock, in each
// of its first sequences; its sequences, mesh ranges and textures are read
// into arrays sized from their queries.
#include <vector>

#include "characters/mdl_model.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::MdlModel model;
    model.speed = 1.0f;
    model.header.assign(data, data + size);
    if (size >= vesk::mdl::kHeaderSize) {
        if (model.Head().textureCount == 0) model.textureFile = model.header;
        const int32_t groups = model.Head().groupCount;
        for (int32_t g = 1; g < groups && g <= vesk::kMdlMaxGroupFiles; ++g) model.sequenceGroups.push_back(model.header);
    }
    if (!vesk::ValidateMdl(model)) {
        VESK_FUZZ_CHECK(!model.usable);
        return 0;
    }
    for (int32_t n = -1; n < 6; ++n) vesk::SetController(model, n, 50.0f * static_cast<float>(n));
    model.blending[0] = 90;
    model.blending[1] = 180;
    model.mouth = 40;
    const vesk::MdlSizes sizes = vesk::MdlMeshSizes(model);
    VESK_FUZZ_CHECK(sizes.records >= 0 && sizes.indices >= 0);
    std::vector<CharacterVertex> records(static_cast<size_t>(sizes.records));
    std::vector<uint32_t> indices(static_cast<size_t>(sizes.indices));
    const int32_t sequences = vesk::MdlSequences(model, nullptr);
    std::vector<VeskMdlSequence> list(static_cast<size_t>(sequences));
    VESK_FUZZ_CHECK(vesk::MdlSequences(model, list.data()) == sequences);
    for (const VeskMdlSequence &s : list) VESK_FUZZ_CHECK(s.name[31] == 0);
    std::vector<int32_t> ranges(3 * static_cast<size_t>(vesk::MdlMeshRanges(model, nullptr)));
    int32_t next = 0;
    const int32_t meshes = vesk::MdlMeshRanges(model, ranges.data());
    VESK_FUZZ_CHECK(3 * static_cast<size_t>(meshes) == ranges.size());
    for (int32_t k = 0; k < meshes; ++k) {
        VESK_FUZZ_CHECK(ranges[3 * static_cast<size_t>(k)] == next);
        next += ranges[3 * static_cast<size_t>(k) + 1];
    }
    VESK_FUZZ_CHECK(next == sizes.indices);
    const int32_t textures = vesk::MdlTexture(model, -1, nullptr, nullptr);
    for (int32_t t = 0; t < textures && t < 4; ++t) {
        int32_t extent[2] = {-1, -1};
        vesk::MdlTexture(model, t, nullptr, extent);
        VESK_FUZZ_CHECK(extent[0] >= 0 && extent[1] >= 0);
        std::vector<uint8_t> rgba(4 * static_cast<size_t>(extent[0]) * static_cast<size_t>(extent[1]));
        vesk::MdlTexture(model, t, rgba.data(), extent);
    }
    for (int step = 0; step < 3 + sequences && step < 12; ++step) {
        VESK_FUZZ_CHECK(vesk::SetMdlSequence(model, step % sequences));
        VESK_FUZZ_CHECK(!vesk::SetMdlSequence(model, sequences) && model.sequence == step % sequences);
        int32_t count = -1;
        if (vesk::PoseMdl(model, records.data(), &count)) VESK_FUZZ_CHECK(count == sizes.records);
        VESK_FUZZ_CHECK(model.frame >= 0.0f);
        VESK_FUZZ_CHECK(vesk::MdlTriangles(model, indices.data()) == sizes.indices);
        for (uint32_t i : indices) VESK_FUZZ_CHECK(i < static_cast<uint32_t>(sizes.records));
    }
    return 0;
}
