// The demo's scenes. Each loads real data through the library's exports,
// drives the clock itself, draws with OpenGL and hands back its frames with
// what it measured, so the program can print the table and the tests can
// look at the pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "canvas.h"
#include "library.h"

namespace demo {

struct Options {
    int width = 640, height = 480;
    int frames = 6;        // per scene
    std::string data;      // extracted test data (testdata/)
    std::string game;      // game folder read through the demo's file handler (its .pk3); empty: data/openarena
    std::string out;       // frames, contact sheet, staging files
    uint32_t seed = 1;     // the only source of variation besides the clock
};

// Microseconds spent in one named library call during a frame (summed).
struct CallTime {
    std::string call;
    double microseconds = 0;
};

struct Frame {
    std::string name;  // file stem, e.g. "player-03"
    Image image;
    std::vector<CallTime> calls;
    long drawn = 0, culled = 0;  // triangles
    // Scene-specific facts the tests check.
    int box[4] = {0, 0, -1, -1};  // projected bounds (x0, y0, x1, y1) where a scene has one
    std::vector<float> values;
    Matrix4 modelview{}, projection{};  // the camera the frame was drawn with
};

struct SceneResult {
    std::string name;
    bool skipped = false;
    std::string note;  // why it was skipped, or what it showed
    std::vector<Frame> frames;
    std::vector<float> values;  // scene-wide facts (e.g. level bounds, body path)
};

struct Host {
    Library &lib;
    Canvas &canvas;
    Options options;
    std::string scene;  // name of the scene running
    std::function<void(const std::string &scene, int frame, int frames)> progress;
};

struct SceneInfo {
    const char *name;
    const char *summary;
    std::vector<std::string> exports;  // skipped when any is missing
    SceneResult (*run)(Host &);
};

const std::vector<SceneInfo> &Scenes();
// Runs one scene: skips it when an export is missing, else runs it on the fixed clock.
SceneResult RunScene(Host &host, const SceneInfo &scene);

// Where a test-data name lies for the scenes: the game's files
// ("openarena/...") in the game folder when one is set, all else under data.
std::string GamePath(const Options &options, const std::string &name);

// The host's millisecond clock, handed to the library through VeskSetTickSource.
void SetClock(uint32_t ms);
uint32_t Clock();

}  // namespace demo
