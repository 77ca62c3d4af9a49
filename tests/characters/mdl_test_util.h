// Helpers for the MDL suites: a byte-level model builder for exact cases, a
// small walk of real files that shares nothing with the library, and a PNG
// writer for looking at poses.
#pragma once

#include <VeskMathLIB.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "characters/mdl_model.h"
#include "support/test_support.h"

namespace vesk::test::mdlb {

struct Bone {
    int32_t parent = -1;
    std::array<int32_t, 6> controller{-1, -1, -1, -1, -1, -1};
    std::array<float, 6> value{};
    std::array<float, 6> scale{1, 1, 1, 1, 1, 1};
};
struct Controller {
    int32_t type = 0x20;
    float start = -45, end = 45;
    int32_t number = 0;
};
// A run header of a value stream as its 16-bit entry: valid, then total.
inline int16_t RunHeader(int valid, int total) { return static_cast<int16_t>(valid | (total << 8)); }

struct Sequence {
    std::string name = "idle";
    int32_t flags = 0, activity = 0;
    float fps = 10;
    int32_t frames = 1;
    int32_t motionType = 0, motionBone = 0;
    int32_t blends = 1;
    int32_t group = 0;
    // streams[blend * boneCount + bone][k]: raw i16 entries of channel k (empty: not animated)
    std::vector<std::array<std::vector<int16_t>, 6>> streams;
};
struct Mesh {
    std::vector<int16_t> commands{0};
    int32_t skinReference = 0;
    int32_t normals = 0;
};
struct SubModel {
    std::vector<Vector3> vertices;
    std::vector<uint8_t> vertexBones;
    std::vector<Vector3> normals;
    std::vector<uint8_t> normalBones;
    std::vector<Mesh> meshes;
};
struct BodyPart {
    int32_t base = 1;
    std::vector<SubModel> models;
};
struct Texture {
    int32_t flags = 0, width = 64, height = 32;
    // Palette indices (empty: i % 251) and 256 RGB entries (empty: 3i, 3i+1, 3i+2).
    std::vector<uint8_t> pixels, palette;
};
struct ModelPlan {
    std::vector<Bone> bones{Bone{}};
    std::vector<Controller> controllers;
    std::vector<Sequence> sequences{Sequence{}};
    int32_t groupCount = 1;
    std::vector<Texture> textures{Texture{}};
    int32_t skinReferences = 1, families = 1;
    std::vector<int16_t> skins{0};
    std::vector<BodyPart> bodyParts;
    size_t trim = 0;  // bytes cut from the end of the main file (the last texture's palette and pixels)
};
struct Built {
    std::vector<uint8_t> main;
    std::vector<std::vector<uint8_t>> groups;  // file of group g at g - 1
};

class Writer {
public:
    std::vector<uint8_t> bytes;
    size_t Here() const { return bytes.size(); }
    template <class T>
    void Put(const T &v) {
        const auto *p = reinterpret_cast<const uint8_t *>(&v);
        bytes.insert(bytes.end(), p, p + sizeof(T));
    }
    template <class T>
    void At(size_t offset, const T &v) {
        std::memcpy(bytes.data() + offset, &v, sizeof(T));
    }
    void Pad(size_t n) { bytes.resize(bytes.size() + n); }
};

// Animation records of a sequence followed by their streams; offsets from each record.
inline void PutAnimation(Writer &w, const Sequence &s) {
    const size_t first = w.Here();
    w.Pad(12 * s.streams.size());
    for (size_t r = 0; r < s.streams.size(); ++r) {
        for (int k = 0; k < 6; ++k) {
            if (s.streams[r][k].empty()) continue;
            const size_t record = first + 12 * r;
            w.At(record + 2 * k, static_cast<uint16_t>(w.Here() - record));
            for (int16_t v : s.streams[r][k]) w.Put(v);
        }
    }
}

inline Built Build(const ModelPlan &plan) {
    Writer w;
    w.Pad(244);
    std::memcpy(w.bytes.data(), "IDST", 4);
    w.At<int32_t>(4, 10);
    auto header = [&](uint32_t offset, int32_t v) { w.At(offset, v); };

    header(140, static_cast<int32_t>(plan.bones.size()));
    header(144, static_cast<int32_t>(w.Here()));
    for (const Bone &b : plan.bones) {
        const size_t at = w.Here();
        w.Pad(112);
        w.At(at + 32, b.parent);
        w.At(at + 40, b.controller);
        w.At(at + 64, b.value);
        w.At(at + 88, b.scale);
    }
    header(148, static_cast<int32_t>(plan.controllers.size()));
    header(152, static_cast<int32_t>(w.Here()));
    for (const Controller &c : plan.controllers) {
        const size_t at = w.Here();
        w.Pad(24);
        w.At(at + 4, std::array<float, 3>{std::bit_cast<float>(c.type), c.start, c.end});
        w.At(at + 20, c.number);
    }
    header(172, plan.groupCount);
    header(176, static_cast<int32_t>(w.Here()));
    const size_t groups = w.Here();
    w.Pad(104 * static_cast<size_t>(plan.groupCount > 0 ? plan.groupCount : 0));
    if (plan.groupCount > 0) w.At<int32_t>(groups + 100, 0);  // group 0's data: offsets from the file start
    header(164, static_cast<int32_t>(plan.sequences.size()));
    header(168, static_cast<int32_t>(w.Here()));
    const size_t sequences = w.Here();
    w.Pad(176 * plan.sequences.size());
    Built built;
    built.groups.resize(static_cast<size_t>(plan.groupCount > 1 ? plan.groupCount - 1 : 0));
    for (size_t q = 0; q < plan.sequences.size(); ++q) {
        const Sequence &s = plan.sequences[q];
        const size_t at = sequences + 176 * q;
        std::memcpy(w.bytes.data() + at, s.name.data(), std::min<size_t>(s.name.size(), 32));
        w.At(at + 32, s.fps);
        w.At(at + 36, s.flags);
        w.At(at + 40, s.activity);
        w.At(at + 56, s.frames);
        w.At(at + 68, s.motionType);
        w.At(at + 72, s.motionBone);
        w.At(at + 120, s.blends);
        w.At(at + 156, s.group);
        if (s.group == 0) {
            w.At(at + 124, static_cast<int32_t>(w.Here()));
            PutAnimation(w, s);
        } else {
            Writer g;
            g.Pad(8);
            std::memcpy(g.bytes.data(), "IDSQ", 4);
            w.At(at + 124, static_cast<int32_t>(g.Here()));
            PutAnimation(g, s);
            if (static_cast<size_t>(s.group - 1) < built.groups.size()) built.groups[static_cast<size_t>(s.group - 1)] = g.bytes;
        }
    }
    header(180, static_cast<int32_t>(plan.textures.size()));
    header(184, static_cast<int32_t>(w.Here()));
    const size_t textureTable = w.Here();
    for (const Texture &t : plan.textures) {
        w.Pad(80);
        w.At(w.Here() - 16, std::array<int32_t, 3>{t.flags, t.width, t.height});
    }
    header(192, plan.skinReferences);
    header(196, plan.families);
    header(200, static_cast<int32_t>(w.Here()));
    for (int16_t s : plan.skins) w.Put(s);

    header(204, static_cast<int32_t>(plan.bodyParts.size()));
    header(208, static_cast<int32_t>(w.Here()));
    const size_t parts = w.Here();
    w.Pad(76 * plan.bodyParts.size());
    for (size_t b = 0; b < plan.bodyParts.size(); ++b) {
        const BodyPart &part = plan.bodyParts[b];
        w.At(parts + 76 * b + 64, static_cast<int32_t>(part.models.size()));
        w.At(parts + 76 * b + 68, part.base);
        w.At(parts + 76 * b + 72, static_cast<int32_t>(w.Here()));
        const size_t models = w.Here();
        w.Pad(112 * part.models.size());
        for (size_t i = 0; i < part.models.size(); ++i) {
            const SubModel &m = part.models[i];
            const size_t at = models + 112 * i;
            w.At(at + 80, static_cast<int32_t>(m.vertices.size()));
            w.At(at + 84, static_cast<int32_t>(w.Here()));
            for (uint8_t v : m.vertexBones) w.Put(v);
            w.At(at + 88, static_cast<int32_t>(w.Here()));
            for (const Vector3 &v : m.vertices) w.Put(v);
            w.At(at + 96, static_cast<int32_t>(w.Here()));
            for (uint8_t v : m.normalBones) w.Put(v);
            w.At(at + 100, static_cast<int32_t>(w.Here()));
            for (const Vector3 &v : m.normals) w.Put(v);
            w.At(at + 72, static_cast<int32_t>(m.meshes.size()));
            w.At(at + 76, static_cast<int32_t>(w.Here()));
            const size_t meshes = w.Here();
            w.Pad(20 * m.meshes.size());
            for (size_t k = 0; k < m.meshes.size(); ++k) {
                w.At(meshes + 20 * k + 4, static_cast<int32_t>(w.Here()));
                w.At(meshes + 20 * k + 8, m.meshes[k].skinReference);
                w.At(meshes + 20 * k + 12, m.meshes[k].normals);
                for (int16_t c : m.meshes[k].commands) w.Put(c);
            }
        }
    }
    for (size_t i = 0; i < plan.textures.size(); ++i) {
        const Texture &t = plan.textures[i];
        w.At(textureTable + 80 * i + 76, static_cast<int32_t>(w.Here()));
        const size_t n = static_cast<size_t>(std::max(0, t.width)) * static_cast<size_t>(std::max(0, t.height));
        for (size_t k = 0; k < n; ++k) w.Put(t.pixels.empty() ? static_cast<uint8_t>(k % 251) : t.pixels[k]);
        for (size_t k = 0; k < 768; ++k) w.Put(t.palette.empty() ? static_cast<uint8_t>(k) : t.palette[k]);
    }
    w.bytes.resize(w.bytes.size() - std::min(plan.trim, w.bytes.size()));
    built.main = std::move(w.bytes);
    return built;
}

// One body part, one model, one bone: the given vertices (one normal each)
// drawn by commands.
inline ModelPlan SimpleModel(std::vector<Vector3> vertices, std::vector<int16_t> commands) {
    ModelPlan plan;
    SubModel m;
    m.vertices = std::move(vertices);
    m.vertexBones.assign(m.vertices.size(), 0);
    m.normals.assign(m.vertices.size(), Vector3{0, 0, 1});
    m.normalBones.assign(m.vertices.size(), 0);
    Mesh mesh;
    mesh.commands = std::move(commands);
    mesh.normals = static_cast<int32_t>(m.vertices.size());
    m.meshes.push_back(mesh);
    plan.bodyParts.push_back(BodyPart{1, {m}});
    plan.sequences[0].streams.assign(plan.bones.size(), {});
    return plan;
}

// Writes the built files as dir/name.mdl, dir/name01.mdl ...
inline std::string WriteModel(const std::string &dir, const std::string &name, const Built &built) {
    auto put = [](const std::string &path, const std::vector<uint8_t> &bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    const std::string path = dir + "/" + name + ".mdl";
    put(path, built.main);
    for (size_t g = 0; g < built.groups.size(); ++g) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%02d", static_cast<int>(g + 1));
        put(dir + "/" + name + suffix + ".mdl", built.groups[g]);
    }
    return path;
}

}  // namespace vesk::test::mdlb

namespace vesk::test {

// Each test keeps only the slot numbers its own loads returned, so a test
// may start the table over: a whole suite in one process never fills it.
inline void ReuseMdlSlots() { MdlCount() = 0; }

// Minimal PNG (RGB, stored deflate blocks) for looking at rendered poses.
inline void WritePng(const std::string &path, int width, int height, const std::vector<uint8_t> &rgb) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + 3 * width * y, rgb.begin() + 3 * width * (y + 1));
    }
    auto crc = [](const uint8_t *p, size_t n, uint32_t c = 0xFFFFFFFFu) {
        for (size_t i = 0; i < n; ++i) {
            c ^= p[i];
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return c;
    };
    std::vector<uint8_t> z{0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (size_t pos = 0; pos < raw.size() || pos == 0; pos += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        z.push_back(pos + n >= raw.size() ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos), raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        if (pos + n >= raw.size()) break;
    }
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    const uint32_t adler = (b << 16) | a;
    for (int s = 24; s >= 0; s -= 8) z.push_back(static_cast<uint8_t>(adler >> s));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto be = [&](uint32_t v) {
        const char c[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        out.write(c, 4);
    };
    auto chunk = [&](const char *type, const std::vector<uint8_t> &data) {
        be(static_cast<uint32_t>(data.size()));
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.write(reinterpret_cast<const char *>(body.data()), static_cast<std::streamsize>(body.size()));
        be(~crc(body.data(), body.size()));
    };
    out.write("\x89PNG\r\n\x1a\n", 8);
    std::vector<uint8_t> ihdr(13);
    for (int i = 0; i < 4; ++i) {
        ihdr[static_cast<size_t>(i)] = static_cast<uint8_t>(width >> (24 - 8 * i));
        ihdr[static_cast<size_t>(4 + i)] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    ihdr[8] = 8;
    ihdr[9] = 2;
    chunk("IHDR", ihdr);
    chunk("IDAT", z);
    chunk("IEND", {});
}

}  // namespace vesk::test
