// The splitter choice as documented, one SplitPolygon call per pair: the
// reference the library's search is held to in tests and benchmarks.
#pragma once

#include <cmath>
#include <cstdlib>
#include <span>
#include <vector>

#include "geometry/primitives.h"
#include "level/poly_bsp.h"

namespace vesk::test {

inline SplitterChoice ChooseSplitterPlain(std::span<const Poly> polys, const std::vector<uint8_t> *excluded = nullptr) {
    SplitterChoice best;
    int64_t bestScore = 1000000000;
    for (size_t i = 0; i < polys.size(); ++i) {
        const Vector3 n = PolyNormal(polys[i]);
        if ((excluded && (*excluded)[i]) || !std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z) ||
            (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f))
            continue;
        int32_t front = 0, back = 0;
        for (const Poly &t : polys) {
            const PieceCounts c = PieceCountsOf(SplitPolygon(t, polys[i], nullptr));
            front += c.front;
            back += c.back;
        }
        const int64_t score = std::llabs(int64_t{front} - back);
        if (front > 0 && back > 0 && score < bestScore) {
            bestScore = score;
            best = {static_cast<int32_t>(i), front, back};
        }
    }
    return best;
}

}  // namespace vesk::test
