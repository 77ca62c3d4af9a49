// Helpers the scenes share: timing of library calls, textures through the
// library's TGA painter, camera set-up and simple shading.
#pragma once

#include <GL/gl.h>

#include <chrono>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "scenes.h"

namespace demo {

// Runs fn and adds its wall time to the named call of the frame.
template <class F>
decltype(auto) Timed(Frame &frame, const char *call, F &&fn) {
    const auto start = std::chrono::steady_clock::now();
    auto add = [&] {
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        for (CallTime &c : frame.calls)
            if (c.call == call) {
                c.microseconds += us;
                return;
            }
        frame.calls.push_back({call, us});
    };
    if constexpr (std::is_void_v<decltype(fn())>) {
        fn();
        add();
    } else {
        decltype(auto) result = fn();
        add();
        return result;
    }
}

// A texture decoded into host memory: TGA by the library's painter, JPEG by
// the host's own decoder. Pixels are RGBA, top row first.
struct HostTexture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};
bool DecodeTexture(Library &lib, const std::string &path, HostTexture *out);
// Decodes and uploads; 0 when the file cannot be read.
GLuint UploadTexture(Library &lib, const std::string &path);

// Loads the camera into GL's matrices; the frustum of the frame is then
// computed from what GL reports back, as an engine does.
void SetCamera(const Mat4 &projection, const Mat4 &modelview);
void ReadGlMatrices(Matrix4 *modelview, Matrix4 *projection);
// Window pixel (x from the left, y from the top) of a world point under the GL matrices; false behind the eye.
bool Project(const Matrix4 &modelview, const Matrix4 &projection, int width, int height, const float p[3], float *x,
             float *y);

// Two-sided Lambert factor of a triangle under a fixed key light, for scenes without normals.
float FacetShade(const float a[3], const float b[3], const float c[3]);

// The spider both static-model scenes show. 3DS and OBJ loads add to the one
// static model the library keeps, so it is loaded once per process.
constexpr const char *kStaticModelFile = "assimp/OBJ/spider.obj";
bool EnsureStaticModel(Library &lib, const std::string &path, StaticModelInfo *info);
// Room the host makes when the build has no size query: no file holds more
// triangles than it has bytes.
size_t GenerousTriangles(const std::string &path);

std::string Pad2(int n);
bool FileExists(const std::string &path);

}  // namespace demo
