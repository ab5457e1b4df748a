#pragma once
// Fuse writes from the command line: the values a write read before it
// wrote are printed, so the user can always write them back. Which writes
// may go ahead is the core's fuse policy (ops/FusePolicy.h).

#include <cstdio>

#include "devices/Devices.h"
#include "devices/FuseGuard.h"

namespace oriole::cli {

// "現在のヒューズ (device): Ext: .. High: .. Low: .." on `out`.
void PrintCurrentFuses(const AVR_DEVICE& device, const FuseBytes& current, FILE* out);

}  // namespace oriole::cli
