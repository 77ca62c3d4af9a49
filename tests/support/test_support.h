// Shared test helpers: test-data paths, captured platform services, float ulps.
#pragma once

#include <VeskMathLIB.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace vesk::test {

// Path of an extracted test file (scripts/fetch-testdata.sh); fails loudly if absent.
inline std::string DataPath(const std::string &relative) {
    const char *env = std::getenv("VESK_TESTDATA");
    const std::string root = env && *env ? env : VESK_TESTDATA_DIR;
    const std::string path = root + "/" + relative;
    EXPECT_TRUE(std::filesystem::exists(path)) << path << " missing: run scripts/fetch-testdata.sh";
    return path;
}

inline std::vector<uint8_t> ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// This process's own scratch directory. CTest runs tests in parallel
// processes, so fixed names under one shared directory would race; it is
// removed when the process ends.
inline const std::filesystem::path &TempRoot() {
    struct Root {
        std::filesystem::path path;
        Root() {
            path = std::filesystem::temp_directory_path() / ("vesk_tests." + std::to_string(getpid()));
            std::filesystem::create_directories(path);
        }
        ~Root() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Root root;
    return root.path;
}

// A fresh, empty directory under TempRoot().
inline std::string TempDir(const std::string &name) {
    const auto dir = TempRoot() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Writes bytes to a fresh file under TempRoot().
inline std::string WriteTemp(const std::string &name, const std::vector<uint8_t> &bytes) {
    const std::string path = (TempRoot() / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Captures every message the library shows while alive.
class MessageCapture {
public:
    struct Message {
        std::string caption, text;
    };
    MessageCapture() {
        Messages().clear();
        VeskSetMessageHandler(&Record);
    }
    ~MessageCapture() { VeskSetMessageHandler(nullptr); }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;
    const std::vector<Message> &messages() const { return Messages(); }

private:
    static std::vector<Message> &Messages() {
        static std::vector<Message> all;
        return all;
    }
    static void VESK_CALL Record(const char *caption, const char *text) { Messages().push_back({caption, text}); }
};

// Drives the library's millisecond clock while alive.
class FakeClock {
public:
    explicit FakeClock(uint32_t start = 1000) {
        Now() = start;
        VeskSetTickSource(&Read);
    }
    ~FakeClock() { VeskSetTickSource(nullptr); }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;
    void Set(uint32_t ms) { Now() = ms; }
    void Advance(uint32_t ms) { Now() += ms; }

private:
    static uint32_t &Now() {
        static uint32_t now = 0;
        return now;
    }
    static uint32_t VESK_CALL Read() { return Now(); }
};

// Distance in units in the last place between two finite floats of any sign.
inline int64_t UlpDistance(float a, float b) {
    auto key = [](float f) {
        const int32_t i = std::bit_cast<int32_t>(f);
        return i < 0 ? int64_t{INT32_MIN} - i : int64_t{i};
    };
    const int64_t d = key(a) - key(b);
    return d < 0 ? -d : d;
}

}  // namespace vesk::test
