#include "frame/module_state.h"

#include <VeskMathLIB.h>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vesk {
namespace {
int32_t g_md3PlayerCount = 0;
}  // namespace

int32_t &Md3PlayerCount() { return g_md3PlayerCount; }

bool OnEntry(EntryReason reason) {
    if (reason == EntryReason::ProcessAttach || reason == EntryReason::ProcessDetach) g_md3PlayerCount = 0;
    return true;
}

}  // namespace vesk

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: return vesk::OnEntry(vesk::EntryReason::ProcessAttach);
        case DLL_PROCESS_DETACH: return vesk::OnEntry(vesk::EntryReason::ProcessDetach);
        case DLL_THREAD_ATTACH: return vesk::OnEntry(vesk::EntryReason::ThreadAttach);
        default: return vesk::OnEntry(vesk::EntryReason::ThreadDetach);
    }
}
#else
// The toolchain's load and unload hooks stand in for the entry routine.
__attribute__((constructor)) static void VeskOnLoad() { vesk::OnEntry(vesk::EntryReason::ProcessAttach); }
__attribute__((destructor)) static void VeskOnUnload() { vesk::OnEntry(vesk::EntryReason::ProcessDetach); }
#endif
