#include "CliFuses.h"

#include <cstdio>

namespace oriole::cli {

bool ReadAndPrintFuses(COrioleCore& core, FuseBytes& current, bool timing, FILE* out) {
    if (!core.ReadFuses(current, timing)) return false;
    std::fprintf(out, "現在のヒューズ (%s): Ext: %02X  High: %02X  Low: %02X\n", core.Device().name,
                current.ext, current.high, current.low);
    std::fflush(out);
    return true;
}

}  // namespace oriole::cli
