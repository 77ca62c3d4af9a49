// Loads a Q3 BSP level through the library loaded by name and prints what a
// host sees from the first deathmatch spawn: the seven counts, the number of
// faces GetQ3BSP_Process2 reports and a digest of them in report order. The
// Windows host check prints the same line for the DLL, and the two are compared.
#include <VeskMathLIB.h>

#include <cstdio>
#include <vector>

#include "host_dl.h"
#include "q3bsp_host_check.h"

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s map.bsp\n", argv[0]);
        return 2;
    }
    VeskModule lib = VeskOpen(VeskLibraryName());
    if (!lib) {
        std::fprintf(stderr, "cannot load %s\n", VeskLibraryName());
        return 1;
    }
    const vesk_host::LevelExports e = vesk_host::ResolveLevelExports(lib);
    int32_t counts[7] = {};
    std::vector<intptr_t> faces;
    uint64_t digest = 0;
    const bool ok = vesk_host::LevelDigest(e, argv[1], counts, faces, digest);
    if (ok) vesk_host::PrintDigestLine(counts, faces, digest);
    VeskClose(lib);
    return ok ? 0 : 1;
}
