// The level scenes: a Q3 BSP map seen from its spawn points, every face of
// the potentially visible set the library reports drawn textured and
// lightmapped (patches tessellated by the library), and a body walking
// through a map with the swept-ellipsoid collision and the usual slide
// response.
#include <GL/gl.h>
#include <stb_image.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "game_files.h"
#include "level_textures.h"
#include "scene_util.h"
#include "walk.h"

namespace demo {
namespace {

// The level scene's map has many curved patches; the walk keeps to a map of
// flat floors and walls.
constexpr const char *kLevelMap = "openarena/maps/oa_shouse.bsp";
constexpr const char *kWalkMap = "openarena/maps/oa_dm1.bsp";
constexpr int32_t kPatchSteps = 6;
constexpr int32_t kSurfaceNoDraw = 0x80, kSurfaceNoLightmap = 0x400;

struct Spawn {
    float origin[3];  // host frame
    float yaw;        // radians, about the host's y axis, 0 = +x
};

// Where a patch face's tessellated grid lies in the level's patch arrays.
struct PatchRange {
    size_t firstVertex = 0, firstIndex = 0, indexCount = 0;
};

struct Level {
    int32_t counts[VESK_Q3BSP_COUNT_SLOTS] = {};
    std::vector<Q3BspVertex> vertices;
    std::vector<Q3BspFace> faces;
    std::vector<Q3BspLeaf> leaves;
    std::vector<int32_t> leafFaces;
    std::vector<Q3BspNode> nodes;
    std::vector<Q3BspPlane> planes;
    std::vector<uint8_t> visibility;
    int32_t bytesPerCluster = 0;
    std::vector<Spawn> spawns;
    std::vector<int32_t> meshVertices;  // the file's triangulation of polygon and mesh faces
    std::vector<VeskQ3BspTexture> textures;
    std::vector<uint8_t> lightmaps;     // 128 x 128 RGB each
    int32_t lightmapCount = 0;
    std::vector<PatchRange> patches;    // one per face; empty ranges for other faces
    std::vector<Q3BspVertex> patchVertices;
    std::vector<uint32_t> patchIndices;
    long polygonTriangles = 0;   // triangles of every polygon face
    long drawableTriangles = 0;  // triangles of every drawn face (types 1, 2, 3, not hidden)
    float mins[3] = {1e30f, 1e30f, 1e30f}, maxs[3] = {-1e30f, -1e30f, -1e30f};
};

// One lump of the file, read by the host itself: the library keeps neither
// the entities nor the visibility header.
std::string ReadLump(const std::string &path, int lump) {
    std::vector<uint8_t> file;
    int32_t header[2 + 2 * 17] = {};
    if (!Files().Read(path, file) || file.size() < sizeof header) return {};
    std::memcpy(header, file.data(), sizeof header);
    const int32_t offset = header[2 + 2 * lump], length = header[3 + 2 * lump];
    if (offset < 0 || length <= 0 || uint64_t(offset) + uint64_t(length) > file.size()) return {};
    return std::string(file.begin() + offset, file.begin() + offset + length);
}

std::vector<Spawn> ReadSpawns(const std::string &path) {
    std::vector<Spawn> spawns;
    const std::string text = ReadLump(path, 0);
    size_t pos = 0;
    while ((pos = text.find('{', pos)) != std::string::npos) {
        const size_t end = text.find('}', pos);
        if (end == std::string::npos) break;
        const std::string block = text.substr(pos, end - pos);
        pos = end;
        auto value = [&](const char *key) -> std::string {
            const std::string k = std::string("\"") + key + "\"";
            const size_t at = block.find(k);
            if (at == std::string::npos) return {};
            const size_t a = block.find('"', at + k.size());
            const size_t b = a == std::string::npos ? a : block.find('"', a + 1);
            return b == std::string::npos ? std::string() : block.substr(a + 1, b - a - 1);
        };
        if (value("classname") != "info_player_deathmatch") continue;
        float x = 0, y = 0, z = 0;
        if (std::sscanf(value("origin").c_str(), "%f %f %f", &x, &y, &z) != 3) continue;
        const float angle = std::strtof(value("angle").c_str(), nullptr);
        // The map is Z-up; the host frame takes (x, y, z) to (x, z, -y).
        spawns.push_back({{x, z, -y}, angle * 3.14159265f / 180.0f});
    }
    return spawns;
}

bool Hidden(const Level &level, const Q3BspFace &f) {
    if (f.type < 1 || f.type > 3) return true;
    const size_t t = static_cast<size_t>(f.texture);
    return t < level.textures.size() && (level.textures[t].surfaceFlags & kSurfaceNoDraw) != 0;
}

// The triangles of a face as vertex triples: polygons and meshes through the
// mesh vertices, patches through their tessellated grid. The library checked
// every offset at load.
template <class Fn>
void ForEachTriangle(const Level &level, int32_t face, Fn &&fn) {
    const Q3BspFace &f = level.faces[static_cast<size_t>(face)];
    if (f.type == 2) {
        const PatchRange &p = level.patches[static_cast<size_t>(face)];
        for (size_t k = 0; k + 2 < p.indexCount; k += 3) {
            const Q3BspVertex *v[3];
            for (size_t c = 0; c < 3; ++c) v[c] = &level.patchVertices[p.firstVertex + level.patchIndices[p.firstIndex + k + c]];
            fn(v);
        }
        return;
    }
    if (f.type != 1 && f.type != 3) return;
    for (int32_t k = 0; k + 2 < f.meshVertexCount; k += 3) {
        const Q3BspVertex *v[3];
        for (int c = 0; c < 3; ++c)
            v[c] = &level.vertices[static_cast<size_t>(f.firstVertex + level.meshVertices[static_cast<size_t>(f.firstMeshVertex + k + c)])];
        fn(v);
    }
}

bool LoadLevel(Library &lib, const std::string &path, Level *level, Frame *frame, std::string *why) {
    if (!FileExists(path)) {
        *why = path + " missing: run scripts/fetch-testdata.sh";
        return false;
    }
    if (!lib.VeskGetQ3BSP_Counts(path.c_str(), level->counts)) {
        *why = "the library refuses " + path;
        return false;
    }
    auto size = [&](int slot) { return static_cast<size_t>(std::max(0, level->counts[slot])); };
    level->vertices.resize(size(VESK_Q3BSP_VERTICES));
    level->faces.resize(size(VESK_Q3BSP_FACES));
    level->leaves.resize(size(VESK_Q3BSP_LEAVES));
    level->leafFaces.resize(size(VESK_Q3BSP_LEAF_FACES));
    level->nodes.resize(size(VESK_Q3BSP_NODES));
    level->planes.resize(size(VESK_Q3BSP_PLANES));
    level->visibility.resize(size(VESK_Q3BSP_VIS_BYTES));
    const bool ok = Timed(*frame, "load level", [&] {
        return lib.GetQ3BSP_INFO(path.c_str(), level->vertices.data(), level->faces.data(), level->leaves.data(),
                                 level->leafFaces.data(), level->nodes.data(), level->planes.data(),
                                 level->visibility.data()) != 0;
    });
    if (!ok) {
        *why = "cannot load " + path;
        return false;
    }
    // What drawing needs, each array sized by its own count call.
    level->meshVertices.resize(static_cast<size_t>(std::max(0, lib.VeskGetQ3BSP_MeshVertices(nullptr))));
    lib.VeskGetQ3BSP_MeshVertices(level->meshVertices.data());
    level->textures.resize(static_cast<size_t>(std::max(0, lib.VeskGetQ3BSP_Textures(nullptr))));
    lib.VeskGetQ3BSP_Textures(level->textures.data());
    level->lightmapCount = std::max(0, lib.VeskGetQ3BSP_Lightmaps(nullptr));
    level->lightmaps.resize(static_cast<size_t>(level->lightmapCount) * 128 * 128 * 3);
    lib.VeskGetQ3BSP_Lightmaps(level->lightmaps.data());
    const std::string vis = ReadLump(path, 16);
    if (vis.size() >= 8) std::memcpy(&level->bytesPerCluster, vis.data() + 4, 4);

    level->patches.assign(level->faces.size(), PatchRange{});
    Timed(*frame, "tessellate", [&] {
        for (size_t i = 0; i < level->faces.size(); ++i) {
            int32_t n[2] = {0, 0};
            const auto face = static_cast<int32_t>(i);
            if (level->faces[i].type != 2 || !lib.VeskTessellateQ3BSP_Patch(face, kPatchSteps, nullptr, nullptr, n))
                continue;
            PatchRange &p = level->patches[i];
            p = {level->patchVertices.size(), level->patchIndices.size(), static_cast<size_t>(n[1])};
            level->patchVertices.resize(p.firstVertex + static_cast<size_t>(n[0]));
            level->patchIndices.resize(p.firstIndex + p.indexCount);
            lib.VeskTessellateQ3BSP_Patch(face, kPatchSteps, level->patchVertices.data() + p.firstVertex,
                                          level->patchIndices.data() + p.firstIndex, n);
        }
    });
    for (const Q3BspVertex &v : level->vertices) {
        const float p[3] = {v.position.x, v.position.y, v.position.z};
        for (int i = 0; i < 3; ++i) level->mins[i] = std::min(level->mins[i], p[i]), level->maxs[i] = std::max(level->maxs[i], p[i]);
    }
    for (size_t i = 0; i < level->faces.size(); ++i) {
        long triangles = 0;
        ForEachTriangle(*level, static_cast<int32_t>(i), [&](const Q3BspVertex *const *) { ++triangles; });
        if (level->faces[i].type == 1) level->polygonTriangles += triangles;
        if (!Hidden(*level, level->faces[i])) level->drawableTriangles += triangles;
    }
    level->spawns = ReadSpawns(path);
    if (level->spawns.empty()) {
        *why = "no spawn points in " + path;
        return false;
    }
    return true;
}

// The game brightens baked light fourfold, scaling a colour that would
// overflow down as a whole so that its hue survives.
void Brighten(const uint8_t *in, uint8_t *out) {
    int c[3] = {in[0] * 4, in[1] * 4, in[2] * 4};
    const int top = std::max({c[0], c[1], c[2]});
    for (int k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(top > 255 ? c[k] * 255 / top : c[k]);
}

GLuint Upload(int width, int height, const uint8_t *rgba) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return id;
}

// The level's textures and lightmaps in GL, released with the scene.
struct LevelTextures {
    std::vector<GLuint> textures;   // per texture record; the checker where no image was found
    std::vector<GLuint> lightmaps;  // per lightmap
    GLuint checker = 0, white = 0;
    int found = 0, missing = 0;

    LevelTextures(const Level &level, const std::string &root) {
        std::vector<uint8_t> pixels(64 * 64 * 4);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const uint8_t v = ((x / 8 + y / 8) % 2) ? 200 : 60;
                uint8_t *p = &pixels[static_cast<size_t>(y * 64 + x) * 4];
                p[0] = v, p[1] = v, p[2] = v, p[3] = 255;
            }
        checker = Upload(64, 64, pixels.data());
        const uint8_t one[4] = {255, 255, 255, 255};
        white = Upload(1, 1, one);
        const GameImages images(root);  // the game folder: textures/, scripts/
        for (const VeskQ3BspTexture &t : level.textures) {
            std::vector<uint8_t> bytes;
            int w = 0, h = 0, n = 0;
            const std::string name(t.name, strnlen(t.name, sizeof t.name));
            unsigned char *rgba = images.Find(name, &bytes)
                                      ? stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &n, 4)
                                      : nullptr;
            textures.push_back(rgba ? Upload(w, h, rgba) : checker);
            ++(rgba ? found : missing);
            stbi_image_free(rgba);
        }
        for (int32_t i = 0; i < level.lightmapCount; ++i) {
            std::vector<uint8_t> rgba(128 * 128 * 4, 255);
            const uint8_t *src = &level.lightmaps[static_cast<size_t>(i) * 128 * 128 * 3];
            for (size_t p = 0; p < 128 * 128; ++p) Brighten(src + 3 * p, &rgba[4 * p]);
            lightmaps.push_back(Upload(128, 128, rgba.data()));
        }
    }
    ~LevelTextures() {
        for (GLuint id : textures)
            if (id != checker) glDeleteTextures(1, &id);
        glDeleteTextures(static_cast<GLsizei>(lightmaps.size()), lightmaps.data());
        glDeleteTextures(1, &checker);
        glDeleteTextures(1, &white);
    }
    LevelTextures(const LevelTextures &) = delete;
    LevelTextures &operator=(const LevelTextures &) = delete;
};

// The callback the level walk reports faces to.
std::vector<int32_t> *g_reported = nullptr;
void VESK_CALL CollectFace(intptr_t face) {
    if (g_reported) g_reported->push_back(static_cast<int32_t>(face));
}

// Asks the library for every face of the leaves the camera's cluster can
// see and draws each once: its texture on unit 0 modulated by the vertex
// colours of a vertex-lit face, its lightmap on unit 1.
void DrawVisibleFaces(Library &lib, const Level &level, const LevelTextures &gl, const float eye[3], Frame &frame) {
    Matrix4 mv{}, pr{};
    ReadGlMatrices(&mv, &pr);
    frame.modelview = mv;
    frame.projection = pr;
    std::vector<int32_t> reported;
    g_reported = &reported;
    const VeskHostCallback cell = &CollectFace;
    const Vector3 camera{eye[0], eye[1], eye[2]};
    Timed(frame, "visible faces", [&] {
        lib.GetQ3BSP_ProcessEX(&camera, 0, static_cast<int32_t>(level.leaves.size()), level.leaves.data(),
                               level.leafFaces.data(), level.nodes.data(), level.planes.data(),
                               level.visibility.empty() ? nullptr : level.visibility.data(), level.bytesPerCluster,
                               &cell);
    });
    g_reported = nullptr;
    std::vector<uint8_t> seen(level.faces.size(), 0);

    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glActiveTexture(GL_TEXTURE1);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    long drawn = 0, byType[3] = {0, 0, 0};
    for (const int32_t index : reported) {
        if (index < 0 || static_cast<size_t>(index) >= level.faces.size() || seen[static_cast<size_t>(index)]) continue;
        seen[static_cast<size_t>(index)] = 1;
        const Q3BspFace &f = level.faces[static_cast<size_t>(index)];
        if (Hidden(level, f)) continue;
        // A shader without light of its own (sky, lava) shows its texture as
        // it is; other faces take their lightmap or else their vertex light.
        const bool unlit = (level.textures[static_cast<size_t>(f.texture)].surfaceFlags & kSurfaceNoLightmap) != 0;
        const bool lightmapped = !unlit && f.lightmap >= 0;
        const bool vertexLit = !unlit && f.lightmap < 0;
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, gl.textures[static_cast<size_t>(f.texture)]);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, lightmapped ? gl.lightmaps[static_cast<size_t>(f.lightmap)] : gl.white);
        glBegin(GL_TRIANGLES);
        ForEachTriangle(level, index, [&](const Q3BspVertex *const *v) {
            for (int c = 0; c < 3; ++c) {
                uint8_t colour[3] = {255, 255, 255};
                if (vertexLit) Brighten(v[c]->colour, colour);
                glColor3ub(colour[0], colour[1], colour[2]);
                glMultiTexCoord2f(GL_TEXTURE0, v[c]->texCoord[0], -v[c]->texCoord[1]);
                glMultiTexCoord2f(GL_TEXTURE1, v[c]->lightmapCoord[0], v[c]->lightmapCoord[1]);
                glVertex3f(v[c]->position.x, v[c]->position.y, v[c]->position.z);
            }
            ++drawn;
            ++byType[f.type - 1];
        });
        glEnd();
    }
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    frame.drawn = drawn;
    frame.culled = level.drawableTriangles - drawn;
    frame.values = {static_cast<float>(byType[0]), static_cast<float>(byType[1]), static_cast<float>(byType[2])};
}

// --- the walk -------------------------------------------------------------

// Every polygon face as triangles, in world coordinates.
std::vector<Poly> LevelTriangles(const Level &level) {
    std::vector<Poly> polys;
    for (size_t i = 0; i < level.faces.size(); ++i) {
        const Q3BspFace &f = level.faces[i];
        if (f.type != 1) continue;
        ForEachTriangle(level, static_cast<int32_t>(i), [&](const Q3BspVertex *const *v) {
            Poly p{};
            for (int c = 0; c < 3; ++c) p.corner[c].position = v[c]->position;
            // The collision takes (b - a) x (c - a) as the side a body comes
            // from; the map winds its faces the other way round, so corners
            // are ordered by the face's normal (stored Z-up, turned here).
            const Vector3 &n = f.normal;
            const V3 facing{n.x, n.z, -n.y};
            const V3 a = Of(p.corner[0].position);
            if (Dot(Cross(Of(p.corner[1].position) - a, Of(p.corner[2].position) - a), facing) < 0)
                std::swap(p.corner[1], p.corner[2]);
            p.tag = -1;
            polys.push_back(p);
        });
    }
    return polys;
}

void DrawBody(V3 c, V3 r) {
    constexpr int kRings = 10, kSegments = 16;
    for (int i = 0; i < kRings; ++i) {
        const float a0 = 3.14159265f * static_cast<float>(i) / kRings - 1.5707963f;
        const float a1 = 3.14159265f * static_cast<float>(i + 1) / kRings - 1.5707963f;
        glBegin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= kSegments; ++j) {
            const float b = 6.2831853f * static_cast<float>(j) / kSegments;
            for (const float a : {a0, a1}) {
                const V3 n{std::cos(a) * std::cos(b), std::sin(a), std::cos(a) * std::sin(b)};
                const float shade = 0.55f + 0.45f * std::max(0.0f, Dot(n, V3{0.4f, 0.8f, 0.45f}));
                glColor3f(1.0f * shade, 0.55f * shade, 0.1f * shade);
                glVertex3f(c.x + n.x * r.x, c.y + n.y * r.y, c.z + n.z * r.z);
            }
        }
        glEnd();
    }
}
Mat4 Projection(const Canvas &canvas) {
    return Perspective(75.0f, static_cast<float>(canvas.Width()) / static_cast<float>(canvas.Height()), 4.0f, 8192.0f);
}

}  // namespace

SceneResult RunLevelScene(Host &host) {
    SceneResult result;
    Level level;
    Frame load;
    std::string why;
    if (!LoadLevel(host.lib, GamePath(host.options, kLevelMap), &level, &load, &why)) {
        result.skipped = true;
        result.note = why;
        return result;
    }
    const LevelTextures gl(level, GamePath(host.options, "openarena"));
    Canvas &canvas = host.canvas;
    const int frames = std::max(1, host.options.frames);
    for (int f = 0; f < frames; ++f) {
        if (host.progress) host.progress(host.scene, f, frames);
        Frame frame;
        frame.name = "level-" + Pad2(f);
        if (f == 0) frame.calls = load.calls;
        // Spawn points in turn; past the last one, the same points looking back.
        const Spawn &s = level.spawns[static_cast<size_t>(f) % level.spawns.size()];
        const float yaw = s.yaw + (static_cast<size_t>(f) >= level.spawns.size() ? 3.14159265f : 0.0f);
        const float eye[3] = {s.origin[0], s.origin[1] + 26.0f, s.origin[2]};
        const float target[3] = {eye[0] + std::cos(yaw), eye[1] - 0.08f, eye[2] - std::sin(yaw)}, up[3] = {0, 1, 0};
        canvas.Begin(0.0f, 0.0f, 0.0f);
        SetCamera(Projection(canvas), LookAt(eye, target, up));
        DrawVisibleFaces(host.lib, level, gl, eye, frame);
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    std::ostringstream note;
    size_t patchFaces = 0;
    for (const PatchRange &p : level.patches) patchFaces += p.indexCount > 0;
    // Scene facts: textures found and missing, patch faces and their triangles.
    result.values = {static_cast<float>(gl.found), static_cast<float>(gl.missing), static_cast<float>(patchFaces),
                     static_cast<float>(level.patchIndices.size() / 3)};
    note << kLevelMap << ": " << level.faces.size() << " faces (" << patchFaces << " patches, "
         << level.patchIndices.size() / 3 << " patch triangles), " << gl.found << " of " << level.textures.size()
         << " textures found, " << level.spawns.size() << " spawn points";
    result.note = note.str();
    return result;
}

SceneResult RunWalkScene(Host &host) {
    SceneResult result;
    Level level;
    Frame load;
    std::string why;
    if (!LoadLevel(host.lib, GamePath(host.options, kWalkMap), &level, &load, &why)) {
        result.skipped = true;
        result.note = why;
        return result;
    }
    const LevelTextures gl(level, GamePath(host.options, "openarena"));
    const std::vector<Poly> triangles = LevelTriangles(level);
    // A body the size of a player: 30 wide, 56 tall.
    const V3 radii{15.0f, 28.0f, 15.0f};
    Walker walker(host.lib, triangles, radii);
    const Spawn &start = level.spawns[host.options.seed % level.spawns.size()];
    // A little off the spawn's heading, so that a wall met on the way is slid along.
    const float heading = start.yaw + 0.4f;
    const V3 dir{std::cos(heading), 0.0f, -std::sin(heading)};
    const V3 move = dir * 8.0f, fall{0.0f, -6.0f, 0.0f};
    V3 pos{start.origin[0], start.origin[1] + 8.0f, start.origin[2]};
    std::vector<V3> path{pos};
    int crossings = 0;

    Canvas &canvas = host.canvas;
    const int frames = std::max(1, host.options.frames);
    constexpr int kStepsPerFrame = 8;
    for (int f = 0; f < frames; ++f) {
        if (host.progress) host.progress(host.scene, f, frames);
        Frame frame;
        frame.name = "walk-" + Pad2(f);
        if (f == 0) frame.calls = load.calls;
        walker.SetFrame(&frame);
        for (int step = 0; step < kStepsPerFrame; ++step) {
            const V3 next = walker.Step(pos, move, fall);
            // Checked apart from the library: the centre never crosses a face.
            for (const Poly &t : triangles) crossings += Crosses(pos, next, t);
            pos = next;
            path.push_back(pos);
        }
        // Behind and above the body, looking where it goes.
        const V3 head = pos + V3{0.0f, 20.0f, 0.0f};
        const V3 seat = walker.Reach(head, pos + V3{-dir.x * 110.0f, 50.0f, -dir.z * 110.0f}, 6.0f);
        const float eye[3] = {seat.x, seat.y, seat.z};
        const float target[3] = {pos.x + dir.x * 60.0f, pos.y, pos.z + dir.z * 60.0f}, up[3] = {0, 1, 0};
        canvas.Begin(0.0f, 0.0f, 0.0f);
        SetCamera(Projection(canvas), LookAt(eye, target, up));
        DrawVisibleFaces(host.lib, level, gl, eye, frame);
        DrawBody(pos, radii);
        glDisable(GL_DEPTH_TEST);
        glLineWidth(2.0f);
        glColor3f(1.0f, 0.95f, 0.2f);
        glBegin(GL_LINE_STRIP);
        for (const V3 &p : path) glVertex3f(p.x, p.y - radii.y + 1.0f, p.z);
        glEnd();
        glEnable(GL_DEPTH_TEST);
        frame.values = {pos.x, pos.y, pos.z};
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    // Scene facts: level bounds, wall crossings, then every centre along the path.
    result.values = {level.mins[0], level.mins[1], level.mins[2], level.maxs[0], level.maxs[1], level.maxs[2],
                     static_cast<float>(crossings)};
    for (const V3 &p : path) result.values.insert(result.values.end(), {p.x, p.y, p.z});
    std::ostringstream note;
    note << path.size() - 1 << " steps from spawn point " << host.options.seed % level.spawns.size() << ", "
         << Length(path.back() - path.front()) << " units from the start, " << crossings << " wall crossings";
    result.note = note.str();
    return result;
}

}  // namespace demo
