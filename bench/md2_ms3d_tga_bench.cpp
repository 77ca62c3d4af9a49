// Whole-call costs of the MD2, MS3D and TGA readers on real files.
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "loaders/md2.h"
#include "support/md2_reference.h"
#include "loaders/tga.h"
#include "support/test_support.h"

namespace {

std::string Data(const char *relative) { return std::string(VESK_TESTDATA_DIR) + "/" + relative; }

void BM_Md2MeshOneFrame(benchmark::State &state) {
    const std::string path = Data("assimp/MD2/sydney.md2");
    std::vector<Md2Vertex> vertices(3 * 4096);
    int32_t count = 0;
    for (auto _ : state) {
        if (!GetMD2_MESH(path.c_str(), 100, vertices.data(), &count)) state.SkipWithError("sydney.md2 not read");
        benchmark::DoNotOptimize(vertices.data());
    }
    state.counters["corners"] = count;
}
BENCHMARK(BM_Md2MeshOneFrame)->Unit(benchmark::kMicrosecond);

// The same work on bytes already in memory: what the parse costs without the file read.
void BM_Md2MeshOneFrameInMemory(benchmark::State &state) {
    const std::vector<uint8_t> bytes = vesk::test::ReadAll(Data("assimp/MD2/sydney.md2"));
    for (auto _ : state) {
        vesk::Md2File file;
        if (file.Open(bytes) != vesk::Md2Status::Ok) state.SkipWithError("sydney.md2 not read");
        vesk::StaticObject shared, frame;
        vesk::reference::ReadMd2Shared(file, shared);
        vesk::reference::ReadMd2Frame(file, 100, frame);
        std::vector<Md2Vertex> out(3 * shared.faces.size());
        vesk::reference::WriteMd2Mesh(shared, frame, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Md2MeshOneFrameInMemory)->Unit(benchmark::kMicrosecond);

void BM_Ms3dTriangles(benchmark::State &state) {
    const std::string path = Data("assimp/MS3D/Wuson.ms3d");
    Ms3dInfo info{};
    if (!GetMSD3_Info(path.c_str(), &info)) {
        state.SkipWithError("Wuson.ms3d not read");
        return;
    }
    std::vector<Ms3dTriangle> triangles(static_cast<size_t>(info.triangleCount));
    for (auto _ : state) {
        GetMSD3_Triangles(path.c_str(), triangles.data());
        benchmark::DoNotOptimize(triangles.data());
    }
    state.counters["triangles"] = info.triangleCount;
}
BENCHMARK(BM_Ms3dTriangles)->Unit(benchmark::kMicrosecond);

void VESK_CALL IgnorePixel(void *, int32_t, int32_t, uint32_t) {}

void BM_LoadTgaLargest(benchmark::State &state) {
    // 512 x 512, 32 bits, uncompressed: the largest TGA of the test data.
    const std::string path = Data("openarena/models/weapons2/railgun/skin.tga");
    VeskSetPixelHandler(&IgnorePixel);
    uint32_t width = 0, height = 0;
    for (auto _ : state) {
        if (!LoadTGA(path.c_str(), nullptr, &width, &height)) state.SkipWithError("skin.tga not read");
    }
    VeskSetPixelHandler(nullptr);
    state.counters["pixels"] = static_cast<double>(width) * height;
}
BENCHMARK(BM_LoadTgaLargest)->Unit(benchmark::kMicrosecond);

void BM_PaintTgaLargestInMemory(benchmark::State &state) {
    const std::vector<uint8_t> bytes = vesk::test::ReadAll(Data("openarena/models/weapons2/railgun/skin.tga"));
    vesk::TgaHeader header;
    if (!vesk::ReadTgaHeader(bytes, header)) {
        state.SkipWithError("skin.tga not read");
        return;
    }
    VeskSetPixelHandler(&IgnorePixel);
    for (auto _ : state) benchmark::DoNotOptimize(vesk::PaintTga(bytes, header, nullptr));
    VeskSetPixelHandler(nullptr);
}
BENCHMARK(BM_PaintTgaLargestInMemory)->Unit(benchmark::kMicrosecond);

}  // namespace
