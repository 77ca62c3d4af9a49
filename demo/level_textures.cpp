#include "level_textures.h"

#include "game_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

namespace demo {
namespace {

std::string Lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Tokens of a shader script: braces and words, comments dropped.
std::vector<std::string> Tokens(const std::string &text) {
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            i = text.find('\n', i);
            if (i == std::string::npos) break;
        } else if (c == '{' || c == '}') {
            out.emplace_back(1, c);
            ++i;
        } else {
            const size_t start = i;
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) && text[i] != '{' &&
                   text[i] != '}')
                ++i;
            out.push_back(text.substr(start, i - start));
        }
    }
    return out;
}

}  // namespace

GameImages::GameImages(std::string root) : root_(std::move(root)) {
    for (const std::string &script : Files().List(root_ + "/scripts", ".shader")) {
        std::vector<uint8_t> bytes;
        if (!Read("scripts/" + script, &bytes)) continue;
        const std::vector<std::string> t = Tokens(std::string(bytes.begin(), bytes.end()));
        int depth = 0;
        std::string shader, stage;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i] == "{") {
                ++depth;
            } else if (t[i] == "}") {
                if (--depth == 0 && !shader.empty()) {
                    firstStage_.emplace(Lower(shader), stage);  // the first definition wins
                    shader.clear(), stage.clear();
                }
                depth = std::max(depth, 0);
            } else if (depth == 0) {
                shader = t[i];
            } else if (depth == 2 && stage.empty()) {
                const std::string key = Lower(t[i]);
                const size_t at = i + (key == "animmap" ? 2 : 1);
                if ((key == "map" || key == "clampmap" || key == "animmap") && at < t.size() && t[at][0] != '$')
                    stage = t[at];
            }
        }
    }
}

bool GameImages::Read(const std::string &path, std::vector<uint8_t> *bytes) const {
    return Files().Read(root_ + "/" + path, *bytes);
}

bool GameImages::Find(const std::string &name, std::vector<uint8_t> *bytes) const {
    auto image = [&](std::string path) {
        const std::string ext = path.size() > 4 ? Lower(path.substr(path.size() - 4)) : "";
        if (ext == ".tga" || ext == ".jpg") path.resize(path.size() - 4);
        return Read(path + ".jpg", bytes) || Read(path + ".tga", bytes);
    };
    // A shader's stage wins over an image of the same name, as in the game
    // (a sky's image of its own name is a one-pixel editor swatch).
    const auto shader = firstStage_.find(Lower(name));
    if (shader != firstStage_.end() && !shader->second.empty() && image(shader->second)) return true;
    return image(name);
}

}  // namespace demo
