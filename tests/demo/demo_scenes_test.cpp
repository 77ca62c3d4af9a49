// Renders every scene the loaded build supports, small, and checks what the
// pixels show. Scenes whose exports the build lacks are skipped; a scene that
// cannot find its data fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include <stb_image.h>

#include "canvas.h"
#include "scene_util.h"
#include "scenes.h"

// Mesa's off-screen driver keeps a few framebuffer allocations to the end of
// the process; they are its own, not the library's or the demo's.
extern "C" const char *__lsan_default_suppressions() { return "leak:libOSMesa.so\nleak:libLLVM\n"; }

namespace {

using demo::Image;

constexpr int kWidth = 160, kHeight = 120;

struct Session {
    demo::Library lib;
    demo::Canvas canvas;
    std::string out;
};

Session &Shared() {
    static std::unique_ptr<Session> session = [] {
        auto s = std::make_unique<Session>();
        EXPECT_TRUE(s->lib.Open("")) << s->lib.error;
        std::string error;
        EXPECT_TRUE(s->canvas.Open(kWidth, kHeight, &error)) << error;
        s->out = (std::filesystem::temp_directory_path() / ("vesk_demo_test." + std::to_string(getpid()))).string();
        std::filesystem::create_directories(s->out);
        return s;
    }();
    return *session;
}

demo::SceneResult Render(const char *name, int frames) {
    Session &s = Shared();
    const char *env = std::getenv("VESK_TESTDATA");
    demo::Options options;
    options.width = kWidth;
    options.height = kHeight;
    options.frames = frames;
    options.data = env && *env ? env : VESK_TESTDATA_DIR;
    options.out = s.out;
    demo::Host host{s.lib, s.canvas, options, {}, {}};
    for (const demo::SceneInfo &info : demo::Scenes())
        if (std::string(info.name) == name) return demo::RunScene(host, info);
    ADD_FAILURE() << "no scene " << name;
    return {};
}

// Missing exports skip the test; anything else that stops a scene is a failure.
#define REQUIRE_RENDERED(result)                                                       \
    do {                                                                               \
        if ((result).skipped && (result).note.rfind("needs ", 0) == 0) GTEST_SKIP() << (result).note; \
        ASSERT_FALSE((result).skipped) << (result).note;                              \
    } while (0)

bool IsBackground(const Image &image, int x, int y) {
    const uint8_t *bg = image.At(0, 0), *p = image.At(x, y);
    return std::abs(p[0] - bg[0]) + std::abs(p[1] - bg[1]) + std::abs(p[2] - bg[2]) <= 3;
}

int DifferentPixels(const Image &a, const Image &b) {
    int n = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        n += a.rgba[i] != b.rgba[i] || a.rgba[i + 1] != b.rgba[i + 1] || a.rgba[i + 2] != b.rgba[i + 2];
    return n;
}

TEST(DemoPlayer, DrawsInsideItsProjectedBoxAndAnimates) {
    const demo::SceneResult r = Render("player", 4);
    REQUIRE_RENDERED(r);
    ASSERT_EQ(r.frames.size(), 4u);
    for (const demo::Frame &f : r.frames) {
        SCOPED_TRACE(f.name);
        const int x0 = std::max(0, f.box[0] - 1), y0 = std::max(0, f.box[1] - 1);
        const int x1 = std::min(kWidth - 1, f.box[2] + 1), y1 = std::min(kHeight - 1, f.box[3] + 1);
        ASSERT_LT(x0, x1);
        ASSERT_LT(y0, y1);
        int inside = 0, outside = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                if (IsBackground(f.image, x, y)) continue;
                (x >= x0 && x <= x1 && y >= y0 && y <= y1 ? inside : outside) += 1;
            }
        EXPECT_EQ(outside, 0);
        // A body, not a few stray triangles: a good part of its box is covered.
        EXPECT_GT(inside, (x1 - x0) * (y1 - y0) / 5);
        // The library's box of the pose holds every vertex drawn: its projected
        // corners enclose the drawn box.
        ASSERT_EQ(f.values.size(), 6u);
        float bx0 = 1e9f, by0 = 1e9f, bx1 = -1e9f, by1 = -1e9f;
        for (int corner = 0; corner < 8; ++corner) {
            const float p[3] = {f.values[corner & 1 ? 3 : 0], f.values[corner & 2 ? 4 : 1], f.values[corner & 4 ? 5 : 2]};
            float px = 0, py = 0;
            ASSERT_TRUE(demo::Project(f.modelview, f.projection, kWidth, kHeight, p, &px, &py));
            bx0 = std::min(bx0, px), by0 = std::min(by0, py), bx1 = std::max(bx1, px), by1 = std::max(by1, py);
        }
        EXPECT_LE(bx0, static_cast<float>(f.box[0]) + 1);
        EXPECT_LE(by0, static_cast<float>(f.box[1]) + 1);
        EXPECT_GE(bx1, static_cast<float>(f.box[2]) - 1);
        EXPECT_GE(by1, static_cast<float>(f.box[3]) - 1);
    }
    // The clock moves between frames, and so do the legs.
    EXPECT_GT(DifferentPixels(r.frames[0].image, r.frames[1].image), kWidth * kHeight / 200);
}

TEST(DemoPlayer, SameClockSameImages) {
    const demo::SceneResult a = Render("player", 3), b = Render("player", 3);
    REQUIRE_RENDERED(a);
    ASSERT_EQ(a.frames.size(), b.frames.size());
    for (size_t i = 0; i < a.frames.size(); ++i) EXPECT_EQ(a.frames[i].image.rgba, b.frames[i].image.rgba) << i;
}

TEST(DemoTextures, LibraryPaintedTgaMatchesAnIndependentDecoder) {
    Session &s = Shared();
    const char *env = std::getenv("VESK_TESTDATA");
    const std::string root = env && *env ? env : VESK_TESTDATA_DIR;
    // Bottom-up and top-down files: the host's texture is upright either way.
    for (const char *file : {"openarena/models/players/grism/enkiskin.tga", "openarena/sprites/balloon3.tga"}) {
        SCOPED_TRACE(file);
        const std::string path = root + "/" + file;
        demo::HostTexture t;
        ASSERT_TRUE(demo::DecodeTexture(s.lib, path, &t));
        int w = 0, h = 0, n = 0;
        unsigned char *ref = stbi_load(path.c_str(), &w, &h, &n, 4);
        ASSERT_NE(ref, nullptr);
        ASSERT_EQ(t.width, static_cast<uint32_t>(w));
        ASSERT_EQ(t.height, static_cast<uint32_t>(h));
        int wrong = 0;
        for (size_t i = 0; i < t.pixels.size(); ++i) {
            const uint32_t p = t.pixels[i];
            wrong += (p & 0xff) != ref[4 * i] || ((p >> 8) & 0xff) != ref[4 * i + 1] || ((p >> 16) & 0xff) != ref[4 * i + 2];
        }
        stbi_image_free(ref);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(DemoStatic, TexCoordsReachThisProcessGlAndTheModelIsDrawn) {
    const demo::SceneResult r = Render("static", 2);
    REQUIRE_RENDERED(r);
    ASSERT_GE(r.values.size(), 2u);
    EXPECT_GT(r.values[0], 0.0f) << "no textured object to check";
    EXPECT_EQ(r.values[1], r.values[0]) << "glTexCoord2f did not receive the exported coordinates";
    for (const demo::Frame &f : r.frames) {
        int covered = 0, centre = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (!IsBackground(f.image, x, y)) {
                    ++covered;
                    centre += std::abs(x - kWidth / 2) < kWidth / 4 && std::abs(y - kHeight / 2) < kHeight / 4;
                }
        EXPECT_GT(covered, kWidth * kHeight / 20) << f.name;
        EXPECT_GT(centre, covered / 3) << f.name;  // framed on the model
    }
}

TEST(DemoLevel, FramesAreCoveredWithLitPolygons) {
    const demo::SceneResult r = Render("level", 4);
    REQUIRE_RENDERED(r);
    ASSERT_EQ(r.frames.size(), 4u);
    bool culledSome = false;
    for (const demo::Frame &f : r.frames) {
        SCOPED_TRACE(f.name);
        std::vector<int> luma;
        int lit = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t *p = f.image.At(x, y);
                lit += std::max({p[0], p[1], p[2]}) > 12;  // the clear colour is black
                luma.push_back((p[0] * 3 + p[1] * 6 + p[2]) / 10);
            }
        EXPECT_GT(lit, kWidth * kHeight * 4 / 5);
        // Baked light, not one flat colour: bright and dark parts in every view.
        std::sort(luma.begin(), luma.end());
        EXPECT_GT(luma[luma.size() * 9 / 10] - luma[luma.size() / 10], 20);
        EXPECT_GT(f.drawn, 0);
        culledSome = culledSome || f.culled > 0;
    }
    EXPECT_TRUE(culledSome) << "no view left any face out";
}

TEST(DemoWalk, BodyStaysInsideTheLevelAndCrossesNoFace) {
    const demo::SceneResult r = Render("walk", 3);
    REQUIRE_RENDERED(r);
    // Facts: level bounds, crossings counted apart from the library, then the path.
    ASSERT_GT(r.values.size(), 7u + 3u);
    ASSERT_EQ((r.values.size() - 7) % 3, 0u);
    EXPECT_EQ(r.values[6], 0.0f);
    const float *lo = &r.values[0], *hi = &r.values[3];
    float farthest = 0;
    for (size_t i = 7; i < r.values.size(); i += 3) {
        SCOPED_TRACE(i / 3 - 2);
        for (int a = 0; a < 3; ++a) {
            EXPECT_GE(r.values[i + static_cast<size_t>(a)], lo[a]);
            EXPECT_LE(r.values[i + static_cast<size_t>(a)], hi[a]);
        }
        const float dx = r.values[i] - r.values[7], dz = r.values[i + 2] - r.values[9];
        farthest = std::max(farthest, std::sqrt(dx * dx + dz * dz));
    }
    // It walked: standing still would pass the checks above trivially.
    EXPECT_GT(farthest, 64.0f);
}

TEST(DemoOctree, LightsBrightenTheModelNearThemInTheirColour) {
    const demo::SceneResult r = Render("octree", 2);
    REQUIRE_RENDERED(r);
    ASSERT_EQ(r.frames.size(), 3u);  // unlit, then lit from the same camera, then one more
    const demo::Frame &unlit = r.frames[0], &lit = r.frames[1];
    ASSERT_EQ(lit.values.size(), 9u);
    // Light k is mostly channel k (red left, green above, blue right).
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        float lx = 0, ly = 0;
        ASSERT_TRUE(demo::Project(lit.modelview, lit.projection, kWidth, kHeight, &lit.values[3 * static_cast<size_t>(k)],
                                  &lx, &ly));
        // The model pixels nearest the light on screen.
        std::vector<std::pair<float, int>> model;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (!IsBackground(lit.image, x, y))
                    model.push_back({(static_cast<float>(x) - lx) * (static_cast<float>(x) - lx) +
                                         (static_cast<float>(y) - ly) * (static_cast<float>(y) - ly),
                                     y * kWidth + x});
        ASSERT_GT(model.size(), 200u);
        std::sort(model.begin(), model.end());
        model.resize(model.size() / 6);
        double gain[3] = {0, 0, 0};
        for (const auto &m : model)
            for (int c = 0; c < 3; ++c)
                gain[c] += lit.image.rgba[static_cast<size_t>(m.second) * 4 + static_cast<size_t>(c)] -
                           unlit.image.rgba[static_cast<size_t>(m.second) * 4 + static_cast<size_t>(c)];
        for (double &g : gain) g /= static_cast<double>(model.size());
        EXPECT_GT(gain[k], 25.0);
        EXPECT_GT(gain[k], gain[(k + 1) % 3]);
        EXPECT_GT(gain[k], gain[(k + 2) % 3]);
    }
    // The walk reports triangles; a close view leaves some out.
    EXPECT_GT(lit.drawn, 0);
    EXPECT_GT(r.frames[2].culled, 0);
}

TEST(DemoHalfLife, DrawsInsideItsProjectedBox) {
    const demo::SceneResult r = Render("halflife", 2);
    REQUIRE_RENDERED(r);
    for (const demo::Frame &f : r.frames) {
        SCOPED_TRACE(f.name);
        EXPECT_GT(f.drawn, 0);
        int inside = 0, outside = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (!IsBackground(f.image, x, y))
                    (x >= f.box[0] - 1 && x <= f.box[2] + 1 && y >= f.box[1] - 1 && y <= f.box[3] + 1 ? inside : outside) += 1;
        EXPECT_EQ(outside, 0);
        EXPECT_GT(inside, (f.box[2] - f.box[0]) * (f.box[3] - f.box[1]) / 5);
    }
}

}  // namespace
