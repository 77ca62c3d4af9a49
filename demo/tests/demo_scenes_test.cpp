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
#include "walk.h"

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
bool LacksExports(const demo::SceneResult &r) { return r.skipped && r.note.rfind("needs ", 0) == 0; }
#define REQUIRE_RENDERED(result)                                  \
    do {                                                          \
        if (LacksExports(result)) GTEST_SKIP() << (result).note;  \
        ASSERT_FALSE((result).skipped) << (result).note;          \
    } while (0)

bool IsBackground(const Image &image, int x, int y) {
    const uint8_t *bg = image.At(0, 0), *p = image.At(x, y);
    return std::abs(p[0] - bg[0]) + std::abs(p[1] - bg[1]) + std::abs(p[2] - bg[2]) <= 3;
}

// Non-background pixels inside and outside box (x0, y0, x1, y1), widened by one pixel.
std::pair<int, int> InAndOutside(const Image &image, const int (&box)[4]) {
    int inside = 0, outside = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (!IsBackground(image, x, y))
                ++(x >= box[0] - 1 && x <= box[2] + 1 && y >= box[1] - 1 && y <= box[3] + 1 ? inside : outside);
    return {inside, outside};
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
        ASSERT_TRUE(x0 < x1 && y0 < y1);
        const auto [inside, outside] = InAndOutside(f.image, f.box);
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
        EXPECT_TRUE(bx0 <= float(f.box[0]) + 1 && by0 <= float(f.box[1]) + 1 && bx1 >= float(f.box[2]) - 1 &&
                    by1 >= float(f.box[3]) - 1)
            << bx0 << " " << by0 << " " << bx1 << " " << by1;
    }
    // The clock moves between frames, and so do the legs.
    EXPECT_GT(DifferentPixels(r.frames[0].image, r.frames[1].image), kWidth * kHeight / 200);
}

TEST(DemoScenes, SameClockSameImages) {
    int compared = 0;
    for (const demo::SceneInfo &info : demo::Scenes()) {
        SCOPED_TRACE(info.name);
        const demo::SceneResult a = Render(info.name, 2), b = Render(info.name, 2);
        if (LacksExports(a)) continue;
        ASSERT_FALSE(a.skipped) << a.note;
        ASSERT_EQ(a.frames.size(), b.frames.size());
        for (size_t i = 0; i < a.frames.size(); ++i) EXPECT_EQ(a.frames[i].image.rgba, b.frames[i].image.rgba) << i;
        ++compared;
    }
    EXPECT_GE(compared, 2);  // the player and static scenes need nothing new
}

TEST(DemoScenes, AMissingExportSkipsTheSceneWithOneLine) {
    Session &s = Shared();
    demo::Host host{s.lib, s.canvas, demo::Options{}, {}, {}};
    bool ran = false;
    static bool *ranFlag = nullptr;
    ranFlag = &ran;
    const demo::SceneInfo info{"probe", "", {"InverseSqrt", "NoSuchExport"}, [](demo::Host &) {
                                   *ranFlag = true;
                                   return demo::SceneResult{};
                               }};
    const demo::SceneResult r = demo::RunScene(host, info);
    EXPECT_TRUE(!ran && r.skipped);
    EXPECT_TRUE(r.note.rfind("needs NoSuchExport", 0) == 0 && r.note.find('\n') == std::string::npos) << r.note;
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

TEST(DemoLevel, FramesAreCoveredWithTexturedLitFacesAndPatches) {
    const demo::SceneResult r = Render("level", 4);
    REQUIRE_RENDERED(r);
    ASSERT_EQ(r.frames.size(), 4u);
    // Facts: textures found and missing, patch faces, patch triangles.
    ASSERT_EQ(r.values.size(), 4u);
    EXPECT_GT(r.values[0], 10 * r.values[1]) << "most of the map's textures are found";
    EXPECT_GT(r.values[2], 100.0f);
    EXPECT_GT(r.values[3], r.values[2] * 2) << "patches are tessellated";
    bool culledSome = false;
    float patchTriangles = 0;
    for (const demo::Frame &f : r.frames) {
        ASSERT_EQ(f.values.size(), 3u);  // triangles drawn of types 1, 2, 3
        patchTriangles += f.values[1];
        EXPECT_EQ(static_cast<long>(f.values[0] + f.values[1] + f.values[2]), f.drawn);
        SCOPED_TRACE(f.name);
        std::vector<int> luma;
        int lit = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t *p = f.image.At(x, y);
                lit += std::max({p[0], p[1], p[2]}) > 0;  // the clear colour is black
                luma.push_back((p[0] * 3 + p[1] * 6 + p[2]) / 10);
            }
        EXPECT_GT(lit, kWidth * kHeight * 4 / 5);
        // Baked light, not one flat colour: bright and dark parts in every view.
        std::sort(luma.begin(), luma.end());
        EXPECT_GT(luma[luma.size() * 9 / 10] - luma[luma.size() / 10], 20);
        // Textured, not shaded flat: neighbouring pixels differ across the frame.
        int detail = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 1; x < kWidth; ++x)
                detail += std::abs(f.image.At(x, y)[1] - f.image.At(x - 1, y)[1]) > 6;
        EXPECT_GT(detail, kWidth * kHeight / 40);
        EXPECT_GT(f.drawn, 0);
        culledSome = culledSome || f.culled > 0;
    }
    EXPECT_TRUE(culledSome) << "no view left any face out";
    EXPECT_GT(patchTriangles, 0.0f) << "no view drew a patch";
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
        const auto [inside, outside] = InAndOutside(f.image, f.box);
        EXPECT_EQ(outside, 0);
        EXPECT_GT(inside, (f.box[2] - f.box[0]) * (f.box[3] - f.box[1]) / 5);
    }
}

// Every sequence plays in turn, named in its frames' labels; the walk moves
// the figure, and the flat red, green and blue textures of its meshes show.
TEST(DemoHalfLife, PlaysEverySequenceTexturedUnderItsName) {
    const demo::SceneResult r = Render("halflife", 2);
    REQUIRE_RENDERED(r);
    std::vector<std::string> order;
    for (const demo::Frame &f : r.frames) {
        const std::string label = f.name.substr(f.name.rfind('-') + 1);
        if (order.empty() || order.back() != label) order.push_back(label);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"reference", "walk", "arms_up"}));
    ASSERT_EQ(r.frames.size(), 6u);
    int differing = 0;
    const Image &a = r.frames[2].image, &b = r.frames[3].image;  // two frames of the walk
    for (size_t i = 0; i < a.rgba.size(); ++i) differing += a.rgba[i] != b.rgba[i];
    EXPECT_GT(differing, 200);
    int dominant[3] = {0, 0, 0};
    for (size_t i = 0; i + 3 < a.rgba.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            dominant[c] += a.rgba[i + c] > 2 * a.rgba[i + (c + 1) % 3] + 20 && a.rgba[i + c] > 2 * a.rgba[i + (c + 2) % 3] + 20;
    EXPECT_GT(std::min({dominant[0], dominant[1], dominant[2]}), 100) << dominant[0] << " " << dominant[1] << " " << dominant[2];
}

TEST(DemoCanvas, ContactSheetAveragesEachFrameIntoItsRow) {
    // Two rows: one frame of four flat quadrants, then two plain frames.
    Image quad{4, 2, std::vector<uint8_t>(4 * 2 * 4, 255)}, red{4, 2, {}}, blue{4, 2, {}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t *p = quad.At(x, y);
            p[0] = static_cast<uint8_t>(x < 2 ? 0 : 200);
            p[1] = static_cast<uint8_t>(y == 0 ? 100 : 0);
            p[2] = 40;
        }
    red.rgba.assign(32, 0);
    blue.rgba.assign(32, 0);
    for (int i = 0; i < 8; ++i) red.rgba[4 * static_cast<size_t>(i)] = 250, blue.rgba[4 * static_cast<size_t>(i) + 2] = 250;
    const Image sheet = demo::ContactSheet({{&quad}, {&red, &blue}}, 2);  // cells 2 x 1
    ASSERT_EQ(sheet.width, 2 + 2 * (2 + 2));
    ASSERT_EQ(sheet.height, 2 + 2 * (1 + 2));
    // Cell pixel (0, 0) averages source x 0..1, y 0..1: red 0, green 50; then
    // the second row's cells, and background where the first row has no frame.
    const int probes[][4] = {{2, 2, 0, 0}, {2, 2, 1, 50}, {3, 2, 0, 200}, {2, 5, 0, 250}, {6, 5, 2, 250}, {6, 2, 0, 32}};
    for (const auto &p : probes) EXPECT_EQ(sheet.At(p[0], p[1])[p[2]], p[3]) << p[0] << "," << p[1] << " channel " << p[2];
}

TEST(DemoCanvas, CameraPutsItsTargetAtTheCentreAndKeepsUpUp) {
    const float eyes[][3] = {{0, 0, 10}, {5, 3, -7}, {-40, 12, 3}, {1, 100, 1}};
    const float target[3] = {1, 2, 3}, up[3] = {0, 1, 0};
    for (const auto &eye : eyes) {
        const demo::Mat4 view = demo::LookAt(eye, target, up), proj = demo::Perspective(60, 4.0f / 3.0f, 0.5f, 500);
        Matrix4 mv{}, pr{};
        std::copy_n(view.m, 16, mv.m);
        std::copy_n(proj.m, 16, pr.m);
        float x = 0, y = 0;
        ASSERT_TRUE(demo::Project(mv, pr, 160, 120, target, &x, &y));
        EXPECT_NEAR(x, 80.0f, 1e-3f);
        EXPECT_NEAR(y, 60.0f, 1e-3f);
        const float above[3] = {target[0], target[1] + 0.5f, target[2]};
        ASSERT_TRUE(demo::Project(mv, pr, 160, 120, above, &x, &y));
        EXPECT_LT(y, 60.0f);  // higher in the world, higher in the image
        const float behind[3] = {2 * eye[0] - target[0], 2 * eye[1] - target[1], 2 * eye[2] - target[2]};
        EXPECT_FALSE(demo::Project(mv, pr, 160, 120, behind, &x, &y));
    }
}

Poly Triangle(demo::V3 a, demo::V3 b, demo::V3 c) {
    Poly p{};
    p.corner[0].position = {a.x, a.y, a.z};
    p.corner[1].position = {b.x, b.y, b.z};
    p.corner[2].position = {c.x, c.y, c.z};
    return p;
}

TEST(DemoWalker, CrossesOnlyWhenTheSegmentPiercesTheTriangle) {
    const Poly t = Triangle({0, 0, 0}, {10, 0, 0}, {0, 10, 0});
    struct Case {
        demo::V3 a, b;
        bool crosses;
    } cases[] = {
        {{1, 1, -1}, {1, 1, 1}, true},    // straight through
        {{1, 1, 1}, {1, 1, -1}, true},    // either direction
        {{6, 6, -1}, {6, 6, 1}, false},   // beside the hypotenuse
        {{1, 1, 1}, {1, 1, 2}, false},    // stops short
        {{1, 1, 0}, {1, 1, 2}, false},    // starts on it
        {{-1, 1, -1}, {3, 1, 1}, true},   // slanted, through the middle
        {{-3, 1, -1}, {-1, 1, 1}, false}, // slanted, outside
    };
    for (const Case &c : cases) EXPECT_EQ(demo::Crosses(c.a, c.b, t), c.crosses) << c.a.x << " " << c.b.x;
}

TEST(DemoWalker, SlidesAlongAWallAndStaysOnTheFloor) {
    Session &s = Shared();
    if (!s.lib.CheckCollision) GTEST_SKIP() << "needs CheckCollision";
    // A floor at y = 0 facing up and a wall at x = 100 facing -x, each two triangles
    // wound so that (b - a) x (c - a) faces the body.
    const std::vector<Poly> world = {
        Triangle({-500, 0, -500}, {-500, 0, 500}, {500, 0, 500}), Triangle({-500, 0, -500}, {500, 0, 500}, {500, 0, -500}),
        Triangle({100, -50, -500}, {100, 200, 500}, {100, 200, -500}),
        Triangle({100, -50, -500}, {100, -50, 500}, {100, 200, 500})};
    for (const Poly &p : world) {
        const demo::V3 a = demo::Of(p.corner[0].position);
        const demo::V3 n = demo::Cross(demo::Of(p.corner[1].position) - a, demo::Of(p.corner[2].position) - a);
        ASSERT_GT(demo::Dot(n, demo::V3{0, 1, 0}) - demo::Dot(n, demo::V3{1, 0, 0}), 0.0f);
    }
    const demo::V3 radii{15, 28, 15};
    demo::Walker walker(s.lib, world, radii);
    demo::V3 pos{0, 30, 0};
    const demo::V3 move{8 * 0.866f, 0, 8 * 0.5f}, fall{0, -6, 0};
    for (int step = 0; step < 40; ++step) {
        SCOPED_TRACE(step);
        const demo::V3 next = walker.Step(pos, move, fall);
        for (const Poly &p : world) EXPECT_FALSE(demo::Crosses(pos, next, p));
        EXPECT_LE(next.x, 100.0f - radii.x + 0.5f);  // never into the wall
        EXPECT_GE(next.y, radii.y - 0.5f);           // never into the floor
        EXPECT_LE(next.y, 30.5f);                    // and never up
        pos = next;
    }
    // The wall stopped x; the slide kept it going along z, to rest on the floor.
    EXPECT_GT(pos.x, 100.0f - radii.x - 1.0f);
    EXPECT_GT(pos.z, 40 * 4.0f - 1.0f);
    EXPECT_NEAR(pos.y, radii.y, 1.0f);
}

TEST(DemoScenes, EveryFrameTimesTheCallsItsSceneIsAbout) {
    const std::map<std::string, std::vector<std::string>> expected = {
        {"level", {"visible faces"}}, {"player", {"pose"}},
        {"octree", {"frustum", "octree walk"}},  {"halflife", {"pose", "triangles"}},
        {"walk", {"collision", "visible faces"}}};
    for (const auto &[scene, calls] : expected) {
        SCOPED_TRACE(scene);
        const demo::SceneResult r = Render(scene.c_str(), 2);
        if (LacksExports(r)) continue;
        ASSERT_FALSE(r.skipped) << r.note;
        for (const demo::Frame &f : r.frames) {
            SCOPED_TRACE(f.name);
            for (const std::string &call : calls) {
                const auto hit = std::find_if(f.calls.begin(), f.calls.end(),
                                              [&](const demo::CallTime &c) { return c.call == call; });
                ASSERT_NE(hit, f.calls.end()) << call;
                EXPECT_GE(hit->microseconds, 0.0);
            }
            EXPECT_GE(f.culled, 0);
        }
        // Drawn and culled split the same whole in every view of the level.
        if (scene == "level") {
            EXPECT_EQ(r.frames[0].drawn + r.frames[0].culled, r.frames[1].drawn + r.frames[1].culled);
        }
    }
}

TEST(DemoCanvas, FramesReadTopRowFirstAndSurviveThePngRoundTrip) {
    Session &s = Shared();
    s.canvas.Begin(0, 0, 0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Red over the upper half of clip space, green over the lower left quarter.
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0);
    glVertex2f(-1, 0), glVertex2f(1, 0), glVertex2f(1, 1), glVertex2f(-1, 1);
    glColor3f(0, 1, 0);
    glVertex2f(-1, -1), glVertex2f(0, -1), glVertex2f(0, 0), glVertex2f(-1, 0);
    glEnd();
    const Image frame = s.canvas.Read();
    // Top: red; bottom left: green; bottom right: clear.
    EXPECT_EQ((std::vector<int>{frame.At(kWidth / 2, kHeight / 4)[0], frame.At(kWidth / 4, 3 * kHeight / 4)[1],
                                frame.At(3 * kWidth / 4, 3 * kHeight / 4)[1]}),
              (std::vector<int>{255, 255, 0}));
    const std::string path = s.out + "/roundtrip.png";
    ASSERT_TRUE(demo::WritePng(path, frame));
    int w = 0, h = 0, n = 0;
    unsigned char *back = stbi_load(path.c_str(), &w, &h, &n, 4);
    ASSERT_TRUE(back && w == kWidth && h == kHeight);
    EXPECT_TRUE(std::equal(frame.rgba.begin(), frame.rgba.end(), back));
    stbi_image_free(back);
}

}  // namespace
