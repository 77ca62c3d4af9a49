// The text loaders read raw bytes and drop CR before LF themselves; their
// model must be the one of the translated text, bit for bit.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "loaders/static_model.h"

namespace vesk::fuzz {

template <class T>
bool SameBits(const std::vector<T> &a, const std::vector<T> &b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

inline void CheckSameModel(const StaticModel &a, const StaticModel &b) {
    VESK_FUZZ_CHECK(a.objectCount == b.objectCount && a.materialCount == b.materialCount);
    VESK_FUZZ_CHECK(a.objects.size() == b.objects.size() && a.materials.size() == b.materials.size());
    for (size_t i = 0; i < a.objects.size(); ++i) {
        const StaticObject &x = a.objects[i], &y = b.objects[i];
        VESK_FUZZ_CHECK(x.faceCount == y.faceCount && x.materialIndex == y.materialIndex &&
                        x.hasTexture == y.hasTexture);
        VESK_FUZZ_CHECK(SameBits(x.vertices, y.vertices) && SameBits(x.normals, y.normals) &&
                        SameBits(x.texCoords, y.texCoords) && SameBits(x.faces, y.faces));
    }
    for (size_t m = 0; m < a.materials.size(); ++m) {
        const StaticMaterial &x = a.materials[m], &y = b.materials[m];
        VESK_FUZZ_CHECK(std::strcmp(x.name, y.name) == 0 && std::strcmp(x.textureFile, y.textureFile) == 0);
        VESK_FUZZ_CHECK(std::memcmp(x.colour, y.colour, sizeof x.colour) == 0 &&
                        std::memcmp(x.diffuse, y.diffuse, sizeof x.diffuse) == 0 && x.reserved == y.reserved &&
                        std::memcmp(&x.uTiling, &y.uTiling, 4) == 0 && std::memcmp(&x.vTiling, &y.vTiling, 4) == 0);
    }
}

// Text with every LF written as CR LF: text mode reads it back as text.
inline std::string WithCrLf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace vesk::fuzz
