// The static model as a typical engine frame uses it: its triangles copied
// once into host records, an octree built over them, lightmaps computed under
// three coloured point lights, and every frame only what the octree walk
// reports inside the view frustum drawn, lit by those lightmaps.
#include <algorithm>
#include <set>
#include <sstream>

#include "scene_util.h"


namespace demo {
namespace {

constexpr int kTile = 16;                    // lumels per lightmap side
constexpr int kLumelBytes = kTile * kTile * 3;
constexpr uint8_t kAmbient = 48;            // what a corner no light reaches still shows

std::vector<const Poly *> *g_visible = nullptr;
void VESK_CALL CollectPoly(intptr_t poly) {
    if (g_visible) g_visible->push_back(reinterpret_cast<const Poly *>(poly));
}

// All lightmaps in one texture, one 16 x 16 tile per triangle in order.
struct Atlas {
    int tilesPerRow = 1, size = kTile;
    GLuint texture = 0;
};

Atlas UploadAtlas(const std::vector<uint8_t> &lumels, size_t triangles, bool lit) {
    Atlas atlas;
    atlas.tilesPerRow = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(triangles)))));
    atlas.size = atlas.tilesPerRow * kTile;
    std::vector<uint8_t> rgb(static_cast<size_t>(atlas.size) * static_cast<size_t>(atlas.size) * 3, kAmbient);
    if (lit)
        for (size_t t = 0; t < triangles; ++t) {
            const int tx = static_cast<int>(t) % atlas.tilesPerRow, ty = static_cast<int>(t) / atlas.tilesPerRow;
            for (int i = 0; i < kTile; ++i)
                for (int j = 0; j < kTile; ++j)
                    for (int c = 0; c < 3; ++c) {
                        // Lumel (i, j): i along the tile's u, j along its v.
                        const uint8_t v = lumels[t * kLumelBytes + static_cast<size_t>(3 * (kTile * i + j) + c)];
                        const size_t at = (static_cast<size_t>(ty * kTile + j) * static_cast<size_t>(atlas.size) +
                                           static_cast<size_t>(tx * kTile + i)) * 3 + static_cast<size_t>(c);
                        rgb[at] = static_cast<uint8_t>(std::min(255, v + kAmbient));
                    }
        }
    glGenTextures(1, &atlas.texture);
    glBindTexture(GL_TEXTURE_2D, atlas.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, atlas.size, atlas.size, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return atlas;
}

// Where corner lightmap coordinate (u2, v2) of triangle t falls in the atlas:
// lumel k samples the triangle's rectangle at k / 16.
void AtlasCoord(const Atlas &a, int32_t t, float u2, float v2, float *s, float *r) {
    const int tx = t % a.tilesPerRow, ty = t / a.tilesPerRow;
    const float lu = std::clamp(u2 * kTile, 0.5f, kTile - 0.5f), lv = std::clamp(v2 * kTile, 0.5f, kTile - 0.5f);
    *s = (static_cast<float>(tx * kTile) + lu) / static_cast<float>(a.size);
    *r = (static_cast<float>(ty * kTile) + lv) / static_cast<float>(a.size);
}

}  // namespace

SceneResult RunOctreeScene(Host &host) {
    SceneResult result;
    Library &lib = host.lib;
    const char *file = kStaticModelFile;
    const std::string path = host.options.data + "/" + file;
    if (!FileExists(path)) {
        result.skipped = true;
        result.note = path + " missing: run scripts/fetch-testdata.sh";
        return result;
    }
    StaticModelInfo info{};
    EnsureStaticModel(lib, path, &info);
    const int32_t faces = lib.VeskGet3DS_Faces ? lib.VeskGet3DS_Faces(-1) : -1;
    std::vector<Poly> polys(faces >= 0 ? static_cast<size_t>(faces) : GenerousTriangles(path));
    int32_t count = 0;
    Frame setup;
    if (!polys.empty()) Timed(setup, "mesh copy", [&] { lib.Get3DS_MESHPOLY(polys.data(), &count, 0); });
    if (count < 1) {
        result.skipped = true;
        result.note = "cannot load " + path;
        return result;
    }
    polys.resize(static_cast<size_t>(count));
    // The tag is the host's: it numbers the triangles, so a triangle the octree
    // reports from several leaves is drawn once and finds its lightmap tile.
    BoundingBox box{1e30f, 1e30f, 1e30f, -1e30f, -1e30f, -1e30f};
    for (size_t i = 0; i < polys.size(); ++i) {
        polys[i].tag = static_cast<int32_t>(i);
        for (const PolyVertex &c : polys[i].corner) {
            box.minX = std::min(box.minX, c.position.x), box.maxX = std::max(box.maxX, c.position.x);
            box.minY = std::min(box.minY, c.position.y), box.maxY = std::max(box.maxY, c.position.y);
            box.minZ = std::min(box.minZ, c.position.z), box.maxZ = std::max(box.maxZ, c.position.z);
        }
    }
    const float centre[3] = {(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2, (box.minZ + box.maxZ) / 2};
    const float radius = 0.5f * std::sqrt((box.maxX - box.minX) * (box.maxX - box.minX) +
                                          (box.maxY - box.minY) * (box.maxY - box.minY) +
                                          (box.maxZ - box.minZ) * (box.maxZ - box.minZ));

    // Red to the left, green above, blue to the right, all on the side the
    // first camera sees (record order: red, blue, green).
    const float reach = 1.0f * radius, strength = 255.0f * 0.5f * radius;
    const LightmapLight lights[3] = {
        {{centre[0] - 0.7f * radius, centre[1] + 0.2f * radius, centre[2] + 0.4f * radius}, strength, reach, 1.0f, 0.1f, 0.15f},
        {{centre[0], centre[1] + 0.7f * radius, centre[2] + 0.2f * radius}, strength, reach, 0.15f, 0.1f, 1.0f},
        {{centre[0] + 0.7f * radius, centre[1] + 0.2f * radius, centre[2] + 0.4f * radius}, strength, reach, 0.1f, 1.0f, 0.2f},
    };
    std::vector<uint8_t> lumels(polys.size() * kLumelBytes);
    Timed(setup, "lightmaps", [&] {
        lib.CreateLightmaps(static_cast<int32_t>(polys.size()), polys.data(), lights, 3, lumels.data());
    });
    Timed(setup, "octree build", [&] { lib.BuildVeskOctree(polys.data(), static_cast<int32_t>(polys.size())); });
    const Atlas lit = UploadAtlas(lumels, polys.size(), true), unlit = UploadAtlas(lumels, polys.size(), false);

    Canvas &canvas = host.canvas;
    const int frames = std::max(1, host.options.frames);
    // Frame 0 twice: without the lights and with them, from the same camera.
    for (int f = -1; f < frames; ++f) {
        if (host.progress) host.progress(host.scene, std::max(f, 0), frames);
        Frame frame;
        frame.name = f < 0 ? "octree-unlit" : "octree-" + Pad2(f);
        if (f == 0) frame.calls = setup.calls;
        const int k = std::max(f, 0);
        // Around the model and, half way, close enough that part of it leaves the view.
        const float angle = 0.3f + 6.2831853f * static_cast<float>(k) / static_cast<float>(frames);
        const float distance = radius * (k % 2 ? 1.3f : 2.2f);
        const float eye[3] = {centre[0] + distance * std::sin(angle), centre[1] + 0.8f * radius,
                              centre[2] + distance * std::cos(angle)},
                    up[3] = {0, 1, 0};
        canvas.Begin(0.10f, 0.10f, 0.12f);
        SetCamera(Perspective(45.0f, static_cast<float>(canvas.Width()) / static_cast<float>(canvas.Height()),
                              radius * 0.05f, radius * 10.0f),
                  LookAt(eye, centre, up));
        Matrix4 mv{}, pr{};
        ReadGlMatrices(&mv, &pr);
        frame.modelview = mv;
        frame.projection = pr;
        Frustum frustum{};
        Timed(frame, "frustum", [&] { lib.CalculateFrustum(&frustum, &mv, &pr); });
        std::vector<const Poly *> visible;
        g_visible = &visible;
        const VeskHostCallback cell = &CollectPoly;
        int32_t leaves = 0;
        Timed(frame, "octree walk", [&] { lib.RenderVeskOctree(&frustum, &cell, &leaves); });
        g_visible = nullptr;

        const Atlas &atlas = f < 0 ? unlit : lit;
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, atlas.texture);
        glColor3f(1, 1, 1);
        std::set<int32_t> drawn;
        glBegin(GL_TRIANGLES);
        for (const Poly *p : visible) {
            if (p->tag < 0 || static_cast<size_t>(p->tag) >= polys.size() || !drawn.insert(p->tag).second) continue;
            for (const PolyVertex &c : p->corner) {
                float s = 0, r = 0;
                AtlasCoord(atlas, p->tag, c.u2, c.v2, &s, &r);
                glTexCoord2f(s, r);
                glVertex3f(c.position.x, c.position.y, c.position.z);
            }
        }
        glEnd();
        glDisable(GL_TEXTURE_2D);
        frame.drawn = static_cast<long>(drawn.size());
        frame.culled = static_cast<long>(polys.size()) - frame.drawn;
        // Facts for the tests: the three light positions.
        for (const LightmapLight &l : lights) frame.values.insert(frame.values.end(), {l.position.x, l.position.y, l.position.z});
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    glDeleteTextures(1, &lit.texture);
    glDeleteTextures(1, &unlit.texture);
    std::ostringstream note;
    note << file << ": " << polys.size() << " triangles in the octree, 3 point lights, 16 x 16 lightmap each";
    result.note = note.str();
    return result;
}

}  // namespace demo
