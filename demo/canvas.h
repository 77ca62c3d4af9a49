// Off-screen OpenGL: one software context drawing into host memory, frames
// read back top row first, written as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demo {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // top row first
    uint8_t *At(int x, int y) { return &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4]; }
    const uint8_t *At(int x, int y) const {
        return &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
    }
};

class Canvas {
public:
    Canvas() = default;
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;
    ~Canvas();
    // Creates the context and makes it current on this thread.
    bool Open(int width, int height, std::string *error);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Clears colour and depth and resets the fixed-function state the scenes share.
    void Begin(float r, float g, float b) const;
    // The finished frame, top row first.
    Image Read() const;

private:
    void *context_ = nullptr;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> buffer_;  // bottom row first, as GL draws it
};

bool WritePng(const std::string &path, const Image &image);
// One row of frames per entry, each frame shrunk to a cell cellWidth wide.
Image ContactSheet(const std::vector<std::vector<const Image *>> &rows, int cellWidth);

// Column-major 4x4 helpers for the camera.
struct Mat4 {
    float m[16];
};
Mat4 Perspective(float fovYDegrees, float aspect, float zNear, float zFar);
Mat4 LookAt(const float eye[3], const float target[3], const float up[3]);

}  // namespace demo
