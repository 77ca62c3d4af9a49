// Builders shared by the geometry suites.
#pragma once

#include <VeskMathLIB.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace vesk::test {

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
inline constexpr float kInf = std::numeric_limits<float>::infinity();

// A record with recognisable filler in every field the geometry code must not touch.
inline Poly MakePoly(const Vector3 &a, const Vector3 &b, const Vector3 &c) {
    Poly p;
    std::memset(&p, 0, sizeof p);
    const Vector3 corners[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        PolyVertex &v = p.corner[k];
        v.position = corners[k];
        v.normal = {7.0f + static_cast<float>(k), 8.0f, 9.0f};
        v.u = 0.1f * static_cast<float>(k + 1);
        v.v = 0.2f * static_cast<float>(k + 1);
        v.u2 = 0.3f * static_cast<float>(k + 1);
        v.v2 = 0.4f * static_cast<float>(k + 1);
    }
    p.word = 0xA5A5A5A5u;
    p.tag = -7;
    return p;
}

// A body at rest with radii (1, 1, 1) and no recorded hit.
inline CollisionBody MakeBody(const Vector3 &position, const Vector3 &velocity = {0, 0, 0}) {
    CollisionBody b;
    std::memset(&b, 0, sizeof b);
    b.position = position;
    b.velocity = velocity;
    b.radii = {1.0f, 1.0f, 1.0f};
    return b;
}

template <class T>
bool SameBytes(const T &a, const T &b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

#define EXPECT_VEC_NEAR(v, ex, ey, ez, tol) \
    do {                                    \
        const Vector3 vv_ = (v);            \
        EXPECT_NEAR(vv_.x, (ex), (tol));    \
        EXPECT_NEAR(vv_.y, (ey), (tol));    \
        EXPECT_NEAR(vv_.z, (ez), (tol));    \
    } while (0)

}  // namespace vesk::test
