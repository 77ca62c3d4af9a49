// Calls through a host callback cell.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>

namespace vesk {

// The cell is read before every call: a host may swap the function from inside
// a callback, and the next call must see the new one.
inline void CallHost(const VeskHostCallback *cell, intptr_t argument) {
    if (cell == nullptr) return;
    const VeskHostCallback function = *static_cast<const volatile VeskHostCallback *>(cell);
    if (function != nullptr) function(argument);
}

}  // namespace vesk
