// True-colour TGA images painted pixel by pixel through the pixel service.
#include "loaders/tga.h"

#include <vector>

#include "frame/platform.h"
#include "io/byte_cursor.h"
#include "io/file.h"

namespace vesk {
namespace {

constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopDown = 0x20;

uint32_t Rgb(uint32_t red, uint32_t green, uint32_t blue) { return red | green << 8 | blue << 16; }

// One stored pixel as a colour; bytesPerPixel is 2, 3 or 4.
uint32_t DecodePixel(const uint8_t *p, uint32_t bytesPerPixel) {
    if (bytesPerPixel == 2) {
        // 5-5-5 with the attribute bit on top; each channel widened to 8 bits.
        const uint32_t word = p[0] | uint32_t{p[1]} << 8;
        auto widen = [](uint32_t c) { return c << 3 | c >> 2; };
        return Rgb(widen(word >> 10 & 31), widen(word >> 5 & 31), widen(word & 31));
    }
    return Rgb(p[2], p[1], p[0]);  // stored blue, green, red (then alpha, unused)
}

// Paints the pixels in file order; the image's row order and direction come
// from the descriptor, and packets run on across row ends.
class PixelSink {
public:
    PixelSink(const TgaHeader &h, void *deviceContext)
        : width_(h.width), height_(h.height), total_(uint64_t{h.width} * h.height), dc_(deviceContext),
          topDown_((h.imageDescriptor & kTopDown) != 0), rightToLeft_((h.imageDescriptor & kRightToLeft) != 0) {}

    bool Done() const { return painted_ == total_; }
    uint64_t Left() const { return total_ - painted_; }

    void Paint(uint32_t colour) {
        const int32_t x = rightToLeft_ ? static_cast<int32_t>(width_ - column_) : static_cast<int32_t>(column_ + 1);
        const int32_t y = topDown_ ? static_cast<int32_t>(row_ + 1) : static_cast<int32_t>(height_ - row_);
        PaintPixel(dc_, x, y, colour);
        ++painted_;
        if (++column_ == width_) {
            column_ = 0;
            ++row_;
        }
    }

private:
    uint32_t width_, height_;
    uint64_t total_;
    void *dc_;
    bool topDown_, rightToLeft_;
    uint64_t painted_ = 0;
    uint32_t column_ = 0, row_ = 0;
};

}  // namespace

bool ReadTgaHeader(std::span<const uint8_t> bytes, TgaHeader &header) {
    ByteCursor cursor(bytes);
    if (!cursor.Contains(0, kTgaHeaderSize)) return false;
    cursor.Read(header.idLength);
    cursor.Read(header.colourMapType);
    cursor.Read(header.imageType);
    cursor.Seek(12);
    cursor.Read(header.width);
    cursor.Read(header.height);
    cursor.Read(header.pixelDepth);
    cursor.Read(header.imageDescriptor);
    return true;
}

uint32_t TgaBytesPerPixel(const TgaHeader &header) {
    switch (header.pixelDepth) {
        case 16:
            return 2;
        case 24:
            return 3;
        case 32:
            return 4;
        default:
            return 0;
    }
}

bool PaintTga(std::span<const uint8_t> bytes, const TgaHeader &header, void *deviceContext) {
    if (header.colourMapType != 0 || (header.imageType != 2 && header.imageType != 10)) return false;
    const uint32_t size = TgaBytesPerPixel(header);
    if (size == 0) return false;
    ByteCursor cursor(bytes);
    if (!cursor.Seek(kTgaHeaderSize) || !cursor.Skip(header.idLength)) return false;

    PixelSink sink(header, deviceContext);
    std::span<const uint8_t> pixel;
    if (header.imageType == 2) {
        while (!sink.Done()) {
            if (!cursor.Take(size, pixel)) return false;
            sink.Paint(DecodePixel(pixel.data(), size));
        }
        return true;
    }
    while (!sink.Done()) {
        uint8_t packet = 0;
        if (!cursor.Read(packet)) return false;
        uint64_t n = (packet & 0x7Fu) + 1u;
        // Pixels past the image's end are never painted (nor needed).
        if (n > sink.Left()) n = sink.Left();
        if (packet & 0x80) {
            if (!cursor.Take(size, pixel)) return false;
            const uint32_t colour = DecodePixel(pixel.data(), size);
            for (uint64_t i = 0; i < n; ++i) sink.Paint(colour);
        } else {
            for (uint64_t i = 0; i < n; ++i) {
                if (!cursor.Take(size, pixel)) return false;
                sink.Paint(DecodePixel(pixel.data(), size));
            }
        }
    }
    return true;
}

}  // namespace vesk

VESK_API uint32_t VESK_CALL LoadTGA(const char *path, void *deviceContext, uint32_t *width, uint32_t *height) {
    const auto bytes = vesk::ReadWholeFile(path);
    if (!bytes) return 0;
    vesk::TgaHeader header;
    if (!vesk::ReadTgaHeader(*bytes, header)) return 0;
    *width = header.width;
    *height = header.height;
    return vesk::PaintTga(*bytes, header, deviceContext) ? 1u : 0u;
}
