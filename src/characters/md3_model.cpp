#include "characters/md3_model.h"

#include <cstring>
#include <string_view>

#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"
#include "math/finite_floats.h"

namespace vesk {
namespace {

constexpr uint64_t kHeaderSize = 108;
constexpr uint64_t kFrameSize = 56;
constexpr uint64_t kTagSize = 112;
constexpr uint64_t kSurfaceHeaderSize = 108;
constexpr uint64_t kShaderSize = 68;
constexpr uint64_t kTriangleSize = 12;
constexpr uint64_t kTexCoordSize = 8;
constexpr uint64_t kVertexSize = 8;

bool HasNul(const uint8_t *field, size_t size) { return std::memchr(field, 0, size) != nullptr; }

// start + a signed offset from the file, as an absolute offset inside the data.
bool Resolve(const ByteCursor &c, uint64_t start, int32_t offset, uint64_t &out) {
    const int64_t at = static_cast<int64_t>(start) + offset;
    if (at < 0 || static_cast<uint64_t>(at) > c.size()) return false;
    out = static_cast<uint64_t>(at);
    return true;
}

struct SurfaceHeader {
    int32_t frameCount, shaderCount, vertexCount, triangleCount;
    int32_t triangleOffset, shaderOffset, texCoordOffset, vertexOffset, endOffset;
};

// Reads one surface at start into mesh. budget counts the data bytes the
// surfaces may still reference: sharing one block among many surfaces would
// otherwise multiply a small file into an unbounded allocation.
bool ReadSurface(const ByteCursor &c, uint64_t start, uint64_t &budget, Md3Mesh &mesh, int32_t &endOffset) {
    if (!c.Contains(start, kSurfaceHeaderSize)) return false;
    const uint8_t *base = c.bytes().data() + start;
    if (!HasNul(base + 4, 64)) return false;
    SurfaceHeader h{};
    std::memcpy(&h, base + 72, sizeof h);
    if (h.frameCount < 0 || h.shaderCount < 0 || h.vertexCount < 0 || h.triangleCount < 0) return false;
    if (!c.HoldsRecords(static_cast<int64_t>(start + kSurfaceHeaderSize), h.shaderCount, kShaderSize)) return false;

    const uint64_t vertexRecords = static_cast<uint64_t>(h.frameCount) * static_cast<uint64_t>(h.vertexCount);
    uint64_t tri = 0, st = 0, xyz = 0;
    if (!Resolve(c, start, h.triangleOffset, tri) || !Resolve(c, start, h.texCoordOffset, st) ||
        !Resolve(c, start, h.vertexOffset, xyz))
        return false;
    if (!c.HoldsRecords(static_cast<int64_t>(tri), h.triangleCount, kTriangleSize) ||
        !c.HoldsRecords(static_cast<int64_t>(st), h.vertexCount, kTexCoordSize) ||
        !c.ContainsArray(xyz, vertexRecords, kVertexSize))
        return false;
    const uint64_t referenced = static_cast<uint64_t>(h.triangleCount) * kTriangleSize +
                                static_cast<uint64_t>(h.vertexCount) * kTexCoordSize + vertexRecords * kVertexSize;
    if (referenced > budget) return false;
    budget -= referenced;

    const uint8_t *data = c.bytes().data();
    mesh.vertexCount = h.vertexCount;
    mesh.faceCount = h.triangleCount;
    mesh.texCoordCount = h.vertexCount;
    CopyToField(mesh.name, std::string_view(reinterpret_cast<const char *>(base + 4)));

    mesh.vertices.resize(static_cast<size_t>(vertexRecords));
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        int16_t p[3];
        std::memcpy(p, data + xyz + i * kVertexSize, sizeof p);
        mesh.vertices[i] = {p[0] * 0.015625f, p[1] * 0.015625f, p[2] * 0.015625f};
    }
    // Texture coordinates go to the host as stored.
    if (!FloatsFinite(data + st, 2 * static_cast<size_t>(h.vertexCount))) return false;
    mesh.texCoords.resize(static_cast<size_t>(h.vertexCount));
    for (size_t i = 0; i < mesh.texCoords.size(); ++i) {
        float uv[2];
        std::memcpy(uv, data + st + i * kTexCoordSize, sizeof uv);
        mesh.texCoords[i] = {uv[0], uv[1]};
    }
    mesh.faces.resize(static_cast<size_t>(h.triangleCount));
    for (size_t i = 0; i < mesh.faces.size(); ++i) {
        int32_t v[3];
        std::memcpy(v, data + tri + i * kTriangleSize, sizeof v);
        for (int k = 0; k < 3; ++k) mesh.faces[i].vertexIndex[k] = mesh.faces[i].texCoordIndex[k] = v[k];
    }
    endOffset = h.endOffset;
    return true;
}

}  // namespace

bool ParseMd3(Md3Model &model, std::span<const uint8_t> bytes, const char *path) {
    const char *name = path ? path : "";
    const ByteCursor c(bytes);
    auto corrupt = [&] {
        ReportMessage("Error", "Invalid file format (corrupt data): %s!", name);
        return false;
    };

    char ident[4];
    int32_t version = 0;
    const bool haveIdent = c.ReadAt(0, ident);
    const bool haveVersion = c.ReadAt(4, version);
    if ((haveIdent && std::memcmp(ident, "IDP3", 4) != 0) || (haveVersion && version != 15)) {
        ReportMessage("Error", "Invalid file format (Version not 15): %s!", name);
        return false;
    }
    if (!c.Contains(0, kHeaderSize)) return corrupt();
    int32_t frameCount = 0, tagCount = 0, surfaceCount = 0;
    c.ReadAt(76, frameCount);
    c.ReadAt(80, tagCount);
    c.ReadAt(84, surfaceCount);
    if (frameCount < 0 || tagCount < 0 || surfaceCount < 0) return corrupt();

    const uint64_t tagRecords = static_cast<uint64_t>(frameCount) * static_cast<uint64_t>(tagCount);
    const uint64_t tagStart = kHeaderSize + static_cast<uint64_t>(frameCount) * kFrameSize;
    // One frame's tags must fit even when there are no frames: the count
    // alone sizes the links, and must not demand more than the file holds.
    if (!c.HoldsRecords(kHeaderSize, frameCount, kFrameSize) ||
        !c.ContainsArray(tagStart, tagRecords, kTagSize) ||
        !c.HoldsRecords(static_cast<int64_t>(tagStart), tagCount, kTagSize))
        return corrupt();

    // Tag origins and axes place the attached parts.
    if (!RecordFloatsFinite<12>(bytes.data() + tagStart, static_cast<size_t>(tagRecords), kTagSize, 64))
        return corrupt();
    std::vector<Md3Tag> tags(static_cast<size_t>(tagRecords));
    for (size_t i = 0; i < tags.size(); ++i) {
        const uint8_t *record = bytes.data() + tagStart + i * kTagSize;
        if (!HasNul(record, 64)) return corrupt();
        std::memcpy(&tags[i], record, kTagSize);
    }

    std::vector<Md3Mesh> meshes;
    uint64_t start = tagStart + tagRecords * kTagSize;
    uint64_t budget = bytes.size();
    for (int32_t s = 0; s < surfaceCount; ++s) {
        Md3Mesh mesh;
        int32_t endOffset = 0;
        if (!ReadSurface(c, start, budget, mesh, endOffset)) return corrupt();
        meshes.push_back(std::move(mesh));
        if (s + 1 < surfaceCount) {
            // Each further surface needs its own header's worth of bytes, so
            // the surface count is bounded by the file's size.
            if (endOffset < static_cast<int32_t>(kSurfaceHeaderSize)) return corrupt();
            start += static_cast<uint64_t>(endOffset);
        }
    }

    // Everything checked: only now does the model change.
    model.tags = std::move(tags);
    model.tagCount = tagCount;
    model.links.assign(static_cast<size_t>(tagCount), nullptr);
    for (auto &mesh : meshes) model.meshes.push_back(std::move(mesh));
    model.meshCount = static_cast<int32_t>(model.meshes.size());
    return true;
}

bool LoadMd3(Md3Model &model, const char *path) {
    const auto bytes = path ? ReadWholeFile(path) : std::nullopt;
    if (!bytes) {
        ReportMessage("Error", "Unable to find the file: %s!", path ? path : "");
        return false;
    }
    return ParseMd3(model, *bytes, path);
}

}  // namespace vesk
