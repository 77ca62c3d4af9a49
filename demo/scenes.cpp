#include "scenes.h"

namespace demo {

SceneResult RunPlayerScene(Host &host);
SceneResult RunStaticScene(Host &host);
SceneResult RunLevelScene(Host &host);
SceneResult RunWalkScene(Host &host);
SceneResult RunOctreeScene(Host &host);
SceneResult RunHalfLifeScene(Host &host);

namespace {

uint32_t g_clock = 0;
uint32_t VESK_CALL FixedClock() { return g_clock; }

}  // namespace

void SetClock(uint32_t ms) { g_clock = ms; }

std::string GamePath(const Options &options, const std::string &name) {
    const std::string game = "openarena";
    if (options.game.empty() || name.compare(0, game.size(), game) != 0) return options.data + "/" + name;
    return options.game + name.substr(game.size());
}
uint32_t Clock() { return g_clock; }

const std::vector<SceneInfo> &Scenes() {
    static const std::vector<SceneInfo> scenes = {
        {"level", "Q3 BSP level from its spawn points: visible faces textured and lightmapped, patches tessellated",
         {"VeskGetQ3BSP_Counts", "GetQ3BSP_INFO", "GetQ3BSP_ProcessEX", "VeskGetQ3BSP_MeshVertices",
          "VeskGetQ3BSP_Textures", "VeskGetQ3BSP_Lightmaps", "VeskTessellateQ3BSP_Patch"},
         &RunLevelScene},
        {"player", "OpenArena player with a weapon, running then attacking",
         {"GetModelMD3", "GetModelMD3weapon", "GetModelMD3ani", "GetModelMD3mesh", "LoadTGA", "VeskSetPixelHandler",
          "VeskSetTickSource"},
         &RunPlayerScene},
        {"static", "static model from the shared static model exports",
         {"Get3DS_INFO", "Get3DS_MESH"},
         &RunStaticScene},
        {"octree", "static model through an octree walk, lit by lightmaps of three point lights",
         {"Get3DS_INFO", "Get3DS_MESHPOLY", "BuildVeskOctree", "RenderVeskOctree",
          "CreateLightmaps", "CalculateFrustum"},
         &RunOctreeScene},
        {"halflife", "Half-Life model playing each of its sequences, textured and lit per vertex, turning",
         {"GetmodelMDL", "GetModelMDLmesh", "VeskGetModelMDLtriangles", "VeskGetModelMDLcounts",
          "VeskGetModelMDLsequences", "VeskSetModelMDLsequence", "VeskGetModelMDLtexture", "VeskGetModelMDLmeshes"},
         &RunHalfLifeScene},
        {"walk", "an ellipsoid body walking through the level, colliding and sliding",
         {"VeskGetQ3BSP_Counts", "GetQ3BSP_INFO", "GetQ3BSP_ProcessEX", "VeskGetQ3BSP_MeshVertices",
          "VeskGetQ3BSP_Textures", "VeskGetQ3BSP_Lightmaps", "VeskTessellateQ3BSP_Patch", "CheckCollision"},
         &RunWalkScene},
    };
    return scenes;
}

SceneResult RunScene(Host &host, const SceneInfo &scene) {
    SceneResult result;
    const std::vector<std::string> missing = host.lib.Missing(scene.exports);
    if (!missing.empty()) {
        result.name = scene.name;
        result.skipped = true;
        result.note = "needs " + missing.front() + (missing.size() > 1 ? " and " + std::to_string(missing.size() - 1) + " more" : "") +
                      ", not in this build";
        return result;
    }
    // Every scene starts from the same clock, so a run repeats exactly.
    host.scene = scene.name;
    SetClock(0);
    host.lib.VeskSetTickSource(&FixedClock);
    result = scene.run(host);
    result.name = scene.name;
    host.lib.VeskSetTickSource(nullptr);
    return result;
}

}  // namespace demo
