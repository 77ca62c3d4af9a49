// The static model records shared by the 3DS, OBJ and ASE loaders, the static
// mesh exports and the MD2 frames.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <vector>

namespace vesk {

struct TexCoord {
    float u = 0.0f, v = 0.0f;
};

struct StaticFace {
    int32_t vertexIndex[3] = {0, 0, 0};
    int32_t texCoordIndex[3] = {0, 0, 0};
};

struct StaticMaterial {
    char name[255] = {};
    char textureFile[255] = {};
    uint8_t colour[3] = {0, 0, 0};
    float diffuse[3] = {0.0f, 0.0f, 0.0f};
    int32_t reserved = 0;
    float uTiling = 0.0f;
    float vTiling = 0.0f;
};

struct StaticObject {
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    int32_t texCoordCount = 0;
    int32_t materialIndex = 0;
    bool hasTexture = false;
    char name[255] = {};
    std::vector<Vector3> vertices;
    std::vector<Vector3> normals;
    std::vector<TexCoord> texCoords;
    std::vector<StaticFace> faces;
    // OBJ and ASE give every corner its own texture index; 3DS stores one
    // coordinate per vertex, so its corners look up by vertex index.
    bool texCoordsPerCorner = false;
};

}  // namespace vesk
