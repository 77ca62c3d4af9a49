// Half-Life MDL models: the 50-slot table, the file layout as read, loading
// with whole-model validation, bone controllers, and the skeletal pose.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace vesk {

inline constexpr int32_t kMaxMdlModels = 50;
inline constexpr int32_t kMdlMaxBones = 128;
inline constexpr int32_t kMdlMaxVertices = 2048;  // per model, and normals likewise
inline constexpr int32_t kMdlMaxOrdinaryControllers = 4;
// Ordinary controllers plus mouth controllers: one adjustment per record.
inline constexpr int32_t kMdlMaxControllers = 8;
inline constexpr int32_t kMdlMaxGroupFiles = 31;

// Header fields (offsets from the start of a main or texture file).
namespace mdl {
inline constexpr uint32_t kHeaderSize = 212;  // through bodyPartOffset
inline constexpr uint32_t kBoneCount = 140, kBoneOffset = 144;
inline constexpr uint32_t kControllerCount = 148, kControllerOffset = 152;
inline constexpr uint32_t kSequenceCount = 164, kSequenceOffset = 168;
inline constexpr uint32_t kGroupCount = 172, kGroupOffset = 176;
inline constexpr uint32_t kTextureCount = 180, kTextureOffset = 184;
inline constexpr uint32_t kSkinReferenceCount = 192, kSkinFamilyCount = 196, kSkinOffset = 200;
inline constexpr uint32_t kBodyPartCount = 204, kBodyPartOffset = 208;

inline constexpr uint32_t kBoneSize = 112, kControllerSize = 24, kSequenceSize = 176, kGroupSize = 104;
inline constexpr uint32_t kBodyPartSize = 76, kModelSize = 112, kMeshSize = 20, kTextureSize = 80;
inline constexpr uint32_t kAnimationSize = 12;

// A field of a validated buffer (callers have checked the bounds).
template <class T>
T Field(const uint8_t *base, uint64_t offset) {
    T value;
    std::memcpy(&value, base + offset, sizeof(T));
    return value;
}

struct Quaternion {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};
using BoneMatrix = float[3][4];  // rotation in columns 0-2, translation in column 3

Quaternion AngleQuaternion(const float (&angles)[3]);
// The pose's slerp: picks the nearer of q and -q, falls back to linear
// weights for nearly equal quaternions and to a quarter turn for opposite ones.
Quaternion QuaternionSlerp(const Quaternion &p, Quaternion q, float t);
void QuaternionMatrix(const Quaternion &q, BoneMatrix &out);
void ConcatTransforms(const BoneMatrix &a, const BoneMatrix &b, BoneMatrix &out);

// One run-length value stream, decoded at an integer frame: the value at the
// frame (a1), at the next frame (a2), and the raw entries the position blend
// reads. Reads outside the stream's buffer give 0.
struct ChannelValues {
    int16_t a1 = 0, a2 = 0;
    int16_t next = 0;       // v[f' + 2]
    int16_t last = 0;       // v[valid]
    int16_t following = 0;  // v[valid + 2]
    uint8_t valid = 0, total = 0;
    int32_t local = 0;  // f', the frame inside the run reached
};
ChannelValues DecodeChannel(std::span<const uint8_t> buffer, uint64_t streamOffset, int32_t frame);
}  // namespace mdl

struct MdlModel {
    int32_t textureCount = 0;
    int32_t vertexCount = 0;
    float speed = 0.0f;
    Vector3 origin{0.0f, 0.0f, 0.0f};
    int32_t sequence = 0;
    float frame = 0.0f;
    int32_t bodyNumber = 0;
    int32_t skinNumber = 0;
    uint8_t controllers[4] = {0, 0, 0, 0};
    uint8_t blending[2] = {0, 0};
    uint8_t mouth = 0;
    std::vector<uint8_t> header;        // the whole main file
    std::vector<uint8_t> textureFile;   // the texture file; empty when header holds the textures
    std::vector<std::vector<uint8_t>> sequenceGroups;  // group g's file at g - 1
    uint64_t currentModel = 0;          // offset of the model record being drawn
    float adjustments[kMdlMaxControllers] = {};
    bool usable = false;   // loaded and validated
    bool drawn = false;    // a mesh call has written this model's records

    std::span<const uint8_t> TextureHeader() const {
        return textureFile.empty() ? std::span<const uint8_t>(header) : std::span<const uint8_t>(textureFile);
    }
    int32_t HeaderInt(uint32_t offset) const { return mdl::Field<int32_t>(header.data(), offset); }
};

// The module's table (50 slots) and its count.
std::span<MdlModel, kMaxMdlModels> MdlModels();
int32_t &MdlCount();
// The slot at a table index, or null outside 0 .. 49.
MdlModel *MdlModelAt(int32_t index);
// A slot that can be drawn, or null.
MdlModel *UsableMdlModelAt(int32_t index);

// --- Loading -------------------------------------------------------------------
enum class MdlLoadResult { Ok, MissingFile, Corrupt };
// Reads path and its companion files into model. On failure, failedPath names
// the file that is missing (or the main file for damaged data).
MdlLoadResult LoadMdl(MdlModel &model, const char *path, std::string *failedPath = nullptr);
// Validates the model's buffers as a whole; on success the model is usable.
bool ValidateMdl(MdlModel &model);
// The export's work: loads into slot MdlCount(), reports a failure, sets the
// controllers to 0 and raises the count.
int32_t LoadNextMdl(const char *path, int32_t *textures);
float SetController(MdlModel &model, int32_t number, float value);
// The companion file names: T for the textures, 01, 02 ... for sequence groups.
std::string MdlCompanionPath(const char *path, const char *suffix);

// --- Pose and mesh export -------------------------------------------------------
void AdvanceFrame(MdlModel &model, double dt);
void CalcBoneAdj(MdlModel &model);
void SetUpBones(MdlModel &model);
void SetupModel(MdlModel &model, int32_t bodyPart);
void DrawModel(MdlModel &model, CharacterVertex *records);
// The export's work on a usable model: clock, pose, records. Returns false
// when the model has no body parts (count left alone).
bool PoseMdl(MdlModel &model, CharacterVertex *records, int32_t *count);
// Bone transforms of the last pose (module-wide work state), for tests.
const mdl::BoneMatrix &MdlBoneTransform(int32_t bone);
// Module-wide clock state, for tests: seconds of the last mesh call.
float &MdlLastTime();

// Command vertices and triangle indices of the models the mesh call draws.
struct MdlSizes {
    int32_t records = 0;
    int32_t indices = 0;
};
MdlSizes MdlMeshSizes(const MdlModel &model);
// Writes the triangle list (may be null to count only); returns the count.
int32_t MdlTriangles(const MdlModel &model, uint32_t *indices);

}  // namespace vesk
