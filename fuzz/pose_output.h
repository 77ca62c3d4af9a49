// Host arrays for posing a player in the fuzz harnesses.
#pragma once

#include <vector>

#include "characters/md3_player.h"
#include "fuzz_support.h"

namespace vesk::fuzz {

// Four part arrays, counts and box, wired to one output.
struct PoseArrays {
    std::vector<CharacterVertex> parts[4];
    int32_t counts[4] = {0, 0, 0, 0};
    int32_t query[4] = {0, 0, 0, 0};
    float box[6] = {};

    // Sizes every part array exactly from the size query, as a host does, so
    // one record more shows up under ASan.
    void SizeFor(const Md3Player &player) {
        CountPlayerRecords(player, query);
        for (int p = 0; p < 4; ++p) parts[p].assign(static_cast<size_t>(query[p]), CharacterVertex{});
        for (int32_t &c : counts) c = -1;
    }
    // After poses since SizeFor: every part drawn wrote what the query said; a
    // part never drawn kept -1 and was sized 0.
    bool CountsMatchQuery() const {
        for (int p = 0; p < 4; ++p)
            if (counts[p] != query[p] && !(counts[p] == -1 && query[p] == 0)) return false;
        return true;
    }

    // Every record written and the box hold finite floats only.
    bool Finite() const {
        for (int p = 0; p < 4; ++p)
            if (!FiniteFloats(parts[p].data(), 8 * parts[p].size())) return false;
        return FiniteFloats(box, 6);
    }

    CharacterOutput Output() {
        CharacterOutput out;
        for (int p = 0; p < 4; ++p) out.parts[p] = parts[p].data();
        out.counts = counts;
        out.box = box;
        return out;
    }
};

}  // namespace vesk::fuzz
