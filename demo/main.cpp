// The demo host: loads the library by name, as an engine does, renders its
// scenes off-screen with OpenGL and writes the frames, a contact sheet and a
// table of what each library call cost.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include <unistd.h>

#include "game_files.h"
#include "scenes.h"

namespace {

constexpr const char *kDefaultGame = "/usr/share/games/openarena/baseoa";

void Usage(std::FILE *to) {
    std::fprintf(to,
                 "usage: vesk_demo [options]\n"
                 "Renders the library's scenes off-screen to PNG files and prints what each call cost.\n\n"
                 "  --scene NAME[,NAME...]  scenes to render (default: all)\n"
                 "  --size WxH              frame size in pixels (default 640x480)\n"
                 "  --frames N              frames per scene (default 6)\n"
                 "  --out DIR               output folder (default ./demo-out)\n"
                 "  --data DIR              extracted test data (default $VESK_TESTDATA or the build's)\n"
                 "  --game DIR              game folder whose .pk3 archives hold the players and levels\n"
                 "                          (default %s); point it at another game's\n"
                 "                          folder, or give \"\" to read the extracted test data from disk\n"
                 "  --library PATH          library to load (default: %s by name)\n"
                 "  --seed N                which spawn point the walk starts from (default 1)\n"
                 "  --sheet-width N         contact sheet cell width, one row per scene (default 240)\n"
                 "  --help                  this text\n\n"
                 "scenes:\n",
                 kDefaultGame, "libVeskMathLIB.so");
    for (const demo::SceneInfo &s : demo::Scenes()) std::fprintf(to, "  %-8s %s\n", s.name, s.summary);
}

bool ParseSize(const char *text, int *w, int *h) {
    return std::sscanf(text, "%dx%d", w, h) == 2 && *w >= 16 && *h >= 16 && *w <= 8192 && *h <= 8192;
}

void PrintTable(const demo::SceneResult &r) {
    std::vector<std::string> calls;
    for (const demo::Frame &f : r.frames)
        for (const demo::CallTime &c : f.calls)
            if (std::find(calls.begin(), calls.end(), c.call) == calls.end()) calls.push_back(c.call);
    std::printf("\n%s: %s\n", r.name.c_str(), r.note.c_str());
    std::printf("  %-10s", "frame");
    for (const std::string &c : calls) std::printf(" %16s", (c + " us").c_str());
    std::printf(" %10s %10s\n", "drawn", "culled");
    std::map<std::string, double> total;
    long drawn = 0, culled = 0;
    for (const demo::Frame &f : r.frames) {
        std::printf("  %-10s", f.name.c_str());
        for (const std::string &c : calls) {
            double us = 0;
            for (const demo::CallTime &t : f.calls)
                if (t.call == c) us = t.microseconds;
            total[c] += us;
            std::printf(" %16.1f", us);
        }
        std::printf(" %10ld %10ld\n", f.drawn, f.culled);
        drawn += f.drawn;
        culled += f.culled;
    }
    const double n = static_cast<double>(std::max<size_t>(1, r.frames.size()));
    std::printf("  %-10s", "mean");
    for (const std::string &c : calls) std::printf(" %16.1f", total[c] / n);
    std::printf(" %10.0f %10.0f\n", static_cast<double>(drawn) / n, static_cast<double>(culled) / n);
}

template <class Load>
double Microseconds(Load load) {
    const auto start = std::chrono::steady_clock::now();
    load();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

// A player and a level loaded straight from the archives beside the same
// files extracted to disk by the host: the best of three loads each.
void PrintArchiveLoads(demo::Library &lib, const demo::Options &options) {
    const std::string disk = options.out + "/stage/disk";
    const std::string player = "models/players/sarge";
    const std::string map = "maps/oa_dm1.bsp";
    std::vector<std::string> names = {map};
    for (const char *f : {"head.md3", "upper.md3", "lower.md3", "lower_default.skin", "upper_default.skin",
                          "head_default.skin", "animation.cfg"})
        names.push_back(player + "/" + f);
    if (!demo::Files().Extract(names, disk)) {
        std::printf("\narchive loads: cannot extract the files from %s\n", options.game.c_str());
        return;
    }
    auto loadPlayer = [&](const std::string &root) {
        double best = 1e30;
        int32_t last = 0;
        for (int i = 0; i < 3; ++i) {
            int32_t count = 0;
            best = std::min(best, Microseconds([&] { count = lib.GetModelMD3((root + "/" + player).c_str()); }));
            if (count < 1 || (i > 0 && count <= last)) return -1.0;  // not loaded (or the table is full)
            last = count;
        }
        return best;
    };
    auto loadLevel = [&](const std::string &root) {
        const std::string path = root + "/" + map;
        int32_t counts[VESK_Q3BSP_COUNT_SLOTS] = {};
        if (!lib.VeskGetQ3BSP_Counts(path.c_str(), counts)) return -1.0;
        std::vector<Q3BspVertex> v(static_cast<size_t>(counts[VESK_Q3BSP_VERTICES]));
        std::vector<Q3BspFace> f(static_cast<size_t>(counts[VESK_Q3BSP_FACES]));
        std::vector<Q3BspLeaf> l(static_cast<size_t>(counts[VESK_Q3BSP_LEAVES]));
        std::vector<int32_t> lf(static_cast<size_t>(counts[VESK_Q3BSP_LEAF_FACES]));
        std::vector<Q3BspNode> n(static_cast<size_t>(counts[VESK_Q3BSP_NODES]));
        std::vector<Q3BspPlane> p(static_cast<size_t>(counts[VESK_Q3BSP_PLANES]));
        std::vector<uint8_t> vis(static_cast<size_t>(counts[VESK_Q3BSP_VIS_BYTES]));
        double best = 1e30;
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            best = std::min(best, Microseconds([&] {
                                ok = lib.GetQ3BSP_INFO(path.c_str(), v.data(), f.data(), l.data(), lf.data(),
                                                       n.data(), p.data(), vis.data()) != 0;
                            }));
            if (!ok) return -1.0;
        }
        return best;
    };
    std::printf("\narchive loads (%zu .pk3 in %s; best of 3):\n", demo::Files().archiveCount(), options.game.c_str());
    std::printf("  %-34s %14s %14s\n", "load", "from pk3 us", "from disk us");
    const double playerPk3 = loadPlayer(options.game), levelPk3 = loadLevel(options.game);
    // The disk loads are the library's own reads: no handler meanwhile.
    lib.VeskSetFileHandler(nullptr, nullptr);
    const double playerDisk = loadPlayer(disk), levelDisk = loadLevel(disk);
    lib.VeskSetFileHandler(&demo::GameFiles::HandlerRead, &demo::GameFiles::HandlerRelease);
    std::printf("  %-34s %14.1f %14.1f\n", ("GetModelMD3 " + player).c_str(), playerPk3, playerDisk);
    std::printf("  %-34s %14.1f %14.1f\n", ("GetQ3BSP_INFO " + map).c_str(), levelPk3, levelDisk);
    std::printf("  file handler: %d reads, %d releases\n", demo::Files().reads, demo::Files().releases);
}

}  // namespace

int main(int argc, char **argv) {
    demo::Options options;
    options.out = "demo-out";
    const char *env = std::getenv("VESK_TESTDATA");
    options.data = env && *env ? env : VESK_DEMO_TESTDATA;
    options.game = kDefaultGame;
    std::string library, sceneList;
    int sheetWidth = 240;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--scene") {
            sceneList = value();
        } else if (a == "--size") {
            if (!ParseSize(value(), &options.width, &options.height)) {
                std::fprintf(stderr, "--size wants WxH between 16 and 8192\n");
                return 2;
            }
        } else if (a == "--frames") {
            options.frames = std::atoi(value());
            if (options.frames < 1 || options.frames > 1000) {
                std::fprintf(stderr, "--frames wants 1..1000\n");
                return 2;
            }
        } else if (a == "--out") {
            options.out = value();
        } else if (a == "--data") {
            options.data = value();
        } else if (a == "--game") {
            options.game = value();
        } else if (a == "--library") {
            library = value();
        } else if (a == "--seed") {
            options.seed = static_cast<uint32_t>(std::strtoul(value(), nullptr, 10));
        } else if (a == "--sheet-width") {
            sheetWidth = std::clamp(std::atoi(value()), 32, 1024);
        } else {
            std::fprintf(stderr, "unknown option %s\n\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }

    std::vector<const demo::SceneInfo *> chosen;
    for (const demo::SceneInfo &s : demo::Scenes()) {
        const std::string needle = "," + sceneList + ",";
        if (sceneList.empty() || needle.find("," + std::string(s.name) + ",") != std::string::npos)
            chosen.push_back(&s);
    }
    if (chosen.empty()) {
        std::fprintf(stderr, "no scene named %s\n", sceneList.c_str());
        return 2;
    }

    demo::Library lib;
    if (!lib.Open(library)) {
        std::fprintf(stderr, "%s\n", lib.error.c_str());
        return 1;
    }
    // The library reads every file through the demo's file access: the game's
    // archives first, then the disk.
    if (!options.game.empty()) {
        std::string why;
        if (!lib.VeskSetFileHandler) {
            std::fprintf(stderr, "this library build has no VeskSetFileHandler: use --game \"\"\n");
            return 1;
        }
        if (!demo::Files().Open(options.game, &why) || demo::Files().archiveCount() == 0) {
            std::fprintf(stderr, "%s\n", why.empty() ? ("no .pk3 archive in " + options.game).c_str() : why.c_str());
            return 1;
        }
        lib.VeskSetFileHandler(&demo::GameFiles::HandlerRead, &demo::GameFiles::HandlerRelease);
    }
    demo::Canvas canvas;
    std::string error;
    if (!canvas.Open(options.width, options.height, &error)) {
        std::fprintf(stderr, "off-screen GL: %s\n", error.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(options.out, ec);
    options.out = std::filesystem::absolute(options.out).lexically_normal().string();

    demo::Host host{lib, canvas, options, {}, {}};
    // A progress line on a terminal only; logs get the table alone.
    const bool terminal = isatty(fileno(stderr)) != 0;
    if (terminal)
        host.progress = [](const std::string &scene, int frame, int frames) {
            std::fprintf(stderr, "\rrendering %-8s frame %d/%d   ", scene.c_str(), frame + 1, frames);
            std::fflush(stderr);
        };
    std::vector<demo::SceneResult> results;
    for (const demo::SceneInfo *s : chosen) results.push_back(demo::RunScene(host, *s));
    if (terminal) std::fprintf(stderr, "\r%40s\r", "");

    std::vector<std::vector<const demo::Image *>> sheet;
    int written = 0;
    for (const demo::SceneResult &r : results) {
        if (r.skipped) {
            std::printf("%-8s skipped: %s\n", r.name.c_str(), r.note.c_str());
            continue;
        }
        sheet.emplace_back();
        for (const demo::Frame &f : r.frames) {
            const std::string path = options.out + "/" + f.name + ".png";
            if (!demo::WritePng(path, f.image)) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            sheet.back().push_back(&f.image);
            ++written;
        }
        PrintTable(r);
    }
    if (!options.game.empty()) PrintArchiveLoads(lib, options);
    if (!sheet.empty()) {
        const std::string path = options.out + "/contact-sheet.png";
        if (!demo::WritePng(path, demo::ContactSheet(sheet, sheetWidth))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("\n%d frames and contact-sheet.png in %s\n", written, options.out.c_str());
    } else {
        std::printf("\nno scene rendered\n");
    }
    if (lib.VeskSetFileHandler) lib.VeskSetFileHandler(nullptr, nullptr);
    lib.Close();
    return 0;
}
