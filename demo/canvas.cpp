#include "canvas.h"

#include <GL/osmesa.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>

namespace demo {

Canvas::~Canvas() {
    if (context_) OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

bool Canvas::Open(int width, int height, std::string *error) {
    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!ctx) {
        *error = "OSMesaCreateContextExt failed";
        return false;
    }
    buffer_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    if (!OSMesaMakeCurrent(ctx, buffer_.data(), GL_UNSIGNED_BYTE, width, height)) {
        OSMesaDestroyContext(ctx);
        *error = "OSMesaMakeCurrent failed";
        return false;
    }
    context_ = ctx;
    width_ = width;
    height_ = height;
    return true;
}

void Canvas::Begin(float r, float g, float b) const {
    glViewport(0, 0, width_, height_);
    glClearColor(r, g, b, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glColor4f(1, 1, 1, 1);
}

Image Canvas::Read() const {
    glFinish();
    Image image;
    image.width = width_;
    image.height = height_;
    image.rgba.resize(buffer_.size());
    const size_t row = static_cast<size_t>(width_) * 4;
    for (int y = 0; y < height_; ++y)
        std::copy_n(&buffer_[static_cast<size_t>(height_ - 1 - y) * row], row, &image.rgba[static_cast<size_t>(y) * row]);
    for (size_t i = 3; i < image.rgba.size(); i += 4) image.rgba[i] = 255;
    return image;
}

bool WritePng(const std::string &path, const Image &image) {
    return stbi_write_png(path.c_str(), image.width, image.height, 4, image.rgba.data(), image.width * 4) != 0;
}

Image ContactSheet(const std::vector<std::vector<const Image *>> &rows, int cellWidth) {
    Image sheet;
    size_t cols = 0;
    const Image *first = nullptr;
    for (const auto &row : rows) {
        cols = std::max(cols, row.size());
        if (!first && !row.empty()) first = row.front();
    }
    if (!first) return sheet;
    const int cellHeight = std::max(1, cellWidth * first->height / std::max(1, first->width));
    const int gap = 2;
    sheet.width = static_cast<int>(cols) * (cellWidth + gap) + gap;
    sheet.height = static_cast<int>(rows.size()) * (cellHeight + gap) + gap;
    sheet.rgba.assign(static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height) * 4, 32);
    for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t k = 0; k < rows[r].size(); ++k) {
            const Image &f = *rows[r][k];
            const int ox = gap + static_cast<int>(k) * (cellWidth + gap), oy = gap + static_cast<int>(r) * (cellHeight + gap);
            // Box filter: each cell pixel averages the source pixels it covers.
            for (int y = 0; y < cellHeight; ++y) {
                const int y0 = y * f.height / cellHeight, y1 = std::max(y0 + 1, (y + 1) * f.height / cellHeight);
                for (int x = 0; x < cellWidth; ++x) {
                    const int x0 = x * f.width / cellWidth, x1 = std::max(x0 + 1, (x + 1) * f.width / cellWidth);
                    unsigned sum[3] = {0, 0, 0}, n = 0;
                    for (int sy = y0; sy < y1 && sy < f.height; ++sy)
                        for (int sx = x0; sx < x1 && sx < f.width; ++sx, ++n)
                            for (int c = 0; c < 3; ++c) sum[c] += f.At(sx, sy)[c];
                    uint8_t *d = sheet.At(ox + x, oy + y);
                    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(n ? sum[c] / n : 0);
                }
            }
        }
    return sheet;
}

Mat4 Perspective(float fovYDegrees, float aspect, float zNear, float zFar) {
    const float f = 1.0f / std::tan(fovYDegrees * 3.14159265f / 360.0f);
    Mat4 p{};
    p.m[0] = f / aspect;
    p.m[5] = f;
    p.m[10] = (zFar + zNear) / (zNear - zFar);
    p.m[11] = -1.0f;
    p.m[14] = 2.0f * zFar * zNear / (zNear - zFar);
    return p;
}

Mat4 LookAt(const float eye[3], const float target[3], const float up[3]) {
    auto normalize = [](float v[3]) {
        const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (l > 0)
            for (int i = 0; i < 3; ++i) v[i] /= l;
    };
    float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    normalize(f);
    float s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
    normalize(s);
    const float u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    Mat4 m{};
    for (int i = 0; i < 3; ++i) {
        m.m[4 * i + 0] = s[i];
        m.m[4 * i + 1] = u[i];
        m.m[4 * i + 2] = -f[i];
    }
    m.m[12] = -(s[0] * eye[0] + s[1] * eye[1] + s[2] * eye[2]);
    m.m[13] = -(u[0] * eye[0] + u[1] * eye[1] + u[2] * eye[2]);
    m.m[14] = f[0] * eye[0] + f[1] * eye[1] + f[2] * eye[2];
    m.m[15] = 1.0f;
    return m;
}

}  // namespace demo
