// The same files loaded side by side: the bare file read, Assimp (no
// post-processing, one importer reused), tinyobjloader and this library,
// each contender once per iteration in rotating order, so that machine noise
// falls on all of them alike. Medians and ratios come out as counters.
//
// The static loaders (3DS, OBJ, ASE) are measured as the internal load into a
// fresh model: the module-wide model of the exports only grows under 3DS and
// OBJ loads. ASE replaces the model, so its export is measured as well. The
// MD2 and MS3D exports are measured as a host calls them again and again
// ("warm": the file is unchanged, so it is not read again) and on a first
// call ("cold": the kept file dropped before each call).
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <tiny_obj_loader.h>

#include "loaders/md2.h"
#include "loaders/ms3d.h"
#include "loaders/static_model.h"

namespace {

std::string Data(const char *relative) { return std::string(VESK_TESTDATA_DIR) + "/" + relative; }

struct Contender {
    std::string name;
    std::function<bool()> load;
    std::vector<double> micros;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

// contenders[0] is this library's main entry: its time is the benchmark's.
void SideBySide(benchmark::State &state, const std::string &path, std::vector<Contender> contenders) {
    std::vector<uint8_t> raw;
    std::FILE *probe = std::fopen(path.c_str(), "rb");
    if (!probe) {
        state.SkipWithError("test file missing");
        return;
    }
    std::fseek(probe, 0, SEEK_END);
    raw.resize(static_cast<size_t>(std::ftell(probe)) + 1);
    std::fclose(probe);
    contenders.push_back({"raw", [&] {
                              std::FILE *f = std::fopen(path.c_str(), "rb");
                              if (!f) return false;
                              const size_t n = std::fread(raw.data(), 1, raw.size(), f);
                              std::fclose(f);
                              benchmark::DoNotOptimize(raw.data());
                              return n + 1 == raw.size();
                          }, {}});
    size_t round = 0;
    for (auto _ : state) {
        double mine = 0.0;
        for (size_t k = 0; k < contenders.size(); ++k) {
            const size_t which = (k + round) % contenders.size();
            Contender &c = contenders[which];
            const auto start = std::chrono::steady_clock::now();
            const bool ok = c.load();
            const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
            if (!ok) {
                state.SkipWithError((c.name + " failed").c_str());
                return;
            }
            c.micros.push_back(took.count());
            if (which == 0) mine = took.count();
        }
        state.SetIterationTime(mine * 1e-6);
        ++round;
    }
    const double vesk = Median(contenders[0].micros);
    for (const Contender &c : contenders) {
        const double m = Median(c.micros);
        state.counters[c.name + "_us"] = m;
        if (c.name == "assimp" || c.name == "tinyobj") state.counters[c.name + "/vesk"] = m / vesk;
        if (c.name == "raw") state.counters["vesk/raw"] = vesk / m;
    }
    state.counters["vesk_MB/s"] = static_cast<double>(raw.size() - 1) / vesk;
}

Assimp::Importer &Importer() {
    static Assimp::Importer importer;
    return importer;
}

Contender AssimpLoad(const std::string &path) {
    return {"assimp", [path] { return Importer().ReadFile(path, 0) != nullptr; }, {}};
}

Contender TinyObjLoad(const std::string &path) {
    return {"tinyobj", [path] {
                tinyobj::attrib_t attrib;
                std::vector<tinyobj::shape_t> shapes;
                std::vector<tinyobj::material_t> materials;
                std::string warn, err;
                const std::string dir = path.substr(0, path.find_last_of('/') + 1);
                return tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), dir.c_str());
            }, {}};
}

template <bool (*Load)(const char *, vesk::StaticModel &)>
Contender StaticLoad(const std::string &path) {
    return {"vesk", [path] {
                vesk::StaticModel model;
                const bool ok = Load(path.c_str(), model) && model.objectCount > 0;
                benchmark::DoNotOptimize(model.objects.data());
                return ok;
            }, {}};
}

void BM_Ase(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    SideBySide(state, path,
               {StaticLoad<vesk::LoadAse>(path), AssimpLoad(path),
                {"vesk_export", [path] {
                     StaticModelInfo info{};
                     Get3DS_INFO(path.c_str(), &info, 2);
                     return info.objectCount > 0;
                 }, {}}});
}

void BM_Obj(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    SideBySide(state, path, {StaticLoad<vesk::LoadObj>(path), AssimpLoad(path), TinyObjLoad(path)});
}

void BM_3ds(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    SideBySide(state, path, {StaticLoad<vesk::Load3ds>(path), AssimpLoad(path)});
}

void BM_Md2FrameZero(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    auto corners = std::make_shared<std::vector<Md2Vertex>>(3 * 65536);
    auto mesh = [path, corners] {
        int32_t count = 0;
        return GetMD2_MESH(path.c_str(), 0, corners->data(), &count) && count > 0;
    };
    SideBySide(state, path,
               {{"vesk", mesh, {}}, AssimpLoad(path), {"vesk_cold", [mesh] {
                                                            vesk::DropMd2FileCache();
                                                            return mesh();
                                                        }, {}}});
}

// Info, vertices, triangles, groups and every group's indices: what a host
// asks for to build the model.
void BM_Ms3dWhole(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    auto all = [path] {
        Ms3dInfo info{};
        if (!GetMSD3_Info(path.c_str(), &info)) return false;
        static std::vector<Ms3dVertex> vertices;
        static std::vector<Ms3dTriangle> triangles;
        static std::vector<Ms3dGroup> groups;
        static std::vector<uint32_t> indices;
        vertices.resize(static_cast<size_t>(info.vertexCount));
        triangles.resize(static_cast<size_t>(info.triangleCount));
        groups.resize(static_cast<size_t>(info.groupCount));
        indices.resize(65536);  // a group holds at most 65535 triangles
        bool ok = GetMSD3_Vertex(path.c_str(), vertices.data()) && GetMSD3_Triangles(path.c_str(), triangles.data()) &&
                  GetMSD3_Meshes(path.c_str(), groups.data());
        for (int32_t g = 0; ok && g < info.groupCount; ++g) ok = GetMSD3_MesheINDICES(path.c_str(), g, indices.data());
        return ok;
    };
    SideBySide(state, path,
               {{"vesk", all, {}}, AssimpLoad(path), {"vesk_cold", [all] {
                                                           vesk::DropMs3dFileCache();
                                                           return all();
                                                       }, {}}});
}

constexpr int kLoads = 51;
#define VESK_SIDE_BY_SIDE(fn, name, file) \
    BENCHMARK_CAPTURE(fn, name, file)->Iterations(kLoads)->UseManualTime()->Unit(benchmark::kMicrosecond)

VESK_SIDE_BY_SIDE(BM_Ase, MotionCaptureROM, "assimp/ASE/MotionCaptureROM.ase");
VESK_SIDE_BY_SIDE(BM_Obj, WusonOBJ, "assimp/OBJ/WusonOBJ.obj");
VESK_SIDE_BY_SIDE(BM_Obj, spider, "assimp/OBJ/spider.obj");
VESK_SIDE_BY_SIDE(BM_3ds, fels, "assimp/3DS/fels.3ds");
VESK_SIDE_BY_SIDE(BM_Md2FrameZero, sydney, "assimp/MD2/sydney.md2");
VESK_SIDE_BY_SIDE(BM_Ms3dWhole, Wuson, "assimp/MS3D/Wuson.ms3d");

}  // namespace
