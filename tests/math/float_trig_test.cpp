// The pose's float sine and cosine against the C runtime's double functions
// rounded to float, bit for bit: every form (one value, both from one
// reduction, two lanes) over floats near multiples of pi/2, across the whole
// range the polynomial takes and past it, and the special values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "math/float_trig.h"

namespace vesk {
namespace {

uint32_t Bits(float v) { return std::bit_cast<uint32_t>(v); }

TEST(FloatTrig, EveryFormRoundsAsTheRuntime) {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> xs = {0.0f, -0.0f, 1e-40f, -1e-45f, 1e-30f, 0.5f, 7.99999952f, 8.0f, -8.0f, 1e6f,
                             inf, -inf, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::max()};
    // The floats around k * pi/2 (the reduction's hardest cases) and seeded
    // floats of every magnitude and of the polynomial's range.
    for (int k = -6; k <= 6; ++k) {
        float x = static_cast<float>(k * 1.5707963267948966);
        for (int i = 0; i < 200; ++i) x = std::nextafter(x, -inf);
        for (int i = 0; i < 400; ++i) xs.push_back(x = std::nextafter(x, inf));
    }
    std::mt19937 rng(20261210);
    std::uniform_real_distribution<float> wide(-9.0f, 9.0f);
    for (int i = 0; i < 200000; ++i) xs.push_back(i % 2 ? wide(rng) : std::bit_cast<float>(static_cast<uint32_t>(rng())));
    for (size_t i = 0; i < xs.size(); ++i) {
        const float x = xs[i], y = xs[(i * 7919) % xs.size()];
        const uint32_t sine = Bits(static_cast<float>(std::sin(static_cast<double>(x))));
        const uint32_t cosine = Bits(static_cast<float>(std::cos(static_cast<double>(x))));
        float s = 0.0f, c = 0.0f, s2[2], c2[2], sines[2];
        trig::SinCos(x, s, c);
        trig::SinCos2(y, x, s2, c2);
        trig::Sin2(x, y, sines);
        ASSERT_EQ(Bits(sines[0]), sine) << x;
        ASSERT_EQ(Bits(sines[1]), Bits(s2[0])) << y;
        ASSERT_EQ(Bits(trig::Sin(x)), sine) << x;
        ASSERT_EQ(Bits(trig::Cos(x)), cosine) << x;
        ASSERT_EQ(Bits(s), sine) << x;
        ASSERT_EQ(Bits(c), cosine) << x;
        ASSERT_EQ(Bits(s2[1]), sine) << x;
        ASSERT_EQ(Bits(c2[1]), cosine) << x;
        ASSERT_EQ(Bits(s2[0]), Bits(static_cast<float>(std::sin(static_cast<double>(y))))) << y;
        ASSERT_EQ(Bits(c2[0]), Bits(static_cast<float>(std::cos(static_cast<double>(y))))) << y;
    }
}

}  // namespace
}  // namespace vesk
