// The level scenes: a Q3 BSP map seen from its spawn points, drawn with the
// faces the library reports visible, and a body walking through it with the
// swept-ellipsoid collision and the usual slide response.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "scene_util.h"

#if VESK_DEMO_LEVEL

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
    std::ifstream in(path, std::ios::binary);
    int32_t header[2 + 2 * 17] = {};
    if (!in.read(reinterpret_cast<char *>(header), sizeof header)) return {};
    const int32_t offset = header[2 + 2 * lump], length = header[3 + 2 * lump];
    if (offset < 0 || length <= 0 || length > (1 << 26)) return {};
    std::string bytes(static_cast<size_t>(length), '\0');
    in.seekg(offset);
    if (!in.read(bytes.data(), length)) return {};
    return bytes;
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

struct V3 {
    float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Length(V3 a) { return std::sqrt(Dot(a, a)); }
V3 Scaled(V3 a, V3 r) { return {a.x * r.x, a.y * r.y, a.z * r.z}; }
V3 Unscaled(V3 a, V3 r) { return {a.x / r.x, a.y / r.y, a.z / r.z}; }
V3 Of(const Vector3 &v) { return {v.x, v.y, v.z}; }

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

struct Walker {
    Library &lib;
    const std::vector<Poly> &all;
    V3 radii;
    Frame *frame = nullptr;
    std::vector<Poly> near;  // the broad phase: triangles whose box meets the move's

    // The triangles a move from p by d (world) could touch.
    void Gather(V3 p, V3 d) {
        near.clear();
        const V3 lo{std::min(p.x, p.x + d.x) - radii.x - 1, std::min(p.y, p.y + d.y) - radii.y - 1,
                    std::min(p.z, p.z + d.z) - radii.z - 1};
        const V3 hi{std::max(p.x, p.x + d.x) + radii.x + 1, std::max(p.y, p.y + d.y) + radii.y + 1,
                    std::max(p.z, p.z + d.z) + radii.z + 1};
        for (const Poly &t : all) {
            float mn[3] = {1e30f, 1e30f, 1e30f}, mx[3] = {-1e30f, -1e30f, -1e30f};
            for (const PolyVertex &c : t.corner) {
                const float q[3] = {c.position.x, c.position.y, c.position.z};
                for (int i = 0; i < 3; ++i) mn[i] = std::min(mn[i], q[i]), mx[i] = std::max(mx[i], q[i]);
            }
            if (mx[0] >= lo.x && mn[0] <= hi.x && mx[1] >= lo.y && mn[1] <= hi.y && mx[2] >= lo.z && mn[2] <= hi.z)
                near.push_back(t);
        }
    }

    // Collide and slide in the body's unit-sphere space: move to just short
    // of the first hit, then spend what is left of the move along the plane
    // that touches the sphere there.
    V3 Slide(V3 pos, V3 vel, int depth) {
        constexpr float kVeryClose = 0.005f;
        if (depth > 5 || Length(vel) < kVeryClose * 0.1f) return pos;
        CollisionBody body{};
        body.velocity = {vel.x, vel.y, vel.z};
        body.position = {pos.x, pos.y, pos.z};
        body.radii = {radii.x, radii.y, radii.z};
        Timed(*frame, "collision", [&] { lib.CheckCollision(nullptr, &body, near.data(), static_cast<int32_t>(near.size())); });
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

    // How far toward `to` a small sphere gets from `from` (world): where the
    // follow camera may stand without looking out of a wall.
    V3 Reach(V3 from, V3 to, float radius) {
        const V3 saved = radii;
        radii = {radius, radius, radius};
        const V3 d = to - from;
        Gather(from, d);
        CollisionBody body{};
        body.velocity = {d.x / radius, d.y / radius, d.z / radius};
        body.position = {from.x / radius, from.y / radius, from.z / radius};
        body.radii = {radius, radius, radius};
        Timed(*frame, "collision", [&] { lib.CheckCollision(nullptr, &body, near.data(), static_cast<int32_t>(near.size())); });
        radii = saved;
        if (!body.collided) return to;
        const float length = Length(d);
        const float travelled = std::max(0.0f, static_cast<float>(body.distance) * radius - 2.0f);
        return from + d * (std::min(travelled, length) / length);
    }

    // One step: the walk along the ground, then gravity, each with the slide.
    V3 Step(V3 world, V3 move, V3 fall) {
        Gather(world, move);
        V3 e = Slide(Unscaled(world, radii), Unscaled(move, radii), 0);
        world = Scaled(e, radii);
        Gather(world, fall);
        e = Slide(Unscaled(world, radii), Unscaled(fall, radii), 0);
        return Scaled(e, radii);
    }
};

// True when segment a-b passes through triangle t (both ends strictly apart).
bool Crosses(V3 a, V3 b, const Poly &t) {
    const V3 p0 = Of(t.corner[0].position), p1 = Of(t.corner[1].position), p2 = Of(t.corner[2].position);
    const V3 n = Cross(p1 - p0, p2 - p0);
    const float da = Dot(a - p0, n), db = Dot(b - p0, n);
    if ((da > 0) == (db > 0) || da == 0 || db == 0) return false;
    const V3 x = a + (b - a) * (da / (da - db));
    const V3 c0 = Cross(p1 - p0, x - p0), c1 = Cross(p2 - p1, x - p1), c2 = Cross(p0 - p2, x - p2);
    return Dot(c0, n) > 0 && Dot(c1, n) > 0 && Dot(c2, n) > 0;
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
    if (!LoadLevel(host.lib, host.options.data + "/" + kMap, &level, &load, &why)) {
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
    if (!LoadLevel(host.lib, host.options.data + "/" + kMap, &level, &load, &why)) {
        result.skipped = true;
        result.note = why;
        return result;
    }
    const std::vector<Poly> triangles = LevelTriangles(level);
    // A body the size of a player: 30 wide, 56 tall.
    const V3 radii{15.0f, 28.0f, 15.0f};
    Walker walker{host.lib, triangles, radii, nullptr, {}};
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
        walker.frame = &frame;
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

#endif  // VESK_DEMO_LEVEL
