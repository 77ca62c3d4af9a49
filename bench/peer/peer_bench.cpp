// The same files loaded side by side: the bare file read, Assimp (no
// post-processing, one importer reused), tinyobjloader and this library,
// each contender once per iteration in rotating order, so that machine noise
// falls on all of them alike. Medians and ratios come out as counters.
//
// The static loaders (3DS, OBJ, ASE) are measured as a host calls them:
// Get3DS_INFO of the library loaded by name, once for the whole run, with
// loads accumulating in its one model (3DS and OBJ loads add objects, an ASE
// load replaces them). Each file's series starts from a model that a small
// ASE load has reset and runs 100 loads; the first loads and the last ones
// are reported apart, so a cost that grows with what the model holds shows.
// The static family keeps its last file while unchanged, as it does for a
// host that places the same prop again; the "Cold" series drop it before
// each load, so that the read is in the load's time.
// The internal loads into a fresh model are kept as rows of their own. The
// MD2 and MS3D exports are measured as a host calls them again and again
// ("warm": the file is unchanged, so it is not read again) and on a first
// call ("cold": the kept file dropped before each call).
#include <VeskMathLIB.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <tiny_obj_loader.h>

#include "host_dl.h"
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

// The library as a host has it: loaded once by name, Get3DS_INFO resolved.
using InfoFn = void(VESK_CALL *)(const char *, StaticModelInfo *, int32_t);
using SetHandlerFn = void(VESK_CALL *)(VeskFileRead, VeskFileRelease);
VeskModule HostLibrary() {
    static VeskModule lib = VeskOpen((std::string(VESK_LIBRARY_DIR) + "/" + VeskLibraryName()).c_str());
    return lib;
}
InfoFn HostInfo() {
    static InfoFn info = HostLibrary() ? VeskResolve<InfoFn>(HostLibrary(), "Get3DS_INFO") : nullptr;
    return info;
}
// Setting the disk handler again drops every kept file: the next load reads.
SetHandlerFn HostSetHandler() {
    static SetHandlerFn set = HostLibrary() ? VeskResolve<SetHandlerFn>(HostLibrary(), "VeskSetFileHandler") : nullptr;
    return set;
}

// A one-object ASE file: loading it replaces whatever the model held.
const std::string &ResetFile() {
    static const std::string path = [] {
        const std::string p = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vesk_peer_reset.ase";
        if (std::FILE *f = std::fopen(p.c_str(), "wb")) {
            std::fputs("*GEOMOBJECT {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n*MESH_VERTEX 0 0 0 0\n"
                       "*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n*MESH_FACE 0: A: 0 B: 1 C: 2\n}\n",
                       f);
            std::fclose(f);
        }
        return p;
    }();
    return path;
}

constexpr int kSeries = 100;

double MedianOf(const std::vector<double> &v, size_t begin, size_t end) {
    return Median(std::vector<double>(v.begin() + static_cast<std::ptrdiff_t>(begin),
                                      v.begin() + static_cast<std::ptrdiff_t>(end)));
}

// 100 loads of one file through Get3DS_INFO into the accumulating model,
// beside the peers in rotating order. vesk_first_us: median of loads 1-5;
// vesk_last_us: median of loads 96-100; vesk_us and the ratios: all 100.
void HostSeries(benchmark::State &state, const std::string &path, int32_t type, bool withTinyObj, bool cold) {
    const InfoFn info = HostInfo();
    const SetHandlerFn setHandler = HostSetHandler();
    if (!info || !setHandler) {
        state.SkipWithError("library not loaded");
        return;
    }
    std::vector<uint8_t> raw;
    std::vector<Contender> contenders;
    int32_t objects = 0;
    contenders.push_back({"vesk", [&, info, setHandler] {
                              if (cold) setHandler(nullptr, nullptr);
                              StaticModelInfo counts{};
                              info(path.c_str(), &counts, type);
                              objects = counts.objectCount;
                              return counts.objectCount > 0;
                          }, {}});
    contenders.push_back(AssimpLoad(path));
    if (withTinyObj) contenders.push_back(TinyObjLoad(path));
    contenders.push_back({"raw", [&] {
                              std::FILE *f = std::fopen(path.c_str(), "rb");
                              if (!f) return false;
                              std::fseek(f, 0, SEEK_END);
                              raw.resize(static_cast<size_t>(std::ftell(f)) + 1);
                              std::fseek(f, 0, SEEK_SET);
                              const size_t n = std::fread(raw.data(), 1, raw.size(), f);
                              std::fclose(f);
                              benchmark::DoNotOptimize(raw.data());
                              return n + 1 == raw.size();
                          }, {}});
    for (auto _ : state) {
        StaticModelInfo reset{};
        info(ResetFile().c_str(), &reset, 2);
        if (reset.objectCount != 1) {
            state.SkipWithError("model not reset");
            return;
        }
        double total = 0.0;
        for (int k = 0; k < kSeries; ++k)
            for (size_t c = 0; c < contenders.size(); ++c) {
                Contender &who = contenders[(c + static_cast<size_t>(k)) % contenders.size()];
                const auto start = std::chrono::steady_clock::now();
                const bool ok = who.load();
                const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
                if (!ok) {
                    state.SkipWithError((who.name + " failed").c_str());
                    return;
                }
                who.micros.push_back(took.count());
                if (&who == &contenders[0]) total += took.count();
            }
        state.SetIterationTime(total * 1e-6);
    }
    const std::vector<double> &mine = contenders[0].micros;
    const double vesk = Median(mine);
    state.counters["vesk_first_us"] = MedianOf(mine, 0, 5);
    state.counters["vesk_last_us"] = MedianOf(mine, mine.size() - 5, mine.size());
    state.counters["last/first"] = state.counters["vesk_last_us"] / state.counters["vesk_first_us"];
    state.counters["vesk_us"] = vesk;
    state.counters["objects_held"] = objects;
    for (const Contender &c : contenders) {
        if (c.name == "vesk") continue;
        const double m = Median(c.micros);
        state.counters[c.name + "_us"] = m;
        if (c.name != "raw") state.counters[c.name + "/vesk"] = m / vesk;
    }
    state.counters["vesk/raw"] = vesk / state.counters["raw_us"];
}

void BM_Host3ds(benchmark::State &state, const char *relative) { HostSeries(state, Data(relative), 0, false, false); }
void BM_HostObj(benchmark::State &state, const char *relative) { HostSeries(state, Data(relative), 1, true, false); }
void BM_HostAse(benchmark::State &state, const char *relative) { HostSeries(state, Data(relative), 2, false, false); }
void BM_HostColdAse(benchmark::State &state, const char *relative) {
    HostSeries(state, Data(relative), 2, false, true);
}

#define VESK_HOST_SERIES(fn, name, file) \
    BENCHMARK_CAPTURE(fn, name, file)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
VESK_HOST_SERIES(BM_Host3ds, fels, "assimp/3DS/fels.3ds");
VESK_HOST_SERIES(BM_Host3ds, test1, "assimp/3DS/test1.3ds");
VESK_HOST_SERIES(BM_Host3ds, cubes_with_alpha, "assimp/3DS/cubes_with_alpha.3DS");
VESK_HOST_SERIES(BM_Host3ds, RotatingCube, "assimp/3DS/RotatingCube.3DS");
VESK_HOST_SERIES(BM_HostObj, WusonOBJ, "assimp/OBJ/WusonOBJ.obj");
VESK_HOST_SERIES(BM_HostObj, spider, "assimp/OBJ/spider.obj");
VESK_HOST_SERIES(BM_HostObj, box, "assimp/OBJ/box.obj");
VESK_HOST_SERIES(BM_HostAse, MotionCaptureROM, "assimp/ASE/MotionCaptureROM.ase");
VESK_HOST_SERIES(BM_HostAse, RotatingCube, "assimp/ASE/RotatingCube.ASE");
VESK_HOST_SERIES(BM_HostAse, ThreeCubesGreen, "assimp/ASE/ThreeCubesGreen.ASE");
VESK_HOST_SERIES(BM_HostAse, lamp, "openarena/models/mapobjects/lamp/lamp.ase");
VESK_HOST_SERIES(BM_HostAse, glvsh_pillar, "openarena/models/mapobjects/gaelevish/glvsh_pillar.ase");
VESK_HOST_SERIES(BM_HostAse, glvsh_teleporter, "openarena/models/mapobjects/gaelevish/glvsh_teleporter.ase");
VESK_HOST_SERIES(BM_HostAse, dm5mdl, "openarena/models/mapobjects/dm5/dm5mdl.ase");
VESK_HOST_SERIES(BM_HostAse, pitborder, "openarena/models/mapobjects/gaelevish/pitborder.ase");
VESK_HOST_SERIES(BM_HostAse, glvsh_woodbrdg, "openarena/models/mapobjects/gaelevish/glvsh_woodbrdg.ase");
// The same map objects with the kept file dropped before every load.
VESK_HOST_SERIES(BM_HostColdAse, lamp, "openarena/models/mapobjects/lamp/lamp.ase");
VESK_HOST_SERIES(BM_HostColdAse, glvsh_pillar, "openarena/models/mapobjects/gaelevish/glvsh_pillar.ase");
VESK_HOST_SERIES(BM_HostColdAse, glvsh_teleporter, "openarena/models/mapobjects/gaelevish/glvsh_teleporter.ase");
VESK_HOST_SERIES(BM_HostColdAse, dm5mdl, "openarena/models/mapobjects/dm5/dm5mdl.ase");
VESK_HOST_SERIES(BM_HostColdAse, pitborder, "openarena/models/mapobjects/gaelevish/pitborder.ase");
VESK_HOST_SERIES(BM_HostColdAse, glvsh_woodbrdg, "openarena/models/mapobjects/gaelevish/glvsh_woodbrdg.ase");

// The internal loads, each into a fresh model (no export, no module model).
void BM_InternalAse(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    SideBySide(state, path, {StaticLoad<vesk::LoadAse>(path), AssimpLoad(path)});
}

void BM_InternalObj(benchmark::State &state, const char *relative) {
    const std::string path = Data(relative);
    SideBySide(state, path, {StaticLoad<vesk::LoadObj>(path), AssimpLoad(path), TinyObjLoad(path)});
}

void BM_Internal3ds(benchmark::State &state, const char *relative) {
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

VESK_SIDE_BY_SIDE(BM_InternalAse, MotionCaptureROM, "assimp/ASE/MotionCaptureROM.ase");
VESK_SIDE_BY_SIDE(BM_InternalObj, WusonOBJ, "assimp/OBJ/WusonOBJ.obj");
VESK_SIDE_BY_SIDE(BM_InternalObj, spider, "assimp/OBJ/spider.obj");
VESK_SIDE_BY_SIDE(BM_Internal3ds, fels, "assimp/3DS/fels.3ds");
VESK_SIDE_BY_SIDE(BM_Md2FrameZero, sydney, "assimp/MD2/sydney.md2");
VESK_SIDE_BY_SIDE(BM_Ms3dWhole, Wuson, "assimp/MS3D/Wuson.ms3d");

}  // namespace
