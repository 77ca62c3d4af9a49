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
// The widest lanes the lumel loops may use where the processor has them (by
// default the widest); narrower limits let tests cover every width.
enum class LightmapLanes { Sse2, Avx, Avx512 };
void LimitLightmapLanes(LightmapLanes widest);
// The channel sums behind one triangle's bytes, lumel by lumel, for tests: a
// last-bit difference in a sum seldom reaches its byte.
void LightmapSums(const Poly &t, std::span<const LightmapLight> lights, double (*sums)[3]);

}  // namespace vesk
