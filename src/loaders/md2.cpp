#include "loaders/md2.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>
#include <string_view>
#include <type_traits>

#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"

static_assert(sizeof(Md2AnimationRange) == 8 && offsetof(Md2AnimationRange, endFrame) == 4);
static_assert(sizeof(Md2Vertex) == 32 && offsetof(Md2Vertex, normal) == 12 && offsetof(Md2Vertex, u) == 24 &&
              offsetof(Md2Vertex, v) == 28);
static_assert(std::is_standard_layout_v<Md2Vertex> && std::is_standard_layout_v<Md2AnimationRange>);

namespace vesk {
namespace {

constexpr float kBoxStart = 9999999.0f;

struct Md2Triangle {
    int16_t vertex[3];
    int16_t st[3];
};
static_assert(sizeof(Md2Triangle) == 12);

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Md2Status Md2File::Open(std::span<const uint8_t> bytes, uint64_t fileSize) {
    bytes_ = bytes;
    ByteCursor cursor(bytes);
    if (bytes.size() < kMd2HeaderSize && fileSize > bytes.size()) return Md2Status::NeedMore;
    int32_t version = 0;
    // The version is the file's identity (the ident is not looked at), so it
    // is judged before the rest of the header.
    if (!cursor.ReadAt(4, version)) return Md2Status::Corrupt;
    if (version != kMd2Version) return Md2Status::BadVersion;
    if (!cursor.ReadAt(0, header_)) return Md2Status::Corrupt;
    const Md2Header &h = header_;

    if (h.numSkins < 0 || h.numVertices < 0 || h.numTexCoords < 0 || h.numTriangles < 0 || h.numFrames < 0)
        return Md2Status::Corrupt;
    if (h.offsetSkins < 0 || h.offsetTexCoords < 0 || h.offsetTriangles < 0 || h.offsetFrames < 0)
        return Md2Status::Corrupt;
    // Texture coordinates divide by the skin size.
    if (h.numTexCoords > 0 && (h.skinWidth <= 0 || h.skinHeight <= 0)) return Md2Status::Corrupt;
    const uint64_t frameData = kMd2FrameHeaderSize + uint64_t{4} * static_cast<uint64_t>(h.numVertices);
    if (h.frameSize < 0 || static_cast<uint64_t>(h.frameSize) < frameData) return Md2Status::Corrupt;

    // The lumps are judged against the whole file, which bytes may only begin.
    const auto inFile = [fileSize](int32_t offset, int32_t count, uint64_t recordSize) {
        return ByteCursor::RecordsFit(fileSize, offset, count, recordSize);
    };
    if (!inFile(h.offsetSkins, h.numSkins, 64) || !inFile(h.offsetTexCoords, h.numTexCoords, 4) ||
        !inFile(h.offsetTriangles, h.numTriangles, sizeof(Md2Triangle)) ||
        !inFile(h.offsetFrames, h.numFrames, static_cast<uint64_t>(h.frameSize)))
        return Md2Status::Corrupt;
    if (!Holds(h.offsetTexCoords, h.numTexCoords, 4) || !Holds(h.offsetTriangles, h.numTriangles, sizeof(Md2Triangle)))
        return Md2Status::NeedMore;

    // Every corner must name a vertex and a texture coordinate of the file.
    for (int32_t i = 0; i < h.numTriangles; ++i) {
        Md2Triangle tri{};
        cursor.ReadAt(static_cast<uint64_t>(h.offsetTriangles) + uint64_t{sizeof tri} * static_cast<uint64_t>(i), tri);
        for (int k = 0; k < 3; ++k) {
            if (tri.vertex[k] < 0 || tri.vertex[k] >= h.numVertices) return Md2Status::Corrupt;
            if (tri.st[k] < 0 || tri.st[k] >= h.numTexCoords) return Md2Status::Corrupt;
        }
    }
    return Md2Status::Ok;
}

bool Md2File::Holds(int64_t offset, int64_t count, uint64_t recordSize) const {
    return ByteCursor::RecordsFit(bytes_.size(), offset, count, recordSize);
}

bool Md2File::HoldsFrame(int32_t frame) const {
    return Holds(static_cast<int64_t>(header_.offsetFrames) + int64_t{header_.frameSize} * frame, 1,
                 static_cast<uint64_t>(header_.frameSize));
}

bool Md2File::HoldsAllFrames() const {
    return Holds(header_.offsetFrames, header_.numFrames, static_cast<uint64_t>(header_.frameSize));
}

bool Md2File::FrameFinite(int32_t frame) const {
    float st[6];  // scale, translate
    std::memcpy(st, bytes_.data() + static_cast<uint64_t>(header_.offsetFrames) +
                        static_cast<uint64_t>(header_.frameSize) * static_cast<uint64_t>(frame),
                sizeof st);
    // b * scale + translate rounds monotonically in b: its ends are b = 0 and 255.
    for (int k = 0; k < 3; ++k)
        if (!std::isfinite(st[3 + k]) || !std::isfinite(255.0f * st[k] + st[3 + k])) return false;
    return true;
}

std::string_view Md2File::FrameName(int32_t frame) const {
    const uint64_t at = static_cast<uint64_t>(header_.offsetFrames) +
                        static_cast<uint64_t>(header_.frameSize) * static_cast<uint64_t>(frame) + 24;
    ByteCursor cursor(bytes_);
    std::string_view name;
    cursor.Seek(at);
    cursor.ReadFixedString(16, name);
    return name;
}

void Md2File::WriteFrameMesh(int32_t frame, std::span<Md2Vertex> out) const {
    const Md2Header &h = header_;
    const uint8_t *base = bytes_.data();
    const uint8_t *frameBytes = base + static_cast<uint64_t>(h.offsetFrames) +
                                static_cast<uint64_t>(h.frameSize) * static_cast<uint64_t>(frame);
    float scale[3], translate[3];
    std::memcpy(scale, frameBytes, sizeof scale);
    std::memcpy(translate, frameBytes + 12, sizeof translate);
    const uint8_t *packed = frameBytes + kMd2FrameHeaderSize;
    const uint8_t *st = base + h.offsetTexCoords;
    const uint8_t *triangles = base + h.offsetTriangles;
    const float width = static_cast<float>(h.skinWidth);
    const float height = static_cast<float>(h.skinHeight);
    // Straight from the file's bytes: Open checked every index.
    size_t n = 0;
    for (int32_t t = 0; t < h.numTriangles; ++t) {
        Md2Triangle tri;
        std::memcpy(&tri, triangles + sizeof tri * static_cast<size_t>(t), sizeof tri);
        for (int k = 0; k < 3; ++k) {
            Md2Vertex &v = out[n++];
            const uint8_t *b = packed + 4 * static_cast<size_t>(tri.vertex[k]);
            v.position.x = static_cast<float>(b[0]) * scale[0] + translate[0];
            v.position.y = static_cast<float>(b[2]) * scale[2] + translate[2];
            v.position.z = -(static_cast<float>(b[1]) * scale[1] + translate[1]);
            int16_t coord[2];
            std::memcpy(coord, st + 4 * static_cast<size_t>(tri.st[k]), sizeof coord);
            v.u = static_cast<float>(coord[0]) / width;
            v.v = 1.0f - static_cast<float>(coord[1]) / height;
        }
    }
}

void SplitFrameName(std::string_view name, std::string_view &animation, int32_t &frameNumber) {
    animation = name;
    frameNumber = 0;
    if (name.size() < 2) return;
    for (size_t j = name.size() - 2; j < name.size(); ++j) {
        if (!IsDigit(name[j])) continue;
        for (size_t k = j; k < name.size() && IsDigit(name[k]); ++k) frameNumber = frameNumber * 10 + (name[k] - '0');
        animation = name.substr(0, j);
        return;
    }
}

std::vector<Md2AnimationRange> Md2AnimationRanges(std::span<const std::string_view> frameNames) {
    std::vector<Md2AnimationRange> ranges;
    std::string_view lastName;
    int32_t start = 0;
    const size_t count = frameNames.size();
    for (size_t i = 0; i < count; ++i) {
        std::string_view name;
        int32_t frameNumber = 0;
        SplitFrameName(frameNames[i], name, frameNumber);
        const int32_t index = static_cast<int32_t>(i);
        if (name != lastName || i == count - 1) {
            if (!lastName.empty()) ranges.push_back({start, index});
            start = frameNumber - 1 + index;
        }
        lastName = name;
    }
    return ranges;
}

float Md2FramePast(float &elapsed, float &lastTime, int32_t &currentFrame, int32_t nextFrame,
                   float framesPerSecond) {
    const uint32_t now = TickCount();
    double difference = static_cast<double>(now) - static_cast<double>(lastTime);
    // The tick count wraps every 2^32 ms; a clock that seems to run back by
    // more than half of that has wrapped, not stopped.
    if (difference < -2147483648.0) difference += 4294967296.0;
    elapsed = static_cast<float>(difference);
    // No frames per second is an endless period: the factor stays 0.
    const float period =
        framesPerSecond == 0.0f ? std::numeric_limits<float>::infinity() : 1000.0f / framesPerSecond;
    const float factor = elapsed / period;
    if (!(elapsed < period)) {
        currentFrame = nextFrame;
        lastTime = static_cast<float>(now);
    }
    return factor;
}

void InterpolateMd2Frame(float t, std::span<const Md2Vertex> from, std::span<const Md2Vertex> to,
                         std::span<Md2Vertex> out, BoundingBox &box) {
    box = {kBoxStart, kBoxStart, kBoxStart, -kBoxStart, -kBoxStart, -kBoxStart};
    for (size_t r = 0; r < out.size(); ++r) {
        // Both inputs are read before out[r] is written, so out may be either.
        const Vector3 a = from[r].position;
        Md2Vertex v = to[r];
        v.position.x = a.x + t * (v.position.x - a.x);
        v.position.y = a.y + t * (v.position.y - a.y);
        v.position.z = a.z + t * (v.position.z - a.z);
        out[r] = v;
        const Vector3 &p = v.position;
        if (p.x < box.minX) box.minX = p.x;
        if (p.y < box.minY) box.minY = p.y;
        if (p.z < box.minZ) box.minZ = p.z;
        if (p.x > box.maxX) box.maxX = p.x;
        if (p.y > box.maxY) box.maxY = p.y;
        if (p.z > box.maxZ) box.maxZ = p.z;
    }
}

namespace {

// The last MD2 file a call read, with its check's outcome: per-frame hosts ask
// for frame after frame of one file.
struct Md2Cache {
    KeptFile file;
    Md2File md2;
    Md2Status status = Md2Status::Corrupt;
};
Md2Cache g_md2;

// The frames a call uses must be finite: every frame for the ranges and the
// size query (so that its yes holds for each frame), else the one asked for.
bool UsedFramesFinite(const Md2File &file, int32_t frame) {
    if (frame != kMd2AllFrames) return frame < 0 || frame >= file.FrameCount() || file.FrameFinite(frame);
    for (int32_t f = 0; f < file.FrameCount(); ++f)
        if (!file.FrameFinite(f)) return false;
    return true;
}

}  // namespace

const Md2File *OpenMd2(const char *path, int32_t frame) {
    // A first call reads only the start of the file: the header, the shared
    // lumps and the first frames lie there in the files seen. Whatever lies
    // beyond it is read whole when a call needs it.
    bool fresh = false;
    for (uint64_t want : {kMd2FirstRead, UINT64_MAX}) {
        if (!g_md2.file.Get(path, fresh, want)) {
            ReportMessage("Error", "Unable to find the file: %s!", path);
            return nullptr;
        }
        if (fresh) g_md2.status = g_md2.md2.Open(g_md2.file.bytes(), g_md2.file.fileSize());
        if (g_md2.status == Md2Status::NeedMore) continue;
        if (g_md2.status != Md2Status::Ok) break;
        const bool held = frame == kMd2AllFrames ? g_md2.md2.HoldsAllFrames()
                          : frame < 0 || frame >= g_md2.md2.FrameCount() || g_md2.md2.HoldsFrame(frame);
        if (!held) continue;
        if (UsedFramesFinite(g_md2.md2, frame)) return &g_md2.md2;
        break;
    }
    switch (g_md2.status) {
        case Md2Status::Ok:
        case Md2Status::NeedMore:  // cannot stay so once the whole file is read
            break;
        case Md2Status::BadVersion:
            ReportMessage("Error", "Invalid file format (Version not 8): %s!", path);
            return nullptr;
        case Md2Status::Corrupt:
            break;
    }
    ReportMessage("Error", "Invalid file format (corrupt data): %s!", path);
    return nullptr;
}

std::vector<Md2AnimationRange> Md2FileAnimations(const Md2File &file) {
    std::vector<std::string_view> names(static_cast<size_t>(file.FrameCount()));
    for (size_t i = 0; i < names.size(); ++i) names[i] = file.FrameName(static_cast<int32_t>(i));
    return Md2AnimationRanges(names);
}

void DropMd2FileCache() {
    g_md2.file.Drop();
    g_md2.md2 = Md2File{};
}

}  // namespace vesk

VESK_API VeskBool VESK_CALL GetMD2_ANIMATIONS(const char *path, Md2AnimationRange *ranges, int32_t *count) {
    const vesk::Md2File *file = vesk::OpenMd2(path, vesk::kMd2AllFrames);
    if (!file) return 0;
    const std::vector<Md2AnimationRange> found = vesk::Md2FileAnimations(*file);
    if (!found.empty()) std::memcpy(ranges, found.data(), found.size() * sizeof(Md2AnimationRange));
    *count = static_cast<int32_t>(found.size());
    return 1;
}

VESK_API VeskBool VESK_CALL GetMD2_MESH(const char *path, int32_t frameIndex, Md2Vertex *vertices, int32_t *count) {
    const vesk::Md2File *file = vesk::OpenMd2(path, frameIndex);
    if (!file) return 0;
    if (frameIndex < 0 || frameIndex >= file->FrameCount()) return 0;
    const size_t corners = 3 * static_cast<size_t>(file->header().numTriangles);
    file->WriteFrameMesh(frameIndex, std::span<Md2Vertex>(vertices, corners));
    *count = static_cast<int32_t>(corners);
    return 1;
}

VESK_API float VESK_CALL GetMD2_FRAMPAST(float *elapsed, float *lastTime, int32_t *currentFrame,
                                         const int32_t *nextFrame, float framesPerSecond) {
    return vesk::Md2FramePast(*elapsed, *lastTime, *currentFrame, *nextFrame, framesPerSecond);
}

VESK_API VeskBool VESK_CALL GetMD2_InterpolatedFrame(float t, const Md2Vertex *from, const Md2Vertex *to,
                                                     Md2Vertex *out, int32_t count, BoundingBox *box) {
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    vesk::InterpolateMd2Frame(t, std::span<const Md2Vertex>(from, n), std::span<const Md2Vertex>(to, n),
                              std::span<Md2Vertex>(out, n), *box);
    return 1;
}
