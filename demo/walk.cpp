#include "walk.h"

#include <algorithm>

#include "scene_util.h"

namespace demo {

// The triangles a move from p by d (world) could touch.
void Walker::Gather(V3 p, V3 d) {
    near_.clear();
    const V3 lo{std::min(p.x, p.x + d.x) - radii_.x - 1, std::min(p.y, p.y + d.y) - radii_.y - 1,
                std::min(p.z, p.z + d.z) - radii_.z - 1};
    const V3 hi{std::max(p.x, p.x + d.x) + radii_.x + 1, std::max(p.y, p.y + d.y) + radii_.y + 1,
                std::max(p.z, p.z + d.z) + radii_.z + 1};
    for (const Poly &t : all_) {
        float mn[3] = {1e30f, 1e30f, 1e30f}, mx[3] = {-1e30f, -1e30f, -1e30f};
        for (const PolyVertex &c : t.corner) {
            const float q[3] = {c.position.x, c.position.y, c.position.z};
            for (int i = 0; i < 3; ++i) mn[i] = std::min(mn[i], q[i]), mx[i] = std::max(mx[i], q[i]);
        }
        if (mx[0] >= lo.x && mn[0] <= hi.x && mx[1] >= lo.y && mn[1] <= hi.y && mx[2] >= lo.z && mn[2] <= hi.z)
            near_.push_back(t);
    }
}

void Walker::Collide(CollisionBody &body) {
    auto call = [&] { lib_.CheckCollision(nullptr, &body, near_.data(), static_cast<int32_t>(near_.size())); };
    if (frame_)
        Timed(*frame_, "collision", call);
    else
        call();
}

// Collide and slide in the body's unit-sphere space: move to just short of
// the first hit, then spend what is left of the move along the plane that
// touches the sphere there.
V3 Walker::Slide(V3 pos, V3 vel, int depth) {
    constexpr float kVeryClose = 0.005f;
    if (depth > 5 || Length(vel) < kVeryClose * 0.1f) return pos;
    CollisionBody body{};
    body.velocity = {vel.x, vel.y, vel.z};
    body.position = {pos.x, pos.y, pos.z};
    body.radii = {radii_.x, radii_.y, radii_.z};
    Collide(body);
    if (!body.collided) return pos + vel;
    const V3 dest = pos + vel;
    V3 base = pos;
    V3 hit = Of(body.polygonPoint);
    const float distance = static_cast<float>(body.distance);
    const V3 dir = vel * (1.0f / Length(vel));
    if (distance >= kVeryClose) {
        base = pos + dir * (distance - kVeryClose);
        hit = hit - dir * kVeryClose;
    }
    V3 normal = base - hit;
    const float n = Length(normal);
    if (n <= 0) return base;
    normal = normal * (1.0f / n);
    const V3 slideDest = dest - normal * Dot(dest - hit, normal);
    const V3 slide = slideDest - hit;
    if (Length(slide) < kVeryClose) return base;
    return Slide(base, slide, depth + 1);
}

V3 Walker::Reach(V3 from, V3 to, float radius) {
    const V3 saved = radii_;
    radii_ = {radius, radius, radius};
    const V3 d = to - from;
    Gather(from, d);
    radii_ = saved;
    CollisionBody body{};
    body.velocity = {d.x / radius, d.y / radius, d.z / radius};
    body.position = {from.x / radius, from.y / radius, from.z / radius};
    body.radii = {radius, radius, radius};
    Collide(body);
    if (!body.collided) return to;
    const float length = Length(d);
    const float travelled = std::max(0.0f, static_cast<float>(body.distance) * radius - 2.0f);
    return from + d * (std::min(travelled, length) / length);
}

V3 Walker::Step(V3 world, V3 move, V3 fall) {
    Gather(world, move);
    V3 e = Slide(Unscaled(world, radii_), Unscaled(move, radii_), 0);
    world = Scaled(e, radii_);
    Gather(world, fall);
    e = Slide(Unscaled(world, radii_), Unscaled(fall, radii_), 0);
    return Scaled(e, radii_);
}

bool Crosses(V3 a, V3 b, const Poly &t) {
    const V3 p0 = Of(t.corner[0].position), p1 = Of(t.corner[1].position), p2 = Of(t.corner[2].position);
    const V3 n = Cross(p1 - p0, p2 - p0);
    const float da = Dot(a - p0, n), db = Dot(b - p0, n);
    if ((da > 0) == (db > 0) || da == 0 || db == 0) return false;
    const V3 x = a + (b - a) * (da / (da - db));
    const V3 c0 = Cross(p1 - p0, x - p0), c1 = Cross(p2 - p1, x - p1), c2 = Cross(p0 - p2, x - p2);
    return Dot(c0, n) > 0 && Dot(c1, n) > 0 && Dot(c2, n) > 0;
}

}  // namespace demo
