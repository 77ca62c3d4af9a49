// MD3 models: the in-memory records and the reader that fills them.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>
#include <vector>

#include "loaders/static_model.h"

namespace vesk {

// Same layout as the file's tag record.
struct Md3Tag {
    char name[64] = {};
    Vector3 origin{};
    Vector3 axis[3]{};
};
static_assert(sizeof(Md3Tag) == 112);

struct Md3Material {
    char name[255] = {};
    char textureFile[255] = {};
    uint8_t colour[3] = {0, 0, 0};
    int32_t textureIndex = 0;
    float uTiling = 0.0f;
    float vTiling = 0.0f;
    float uOffset = 0.0f;
    float vOffset = 0.0f;
};

struct Md3Animation {
    char name[255] = {};
    int32_t startFrame = 0;
    int32_t endFrame = 0;  // one past the last frame
    int32_t loopingFrames = 0;
    int32_t framesPerSecond = 0;
};

struct Md3Mesh {
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    int32_t texCoordCount = 0;
    int32_t materialIndex = 0;
    bool hasTexture = false;
    char name[255] = {};
    std::vector<Vector3> vertices;  // frame-major: frame f, vertex v at f * vertexCount + v
    std::vector<Vector3> normals;   // the reader makes none
    std::vector<TexCoord> texCoords;
    std::vector<StaticFace> faces;

    // Frames held by vertices (each surface has its own count).
    int32_t FrameCount() const {
        return vertexCount > 0 ? static_cast<int32_t>(vertices.size() / static_cast<size_t>(vertexCount)) : 0;
    }
};

struct Md3Model {
    int32_t meshCount = 0;
    int32_t materialCount = 0;
    std::vector<Md3Material> materials;
    std::vector<Md3Mesh> meshes;
    int32_t animationCount = 0;
    int32_t currentAnimation = 0;
    int32_t currentFrame = 0;
    int32_t nextFrame = 0;
    float blend = 0.0f;
    float lastStepTime = 0.0f;
    // The exact tick of the last step: lastStepTime as a float cannot hold a
    // day's worth of milliseconds, and elapsed time must survive the 32-bit wrap.
    uint32_t lastStepTick = 0;
    std::vector<Md3Animation> animations;
    int32_t tagCount = 0;
    std::vector<Md3Model *> links;  // per tag; not owned; null = nothing attached
    std::vector<Md3Tag> tags;       // frame-major: frame f, tag i at f * tagCount + i

    // Frames held by tags.
    int32_t TagFrameCount() const {
        return tagCount > 0 ? static_cast<int32_t>(tags.size() / static_cast<size_t>(tagCount)) : 0;
    }
};

// Reads one MD3 file: appends its surfaces as meshes, replaces tags and links.
// On failure shows the format's message, returns false and changes nothing.
bool LoadMd3(Md3Model &model, const char *path);
// The same from bytes already in memory; path only names the file in messages.
bool ParseMd3(Md3Model &model, std::span<const uint8_t> bytes, const char *path);

}  // namespace vesk
