// Helpers for the static model tests: 3DS files built chunk by chunk, a clean
// module model, and recording of the texture-coordinate service.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "loaders/static_model.h"
#include "support/test_support.h"

namespace vesk::test {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes &b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(Bytes &b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutF32(Bytes &b, float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    PutU32(b, u);
}
inline void PutStr(Bytes &b, std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

// A chunk: header (id, length of the whole), its own data, then nested chunks.
struct Chunk {
    uint16_t id = 0;
    Bytes data;
    std::vector<Chunk> kids;
    Chunk(uint16_t i, Bytes d = {}, std::vector<Chunk> k = {}) : id(i), data(std::move(d)), kids(std::move(k)) {}
    Bytes Serialise() const {
        Bytes body = data;
        for (const Chunk &k : kids) {
            const Bytes kb = k.Serialise();
            body.insert(body.end(), kb.begin(), kb.end());
        }
        Bytes out;
        PutU16(out, id);
        PutU32(out, static_cast<uint32_t>(body.size() + 6));
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
};

inline Bytes NameData(std::string_view s) {
    Bytes b;
    PutStr(b, s);
    return b;
}
inline Bytes VertexData(std::initializer_list<Vector3> vs) {
    Bytes b;
    PutU16(b, static_cast<uint16_t>(vs.size()));
    for (const Vector3 &v : vs) {
        PutF32(b, v.x);
        PutF32(b, v.y);
        PutF32(b, v.z);
    }
    return b;
}
inline Bytes FaceData(std::initializer_list<std::array<uint16_t, 3>> fs) {
    Bytes b;
    PutU16(b, static_cast<uint16_t>(fs.size()));
    for (const auto &f : fs) {
        for (uint16_t i : f) PutU16(b, i);
        PutU16(b, 7);  // flags
    }
    return b;
}
inline Bytes TexData(std::initializer_list<TexCoord> ts) {
    Bytes b;
    PutU16(b, static_cast<uint16_t>(ts.size()));
    for (const TexCoord &t : ts) {
        PutF32(b, t.u);
        PutF32(b, t.v);
    }
    return b;
}
inline Bytes ColourData(uint8_t r, uint8_t g, uint8_t bl) { return Bytes{r, g, bl}; }

// Material chunk: name, byte diffuse colour and (optionally) a texture map.
inline Chunk MaterialChunk(std::string_view name, std::string_view texture = {}, uint8_t r = 10, uint8_t g = 20,
                           uint8_t b = 30) {
    std::vector<Chunk> kids = {Chunk(0xA000, NameData(name)),
                               Chunk(0xA020, {}, {Chunk(0x0011, ColourData(r, g, b))})};
    if (!texture.empty()) kids.push_back(Chunk(0xA200, {}, {Chunk(0xA300, NameData(texture))}));
    return Chunk(0xAFFF, {}, kids);
}

// Named triangle-mesh object; faceKids are nested in the face list (0x4130 ...).
inline Chunk ObjectChunk(std::string_view name, Bytes vertices, Bytes faces, std::vector<Chunk> faceKids = {},
                         Bytes texCoords = {}) {
    std::vector<Chunk> mesh = {Chunk(0x4110, std::move(vertices))};
    if (!texCoords.empty()) mesh.push_back(Chunk(0x4140, std::move(texCoords)));
    mesh.push_back(Chunk(0x4120, std::move(faces), std::move(faceKids)));
    return Chunk(0x4000, NameData(name), {Chunk(0x4100, {}, mesh)});
}

// A whole file: primary, version, then an object-information block.
inline Bytes File3ds(std::vector<Chunk> editorKids, uint32_t version = 3) {
    Bytes v;
    PutU32(v, version);
    Bytes meshVersion;
    PutU32(meshVersion, 3);
    editorKids.insert(editorKids.begin(), Chunk(0x3D3E, meshVersion));
    return Chunk(0x4D4D, {}, {Chunk(0x0002, v), Chunk(0x3D3D, {}, std::move(editorKids))}).Serialise();
}

// Text already in text mode, through the loaders' raw-byte path: written with
// CR LF for every LF, it translates back to exactly this text.
inline std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}
inline bool ParseObj(std::string_view text, StaticModel &model) { return ParseObjBytes(WithCrLf(text), model); }
inline bool ParseAse(std::string_view text, StaticModel &model) { return ParseAseBytes(WithCrLf(text), model); }

// Records every texture coordinate the library sets while alive.
class TexCoordCapture {
public:
    TexCoordCapture() {
        Calls().clear();
        VeskSetTexCoordHandler(&Record);
    }
    ~TexCoordCapture() { VeskSetTexCoordHandler(nullptr); }
    TexCoordCapture(const TexCoordCapture &) = delete;
    TexCoordCapture &operator=(const TexCoordCapture &) = delete;
    const std::vector<TexCoord> &calls() const { return Calls(); }

private:
    static std::vector<TexCoord> &Calls() {
        static std::vector<TexCoord> all;
        return all;
    }
    static void VESK_CALL Record(float u, float v) { Calls().push_back({u, v}); }
};

// Tests that use the module-wide model start from an empty one.
class StaticModelTest : public ::testing::Test {
protected:
    void SetUp() override { TheStaticModel().Clear(); }
    void TearDown() override { TheStaticModel().Clear(); }
    StaticModel &model() { return TheStaticModel(); }
};

}  // namespace vesk::test
