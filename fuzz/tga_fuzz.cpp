// TGA from arbitrary bytes: every painted pixel must lie on the image (the
// pixel service checks), and no more pixels than it has are painted.
#include "fuzz_support.h"
#include "loaders/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto bytes = vesk::fuzz::Bytes(data, size);
    vesk::TgaHeader header;
    if (!vesk::ReadTgaHeader(bytes, header)) return 0;
    vesk::fuzz::PixelBounds &bounds = vesk::fuzz::CurrentPixelBounds();
    bounds = {header.width, header.height, 0};
    const bool whole = vesk::PaintTga(bytes, header, nullptr);
    const uint64_t pixels = uint64_t{header.width} * header.height;
    VESK_FUZZ_CHECK(bounds.painted <= pixels);
    if (whole) VESK_FUZZ_CHECK(bounds.painted == pixels);
    return 0;
}
