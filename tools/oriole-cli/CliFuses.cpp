#include "CliFuses.h"

namespace oriole::cli {

void PrintCurrentFuses(const AVR_DEVICE& device, const FuseBytes& current, FILE* out) {
    std::fprintf(out, "現在のヒューズ (%s): Ext: %02X  High: %02X  Low: %02X\n", device.name, current.ext,
                 current.high, current.low);
    std::fflush(out);
}

}  // namespace oriole::cli
