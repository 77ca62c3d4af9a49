// A Half-Life model playing each of its sequences in turn while the host
// drives the clock and turns it: drawn mesh by mesh with the library's
// triangle list, each mesh with its texture, lit per vertex.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <sstream>

#include "scene_util.h"

namespace demo {
namespace {

// Per-record normals of the posed mesh: face normals summed over every
// record at the same position, so strips and fans meet smoothly.
std::vector<std::array<float, 3>> VertexNormals(const std::vector<CharacterVertex> &records, int32_t written,
                                                const std::vector<uint32_t> &indices, int32_t indexCount) {
    std::map<std::array<float, 3>, std::array<float, 3>> sums;
    auto at = [&](uint32_t k) {
        const CharacterVertex &v = records[k];
        return std::array<float, 3>{v.x, v.z, v.y};
    };
    for (int32_t i = 0; i + 2 < indexCount; i += 3) {
        const auto a = at(indices[static_cast<size_t>(i)]), b = at(indices[static_cast<size_t>(i + 1)]),
                   c = at(indices[static_cast<size_t>(i + 2)]);
        const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const std::array<float, 3> n{u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        for (const auto &p : {a, b, c}) {
            auto &s = sums[p];
            for (int k = 0; k < 3; ++k) s[k] += n[k];
        }
    }
    std::vector<std::array<float, 3>> normals(static_cast<size_t>(written));
    for (int32_t i = 0; i < written; ++i) {
        auto n = sums[at(static_cast<uint32_t>(i))];
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 0) n = {n[0] / length, n[1] / length, n[2] / length};
        normals[static_cast<size_t>(i)] = n;
    }
    return normals;
}

}  // namespace

SceneResult RunHalfLifeScene(Host &host) {
    SceneResult result;
    Library &lib = host.lib;
    // The most animated model of the test data: eight bones, three sequences.
    const char *file = "assimp/MDL/MDL (HL1)/man.mdl";
    const std::string path = host.options.data + "/" + file;
    if (!FileExists(path)) {
        result.skipped = true;
        result.note = path + " missing: run scripts/fetch-testdata.sh";
        return result;
    }
    int32_t textures = 0;  // 0: they live in manT.mdl, which the texture query reads
    const int32_t model = lib.GetmodelMDL(path.c_str(), &textures) - 1;
    int32_t sizes[2] = {0, 0};
    lib.VeskGetModelMDLcounts(model, sizes);
    const int32_t sequenceCount = lib.VeskGetModelMDLsequences(model, nullptr);
    if (model < 0 || sizes[0] <= 0 || sizes[1] <= 0 || sequenceCount <= 0) {
        result.skipped = true;
        result.note = "cannot load " + path;
        return result;
    }
    std::vector<VeskMdlSequence> sequences(static_cast<size_t>(sequenceCount));
    lib.VeskGetModelMDLsequences(model, sequences.data());
    std::vector<GLuint> ids(static_cast<size_t>(std::max(0, lib.VeskGetModelMDLtexture(model, -1, nullptr, nullptr))));
    for (size_t t = 0; t < ids.size(); ++t) {
        int32_t size[2] = {0, 0};
        lib.VeskGetModelMDLtexture(model, static_cast<int32_t>(t), nullptr, size);
        std::vector<uint8_t> rgba(4 * static_cast<size_t>(std::max(0, size[0]) * std::max(0, size[1])));
        lib.VeskGetModelMDLtexture(model, static_cast<int32_t>(t), rgba.data(), size);
        glGenTextures(1, &ids[t]);
        glBindTexture(GL_TEXTURE_2D, ids[t]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        // Row 0 is the file's first row, where t (and so v) is 0.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size[0], size[1], 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    std::vector<int32_t> ranges(3 * static_cast<size_t>(std::max(0, lib.VeskGetModelMDLmeshes(model, nullptr))));
    const int32_t meshes = lib.VeskGetModelMDLmeshes(model, ranges.data());

    std::vector<CharacterVertex> records;
    std::vector<uint32_t> indices;
    constexpr uint32_t kFrameMs = 80;
    const int perSequence = std::max(2, (host.options.frames + sequenceCount - 1) / sequenceCount);
    const int frames = perSequence * sequenceCount;
    Canvas &canvas = host.canvas;
    for (int f = 0; f < frames; ++f) {
        if (host.progress) host.progress(host.scene, f, frames);
        const int32_t sequence = f / perSequence;
        // The sequence's name labels the frame (and names its file).
        std::string name(sequences[static_cast<size_t>(sequence)].name);
        for (char &c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') c = '_';
        if (f % perSequence == 0) lib.VeskSetModelMDLsequence(model, sequence);
        Frame frame;
        frame.name = "halflife-" + Pad2(f) + "-" + (name.empty() ? "sequence" + std::to_string(sequence) : name);
        SetClock(Clock() + kFrameMs);
        lib.VeskGetModelMDLcounts(model, sizes);
        records.assign(static_cast<size_t>(std::max(0, sizes[0])), CharacterVertex{});
        indices.assign(static_cast<size_t>(std::max(0, sizes[1])), 0);
        int32_t written = 0, indexCount = 0;
        Timed(frame, "pose", [&] { lib.GetModelMDLmesh(model, records.data(), &written); });
        Timed(frame, "triangles", [&] { lib.VeskGetModelMDLtriangles(model, indices.data(), &indexCount); });
        written = std::clamp(written, 0, static_cast<int32_t>(records.size()));
        indexCount = std::clamp(indexCount, 0, static_cast<int32_t>(indices.size()));
        for (int32_t i = 0; i < indexCount; ++i)
            if (indices[static_cast<size_t>(i)] >= static_cast<uint32_t>(written)) indexCount = i - i % 3;
        const auto normals = VertexNormals(records, written, indices, indexCount);

        // Records hold (x, z, y) of the posed point: the host's Y-up frame.
        float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
        for (int32_t i = 0; i < written; ++i) {
            const CharacterVertex &v = records[static_cast<size_t>(i)];
            const float p[3] = {v.x, v.z, v.y};
            for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
        }
        const float centre[3] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
        const float height = std::max(1.0f, hi[1] - lo[1]);
        // The camera circles the model: a quarter turn over the whole scene,
        // starting at its front left (the model faces +x).
        const float angle = 0.7f + 1.6f * static_cast<float>(f) / static_cast<float>(std::max(1, frames - 1));
        const float eye[3] = {centre[0] + 1.6f * height * std::cos(angle), centre[1] + 0.15f * height,
                              centre[2] + 1.6f * height * std::sin(angle)},
                    up[3] = {0, 1, 0};
        canvas.Begin(0.17f, 0.16f, 0.14f);
        SetCamera(Perspective(40.0f, static_cast<float>(canvas.Width()) / static_cast<float>(canvas.Height()),
                              height * 0.05f, height * 20.0f),
                  LookAt(eye, centre, up));
        Matrix4 mv{}, pr{};
        ReadGlMatrices(&mv, &pr);
        frame.modelview = mv;
        frame.projection = pr;
        // Key light from above the camera's side, plus ambient.
        const float light[3] = {0.45f * std::cos(angle + 0.5f), 0.75f, 0.45f * std::sin(angle + 0.5f)};
        float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
        glEnable(GL_TEXTURE_2D);
        for (int32_t m = 0; m < meshes; ++m) {
            const int32_t first = ranges[3 * static_cast<size_t>(m)], count = ranges[3 * static_cast<size_t>(m) + 1];
            const int32_t texture = ranges[3 * static_cast<size_t>(m) + 2];
            glBindTexture(GL_TEXTURE_2D, texture >= 0 && static_cast<size_t>(texture) < ids.size() ? ids[static_cast<size_t>(texture)] : 0);
            glBegin(GL_TRIANGLES);
            for (int32_t i = std::max(0, first); i < std::min(indexCount, first + count); ++i) {
                const uint32_t k = indices[static_cast<size_t>(i)];
                const CharacterVertex &v = records[k];
                const auto &n = normals[k];
                const float lit = 0.35f + 0.65f * std::fabs(n[0] * light[0] + n[1] * light[1] + n[2] * light[2]);
                glColor3f(lit, lit, lit);
                glTexCoord2f(v.u, v.v);
                const float q[3] = {v.x, v.z, v.y};
                float px, py;
                if (Project(mv, pr, canvas.Width(), canvas.Height(), q, &px, &py))
                    x0 = std::min(x0, px), y0 = std::min(y0, py), x1 = std::max(x1, px), y1 = std::max(y1, py);
                glVertex3fv(q);
                if (i % 3 == 2) ++frame.drawn;
            }
            glEnd();
        }
        glDisable(GL_TEXTURE_2D);
        frame.box[0] = static_cast<int>(std::floor(x0));
        frame.box[1] = static_cast<int>(std::floor(y0));
        frame.box[2] = static_cast<int>(std::ceil(x1));
        frame.box[3] = static_cast<int>(std::ceil(y1));
        frame.values = {static_cast<float>(sequence)};
        frame.image = canvas.Read();
        result.frames.push_back(std::move(frame));
    }
    if (!ids.empty()) glDeleteTextures(static_cast<GLsizei>(ids.size()), ids.data());
    std::ostringstream note;
    note << file << ": " << sizes[0] << " command vertices, " << sizes[1] / 3 << " triangles in " << meshes
         << " meshes, " << ids.size() << " textures; sequences";
    for (const VeskMdlSequence &s : sequences) note << " " << s.name << " (" << s.frameCount << " frames)";
    result.note = note.str();
    return result;
}

}  // namespace demo
