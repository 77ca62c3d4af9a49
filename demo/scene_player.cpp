// An MD3 player with a weapon, posed by the library every frame while the
// host drives the clock: a few frames running, then a few attacking.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "game_files.h"
#include "scene_util.h"

namespace demo {
namespace {

constexpr int32_t kLegsRun = 15, kLegsIdle = 22, kTorsoStand = 11, kTorsoAttack = 7;
constexpr size_t kPartRoom = 1 << 16;  // records per part when the build has no size query
constexpr uint32_t kFrameMs = 60;

// The texture a part's skin file names first (host knowledge: the library
// keeps the names to itself). Skin paths are relative to the game's root.
std::string SkinTexture(const std::string &skinFile, const std::string &root) {
    std::vector<uint8_t> bytes;
    Files().Read(skinFile, bytes);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t comma = line.find(',');
        if (comma == std::string::npos || comma + 1 >= line.size()) continue;
        std::string path = root + "/" + line.substr(comma + 1);
        if (FileExists(path)) return path;
        // The game falls back to a JPEG of the same name.
        const size_t dot = path.rfind('.');
        if (dot != std::string::npos && FileExists(path.substr(0, dot) + ".jpg")) return path.substr(0, dot) + ".jpg";
    }
    return {};
}

struct Pose {
    std::vector<CharacterVertex> parts[4];
    int32_t counts[4] = {-1, -1, -1, -1};
    float box[6] = {};
};

void PoseOnce(Library &lib, int32_t player, Pose &pose, Frame *frame) {
    // Sized by the library's query where the build has it, generously otherwise.
    int32_t room[4] = {-1, -1, -1, -1};
    if (lib.VeskGetModelMD3counts) lib.VeskGetModelMD3counts(player, room);
    for (int p = 0; p < 4; ++p) {
        const size_t want = room[p] >= 0 ? static_cast<size_t>(room[p]) : kPartRoom;
        if (pose.parts[p].size() != want) pose.parts[p].resize(want);
        if (pose.parts[p].empty()) pose.parts[p].resize(1);  // a valid pointer for a part not drawn
    }
    for (int32_t &c : pose.counts) c = -1;
    auto call = [&] {
        lib.GetModelMD3mesh(player, pose.parts[0].data(), pose.parts[1].data(), pose.parts[2].data(),
                            pose.parts[3].data(), pose.counts, pose.box);
    };
    if (frame)
        Timed(*frame, "pose", call);
    else
        call();
}

}  // namespace

SceneResult RunPlayerScene(Host &host) {
    SceneResult result;
    Library &lib = host.lib;
    const std::string root = GamePath(host.options, "openarena");
    const std::string dir = root + "/models/players/sarge";
    const std::string weaponDir = root + "/models/weapons2/machinegun";

    const int32_t count = lib.GetModelMD3(dir.c_str());
    if (count < 1) {
        result.skipped = true;
        result.note = "cannot load the player from " + dir;
        return result;
    }
    const int32_t player = count - 1;

    // Without a weapon the third part is the head; remember its size to tell
    // it from the weapon once both hang on the upper body.
    Pose pose;
    PoseOnce(lib, player, pose, nullptr);
    const int32_t headCount = pose.counts[2];

    // The library reads a weapon's textures from name.shader beside name.md3;
    // the game's data has none, so the host serves one (or stages it on disk).
    std::string stage = weaponDir;
    if (!host.options.game.empty()) {
        Files().Add(weaponDir + "/machinegun.shader", "mgun.tga\n");
    } else {
        stage = host.options.out + "/stage/machinegun";
        std::filesystem::create_directories(stage);
        std::error_code ec;
        std::filesystem::remove(stage + "/machinegun.md3", ec);
        std::filesystem::create_symlink(weaponDir + "/machinegun.md3", stage + "/machinegun.md3", ec);
        std::ofstream(stage + "/machinegun.shader") << "mgun.tga\n";
    }
    const bool armed = lib.GetModelMD3weapon(player, stage.c_str(), "machinegun") != 0;

    GLuint textures[4] = {UploadTexture(lib, SkinTexture(dir + "/lower_default.skin", root)),
                          UploadTexture(lib, SkinTexture(dir + "/upper_default.skin", root)),
                          UploadTexture(lib, SkinTexture(dir + "/head_default.skin", root)),
                          UploadTexture(lib, weaponDir + "/mgun.tga")};

    Canvas &canvas = host.canvas;
    const int frames = std::max(2, host.options.frames);
    const int runFrames = frames / 2;
    for (int f = 0; f < frames; ++f) {
        if (host.progress) host.progress(host.scene, f, frames);
        Frame frame;
        frame.name = "player-" + Pad2(f);
        if (f == 0 || f == runFrames) {
            const bool run = f < runFrames;
            Timed(frame, "select animation", [&] {
                lib.GetModelMD3ani(player, run ? kLegsRun : kLegsIdle, run ? kTorsoStand : kTorsoAttack);
            });
        }
        SetClock(Clock() + kFrameMs);
        PoseOnce(lib, player, pose, &frame);

        // Which hanging part is the head: the one as large as the head alone was.
        int headPart = 2, weaponPart = 3;
        if (armed && pose.counts[3] == headCount && pose.counts[2] != headCount) std::swap(headPart, weaponPart);
        GLuint partTexture[4] = {textures[0], textures[1], textures[2], textures[3]};
        partTexture[headPart] = textures[2];
        partTexture[weaponPart] = textures[3];

        // Camera at the player's front left, a little above.
        const float centre[3] = {(pose.box[0] + pose.box[3]) / 2, (pose.box[1] + pose.box[4]) / 2,
                                 (pose.box[2] + pose.box[5]) / 2};
        const float eye[3] = {centre[0] + 40.0f, centre[1] + 16.0f, centre[2] - 66.0f}, up[3] = {0, 1, 0};
        canvas.Begin(0.16f, 0.18f, 0.22f);
        SetCamera(Perspective(45.0f, static_cast<float>(canvas.Width()) / static_cast<float>(canvas.Height()), 4.0f,
                              1000.0f),
                  LookAt(eye, centre, up));
        Matrix4 mv{}, pr{};
        ReadGlMatrices(&mv, &pr);
        frame.modelview = mv;
        frame.projection = pr;

        float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
        for (int p = 0; p < 4; ++p) {
            const int32_t n = pose.counts[p];
            if (n <= 0) continue;
            if (partTexture[p]) {
                glEnable(GL_TEXTURE_2D);
                glBindTexture(GL_TEXTURE_2D, partTexture[p]);
            } else {
                glDisable(GL_TEXTURE_2D);
            }
            glBegin(GL_TRIANGLES);
            const CharacterVertex *v = pose.parts[p].data();
            for (int32_t i = 0; i + 2 < n; i += 3) {
                // Records hold (x, z, y) of the posed point: the host's Y-up frame.
                const float a[3] = {v[i].x, v[i].z, v[i].y}, b[3] = {v[i + 1].x, v[i + 1].z, v[i + 1].y},
                            c[3] = {v[i + 2].x, v[i + 2].z, v[i + 2].y};
                const float s = FacetShade(a, b, c);
                glColor3f(s, s, s);
                for (const auto *q : {&v[i], &v[i + 1], &v[i + 2]}) {
                    const float pt[3] = {q->x, q->z, q->y};
                    float px, py;
                    if (Project(mv, pr, canvas.Width(), canvas.Height(), pt, &px, &py)) {
                        x0 = std::min(x0, px), y0 = std::min(y0, py), x1 = std::max(x1, px), y1 = std::max(y1, py);
                    }
                    glTexCoord2f(q->u, q->v);
                    glVertex3fv(pt);
                }
                ++frame.drawn;
            }
            glEnd();
        }
        glDisable(GL_TEXTURE_2D);
        frame.box[0] = static_cast<int>(std::floor(x0));
        frame.box[1] = static_cast<int>(std::floor(y0));
        frame.box[2] = static_cast<int>(std::ceil(x1));
        frame.box[3] = static_cast<int>(std::ceil(y1));
        // The library's own box of the pose (x, y, z in the host's frame), for the tests.
        frame.values.assign(pose.box, pose.box + 6);
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    glDeleteTextures(4, textures);
    std::ostringstream note;
    note << "sarge" << (armed ? " with machine gun" : " (weapon failed to load)") << ", " << runFrames
         << " frames running, " << frames - runFrames << " attacking";
    result.note = note.str();
    return result;
}

}  // namespace demo
