#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "io/byte_cursor.h"
#include "level/q3bsp.h"
#include "math/finite_floats.h"

static_assert(sizeof(Q3BspPlane) == 16 && offsetof(Q3BspPlane, distance) == 12);
static_assert(sizeof(Q3BspNode) == 36 && offsetof(Q3BspNode, front) == 4 && offsetof(Q3BspNode, back) == 8 &&
              offsetof(Q3BspNode, mins) == 12 && offsetof(Q3BspNode, maxs) == 24);
static_assert(sizeof(Q3BspLeaf) == 48 && offsetof(Q3BspLeaf, area) == 4 && offsetof(Q3BspLeaf, mins) == 8 &&
              offsetof(Q3BspLeaf, maxs) == 20 && offsetof(Q3BspLeaf, firstLeafFace) == 32 &&
              offsetof(Q3BspLeaf, leafFaceCount) == 36 && offsetof(Q3BspLeaf, firstLeafBrush) == 40 &&
              offsetof(Q3BspLeaf, leafBrushCount) == 44);
static_assert(sizeof(Q3BspVertex) == 44 && offsetof(Q3BspVertex, texCoord) == 12 &&
              offsetof(Q3BspVertex, lightmapCoord) == 20 && offsetof(Q3BspVertex, normal) == 28 &&
              offsetof(Q3BspVertex, colour) == 40);
static_assert(sizeof(Q3BspFace) == 104 && offsetof(Q3BspFace, effect) == 4 && offsetof(Q3BspFace, type) == 8 &&
              offsetof(Q3BspFace, firstVertex) == 12 && offsetof(Q3BspFace, vertexCount) == 16 &&
              offsetof(Q3BspFace, firstMeshVertex) == 20 && offsetof(Q3BspFace, meshVertexCount) == 24 &&
              offsetof(Q3BspFace, lightmap) == 28 && offsetof(Q3BspFace, lightmapCorner) == 32 &&
              offsetof(Q3BspFace, lightmapSize) == 40 && offsetof(Q3BspFace, lightmapOrigin) == 48 &&
              offsetof(Q3BspFace, lightmapVectors) == 60 && offsetof(Q3BspFace, normal) == 84 &&
              offsetof(Q3BspFace, patchSize) == 96);
static_assert(sizeof(VeskQ3BspTexture) == 72 && offsetof(VeskQ3BspTexture, surfaceFlags) == 64 &&
              offsetof(VeskQ3BspTexture, contents) == 68 && std::is_standard_layout_v<VeskQ3BspTexture>);
static_assert(std::is_standard_layout_v<Q3BspFace> && std::is_standard_layout_v<Q3BspLeaf> &&
              std::is_standard_layout_v<Q3BspNode> && std::is_standard_layout_v<Q3BspVertex> &&
              std::is_standard_layout_v<Q3BspPlane>);

namespace vesk {
namespace {

struct LumpEntry {
    int32_t offset, length;
};

template <class T>
void ReadTable(std::span<const uint8_t> bytes, const Q3BspLayout::Table &table, std::vector<T> &out) {
    out.resize(static_cast<size_t>(table.count));
    if (table.count > 0)
        std::memcpy(out.data(), bytes.data() + table.offset, out.size() * sizeof(T));
}

// The y of a stored integer corner becomes -y; the one value without a
// negative keeps its sign's meaning by saturating.
int32_t NegateSaturated(int32_t v) { return v == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max() : -v; }

// True when some descent through the node children could go round forever.
bool HasNodeCycle(const std::vector<Q3BspNode> &nodes) {
    const size_t n = nodes.size();
    std::vector<int32_t> parents(n, 0);
    for (const Q3BspNode &node : nodes)
        for (int32_t child : {node.front, node.back})
            if (child >= 0) ++parents[static_cast<size_t>(child)];
    // Peel off nodes that no remaining node points at; a cycle never peels.
    std::vector<int32_t> ready;
    for (size_t i = 0; i < n; ++i)
        if (parents[i] == 0) ready.push_back(static_cast<int32_t>(i));
    size_t peeled = 0;
    while (!ready.empty()) {
        const Q3BspNode &node = nodes[static_cast<size_t>(ready.back())];
        ready.pop_back();
        ++peeled;
        for (int32_t child : {node.front, node.back})
            if (child >= 0 && --parents[static_cast<size_t>(child)] == 0) ready.push_back(child);
    }
    return peeled != n;
}

// What a host needs to draw the face lies inside the level's tables.
bool FaceIsDrawable(const Q3BspFace &f, const Q3BspLayout &l, const std::vector<int32_t> &meshVertices) {
    if (f.firstVertex < 0 || f.vertexCount < 0 || int64_t{f.firstVertex} + f.vertexCount > l.vertices.count)
        return false;
    if (f.texture < 0 || f.texture >= l.textures.count) return false;
    // Negative lightmaps mean none: maps store -1, and -3 for vertex light.
    if (f.lightmap >= l.lightmaps.count) return false;
    if (f.type == 1 || f.type == 3) {
        if (f.firstMeshVertex < 0 || f.meshVertexCount < 0 ||
            int64_t{f.firstMeshVertex} + f.meshVertexCount > l.meshVertices.count)
            return false;
        const auto first = meshVertices.begin() + f.firstMeshVertex;
        return std::all_of(first, first + f.meshVertexCount,
                           [&](int32_t offset) { return offset >= 0 && offset < f.vertexCount; });
    }
    if (f.type == 2) {
        const int32_t w = f.patchSize[0], h = f.patchSize[1];
        return w >= 3 && h >= 3 && w % 2 == 1 && h % 2 == 1 && int64_t{w} * h <= f.vertexCount;
    }
    return true;
}

// Whether kFloats floats from byte first of every record of table are finite:
// the host and the visibility and sphere tests take them as they are.
template <size_t kFloats, class T>
bool FloatsFinite(std::span<const uint8_t> bytes, const Q3BspLayout::Table &table, size_t first) {
    return RecordFloatsFinite<kFloats>(bytes.data() + table.offset, static_cast<size_t>(table.count), sizeof(T), first);
}

}  // namespace

std::array<int32_t, VESK_Q3BSP_COUNT_SLOTS> Q3BspLayout::Counts() const {
    return {vertices.count, faces.count,  leaves.count, leafFaces.count,
            nodes.count,    planes.count, clusterCount * bytesPerCluster};
}

Q3BspStatus CheckQ3Bsp(std::span<const uint8_t> bytes, Q3BspLayout &layout) {
    const ByteCursor cursor(bytes);
    char magic[4] = {};
    int32_t version = 0;
    if (!cursor.ReadAt(0, magic) || !cursor.ReadAt(4, version)) return Q3BspStatus::Corrupt;
    if (std::memcmp(magic, "IBSP", 4) != 0 || (version != 46 && version != 47)) return Q3BspStatus::Corrupt;
    LumpEntry lumps[kQ3BspLumpCount];
    if (!cursor.ReadAt(8, lumps)) return Q3BspStatus::Corrupt;
    for (const LumpEntry &lump : lumps)
        if (!cursor.HoldsRecords(lump.offset, lump.length, 1)) return Q3BspStatus::Corrupt;
    Q3BspLayout l;
    auto table = [&](int lump, int32_t recordSize) {
        return Q3BspLayout::Table{static_cast<uint64_t>(lumps[lump].offset), lumps[lump].length / recordSize};
    };
    l.vertices = table(kLumpVertices, sizeof(Q3BspVertex));
    l.faces = table(kLumpFaces, sizeof(Q3BspFace));
    l.leaves = table(kLumpLeaves, sizeof(Q3BspLeaf));
    l.leafFaces = table(kLumpLeafFaces, sizeof(int32_t));
    l.nodes = table(kLumpNodes, sizeof(Q3BspNode));
    l.planes = table(kLumpPlanes, sizeof(Q3BspPlane));
    l.meshVertices = table(kLumpMeshVertices, sizeof(int32_t));
    l.textures = table(kLumpTextures, sizeof(VeskQ3BspTexture));
    l.lightmaps = table(kLumpLightmaps, kQ3BspLightmapBytes);
    if (l.nodes.count < 1 || l.leaves.count < 1) return Q3BspStatus::Corrupt;

    const LumpEntry vis = lumps[kLumpVisibility];
    if (vis.length != 0) {
        int32_t header[2] = {};
        if (vis.length < 8 || !cursor.ReadAt(static_cast<uint64_t>(vis.offset), header)) return Q3BspStatus::Corrupt;
        const int64_t clusters = header[0], rowBytes = header[1];
        if (clusters < 0 || rowBytes < (clusters + 7) / 8) return Q3BspStatus::Corrupt;
        if (clusters * rowBytes > int64_t{vis.length} - 8) return Q3BspStatus::Corrupt;
        l.clusterCount = header[0];
        l.bytesPerCluster = header[1];
        l.visRowsOffset = static_cast<uint64_t>(vis.offset) + 8;
    }

    std::vector<Q3BspNode> nodes;
    ReadTable(bytes, l.nodes, nodes);
    for (const Q3BspNode &node : nodes) {
        if (node.plane < 0 || node.plane >= l.planes.count) return Q3BspStatus::Corrupt;
        for (int32_t child : {node.front, node.back}) {
            if (child >= 0 ? child >= l.nodes.count : ~child >= l.leaves.count) return Q3BspStatus::Corrupt;
        }
    }
    if (HasNodeCycle(nodes)) return Q3BspStatus::Corrupt;

    for (int32_t i = 0; i < l.leaves.count; ++i) {
        Q3BspLeaf leaf{};
        cursor.ReadAt(l.leaves.offset + uint64_t{sizeof leaf} * static_cast<uint64_t>(i), leaf);
        if (leaf.firstLeafFace < 0 || leaf.leafFaceCount < 0 ||
            int64_t{leaf.firstLeafFace} + leaf.leafFaceCount > l.leafFaces.count)
            return Q3BspStatus::Corrupt;
        // Without visibility data the clusters are never looked up.
        if (vis.length != 0 && leaf.cluster >= l.clusterCount) return Q3BspStatus::Corrupt;
    }
    for (int32_t i = 0; i < l.leafFaces.count; ++i) {
        int32_t face = 0;
        cursor.ReadAt(l.leafFaces.offset + 4 * static_cast<uint64_t>(i), face);
        if (face < 0 || face >= l.faces.count) return Q3BspStatus::Corrupt;
    }
    std::vector<int32_t> meshVertices;
    ReadTable(bytes, l.meshVertices, meshVertices);
    for (int32_t i = 0; i < l.faces.count; ++i) {
        Q3BspFace face{};
        cursor.ReadAt(l.faces.offset + uint64_t{sizeof face} * static_cast<uint64_t>(i), face);
        if (!FaceIsDrawable(face, l, meshVertices)) return Q3BspStatus::Corrupt;
    }
    // Vertices: position, texture and lightmap coordinates, normal. Faces:
    // lightmap origin and vectors, normal. Planes: normal and distance.
    if (!FloatsFinite<10, Q3BspVertex>(bytes, l.vertices, 0) ||
        !FloatsFinite<12, Q3BspFace>(bytes, l.faces, offsetof(Q3BspFace, lightmapOrigin)) ||
        !FloatsFinite<4, Q3BspPlane>(bytes, l.planes, 0))
        return Q3BspStatus::Corrupt;
    layout = l;
    return Q3BspStatus::Ok;
}

void BuildQ3BspLevel(std::span<const uint8_t> bytes, const Q3BspLayout &layout, Q3BspLevel &level) {
    ReadTable(bytes, layout.vertices, level.vertices);
    for (Q3BspVertex &v : level.vertices) {
        v.position = ToHostFrame(v.position);
        v.texCoord[1] *= -1.0f;
    }
    ReadTable(bytes, layout.faces, level.faces);
    ReadTable(bytes, layout.nodes, level.nodes);
    ReadTable(bytes, layout.leaves, level.leaves);
    for (Q3BspLeaf &leaf : level.leaves) {
        for (int32_t *corner : {leaf.mins, leaf.maxs}) {
            const int32_t y = corner[1];
            corner[1] = corner[2];
            corner[2] = NegateSaturated(y);
        }
    }
    ReadTable(bytes, layout.leafFaces, level.leafFaces);
    ReadTable(bytes, layout.planes, level.planes);
    for (Q3BspPlane &plane : level.planes) plane.normal = ToHostFrame(plane.normal);
    ReadTable(bytes, layout.meshVertices, level.meshVertices);
    ReadTable(bytes, layout.textures, level.textures);
    level.lightmapCount = layout.lightmaps.count;
    const auto lightmaps = bytes.subspan(static_cast<size_t>(layout.lightmaps.offset),
                                         static_cast<size_t>(layout.lightmaps.count) * kQ3BspLightmapBytes);
    level.lightmaps.assign(lightmaps.begin(), lightmaps.end());

    level.clusterCount = layout.clusterCount;
    level.bytesPerCluster = layout.bytesPerCluster;
    const size_t rowBytes = static_cast<size_t>(layout.clusterCount) * static_cast<size_t>(layout.bytesPerCluster);
    level.visRows.assign(bytes.begin() + static_cast<ptrdiff_t>(layout.visRowsOffset),
                         bytes.begin() + static_cast<ptrdiff_t>(layout.visRowsOffset + rowBytes));
    level.faceBits.assign(static_cast<size_t>(layout.faces.count) / 32 + 1, 0u);
}

Q3BspLevel &CurrentQ3BspLevel() {
    static Q3BspLevel level;
    return level;
}

}  // namespace vesk
