// MD2 vertex-animated models: validated reading, animation ranges from frame
// names, the frame clock and frame interpolation.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "loaders/static_model.h"

namespace vesk {

inline constexpr int32_t kMd2Version = 8;
inline constexpr size_t kMd2HeaderSize = 68;
inline constexpr size_t kMd2FrameHeaderSize = 40;  // scale, translate, 16-byte name

struct Md2Header {
    int32_t ident, version, skinWidth, skinHeight, frameSize;
    int32_t numSkins, numVertices, numTexCoords, numTriangles, numGlCommands, numFrames;
    int32_t offsetSkins, offsetTexCoords, offsetTriangles, offsetFrames, offsetGlCommands, offsetEnd;
};
static_assert(sizeof(Md2Header) == kMd2HeaderSize);

// NeedMore: the bytes given end before the lumps every call reads.
enum class Md2Status { Ok, BadVersion, Corrupt, NeedMore };

// What a first call reads of an MD2 file before it knows what it needs.
inline constexpr uint64_t kMd2FirstRead = 64 * 1024;
inline constexpr int32_t kMd2AllFrames = -1;

// An MD2 file in memory whose header, lumps and triangle indices have all been
// checked against the buffer, so the readers below cannot fail.
class Md2File {
public:
    // bytes may be the start of a file of fileSize bytes: the header and
    // every lump are checked against the whole file, and the shared lumps
    // must lie in bytes (NeedMore otherwise).
    Md2Status Open(std::span<const uint8_t> bytes, uint64_t fileSize);
    Md2Status Open(std::span<const uint8_t> bytes) { return Open(bytes, bytes.size()); }
    // Whether a frame, or every frame, lies in the bytes given to Open.
    bool HoldsFrame(int32_t frame) const;
    bool HoldsAllFrames() const;
    // Whether a held frame's scale and translation, and every position they
    // decompress to, are finite.
    bool FrameFinite(int32_t frame) const;

    const Md2Header &header() const { return header_; }
    int32_t FrameCount() const { return header_.numFrames; }
    // The frame's name up to its NUL (at most 16 bytes).
    std::string_view FrameName(int32_t frame) const;
    std::span<const uint8_t> bytes() const { return bytes_; }
    // The frame's 3 * triangle count corners: positions decompressed into the
    // Y-up frame, (x, z, -y) of the file's, and u = s / skinWidth,
    // v = 1 - t / skinHeight; the normal slots are left alone.
    void WriteFrameMesh(int32_t frame, std::span<Md2Vertex> out) const;

private:
    bool Holds(int64_t offset, int64_t count, uint64_t recordSize) const;
    std::span<const uint8_t> bytes_;
    Md2Header header_{};
};

// Reads (or reuses, when unchanged) path and checks it as the MD2 exports do,
// showing their message on failure; null then. The MD2 exports keep the
// last file they read: what this returns is valid until the next MD2 call.
// The file returned holds frame (every frame for kMd2AllFrames) when the
// file has it.
const Md2File *OpenMd2(const char *path, int32_t frame);

// The ranges GetMD2_ANIMATIONS writes for an opened file.
std::vector<Md2AnimationRange> Md2FileAnimations(const Md2File &file);

// Splits a frame name: a digit in one of the last two places starts the frame
// number, and the name is cut there ("run10" -> "run", 10; "pain101" ->
// "pain1", 1). Without one the number is 0 and the name stays whole.
void SplitFrameName(std::string_view name, std::string_view &animation, int32_t &frameNumber);

// One range per change of animation name; see the header for the rules.
std::vector<Md2AnimationRange> Md2AnimationRanges(std::span<const std::string_view> frameNames);

// The frame clock over the tick service; returns the interpolation factor.
float Md2FramePast(float &elapsed, float &lastTime, int32_t &currentFrame, int32_t nextFrame,
                   float framesPerSecond);

// out = to with positions blended from -> to; box bounds the blended positions.
// out may alias from or to.
void InterpolateMd2Frame(float t, std::span<const Md2Vertex> from, std::span<const Md2Vertex> to,
                         std::span<Md2Vertex> out, BoundingBox &box);

// Forgets the file the MD2 exports keep between calls (the next call reads anew).
void DropMd2FileCache();

}  // namespace vesk
