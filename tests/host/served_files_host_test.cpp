// A host that serves the game's files itself (archives, memory) through the
// file handler gets, for every loader, what the same files give from disk:
// whole, damaged, or with any file the loader asks for missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <VeskMathLIB.h>

#include "golden_calls.h"
#include "host_dl.h"
#include "support/sized_output.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using vesk::test::DataPath;
using vesk::test::ReadAll;
using vesk_golden::Filled;
using vesk_golden::Hash;

// The host's side: files by full name, read counts, and what was asked.
struct Host {
    std::map<std::string, std::vector<uint8_t>> files;
    std::map<std::string, bool> odd;  // answered as missing (false) or with a size no file has (true)
    std::string root;                 // spelled <root> in the messages hashed
    std::vector<std::string> asked;
    bool stable = false;  // serve the stored bytes (same address every read) or a fresh copy
    int reads = 0, releases = 0;
    Hash *messages = nullptr;
};
Host g_host;

VeskBool VESK_CALL Read(const char *path, const void **bytes, uint32_t *size, void **handle) {
    g_host.asked.push_back(path);
    const auto it = g_host.files.find(path);
    const auto odd = g_host.odd.find(path);
    if (it == g_host.files.end() || (odd != g_host.odd.end() && !odd->second)) return 0;
    ++g_host.reads;
    if (g_host.stable || odd != g_host.odd.end()) {
        *bytes = it->second.data();
        *handle = nullptr;
    } else {
        auto *copy = new std::vector<uint8_t>(it->second);
        *bytes = copy->data();
        *handle = copy;
    }
    *size = odd != g_host.odd.end() ? 0xFFFFFFF0u : static_cast<uint32_t>(it->second.size());
    return 1;
}

void VESK_CALL Release(void *handle) {
    ++g_host.releases;
    delete static_cast<std::vector<uint8_t> *>(handle);
}

void VESK_CALL Message(const char *caption, const char *text) {
    if (!g_host.messages) return;
    std::string line = std::string(caption) + ": " + text;
    for (size_t at; !g_host.root.empty() && (at = line.find(g_host.root)) != std::string::npos;)
        line.replace(at, g_host.root.size(), "<root>");
    g_host.messages->Bytes(line.data(), line.size());
}

uint32_t VESK_CALL Clock() { return 123456; }

VeskModule g_lib = nullptr;
// An export of the loaded library, by name.
#define X(name) VeskResolve<decltype(&::name)>(g_lib, #name)

using Loader = std::function<void(const std::string &root, Hash &)>;

void LoadStatic(const std::string &path, int32_t type, Hash &h) {
    StaticModelInfo before{}, after{};
    X(Get3DS_INFO)("", &before, -1);
    X(Get3DS_INFO)(path.c_str(), &after, type);
    h.Put(after.objectCount - (type == 2 ? 0 : before.objectCount));
    std::vector<Poly> polys(static_cast<size_t>(X(VeskGet3DS_Faces)(-1)) + 1, Filled<Poly>());
    int32_t count = -1;
    X(Get3DS_MESHPOLY)(polys.data(), &count, 0);
    // Only what this load added (3DS and OBJ loads add to what is held).
    int32_t earlier = 0;
    if (type != 2)
        for (int32_t o = 0; o < before.objectCount; ++o) earlier += X(VeskGet3DS_Faces)(o);
    h.Put(count - earlier);
    h.Array(polys.data() + earlier, polys.size() - static_cast<size_t>(earlier));
}

void LoadMd2(const std::string &path, Hash &h) {
    int32_t counts[4] = {};
    h.Put(X(VeskGetMD2_Counts)(path.c_str(), counts));
    std::vector<Md2AnimationRange> ranges(static_cast<size_t>(counts[3]) + 1, Filled<Md2AnimationRange>());
    int32_t n = -1;
    h.Put(X(GetMD2_ANIMATIONS)(path.c_str(), ranges.data(), &n)), h.Put(n), h.Array(ranges.data(), ranges.size());
    std::vector<Md2Vertex> vertices(static_cast<size_t>(counts[2]) + 1);
    for (int32_t frame : {0, counts[0] / 2, counts[0] - 1, counts[0]}) {
        vertices.assign(vertices.size(), Filled<Md2Vertex>());
        h.Put(X(GetMD2_MESH)(path.c_str(), frame, vertices.data(), &n)), h.Put(n);
        h.Array(vertices.data(), vertices.size());
    }
}

void LoadMs3d(const std::string &path, Hash &h) {
    Ms3dInfo info{};
    const char *p = path.c_str();
    h.Put(X(GetMSD3_Info)(p, &info)), h.Put(info);
    std::vector<Ms3dVertex> vertices(static_cast<size_t>(info.vertexCount), Filled<Ms3dVertex>());
    std::vector<Ms3dTriangle> triangles(static_cast<size_t>(info.triangleCount), Filled<Ms3dTriangle>());
    h.Put(X(GetMSD3_Vertex)(p, vertices.data())), h.Array(vertices.data(), vertices.size());
    h.Put(X(GetMSD3_Triangles)(p, triangles.data())), h.Array(triangles.data(), triangles.size());
    char texture[128] = {};
    h.Put(X(GetMSD3_Texture)(p, 0, texture)), h.Array(texture, sizeof texture);
}

std::vector<uint32_t> *g_pixels = nullptr;
void VESK_CALL Pixel(void *, int32_t x, int32_t y, uint32_t colour) {
    if (g_pixels) g_pixels->insert(g_pixels->end(), {static_cast<uint32_t>(x), static_cast<uint32_t>(y), colour});
}

void LoadTga(const std::string &path, Hash &h) {
    std::vector<uint32_t> pixels;
    g_pixels = &pixels;
    X(VeskSetPixelHandler)(&Pixel);
    uint32_t size[2] = {};
    h.Put(X(LoadTGA)(path.c_str(), nullptr, &size[0], &size[1])), h.Array(size, 2), h.Array(pixels.data(), pixels.size());
    X(VeskSetPixelHandler)(nullptr);
}

void LoadPlayer(const std::string &root, Hash &h) {
    const int32_t before = X(GetModelMD3)((root + "/not-a-player").c_str());
    const int32_t after = X(GetModelMD3)((root + "/players/sarge").c_str());
    h.Put(after - before);
    const int32_t slot = after > before ? after - 1 : -1;
    h.Put(X(GetModelMD3weapon)(slot, (root + "/weapons2/machinegun").c_str(), "machinegun"));
    int32_t counts[4] = {};
    X(VeskGetModelMD3counts)(slot, counts);
    std::vector<CharacterVertex> parts[4];
    for (int p = 0; p < 4; ++p) parts[p].assign(static_cast<size_t>(counts[p]) + 1, Filled<CharacterVertex>());
    int32_t written[4] = {};
    float box[6] = {};
    if (slot >= 0)
        h.Put(X(GetModelMD3mesh)(slot, parts[0].data(), parts[1].data(), parts[2].data(), parts[3].data(), written, box));
    h.Array(written, 4), h.Array(box, 6);
    for (auto &part : parts) h.Array(part.data(), part.size());
}

void LoadMdl(const std::string &path, Hash &h) {
    int32_t textures = -1, sizes[2] = {}, written = -1;
    const int32_t slot = X(GetmodelMDL)(path.c_str(), &textures) - 1;
    X(VeskGetModelMDLcounts)(slot, sizes);
    h.Put(textures), h.Array(sizes, 2);
    std::vector<CharacterVertex> records(static_cast<size_t>(sizes[0]) + 1, Filled<CharacterVertex>());
    // Every MDL model shares one clock: the second call at the same time steps by nothing, whatever ran before.
    for (int call = 0; call < 2; ++call) X(GetModelMDLmesh)(slot, records.data(), &written);
    h.Put(written), h.Array(records.data(), records.size());
}

// The level as the golden calls use it.
template <auto Family>
void Golden(const std::string &path, Hash &h) {
    vesk_golden::Exports x(g_lib);
    std::string note;
    Family(x, vesk_golden::Data{path, path, path, path}, h, note);
}

struct Case {
    const char *name;
    std::vector<std::pair<std::string, std::string>> files;  // game name <- test-data file ("" = written here)
    Loader load;
    int kept = 0;  // files the family may hold between calls
};

const std::string kSarge = "openarena/models/players/sarge/";
const std::string kHl1 = "assimp/MDL/MDL (HL1)/";

std::vector<Case> Cases() {
    std::vector<std::pair<std::string, std::string>> player;
    for (const char *f : {"head.md3", "upper.md3", "lower.md3", "lower_default.skin", "upper_default.skin",
                          "head_default.skin", "animation.cfg"})
        player.emplace_back(std::string("players/sarge/") + f, kSarge + f);
    player.emplace_back("weapons2/machinegun/machinegun.md3", "openarena/models/weapons2/machinegun/machinegun.md3");
    player.emplace_back("weapons2/machinegun/machinegun.shader", "");
    const auto one = [](auto fn, const char *name) {
        return [fn, name](const std::string &root, Hash &h) { fn(root + "/" + name, h); };
    };
    return {
        {"3DS", {{"m.3ds", "assimp/3DS/fels.3ds"}}, one([](const std::string &p, Hash &h) { LoadStatic(p, 0, h); }, "m.3ds"), 1},
        {"OBJ", {{"m.obj", "assimp/OBJ/spider.obj"}}, one([](const std::string &p, Hash &h) { LoadStatic(p, 1, h); }, "m.obj"), 1},
        {"ASE", {{"m.ase", "assimp/ASE/MotionCaptureROM.ase"}}, one([](const std::string &p, Hash &h) { LoadStatic(p, 2, h); }, "m.ase"), 1},
        {"MD2", {{"m.md2", "assimp/MD2/sydney.md2"}}, one(LoadMd2, "m.md2"), 1},
        {"MS3D", {{"m.ms3d", "assimp/MS3D/Wuson.ms3d"}}, one(LoadMs3d, "m.ms3d"), 1},
        {"TGA", {{"i.tga", "openarena/models/weapons2/machinegun/mgun.tga"}}, one(LoadTga, "i.tga")},
        {"MD3 player with weapon", player, LoadPlayer},
        {"MDL with texture and group file", {{"man.mdl", kHl1 + "man.mdl"}, {"manT.mdl", kHl1 + "manT.mdl"}, {"man01.mdl", kHl1 + "man01.mdl"}}, one(LoadMdl, "man.mdl")},
        {"Q3 level", {{"maps/oa_dm1.bsp", "openarena/maps/oa_dm1.bsp"}}, one(Golden<vesk_golden::Level>, "maps/oa_dm1.bsp")},
    };
}

class FileHandlerHost : public ::testing::Test {
protected:
    void SetUp() override {
        g_lib = VeskOpen(VeskLibraryName());
        ASSERT_NE(g_lib, nullptr) << VeskLibraryName();
        setHandler_ = X(VeskSetFileHandler);
        setClock_ = X(VeskSetTickSource);
        ASSERT_TRUE(setHandler_ && setClock_);
        X(VeskSetMessageHandler)(&Message);
    }
    void TearDown() override {
        if (!g_lib) return;
        setHandler_(nullptr, nullptr);
        X(VeskSetMessageHandler)(nullptr);
        setClock_(nullptr);
        VeskClose(g_lib);
    }
    uint64_t Run(const Case &c, const std::string &root) {
        Hash h;
        g_host.messages = &h;
        g_host.root = root;
        setClock_(&Clock);  // the golden calls end on the system clock
        c.load(root, h);
        g_host.messages = nullptr;
        return h.Value();
    }
    // With the handler set: the run's hash, and the reads not yet released
    // must be what the static, MD2 and MS3D families keep (at most one file each).
    uint64_t Served(const Case &c) {
        g_host.asked.clear();
        setHandler_(&Read, &Release);
        const uint64_t value = Run(c, memRoot_);
        EXPECT_LE(g_host.reads - g_host.releases, c.kept) << c.name;
        setHandler_(nullptr, nullptr);
        EXPECT_EQ(g_host.reads, g_host.releases) << c.name << ": a change of handler gives every file back";
        return value;
    }
    void(VESK_CALL *setHandler_)(VeskFileRead, VeskFileRelease) = nullptr;
    void(VESK_CALL *setClock_)(VeskTickSource) = nullptr;
    const std::string memRoot_ = "/vesk-no-such-folder/baseoa";
};

TEST_F(FileHandlerHost, EveryLoaderReadsTheSameFromMemoryAsFromDisk) {
    const std::vector<Case> cases = Cases();
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(fs::exists(memRoot_));
        const std::string disk = vesk::test::TempDir("handler_" + std::to_string(i));
        g_host = Host{};
        for (const auto &[name, source] : c.files) {
            const std::vector<uint8_t> bytes = source.empty() ? std::vector<uint8_t>{'m', 'g', 'u', 'n', '.', 't', 'g', 'a', '\r', '\n'}
                                                              : ReadAll(DataPath(source));
            g_host.files[memRoot_ + "/" + name] = bytes;
            fs::create_directories(fs::path(disk + "/" + name).parent_path());
            fs::rename(vesk::test::WriteTemp("handler_file", bytes), disk + "/" + name);
        }
        const uint64_t fromDisk = Run(c, disk);
        EXPECT_EQ(Served(c), fromDisk);
        // Every name asked for is one of the game's files, joined with '/'.
        const std::set<std::string> asked(g_host.asked.begin(), g_host.asked.end());
        for (const auto &file : c.files) EXPECT_EQ(asked.count(memRoot_ + "/" + file.first), 1u) << file.first;
        g_host.stable = true;  // the same address on every read: the kept file is reused
        EXPECT_EQ(Served(c), fromDisk) << "stable addresses";
        g_host.stable = false;

        // Damaged main file: served one after another under the same name (a
        // kept file must follow), then the same bytes from disk.
        const std::string mainName = c.files.front().first;
        const std::vector<uint8_t> whole = g_host.files[memRoot_ + "/" + mainName];
        std::vector<std::vector<uint8_t>> damaged;
        std::vector<uint64_t> served;
        setHandler_(&Read, &Release);
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            damaged.push_back(vesk::test::Damaged(whole, seed, 256));
            if (seed % 2 == 0) damaged.back().resize(whole.size() * seed / 8);
            g_host.files[memRoot_ + "/" + mainName] = damaged.back();
            served.push_back(Run(c, memRoot_));
        }
        setHandler_(nullptr, nullptr);
        EXPECT_EQ(g_host.reads, g_host.releases);
        for (size_t k = 0; k < damaged.size(); ++k) {
            fs::rename(vesk::test::WriteTemp("handler_file", damaged[k]), disk + "/" + mainName);
            EXPECT_EQ(served[k], Run(c, disk)) << "damaged " << k;
        }
        g_host.files[memRoot_ + "/" + mainName] = whole;
        fs::rename(vesk::test::WriteTemp("handler_file", whole), disk + "/" + mainName);

        // A refused read, or a size no file can have, is a missing file: the
        // first, second and last file asked for.
        for (size_t k : {size_t{0}, size_t{1}, c.files.size() - 1, c.files.size()}) {
            const std::string &name = c.files[k < c.files.size() ? k : 0].first;
            if (k == 1 && c.files.size() == 1) continue;
            g_host.odd = {{memRoot_ + "/" + name, k == c.files.size()}};
            fs::rename(disk + "/" + name, disk + "/refused");
            EXPECT_EQ(Served(c), Run(c, disk)) << name << (k == c.files.size() ? " oversized" : " refused");
            fs::rename(disk + "/refused", disk + "/" + name);
        }

        // Cleared: the disk again, and the served names are missing there.
        const int readsBefore = g_host.reads;
        EXPECT_EQ(Run(c, disk), fromDisk);
        g_host.odd.clear();
        for (const auto &file : c.files) g_host.odd[memRoot_ + "/" + file.first] = false;
        const uint64_t refusedAll = Served(c);
        EXPECT_EQ(Run(c, memRoot_), refusedAll);
        EXPECT_EQ(g_host.reads, readsBefore) << "no read reaches a cleared handler";
    }
}

}  // namespace
