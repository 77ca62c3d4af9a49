// Binary 3DS files: a walk over nested chunks that adds objects and materials
// to the static model.
#include <algorithm>
#include <cstring>

#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"
#include "loaders/static_model.h"

namespace vesk {
namespace {

constexpr uint16_t kPrimary = 0x4D4D;
constexpr uint16_t kVersion = 0x0002;
constexpr uint16_t kObjectInfo = 0x3D3D;
constexpr uint16_t kMaterial = 0xAFFF;
constexpr uint16_t kObject = 0x4000;
constexpr uint16_t kMaterialName = 0xA000;
constexpr uint16_t kDiffuse = 0xA020;
constexpr uint16_t kTextureMap = 0xA200;
constexpr uint16_t kTextureFile = 0xA300;
constexpr uint16_t kTriangleMesh = 0x4100;
constexpr uint16_t kVertices = 0x4110;
constexpr uint16_t kFaces = 0x4120;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kTexCoords = 0x4140;

// Real files nest about five deep; deeper chunks are skipped so that a crafted
// file cannot exhaust the stack.
constexpr int kMaxDepth = 32;

struct ChunkState {
    uint16_t id = 0;
    uint32_t length = 0;     // whole chunk, header included
    uint32_t bytesRead = 0;  // consumed so far, header included
};

uint32_t Remaining(const ChunkState &chunk) {
    return chunk.length > chunk.bytesRead ? chunk.length - chunk.bytesRead : 0;
}

class ThreeDsReader {
public:
    ThreeDsReader(std::span<const uint8_t> bytes, StaticModel &model) : cursor_(bytes), model_(model) {}

    bool ReadPrimary(ChunkState &primary) { return ReadHeader(primary) && primary.id == kPrimary; }
    void WalkPrimary(ChunkState &parent, int depth);

private:
    bool AtEnd() const { return cursor_.remaining() == 0; }

    // Reads up to n bytes of chunk (out may be null to discard); counts what was read.
    uint32_t Consume(ChunkState &chunk, void *out, uint64_t n) {
        const uint64_t take = std::min<uint64_t>(n, cursor_.remaining());
        if (out)
            cursor_.ReadBytes(out, take);
        else
            cursor_.Skip(take);
        chunk.bytesRead += static_cast<uint32_t>(take);
        return static_cast<uint32_t>(take);
    }
    void SkipRest(ChunkState &chunk) { Consume(chunk, nullptr, Remaining(chunk)); }
    // What of the chunk's remaining bytes the data still holds.
    uint64_t Available(const ChunkState &chunk) const {
        return std::min<uint64_t>(Remaining(chunk), cursor_.remaining());
    }

    // Fixed-size reads go through the cursor's typed reads, which copy a
    // known number of bytes inline rather than calling memcpy.
    bool ReadHeader(ChunkState &chunk) {
        chunk = ChunkState{};
        if (cursor_.remaining() < 6) {
            Consume(chunk, nullptr, 6);  // a partial header's bytes count as read
            return false;
        }
        cursor_.Read(chunk.id);
        cursor_.Read(chunk.length);
        chunk.bytesRead = 6;
        return true;
    }

    uint16_t ReadCount(ChunkState &chunk) {
        uint16_t count = 0;
        if (Remaining(chunk) < 2 || !cursor_.Read(count)) return 0;
        chunk.bytesRead += 2;
        return count;
    }

    // A NUL-terminated name inside the chunk; what does not fit the field is dropped.
    void ReadName(ChunkState &chunk, char (&field)[255]) {
        const size_t available = static_cast<size_t>(Available(chunk));
        const uint8_t *const name = cursor_.bytes().data() + cursor_.position();
        const void *const nul = std::memchr(name, 0, available);
        const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - name) : available;
        const size_t kept = std::min(length, sizeof field - 1);
        std::memcpy(field, name, kept);
        field[kept] = '\0';
        Consume(chunk, nullptr, nul ? length + 1 : length);
    }

    // The chunk's remaining bytes as raw bytes into a text field, cut to fit.
    void ReadRawField(ChunkState &chunk, char (&field)[255]) {
        std::memset(field, 0, sizeof field);
        Consume(chunk, field, std::min<uint64_t>(Remaining(chunk), sizeof field - 1));
        SkipRest(chunk);
    }

    template <class Handler>
    void Walk(ChunkState &parent, Handler handle) {
        while (parent.bytesRead < parent.length && !AtEnd()) {
            ChunkState child;
            const bool whole = ReadHeader(child);
            if (whole) handle(child);
            parent.bytesRead += child.bytesRead;
            if (!whole) break;
        }
    }

    void HandleVersion(ChunkState &chunk);
    void WalkMaterial(ChunkState &parent, size_t material, int depth);
    void WalkObject(ChunkState &parent, size_t object, int depth);
    void FaceMaterial(ChunkState &chunk, StaticObject &object);

    ByteCursor cursor_;
    StaticModel &model_;
};

void ThreeDsReader::HandleVersion(ChunkState &chunk) {
    uint8_t bytes[4] = {};
    Consume(chunk, bytes, std::min<uint64_t>(Remaining(chunk), 4));
    SkipRest(chunk);
    uint32_t version = 0;
    std::memcpy(&version, bytes, 4);
    if (version > 3) ShowMessage("Warning", "This 3DS file is over version 3 so it may load incorrectly");
}

void ThreeDsReader::WalkPrimary(ChunkState &parent, int depth) {
    Walk(parent, [&](ChunkState &chunk) {
        if (depth >= kMaxDepth) return SkipRest(chunk);
        switch (chunk.id) {
            case kVersion: return HandleVersion(chunk);
            case kObjectInfo: {
                // The mesh version leads the block; it is read and dropped. An
                // empty block has none, and its sibling must not be eaten.
                if (Remaining(chunk) > 0) {
                    ChunkState meshVersion;
                    if (ReadHeader(meshVersion)) SkipRest(meshVersion);
                    chunk.bytesRead += meshVersion.bytesRead;
                }
                return WalkPrimary(chunk, depth + 1);
            }
            case kMaterial:
                ++model_.materialCount;
                model_.materials.emplace_back();
                return WalkMaterial(chunk, model_.materials.size() - 1, depth + 1);
            case kObject: {
                ++model_.objectCount;
                model_.objects.emplace_back();
                const size_t index = model_.objects.size() - 1;
                ReadName(chunk, model_.objects[index].name);
                return WalkObject(chunk, index, depth + 1);
            }
            default: return SkipRest(chunk);
        }
    });
}

void ThreeDsReader::WalkMaterial(ChunkState &parent, size_t index, int depth) {
    Walk(parent, [&](ChunkState &chunk) {
        if (depth >= kMaxDepth) return SkipRest(chunk);
        StaticMaterial &material = model_.materials[index];
        switch (chunk.id) {
            case kMaterialName: return ReadRawField(chunk, material.name);
            case kDiffuse: {
                if (Remaining(chunk) == 0) return;
                // The first colour sub-chunk: a byte colour fits whole; of a
                // float colour only the first three bytes fit.
                ChunkState colour;
                if (ReadHeader(colour)) {
                    Consume(colour, material.colour, std::min<uint64_t>(Remaining(colour), 3));
                    SkipRest(colour);
                }
                chunk.bytesRead += colour.bytesRead;
                return;
            }
            case kTextureMap: return WalkMaterial(chunk, index, depth + 1);
            case kTextureFile: return ReadRawField(chunk, material.textureFile);
            default: return SkipRest(chunk);
        }
    });
}

void ThreeDsReader::FaceMaterial(ChunkState &chunk, StaticObject &object) {
    char name[255];
    ReadName(chunk, name);
    SkipRest(chunk);  // the faces of that material
    if (model_.materialCount < 1) return;
    // The first held material of that name, earlier loads' included.
    object.materialIndex = model_.FindMaterial(name);
    if (object.materialIndex >= 0 && model_.materials[static_cast<size_t>(object.materialIndex)].textureFile[0] != '\0')
        object.hasTexture = true;
}

void ThreeDsReader::WalkObject(ChunkState &parent, size_t index, int depth) {
    Walk(parent, [&](ChunkState &chunk) {
        if (depth >= kMaxDepth) return SkipRest(chunk);
        StaticObject &object = model_.objects[index];
        switch (chunk.id) {
            case kTriangleMesh: return WalkObject(chunk, index, depth + 1);
            case kVertices: {
                const uint16_t count = ReadCount(chunk);
                const size_t n = static_cast<size_t>(std::min<uint64_t>(count, Available(chunk) / 12));
                object.vertices.assign(n, Vector3{0.0f, 0.0f, 0.0f});
                Consume(chunk, object.vertices.data(), n * 12);
                object.vertexCount = static_cast<int32_t>(n);
                return SkipRest(chunk);
            }
            case kFaces: {
                // Only the face data is consumed: the chunks nested after it
                // are met next as if they were siblings.
                const uint16_t count = ReadCount(chunk);
                const size_t n = static_cast<size_t>(std::min<uint64_t>(count, Available(chunk) / 8));
                object.faces.assign(n, StaticFace{});
                // n fits what the chunk still holds, so all n records are in the data.
                const uint8_t *records = cursor_.bytes().data() + cursor_.position();
                for (size_t f = 0; f < n; ++f) {
                    uint16_t abcf[4];
                    std::memcpy(abcf, records + 8 * f, 8);
                    for (int k = 0; k < 3; ++k) object.faces[f].vertexIndex[k] = abcf[k];
                }
                Consume(chunk, nullptr, n * 8);
                object.faceCount = static_cast<int32_t>(n);
                return;
            }
            case kFaceMaterial: return FaceMaterial(chunk, object);
            case kTexCoords: {
                const uint16_t count = ReadCount(chunk);
                const size_t n = static_cast<size_t>(std::min<uint64_t>(count, Available(chunk) / 8));
                object.texCoords.assign(n, TexCoord{});
                Consume(chunk, object.texCoords.data(), n * 8);
                object.texCoordCount = static_cast<int32_t>(n);
                return SkipRest(chunk);
            }
            default: return SkipRest(chunk);
        }
    });
}

}  // namespace

bool Parse3ds(std::span<const uint8_t> bytes, const char *path, StaticModel &model) {
    ThreeDsReader reader(bytes, model);
    ChunkState primary;
    if (!reader.ReadPrimary(primary)) {
        ReportMessage("Error", "Unable to load PRIMARY chuck from file: %s!", path ? path : "");
        return false;
    }
    const int32_t firstNew = model.objectCount;
    const int32_t firstNewMaterial = model.materialCount;
    reader.WalkPrimary(primary, 0);
    if (!ObjectsFinite(model, firstNew)) {
        DropAdded(model, firstNew, firstNewMaterial);
        ReportMessage("Error", "Invalid file format (corrupt data): %s!", path ? path : "");
        return false;
    }
    DropInvalidFaces(model, firstNew);
    // Earlier objects are not touched by the walk: their normals stand.
    SmoothVertexNormals(model, firstNew);
    return true;
}

bool Load3ds(const char *path, StaticModel &model) {
    if (!path) return false;
    ScratchFile file;
    if (!file.Read(path)) {
        ReportMessage("Error", "Unable to find the file: %s!", path);
        return false;
    }
    return Parse3ds(file.bytes(), path, model);
}

}  // namespace vesk
