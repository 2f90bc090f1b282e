// The engine interface's value and message types, as the protocol layer uses
// them. Engine.h spells DECIMAL's 128-bit integer as __int128, a compiler
// extension that -Wpedantic reports in every includer; the warning is silenced
// here once instead of in each file.
#pragma once

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#include "engine/Engine.h"
#pragma GCC diagnostic pop

namespace standin::tds {
__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;
}  // namespace standin::tds
