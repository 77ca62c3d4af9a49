// Shared by the fuzz harnesses: silent platform services, a stepping clock,
// and a check that aborts so the fuzzer records the input that broke a promise.
#pragma once

#include <VeskMathLIB.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

// Aborts with the failed condition; the fuzzer keeps the input as a crash.
#define VESK_FUZZ_CHECK(condition)                                                                         \
    do {                                                                                                   \
        if (!(condition)) {                                                                                \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);       \
            std::abort();                                                                                  \
        }                                                                                                  \
    } while (0)

namespace vesk::fuzz {

// Whether the count floats from first are all finite: every float a loader
// hands the host must be.
inline bool FiniteFloats(const void *first, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        float value;
        std::memcpy(&value, static_cast<const uint8_t *>(first) + 4 * k, sizeof value);
        if (!std::isfinite(value)) return false;
    }
    return true;
}

inline std::span<const uint8_t> Bytes(const uint8_t *data, size_t size) { return {data, size}; }
inline std::string_view Text(const uint8_t *data, size_t size) {
    return {reinterpret_cast<const char *>(data), size};
}

// Where the pixel service may paint: TGA harness sets it before each image.
struct PixelBounds {
    int64_t width = 0, height = 0;
    uint64_t painted = 0;
};
PixelBounds &CurrentPixelBounds();

// Serves the input as every file the library asks for, through the file
// handler (no disk); while it lives, a load may read it under any name. When
// it ends, the handler is cleared and every read must have been released.
class ServedInput {
public:
    ServedInput(const uint8_t *data, size_t size);
    ~ServedInput();
    ServedInput(const ServedInput &) = delete;
    ServedInput &operator=(const ServedInput &) = delete;
};

}  // namespace vesk::fuzz
