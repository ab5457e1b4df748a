#include "CliFuses.h"

#include <cstdio>

namespace oriole::cli {

bool ReadAndPrintFuses(COrioleCore& core, FuseBytes& current, bool timing) {
    if (!core.ReadFuses(current, timing)) return false;
    std::printf("現在のヒューズ (%s): Ext: %02X  High: %02X  Low: %02X\n", core.Device().name,
                current.ext, current.high, current.low);
    std::fflush(stdout);
    return true;
}

}  // namespace oriole::cli
