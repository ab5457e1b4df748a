#pragma once
// Fuse writes from the command line: the current values are read and printed
// first, so the user can always write them back. Which writes may go ahead
// is the core's fuse policy (ops/FusePolicy.h).

#include <cstdio>

#include "devices/FuseGuard.h"
#include "ops/OrioleCore.h"

namespace oriole::cli {

// Reads the fuses through the core and prints them on `out`.
[[nodiscard]] bool ReadAndPrintFuses(COrioleCore& core, FuseBytes& current, bool timing,
                                     FILE* out = stdout);

}  // namespace oriole::cli
