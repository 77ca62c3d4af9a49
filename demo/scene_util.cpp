#include "scene_util.h"

#include "game_files.h"

#include <stb_image.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace demo {
namespace {

constexpr uint32_t kMaxTextureSide = 4096;

void VESK_CALL PaintIntoTexture(void *deviceContext, int32_t x, int32_t y, uint32_t colour) {
    auto *t = static_cast<HostTexture *>(deviceContext);
    // LoadTGA writes the size before it paints, so the first pixel sizes the texture.
    if (t->pixels.empty()) {
        if (t->width == 0 || t->height == 0 || t->width > kMaxTextureSide || t->height > kMaxTextureSide) return;
        t->pixels.assign(static_cast<size_t>(t->width) * t->height, 0xff000000u);
    }
    if (x < 1 || y < 1 || static_cast<uint32_t>(x) > t->width || static_cast<uint32_t>(y) > t->height) return;
    t->pixels[static_cast<size_t>(y - 1) * t->width + static_cast<size_t>(x - 1)] = colour | 0xff000000u;
}

bool EndsWith(const std::string &s, const char *suffix) {
    const std::string x(suffix);
    if (s.size() < x.size()) return false;
    return std::equal(x.rbegin(), x.rend(), s.rbegin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

bool DecodeTexture(Library &lib, const std::string &path, HostTexture *out) {
    *out = HostTexture{};
    if (EndsWith(path, ".tga")) {
        if (!lib.LoadTGA || !lib.VeskSetPixelHandler) return false;
        lib.VeskSetPixelHandler(&PaintIntoTexture);
        const uint32_t ok = lib.LoadTGA(path.c_str(), out, &out->width, &out->height);
        lib.VeskSetPixelHandler(nullptr);
        return ok == 1 && !out->pixels.empty();
    }
    int w = 0, h = 0, n = 0;
    std::vector<uint8_t> file;
    if (!Files().Read(path, file) || file.size() > INT32_MAX) return false;
    unsigned char *data = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
    if (!data) return false;
    out->width = static_cast<uint32_t>(w);
    out->height = static_cast<uint32_t>(h);
    out->pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    std::memcpy(out->pixels.data(), data, out->pixels.size() * 4);
    stbi_image_free(data);
    return true;
}

GLuint UploadTexture(Library &lib, const std::string &path) {
    HostTexture t;
    if (!DecodeTexture(lib, path, &t)) return 0;
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(t.width), static_cast<GLsizei>(t.height), 0,
                 GL_RGBA, GL_UNSIGNED_BYTE, t.pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return id;
}

void SetCamera(const Mat4 &projection, const Mat4 &modelview) {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection.m);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(modelview.m);
}

void ReadGlMatrices(Matrix4 *modelview, Matrix4 *projection) {
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview->m);
    glGetFloatv(GL_PROJECTION_MATRIX, projection->m);
}

bool Project(const Matrix4 &mv, const Matrix4 &pr, int width, int height, const float p[3], float *x, float *y) {
    float e[4], c[4];
    for (int r = 0; r < 4; ++r) e[r] = mv.m[r] * p[0] + mv.m[4 + r] * p[1] + mv.m[8 + r] * p[2] + mv.m[12 + r];
    for (int r = 0; r < 4; ++r) c[r] = pr.m[r] * e[0] + pr.m[4 + r] * e[1] + pr.m[8 + r] * e[2] + pr.m[12 + r] * e[3];
    if (c[3] <= 1e-6f) return false;
    *x = (c[0] / c[3] * 0.5f + 0.5f) * static_cast<float>(width);
    *y = (0.5f - c[1] / c[3] * 0.5f) * static_cast<float>(height);
    return true;
}

float FacetShade(const float a[3], const float b[3], const float c[3]) {
    const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const float l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (l <= 0) return 0.6f;
    const float key[3] = {0.48f, 0.8f, 0.36f};
    const float d = std::fabs((n[0] * key[0] + n[1] * key[1] + n[2] * key[2]) / l);
    return 0.4f + 0.6f * d;
}

bool EnsureStaticModel(Library &lib, const std::string &path, StaticModelInfo *info) {
    *info = StaticModelInfo{};
    lib.Get3DS_INFO(path.c_str(), info, 3);  // type 3 loads nothing, reports what is held
    if (info->objectCount == 0) lib.Get3DS_INFO(path.c_str(), info, 1);
    return info->objectCount > 0;
}

size_t GenerousTriangles(const std::string &path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<size_t>(size);
}

std::string Pad2(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

bool FileExists(const std::string &path) { return Files().Exists(path); }

}  // namespace demo
