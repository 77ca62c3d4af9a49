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

}  // namespace

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
