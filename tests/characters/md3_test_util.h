// Helpers for the MD3 suites: a byte-level MD3 writer for exact cases and a
// small reader of real files that shares nothing with the library's reader.
#pragma once

#include <VeskMathLIB.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vesk::test {

struct TagDef {
    std::string name;
    Vector3 origin{0, 0, 0};
    Vector3 axis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

struct SurfaceDef {
    std::string name = "s";
    int32_t frames = 1;
    int32_t vertexCount = 0;
    std::vector<std::array<int16_t, 3>> vertices;  // frames * vertexCount
    std::vector<std::array<float, 2>> texCoords;   // vertexCount
    std::vector<std::array<int32_t, 3>> triangles;
    int32_t shaders = 1;
    uint32_t padding = 0;  // bytes after the surface, inside its end offset
};

class ByteWriter {
public:
    template <class T>
    void Put(const T &v) {
        const auto *p = reinterpret_cast<const uint8_t *>(&v);
        bytes.insert(bytes.end(), p, p + sizeof(T));
    }
    void Fixed(const std::string &s, size_t size) {
        for (size_t i = 0; i < size; ++i) bytes.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    template <class T>
    void PutAt(size_t at, const T &v) {
        std::memcpy(bytes.data() + at, &v, sizeof(T));
    }
    std::vector<uint8_t> bytes;
};

// An MD3 file laid out header, frames, tags, surfaces. tags holds frames x tagCount.
inline std::vector<uint8_t> BuildMd3(int32_t frames, int32_t tagCount, const std::vector<TagDef> &tags,
                                     const std::vector<SurfaceDef> &surfaces) {
    ByteWriter w;
    w.Fixed("IDP3", 4);
    w.Put<int32_t>(15);
    w.Fixed("model", 68);
    w.Put<int32_t>(frames);
    w.Put<int32_t>(tagCount);
    w.Put<int32_t>(static_cast<int32_t>(surfaces.size()));
    // Section offsets that point nowhere useful: the reader must not need them.
    w.Put<int32_t>(0);
    w.Put<int32_t>(-1);
    w.Put<int32_t>(7);
    w.Put<int32_t>(9999);
    w.Put<int32_t>(0);
    w.Zeros(56 * static_cast<size_t>(frames));
    for (const auto &t : tags) {
        w.Fixed(t.name, 64);
        w.Put(t.origin);
        for (const auto &a : t.axis) w.Put(a);
    }
    for (const auto &s : surfaces) {
        const size_t start = w.bytes.size();
        const int32_t header = 108 + 68 * s.shaders;
        const int32_t tri = header;
        const int32_t st = tri + 12 * static_cast<int32_t>(s.triangles.size());
        const int32_t xyz = st + 8 * s.vertexCount;
        const int32_t end = xyz + 8 * static_cast<int32_t>(s.vertices.size()) + static_cast<int32_t>(s.padding);
        w.Fixed("IDP3", 4);
        w.Fixed(s.name, 64);
        w.Put<int32_t>(0);
        w.Put<int32_t>(s.frames);
        w.Put<int32_t>(s.shaders);
        w.Put<int32_t>(s.vertexCount);
        w.Put<int32_t>(static_cast<int32_t>(s.triangles.size()));
        w.Put<int32_t>(tri);
        w.Put<int32_t>(108);
        w.Put<int32_t>(st);
        w.Put<int32_t>(xyz);
        w.Put<int32_t>(end);
        w.Zeros(68 * static_cast<size_t>(s.shaders));
        for (const auto &t : s.triangles) w.Put(t);
        for (const auto &uv : s.texCoords) w.Put(uv);
        for (const auto &v : s.vertices) {
            w.Put(v);
            w.Put<int16_t>(0);
        }
        w.Zeros(s.padding);
        if (w.bytes.size() - start != static_cast<size_t>(end)) ADD_FAILURE() << "surface layout";
    }
    return w.bytes;
}

// A one-frame surface: vertex v at (v, 2v, 3v) * 64 raw units, one triangle per three vertices.
inline SurfaceDef SimpleSurface(const std::string &name, int32_t vertexCount, int32_t frames = 1) {
    SurfaceDef s;
    s.name = name;
    s.frames = frames;
    s.vertexCount = vertexCount;
    for (int32_t f = 0; f < frames; ++f)
        for (int32_t v = 0; v < vertexCount; ++v)
            s.vertices.push_back(
                {static_cast<int16_t>(64 * v + f), static_cast<int16_t>(128 * v), static_cast<int16_t>(192 * v)});
    for (int32_t v = 0; v < vertexCount; ++v) s.texCoords.push_back({0.5f * static_cast<float>(v), 0.25f});
    for (int32_t v = 0; v + 2 < vertexCount; v += 3) s.triangles.push_back({v, v + 1, v + 2});
    return s;
}

inline void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What an MD3 file's headers state, read independently of the library.
struct Md3Facts {
    int32_t frames = 0;
    std::vector<std::string> tagNames;
    std::vector<TagDef> tags;  // frames x tagNames.size(), frame-major
    int32_t triangles = 0;     // over every surface
    struct Surface {
        int32_t frames = 0, vertexCount = 0;
        std::vector<std::array<int32_t, 3>> triangles;
        std::vector<std::array<int16_t, 3>> vertices;
    };
    std::vector<Surface> surfaces;
};

inline Md3Facts ReadMd3Facts(const std::string &path) {
    const std::vector<uint8_t> d = ReadAll(path);
    Md3Facts f;
    auto i32 = [&](size_t at) {
        int32_t v;
        std::memcpy(&v, d.data() + at, 4);
        return v;
    };
    f.frames = i32(76);
    const int32_t tags = i32(80), surfaces = i32(84);
    const size_t tagStart = 108 + 56 * static_cast<size_t>(f.frames);
    for (int32_t t = 0; t < tags; ++t)
        f.tagNames.emplace_back(reinterpret_cast<const char *>(d.data() + tagStart + 112 * t));
    for (int32_t t = 0; t < f.frames * tags; ++t) {
        TagDef tag;
        const uint8_t *r = d.data() + tagStart + 112 * static_cast<size_t>(t);
        tag.name = reinterpret_cast<const char *>(r);
        std::memcpy(&tag.origin, r + 64, 12);
        std::memcpy(tag.axis, r + 76, 36);
        f.tags.push_back(tag);
    }
    size_t at = tagStart + 112 * static_cast<size_t>(f.frames) * static_cast<size_t>(tags);
    for (int32_t s = 0; s < surfaces; ++s) {
        Md3Facts::Surface surf;
        surf.frames = i32(at + 72);
        surf.vertexCount = i32(at + 80);
        const int32_t tri = i32(at + 84);
        for (int32_t k = 0; k < tri; ++k) {
            std::array<int32_t, 3> t;
            std::memcpy(t.data(), d.data() + at + i32(at + 88) + 12 * k, 12);
            surf.triangles.push_back(t);
        }
        for (int32_t k = 0; k < surf.frames * surf.vertexCount; ++k) {
            std::array<int16_t, 3> v;
            std::memcpy(v.data(), d.data() + at + i32(at + 100) + 8 * k, 6);
            surf.vertices.push_back(v);
        }
        f.triangles += tri;
        f.surfaces.push_back(std::move(surf));
        at += static_cast<size_t>(i32(at + 104));
    }
    return f;
}

}  // namespace vesk::test
