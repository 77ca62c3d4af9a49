// The library as the demo sees it: loaded by name, every export resolved by
// name. An export the loaded build lacks stays null, and the scenes that need
// it are skipped.
#pragma once

#include <VeskMathLIB.h>

#include <string>
#include <vector>

namespace demo {

// Every export the demo calls. Each pointer takes its type from the
// header's declaration, so a call cannot disagree with it.
#define DEMO_EXPORTS(X) \
    X(VeskSetMessageHandler) \
    X(VeskSetTickSource) \
    X(VeskSetTexCoordHandler) \
    X(VeskSetPixelHandler) \
    X(VeskSetFileHandler) \
    X(CalculateFrustum) \
    X(CheckCollision) \
    X(LoadTGA) \
    X(GetModelMD3) \
    X(GetModelMD3weapon) \
    X(GetModelMD3ani) \
    X(GetModelMD3mesh) \
    X(Get3DS_INFO) \
    X(Get3DS_MESH) \
    X(Get3DS_MESHPOLY) \
    X(VeskGet3DS_Faces) \
    X(VeskGetModelMD3counts) \
    X(VeskGetQ3BSP_Counts) \
    X(GetQ3BSP_INFO) \
    X(GetQ3BSP_Process2) \
    X(GetQ3BSP_ProcessEX) \
    X(VeskGetQ3BSP_MeshVertices) \
    X(VeskGetQ3BSP_Textures) \
    X(VeskGetQ3BSP_Lightmaps) \
    X(VeskTessellateQ3BSP_Patch) \
    X(BuildVeskOctree) \
    X(RenderVeskOctree) \
    X(CreateLightmaps) \
    X(GetmodelMDL) \
    X(GetModelMDLmesh) \
    X(VeskGetModelMDLtriangles) \
    X(VeskGetModelMDLcounts) \
    X(VeskGetModelMDLsequences) \
    X(VeskSetModelMDLsequence) \
    X(VeskGetModelMDLtexture) \
    X(VeskGetModelMDLmeshes)

struct Library {
    void *module = nullptr;  // the dlopen handle
    std::string error;
#define DEMO_FIELD(name) decltype(&::name) name = nullptr;
    DEMO_EXPORTS(DEMO_FIELD)
#undef DEMO_FIELD

    // Loads path (or the platform's library name) and resolves every export.
    bool Open(const std::string &path);
    void Close();
    // Names among `names` that the loaded build does not export.
    std::vector<std::string> Missing(const std::vector<std::string> &names) const;
    bool Has(const char *name) const;
};

}  // namespace demo
