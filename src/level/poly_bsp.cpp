#include "level/poly_bsp.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <utility>

#include <emmintrin.h>

#include "geometry/primitives.h"
#include "geometry/vector_ops.h"

namespace vesk {
namespace {

PolyBspTree g_tree;

float Lerp(float a, float b, double r) { return ToF(a + r * (double{b} - a)); }

// The corner where edge p -> c meets the plane; the attributes follow the
// distance ratio along the edge.
PolyVertex Crossing(const PolyVertex &p, const PolyVertex &c, const Vector3 &s0, const Vector3 &n) {
    const Vector3 d = Sub(c.position, p.position);
    const double den = Dot(n, d);
    const double t = den != 0.0 ? Dot(n, Sub(s0, p.position)) / den : 0.0;
    PolyVertex x{};
    x.position = AddScaled(p.position, d, t);
    const double len = ExactMagnitude(d);
    const double r = len > 0.0 ? ExactMagnitude(Sub(x.position, p.position)) / len : 0.0;
    x.u = Lerp(p.u, c.u, r);
    x.v = Lerp(p.v, c.v, r);
    x.u2 = Lerp(p.u2, c.u2, r);
    x.v2 = Lerp(p.v2, c.v2, r);
    x.normal = {Lerp(p.normal.x, c.normal.x, r), Lerp(p.normal.y, c.normal.y, r), Lerp(p.normal.z, c.normal.z, r)};
    return x;
}

// A triangle in the splitter's plane goes to the side its facing agrees
// with; an undecided facing (zero or NaN) goes front.
int32_t InPlaneCode(double facing) { return facing < 0.0 ? kBack : kFront; }

int32_t CodeFromSides(int32_t front, int32_t back, double facing) {
    if (front > 0 && back > 0) return front == 2 ? kSplitFrontQuad : back == 2 ? kSplitBackQuad : kSplitBoth;
    if (front > 0) return kFront;
    if (back > 0) return kBack;
    return InPlaneCode(facing);
}

bool UsableSplitter(const Vector3 &n) {
    return std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z) && !IsZero(n);
}

}  // namespace

PolyBspTree &ThePolyBsp() { return g_tree; }

int32_t PlaneSide(const Vector3 &p, const Vector3 &s0, const Vector3 &n) { return ClassifyPoint(p, s0, n); }

PieceCounts PieceCountsOf(int32_t code) {
    switch (code) {
        case kFront: return {1, 0};
        case kBack: return {0, 1};
        case kSplitFrontQuad: return {2, 1};
        case kSplitBackQuad: return {1, 2};
        default: return {1, 1};
    }
}

int32_t SplitPolygon(const Poly &t, const Poly &s, Poly *out) {
    const Vector3 nS = PolyNormal(s);
    const Vector3 &s0 = s.corner[0].position;
    int32_t side[3];
    int32_t front = 0, back = 0;
    for (int k = 0; k < 3; ++k) {
        side[k] = PlaneSide(t.corner[k].position, s0, nS);
        front += side[k] == 1;
        back += side[k] == -1;
    }
    const int32_t code = CodeFromSides(front, back, Dot(PolyNormal(t), nS));
    if (out == nullptr || code == kFront || code == kBack) return code;
    // Walk the edges T2->T0, T0->T1, T1->T2 collecting the two corner lists.
    PolyVertex f[4], b[4];
    int nf = 0, nb = 0;
    for (int e = 0; e < 3; ++e) {
        const int prev = (e + 2) % 3, cur = e;
        const int32_t k = side[cur], kp = side[prev];
        const PolyVertex &c = t.corner[cur];
        if ((k == 1 && kp == -1) || (k == -1 && kp == 1)) {
            const PolyVertex x = Crossing(t.corner[prev], c, s0, nS);
            if (nf < 4) f[nf++] = x;
            if (nb < 4) b[nb++] = x;
        }
        if (k >= 0 && nf < 4) f[nf++] = c;
        if (k <= 0 && nb < 4) b[nb++] = c;
    }
    auto piece = [&](Poly &p, const PolyVertex &a, const PolyVertex &bb, const PolyVertex &c) {
        p.corner[0] = a;
        p.corner[1] = bb;
        p.corner[2] = c;
        p.word = t.word;
        p.tag = t.tag;
    };
    if (code == kSplitFrontQuad) {
        piece(out[0], f[0], f[1], f[2]);
        piece(out[1], f[0], f[2], f[3]);
        piece(out[2], b[0], b[1], b[2]);
    } else if (code == kSplitBackQuad) {
        piece(out[0], f[0], f[1], f[2]);
        piece(out[1], b[0], b[1], b[2]);
        piece(out[2], b[0], b[2], b[3]);
    } else {
        piece(out[0], f[0], f[1], f[2]);
        piece(out[1], b[0], b[1], b[2]);
    }
    return code;
}

namespace {

constexpr size_t kLeafPolys = 16; // polygons per leaf box
constexpr size_t kFanout = 8;     // boxes per box of the level above

struct CornerBox {
    float lo[3], hi[3];
    float reach[3];         // largest magnitude per axis
    float nlo[3], nhi[3];   // bounds of the triangles' normals
    bool normalsKnown;      // every normal finite
    // The normals' bounds as centre and half-width, the widths grown by the
    // rounding allowance of the facing test.
    double nc[3], nw[3];
};

// One level's boxes as centres and half-widths in single precision, the
// widths grown by the rounding allowance of the side test; padded to a
// multiple of eight so that a run of children loads four at a time.
struct LevelLanes {
    std::vector<float> c[3], w[3];
    std::vector<float> nc[3], nw[3];  // the normals' bounds alike (widths infinite where unknown)
};

// Spreads the low ten bits of v to every third bit.
uint32_t Spread3(uint32_t v) {
    v &= 0x3FF;
    v = (v | (v << 16)) & 0x030000FF;
    v = (v | (v << 8)) & 0x0300F00F;
    v = (v | (v << 4)) & 0x030C30C3;
    v = (v | (v << 2)) & 0x09249249;
    return v;
}

// One node's polygons laid out for the search: corners in structure-of-arrays
// form, finite polygons in Morton order of their centroids with a hierarchy
// of corner boxes over them, then the others.
class SplitterSearch {
public:
    SplitterSearch(std::span<const Poly> polys, const std::vector<uint8_t> *excluded)
        : polys_(polys), excluded_(excluded) {
        Layout();
    }
    SplitterChoice Run();

private:
    void Layout();
    bool Score(size_t candidate, int64_t bestScore, size_t bestIndex, int32_t &front, int32_t &back);
    // Pieces of polygon j (layout order) by the arithmetic of ClassifyPoint.
    void ScoreExact(size_t j, const double s[3], const double nv[3], const Vector3 &nS, int32_t &front,
                    int32_t &back) const {
        const float *x = &px_[3 * j], *y = &py_[3 * j], *z = &pz_[3 * j];
        int32_t f = 0, b = 0;
        for (int k = 0; k < 3; ++k) {
            const double dx = ToF(s[0] - x[k]), dy = ToF(s[1] - y[k]), dz = ToF(s[2] - z[k]);
            const double v = dx * nv[0] + dy * nv[1] + dz * nv[2];
            f += v < -kOnPlaneBand;
            b += v > kOnPlaneBand;
        }
        const PieceCounts pc = PieceCountsOf((f | b) ? CodeFromSides(f, b, 0.0) : InPlaneCode(Dot(normal_[j], nS)));
        front += pc.front;
        back += pc.back;
    }

    std::span<const Poly> polys_;
    const std::vector<uint8_t> *excluded_;
    std::vector<float> px_, py_, pz_;
    std::vector<Vector3> normal_;
    std::vector<double> nxd_, nyd_, nzd_;  // the normals again, widened
    size_t boxed_ = 0;                          // polygons under the boxes (finite ones)
    std::vector<std::vector<CornerBox>> boxes_;  // boxes_[0] over leaves, the last one level over all
    std::vector<LevelLanes> lanes_;             // the same levels
    float reach_ = 0.0f;                        // largest coordinate magnitude of the boxed corners
    bool useBoxes_ = false;
    std::vector<uint32_t> origin_;  // input index of each laid-out polygon
    // Each leaf's distinct corner positions (a multiple of four, padded with
    // repeats) and, per boxed polygon, its corners' places among them.
    std::vector<float> vx_, vy_, vz_;
    std::vector<uint32_t> leafVertices_;  // leaf L's positions: [leafVertices_[L], leafVertices_[L + 1])
    std::vector<uint8_t> cornerAt_;
    void ScoreLeaf(size_t leaf, const float s0f[3], const double s[3], const double nv[3], const Vector3 &nS,
                   const CornerBox &box, int32_t &front, int32_t &back) const;
    std::vector<std::pair<uint32_t, uint32_t>> frontier_;  // runs of boxes: first, count
    std::vector<uint32_t> next_;
    static constexpr size_t kProbes = 8;
};

void SplitterSearch::Layout() {
    const size_t n = polys_.size();
    // Finite polygons first, by Morton code of the centroid; the rest after.
    std::vector<uint64_t> keyed;
    std::vector<uint32_t> loose;
    keyed.reserve(n);
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    std::vector<uint8_t> finite(n, 0);
    for (size_t j = 0; j < n; ++j) {
        bool ok = true;
        for (const PolyVertex &c : polys_[j].corner) {
            const float v[3] = {c.position.x, c.position.y, c.position.z};
            for (int a = 0; a < 3; ++a) ok = ok && std::isfinite(v[a]);
        }
        finite[j] = ok;
        if (!ok) continue;
        for (const PolyVertex &c : polys_[j].corner) {
            const float v[3] = {c.position.x, c.position.y, c.position.z};
            for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], v[a]), hi[a] = std::max(hi[a], v[a]);
        }
    }
    double scale[3];
    for (int a = 0; a < 3; ++a) scale[a] = hi[a] > lo[a] ? 1023.0 / (double{hi[a]} - lo[a]) : 0.0;
    for (size_t j = 0; j < n; ++j) {
        if (!finite[j]) {
            loose.push_back(static_cast<uint32_t>(j));
            continue;
        }
        uint32_t q[3];
        for (int a = 0; a < 3; ++a) {
            double c = 0.0;
            for (const PolyVertex &v : polys_[j].corner) c += a == 0 ? v.position.x : a == 1 ? v.position.y : v.position.z;
            const double t = (c / 3.0 - lo[a]) * scale[a];
            q[a] = static_cast<uint32_t>(std::clamp(t, 0.0, 1023.0));
        }
        const uint64_t code = Spread3(q[0]) | (Spread3(q[1]) << 1) | (Spread3(q[2]) << 2);
        keyed.push_back((code << 32) | j);
    }
    std::sort(keyed.begin(), keyed.end());
    boxed_ = keyed.size();
    px_.resize(3 * n), py_.resize(3 * n), pz_.resize(3 * n);
    normal_.resize(n);
    auto place = [&](size_t at, size_t j) {
        for (int k = 0; k < 3; ++k) {
            const Vector3 &p = polys_[j].corner[k].position;
            px_[3 * at + k] = p.x, py_[3 * at + k] = p.y, pz_[3 * at + k] = p.z;
        }
        normal_[at] = PolyNormal(polys_[j]);
    };
    origin_.resize(n);
    for (size_t at = 0; at < keyed.size(); ++at) {
        origin_[at] = static_cast<uint32_t>(keyed[at] & 0xFFFFFFFFu);
        place(at, origin_[at]);
    }
    for (size_t k = 0; k < loose.size(); ++k) {
        origin_[boxed_ + k] = loose[k];
        place(boxed_ + k, loose[k]);
    }

    // Boxes pay only where sets are large; huge coordinates, where the
    // differences of the scan could overflow, are all scored exactly.
    float reach = 0.0f;
    for (int a = 0; a < 3; ++a) reach = std::max(reach, std::max(std::fabs(lo[a]), std::fabs(hi[a])));
    useBoxes_ = boxed_ >= 4 * kLeafPolys && reach < 1e37f;
    reach_ = reach;
    if (!useBoxes_) return;
    std::vector<CornerBox> level((boxed_ + kLeafPolys - 1) / kLeafPolys);
    nxd_.resize(boxed_), nyd_.resize(boxed_), nzd_.resize(boxed_);
    for (size_t j = 0; j < boxed_; ++j) nxd_[j] = normal_[j].x, nyd_[j] = normal_[j].y, nzd_[j] = normal_[j].z;
    // Neighbouring triangles share corners: a leaf classifies each distinct
    // position once (equal bits, equal arithmetic).
    cornerAt_.resize(3 * boxed_);
    leafVertices_.assign(1, 0);
    for (size_t b = 0; b < level.size(); ++b) {
        const size_t first = vx_.size();
        for (size_t c = 3 * b * kLeafPolys; c < 3 * std::min(boxed_, (b + 1) * kLeafPolys); ++c) {
            size_t at = first;
            while (at < vx_.size() && !(std::memcmp(&vx_[at], &px_[c], 4) == 0 && std::memcmp(&vy_[at], &py_[c], 4) == 0 &&
                                        std::memcmp(&vz_[at], &pz_[c], 4) == 0))
                ++at;
            if (at == vx_.size()) vx_.push_back(px_[c]), vy_.push_back(py_[c]), vz_.push_back(pz_[c]);
            cornerAt_[c] = static_cast<uint8_t>(at - first);
        }
        while ((vx_.size() - first) % 4 != 0) vx_.push_back(vx_.back()), vy_.push_back(vy_.back()), vz_.push_back(vz_.back());
        leafVertices_.push_back(static_cast<uint32_t>(vx_.size()));
    }
    for (size_t b = 0; b < level.size(); ++b) {
        CornerBox &box = level[b];
        for (int a = 0; a < 3; ++a) box.lo[a] = box.nlo[a] = INFINITY, box.hi[a] = box.nhi[a] = -INFINITY;
        box.normalsKnown = true;
        for (size_t c = 3 * b * kLeafPolys; c < 3 * std::min(boxed_, (b + 1) * kLeafPolys); ++c) {
            const float v[3] = {px_[c], py_[c], pz_[c]};
            for (int a = 0; a < 3; ++a) box.lo[a] = std::min(box.lo[a], v[a]), box.hi[a] = std::max(box.hi[a], v[a]);
        }
        for (size_t j = b * kLeafPolys; j < std::min(boxed_, (b + 1) * kLeafPolys); ++j) {
            const float v[3] = {normal_[j].x, normal_[j].y, normal_[j].z};
            for (int a = 0; a < 3; ++a) {
                box.normalsKnown = box.normalsKnown && std::isfinite(v[a]);
                box.nlo[a] = std::min(box.nlo[a], v[a]), box.nhi[a] = std::max(box.nhi[a], v[a]);
            }
        }
    }
    while (true) {
        for (CornerBox &box : level)
            for (int a = 0; a < 3; ++a) {
                box.reach[a] = std::max(std::fabs(box.lo[a]), std::fabs(box.hi[a]));
                box.nc[a] = 0.5 * (double{box.nlo[a]} + box.nhi[a]);
                const double half = 0.5 * (double{box.nhi[a]} - box.nlo[a]);
                box.nw[a] = half + (std::fabs(box.nc[a]) + half) * 0x1p-48;
            }
        LevelLanes lanes;
        const size_t padded = (level.size() + 7) / 8 * 8;
        for (int a = 0; a < 3; ++a) {
            lanes.c[a].assign(padded, 0.0f);
            lanes.w[a].assign(padded, 0.0f);
            lanes.nc[a].assign(padded, 0.0f);
            lanes.nw[a].assign(padded, INFINITY);
            for (size_t b = 0; b < level.size(); ++b) {
                const CornerBox &box = level[b];
                lanes.c[a][b] = static_cast<float>(0.5 * (double{box.lo[a]} + box.hi[a]));
                const double w = 0.5 * (double{box.hi[a]} - box.lo[a]) + box.reach[a] * 0x1p-18;
                lanes.w[a][b] = std::nextafter(static_cast<float>(w), INFINITY);
                // Normals up to 2^60 keep the single-precision facing products finite.
                bool tame = box.normalsKnown;
                for (int k = 0; k < 3; ++k) tame = tame && std::fabs(box.nlo[k]) < 0x1p60f && std::fabs(box.nhi[k]) < 0x1p60f;
                if (!tame) continue;
                lanes.nc[a][b] = static_cast<float>(box.nc[a]);
                const double half = 0.5 * (double{box.nhi[a]} - box.nlo[a]);
                lanes.nw[a][b] = std::nextafter(static_cast<float>(half + (std::fabs(box.nc[a]) + half) * 0x1p-18), INFINITY);
            }
        }
        lanes_.push_back(std::move(lanes));
        boxes_.push_back(std::move(level));
        const std::vector<CornerBox> &below = boxes_.back();
        if (below.size() <= kFanout) break;
        level.assign((below.size() + kFanout - 1) / kFanout, CornerBox{});
        for (size_t b = 0; b < level.size(); ++b) {
            CornerBox &box = level[b];
            box = below[b * kFanout];
            for (size_t c = b * kFanout + 1; c < std::min(below.size(), (b + 1) * kFanout); ++c) {
                box.normalsKnown = box.normalsKnown && below[c].normalsKnown;
                for (int a = 0; a < 3; ++a) {
                    box.lo[a] = std::min(box.lo[a], below[c].lo[a]), box.hi[a] = std::max(box.hi[a], below[c].hi[a]);
                    box.nlo[a] = std::min(box.nlo[a], below[c].nlo[a]), box.nhi[a] = std::max(box.nhi[a], below[c].nhi[a]);
                }
            }
        }
    }
}

// Piece counts by the sides of a triangle's corners (index 9 (a + 1) +
// 3 (b + 1) + c + 1); the triangle in the plane (index 13) needs its facing.
struct SidePieces {
    int8_t front, back;
};
constexpr std::array<SidePieces, 27> kSidePieces = [] {
    std::array<SidePieces, 27> t{};
    for (int i = 0; i < 27; ++i) {
        const int side[3] = {i / 9 - 1, i / 3 % 3 - 1, i % 3 - 1};
        int f = 0, b = 0;
        for (int k : side) f += k == 1, b += k == -1;
        const int code = f > 0 && b > 0 ? (f == 2 ? kSplitFrontQuad : b == 2 ? kSplitBackQuad : kSplitBoth)
                         : f > 0        ? kFront
                         : b > 0        ? kBack
                                        : -1;
        t[static_cast<size_t>(i)] = code < 0                  ? SidePieces{-1, -1}
                                    : code == kFront          ? SidePieces{1, 0}
                                    : code == kBack           ? SidePieces{0, 1}
                                    : code == kSplitFrontQuad ? SidePieces{2, 1}
                                    : code == kSplitBackQuad  ? SidePieces{1, 2}
                                                              : SidePieces{1, 1};
    }
    return t;
}();

// One leaf of triangles that the candidate's band may cross. Sides are first
// taken in single precision where the result is certain: the single-precision
// sum lies within 2^-20 of mag of the scan's double one (mag bounds the sum of
// |n_k d_k| over the box), so only corners that near the band's edges are
// computed as the scan computes them. The differences are the same either way
// (a double difference of singles rounded to single is the single difference).
void SplitterSearch::ScoreLeaf(size_t leaf, [[maybe_unused]] const float s0f[3], const double s[3], const double nv[3],
                               const Vector3 &nS, const CornerBox &box, int32_t &front, int32_t &back) const {
    const size_t v0 = leafVertices_[leaf], v1 = leafVertices_[leaf + 1];
    int8_t side[3 * kLeafPolys + 4];
    auto exactSide = [&](size_t v) {
        const double dx = ToF(s[0] - vx_[v]), dy = ToF(s[1] - vy_[v]), dz = ToF(s[2] - vz_[v]);
        const double d = dx * nv[0] + dy * nv[1] + dz * nv[2];
        return static_cast<int8_t>((d < -kOnPlaneBand) - (d > kOnPlaneBand));
    };
    double mag = 0.0;
    for (int k = 0; k < 3; ++k) mag += std::fabs(nv[k]) * (std::fabs(s[k]) + box.reach[k]);
    if (mag < 1e30) {
        const float err = static_cast<float>(mag * 0x1p-20) + 1e-30f;
        const float band = static_cast<float>(kOnPlaneBand);
        // Thresholds rounded away from the band so that the float compares
        // stay on the safe side.
        const __m128 outer = _mm_set1_ps((band + err) * (1.0f + 0x1p-20f));
        const __m128 inner = _mm_set1_ps(std::max(0.0f, (band - err) * (1.0f - 0x1p-20f)));
        const __m128 sx = _mm_set1_ps(s0f[0]), sy = _mm_set1_ps(s0f[1]), sz = _mm_set1_ps(s0f[2]);
        const __m128 nx = _mm_set1_ps(nS.x), ny = _mm_set1_ps(nS.y), nz = _mm_set1_ps(nS.z);
        const __m128 sign = _mm_set1_ps(-0.0f);
        for (size_t v = v0; v < v1; v += 4) {
            const __m128 dx = _mm_sub_ps(sx, _mm_loadu_ps(&vx_[v]));
            const __m128 dy = _mm_sub_ps(sy, _mm_loadu_ps(&vy_[v]));
            const __m128 dz = _mm_sub_ps(sz, _mm_loadu_ps(&vz_[v]));
            const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, nx), _mm_mul_ps(dy, ny)), _mm_mul_ps(dz, nz));
            const __m128 ahead = _mm_cmplt_ps(d, _mm_xor_ps(outer, sign));  // surely front
            const __m128 behind = _mm_cmpgt_ps(d, outer);                   // surely back
            const __m128 on = _mm_cmplt_ps(_mm_andnot_ps(sign, d), inner);  // surely in the band
            const int sure = _mm_movemask_ps(_mm_or_ps(_mm_or_ps(ahead, behind), on));
            if (sure == 0xF) {
                // -1 where front, -1 where back: back minus front is the side.
                const __m128i lanes = _mm_sub_epi32(_mm_castps_si128(behind), _mm_castps_si128(ahead));
                const __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(lanes, lanes), _mm_setzero_si128());
                const int32_t four = _mm_cvtsi128_si32(bytes);
                std::memcpy(&side[v - v0], &four, 4);
                continue;
            }
            const int a = _mm_movemask_ps(ahead), b = _mm_movemask_ps(behind);
            for (int lane = 0; lane < 4; ++lane) {
                const size_t at = v - v0 + static_cast<size_t>(lane);
                side[at] = (sure >> lane) & 1 ? static_cast<int8_t>(((a >> lane) & 1) - ((b >> lane) & 1))
                                              : exactSide(v + static_cast<size_t>(lane));
            }
        }
    } else
    {
        for (size_t v = v0; v < v1; ++v) side[v - v0] = exactSide(v);
    }
    const size_t begin = leaf * kLeafPolys, end = std::min(boxed_, begin + kLeafPolys);
    for (size_t j = begin; j < end; ++j) {
        const uint8_t *c = &cornerAt_[3 * j];
        const SidePieces p = kSidePieces[static_cast<size_t>(9 * (side[c[0]] + 1) + 3 * (side[c[1]] + 1) + side[c[2]] + 1)];
        if (p.front >= 0) {
            front += p.front;
            back += p.back;
        } else {
            const PieceCounts pc = PieceCountsOf(InPlaneCode(Dot(normal_[j], nS)));
            front += pc.front;
            back += pc.back;
        }
    }
}

// Front and back piece counts of candidate plane (s0, nS); false once it
// cannot beat the best so far (score bestScore at index bestIndex): every
// polygon not yet counted moves front - back by one at most. The boxes are
// taken level by level, so the coarse evidence of the whole set comes first.
bool SplitterSearch::Score(size_t candidate, int64_t bestScore, size_t bestIndex, int32_t &front, int32_t &back) {
    const Vector3 &s0 = polys_[candidate].corner[0].position;
    const Vector3 nS = PolyNormal(polys_[candidate]);
    const double s[3] = {s0.x, s0.y, s0.z};
    const double nv[3] = {nS.x, nS.y, nS.z};
    const size_t n = polys_.size();
    front = back = 0;
    int64_t open = static_cast<int64_t>(n);  // polygons not yet counted
    auto hopeless = [&] {
        const int64_t bound = std::llabs(int64_t{front} - back) - open;
        return bound > bestScore || (bound == bestScore && candidate > bestIndex);
    };
    const double an[3] = {std::fabs(nv[0]), std::fabs(nv[1]), std::fabs(nv[2])};
    const double sumAbs = an[0] * std::fabs(s[0]) + an[1] * std::fabs(s[1]) + an[2] * std::fabs(s[2]);
    // Bounds every |n_k d_k| sum of a corner: the tests below stay in single
    // precision only where nothing can overflow there.
    const double mag = sumAbs + (an[0] + an[1] + an[2]) * reach_;
    const bool boxes = useBoxes_ && std::isfinite(s0.x) && std::isfinite(s0.y) && std::isfinite(s0.z) && mag < 1e30;
    size_t exactFrom = 0;
    if (boxes) {
        // Every corner in a box lies within centre +- reach of the scan's
        // value: the half-widths, the scan's rounding (within 2^-23 mag) and
        // the rounding of this test in single precision (within 2^-21 mag)
        // are all covered by the widths' and fixed's 2^-18 mag. A box wholly
        // beyond the band is one side throughout.
        const double a = nv[0] * s[0] + nv[1] * s[1] + nv[2] * s[2];
        const float fixed = std::nextafter(static_cast<float>(sumAbs * 0x1p-18), INFINITY) + 1e-37f;
        const float band = static_cast<float>(kOnPlaneBand);
        const __m128 va = _mm_set1_ps(static_cast<float>(a)), vfixed = _mm_set1_ps(fixed);
        const __m128 vn[3] = {_mm_set1_ps(nS.x), _mm_set1_ps(nS.y), _mm_set1_ps(nS.z)};
        const __m128 vabs[3] = {_mm_set1_ps(std::fabs(nS.x)), _mm_set1_ps(std::fabs(nS.y)), _mm_set1_ps(std::fabs(nS.z))};
        const __m128 vband = _mm_set1_ps(band), vminus = _mm_set1_ps(-band), vtiny = _mm_set1_ps(1e-37f);
        // Sides of four boxes from first: bits of front, back and within the band.
        // Facings are bounded alike where the candidate's normal is tame: the
        // normals' widths carry 2^-18 of their magnitude for the rounding.
        const bool facings = an[0] + an[1] + an[2] < 0x1p60;
        auto sides = [&](const LevelLanes &l, size_t first, int &ahead, int &behind, int &within, int &facing) {
            __m128 dot = _mm_setzero_ps(), width = vfixed, ndot = _mm_setzero_ps(), nwidth = vtiny;
            for (int k = 0; k < 3; ++k) {
                dot = _mm_add_ps(dot, _mm_mul_ps(vn[k], _mm_loadu_ps(&l.c[k][first])));
                width = _mm_add_ps(width, _mm_mul_ps(vabs[k], _mm_loadu_ps(&l.w[k][first])));
                ndot = _mm_add_ps(ndot, _mm_mul_ps(vn[k], _mm_loadu_ps(&l.nc[k][first])));
                nwidth = _mm_add_ps(nwidth, _mm_mul_ps(vabs[k], _mm_loadu_ps(&l.nw[k][first])));
            }
            const __m128 mid = _mm_sub_ps(va, dot);
            const __m128 high = _mm_add_ps(mid, width), low = _mm_sub_ps(mid, width);
            ahead = _mm_movemask_ps(_mm_cmplt_ps(high, vminus));
            behind = _mm_movemask_ps(_mm_cmpgt_ps(low, vband));
            within = _mm_movemask_ps(_mm_and_ps(_mm_cmplt_ps(high, vband), _mm_cmpgt_ps(low, vminus)));
            // Bits 0-3: every facing surely at or above 0; bits 4-7: surely below.
            facing = facings ? _mm_movemask_ps(_mm_cmpgt_ps(_mm_sub_ps(ndot, nwidth), _mm_setzero_ps())) |
                                   _mm_movemask_ps(_mm_cmplt_ps(_mm_add_ps(ndot, nwidth), _mm_setzero_ps())) << 4
                             : 0;
        };
        // A box wholly within the band holds triangles in the plane: each goes
        // the way its facing (its normal against the candidate's, in double)
        // says, for the whole box at once where the normals' bounds agree.
        auto inPlane = [&](const CornerBox &box, size_t begin, size_t end, bool leaf) {
            // The single-precision bounds above already settled what these can.
            if (!facings && box.normalsKnown) {
                const double mid = nv[0] * box.nc[0] + nv[1] * box.nc[1] + nv[2] * box.nc[2];
                const double spread = an[0] * box.nw[0] + an[1] * box.nw[1] + an[2] * box.nw[2];
                const int32_t count = static_cast<int32_t>(end - begin);
                if (mid - spread > 0.0) return front += count, true;
                if (mid + spread < 0.0) return back += count, true;
            }
            if (!leaf) return false;  // the smaller boxes below agree more often
            int32_t behind = 0;
            size_t j = begin;
            // Dot's products (exact) and sums, two triangles at a time.
            const __m128d n0 = _mm_set1_pd(nv[0]), n1 = _mm_set1_pd(nv[1]), n2 = _mm_set1_pd(nv[2]);
            for (; j + 2 <= end; j += 2) {
                const __m128d xy = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(&nxd_[j]), n0), _mm_mul_pd(_mm_loadu_pd(&nyd_[j]), n1));
                const __m128d d = _mm_add_pd(xy, _mm_mul_pd(_mm_loadu_pd(&nzd_[j]), n2));
                behind += std::popcount(static_cast<unsigned>(_mm_movemask_pd(_mm_cmplt_pd(d, _mm_setzero_pd()))));
            }
            for (; j < end; ++j) behind += InPlaneCode(Dot(normal_[j], nS)) == kBack;
            back += behind;
            front += static_cast<int32_t>(end - begin) - behind;
            return true;
        };
        auto &frontier = frontier_;
        std::vector<uint32_t> &next = next_;
        frontier.clear();
        size_t level = boxes_.size() - 1;
        frontier.push_back({0, static_cast<uint32_t>(boxes_[level].size())});
        size_t span = kLeafPolys;
        for (size_t l = 0; l < level; ++l) span *= kFanout;
        while (true) {
            next.clear();
            const std::vector<CornerBox> &here = boxes_[level];
            for (const auto &[first, count] : frontier)
                for (size_t at = first; at < size_t{first} + count; at += 4) {
                    int ahead, behind, within, facing;
                    sides(lanes_[level], at, ahead, behind, within, facing);
                    for (size_t box = at; box < std::min<size_t>(at + 4, size_t{first} + count); ++box) {
                        const int bit = 1 << (box - at);
                        const size_t begin = box * span, end = std::min(boxed_, begin + span);
                        if (ahead & bit) {
                            front += static_cast<int32_t>(end - begin);
                        } else if (behind & bit) {
                            back += static_cast<int32_t>(end - begin);
                        } else if ((within & bit) && (facing & bit)) {
                            front += static_cast<int32_t>(end - begin);
                        } else if ((within & bit) && (facing & (bit << 4))) {
                            back += static_cast<int32_t>(end - begin);
                        } else if (!(within & bit) || !inPlane(here[box], begin, end, level == 0)) {
                            next.push_back(static_cast<uint32_t>(box));
                            continue;
                        }
                        open -= static_cast<int64_t>(end - begin);
                        if (hopeless()) return false;
                    }
                }
            if (level == 0) break;
            frontier.clear();
            const size_t below = boxes_[level - 1].size();
            for (uint32_t box : next)
                frontier.push_back({static_cast<uint32_t>(box * kFanout),
                                    static_cast<uint32_t>(std::min(below, (box + 1) * kFanout) - box * kFanout)});
            --level;
            span /= kFanout;
        }
        const float s0f[3] = {s0.x, s0.y, s0.z};
        for (uint32_t box : next) {
            const size_t begin = box * kLeafPolys, end = std::min(boxed_, begin + kLeafPolys);
            ScoreLeaf(box, s0f, s, nv, nS, boxes_[0][box], front, back);
            open -= static_cast<int64_t>(end - begin);
            if (hopeless()) return false;
        }
        exactFrom = boxed_;
    }
    for (size_t j = exactFrom; j < n; ++j) {
        ScoreExact(j, s, nv, nS, front, back);
        --open;
        if ((j & 63) == 63 && hopeless()) return false;
    }
    return true;
}

SplitterChoice SplitterSearch::Run() {
    // The choice is the least (score, index) among candidates that put pieces
    // on both sides. A few candidates from the middle of the set go first:
    // a good score early lets most others stop after their coarse boxes.
    SplitterChoice best;
    int64_t bestScore = 1000000000;
    size_t bestIndex = SIZE_MAX;
    const size_t n = polys_.size();
    std::vector<uint8_t> scored(n, 0);
    auto consider = [&](size_t i) {
        if (scored[i] || (excluded_ && (*excluded_)[i]) || !UsableSplitter(PolyNormal(polys_[i]))) return;
        scored[i] = 1;
        int32_t front = 0, back = 0;
        if (!Score(i, bestScore, bestIndex, front, back)) return;
        const int64_t score = std::llabs(int64_t{front} - back);
        if (front > 0 && back > 0 && (score < bestScore || (score == bestScore && i < bestIndex))) {
            bestScore = score;
            bestIndex = i;
            best = {static_cast<int32_t>(i), front, back};
        }
    };
    for (size_t k = 0; k < kProbes && k < boxed_; ++k) consider(origin_[boxed_ * (2 * k + 1) / (2 * kProbes)]);
    for (size_t i = 0; i < n; ++i) consider(i);
    return best;
}

}  // namespace

SplitterChoice ChooseSplitter(std::span<const Poly> polys, const std::vector<uint8_t> *excluded) {
    return SplitterSearch(polys, excluded).Run();
}

int32_t CompilePolyBsp(PolyBspTree &tree, std::span<const Poly> polys, SplitterSearchFn choose) {
    std::vector<BspNode>().swap(tree.nodes);
    tree.nodes.emplace_back();
    tree.nodes[0].polygons.assign(polys.begin(), polys.end());
    // Each piece remembers the input triangle it came from; a source that
    // already split an ancestor is not a candidate again below it, which
    // bounds every path by the input count even where rounding would let a
    // plane seem to divide its own side once more.
    std::vector<std::vector<int32_t>> sources(1);
    sources[0].resize(polys.size());
    for (size_t i = 0; i < polys.size(); ++i) sources[0][i] = static_cast<int32_t>(i);
    std::vector<uint8_t> usedOnPath(polys.size(), 0);
    struct Frame {
        int32_t node;
        int32_t exitSource;  // -1 to enter the node; otherwise the source to unmark
    };
    std::vector<Frame> stack = {{0, -1}};
    std::vector<uint8_t> excluded;
    Poly pieces[3];
    while (!stack.empty()) {
        const Frame frame = stack.back();
        stack.pop_back();
        if (frame.exitSource >= 0) {
            usedOnPath[static_cast<size_t>(frame.exitSource)] = 0;
            continue;
        }
        const auto at = static_cast<size_t>(frame.node);
        std::vector<Poly> list = std::move(tree.nodes[at].polygons);
        std::vector<int32_t> from = std::move(sources[at]);
        excluded.assign(list.size(), 0);
        for (size_t j = 0; j < list.size(); ++j) excluded[j] = usedOnPath[static_cast<size_t>(from[j])];
        const SplitterChoice choice = choose(list, &excluded);
        if (choice.index < 0) {
            tree.nodes[at].isLeaf = true;
            tree.nodes[at].polygons = std::move(list);
            continue;
        }
        const Poly splitter = list[static_cast<size_t>(choice.index)];
        std::vector<Poly> frontList, backList;
        std::vector<int32_t> frontFrom, backFrom;
        frontList.reserve(static_cast<size_t>(choice.front));
        backList.reserve(static_cast<size_t>(choice.back));
        for (size_t j = 0; j < list.size(); ++j) {
            const int32_t code = SplitPolygon(list[j], splitter, pieces);
            auto toFront = [&](const Poly &p) { frontList.push_back(p), frontFrom.push_back(from[j]); };
            auto toBack = [&](const Poly &p) { backList.push_back(p), backFrom.push_back(from[j]); };
            switch (code) {
                case kFront: toFront(list[j]); break;
                case kBack: toBack(list[j]); break;
                case kSplitFrontQuad: toFront(pieces[0]), toFront(pieces[1]), toBack(pieces[2]); break;
                case kSplitBackQuad: toFront(pieces[0]), toBack(pieces[1]), toBack(pieces[2]); break;
                default: toFront(pieces[0]), toBack(pieces[1]); break;
            }
        }
        const int32_t depth = tree.nodes[at].depth;
        const auto frontIndex = static_cast<int32_t>(tree.nodes.size());
        tree.nodes.emplace_back();
        tree.nodes.emplace_back();
        sources.resize(tree.nodes.size());
        BspNode &node = tree.nodes[at];
        node.splitter = splitter;
        node.front = frontIndex;
        node.back = frontIndex + 1;
        for (int32_t c : {node.front, node.back}) tree.nodes[static_cast<size_t>(c)].depth = depth + 1;
        tree.nodes[static_cast<size_t>(node.front)].polygons = std::move(frontList);
        tree.nodes[static_cast<size_t>(node.back)].polygons = std::move(backList);
        sources[static_cast<size_t>(node.front)] = std::move(frontFrom);
        sources[static_cast<size_t>(node.back)] = std::move(backFrom);
        const int32_t source = from[static_cast<size_t>(choice.index)];
        usedOnPath[static_cast<size_t>(source)] = 1;
        // Front subtree first, then back, then leave this node.
        stack.push_back({frame.node, source});
        stack.push_back({node.back, -1});
        stack.push_back({node.front, -1});
    }
    return ++tree.compileCount;
}

BspStats GetBspStats(const PolyBspTree &tree) {
    BspStats s;
    for (const BspNode &n : tree.nodes) {
        ++s.nodes;
        if (n.isLeaf) {
            ++s.leaves;
            s.pieces += static_cast<int32_t>(n.polygons.size());
        }
        if (n.depth > s.depth) s.depth = n.depth;
    }
    return s;
}

std::vector<int32_t> LeavesBackToFront(const PolyBspTree &tree, const Vector3 &eye) {
    std::vector<int32_t> order;
    if (tree.nodes.empty()) return order;
    std::vector<int32_t> stack = {0};
    while (!stack.empty()) {
        const int32_t i = stack.back();
        stack.pop_back();
        const BspNode &n = tree.nodes[static_cast<size_t>(i)];
        if (n.isLeaf) {
            order.push_back(i);
            continue;
        }
        const int32_t eyeSide = PlaneSide(eye, n.splitter.corner[0].position, PolyNormal(n.splitter));
        // Far side first: pushed last.
        const bool backIsFar = eyeSide >= 0;
        stack.push_back(backIsFar ? n.front : n.back);
        stack.push_back(backIsFar ? n.back : n.front);
    }
    return order;
}

void WalkBspBackToFront(const PolyBspTree &tree, const Vector3 &eye, const VeskHostCallback *callback) {
    for (int32_t leaf : LeavesBackToFront(tree, eye))
        for (const Poly &p : tree.nodes[static_cast<size_t>(leaf)].polygons)
            CallHost(callback, reinterpret_cast<intptr_t>(&p));
}

}  // namespace vesk
