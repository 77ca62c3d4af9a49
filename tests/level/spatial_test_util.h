// Test helpers for the spatial structure suites: real models from the test
// data and a callback recorder.
#pragma once

#include <VeskMathLIB.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spatial_scenes.h"
#include "support/test_support.h"

namespace vesk::test {

inline std::vector<Poly> ModelPolys(const std::string &relative) {
    const std::string path = DataPath(relative);
    auto polys = LoadModelPolys(path);
    EXPECT_FALSE(polys.empty()) << path;
    return polys;
}

// Records every Poly pointer handed to the callback.
struct PolyRecorder {
    static std::vector<const Poly *> &Seen() {
        static std::vector<const Poly *> seen;
        return seen;
    }
    static void VESK_CALL Record(intptr_t arg) { Seen().push_back(reinterpret_cast<const Poly *>(arg)); }
    inline static const VeskHostCallback cell = &Record;
    PolyRecorder() { Seen().clear(); }
};

}  // namespace vesk::test
