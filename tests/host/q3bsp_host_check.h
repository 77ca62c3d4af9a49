// Host-side helpers for a Q3 BSP level, shared by the host programs and the
// tests: spawn points from the entity text, a view at a spawn, and a digest of
// what the level exports report from the first spawn. The arithmetic is kept
// to exact values so that every build computes the same view.
#pragma once

#include <VeskMathLIB.h>

#include "host_dl.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vesk_host {

struct Spawn {
    Vector3 origin;    // host frame
    float yawDegrees;  // about the file's up axis
};

inline std::vector<uint8_t> ReadFileBytes(const char *path) {
    std::vector<uint8_t> bytes;
    if (FILE *f = std::fopen(path, "rb")) {
        uint8_t buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

// The value of "key" inside one entity block, or empty.
inline std::string EntityValue(const std::string &block, const char *key) {
    const std::string quoted = std::string("\"") + key + "\"";
    const size_t at = block.find(quoted);
    if (at == std::string::npos) return {};
    const size_t open = block.find('"', at + quoted.size());
    const size_t close = open == std::string::npos ? open : block.find('"', open + 1);
    if (close == std::string::npos) return {};
    return block.substr(open + 1, close - open - 1);
}

// Every info_player_deathmatch of the file's entity lump, in file order.
inline std::vector<Spawn> DeathmatchSpawns(const std::vector<uint8_t> &file) {
    std::vector<Spawn> spawns;
    if (file.size() < 16) return spawns;
    int32_t offset = 0, length = 0;
    std::memcpy(&offset, file.data() + 8, 4);
    std::memcpy(&length, file.data() + 12, 4);
    if (offset < 0 || length < 0 || static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) > file.size())
        return spawns;
    const std::string text(reinterpret_cast<const char *>(file.data()) + offset, static_cast<size_t>(length));
    for (size_t begin = text.find('{'); begin != std::string::npos; begin = text.find('{', begin + 1)) {
        const size_t end = text.find('}', begin);
        if (end == std::string::npos) break;
        const std::string block = text.substr(begin, end - begin);
        if (EntityValue(block, "classname") != "info_player_deathmatch") continue;
        float x = 0, y = 0, z = 0;
        if (std::sscanf(EntityValue(block, "origin").c_str(), "%f %f %f", &x, &y, &z) != 3) continue;
        const std::string angle = EntityValue(block, "angle");
        spawns.push_back({{x, z, -y}, angle.empty() ? 0.0f : static_cast<float>(std::atof(angle.c_str()))});
    }
    return spawns;
}

// Perspective projection with a 90-degree vertical field of view and a square
// aspect: every entry is exact.
inline Matrix4 Perspective90(float nearZ, float farZ) {
    Matrix4 p{};
    p.m[0] = 1.0f;
    p.m[5] = 1.0f;
    p.m[10] = (farZ + nearZ) / (nearZ - farZ);
    p.m[11] = -1.0f;
    p.m[14] = 2.0f * farZ * nearZ / (nearZ - farZ);
    return p;
}

// Modelview of an eye at `eye` (host frame, Y up) looking level along the
// file's yaw angle. Directions round away the last bits of the sine and
// cosine so that right angles come out exact.
inline Matrix4 LookAlongYaw(const Vector3 &eye, float yawDegrees) {
    const double a = yawDegrees * 3.14159265358979323846 / 180.0;
    auto snap = [](double v) { return static_cast<float>(std::round(v * 65536.0) / 65536.0); };
    const Vector3 f{snap(std::cos(a)), 0.0f, snap(-std::sin(a))};  // (cos, sin, 0) of the file, in the host frame
    const Vector3 s{-f.z, 0.0f, f.x};                              // f x up
    const Vector3 u{0.0f, 1.0f, 0.0f};
    Matrix4 m{};
    m.m[0] = s.x, m.m[4] = s.y, m.m[8] = s.z;
    m.m[1] = u.x, m.m[5] = u.y, m.m[9] = u.z;
    m.m[2] = -f.x, m.m[6] = -f.y, m.m[10] = -f.z;
    m.m[12] = -(s.x * eye.x + s.y * eye.y + s.z * eye.z);
    m.m[13] = -(u.x * eye.x + u.y * eye.y + u.z * eye.z);
    m.m[14] = f.x * eye.x + f.y * eye.y + f.z * eye.z;
    m.m[15] = 1.0f;
    return m;
}

struct LevelExports {
    VeskBool(VESK_CALL *counts)(const char *, int32_t *);
    VeskBool(VESK_CALL *info)(const char *, Q3BspVertex *, Q3BspFace *, Q3BspLeaf *, int32_t *, Q3BspNode *,
                              Q3BspPlane *, uint8_t *);
    void(VESK_CALL *process2)(const Vector3 *, const Frustum *, const VeskHostCallback *);
    void(VESK_CALL *calculateFrustum)(Frustum *, const Matrix4 *, const Matrix4 *);
};

inline std::vector<intptr_t> &DigestFaces() {
    static std::vector<intptr_t> faces;
    return faces;
}
inline void VESK_CALL CollectDigestFace(intptr_t face) { DigestFaces().push_back(face); }

inline void Fnv1a(uint64_t &hash, const void *data, size_t size) {
    const auto *p = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ p[i]) * 0x100000001b3ull;
}

inline uint64_t DigestOf(const int32_t counts[7], const std::vector<intptr_t> &faces) {
    uint64_t hash = 0xcbf29ce484222325ull;
    Fnv1a(hash, counts, 7 * sizeof(int32_t));
    for (intptr_t face : faces) {
        const int32_t f = static_cast<int32_t>(face);
        Fnv1a(hash, &f, sizeof f);
    }
    return hash;
}

// Loads the level by the exports and reports, from the first deathmatch
// spawn looking along its angle: the counts, the faces GetQ3BSP_Process2
// reports in order, and their digest. False when any step fails.
inline bool LevelDigest(const LevelExports &lib, const char *path, int32_t counts[7], std::vector<intptr_t> &faces,
                        uint64_t &digest) {
    if (!lib.counts || !lib.info || !lib.process2 || !lib.calculateFrustum) return false;
    if (!lib.counts(path, counts)) return false;
    std::vector<Q3BspVertex> vertices(static_cast<size_t>(counts[0]));
    std::vector<Q3BspFace> faceRecords(static_cast<size_t>(counts[1]));
    std::vector<Q3BspLeaf> leaves(static_cast<size_t>(counts[2]));
    std::vector<int32_t> leafFaces(static_cast<size_t>(counts[3]));
    std::vector<Q3BspNode> nodes(static_cast<size_t>(counts[4]));
    std::vector<Q3BspPlane> planes(static_cast<size_t>(counts[5]));
    std::vector<uint8_t> rows(static_cast<size_t>(counts[6]) + 1);
    if (!lib.info(path, vertices.data(), faceRecords.data(), leaves.data(), leafFaces.data(), nodes.data(),
                  planes.data(), rows.data()))
        return false;
    const std::vector<Spawn> spawns = DeathmatchSpawns(ReadFileBytes(path));
    if (spawns.empty()) return false;
    const Matrix4 modelview = LookAlongYaw(spawns[0].origin, spawns[0].yawDegrees);
    const Matrix4 projection = Perspective90(4.0f, 8192.0f);
    Frustum frustum;
    lib.calculateFrustum(&frustum, &modelview, &projection);
    static const VeskHostCallback cell = &CollectDigestFace;
    DigestFaces().clear();
    lib.process2(&spawns[0].origin, &frustum, &cell);
    faces = DigestFaces();
    digest = DigestOf(counts, faces);
    return true;
}

template <class Module>
LevelExports ResolveLevelExports(Module lib) {
    LevelExports e{};
    e.counts = VeskResolve<decltype(e.counts)>(lib, "VeskGetQ3BSP_Counts");
    e.info = VeskResolve<decltype(e.info)>(lib, "GetQ3BSP_INFO");
    e.process2 = VeskResolve<decltype(e.process2)>(lib, "GetQ3BSP_Process2");
    e.calculateFrustum = VeskResolve<decltype(e.calculateFrustum)>(lib, "CalculateFrustum");
    return e;
}

// The line both host programs print; the Windows check compares them.
inline void PrintDigestLine(const int32_t counts[7], const std::vector<intptr_t> &faces, uint64_t digest) {
    std::printf("q3bsp counts %d %d %d %d %d %d %d faces %u digest %016llx\n", counts[0], counts[1], counts[2],
                counts[3], counts[4], counts[5], counts[6], static_cast<unsigned>(faces.size()),
                static_cast<unsigned long long>(digest));
}

}  // namespace vesk_host
