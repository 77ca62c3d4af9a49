// The MD2 frame decoded the plain way, through a shared object and a frame
// object, as the reference for the library's one-pass WriteFrameMesh.
#pragma once

#include <cstring>
#include <span>

#include "loaders/md2.h"
#include "loaders/static_model.h"

namespace vesk::reference {

// What every frame shares: the counts, the faces and the texture coordinates
// (u = s / skinWidth, v = 1 - t / skinHeight).
inline void ReadMd2Shared(const Md2File &file, StaticObject &object) {
    const Md2Header &h = file.header();
    const uint8_t *base = file.bytes().data();
    object.vertexCount = h.numVertices;
    object.faceCount = h.numTriangles;
    object.texCoordCount = h.numTexCoords;
    object.texCoords.resize(static_cast<size_t>(h.numTexCoords));
    const float width = static_cast<float>(h.skinWidth);
    const float height = static_cast<float>(h.skinHeight);
    for (size_t i = 0; i < object.texCoords.size(); ++i) {
        int16_t st[2];
        std::memcpy(st, base + h.offsetTexCoords + 4 * i, sizeof st);
        object.texCoords[i].u = static_cast<float>(st[0]) / width;
        object.texCoords[i].v = 1.0f - static_cast<float>(st[1]) / height;
    }
    object.texCoordsPerCorner = true;
    object.faces.resize(static_cast<size_t>(h.numTriangles));
    for (size_t t = 0; t < object.faces.size(); ++t) {
        int16_t tri[6];  // vertex indices, then texture-coordinate indices
        std::memcpy(tri, base + h.offsetTriangles + sizeof tri * t, sizeof tri);
        for (int k = 0; k < 3; ++k) {
            object.faces[t].vertexIndex[k] = tri[k];
            object.faces[t].texCoordIndex[k] = tri[3 + k];
        }
    }
}

// The frame's decompressed positions in the Y-up frame: (x, z, -y) of the file's.
inline void ReadMd2Frame(const Md2File &file, int32_t frame, StaticObject &object) {
    const Md2Header &h = file.header();
    const uint8_t *at = file.bytes().data() + static_cast<uint64_t>(h.offsetFrames) +
                        static_cast<uint64_t>(h.frameSize) * static_cast<uint64_t>(frame);
    float scale[3], translate[3];
    std::memcpy(scale, at, sizeof scale);
    std::memcpy(translate, at + 12, sizeof translate);
    object.vertexCount = h.numVertices;
    object.vertices.resize(static_cast<size_t>(h.numVertices));
    for (size_t i = 0; i < object.vertices.size(); ++i) {
        const uint8_t *b = at + kMd2FrameHeaderSize + 4 * i;
        Vector3 &p = object.vertices[i];
        p.x = static_cast<float>(b[0]) * scale[0] + translate[0];
        p.y = static_cast<float>(b[2]) * scale[2] + translate[2];
        p.z = -(static_cast<float>(b[1]) * scale[1] + translate[1]);
    }
}

// 3 * faceCount corners: positions from frame, texture coordinates from shared.
inline void WriteMd2Mesh(const StaticObject &shared, const StaticObject &frame, std::span<Md2Vertex> out) {
    size_t n = 0;
    for (const StaticFace &face : shared.faces)
        for (int k = 0; k < 3; ++k) {
            Md2Vertex &v = out[n++];
            v.position = frame.vertices[static_cast<size_t>(face.vertexIndex[k])];
            const TexCoord &tc = shared.texCoords[static_cast<size_t>(face.texCoordIndex[k])];
            v.u = tc.u;
            v.v = tc.v;
        }
}

}  // namespace vesk::reference
