// The images a level's faces name, found in the game data: for a shader of
// scripts/*.shader its first image stage, else the name plus .jpg or .tga.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace demo {

class GameImages {
public:
    // root: the folder that holds textures/ and scripts/.
    explicit GameImages(std::string root);
    // The image file's bytes for a face's texture name (an image path is tried
    // as .jpg, then .tga); false when none is found.
    bool Find(const std::string &name, std::vector<uint8_t> *bytes) const;

private:
    bool Read(const std::string &path, std::vector<uint8_t> *bytes) const;
    std::string root_;
    std::map<std::string, std::string> firstStage_;  // lower-case shader name -> image path
};

}  // namespace demo
