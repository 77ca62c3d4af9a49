// Half-Life MDL loading: the main file with its texture and sequence-group
// companions, validated as a whole before any pose reads through it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "characters/mdl_model.h"
#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"

namespace vesk {
namespace {

// The module's models: built before the host's first call, released at unload.
struct MdlTable {
    std::array<MdlModel, kMaxMdlModels> models;
    int32_t count = 0;
};
MdlTable g_mdlTable;

bool Finite(const float *values, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

class Validator {
public:
    explicit Validator(MdlModel &model) : m_(model), main_(model.header), tex_(model.TextureHeader()) {}

    bool Run() {
        if (m_.header.size() < mdl::kHeaderSize || tex_.size() < mdl::kHeaderSize) return false;
        head_ = m_.Head();
        texHead_ = m_.TextureHead();
        m_.textureCount = head_.textureCount;
        return Bones() && Controllers() && BoneControllers() && Sequences() && Textures() && BodyParts();
    }

private:
    const uint8_t *h() const { return m_.header.data(); }

    bool Bones() {
        if (head_.boneCount < 0 || head_.boneCount > kMdlMaxBones) return false;
        if (!main_.HoldsRecords(head_.boneOffset, head_.boneCount, mdl::kBoneSize)) return false;
        for (int32_t i = 0; i < head_.boneCount; ++i) {
            const auto bone = mdl::Record<mdl::Bone>(h(), head_.boneOffset, i);
            if (bone.parent != -1 && (bone.parent < 0 || bone.parent >= i)) return false;  // parents come first
            if (!Finite(bone.value, 6) || !Finite(bone.scale, 6)) return false;
        }
        return true;
    }

    bool Controllers() {
        const int32_t count = head_.controllerCount;
        if (count < 0 || count > kMdlMaxControllers) return false;
        if (!main_.HoldsRecords(head_.controllerOffset, count, mdl::kControllerSize)) return false;
        int ordinary = 0;
        for (int32_t j = 0; j < count; ++j) {
            const auto c = mdl::Record<mdl::Controller>(h(), head_.controllerOffset, j);
            if (c.number < 0) return false;
            if (c.number < 4) ++ordinary;
            if (!std::isfinite(c.start) || !std::isfinite(c.end)) return false;
        }
        return ordinary <= kMdlMaxOrdinaryControllers;
    }

    bool BoneControllers() {
        for (int32_t i = 0; i < head_.boneCount; ++i) {
            const auto bone = mdl::Record<mdl::Bone>(h(), head_.boneOffset, i);
            for (const int32_t c : bone.controller)
                if (c != -1 && (c < 0 || c >= head_.controllerCount)) return false;
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
        const int32_t groupCount = head_.groupCount;
        if (groupCount < 1 || groupCount > kMdlMaxGroupFiles + 1) return false;
        if (!main_.HoldsRecords(head_.groupOffset, groupCount, mdl::kGroupSize)) return false;
        if (m_.sequenceGroups.size() != static_cast<size_t>(groupCount - 1)) return false;
        const int32_t count = head_.sequenceCount;
        if (count < 1 || !main_.HoldsRecords(head_.sequenceOffset, count, mdl::kSequenceSize)) return false;
        for (int32_t q = 0; q < count; ++q) {
            const auto seq = mdl::Record<mdl::Sequence>(h(), head_.sequenceOffset, q);
            if (!std::isfinite(seq.framesPerSecond)) return false;
            const int32_t frames = std::max(seq.frameCount, 1);
            if ((seq.motionType & 7) != 0 && (seq.motionBone < 0 || seq.motionBone >= head_.boneCount)) return false;
            const int32_t blends = seq.blendCount;
            if (blends != 1 && blends != 2 && blends != 4) return false;
            const int32_t group = seq.sequenceGroup;
            if (group < 0 || group >= groupCount) return false;
            int64_t base = 0;
            if (group == 0) base = mdl::Record<mdl::Group>(h(), head_.groupOffset, 0).data;
            const ByteCursor file(group == 0 ? std::span<const uint8_t>(m_.header)
                                             : std::span<const uint8_t>(m_.sequenceGroups[static_cast<size_t>(group - 1)]));
            const int64_t start = base + seq.animationOffset;
            if (base < 0 || start < 0) return false;
            const uint64_t records = static_cast<uint64_t>(blends) * static_cast<uint64_t>(head_.boneCount);
            if (!file.ContainsArray(static_cast<uint64_t>(start), records, mdl::kAnimationSize)) return false;
            for (uint64_t r = 0; r < records; ++r) {
                const uint64_t record = static_cast<uint64_t>(start) + r * mdl::kAnimationSize;
                const auto anim = mdl::Field<mdl::Animation>(file.bytes().data(), record);
                for (const uint16_t o : anim.offset)
                    if (o != 0 && !Stream(static_cast<size_t>(group), file, record + o, frames)) return false;
            }
        }
        return true;
    }

    bool Textures() {
        if (m_.textureCount < 0) return false;
        textureCount_ = texHead_.textureCount;
        if (!tex_.HoldsRecords(texHead_.textureOffset, textureCount_, mdl::kTextureSize)) return false;
        // Every texture's indices and palette lie inside its file.
        for (int32_t i = 0; i < textureCount_; ++i) {
            const auto t = mdl::Record<mdl::Texture>(tex_.bytes().data(), texHead_.textureOffset, i);
            if (t.width < 0 || t.height < 0 || t.pixelOffset < 0) return false;
            const uint64_t pixels = static_cast<uint64_t>(t.width) * static_cast<uint64_t>(t.height);
            if (!tex_.Contains(static_cast<uint64_t>(t.pixelOffset), pixels + mdl::kPaletteSize)) return false;
        }
        skinReferences_ = texHead_.skinReferenceCount;
        const int32_t families = texHead_.skinFamilyCount;
        const int32_t offset = texHead_.skinOffset;
        if (skinReferences_ < 0 || families < 0) return false;
        const uint64_t entries = static_cast<uint64_t>(skinReferences_) * static_cast<uint64_t>(families);
        if (offset < 0 || !tex_.ContainsArray(static_cast<uint64_t>(offset), entries, 2)) return false;
        for (uint64_t e = 0; e < entries; ++e) {
            const int16_t t = mdl::Field<int16_t>(tex_.bytes().data(), static_cast<uint64_t>(offset) + 2u * e);
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
                const auto c = mdl::Field<mdl::CommandVertex>(h(), p);
                const int16_t vi = c.vertex, ni = c.normal;
                if (vi < 0 || vi >= vertices || ni < 0 || ni >= normals) return false;
            }
        }
    }

    // count Vector3 at offset, every coordinate finite (they reach the host).
    bool FiniteVectors(int32_t offset, int32_t count) const {
        for (int32_t i = 0; i < count; ++i) {
            const auto v = mdl::Record<Vector3>(h(), offset, i);
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
        }
        return true;
    }

    bool Model(uint64_t at, uint64_t &records) {
        const auto model = mdl::Field<mdl::Model>(h(), at);
        const int32_t vertices = model.vertexCount;
        if (!main_.HoldsRecords(model.meshOffset, model.meshCount, mdl::kMeshSize)) return false;
        if (vertices < 0 || vertices > kMdlMaxVertices) return false;
        if (!main_.HoldsRecords(model.vertexBoneOffset, vertices, 1) || !main_.HoldsRecords(model.vertexOffset, vertices, 12))
            return false;
        for (int32_t i = 0; i < vertices; ++i)
            if (h()[static_cast<uint64_t>(model.vertexBoneOffset) + static_cast<uint64_t>(i)] >= head_.boneCount) return false;
        if (!FiniteVectors(model.vertexOffset, vertices)) return false;
        int64_t normals = 0;
        for (int32_t k = 0; k < model.meshCount; ++k) {
            const int32_t n = mdl::Record<mdl::Mesh>(h(), model.meshOffset, k).normalCount;
            if (n < 0) return false;
            normals += n;
            if (normals > kMdlMaxVertices) return false;
        }
        const int32_t normalTotal = static_cast<int32_t>(normals);
        if (!main_.HoldsRecords(model.normalBoneOffset, normalTotal, 1) || !main_.HoldsRecords(model.normalOffset, normalTotal, 12))
            return false;
        for (int32_t i = 0; i < normalTotal; ++i)
            if (h()[static_cast<uint64_t>(model.normalBoneOffset) + static_cast<uint64_t>(i)] >= head_.boneCount) return false;
        if (!FiniteVectors(model.normalOffset, normalTotal)) return false;
        for (int32_t k = 0; k < model.meshCount; ++k) {
            const auto mesh = mdl::Record<mdl::Mesh>(h(), model.meshOffset, k);
            if (mesh.skinReference < 0 || mesh.skinReference >= skinReferences_) return false;
            if (!Commands(mesh.commandOffset, vertices, normalTotal, records)) return false;
        }
        return true;
    }

    bool BodyParts() {
        constexpr uint64_t kMaxRecords = uint64_t{1} << 28;
        uint64_t total = 0;
        const int32_t count = head_.bodyPartCount;
        if (!main_.HoldsRecords(head_.bodyPartOffset, count, mdl::kBodyPartSize)) return false;
        for (int32_t b = 0; b < count; ++b) {
            const auto part = mdl::Record<mdl::BodyPart>(h(), head_.bodyPartOffset, b);
            if (part.modelCount < 1 || !main_.HoldsRecords(part.modelOffset, part.modelCount, mdl::kModelSize)) return false;
            uint64_t most = 0;
            for (int32_t i = 0; i < part.modelCount; ++i) {
                // Body parts that share a model have it checked once.
                const uint64_t at =
                    static_cast<uint64_t>(part.modelOffset) + uint64_t{mdl::kModelSize} * static_cast<uint64_t>(i);
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
    mdl::Header head_{}, texHead_{};
    int32_t textureCount_ = 0, skinReferences_ = 0;
    std::unordered_map<uint64_t, int32_t> streams_;
    std::unordered_map<uint64_t, uint64_t> models_;  // model offset -> command vertices
};

// The first controller record whose number field is number, or -1.
int32_t FindController(const MdlModel &model, int32_t number) {
    const mdl::Header head = model.Head();
    for (int32_t j = 0; j < head.controllerCount; ++j)
        if (mdl::Record<mdl::Controller>(model.header.data(), head.controllerOffset, j).number == number) return j;
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

    if (model.Head().textureCount == 0) {
        const std::string texturePath = MdlCompanionPath(path, "T");
        auto textures = ReadFileCopy(texturePath.c_str());
        if (!textures) return fail(MdlLoadResult::MissingFile, texturePath);
        // An empty texture file still stands for the textures: it fails validation.
        model.textureFile = textures->empty() ? std::vector<uint8_t>{0} : std::move(*textures);
    }
    const int32_t groups = model.Head().groupCount;
    if (groups > kMdlMaxGroupFiles + 1) return fail(MdlLoadResult::Corrupt, mainPath);
    for (int32_t g = 1; g < groups; ++g) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%02d", static_cast<int>(g));
        const std::string groupPath = MdlCompanionPath(path, suffix);
        auto group = ReadFileCopy(groupPath.c_str());
        if (!group) return fail(MdlLoadResult::MissingFile, groupPath);
        model.sequenceGroups.push_back(std::move(*group));
    }
    model.textureCount = model.Head().textureCount;
    if (!ValidateMdl(model)) return fail(MdlLoadResult::Corrupt, mainPath);
    return MdlLoadResult::Ok;
}

float SetController(MdlModel &model, int32_t number, float value) {
    if (!model.usable) return value;
    const int32_t j = FindController(model, number);
    if (j < 0) return value;
    const auto c = mdl::Record<mdl::Controller>(model.header.data(), model.Head().controllerOffset, j);
    const int32_t type = c.type;
    const float start = c.start, end = c.end;
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

int32_t MdlSequences(const MdlModel &model, VeskMdlSequence *out) {
    const mdl::Header head = model.Head();
    if (out) {
        for (int32_t q = 0; q < head.sequenceCount; ++q) {
            const auto seq = mdl::Record<mdl::Sequence>(model.header.data(), head.sequenceOffset, q);
            VeskMdlSequence record{};
            // The stored name need not end inside its field: the host's does.
            const size_t length = strnlen(seq.name, sizeof record.name - 1);
            std::memcpy(record.name, seq.name, length);
            record.framesPerSecond = seq.framesPerSecond;
            record.frameCount = seq.frameCount;
            record.flags = seq.flags;
            record.activity = seq.activity;
            out[q] = record;
        }
    }
    return head.sequenceCount;
}

int32_t MdlTexture(const MdlModel &model, int32_t texture, uint8_t *rgba, int32_t *size) {
    const std::span<const uint8_t> file = model.TextureHeader();
    const mdl::Header head = model.TextureHead();
    if (texture < 0 || texture >= head.textureCount) return head.textureCount;
    const auto t = mdl::Record<mdl::Texture>(file.data(), head.textureOffset, texture);
    if (size) size[0] = t.width, size[1] = t.height;
    if (rgba) {
        const size_t pixels = static_cast<size_t>(t.width) * static_cast<size_t>(t.height);
        const uint8_t *index = file.data() + t.pixelOffset;
        const uint8_t *palette = index + pixels;
        const bool masked = (t.flags & 0x40) != 0;
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t k = index[i];
            std::memcpy(rgba + 4 * i, palette + 3 * size_t{k}, 3);
            rgba[4 * i + 3] = masked && k == 255 ? 0 : 255;
        }
    }
    return head.textureCount;
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

VESK_API int32_t VESK_CALL VeskGetModelMDLsequences(int32_t index, VeskMdlSequence *sequences) {
    const vesk::MdlModel *model = vesk::UsableMdlModelAt(index);
    return model ? vesk::MdlSequences(*model, sequences) : 0;
}

VESK_API int32_t VESK_CALL VeskGetModelMDLtexture(int32_t index, int32_t texture, uint8_t *rgba, int32_t *size) {
    const vesk::MdlModel *model = vesk::UsableMdlModelAt(index);
    return model ? vesk::MdlTexture(*model, texture, rgba, size) : 0;
}
