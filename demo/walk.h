// A body walking through triangles with the library's swept-ellipsoid
// collision and the usual collide-and-slide response, and an independent
// check that a path never crosses a triangle.
#pragma once

#include <cmath>
#include <vector>

#include "scenes.h"

namespace demo {

struct V3 {
    float x, y, z;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float Length(V3 a) { return std::sqrt(Dot(a, a)); }
inline V3 Scaled(V3 a, V3 r) { return {a.x * r.x, a.y * r.y, a.z * r.z}; }
inline V3 Unscaled(V3 a, V3 r) { return {a.x / r.x, a.y / r.y, a.z / r.z}; }
inline V3 Of(const Vector3 &v) { return {v.x, v.y, v.z}; }

class Walker {
public:
    // Triangles in world coordinates, each facing (b - a) x (c - a) toward
    // where a body may come from; radii are the body's semi-axes.
    Walker(Library &lib, const std::vector<Poly> &triangles, V3 radii) : lib_(lib), all_(triangles), radii_(radii) {}
    // Collision calls are timed into this frame (none when null).
    void SetFrame(Frame *frame) { frame_ = frame; }
    // One step: `move` along the ground, then `fall`, each with the slide.
    V3 Step(V3 world, V3 move, V3 fall);
    // How far toward `to` a small sphere gets from `from`.
    V3 Reach(V3 from, V3 to, float radius);

private:
    void Gather(V3 p, V3 d);
    V3 Slide(V3 pos, V3 vel, int depth);
    void Collide(CollisionBody &body);

    Library &lib_;
    const std::vector<Poly> &all_;
    V3 radii_;
    Frame *frame_ = nullptr;
    std::vector<Poly> near_;  // the broad phase: triangles whose box meets the move's
};

// True when segment a-b passes through triangle t.
bool Crosses(V3 a, V3 b, const Poly &t);

}  // namespace demo
