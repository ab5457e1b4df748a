#pragma once
// Fuse writes from the command line: the current values are read and printed
// first, so the user can always write them back; a write that would release
// SPIEN is refused; one that programs RSTDISBL or DWEN or changes the clock
// source goes ahead only when the caller allows it.

#include "devices/FuseGuard.h"
#include "ops/OrioleCore.h"

namespace oriole::cli {

// Reads the fuses through the core and prints them on standard output.
[[nodiscard]] bool ReadAndPrintFuses(COrioleCore& core, FuseBytes& current, bool timing);

// Checks `wanted` against `current` for the selected device. A SPIEN release
// is always refused; the other risks are refused unless `allowRisky`, with
// `hint` telling how to allow them. Reports through the core's host.
[[nodiscard]] bool AcceptFuseWrite(COrioleCore& core, const FuseBytes& current,
                                   const FuseBytes& wanted, bool allowRisky, const char* hint);

}  // namespace oriole::cli
