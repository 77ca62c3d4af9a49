#include "level/poly_bsp.h"

#include <cmath>
#include <cstdlib>
#include <utility>

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

SplitterChoice ChooseSplitterPlain(std::span<const Poly> polys) {
    SplitterChoice best;
    int64_t bestScore = 1000000000;
    for (size_t i = 0; i < polys.size(); ++i) {
        if (!UsableSplitter(PolyNormal(polys[i]))) continue;
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

SplitterChoice ChooseSplitter(std::span<const Poly> polys, const std::vector<uint8_t> *excluded) {
    const size_t n = polys.size();
    // Corners and facings laid out once per node; each candidate then
    // classifies all corners in one straight pass. The arithmetic is that of
    // ClassifyPoint exactly, so the choice is the same.
    std::vector<float> px(3 * n), py(3 * n), pz(3 * n);
    std::vector<Vector3> normal(n);
    for (size_t j = 0; j < n; ++j) {
        for (int k = 0; k < 3; ++k) {
            const Vector3 &p = polys[j].corner[k].position;
            px[3 * j + k] = p.x;
            py[3 * j + k] = p.y;
            pz[3 * j + k] = p.z;
        }
        normal[j] = PolyNormal(polys[j]);
    }
    std::vector<int8_t> side(3 * n);
    SplitterChoice best;
    int64_t bestScore = 1000000000;
    for (size_t i = 0; i < n; ++i) {
        if (excluded && (*excluded)[i]) continue;
        const Vector3 nS = normal[i];
        if (!UsableSplitter(nS)) continue;
        const double sx = px[3 * i], sy = py[3 * i], sz = pz[3 * i];
        const double nx = nS.x, ny = nS.y, nz = nS.z;
        const double band = kOnPlaneBand;
        for (size_t c = 0; c < 3 * n; ++c) {
            const double dx = ToF(sx - px[c]), dy = ToF(sy - py[c]), dz = ToF(sz - pz[c]);
            const double s = dx * nx + dy * ny + dz * nz;
            side[c] = static_cast<int8_t>((s < -band) - (s > band));
        }
        int32_t front = 0, back = 0;
        for (size_t j = 0; j < n; ++j) {
            const int8_t *sj = &side[3 * j];
            const int32_t f = (sj[0] == 1) + (sj[1] == 1) + (sj[2] == 1);
            const int32_t b = (sj[0] == -1) + (sj[1] == -1) + (sj[2] == -1);
            const int32_t code = (f | b) ? CodeFromSides(f, b, 0.0) : InPlaneCode(Dot(normal[j], nS));
            const PieceCounts pc = PieceCountsOf(code);
            front += pc.front;
            back += pc.back;
        }
        const int64_t score = std::llabs(int64_t{front} - back);
        if (front > 0 && back > 0 && score < bestScore) {
            bestScore = score;
            best = {static_cast<int32_t>(i), front, back};
        }
    }
    return best;
}

int32_t CompilePolyBsp(PolyBspTree &tree, std::span<const Poly> polys) {
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
        const SplitterChoice choice = ChooseSplitter(list, &excluded);
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
