// A static model from the shared static model exports, drawn plainly with
// GL lighting from the exported normals, the camera turning around it.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "scene_util.h"

namespace demo {
namespace {

struct StaticCandidate {
    const char *file;
    const char *texture;
};

}  // namespace

SceneResult RunStaticScene(Host &host) {
    SceneResult result;
    Library &lib = host.lib;
    const StaticCandidate model{kStaticModelFile, "assimp/OBJ/SpiderTex.jpg"};
    const std::string path = host.options.data + "/" + model.file;
    if (!FileExists(path)) {
        result.skipped = true;
        result.note = path + " missing: run scripts/fetch-testdata.sh";
        return result;
    }
    StaticModelInfo info{};
    if (!EnsureStaticModel(lib, path, &info)) {
        result.skipped = true;
        result.note = "cannot load " + path;
        return result;
    }

    // Every object's corners, copied once; Get3DS_MESH also sets GL's current
    // texture coordinate as it copies, which the host checks reached GL.
    const size_t room = 3 * GenerousTriangles(path);
    std::vector<std::vector<PolyVertex>> objects;
    BoundingBox all{1e30f, 1e30f, 1e30f, -1e30f, -1e30f, -1e30f};
    int texturedChecks = 0, texturedAgree = 0;
    Frame load;
    for (int32_t o = 0; o < info.objectCount; ++o) {
        const int32_t faces = lib.VeskGet3DS_Faces ? lib.VeskGet3DS_Faces(o) : -1;
        std::vector<PolyVertex> corners(faces >= 0 ? 3 * static_cast<size_t>(faces) + 1 : room);
        for (PolyVertex &c : corners) c.u = c.v = std::nanf("");  // untouched when untextured
        int32_t count = 0;
        BoundingBox box{};
        glTexCoord2f(-7.0f, -7.0f);
        Timed(load, "mesh copy", [&] { lib.Get3DS_MESH(0, o, corners.data(), &count, &box, 0); });
        corners.resize(static_cast<size_t>(std::max(0, count)));
        if (count > 0 && !std::isnan(corners.back().u)) {
            float current[4] = {};
            glGetFloatv(GL_CURRENT_TEXTURE_COORDS, current);
            ++texturedChecks;
            if (current[0] == corners.back().u && current[1] == -corners.back().v) ++texturedAgree;
        }
        all.minX = std::min(all.minX, box.minX), all.minY = std::min(all.minY, box.minY);
        all.minZ = std::min(all.minZ, box.minZ), all.maxX = std::max(all.maxX, box.maxX);
        all.maxY = std::max(all.maxY, box.maxY), all.maxZ = std::max(all.maxZ, box.maxZ);
        objects.push_back(std::move(corners));
    }
    const GLuint texture = UploadTexture(lib, host.options.data + "/" + model.texture);

    const float centre[3] = {(all.minX + all.maxX) / 2, (all.minY + all.maxY) / 2, (all.minZ + all.maxZ) / 2};
    const float radius = 0.5f * std::sqrt((all.maxX - all.minX) * (all.maxX - all.minX) +
                                          (all.maxY - all.minY) * (all.maxY - all.minY) +
                                          (all.maxZ - all.minZ) * (all.maxZ - all.minZ));
    Canvas &canvas = host.canvas;
    const int frames = std::max(1, host.options.frames);
    for (int f = 0; f < frames; ++f) {
        if (host.progress) host.progress(host.scene, f, frames);
        Frame frame;
        frame.name = "static-" + Pad2(f);
        if (f == 0) frame.calls = load.calls;
        const float angle = 0.6f + 6.2831853f * static_cast<float>(f) / static_cast<float>(frames);
        const float eye[3] = {centre[0] + 2.3f * radius * std::sin(angle), centre[1] + 0.9f * radius,
                              centre[2] + 2.3f * radius * std::cos(angle)},
                    up[3] = {0, 1, 0};
        canvas.Begin(0.14f, 0.15f, 0.17f);
        SetCamera(Perspective(40.0f, static_cast<float>(canvas.Width()) / static_cast<float>(canvas.Height()),
                              radius * 0.1f, radius * 10.0f),
                  LookAt(eye, centre, up));
        // A light that stays with the eye, so the visible side is lit.
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_NORMALIZE);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        const float lightPos[4] = {eye[0], eye[1] + radius, eye[2], 1.0f}, white[4] = {0.9f, 0.9f, 0.9f, 1},
                    ambient[4] = {0.25f, 0.25f, 0.25f, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, lightPos);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glColor3f(0.85f, 0.82f, 0.75f);
        for (const auto &corners : objects) {
            const bool textured = texture && !corners.empty() && !std::isnan(corners[0].u);
            if (textured) {
                glEnable(GL_TEXTURE_2D);
                glBindTexture(GL_TEXTURE_2D, texture);
            }
            glBegin(GL_TRIANGLES);
            for (const PolyVertex &c : corners) {
                glNormal3f(c.normal.x, c.normal.y, c.normal.z);
                // The export negates v; texture rows here run top first, as v counts from the bottom.
                if (textured) glTexCoord2f(c.u, 1.0f + c.v);
                glVertex3f(c.position.x, c.position.y, c.position.z);
            }
            glEnd();
            glDisable(GL_TEXTURE_2D);
            frame.drawn += static_cast<long>(corners.size() / 3);
        }
        glDisable(GL_LIGHTING);
        glDisable(GL_COLOR_MATERIAL);
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    if (texture) glDeleteTextures(1, &texture);
    result.values = {static_cast<float>(texturedChecks), static_cast<float>(texturedAgree)};
    std::ostringstream note;
    note << model.file << ": " << info.objectCount << " objects; texture coordinates reached GL for " << texturedAgree
         << " of " << texturedChecks << " textured objects";
    result.note = note.str();
    return result;
}

}  // namespace demo
