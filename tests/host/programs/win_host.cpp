// Windows host check: load the DLL by name, resolve every built export by name
// and by ordinal (they must agree), call a few math exports, and run the golden
// calls, which must give the hashes recorded from the Linux build.
// Usage: vesk_win_host <player directory> <test data root>   (Windows paths)
#include <VeskMathLIB.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "golden_calls.h"
#include "host_dl.h"
#include "q3bsp_host_check.h"

namespace {
struct Row {
    int ordinal;
    const char *name;
};
const Row kRows[] = {
#define VESK_EXPORT_ROW(ord, name, args, entry) {ord, #name},
#include "exports_built.inc"
#undef VESK_EXPORT_ROW
};
int g_failures = 0;
using VeskSetMessageHandlerFn = void(VESK_CALL *)(VeskMessageHandler);

void VESK_CALL PrintMessage(const char *caption, const char *text) { std::printf("message %s: %s\n", caption, text); }

DWORD WINAPI IdleThread(LPVOID) { return 0; }

void Expect(bool ok, const char *what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}
// Sizes the pose arrays from the size query, as a host must, with a guard
// record after each that the export must leave alone.
void CheckPoseFitsTheQuery(VeskModule lib, int32_t index) {
    using Counts = void(VESK_CALL *)(int32_t, int32_t *);
    using Mesh = int32_t(VESK_CALL *)(int32_t, CharacterVertex *, CharacterVertex *, CharacterVertex *,
                                      CharacterVertex *, int32_t *, float *);
    const auto counts = VeskResolve<Counts>(lib, "VeskGetModelMD3counts");
    const auto mesh = VeskResolve<Mesh>(lib, "GetModelMD3mesh");
    Expect(counts && mesh, "VeskGetModelMD3counts and GetModelMD3mesh resolve");
    if (!counts || !mesh) return;
    int32_t query[4] = {-1, -1, -1, -1};
    counts(index, query);
    Expect(query[0] > 0 && query[1] > 0 && query[2] > 0, "VeskGetModelMD3counts sizes legs, upper body and head");
    std::vector<CharacterVertex> parts[4];
    CharacterVertex guard;
    std::memset(&guard, 0xA5, sizeof guard);
    for (int p = 0; p < 4; ++p) parts[p].assign(static_cast<size_t>(query[p] > 0 ? query[p] : 0) + 1, guard);
    int32_t written[4] = {0, 0, 0, 0};
    float box[6];
    mesh(index, parts[0].data(), parts[1].data(), parts[2].data(), parts[3].data(), written, box);
    bool fits = true;
    for (int p = 0; p < 4; ++p)
        fits = fits && written[p] == query[p] && std::memcmp(&parts[p].back(), &guard, sizeof guard) == 0;
    Expect(fits, "GetModelMD3mesh writes exactly the queried records, guards untouched");
}
}  // namespace

int main(int argc, char **argv) {
    VeskModule lib = VeskOpen("VeskMathLIB.dll");
    Expect(lib != nullptr, "LoadLibraryA(\"VeskMathLIB.dll\") (entry routine accepted the load)");
    if (!lib) return 1;
    int resolved = 0;
    for (const Row &row : kRows) {
        void *byName = VeskSymbol(lib, row.name);
        void *byOrdinal = reinterpret_cast<void *>(
            GetProcAddress(lib, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(row.ordinal))));
        if (!byName || byName != byOrdinal) {
            std::printf("FAIL %s at ordinal %d: by name %p, by ordinal %p\n", row.name, row.ordinal, byName, byOrdinal);
            ++g_failures;
        } else {
            ++resolved;
        }
    }
    std::printf("resolved %d of %d built exports by name and ordinal\n", resolved,
                static_cast<int>(sizeof kRows / sizeof kRows[0]));
    Expect(VeskSymbol(lib, "FastCos") == VeskSymbol(lib, "fCos"), "FastCos and fCos are one entry point");

    auto inverseSqrt = VeskResolve<float(VESK_CALL *)(float)>(lib, "InverseSqrt");
    auto arcTan2 = VeskResolve<float(VESK_CALL *)(float, float)>(lib, "farcTan2");
    auto shiftLeft = VeskResolve<int32_t(VESK_CALL *)(int32_t, int32_t)>(lib, "Shift_LEFT");
    auto length = VeskResolve<float(VESK_CALL *)(const Vector3 *)>(lib, "VECTOR_Length");
    Expect(inverseSqrt && inverseSqrt(4.0f) == 0.5f, "InverseSqrt(4) == 0.5");
    Expect(arcTan2 && std::fabs(arcTan2(0.0f, -1.0f) - 3.14159265f) < 1e-6f, "farcTan2(0, -1) == pi");
    Expect(shiftLeft && shiftLeft(1, 33) == 2, "Shift_LEFT(1, 33) == 2");
    const Vector3 v{3.0f, 4.0f, 0.0f};
    Expect(length && std::fabs(length(&v) - 5.0f) < 1e-6f, "VECTOR_Length(3, 4, 0) == 5");

    // The player count survives a thread the host starts after a load: only
    // process attach and detach reset it.
    auto loadPlayer = VeskResolve<int32_t(VESK_CALL *)(const char *)>(lib, "GetModelMD3");
    const char *playerDir = argc > 1 ? argv[1] : nullptr;
    if (loadPlayer && playerDir) {
        VeskSetMessageHandlerFn setMessages = VeskResolve<VeskSetMessageHandlerFn>(lib, "VeskSetMessageHandler");
        if (setMessages) setMessages(&PrintMessage);
        const int32_t first = loadPlayer(playerDir);
        Expect(first == 1, "GetModelMD3 loads a player into slot 0");
        HANDLE thread = CreateThread(nullptr, 0, &IdleThread, nullptr, 0, nullptr);
        Expect(thread != nullptr, "CreateThread");
        if (thread) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        Expect(loadPlayer(playerDir) == first + 1, "a thread started after a load keeps the player count");
        CheckPoseFitsTheQuery(lib, first - 1);
    } else if (loadPlayer) {
        std::printf("FAIL GetModelMD3 is built but no player directory was given\n");
        ++g_failures;
    }
    // The same seeded calls as the Linux golden test, and a level loaded by the
    // same calls as a Linux host, through this DLL; the script compares the
    // printed level line with the Linux build's.
    if (argc > 2) {
        const std::string root = argv[2];
        const vesk_golden::Data data{root + "\\assimp\\OBJ\\spider.obj",
                                     root + "\\openarena\\models\\players\\sarge",
                                     root + "\\openarena\\maps\\oa_dm1.bsp",
                                     root + "\\assimp\\MDL\\MDL (HL1)\\man.mdl"};
        const int mismatches = vesk_golden::CountMismatches(vesk_golden::RunAll(lib, data));
        Expect(mismatches == 0, "golden results match the Linux build");

        const std::string mapPath = root + "\\openarena\\maps\\oa_dm1.bsp";
        int32_t counts[7] = {};
        std::vector<intptr_t> faces;
        uint64_t digest = 0;
        const bool loaded =
            vesk_host::LevelDigest(vesk_host::ResolveLevelExports(lib), mapPath.c_str(), counts, faces, digest);
        Expect(loaded && !faces.empty(), "Q3 BSP level loads and reports visible faces from a spawn");
        if (loaded) vesk_host::PrintDigestLine(counts, faces, digest);
    } else {
        std::printf("FAIL no test data root given for the golden results and the level\n");
        ++g_failures;
    }
    VeskClose(lib);
    std::printf("%s\n", g_failures ? "windows host check FAILED" : "windows host check passed");
    return g_failures ? 1 : 0;
}
