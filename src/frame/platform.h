// The operating-system services the library calls, each replaceable by the host.
#pragma once

#include <cstdarg>
#include <cstdint>

#include <VeskMathLIB.h>

namespace vesk {

// Message texts are formatted into a buffer of this size and cut to fit.
inline constexpr int kMessageBufferSize = 255;

// Shows one message (Windows: modal box, no owner, OK only).
void ShowMessage(const char *caption, const char *text);

// Formats into the 255-byte message buffer and shows it.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void ReportMessage(const char *caption, const char *format, ...);

// Milliseconds of the system clock, 32 bits, wrapping.
uint32_t TickCount();

// Sets the renderer's current texture coordinate.
void SetTexCoord(float u, float v);

// Paints one pixel on the host's device context.
void PaintPixel(void *deviceContext, int32_t x, int32_t y, uint32_t colour);

// The host's file handler; read is null while the library reads the disk.
struct FileHandler {
    VeskFileRead read = nullptr;
    VeskFileRelease release = nullptr;
};
FileHandler CurrentFileHandler();

}  // namespace vesk
