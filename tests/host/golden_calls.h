// Golden results: one fixed, seeded table of calls per export family, made
// through the exports of the loaded library and hashed over the exact bytes
// they write. Every build and target (default, -march=native, -m32, the
// Windows DLLs) must give the recorded hashes; tests/host and the Windows host
// check share this file so the very same calls run everywhere.
#pragma once

#include <VeskMathLIB.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host_dl.h"

namespace vesk_golden {

// FNV-1a, 64 bits.
class Hash {
public:
    void Bytes(const void *data, size_t size) {
        const auto *p = static_cast<const unsigned char *>(data);
        for (size_t i = 0; i < size; ++i) value_ = (value_ ^ p[i]) * 0x100000001b3ull;
    }
    template <class T>
    void Put(const T &v) {
        Bytes(&v, sizeof v);
    }
    template <class T>
    void Array(const T *v, size_t count) {
        Bytes(v, sizeof(T) * count);
    }
    // Counts and callback arguments are word-sized: widened to 64 bits, they
    // hash the same bytes on every word size (and as recorded on 64-bit).
    void Count(size_t n) { Put(static_cast<uint64_t>(n)); }
    void Arguments(const intptr_t *v, size_t count) {
        for (size_t i = 0; i < count; ++i) Put(static_cast<int64_t>(v[i]));
    }
    // Any NaN is a NaN: runtimes differ in the sign and payload they return.
    void Float(float f) {
        if (std::isnan(f)) f = std::numeric_limits<float>::quiet_NaN();
        Put(f);
    }
    uint64_t Value() const { return value_; }

private:
    uint64_t value_ = 0xcbf29ce484222325ull;
};

// SplitMix64: the same sequence from every standard library. Floats come from
// integers divided by a power of two, so building an input never rounds.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint32_t Next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    int32_t Int(int32_t lo, int32_t hi) {  // inclusive
        return lo + static_cast<int32_t>(Next() % static_cast<uint32_t>(hi - lo + 1));
    }
    // A multiple of 1/1024 in [lo, hi].
    float Grid(int32_t lo, int32_t hi) { return static_cast<float>(Int(lo * 1024, hi * 1024)) / 1024.0f; }
    Vector3 Vec(int32_t lo, int32_t hi) { return {Grid(lo, hi), Grid(lo, hi), Grid(lo, hi)}; }

private:
    uint64_t state_;
};

// Output records start as this pattern, so bytes a call leaves alone hash alike.
template <class T>
T Filled() {
    T t;
    std::memset(static_cast<void *>(&t), 0xA5, sizeof t);
    return t;
}

// Resolves exports by name and remembers the ones the library lacks.
class Exports {
public:
    explicit Exports(VeskModule lib) : lib_(lib) {}
    template <class Fn>
    Fn Get(const char *name) {
        Fn fn = VeskResolve<Fn>(lib_, name);
        if (!fn) missing_ += std::string(missing_.empty() ? "" : " ") + name;
        return fn;
    }
    const std::string &Missing() const { return missing_; }

private:
    VeskModule lib_;
    std::string missing_;
};

#define VESK_GOLDEN_GET(name) const auto name = x.Get<decltype(&::name)>(#name)

// Files the loader families read, in the host's own path spelling.
struct Data {
    std::string obj;     // assimp/OBJ/spider.obj
    std::string player;  // openarena/models/players/sarge
    std::string map;     // openarena/maps/oa_dm1.bsp
    std::string mdl;     // assimp/MDL/MDL (HL1)/man.mdl
};

enum class Outcome { Done, Skipped, Failed };

struct Result {
    const char *family;
    Outcome outcome;
    uint64_t hash;
    std::string note;  // missing exports, or why the family failed
};

// --- Families ------------------------------------------------------------------

inline Outcome Scalar(Exports &x, const Data &, Hash &h, std::string &) {
    VESK_GOLDEN_GET(InverseSqrt);
    VESK_GOLDEN_GET(FastSqrtEX);
    VESK_GOLDEN_GET(rSqrtEX);
    VESK_GOLDEN_GET(FastAbs);
    VESK_GOLDEN_GET(FastCos);
    VESK_GOLDEN_GET(FastSin);
    VESK_GOLDEN_GET(fCos);
    VESK_GOLDEN_GET(fSin);
    VESK_GOLDEN_GET(fTan);
    VESK_GOLDEN_GET(farcTan);
    VESK_GOLDEN_GET(farcTan2);
    VESK_GOLDEN_GET(farcSin);
    VESK_GOLDEN_GET(farcCos);
    VESK_GOLDEN_GET(fSinh);
    VESK_GOLDEN_GET(fCosh);
    VESK_GOLDEN_GET(fTanh);
    VESK_GOLDEN_GET(fPow);
    VESK_GOLDEN_GET(fLog10);
    VESK_GOLDEN_GET(fLogN);
    VESK_GOLDEN_GET(fExp);
    VESK_GOLDEN_GET(fSqrt);
    VESK_GOLDEN_GET(Shift_LEFT);
    VESK_GOLDEN_GET(Shift_RIGHT);
    VESK_GOLDEN_GET(Shift_NONE);
    if (!x.Missing().empty()) return Outcome::Skipped;
    using Unary = float(VESK_CALL *)(float);
    const Unary any[] = {InverseSqrt, FastSqrtEX, rSqrtEX, FastAbs, FastCos, FastSin, fCos, fSin, fTan,
                         farcTan, farcSin, farcCos, fSinh, fCosh, fTanh, fLog10, fLogN, fExp, fSqrt};
    const float inf = std::numeric_limits<float>::infinity();
    const float special[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-40f, 1e-30f, 3.4e38f, 88.5f, -104.0f,
                             1e7f, inf, -inf, std::numeric_limits<float>::quiet_NaN()};
    // Runtimes reduce huge trigonometric arguments differently (glibc and the
    // Windows runtime part at |x| >= 2^37): those results are not compared.
    const Unary trig[] = {FastCos, FastSin, fCos, fSin, fTan};
    for (Unary f : any)
        for (float v : special) {
            const bool isTrig = std::find(std::begin(trig), std::end(trig), f) != std::end(trig);
            if (!(isTrig && std::fabs(v) > 1e30f)) h.Float(f(v));
        }
    Rng r(1);
    for (int i = 0; i < 400; ++i) {
        const float wide = r.Grid(-40, 40), unit = r.Grid(-1, 1) * 1.0625f;
        const float positive = static_cast<float>(r.Int(1, 1 << 24)) / static_cast<float>(1 << r.Int(0, 30));
        for (Unary f : {FastCos, FastSin, fCos, fSin, fTan, farcTan, fSinh, fCosh, fTanh, fExp, FastAbs})
            h.Float(f(wide));
        for (Unary f : {farcSin, farcCos}) h.Float(f(unit));
        for (Unary f : {InverseSqrt, FastSqrtEX, rSqrtEX, fLog10, fLogN, fSqrt}) h.Float(f(positive));
        h.Float(farcTan2(r.Grid(-8, 8), r.Grid(-8, 8)));
        h.Float(fPow(r.Grid(0, 16), r.Grid(-4, 4)));
        const auto bits = static_cast<int32_t>(r.Next());
        const int32_t count = r.Int(-40, 70);
        h.Put(Shift_LEFT(bits, count));
        h.Put(Shift_RIGHT(bits, count));
        h.Put(Shift_NONE(bits));
    }
    return Outcome::Done;
}

inline Outcome Vectors(Exports &x, const Data &, Hash &h, std::string &) {
    VESK_GOLDEN_GET(VECTOR_Set);
    VESK_GOLDEN_GET(VECTOR_Get);
    VESK_GOLDEN_GET(VECTOR_DotProduct);
    VESK_GOLDEN_GET(fDotProduct);
    VESK_GOLDEN_GET(VECTOR_CrossProduct);
    VESK_GOLDEN_GET(VECTOR_Normalize);
    VESK_GOLDEN_GET(VECTOR_Scale);
    VESK_GOLDEN_GET(VECTOR_Length);
    VESK_GOLDEN_GET(VECTOR_Subtract);
    VESK_GOLDEN_GET(VECTOR_Add);
    VESK_GOLDEN_GET(VECTOR_MA);
    VESK_GOLDEN_GET(VECTOR_AddScaled);
    VESK_GOLDEN_GET(VECTOR_Copy);
    VESK_GOLDEN_GET(VECTOR_Clear);
    VESK_GOLDEN_GET(VECTOR_Inverse);
    VESK_GOLDEN_GET(VECTOR_DistanceBetween);
    VESK_GOLDEN_GET(VECTOR_RotateAroundPoint);
    if (!x.Missing().empty()) return Outcome::Skipped;
    Rng r(2);
    for (int i = 0; i < 500; ++i) {
        const Vector3 a = r.Vec(-100, 100), b = r.Vec(-100, 100);
        const float s = r.Grid(-10, 10);
        Vector3 out = Filled<Vector3>();
        VECTOR_Set(&out, a.x, b.y, s);
        h.Put(out);
        float px = 0, py = 0, pz = 0;
        VECTOR_Get(&a, &px, &py, &pz);
        h.Put(px), h.Put(py), h.Put(pz);
        h.Float(VECTOR_DotProduct(&a, &b));
        h.Float(fDotProduct(&a, &b));
        VECTOR_CrossProduct(&a, &b, &out);
        h.Put(out);
        out = a;
        h.Float(VECTOR_Normalize(&out));
        h.Put(out);
        VECTOR_Scale(&a, s, &out);
        h.Put(out);
        h.Float(VECTOR_Length(&a));
        VECTOR_Subtract(&a, &b, &out);
        h.Put(out);
        VECTOR_Add(&a, &b, &out);
        h.Put(out);
        VECTOR_MA(&a, s, &b, &out);
        h.Put(out);
        VECTOR_AddScaled(&a, &b, s, &out);
        h.Put(out);
        VECTOR_Copy(&b, &out);
        h.Put(out);
        VECTOR_Inverse(&out);
        h.Put(out);
        VECTOR_Clear(&out);
        h.Put(out);
        h.Float(VECTOR_DistanceBetween(&a, &b));
        // Some angles zero: the components no handled angle writes keep out's values.
        const Vector3 angles{i % 2 ? 0.0f : r.Grid(-7, 7), i % 3 ? r.Grid(-7, 7) : 0.0f, i % 5 ? r.Grid(-7, 7) : 0.0f};
        out = Filled<Vector3>();
        VECTOR_RotateAroundPoint(&a, &b, angles.x, angles.y, angles.z, &out);
        h.Put(out);
    }
    return Outcome::Done;
}

inline Poly RandomPoly(Rng &r, int32_t extent, int32_t size) {
    Poly p = Filled<Poly>();
    const Vector3 base = r.Vec(-extent, extent);
    for (PolyVertex &c : p.corner) {
        const Vector3 d = r.Vec(-size, size);
        c.position = {base.x + d.x, base.y + d.y, base.z + d.z};
        c.normal = r.Vec(-1, 1);
        c.u = r.Grid(0, 1), c.v = r.Grid(0, 1), c.u2 = r.Grid(0, 1), c.v2 = r.Grid(0, 1);
    }
    return p;
}

inline Outcome Matrices(Exports &x, const Data &, Hash &h, std::string &) {
    VESK_GOLDEN_GET(MatrixCreate);
    VESK_GOLDEN_GET(MatrixMultiply);
    VESK_GOLDEN_GET(MatrixVectorTransform);
    VESK_GOLDEN_GET(MatrixBboxMultiply);
    VESK_GOLDEN_GET(MatrixPolygonMultiply);
    if (!x.Missing().empty()) return Outcome::Skipped;
    Rng r(3);
    for (int i = 0; i < 300; ++i) {
        Matrix4 a = Filled<Matrix4>(), b = Filled<Matrix4>(), out = Filled<Matrix4>();
        const Vector3 scale = r.Vec(-3, 3), angles = r.Vec(-7, 7), position = r.Vec(-500, 500);
        MatrixCreate(&a, &scale, &angles, &position);
        h.Put(a);
        for (float &m : b.m) m = r.Grid(-4, 4);
        MatrixMultiply(&out, &a, &b);
        h.Put(out);
        const Vector3 v = r.Vec(-100, 100);
        Vector3 tv = Filled<Vector3>();
        MatrixVectorTransform(&tv, &b, &v);
        h.Put(tv);
        const Vector3 lo = r.Vec(-50, 0), hi = r.Vec(0, 50);
        const BoundingBox box{lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
        BoundingBox outBox = Filled<BoundingBox>();
        MatrixBboxMultiply(&outBox, &box, &b);
        h.Put(outBox);
        Poly polys[3] = {RandomPoly(r, 50, 5), RandomPoly(r, 50, 5), RandomPoly(r, 50, 5)};
        MatrixPolygonMultiply(polys, &a, 3);
        h.Array(polys, 3);
    }
    return Outcome::Done;
}

inline Outcome Geometry(Exports &x, const Data &, Hash &h, std::string &) {
    VESK_GOLDEN_GET(IntersectRayPlane);
    VESK_GOLDEN_GET(IntersectRaySphere);
    VESK_GOLDEN_GET(CheckPointInTriangle);
    VESK_GOLDEN_GET(ClosestPointOnLine);
    VESK_GOLDEN_GET(ClosestPointOnPolygon);
    VESK_GOLDEN_GET(CheckPointInSphere);
    VESK_GOLDEN_GET(TangentPlaneNormalOfEllipsoid);
    VESK_GOLDEN_GET(ClassifyPoint);
    VESK_GOLDEN_GET(GetPolyNormal);
    VESK_GOLDEN_GET(SetPolyNormal);
    VESK_GOLDEN_GET(buildFromPOLY);
    VESK_GOLDEN_GET(buildFromPOLY2);
    VESK_GOLDEN_GET(GetVnormal);
    VESK_GOLDEN_GET(CheckPointInBOX);
    VESK_GOLDEN_GET(CheckPointInBOXex);
    if (!x.Missing().empty()) return Outcome::Skipped;
    Rng r(4);
    for (int i = 0; i < 400; ++i) {
        const Vector3 o = r.Vec(-20, 20), d = r.Vec(-1, 1), p = r.Vec(-20, 20), n = r.Vec(-1, 1);
        h.Float(IntersectRayPlane(&o, &d, &p, &n));
        // Unit directions from literals: the host computes nothing it could round differently.
        const float k[3][3] = {{0.6f, 0.8f, 0.0f}, {2.0f / 3, 2.0f / 3, 1.0f / 3}, {0.0f, 0.0f, 1.0f}};
        const float *axis = k[i % 3];
        const float sx = r.Int(0, 1) ? 1.0f : -1.0f, sy = r.Int(0, 1) ? 1.0f : -1.0f;
        const Vector3 unit = i % 2 ? Vector3{sx * axis[0], sy * axis[1], axis[2]} : Vector3{axis[2], sx * axis[0], sy * axis[1]};
        h.Float(IntersectRaySphere(&o, &unit, &p, r.Grid(0, 20)));
        Poly poly = RandomPoly(r, 10, 6);
        const Vector3 &a = poly.corner[0].position, &b = poly.corner[1].position, &c = poly.corner[2].position;
        // Points in the triangle's plane half the time, so both answers occur.
        const Vector3 q = i % 2 ? r.Vec(-16, 16)
                                : Vector3{(a.x + b.x + c.x) / 4.0f, (a.y + b.y + c.y) / 4.0f, (a.z + b.z + c.z) / 4.0f};
        h.Put(CheckPointInTriangle(&q, &a, &b, &c));
        Vector3 out = Filled<Vector3>();
        h.Put(ClosestPointOnLine(&out, &a, &b, &q) == &out);
        h.Put(out);
        h.Put(ClosestPointOnPolygon(&out, &a, &b, &c, &q) == &out);
        h.Put(out);
        h.Put(CheckPointInSphere(&q, &o, r.Grid(0, 30)));
        const Vector3 radii = r.Vec(1, 8);
        TangentPlaneNormalOfEllipsoid(&out, &q, &o, &radii);
        h.Put(out);
        h.Put(ClassifyPoint(p.x, p.y, p.z, q.x, q.y, q.z, n.x, n.y, n.z));
        h.Put(ClassifyPoint(p.x, p.y, p.z, p.x + r.Grid(-1, 1) / 512.0f, p.y, p.z, 1.0f, 0.0f, 0.0f));
        GetPolyNormal(&out, &poly);
        h.Put(out);
        GetVnormal(&out, &a, &b, &c);
        h.Put(out);
        Poly polys[2] = {poly, RandomPoly(r, 10, 6)};
        PolyFlatShort flatShort[2];
        PolyFlat flat[2];
        std::memset(flatShort, 0xA5, sizeof flatShort);
        std::memset(flat, 0xA5, sizeof flat);
        buildFromPOLY(polys, flatShort, 2);
        buildFromPOLY2(polys, flat, 2);
        SetPolyNormal(polys, 2);
        h.Array(flatShort, 2);
        h.Array(flat, 2);
        h.Array(polys, 2);
        const Vector3 lo = r.Vec(-10, 0), hi = r.Vec(0, 10);
        const BoundingBox box{lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
        const Vector3 inBox = r.Vec(-12, 12);
        h.Put(CheckPointInBOX(&inBox, &box));
        Matrix4 m = Filled<Matrix4>();
        for (float &e : m.m) e = r.Grid(-2, 2);
        h.Put(CheckPointInBOXex(&inBox, &box, &m));
    }
    return Outcome::Done;
}

inline Outcome FrustumFamily(Exports &x, const Data &, Hash &h, std::string &) {
    VESK_GOLDEN_GET(MatrixCreate);
    VESK_GOLDEN_GET(CalculateFrustum);
    VESK_GOLDEN_GET(PointInFrustum);
    VESK_GOLDEN_GET(SphereInFrustum);
    VESK_GOLDEN_GET(BoxInFrustum);
    if (!x.Missing().empty()) return Outcome::Skipped;
    // A perspective projection (near 0.1, far 100) and random camera poses.
    const Matrix4 projection{{1.5f, 0, 0, 0, 0, 2.0f, 0, 0, 0, 0, -1.002002f, -1.0f, 0, 0, -0.2002002f, 0}};
    Rng r(5);
    for (int camera = 0; camera < 40; ++camera) {
        Matrix4 modelview{};
        const Vector3 scale{1, 1, 1}, angles = r.Vec(-4, 4), position = r.Vec(-30, 30);
        MatrixCreate(&modelview, &scale, &angles, &position);
        Frustum frustum = Filled<Frustum>();
        CalculateFrustum(&frustum, &modelview, &projection);
        h.Put(frustum);
        for (int i = 0; i < 50; ++i) {
            const Vector3 p = r.Vec(-60, 60), q = r.Vec(-60, 60);
            h.Put(PointInFrustum(&frustum, p.x, p.y, p.z));
            h.Put(SphereInFrustum(&frustum, p.x, p.y, p.z, r.Grid(0, 20)));
            h.Put(BoxInFrustum(&frustum, p.x, p.y, p.z, q.x, q.y, q.z));
        }
    }
    return Outcome::Done;
}

inline Outcome Collision(Exports &x, const Data &, Hash &h, std::string &) {
    VESK_GOLDEN_GET(CheckCollision);
    VESK_GOLDEN_GET(CheckForCollision1);
    VESK_GOLDEN_GET(CheckForCollision2);
    VESK_GOLDEN_GET(CheckForCollision3);
    VESK_GOLDEN_GET(CheckForCollision4);
    VESK_GOLDEN_GET(CheckForCollisionNormal);
    VESK_GOLDEN_GET(GetClassifySphere);
    if (!x.Missing().empty()) return Outcome::Skipped;
    Rng r(6);
    std::vector<Poly> polys;
    for (int i = 0; i < 512; ++i) polys.push_back(RandomPoly(r, 16, 4));
    const auto count = static_cast<int32_t>(polys.size());
    for (int i = 0; i < 120; ++i) {
        CollisionBody body = Filled<CollisionBody>();
        body.velocity = r.Vec(-3, 3);
        body.position = r.Vec(-16, 16);
        body.radii = r.Vec(1, 3);
        body.touching = 0;
        body.collided = 0;
        CollisionBody swept = body;
        CheckForCollision3(nullptr, &swept, polys.data(), count);
        h.Put(swept);
        swept = body;
        CheckCollision(nullptr, &swept, polys.data(), count);
        h.Put(swept);
        Vector3 out = Filled<Vector3>(), normal = Filled<Vector3>();
        CollisionBody pushed = body;
        CheckForCollision1(&out, &pushed, polys.data(), count);
        h.Put(out), h.Put(pushed);
        pushed = body;
        CheckForCollision2(&out, &pushed, polys.data(), count);
        h.Put(out), h.Put(pushed);
        pushed = body;
        CheckForCollision4(nullptr, &pushed, polys.data(), count);
        h.Put(pushed);
        const float radius = r.Grid(1, 4);
        h.Put(CheckForCollisionNormal(&out, &normal, &body.position, radius, polys.data(), count));
        h.Put(out), h.Put(normal);
        const PolyVertex &c = polys[static_cast<size_t>(i)].corner[0];
        float distance = -1;
        h.Put(GetClassifySphere(&body.position, &c.normal, &c.position, radius, &distance));
        h.Float(distance);
    }
    return Outcome::Done;
}

// Texture coordinates the static mesh export hands to the host.
inline Hash *&TexCoordSink() {
    static Hash *sink = nullptr;
    return sink;
}
inline void VESK_CALL HashTexCoord(float u, float v) {
    if (TexCoordSink()) TexCoordSink()->Float(u), TexCoordSink()->Float(v);
}

inline Outcome StaticNormals(Exports &x, const Data &data, Hash &h, std::string &note) {
    VESK_GOLDEN_GET(Get3DS_INFO);
    VESK_GOLDEN_GET(Get3DS_MESH);
    VESK_GOLDEN_GET(VeskSetTexCoordHandler);
    if (!x.Missing().empty()) return Outcome::Skipped;
    StaticModelInfo before{}, after{};
    Get3DS_INFO("", &before, -1);  // an unknown type loads nothing and reports what is held
    Get3DS_INFO(data.obj.c_str(), &after, 1);
    if (after.objectCount <= before.objectCount) {
        note = "no objects loaded from " + data.obj;
        return Outcome::Failed;
    }
    // The export writes unchecked: room for far more corners than any object of the file has.
    std::vector<PolyVertex> vertices;
    TexCoordSink() = &h;
    VeskSetTexCoordHandler(&HashTexCoord);
    for (int32_t object = before.objectCount; object < after.objectCount; ++object) {
        vertices.assign(3 * 8192, Filled<PolyVertex>());
        int32_t count = -1;
        BoundingBox box = Filled<BoundingBox>();
        const int32_t result = Get3DS_MESH(0, object, vertices.data(), &count, &box, 0);
        h.Put(result), h.Put(count), h.Put(box);
        if (count < 0 || count >= static_cast<int32_t>(vertices.size())) {
            note = "object " + std::to_string(object) + " wrote " + std::to_string(count) + " corners";
            break;
        }
        h.Array(vertices.data(), static_cast<size_t>(count) + 1);  // one past: untouched
    }
    VeskSetTexCoordHandler(nullptr);
    TexCoordSink() = nullptr;
    return note.empty() ? Outcome::Done : Outcome::Failed;
}

inline uint32_t &GoldenClock() {
    static uint32_t now = 0;
    return now;
}
inline uint32_t VESK_CALL ReadGoldenClock() { return GoldenClock(); }

inline Outcome Md3Pose(Exports &x, const Data &data, Hash &h, std::string &note) {
    VESK_GOLDEN_GET(GetModelMD3);
    VESK_GOLDEN_GET(GetModelMD3ani);
    VESK_GOLDEN_GET(GetModelMD3speed);
    VESK_GOLDEN_GET(GetModelMD3mesh);
    VESK_GOLDEN_GET(VeskSetTickSource);
    if (!x.Missing().empty()) return Outcome::Skipped;
    GoldenClock() = 50000;
    VeskSetTickSource(&ReadGoldenClock);
    const int32_t count = GetModelMD3(data.player.c_str());
    if (count < 1) {
        note = "no player loaded from " + data.player;
        VeskSetTickSource(nullptr);
        return Outcome::Failed;
    }
    const int32_t index = count - 1;
    const size_t capacity = 8192;  // records per part; sarge's largest part writes 2226
    std::vector<CharacterVertex> parts[4];
    // Run and attack, then a slower death: interpolated frames and tag slerps.
    const int32_t animations[][3] = {{15, 7, 100}, {1, 1, 70}};
    for (const auto &animation : animations) {
        GetModelMD3ani(index, animation[0], animation[1]);
        GetModelMD3speed(index, static_cast<float>(animation[2]) / 100.0f);
        for (int step = 0; step < 24; ++step) {
            for (auto &part : parts) part.assign(capacity, Filled<CharacterVertex>());
            int32_t counts[4] = {-1, -1, -1, -1};
            float box[6] = {};
            const int32_t result = GetModelMD3mesh(index, parts[0].data(), parts[1].data(), parts[2].data(),
                                                   parts[3].data(), counts, box);
            h.Put(result), h.Array(counts, 4), h.Array(box, 6);
            for (int p = 0; p < 4; ++p) {
                if (counts[p] == -1) continue;  // a part the player lacks (here: the weapon)
                if (counts[p] < 0 || counts[p] >= static_cast<int32_t>(capacity)) {
                    note = "part " + std::to_string(p) + " count " + std::to_string(counts[p]);
                    VeskSetTickSource(nullptr);
                    return Outcome::Failed;
                }
                h.Array(parts[p].data(), static_cast<size_t>(counts[p]) + 1);
            }
            GoldenClock() += 37;
        }
    }
    VeskSetTickSource(nullptr);
    return Outcome::Done;
}

// What a host callback receives, gathered for hashing.
inline std::vector<intptr_t> *&CallbackSink() {
    static std::vector<intptr_t> *sink = nullptr;
    return sink;
}
inline void VESK_CALL GatherArgument(intptr_t argument) {
    if (CallbackSink()) CallbackSink()->push_back(argument);
}

// A perspective camera at a pose drawn from r, looking somewhere.
template <class Create, class Calculate>
Frustum RandomFrustum(Rng &r, Create create, Calculate calculate, Vector3 position) {
    const Matrix4 projection{{1.5f, 0, 0, 0, 0, 2.0f, 0, 0, 0, 0, -1.0002f, -1.0f, 0, 0, -2.0002f, 0}};
    Matrix4 modelview{};
    const Vector3 scale{1, 1, 1}, angles = r.Vec(-4, 4);
    const Vector3 translate{-position.x, -position.y, -position.z};
    create(&modelview, &scale, &angles, &translate);
    Frustum frustum = Filled<Frustum>();
    calculate(&frustum, &modelview, &projection);
    return frustum;
}

inline Outcome Level(Exports &x, const Data &data, Hash &h, std::string &note) {
    VESK_GOLDEN_GET(VeskGetQ3BSP_Counts);
    VESK_GOLDEN_GET(GetQ3BSP_INFO);
    VESK_GOLDEN_GET(GetQ3BSP_Process2);
    VESK_GOLDEN_GET(GetQ3BSP_Collision);
    VESK_GOLDEN_GET(MatrixCreate);
    VESK_GOLDEN_GET(CalculateFrustum);
    if (!x.Missing().empty()) return Outcome::Skipped;
    int32_t counts[VESK_Q3BSP_COUNT_SLOTS] = {};
    if (!VeskGetQ3BSP_Counts(data.map.c_str(), counts) || counts[VESK_Q3BSP_VERTICES] <= 0) {
        note = "no level in " + data.map;
        return Outcome::Failed;
    }
    h.Array(counts, VESK_Q3BSP_COUNT_SLOTS);
    const auto n = [&](int slot) { return static_cast<size_t>(counts[slot]); };
    std::vector<Q3BspVertex> vertices(n(VESK_Q3BSP_VERTICES), Filled<Q3BspVertex>());
    std::vector<Q3BspFace> faces(n(VESK_Q3BSP_FACES), Filled<Q3BspFace>());
    std::vector<Q3BspLeaf> leaves(n(VESK_Q3BSP_LEAVES), Filled<Q3BspLeaf>());
    std::vector<int32_t> leafFaces(n(VESK_Q3BSP_LEAF_FACES), -7);
    std::vector<Q3BspNode> nodes(n(VESK_Q3BSP_NODES), Filled<Q3BspNode>());
    std::vector<Q3BspPlane> planes(n(VESK_Q3BSP_PLANES), Filled<Q3BspPlane>());
    std::vector<uint8_t> visibility(n(VESK_Q3BSP_VIS_BYTES) + 1, 0xA5);
    if (!GetQ3BSP_INFO(data.map.c_str(), vertices.data(), faces.data(), leaves.data(), leafFaces.data(),
                       nodes.data(), planes.data(), visibility.data())) {
        note = "GetQ3BSP_INFO refused " + data.map;
        return Outcome::Failed;
    }
    h.Array(vertices.data(), vertices.size()), h.Array(faces.data(), faces.size());
    h.Array(leaves.data(), leaves.size()), h.Array(leafFaces.data(), leafFaces.size());
    h.Array(nodes.data(), nodes.size()), h.Array(planes.data(), planes.size());
    h.Array(visibility.data(), visibility.size());
    // Cameras at seeded vertices of the level, nudged up, looking every way.
    Rng r(21);
    std::vector<intptr_t> seen;
    CallbackSink() = &seen;
    const VeskHostCallback cell = &GatherArgument;
    for (int camera = 0; camera < 24; ++camera) {
        Vector3 eye = vertices[static_cast<size_t>(r.Int(0, counts[VESK_Q3BSP_VERTICES] - 1))].position;
        eye.y += 40.0f;
        const Frustum frustum = RandomFrustum(r, MatrixCreate, CalculateFrustum, eye);
        seen.clear();
        GetQ3BSP_Process2(&eye, &frustum, &cell);
        h.Count(seen.size()), h.Arguments(seen.data(), seen.size());
        for (int i = 0; i < 20; ++i) {
            const Vector3 offset = r.Vec(-64, 64);
            const Vector3 center{eye.x + offset.x, eye.y + offset.y, eye.z + offset.z};
            h.Put(GetQ3BSP_Collision(&center, r.Grid(1, 48)));
        }
    }
    CallbackSink() = nullptr;
    return Outcome::Done;
}

inline Outcome Spatial(Exports &x, const Data &, Hash &h, std::string &) {
    VESK_GOLDEN_GET(BuildVeskOctree);
    VESK_GOLDEN_GET(RenderVeskOctree);
    VESK_GOLDEN_GET(RenderVeskPoly);
    VESK_GOLDEN_GET(GetVeskBSP);
    VESK_GOLDEN_GET(VeskGetBspStats);
    VESK_GOLDEN_GET(VeskWalkBspBackToFront);
    VESK_GOLDEN_GET(CreateLightmaps);
    VESK_GOLDEN_GET(CreateLightmaps2);
    VESK_GOLDEN_GET(MatrixCreate);
    VESK_GOLDEN_GET(CalculateFrustum);
    if (!x.Missing().empty()) return Outcome::Skipped;
    Rng r(31);
    std::vector<Poly> polys;
    for (int i = 0; i < 1500; ++i) polys.push_back(RandomPoly(r, 40, 6));
    const auto count = static_cast<int32_t>(polys.size());
    std::vector<intptr_t> seen;
    CallbackSink() = &seen;
    const VeskHostCallback cell = &GatherArgument;
    // Reported triangles are hashed by content: the octree hands out its own copies.
    const auto hashReported = [&] {
        h.Count(seen.size());
        for (intptr_t p : seen) h.Put(*reinterpret_cast<const Poly *>(p));
    };
    BuildVeskOctree(polys.data(), count);
    for (int camera = 0; camera < 16; ++camera) {
        const Frustum frustum = RandomFrustum(r, MatrixCreate, CalculateFrustum, r.Vec(-50, 50));
        int32_t visited = -1;
        seen.clear();
        h.Put(RenderVeskOctree(&frustum, &cell, &visited)), h.Put(visited);
        hashReported();
        seen.clear();
        RenderVeskPoly(polys.data(), count, &frustum, 1, &cell);
        h.Count(seen.size());
        for (intptr_t p : seen) h.Put(static_cast<int64_t>(reinterpret_cast<const Poly *>(p) - polys.data()));
    }
    // A polygon BSP over a smaller set, walked from seeded eyes.
    // The result counts compiles in this process: only its sign is the same everywhere.
    h.Put(GetVeskBSP(0, polys.data(), 300) > 0);
    int32_t stats[4] = {-1, -1, -1, -1};
    VeskGetBspStats(stats);
    h.Array(stats, 4);
    for (int eye = 0; eye < 6; ++eye) {
        const Vector3 at = r.Vec(-50, 50);
        seen.clear();
        VeskWalkBspBackToFront(&at, &cell);
        hashReported();
    }
    // Lightmaps of 40 triangles under three lights.
    std::vector<LightmapLight> lights;
    for (int i = 0; i < 3; ++i) {
        LightmapLight light = Filled<LightmapLight>();
        light.position = r.Vec(-40, 40);
        light.intensity = r.Grid(1, 4);
        light.radius = r.Grid(20, 80);
        light.red = r.Grid(0, 200), light.blue = r.Grid(0, 200), light.green = r.Grid(0, 200);
        lights.push_back(light);
    }
    std::vector<Poly> lit(polys.begin(), polys.begin() + 40);
    std::vector<uint8_t> lumels(lit.size() * 768 + 1, 0xA5);
    CreateLightmaps2(40, lit.data(), lights.data(), 3, lumels.data());
    h.Array(lumels.data(), lumels.size()), h.Array(lit.data(), lit.size());
    CreateLightmaps(40, lit.data(), lights.data(), 3, lumels.data());
    h.Array(lumels.data(), lumels.size()), h.Array(lit.data(), lit.size());
    CallbackSink() = nullptr;
    return Outcome::Done;
}

inline Outcome MdlPose(Exports &x, const Data &data, Hash &h, std::string &note) {
    VESK_GOLDEN_GET(GetmodelMDL);
    VESK_GOLDEN_GET(GetModelMDLmesh);
    VESK_GOLDEN_GET(VeskGetModelMDLtriangles);
    VESK_GOLDEN_GET(VeskGetModelMDLcounts);
    VESK_GOLDEN_GET(VeskGetModelMDLsequences);
    VESK_GOLDEN_GET(VeskSetModelMDLsequence);
    VESK_GOLDEN_GET(VeskGetModelMDLtexture);
    VESK_GOLDEN_GET(VeskGetModelMDLmeshes);
    VESK_GOLDEN_GET(VeskSetTickSource);
    if (!x.Missing().empty()) return Outcome::Skipped;
    GoldenClock() = 90000;
    VeskSetTickSource(&ReadGoldenClock);
    int32_t textures = -1;
    const int32_t index = GetmodelMDL(data.mdl.c_str(), &textures) - 1;
    int32_t sizes[2] = {-1, -1};
    VeskGetModelMDLcounts(index, sizes);
    h.Put(textures), h.Array(sizes, 2);
    if (index < 0 || sizes[0] <= 0) {
        note = "no model loaded from " + data.mdl;
        VeskSetTickSource(nullptr);
        return Outcome::Failed;
    }
    std::vector<CharacterVertex> records;
    std::vector<uint32_t> indices;
    for (int step = 0; step < 40; ++step) {
        records.assign(static_cast<size_t>(sizes[0]) + 1, Filled<CharacterVertex>());
        indices.assign(static_cast<size_t>(sizes[1]) + 1, 0xA5A5A5A5u);
        int32_t written = -1, indexCount = -1;
        h.Put(GetModelMDLmesh(index, records.data(), &written));
        VeskGetModelMDLtriangles(index, indices.data(), &indexCount);
        h.Put(written), h.Put(indexCount);
        h.Array(records.data(), records.size()), h.Array(indices.data(), indices.size());
        GoldenClock() += 23 + static_cast<uint32_t>(step % 5) * 11;
    }
    // Every sequence in turn, a few steps each, then what the host draws with.
    const int32_t sequenceCount = VeskGetModelMDLsequences(index, nullptr);
    std::vector<VeskMdlSequence> sequences(static_cast<size_t>(std::max(0, sequenceCount)) + 1, Filled<VeskMdlSequence>());
    h.Put(sequenceCount), h.Put(VeskGetModelMDLsequences(index, sequences.data()));
    h.Array(sequences.data(), sequences.size());
    h.Put(VeskSetModelMDLsequence(index, sequenceCount)), h.Put(VeskSetModelMDLsequence(index, -1));
    for (int32_t q = 0; q < sequenceCount; ++q) {
        h.Put(VeskSetModelMDLsequence(index, q));
        for (int step = 0; step < 8; ++step) {
            records.assign(static_cast<size_t>(sizes[0]) + 1, Filled<CharacterVertex>());
            int32_t written = -1;
            h.Put(GetModelMDLmesh(index, records.data(), &written)), h.Put(written);
            h.Array(records.data(), records.size());
            GoldenClock() += 31 + static_cast<uint32_t>(step) * 7;
        }
    }
    const int32_t meshCount = VeskGetModelMDLmeshes(index, nullptr);
    std::vector<int32_t> ranges(3 * static_cast<size_t>(std::max(0, meshCount)) + 1, -5);
    h.Put(meshCount), h.Put(VeskGetModelMDLmeshes(index, ranges.data())), h.Array(ranges.data(), ranges.size());
    const int32_t textureCount = VeskGetModelMDLtexture(index, -1, nullptr, nullptr);
    h.Put(textureCount);
    for (int32_t t = 0; t <= textureCount; ++t) {
        int32_t size[2] = {-1, -1};
        h.Put(VeskGetModelMDLtexture(index, t, nullptr, size)), h.Array(size, 2);
        std::vector<uint8_t> rgba(4 * static_cast<size_t>(std::max(0, size[0]) * std::max(0, size[1])) + 1, 0xA5);
        h.Put(VeskGetModelMDLtexture(index, t, rgba.data(), size)), h.Array(rgba.data(), rgba.size());
    }
    VeskSetTickSource(nullptr);
    return Outcome::Done;
}

#undef VESK_GOLDEN_GET

// --- The table ---------------------------------------------------------------------

struct Family {
    const char *name;
    Outcome (*run)(Exports &, const Data &, Hash &, std::string &);
    uint64_t expected;  // recorded from the default Linux build
    // The MDL clock is one for the whole module and its last time is a single,
    // so a second run in one process steps from another start: hashes hold
    // for the first run of a process only.
    bool firstRunOnly = false;
};

inline const std::vector<Family> &Families() {
    static const std::vector<Family> families = {
        {"scalar", &Scalar, 0x585b2287dec392a8ull},
        {"vector", &Vectors, 0x33f48c07dd17cd42ull},
        {"matrix", &Matrices, 0x70eaccde690efd25ull},
        {"geometry", &Geometry, 0xdc3979d26dcefa3bull},
        {"frustum", &FrustumFamily, 0xaf794d808490204dull},
        {"collision", &Collision, 0xc63fe75c3ec17298ull},
        {"static-normals", &StaticNormals, 0x541c299b69ced8f9ull},
        {"md3-pose", &Md3Pose, 0x55ac721a982afa9dull},
        {"q3bsp-level", &Level, 0xf8b8dcc5c74149c3ull},
        {"spatial", &Spatial, 0xdbc6388101b92b41ull},
        {"mdl-pose", &MdlPose, 0x647f77062424dfcaull, true},
    };
    return families;
}

inline void VESK_CALL QuietMessage(const char *caption, const char *text) {
    std::printf("golden: library message %s: %s\n", caption, text);
}

// Runs every family; prints one line each. Messages go to stdout, never to a box.
inline std::vector<Result> RunAll(VeskModule lib, const Data &data) {
    std::vector<Result> results;
    const auto setMessages = VeskResolve<decltype(&::VeskSetMessageHandler)>(lib, "VeskSetMessageHandler");
    if (setMessages) setMessages(&QuietMessage);
    for (const Family &f : Families()) {
        Exports x(lib);
        Hash h;
        std::string note;
        const Outcome outcome = f.run(x, data, h, note);
        if (outcome == Outcome::Skipped) note = "not built: " + x.Missing();
        results.push_back({f.name, outcome, h.Value(), note});
        if (outcome == Outcome::Skipped)
            std::printf("golden %-16s skipped (%s)\n", f.name, note.c_str());
        else
            std::printf("golden %-16s %016llx%s%s\n", f.name, static_cast<unsigned long long>(h.Value()),
                        outcome == Outcome::Failed ? " FAILED: " : "", note.c_str());
    }
    if (setMessages) setMessages(nullptr);
    return results;
}

// Failures against the recorded hashes (a skipped family is not one).
inline int CountMismatches(const std::vector<Result> &results) {
    int failures = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const Result &r = results[i];
        if (r.outcome == Outcome::Skipped) continue;
        const uint64_t expected = Families()[i].expected;
        if (r.outcome == Outcome::Failed || r.hash != expected) {
            std::printf("golden %-16s MISMATCH: expected %016llx\n", r.family, static_cast<unsigned long long>(expected));
            ++failures;
        }
    }
    return failures;
}

}  // namespace vesk_golden
