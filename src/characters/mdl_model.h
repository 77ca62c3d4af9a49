// Half-Life MDL models: the 50-slot table, the file layout as read, loading
// with whole-model validation, bone controllers, and the skeletal pose.
#pragma once

#include <VeskMathLIB.h>

#include <cstddef>
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

// The file's records as read, filled by copying from a checked buffer. Only
// the named fields are read; the other bytes are the file's own.
namespace mdl {
struct Header {  // of a main or texture file, through the body parts
    uint8_t unread0[140];
    int32_t boneCount, boneOffset;
    int32_t controllerCount, controllerOffset;
    int32_t unread1[2];
    int32_t sequenceCount, sequenceOffset;
    int32_t groupCount, groupOffset;
    int32_t textureCount, textureOffset;
    int32_t unread2;
    int32_t skinReferenceCount, skinFamilyCount, skinOffset;
    int32_t bodyPartCount, bodyPartOffset;
};
struct Bone {
    char name[32];
    int32_t parent;  // -1 for a root
    int32_t unread;
    int32_t controller[6];  // -1 for none; position x, y, z, then rotation x, y, z
    float value[6];
    float scale[6];
};
struct Controller {
    int32_t unread0;
    int32_t type;
    float start, end;
    int32_t unread1;
    int32_t number;  // 0-3 ordinary, 4 and above the mouth
};
struct Sequence {
    char name[32];
    float framesPerSecond;
    int32_t flags, activity;
    int32_t unread0[3];
    int32_t frameCount;
    int32_t unread1[2];
    int32_t motionType, motionBone;
    uint8_t unread2[44];
    int32_t blendCount, animationOffset;
    uint8_t unread3[28];
    int32_t sequenceGroup;
    int32_t unread4[4];
};
struct Group {
    uint8_t unread[100];
    int32_t data;  // group 0: its animations' offset in the main file
};
struct BodyPart {
    char name[64];
    int32_t modelCount, base, modelOffset;
};
struct Model {
    char name[64];
    int32_t unread0[2];
    int32_t meshCount, meshOffset;
    int32_t vertexCount, vertexBoneOffset, vertexOffset;
    int32_t unread1;
    int32_t normalBoneOffset, normalOffset;
    int32_t unread2[2];
};
struct Mesh {
    int32_t unread0;
    int32_t commandOffset, skinReference, normalCount;
    int32_t unread1;
};
struct Texture {
    char name[64];
    int32_t flags;  // 2 chrome, 0x40 masked (palette entry 255 clear)
    int32_t width, height;
    int32_t pixelOffset;  // width x height palette indices, then 256 RGB entries
};
struct CommandVertex {  // after each strip or fan count
    int16_t vertex, normal, s, t;
};
struct Animation {
    uint16_t offset[6];  // from the record itself; 0 for a channel not animated
};

static_assert(sizeof(Header) == 212 && offsetof(Header, boneCount) == 140 && offsetof(Header, sequenceCount) == 164 &&
              offsetof(Header, textureCount) == 180 && offsetof(Header, skinReferenceCount) == 192 &&
              offsetof(Header, bodyPartOffset) == 208);
static_assert(sizeof(Bone) == 112 && offsetof(Bone, parent) == 32 && offsetof(Bone, controller) == 40 &&
              offsetof(Bone, value) == 64 && offsetof(Bone, scale) == 88);
static_assert(sizeof(Controller) == 24 && offsetof(Controller, type) == 4 && offsetof(Controller, number) == 20);
static_assert(sizeof(Sequence) == 176 && offsetof(Sequence, framesPerSecond) == 32 && offsetof(Sequence, activity) == 40 &&
              offsetof(Sequence, frameCount) == 56 && offsetof(Sequence, motionType) == 68 &&
              offsetof(Sequence, blendCount) == 120 && offsetof(Sequence, animationOffset) == 124 &&
              offsetof(Sequence, sequenceGroup) == 156);
static_assert(sizeof(Group) == 104 && offsetof(Group, data) == 100);
static_assert(sizeof(BodyPart) == 76 && offsetof(BodyPart, modelCount) == 64 && offsetof(BodyPart, modelOffset) == 72);
static_assert(sizeof(Model) == 112 && offsetof(Model, meshCount) == 72 && offsetof(Model, vertexCount) == 80 &&
              offsetof(Model, vertexOffset) == 88 && offsetof(Model, normalBoneOffset) == 96 &&
              offsetof(Model, normalOffset) == 100);
static_assert(sizeof(Mesh) == 20 && offsetof(Mesh, commandOffset) == 4 && offsetof(Mesh, normalCount) == 12);
static_assert(sizeof(Texture) == 80 && offsetof(Texture, flags) == 64 && offsetof(Texture, pixelOffset) == 76);
static_assert(sizeof(Animation) == 12 && sizeof(CommandVertex) == 8);

inline constexpr uint32_t kHeaderSize = sizeof(Header);
inline constexpr uint32_t kBoneSize = sizeof(Bone), kControllerSize = sizeof(Controller);
inline constexpr uint32_t kSequenceSize = sizeof(Sequence), kGroupSize = sizeof(Group);
inline constexpr uint32_t kBodyPartSize = sizeof(BodyPart), kModelSize = sizeof(Model), kMeshSize = sizeof(Mesh);
inline constexpr uint32_t kTextureSize = sizeof(Texture), kAnimationSize = sizeof(Animation);
inline constexpr uint32_t kPaletteSize = 256 * 3;

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
// The slerp in two steps: what depends on the two ends only, then the weights
// for t (QuaternionSlerp is ApplySlerp of PrepareSlerp).
struct SlerpSetup {
    enum Kind : int32_t { Arc, Linear, Opposite } kind = Linear;
    Quaternion q;  // the nearer of q and -q
    float omega = 0.0f, sinOmega = 0.0f;
};
SlerpSetup PrepareSlerp(const Quaternion &p, Quaternion q);
Quaternion ApplySlerp(const Quaternion &p, const SlerpSetup &setup, float t);
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
// Record i of a table of T at offset (validated).
template <class T>
T Record(const uint8_t *base, int64_t offset, int64_t i) {
    return Field<T>(base, static_cast<uint64_t>(offset) + uint64_t{sizeof(T)} * static_cast<uint64_t>(i));
}

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
    mdl::Header Head() const { return mdl::Field<mdl::Header>(header.data(), 0); }
    mdl::Header TextureHead() const { return mdl::Field<mdl::Header>(TextureHeader().data(), 0); }
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

// The extension queries on a usable model (null arrays count only).
int32_t MdlSequences(const MdlModel &model, VeskMdlSequence *out);
bool SetMdlSequence(MdlModel &model, int32_t sequence);
int32_t MdlTexture(const MdlModel &model, int32_t texture, uint8_t *rgba, int32_t *size);
int32_t MdlMeshRanges(const MdlModel &model, int32_t *ranges);

// Command vertices and triangle indices of the models the mesh call draws.
struct MdlSizes {
    int32_t records = 0;
    int32_t indices = 0;
};
MdlSizes MdlMeshSizes(const MdlModel &model);
// Writes the triangle list (may be null to count only); returns the count.
int32_t MdlTriangles(const MdlModel &model, uint32_t *indices);

}  // namespace vesk
