// A Half-Life model posed by the library's skeletal animation while the host
// drives the clock, drawn from the triangle list the library derives from the
// model's strips and fans.
#include <algorithm>
#include <sstream>

#include "scene_util.h"


namespace demo {

SceneResult RunHalfLifeScene(Host &host) {
    SceneResult result;
    Library &lib = host.lib;
    const char *file = "assimp/MDL/MDL (HL1)/man.mdl";
    const std::string path = host.options.data + "/" + file;
    if (!FileExists(path)) {
        result.skipped = true;
        result.note = path + " missing: run scripts/fetch-testdata.sh";
        return result;
    }
    int32_t textures = 0;  // they live in manT.mdl; the demo draws the model untextured
    const int32_t model = lib.GetmodelMDL(path.c_str(), &textures) - 1;
    int32_t sizes[2] = {0, 0};
    lib.VeskGetModelMDLcounts(model, sizes);
    if (model < 0 || sizes[0] <= 0 || sizes[1] <= 0) {
        result.skipped = true;
        result.note = "cannot load " + path;
        return result;
    }
    std::vector<CharacterVertex> records;
    std::vector<uint32_t> indices;
    constexpr uint32_t kFrameMs = 80;

    Canvas &canvas = host.canvas;
    const int frames = std::max(2, host.options.frames);
    for (int f = 0; f < frames; ++f) {
        if (host.progress) host.progress(host.scene, f, frames);
        Frame frame;
        frame.name = "halflife-" + Pad2(f);
        SetClock(Clock() + kFrameMs);
        lib.VeskGetModelMDLcounts(model, sizes);
        records.assign(static_cast<size_t>(std::max(0, sizes[0])), CharacterVertex{});
        indices.assign(static_cast<size_t>(std::max(0, sizes[1])), 0);
        int32_t written = 0, indexCount = 0;
        Timed(frame, "pose", [&] { lib.GetModelMDLmesh(model, records.data(), &written); });
        Timed(frame, "triangles", [&] { lib.VeskGetModelMDLtriangles(model, indices.data(), &indexCount); });
        written = std::clamp(written, 0, static_cast<int32_t>(records.size()));
        indexCount = std::clamp(indexCount, 0, static_cast<int32_t>(indices.size()));

        // Records hold (x, z, y) of the posed point: the host's Y-up frame.
        float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
        for (int32_t i = 0; i < written; ++i) {
            const CharacterVertex &v = records[static_cast<size_t>(i)];
            const float p[3] = {v.x, v.z, v.y};
            for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
        }
        const float centre[3] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
        const float height = std::max(1.0f, hi[1] - lo[1]);
        // Half-Life models face +x; the camera stands at their front left.
        const float eye[3] = {centre[0] + 1.2f * height, centre[1] + 0.15f * height, centre[2] + 1.0f * height},
                    up[3] = {0, 1, 0};
        canvas.Begin(0.17f, 0.16f, 0.14f);
        SetCamera(Perspective(40.0f, static_cast<float>(canvas.Width()) / static_cast<float>(canvas.Height()),
                              height * 0.05f, height * 20.0f),
                  LookAt(eye, centre, up));
        Matrix4 mv{}, pr{};
        ReadGlMatrices(&mv, &pr);
        frame.modelview = mv;
        frame.projection = pr;
        float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
        glBegin(GL_TRIANGLES);
        for (int32_t i = 0; i + 2 < indexCount; i += 3) {
            float p[3][3];
            bool ok = true;
            for (int c = 0; c < 3; ++c) {
                const uint32_t k = indices[static_cast<size_t>(i + c)];
                ok = ok && k < static_cast<uint32_t>(written);
                if (!ok) break;
                const CharacterVertex &v = records[k];
                p[c][0] = v.x, p[c][1] = v.z, p[c][2] = v.y;
            }
            if (!ok) continue;
            const float s = FacetShade(p[0], p[1], p[2]);
            glColor3f(0.82f * s, 0.7f * s, 0.55f * s);
            for (const auto &q : p) {
                float px, py;
                if (Project(mv, pr, canvas.Width(), canvas.Height(), q, &px, &py))
                    x0 = std::min(x0, px), y0 = std::min(y0, py), x1 = std::max(x1, px), y1 = std::max(y1, py);
                glVertex3fv(q);
            }
            ++frame.drawn;
        }
        glEnd();
        frame.box[0] = static_cast<int>(std::floor(x0));
        frame.box[1] = static_cast<int>(std::floor(y0));
        frame.box[2] = static_cast<int>(std::ceil(x1));
        frame.box[3] = static_cast<int>(std::ceil(y1));
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    std::ostringstream note;
    // The mesh export plays sequence 0, which in this file is the still
    // reference pose, so its frames agree.
    note << file << ": " << sizes[0] << " command vertices, " << sizes[1] / 3 << " triangles, sequence 0 posed";
    result.note = note.str();
    return result;
}

}  // namespace demo
