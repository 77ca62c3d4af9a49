// Loading the library by name, the way a host engine does.
#pragma once

#if defined(_WIN32)
#include <windows.h>
using VeskModule = HMODULE;
inline VeskModule VeskOpen(const char *name) { return LoadLibraryA(name); }
inline void *VeskSymbol(VeskModule m, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(m, name));
}
inline void VeskClose(VeskModule m) { FreeLibrary(m); }
inline const char *VeskLibraryName() { return "VeskMathLIB.dll"; }
#else
#include <dlfcn.h>
using VeskModule = void *;
inline VeskModule VeskOpen(const char *name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }
inline void *VeskSymbol(VeskModule m, const char *name) { return dlsym(m, name); }
inline void VeskClose(VeskModule m) { dlclose(m); }
inline const char *VeskLibraryName() { return "libVeskMathLIB.so"; }
#endif

template <class Fn>
Fn VeskResolve(VeskModule m, const char *name) {
    return reinterpret_cast<Fn>(VeskSymbol(m, name));
}
