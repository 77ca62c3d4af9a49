// Host arrays for posing a player in the fuzz harnesses.
#pragma once

#include <vector>

#include "characters/md3_player.h"

namespace vesk::fuzz {

// Four part arrays (sized by the caller), counts and box, wired to one output.
struct PoseArrays {
    std::vector<CharacterVertex> parts[4];
    int32_t counts[4] = {0, 0, 0, 0};
    float box[6] = {};

    CharacterOutput Output() {
        CharacterOutput out;
        for (int p = 0; p < 4; ++p) out.parts[p] = parts[p].data();
        out.counts = counts;
        out.box = box;
        return out;
    }
};

}  // namespace vesk::fuzz
