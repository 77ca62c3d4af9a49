// The level scenes: a Q3 BSP map seen from its spawn points, drawn with the
// faces the library reports visible, and a body walking through it with the
// swept-ellipsoid collision and the usual slide response.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "game_files.h"
#include "scene_util.h"
#include "walk.h"


namespace demo {
namespace {

constexpr const char *kMap = "openarena/maps/oa_dm1.bsp";

struct Spawn {
    float origin[3];  // host frame
    float yaw;        // radians, about the host's y axis, 0 = +x
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
    std::vector<Spawn> spawns;
    std::vector<int32_t> meshVertices;  // the file's triangulation of each face, read by the host
    long polygonTriangles = 0;  // triangles of every polygon face
    float mins[3] = {1e30f, 1e30f, 1e30f}, maxs[3] = {-1e30f, -1e30f, -1e30f};
};

// One lump of the file, read by the host itself: the library keeps neither
// the entities nor the mesh vertices.
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

std::vector<int32_t> ReadMeshVertices(const std::string &path) {
    const std::string bytes = ReadLump(path, 11);
    std::vector<int32_t> out(bytes.size() / 4);
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * 4);
    return out;
}

// The corners of a polygon face as a triangle list (indices into the level's
// vertices): the file's own triangulation, since a face need not be convex.
template <class Fn>
void ForEachTriangle(const Level &level, const Q3BspFace &f, Fn &&fn) {
    if (f.type != 1 || f.firstVertex < 0 || f.vertexCount < 3 || f.firstMeshVertex < 0 || f.meshVertexCount < 3 ||
        static_cast<size_t>(f.firstVertex) + static_cast<size_t>(f.vertexCount) > level.vertices.size() ||
        static_cast<size_t>(f.firstMeshVertex) + static_cast<size_t>(f.meshVertexCount) > level.meshVertices.size())
        return;
    for (int32_t k = 0; k + 2 < f.meshVertexCount; k += 3) {
        int32_t idx[3];
        bool ok = true;
        for (int c = 0; c < 3; ++c) {
            const int32_t m = level.meshVertices[static_cast<size_t>(f.firstMeshVertex + k + c)];
            ok = ok && m >= 0 && m < f.vertexCount;
            idx[c] = f.firstVertex + m;
        }
        if (ok) fn(idx);
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
    for (const Q3BspVertex &v : level->vertices) {
        const float p[3] = {v.position.x, v.position.y, v.position.z};
        for (int i = 0; i < 3; ++i) level->mins[i] = std::min(level->mins[i], p[i]), level->maxs[i] = std::max(level->maxs[i], p[i]);
    }
    level->meshVertices = ReadMeshVertices(path);
    for (const Q3BspFace &f : level->faces) ForEachTriangle(*level, f, [&](const int32_t *) { ++level->polygonTriangles; });
    level->spawns = ReadSpawns(path);
    if (level->spawns.empty()) {
        *why = "no spawn points in " + path;
        return false;
    }
    return true;
}

// The callback the level walk reports faces to.
std::vector<int32_t> *g_reported = nullptr;
void VESK_CALL CollectFace(intptr_t face) {
    if (g_reported) g_reported->push_back(static_cast<int32_t>(face));
}

// Asks the library for the faces this camera sees and draws them with the
// map's vertex colours, the light baked into the map.
void DrawVisibleFaces(Library &lib, const Level &level, const float eye[3], Frame &frame) {
    Matrix4 mv{}, pr{};
    ReadGlMatrices(&mv, &pr);
    frame.modelview = mv;
    frame.projection = pr;
    Frustum frustum{};
    Timed(frame, "frustum", [&] { lib.CalculateFrustum(&frustum, &mv, &pr); });
    std::vector<int32_t> visible;
    g_reported = &visible;
    const VeskHostCallback cell = &CollectFace;
    const Vector3 camera{eye[0], eye[1], eye[2]};
    Timed(frame, "visible faces", [&] { lib.GetQ3BSP_Process2(&camera, &frustum, &cell); });
    g_reported = nullptr;
    long drawn = 0;
    glBegin(GL_TRIANGLES);
    for (const int32_t index : visible) {
        if (index < 0 || static_cast<size_t>(index) >= level.faces.size()) continue;
        ForEachTriangle(level, level.faces[static_cast<size_t>(index)], [&](const int32_t *idx) {
            for (int c = 0; c < 3; ++c) {
                const Q3BspVertex &v = level.vertices[static_cast<size_t>(idx[c])];
                glColor3ub(v.colour[0], v.colour[1], v.colour[2]);
                glVertex3f(v.position.x, v.position.y, v.position.z);
            }
            ++drawn;
        });
    }
    glEnd();
    frame.drawn = drawn;
    frame.culled = level.polygonTriangles - drawn;
}

// --- the walk -------------------------------------------------------------

// Every polygon face as triangles, in world coordinates.
std::vector<Poly> LevelTriangles(const Level &level) {
    std::vector<Poly> polys;
    for (const Q3BspFace &f : level.faces)
        ForEachTriangle(level, f, [&](const int32_t *idx) {
            Poly p{};
            for (int c = 0; c < 3; ++c) p.corner[c].position = level.vertices[static_cast<size_t>(idx[c])].position;
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
    if (!LoadLevel(host.lib, GamePath(host.options, kMap), &level, &load, &why)) {
        result.skipped = true;
        result.note = why;
        return result;
    }
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
        DrawVisibleFaces(host.lib, level, eye, frame);
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    std::ostringstream note;
    note << kMap << ": " << level.faces.size() << " faces (" << level.polygonTriangles << " polygon triangles), "
         << level.spawns.size() << " spawn points";
    result.note = note.str();
    return result;
}

SceneResult RunWalkScene(Host &host) {
    SceneResult result;
    Level level;
    Frame load;
    std::string why;
    if (!LoadLevel(host.lib, GamePath(host.options, kMap), &level, &load, &why)) {
        result.skipped = true;
        result.note = why;
        return result;
    }
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
        DrawVisibleFaces(host.lib, level, eye, frame);
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
