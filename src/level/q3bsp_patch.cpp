// Curved surfaces of a Q3 BSP level: a patch face's control grid of 3 x 3
// biquadratic Bezier blocks, sampled into a triangle grid.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "level/q3bsp.h"

namespace vesk {
namespace {

constexpr int32_t kMaxPatchSteps = 16;

// Every field of a vertex that a blend mixes.
struct Mix {
    double v[14] = {};
};

Mix Fields(const Q3BspVertex &p) {
    return {{p.position.x, p.position.y, p.position.z, p.texCoord[0], p.texCoord[1], p.lightmapCoord[0],
             p.lightmapCoord[1], p.normal.x, p.normal.y, p.normal.z, static_cast<double>(p.colour[0]), static_cast<double>(p.colour[1]),
             static_cast<double>(p.colour[2]), static_cast<double>(p.colour[3])}};
}

// The quadratic Bernstein weights at t: (1-t)^2, 2t(1-t), t^2.
struct Weights {
    double w[3];
};
Weights Bernstein(double t) { return {{(1 - t) * (1 - t), 2 * t * (1 - t), t * t}}; }

Mix Blend(const Mix (&p)[3], const Weights &b) {
    Mix out;
    for (int k = 0; k < 14; ++k) out.v[k] = b.w[0] * p[0].v[k] + b.w[1] * p[1].v[k] + b.w[2] * p[2].v[k];
    return out;
}

uint8_t RoundByte(double c) {
    const double r = std::nearbyint(c);
    return static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
}

Q3BspVertex Vertex(const Mix &m) {
    Q3BspVertex v{};
    v.position = {static_cast<float>(m.v[0]), static_cast<float>(m.v[1]), static_cast<float>(m.v[2])};
    v.texCoord[0] = static_cast<float>(m.v[3]);
    v.texCoord[1] = static_cast<float>(m.v[4]);
    v.lightmapCoord[0] = static_cast<float>(m.v[5]);
    v.lightmapCoord[1] = static_cast<float>(m.v[6]);
    double n[3] = {m.v[7], m.v[8], m.v[9]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0)
        for (double &c : n) c /= length;
    v.normal = {static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])};
    for (int c = 0; c < 4; ++c) v.colour[c] = RoundByte(m.v[10 + c]);
    return v;
}

// Block and parameter of grid line i: the last line ends the last block.
struct Along {
    int32_t block;
    int32_t step;  // 0..steps within the block
};
Along Locate(int32_t i, int32_t steps, int32_t blocks) {
    const int32_t block = i / steps < blocks ? i / steps : blocks - 1;
    return {block, i - block * steps};
}

}  // namespace

bool PlanQ3BspPatch(const Q3BspLevel &level, int32_t face, int32_t steps, Q3BspPatchGrid &grid) {
    if (face < 0 || static_cast<size_t>(face) >= level.faces.size()) return false;
    if (steps < 1 || steps > kMaxPatchSteps) return false;
    const Q3BspFace &f = level.faces[static_cast<size_t>(face)];
    if (f.type != 2) return false;
    const int32_t w = f.patchSize[0], h = f.patchSize[1];
    if (w < 3 || h < 3 || w % 2 == 0 || h % 2 == 0) return false;
    if (f.firstVertex < 0 || f.vertexCount < 0 || int64_t{w} * h > f.vertexCount ||
        int64_t{f.firstVertex} + f.vertexCount > static_cast<int64_t>(level.vertices.size()))
        return false;
    const int64_t columns = int64_t{w - 1} / 2 * steps + 1, rows = int64_t{h - 1} / 2 * steps + 1;
    const int64_t vertices = columns * rows, indices = 6 * (columns - 1) * (rows - 1);
    if (indices > std::numeric_limits<int32_t>::max()) return false;
    grid = {face, steps, static_cast<int32_t>(columns), static_cast<int32_t>(rows), static_cast<int32_t>(vertices),
            static_cast<int32_t>(indices)};
    return true;
}

void TessellateQ3BspPatch(const Q3BspLevel &level, const Q3BspPatchGrid &grid, Q3BspVertex *vertices,
                          uint32_t *indices) {
    const Q3BspFace &f = level.faces[static_cast<size_t>(grid.face)];
    const int32_t w = f.patchSize[0];
    const int32_t blocksWide = (grid.columns - 1) / grid.steps, blocksHigh = (grid.rows - 1) / grid.steps;
    const Q3BspVertex *control = level.vertices.data() + f.firstVertex;
    auto at = [&](int32_t row, int32_t column) -> const Q3BspVertex & {
        return control[static_cast<size_t>(row) * static_cast<size_t>(w) + static_cast<size_t>(column)];
    };
    if (vertices != nullptr) {
        Q3BspVertex *out = vertices;
        for (int32_t j = 0; j < grid.rows; ++j) {
            const Along y = Locate(j, grid.steps, blocksHigh);
            const Weights wt = Bernstein(static_cast<double>(y.step) / grid.steps);
            for (int32_t i = 0; i < grid.columns; ++i) {
                const Along x = Locate(i, grid.steps, blocksWide);
                // On a control point: the point itself, bit for bit.
                if ((y.step == 0 || y.step == grid.steps) && (x.step == 0 || x.step == grid.steps)) {
                    *out++ = at(2 * y.block + 2 * (y.step / grid.steps), 2 * x.block + 2 * (x.step / grid.steps));
                    continue;
                }
                const Weights ws = Bernstein(static_cast<double>(x.step) / grid.steps);
                Mix across[3];
                for (int32_t r = 0; r < 3; ++r) {
                    const int32_t row = 2 * y.block + r, column = 2 * x.block;
                    const Mix p[3] = {Fields(at(row, column)), Fields(at(row, column + 1)), Fields(at(row, column + 2))};
                    across[r] = Blend(p, ws);
                }
                *out++ = Vertex(Blend(across, wt));
            }
        }
    }
    if (indices != nullptr) {
        uint32_t *out = indices;
        const auto c = static_cast<uint32_t>(grid.columns);
        for (uint32_t j = 0; j + 1 < static_cast<uint32_t>(grid.rows); ++j)
            for (uint32_t i = 0; i + 1 < c; ++i) {
                const uint32_t a = j * c + i, b = a + 1, d = a + c, e = d + 1;
                // The cell's corners a b / d e, wound as the map winds its polygons.
                const uint32_t cell[6] = {a, d, b, b, d, e};
                for (uint32_t k : cell) *out++ = k;
            }
    }
}

}  // namespace vesk
