// True-colour TGA images (types 2 and 10; 16, 24 or 32 bits per pixel).
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <span>

namespace vesk {

inline constexpr size_t kTgaHeaderSize = 18;

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t imageDescriptor = 0;
};

// False when the file is shorter than the header.
bool ReadTgaHeader(std::span<const uint8_t> bytes, TgaHeader &header);

// Stored bytes per pixel, 0 for a depth that is not read.
uint32_t TgaBytesPerPixel(const TgaHeader &header);

// Paints every pixel through the pixel service, upright on a y-down surface
// (x 1..width, y 1..height). False for a colour-mapped or unsupported image,
// or a file that ends early (pixels painted so far stay painted).
bool PaintTga(std::span<const uint8_t> bytes, const TgaHeader &header, void *deviceContext);

}  // namespace vesk
