#include "frame/platform.h"

#include <VeskMathLIB.h>

#include <atomic>
#include <cstdio>

#include "io/file_keep.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <time.h>
#endif

namespace vesk {
namespace {

// Handlers are read and written through atomics so that a math-only thread
// installing nothing never races with a loader thread reading them.
std::atomic<VeskMessageHandler> g_message{nullptr};
std::atomic<VeskTickSource> g_tick{nullptr};
std::atomic<VeskTexCoordHandler> g_texCoord{nullptr};
std::atomic<VeskPixelHandler> g_pixel{nullptr};
std::atomic<VeskFileRead> g_fileRead{nullptr};
std::atomic<VeskFileRelease> g_fileRelease{nullptr};

#if defined(_WIN32)
using GlTexCoord2f = void(APIENTRY *)(float, float);
using SetPixelVFn = BOOL(WINAPI *)(HDC, int, int, COLORREF);

GlTexCoord2f DefaultTexCoord() {
    // Resolved lazily so that hosts without OpenGL can still load the library.
    static GlTexCoord2f fn = [] {
        HMODULE gl = LoadLibraryA("opengl32.dll");
        return gl ? reinterpret_cast<GlTexCoord2f>(reinterpret_cast<void *>(GetProcAddress(gl, "glTexCoord2f")))
                  : nullptr;
    }();
    return fn;
}

SetPixelVFn DefaultSetPixel() {
    static SetPixelVFn fn = [] {
        HMODULE gdi = LoadLibraryA("gdi32.dll");
        return gdi ? reinterpret_cast<SetPixelVFn>(reinterpret_cast<void *>(GetProcAddress(gdi, "SetPixelV")))
                   : nullptr;
    }();
    return fn;
}
#else
using GlTexCoord2f = void (*)(float, float);

GlTexCoord2f DefaultTexCoord() {
    // Whatever GL the host process already has; nothing when it has none.
    static GlTexCoord2f fn = reinterpret_cast<GlTexCoord2f>(dlsym(RTLD_DEFAULT, "glTexCoord2f"));
    return fn;
}
#endif

}  // namespace

void ShowMessage(const char *caption, const char *text) {
    if (VeskMessageHandler handler = g_message.load(std::memory_order_acquire)) {
        handler(caption, text);
        return;
    }
#if defined(_WIN32)
    MessageBoxA(nullptr, text, caption, MB_OK);
#else
    std::fprintf(stderr, "%s: %s\n", caption, text);
#endif
}

void ReportMessage(const char *caption, const char *format, ...) {
    char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    ShowMessage(caption, buffer);
}

uint32_t TickCount() {
    if (VeskTickSource source = g_tick.load(std::memory_order_acquire)) return source();
#if defined(_WIN32)
    return GetTickCount();
#else
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
#endif
}

void SetTexCoord(float u, float v) {
    if (VeskTexCoordHandler handler = g_texCoord.load(std::memory_order_acquire)) {
        handler(u, v);
        return;
    }
    if (GlTexCoord2f fn = DefaultTexCoord()) fn(u, v);
}

void PaintPixel(void *deviceContext, int32_t x, int32_t y, uint32_t colour) {
    if (VeskPixelHandler handler = g_pixel.load(std::memory_order_acquire)) {
        handler(deviceContext, x, y, colour);
        return;
    }
#if defined(_WIN32)
    if (SetPixelVFn fn = DefaultSetPixel()) fn(static_cast<HDC>(deviceContext), x, y, colour);
#else
    (void)deviceContext;
    (void)x;
    (void)y;
    (void)colour;
#endif
}

FileHandler CurrentFileHandler() {
    return {g_fileRead.load(std::memory_order_acquire), g_fileRelease.load(std::memory_order_acquire)};
}

}  // namespace vesk

VESK_API void VESK_CALL VeskSetMessageHandler(VeskMessageHandler handler) {
    vesk::g_message.store(handler, std::memory_order_release);
}

VESK_API void VESK_CALL VeskSetTickSource(VeskTickSource source) {
    vesk::g_tick.store(source, std::memory_order_release);
}

VESK_API void VESK_CALL VeskSetTexCoordHandler(VeskTexCoordHandler handler) {
    vesk::g_texCoord.store(handler, std::memory_order_release);
}

VESK_API void VESK_CALL VeskSetPixelHandler(VeskPixelHandler handler) {
    vesk::g_pixel.store(handler, std::memory_order_release);
}

VESK_API void VESK_CALL VeskSetFileHandler(VeskFileRead read, VeskFileRelease release) {
    // What the families keep goes back to the handler that served it first.
    vesk::DropKeptFiles();
    vesk::g_fileRelease.store(read ? release : nullptr, std::memory_order_release);
    vesk::g_fileRead.store(read, std::memory_order_release);
}
