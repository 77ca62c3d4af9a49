// Compiled into every harness: libFuzzer calls LLVMFuzzerInitialize once
// before the first input.
#include "fuzz_support.h"

namespace vesk::fuzz {
namespace {

void VESK_CALL IgnoreMessage(const char *, const char *) {}
void VESK_CALL IgnoreTexCoord(float, float) {}

// Every painted pixel must lie on the image the header describes.
void VESK_CALL CheckPixel(void *, int32_t x, int32_t y, uint32_t) {
    PixelBounds &bounds = CurrentPixelBounds();
    VESK_FUZZ_CHECK(x >= 1 && x <= bounds.width);
    VESK_FUZZ_CHECK(y >= 1 && y <= bounds.height);
    ++bounds.painted;
}

// Moves 40 ms per reading so that animation clocks step through frames.
uint32_t VESK_CALL SteppingClock() {
    static uint32_t now = 0;
    now += 40;
    return now;
}

struct Served {
    const uint8_t *data = nullptr;
    size_t size = 0;
    int64_t reads = 0, releases = 0;
};
Served g_served;

VeskBool VESK_CALL ReadServed(const char *, const void **bytes, uint32_t *size, void **handle) {
    ++g_served.reads;
    *bytes = g_served.data;
    *size = static_cast<uint32_t>(g_served.size);
    *handle = &g_served;
    return 1;
}

void VESK_CALL ReleaseServed(void *handle) {
    VESK_FUZZ_CHECK(handle == &g_served);
    ++g_served.releases;
}

}  // namespace

ServedInput::ServedInput(const uint8_t *data, size_t size) {
    g_served = {data, size, 0, 0};
    VeskSetFileHandler(&ReadServed, &ReleaseServed);
}

ServedInput::~ServedInput() {
    // Whatever a family kept goes back first: the input dies with this call.
    VeskSetFileHandler(nullptr, nullptr);
    VESK_FUZZ_CHECK(g_served.reads == g_served.releases);
}

PixelBounds &CurrentPixelBounds() {
    static PixelBounds bounds;
    return bounds;
}

}  // namespace vesk::fuzz

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    VeskSetMessageHandler(&vesk::fuzz::IgnoreMessage);
    VeskSetTexCoordHandler(&vesk::fuzz::IgnoreTexCoord);
    VeskSetPixelHandler(&vesk::fuzz::CheckPixel);
    VeskSetTickSource(&vesk::fuzz::SteppingClock);
    return 0;
}
