// The library as the demo sees it: loaded by name, every export resolved by
// name. An export the loaded build lacks stays null, and the scenes that need
// it are skipped.
#pragma once

#include <VeskMathLIB.h>

#include <string>
#include <vector>

#include "host_dl.h"

namespace demo {

// X(name, result, parameter list)
#define DEMO_EXPORTS(X)                                                                                      \
    X(VeskSetMessageHandler, void, (VeskMessageHandler))                                                      \
    X(VeskSetTickSource, void, (VeskTickSource))                                                              \
    X(VeskSetTexCoordHandler, void, (VeskTexCoordHandler))                                                    \
    X(VeskSetPixelHandler, void, (VeskPixelHandler))                                                          \
    X(CalculateFrustum, void, (Frustum *, const Matrix4 *, const Matrix4 *))                                  \
    X(CheckCollision, void, (const void *, CollisionBody *, const Poly *, int32_t))                           \
    X(LoadTGA, uint32_t, (const char *, void *, uint32_t *, uint32_t *))                                      \
    X(GetModelMD3, int32_t, (const char *))                                                                   \
    X(GetModelMD3weapon, VeskBool, (int32_t, const char *, const char *))                                     \
    X(GetModelMD3ani, void, (int32_t, int32_t, int32_t))                                                      \
    X(GetModelMD3mesh, int32_t,                                                                               \
      (int32_t, CharacterVertex *, CharacterVertex *, CharacterVertex *, CharacterVertex *, int32_t *, float *)) \
    X(Get3DS_INFO, void, (const char *, StaticModelInfo *, int32_t))                                          \
    X(Get3DS_MESH, int32_t, (int32_t, int32_t, PolyVertex *, int32_t *, BoundingBox *, int32_t))             \
    X(Get3DS_MESHPOLY, int32_t, (Poly *, int32_t *, int32_t))                                                \
    X(VeskGet3DS_Faces, int32_t, (int32_t))                                                                   \
    X(VeskGetModelMD3counts, void, (int32_t, int32_t *))                                                      \
    DEMO_LEVEL_EXPORTS(X)                                                                                      \
    DEMO_SPATIAL_EXPORTS(X)                                                                                    \
    DEMO_MDL_EXPORTS(X)

// Sections of the header that not every checkout has yet (the build sets
// VESK_DEMO_LEVEL, _SPATIAL and _MDL when the header declares them).
#if VESK_DEMO_LEVEL
#define DEMO_LEVEL_EXPORTS(X)                                                                                  \
    X(VeskGetQ3BSP_Counts, VeskBool, (const char *, int32_t *))                                               \
    X(GetQ3BSP_INFO, VeskBool,                                                                                \
      (const char *, Q3BspVertex *, Q3BspFace *, Q3BspLeaf *, int32_t *, Q3BspNode *, Q3BspPlane *, uint8_t *))  \
    X(GetQ3BSP_Process2, void, (const Vector3 *, const Frustum *, const VeskHostCallback *))
#else
#define DEMO_LEVEL_EXPORTS(X)
#endif
#if VESK_DEMO_SPATIAL
#define DEMO_SPATIAL_EXPORTS(X)                                                                                \
    X(BuildVeskOctree, int32_t, (const Poly *, int32_t))                                                      \
    X(RenderVeskOctree, int32_t, (const Frustum *, const VeskHostCallback *, int32_t *))                      \
    X(CreateLightmaps, void, (int32_t, Poly *, const LightmapLight *, int32_t, uint8_t *))
#else
#define DEMO_SPATIAL_EXPORTS(X)
#endif
#if VESK_DEMO_MDL
#define DEMO_MDL_EXPORTS(X)                                                                                    \
    X(GetmodelMDL, int32_t, (const char *, int32_t *))                                                        \
    X(GetModelMDLmesh, int32_t, (int32_t, CharacterVertex *, int32_t *))                                      \
    X(VeskGetModelMDLtriangles, void, (int32_t, uint32_t *, int32_t *))                                       \
    X(VeskGetModelMDLcounts, void, (int32_t, int32_t *))
#else
#define DEMO_MDL_EXPORTS(X)
#endif

struct Library {
    VeskModule module = nullptr;
    std::string error;
#define DEMO_FIELD(name, result, params) result(VESK_CALL *name) params = nullptr;
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
