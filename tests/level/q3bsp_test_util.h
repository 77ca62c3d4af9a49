// Helpers for the Q3 BSP suites: a byte-level map builder, an independent
// reader of the stored lumps, and callback capture.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vesk::test {

// Records as stored in the file (Z-up), written field by field.
struct RawPlane {
    float n[3];
    float d;
};
struct RawNode {
    int32_t plane, front, back, mins[3], maxs[3];
};
struct RawLeaf {
    int32_t cluster, area, mins[3], maxs[3], firstFace, faceCount, firstBrush, brushCount;
};
struct RawVertex {
    float pos[3], tex[2], light[2], normal[3];
    uint8_t colour[4];
};
struct RawFace {
    int32_t fields[26];  // texture, effect, type, first vertex, vertex count, ...
    int32_t &type() { return fields[2]; }
    int32_t &firstVertex() { return fields[3]; }
    int32_t &vertexCount() { return fields[4]; }
    int32_t &firstMeshVertex() { return fields[5]; }
    int32_t &meshVertexCount() { return fields[6]; }
    int32_t &lightmap() { return fields[7]; }
    int32_t *patchSize() { return &fields[24]; }
};
struct RawTexture {
    char name[64];
    int32_t flags, contents;
};
static_assert(sizeof(RawPlane) == 16 && sizeof(RawNode) == 36 && sizeof(RawLeaf) == 48 && sizeof(RawVertex) == 44 &&
              sizeof(RawFace) == 104 &&
              sizeof(RawTexture) == 72);

template <class T>
void Append(std::vector<uint8_t> &out, const T &value) {
    const auto *p = reinterpret_cast<const uint8_t *>(&value);
    out.insert(out.end(), p, p + sizeof(T));
}

// Builds a map file byte by byte; lumps follow the header in lump order.
struct MapBuilder {
    std::string entities;
    std::vector<RawPlane> planes;
    std::vector<RawNode> nodes;
    std::vector<RawLeaf> leaves;
    std::vector<int32_t> leafFaces;
    std::vector<RawVertex> vertices;
    std::vector<RawFace> faces;
    std::vector<RawTexture> textures = {{"textures/base/floor", 1, 2}};
    std::vector<int32_t> meshVertices;
    std::vector<uint8_t> lightmaps;  // 128 x 128 x 3 bytes each
    bool hasVisibility = false;
    int32_t clusterCount = 0, bytesPerCluster = 0;
    std::vector<uint8_t> rows;
    int32_t extraBytes[17] = {};  // appended to a lump's stored length (remainders)
    char magic[5] = "IBSP";
    int32_t version = 46;

    // Sets bit (to) of row (from).
    void See(int32_t from, int32_t to) { rows[static_cast<size_t>(from * bytesPerCluster + to / 8)] |= uint8_t(1u << (to & 7)); }
    void Visibility(int32_t clusters, int32_t rowBytes) {
        hasVisibility = true;
        clusterCount = clusters;
        bytesPerCluster = rowBytes;
        rows.assign(static_cast<size_t>(clusters * rowBytes), 0);
    }
    int32_t AddFace(int32_t type, int32_t vertexCount = 0) {
        RawFace f{};
        f.type() = type;
        f.firstVertex() = static_cast<int32_t>(vertices.size());
        f.vertexCount() = vertexCount;
        for (int32_t i = 0; i < vertexCount; ++i) vertices.push_back(RawVertex{});
        for (int k = 5; k < 26; ++k) f.fields[k] = static_cast<int32_t>(faces.size() * 100 + k);  // recognisable
        // What a drawing host follows stays valid: a fan over polygons and
        // meshes, a 3 x 3 patch over nine vertices, no lightmap.
        f.lightmap() = -1;
        f.firstMeshVertex() = static_cast<int32_t>(meshVertices.size());
        f.meshVertexCount() = 0;
        if (type == 1 || type == 3)
            for (int32_t k = 1; k + 1 < vertexCount; ++k, f.meshVertexCount() += 3) meshVertices.insert(meshVertices.end(), {0, k, k + 1});
        if (type == 2) f.patchSize()[0] = f.patchSize()[1] = 3;
        faces.push_back(f);
        return static_cast<int32_t>(faces.size()) - 1;
    }
    // A leaf whose faces are listed in the given order.
    int32_t AddLeaf(int32_t cluster, std::vector<int32_t> faceList, RawLeaf box = {0, 0, {-1000, -1000, -1000}, {1000, 1000, 1000}, 0, 0, 0, 0}) {
        RawLeaf l = box;
        l.cluster = cluster;
        l.firstFace = static_cast<int32_t>(leafFaces.size());
        l.faceCount = static_cast<int32_t>(faceList.size());
        leafFaces.insert(leafFaces.end(), faceList.begin(), faceList.end());
        leaves.push_back(l);
        return static_cast<int32_t>(leaves.size()) - 1;
    }

    std::vector<uint8_t> Build() const {
        std::vector<std::vector<uint8_t>> lumps(17);
        lumps[0].assign(entities.begin(), entities.end());
        for (const auto &t : textures) Append(lumps[1], t);
        for (int32_t m : meshVertices) Append(lumps[11], m);
        lumps[14] = lightmaps;
        for (const auto &p : planes) Append(lumps[2], p);
        for (const auto &n : nodes) Append(lumps[3], n);
        for (const auto &l : leaves) Append(lumps[4], l);
        for (int32_t f : leafFaces) Append(lumps[5], f);
        for (const auto &v : vertices) Append(lumps[10], v);
        for (const auto &f : faces) Append(lumps[13], f);
        if (hasVisibility) {
            Append(lumps[16], clusterCount);
            Append(lumps[16], bytesPerCluster);
            lumps[16].insert(lumps[16].end(), rows.begin(), rows.end());
        }
        std::vector<uint8_t> out(8 + 17 * 8, 0);
        std::memcpy(out.data(), magic, 4);
        std::memcpy(out.data() + 4, &version, 4);
        for (int k = 0; k < 17; ++k) {
            lumps[static_cast<size_t>(k)].resize(lumps[static_cast<size_t>(k)].size() + static_cast<size_t>(extraBytes[k]), 0xEE);
            const int32_t offset = static_cast<int32_t>(out.size());
            const int32_t length = static_cast<int32_t>(lumps[static_cast<size_t>(k)].size());
            std::memcpy(out.data() + 8 + 8 * k, &offset, 4);
            std::memcpy(out.data() + 12 + 8 * k, &length, 4);
            out.insert(out.end(), lumps[static_cast<size_t>(k)].begin(), lumps[static_cast<size_t>(k)].end());
        }
        return out;
    }
};

// The stored lumps of a real file, read independently of the library.
struct StoredMap {
    std::vector<uint8_t> bytes;
    int32_t offset[17] = {}, length[17] = {};
    std::vector<RawPlane> planes;
    std::vector<RawNode> nodes;
    std::vector<RawLeaf> leaves;
    std::vector<int32_t> leafFaces;
    std::vector<RawVertex> vertices;
    std::vector<RawFace> faces;
    int32_t clusterCount = 0, bytesPerCluster = 0;
    std::vector<uint8_t> rows;

    template <class T>
    void Table(int lump, std::vector<T> &out) {
        out.resize(static_cast<size_t>(length[lump]) / sizeof(T));
        if (!out.empty()) std::memcpy(out.data(), bytes.data() + offset[lump], out.size() * sizeof(T));
    }
    explicit StoredMap(std::vector<uint8_t> file) : bytes(std::move(file)) {
        for (int k = 0; k < 17; ++k) {
            std::memcpy(&offset[k], bytes.data() + 8 + 8 * k, 4);
            std::memcpy(&length[k], bytes.data() + 12 + 8 * k, 4);
        }
        Table(2, planes);
        Table(3, nodes);
        Table(4, leaves);
        Table(5, leafFaces);
        Table(10, vertices);
        Table(13, faces);
        if (length[16] >= 8) {
            std::memcpy(&clusterCount, bytes.data() + offset[16], 4);
            std::memcpy(&bytesPerCluster, bytes.data() + offset[16] + 4, 4);
            rows.assign(bytes.begin() + offset[16] + 8, bytes.begin() + offset[16] + 8 + clusterCount * bytesPerCluster);
        }
    }
};

// GetQ3BSP_INFO into host arrays of exactly counts[k] records each, followed
// by a tail of `slack` bytes of `fill`; FirstTouchedTail names the first array whose tail changed (-1: none).
inline constexpr size_t kQ3RecordSizes[7] = {44, 104, 48, 4, 36, 16, 1};
using Q3Arrays = std::vector<std::vector<uint8_t>>;
inline bool InfoIntoArrays(const std::string &path, const int32_t *counts, size_t slack, uint8_t fill, Q3Arrays &a) {
    a.clear();
    for (int k = 0; k < 7; ++k) a.emplace_back(static_cast<size_t>(counts[k]) * kQ3RecordSizes[k] + slack, fill);
    return GetQ3BSP_INFO(path.c_str(), reinterpret_cast<Q3BspVertex *>(a[0].data()), reinterpret_cast<Q3BspFace *>(a[1].data()),
                         reinterpret_cast<Q3BspLeaf *>(a[2].data()), reinterpret_cast<int32_t *>(a[3].data()),
                         reinterpret_cast<Q3BspNode *>(a[4].data()), reinterpret_cast<Q3BspPlane *>(a[5].data()),
                         a[6].data()) != 0;
}
inline int FirstTouchedTail(const Q3Arrays &a, const int32_t *counts, uint8_t fill) {
    for (size_t k = 0; k < 7; ++k)
        for (size_t i = static_cast<size_t>(counts[k]) * kQ3RecordSizes[k]; i < a[k].size(); ++i)
            if (a[k][i] != fill) return static_cast<int>(k);
    return -1;
}

// The callback the level exports call, recording every argument in order.
inline std::vector<intptr_t> &Reported() {
    static std::vector<intptr_t> all;
    return all;
}
inline void VESK_CALL Record(intptr_t argument) { Reported().push_back(argument); }
inline const VeskHostCallback kRecordCell = &Record;

// Every point passes every plane: a frustum that culls nothing.
inline Frustum OpenFrustum() {
    Frustum f{};
    for (Plane &p : f.plane) p = {0.0f, 0.0f, 0.0f, 1.0f};
    return f;
}

}  // namespace vesk::test
