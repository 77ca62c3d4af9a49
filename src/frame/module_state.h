// Module-level values that the entry routine itself manages.
//
// Each loader family keeps its own module object (a namespace-scope object in
// its subsystem, constructed at load and destroyed at unload, whose destructor
// frees its arrays and zeroes its counts). Only the MD3 player count lives here,
// because the entry routine resets it.
#pragma once

#include <cstdint>

namespace vesk {

// Count of loaded MD3 players; reset when the library is loaded and unloaded.
int32_t &Md3PlayerCount();

// The entry routine's work for one notification. Thread notifications change
// nothing: a host that starts a thread must not lose its players.
enum class EntryReason { ProcessAttach, ProcessDetach, ThreadAttach, ThreadDetach };
bool OnEntry(EntryReason reason);

}  // namespace vesk
