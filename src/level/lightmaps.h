// 16 x 16 lightmaps of host triangles under point lights.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>

namespace vesk {

inline constexpr int kLumels = 16;
inline constexpr int kLightmapBytes = kLumels * kLumels * 3;

// Lights every triangle into output (kLightmapBytes each); when writeCoords,
// each corner's lightmap coordinate goes into its u2, v2.
void CreateLightmaps(std::span<Poly> triangles, std::span<const LightmapLight> lights, uint8_t *output,
                     bool writeCoords);
void CreateLightmaps(std::span<const Poly> triangles, std::span<const LightmapLight> lights, uint8_t *output);
// Whether the light loop may use AVX lanes where the processor has them (the
// default); false keeps it on SSE2, so that tests cover both.
void UseWideLightmapLanes(bool wide);

}  // namespace vesk
