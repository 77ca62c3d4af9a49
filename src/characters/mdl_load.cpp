// Half-Life MDL loading: the main file with its texture and sequence-group
// companions, validated as a whole before any pose reads through it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "characters/mdl_model.h"
#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"

namespace vesk {
namespace {

using mdl::Field;

// The module's models: built before the host's first call, released at unload.
struct MdlTable {
    std::array<MdlModel, kMaxMdlModels> models;
    int32_t count = 0;
};
MdlTable g_mdlTable;

// Offsets of one validated table: count records of size bytes at offset.
bool TableFits(const ByteCursor &file, int32_t offset, int32_t count, uint32_t size) {
    return offset >= 0 && count >= 0 && file.ContainsArray(static_cast<uint64_t>(offset), static_cast<uint64_t>(count), size);
}

bool Finite(const uint8_t *base, uint64_t offset, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(Field<float>(base, offset + 4u * static_cast<uint64_t>(i)))) return false;
    return true;
}

class Validator {
public:
    explicit Validator(MdlModel &model) : m_(model), main_(model.header), tex_(model.TextureHeader()) {}

    bool Run() {
        if (m_.header.size() < mdl::kHeaderSize || tex_.size() < mdl::kHeaderSize) return false;
        m_.textureCount = Main(mdl::kTextureCount);
        return Bones() && Controllers() && BoneControllers() && Sequences() && Textures() && BodyParts();
    }

private:
    int32_t Main(uint32_t offset) const { return Field<int32_t>(m_.header.data(), offset); }
    int32_t Tex(uint32_t offset) const { return Field<int32_t>(tex_.bytes().data(), offset); }

    bool Bones() {
        boneCount_ = Main(mdl::kBoneCount);
        boneOffset_ = Main(mdl::kBoneOffset);
        if (boneCount_ < 0 || boneCount_ > kMdlMaxBones) return false;
        if (!TableFits(main_, boneOffset_, boneCount_, mdl::kBoneSize)) return false;
        for (int32_t i = 0; i < boneCount_; ++i) {
            const uint64_t bone = static_cast<uint64_t>(boneOffset_) + uint64_t{mdl::kBoneSize} * static_cast<uint64_t>(i);
            const int32_t parent = Field<int32_t>(m_.header.data(), bone + 32);
            if (parent != -1 && (parent < 0 || parent >= i)) return false;  // parents come first
            if (!Finite(m_.header.data(), bone + 64, 12)) return false;
        }
        return true;
    }

    bool Controllers() {
        controllerCount_ = Main(mdl::kControllerCount);
        const int32_t offset = Main(mdl::kControllerOffset);
        if (controllerCount_ < 0 || controllerCount_ > kMdlMaxControllers) return false;
        if (!TableFits(main_, offset, controllerCount_, mdl::kControllerSize)) return false;
        int ordinary = 0;
        for (int32_t j = 0; j < controllerCount_; ++j) {
            const uint64_t c = static_cast<uint64_t>(offset) + uint64_t{mdl::kControllerSize} * static_cast<uint64_t>(j);
            const int32_t number = Field<int32_t>(m_.header.data(), c + 20);
            if (number < 0) return false;
            if (number < 4) ++ordinary;
            if (!Finite(m_.header.data(), c + 8, 2)) return false;
        }
        return ordinary <= kMdlMaxOrdinaryControllers;
    }

    bool BoneControllers() {
        for (int32_t i = 0; i < boneCount_; ++i) {
            const uint64_t bone = static_cast<uint64_t>(boneOffset_) + uint64_t{mdl::kBoneSize} * static_cast<uint64_t>(i);
            for (int k = 0; k < 6; ++k) {
                const int32_t c = Field<int32_t>(m_.header.data(), bone + 40 + 4u * static_cast<uint64_t>(k));
                if (c != -1 && (c < 0 || c >= controllerCount_)) return false;
            }
        }
        return true;
    }

    // A value stream must cover frames with runs inside its buffer.
    bool Stream(size_t group, const ByteCursor &file, uint64_t offset, int32_t frames) {
        const uint64_t key = (static_cast<uint64_t>(group) << 40) ^ offset;
        const auto known = streams_.find(key);
        if (known != streams_.end() && known->second >= frames) return true;
        int64_t covered = 0;
        uint64_t p = offset;
        while (covered < frames) {
            uint8_t run[2];
            if (!file.ReadAt(p, run)) return false;
            if (run[1] == 0) return false;  // a run of no frames never ends the walk
            if (!file.Contains(p + 2, 2u * uint64_t{run[0]})) return false;
            covered += run[1];
            p += 2u * (uint64_t{run[0]} + 1u);
        }
        streams_[key] = frames;
        return true;
    }

    bool Sequences() {
        const int32_t groupCount = Main(mdl::kGroupCount);
        const int32_t groupOffset = Main(mdl::kGroupOffset);
        if (groupCount < 1 || groupCount > kMdlMaxGroupFiles + 1) return false;
        if (!TableFits(main_, groupOffset, groupCount, mdl::kGroupSize)) return false;
        if (m_.sequenceGroups.size() != static_cast<size_t>(groupCount - 1)) return false;
        const int32_t count = Main(mdl::kSequenceCount);
        const int32_t offset = Main(mdl::kSequenceOffset);
        if (count < 1 || !TableFits(main_, offset, count, mdl::kSequenceSize)) return false;
        for (int32_t q = 0; q < count; ++q) {
            const uint64_t seq = static_cast<uint64_t>(offset) + uint64_t{mdl::kSequenceSize} * static_cast<uint64_t>(q);
            const uint8_t *h = m_.header.data();
            if (!std::isfinite(Field<float>(h, seq + 32))) return false;
            const int32_t frames = std::max(Field<int32_t>(h, seq + 56), 1);
            const int32_t motionType = Field<int32_t>(h, seq + 68);
            const int32_t motionBone = Field<int32_t>(h, seq + 72);
            if ((motionType & 7) != 0 && (motionBone < 0 || motionBone >= boneCount_)) return false;
            const int32_t blends = Field<int32_t>(h, seq + 120);
            if (blends != 1 && blends != 2 && blends != 4) return false;
            const int32_t group = Field<int32_t>(h, seq + 156);
            if (group < 0 || group >= groupCount) return false;
            int64_t base = 0;
            if (group == 0) base = Field<int32_t>(h, static_cast<uint64_t>(groupOffset) + 100);
            const ByteCursor file(group == 0 ? std::span<const uint8_t>(m_.header)
                                             : std::span<const uint8_t>(m_.sequenceGroups[static_cast<size_t>(group - 1)]));
            const int64_t start = base + Field<int32_t>(h, seq + 124);
            if (base < 0 || start < 0) return false;
            const uint64_t records = static_cast<uint64_t>(blends) * static_cast<uint64_t>(boneCount_);
            if (!file.ContainsArray(static_cast<uint64_t>(start), records, mdl::kAnimationSize)) return false;
            for (uint64_t r = 0; r < records; ++r) {
                const uint64_t record = static_cast<uint64_t>(start) + r * mdl::kAnimationSize;
                for (int k = 0; k < 6; ++k) {
                    const uint16_t o = Field<uint16_t>(file.bytes().data(), record + 2u * static_cast<uint64_t>(k));
                    if (o != 0 && !Stream(static_cast<size_t>(group), file, record + o, frames)) return false;
                }
            }
        }
        return true;
    }

    bool Textures() {
        if (m_.textureCount < 0) return false;
        textureCount_ = Tex(mdl::kTextureCount);
        if (!TableFits(tex_, Tex(mdl::kTextureOffset), textureCount_, mdl::kTextureSize)) return false;
        skinReferences_ = Tex(mdl::kSkinReferenceCount);
        const int32_t families = Tex(mdl::kSkinFamilyCount);
        const int32_t offset = Tex(mdl::kSkinOffset);
        if (skinReferences_ < 0 || families < 0) return false;
        const uint64_t entries = static_cast<uint64_t>(skinReferences_) * static_cast<uint64_t>(families);
        if (offset < 0 || !tex_.ContainsArray(static_cast<uint64_t>(offset), entries, 2)) return false;
        for (uint64_t e = 0; e < entries; ++e) {
            const int16_t t = Field<int16_t>(tex_.bytes().data(), static_cast<uint64_t>(offset) + 2u * e);
            if (t < 0 || t >= textureCount_) return false;
        }
        if (families == 0) skinReferences_ = 0;  // no family to draw meshes with
        return true;
    }

    // A command list must end inside the file, naming vertices and normals
    // the model has.
    bool Commands(int64_t offset, int32_t vertices, int32_t normals, uint64_t &records) {
        if (offset < 0) return false;
        uint64_t p = static_cast<uint64_t>(offset);
        for (;;) {
            int16_t n;
            if (!main_.ReadAt(p, n)) return false;
            p += 2;
            if (n == 0) return true;
            const uint64_t count = n > 0 ? static_cast<uint64_t>(n) : static_cast<uint64_t>(-static_cast<int32_t>(n));
            if (!main_.ContainsArray(p, count, 8)) return false;
            records += count;
            for (uint64_t i = 0; i < count; ++i, p += 8) {
                const int16_t vi = Field<int16_t>(m_.header.data(), p);
                const int16_t ni = Field<int16_t>(m_.header.data(), p + 2);
                if (vi < 0 || vi >= vertices || ni < 0 || ni >= normals) return false;
            }
        }
    }

    bool Model(uint64_t model, uint64_t &records) {
        const uint8_t *h = m_.header.data();
        const int32_t meshCount = Field<int32_t>(h, model + 72);
        const int32_t meshOffset = Field<int32_t>(h, model + 76);
        const int32_t vertices = Field<int32_t>(h, model + 80);
        const int32_t vertexBones = Field<int32_t>(h, model + 84);
        const int32_t vertexOffset = Field<int32_t>(h, model + 88);
        const int32_t normalBones = Field<int32_t>(h, model + 96);
        const int32_t normalOffset = Field<int32_t>(h, model + 100);
        if (!TableFits(main_, meshOffset, meshCount, mdl::kMeshSize)) return false;
        if (vertices < 0 || vertices > kMdlMaxVertices) return false;
        if (!TableFits(main_, vertexBones, vertices, 1) || !TableFits(main_, vertexOffset, vertices, 12)) return false;
        for (int32_t i = 0; i < vertices; ++i)
            if (h[static_cast<uint64_t>(vertexBones) + static_cast<uint64_t>(i)] >= boneCount_) return false;
        int64_t normals = 0;
        for (int32_t k = 0; k < meshCount; ++k) {
            const uint64_t mesh = static_cast<uint64_t>(meshOffset) + uint64_t{mdl::kMeshSize} * static_cast<uint64_t>(k);
            const int32_t n = Field<int32_t>(h, mesh + 12);
            if (n < 0) return false;
            normals += n;
            if (normals > kMdlMaxVertices) return false;
        }
        const int32_t normalTotal = static_cast<int32_t>(normals);
        if (!TableFits(main_, normalBones, normalTotal, 1) || !TableFits(main_, normalOffset, normalTotal, 12)) return false;
        for (int32_t i = 0; i < normalTotal; ++i)
            if (h[static_cast<uint64_t>(normalBones) + static_cast<uint64_t>(i)] >= boneCount_) return false;
        for (int32_t k = 0; k < meshCount; ++k) {
            const uint64_t mesh = static_cast<uint64_t>(meshOffset) + uint64_t{mdl::kMeshSize} * static_cast<uint64_t>(k);
            const int32_t skin = Field<int32_t>(h, mesh + 8);
            if (skin < 0 || skin >= skinReferences_) return false;
            if (!Commands(Field<int32_t>(h, mesh + 4), vertices, normalTotal, records)) return false;
        }
        return true;
    }

    bool BodyParts() {
        constexpr uint64_t kMaxRecords = uint64_t{1} << 28;
        uint64_t total = 0;
        const int32_t count = Main(mdl::kBodyPartCount);
        const int32_t offset = Main(mdl::kBodyPartOffset);
        if (!TableFits(main_, offset, count, mdl::kBodyPartSize)) return false;
        for (int32_t b = 0; b < count; ++b) {
            const uint64_t part = static_cast<uint64_t>(offset) + uint64_t{mdl::kBodyPartSize} * static_cast<uint64_t>(b);
            const int32_t models = Field<int32_t>(m_.header.data(), part + 64);
            const int32_t modelOffset = Field<int32_t>(m_.header.data(), part + 72);
            if (models < 1 || !TableFits(main_, modelOffset, models, mdl::kModelSize)) return false;
            uint64_t most = 0;
            for (int32_t i = 0; i < models; ++i) {
                // Body parts that share a model have it checked once.
                const uint64_t at = static_cast<uint64_t>(modelOffset) + uint64_t{mdl::kModelSize} * static_cast<uint64_t>(i);
                auto known = models_.find(at);
                if (known == models_.end()) {
                    uint64_t records = 0;
                    if (!Model(at, records)) return false;
                    known = models_.emplace(at, records).first;
                }
                most = std::max(most, known->second);
            }
            // Body parts may share one model: the records of a whole pose,
            // and three indices each, must stay countable in 32 bits.
            total += most;
            if (total > kMaxRecords) return false;
        }
        return true;
    }

    MdlModel &m_;
    ByteCursor main_, tex_;
    int32_t boneCount_ = 0, boneOffset_ = 0, controllerCount_ = 0;
    int32_t textureCount_ = 0, skinReferences_ = 0;
    std::unordered_map<uint64_t, int32_t> streams_;
    std::unordered_map<uint64_t, uint64_t> models_;  // model offset -> command vertices
};

// The first controller record whose number field is number, or -1.
int32_t FindController(const MdlModel &model, int32_t number) {
    const int32_t count = model.HeaderInt(mdl::kControllerCount);
    const uint64_t offset = static_cast<uint64_t>(model.HeaderInt(mdl::kControllerOffset));
    for (int32_t j = 0; j < count; ++j)
        if (Field<int32_t>(model.header.data(), offset + uint64_t{mdl::kControllerSize} * static_cast<uint64_t>(j) + 20) ==
            number)
            return j;
    return -1;
}

}  // namespace

std::span<MdlModel, kMaxMdlModels> MdlModels() { return g_mdlTable.models; }
int32_t &MdlCount() { return g_mdlTable.count; }

MdlModel *MdlModelAt(int32_t index) {
    if (index < 0 || index >= kMaxMdlModels) return nullptr;
    return &g_mdlTable.models[static_cast<size_t>(index)];
}

MdlModel *UsableMdlModelAt(int32_t index) {
    MdlModel *model = MdlModelAt(index);
    return model && model->usable ? model : nullptr;
}

std::string MdlCompanionPath(const char *path, const char *suffix) {
    std::string name = path ? path : "";
    name.resize(name.size() >= 4 ? name.size() - 4 : 0);
    return name + suffix + ".mdl";
}

bool ValidateMdl(MdlModel &model) {
    model.usable = Validator(model).Run();
    return model.usable;
}

MdlLoadResult LoadMdl(MdlModel &model, const char *path, std::string *failedPath) {
    model = MdlModel{};
    model.speed = 1.0f;
    auto fail = [&](MdlLoadResult result, std::string file) {
        if (failedPath) *failedPath = std::move(file);
        model.usable = false;
        return result;
    };
    const std::string mainPath = path ? path : "";
    auto main = path ? ReadFileCopy(path) : std::nullopt;
    if (!main) return fail(MdlLoadResult::MissingFile, mainPath);
    model.header = std::move(*main);
    if (model.header.size() < mdl::kHeaderSize) return fail(MdlLoadResult::Corrupt, mainPath);

    if (model.HeaderInt(mdl::kTextureCount) == 0) {
        const std::string texturePath = MdlCompanionPath(path, "T");
        auto textures = ReadFileCopy(texturePath.c_str());
        if (!textures) return fail(MdlLoadResult::MissingFile, texturePath);
        // An empty texture file still stands for the textures: it fails validation.
        model.textureFile = textures->empty() ? std::vector<uint8_t>{0} : std::move(*textures);
    }
    const int32_t groups = model.HeaderInt(mdl::kGroupCount);
    if (groups > kMdlMaxGroupFiles + 1) return fail(MdlLoadResult::Corrupt, mainPath);
    for (int32_t g = 1; g < groups; ++g) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%02d", static_cast<int>(g));
        const std::string groupPath = MdlCompanionPath(path, suffix);
        auto group = ReadFileCopy(groupPath.c_str());
        if (!group) return fail(MdlLoadResult::MissingFile, groupPath);
        model.sequenceGroups.push_back(std::move(*group));
    }
    model.textureCount = model.HeaderInt(mdl::kTextureCount);
    if (!ValidateMdl(model)) return fail(MdlLoadResult::Corrupt, mainPath);
    return MdlLoadResult::Ok;
}

float SetController(MdlModel &model, int32_t number, float value) {
    if (!model.usable) return value;
    const int32_t j = FindController(model, number);
    if (j < 0) return value;
    const uint64_t c = static_cast<uint64_t>(model.HeaderInt(mdl::kControllerOffset)) +
                       uint64_t{mdl::kControllerSize} * static_cast<uint64_t>(j);
    const int32_t type = Field<int32_t>(model.header.data(), c + 4);
    const float start = Field<float>(model.header.data(), c + 8);
    const float end = Field<float>(model.header.data(), c + 12);
    if (type & 0x38) {
        if (end < start) value = -value;
        if (end <= start + 359.0f) {
            const float mid = (start + end) * 0.5f;
            if (value > mid + 180.0f) value -= 360.0f;
            if (value < mid - 180.0f) value += 360.0f;
        } else if (value > 360.0f) {
            value -= std::trunc(value / 360.0f) * 360.0f;
        } else if (value < 0.0f) {
            value += std::trunc(value * (-1.0f / 360.0f) + 1.0f) * 360.0f;
        }
    }
    // A controller without a range stays at its start.
    int32_t setting = 0;
    if (end != start) {
        const float raw = std::trunc(255.0f * (value - start) / (end - start));
        setting = raw > 0.0f ? (raw < 255.0f ? static_cast<int32_t>(raw) : 255) : 0;  // NaN gives 0
    }
    // Settings exist for numbers 0-3 only; other numbers report without storing.
    if (number >= 0 && number < 4) model.controllers[number] = static_cast<uint8_t>(setting);
    return (end - start) * static_cast<float>(setting) / 255.0f + start;
}

int32_t LoadNextMdl(const char *path, int32_t *textures) {
    int32_t &count = MdlCount();
    MdlModel *model = MdlModelAt(count);
    if (!model) {  // the table is full: nothing is taken
        if (textures) *textures = 0;
        return count;
    }
    std::string failed;
    switch (LoadMdl(*model, path, &failed)) {
    case MdlLoadResult::MissingFile:
        ReportMessage("Error", "Unable to find or open the file: %s", failed.c_str());
        break;
    case MdlLoadResult::Corrupt:
        ReportMessage("Error", "Invalid file format (corrupt data): %s!", failed.c_str());
        break;
    case MdlLoadResult::Ok:
        break;
    }
    if (textures) *textures = model->usable ? model->textureCount : 0;
    if (model->usable)
        for (int32_t n = 0; n < 4; ++n) SetController(*model, n, 0.0f);
    return ++count;
}

}  // namespace vesk

VESK_API int32_t VESK_CALL GetmodelMDL(const char *path, int32_t *textures) { return vesk::LoadNextMdl(path, textures); }
