#include "ops/MemoryBlocks.h"

#include <algorithm>

namespace oriole {

uint32_t FlashBlockBytes(const AVR_DEVICE& device) {
    const auto words = device.HasPagedFlash() ? static_cast<uint32_t>(device.flashPageWords)
                                              : static_cast<uint32_t>(device.flashChunkWords);
    return 2 * words;
}

uint32_t EepromBlockBytes(const AVR_DEVICE& device) {
    return device.HasPagedEeprom() ? static_cast<uint32_t>(device.eepromPageBytes)
                                   : static_cast<uint32_t>(device.eepromChunkBytes);
}

std::vector<ByteSpan> VerifySpans(const ImageBuffer& image, uint32_t blockBytes, uint32_t unitBytes,
                                  uint32_t maxBytes) {
    std::vector<ByteSpan> spans;
    const auto end = static_cast<uint32_t>(std::min<size_t>(image.count, image.cells.size()));
    const auto close = [&](uint32_t first, uint32_t last) {
        // Whole units; the block sizes are multiples of the unit, so the
        // widened span stays inside its own blocks.
        first -= first % unitBytes;
        const uint32_t stop = (last / unitBytes + 1) * unitBytes;
        for (uint32_t at = first; at < stop; at += maxBytes)
            spans.push_back({at, std::min(maxBytes, stop - at)});
    };
    bool inRun = false;  // the previous block holds data
    uint32_t runFirst = 0;
    uint32_t runLast = 0;
    for (uint32_t block = 0; block < end; block += blockBytes) {
        const uint32_t blockEnd = std::min(end, block + blockBytes);
        bool any = false;
        for (uint32_t j = block; j < blockEnd; ++j) {
            if (image.cells[j] == kNoData) continue;
            if (!inRun) runFirst = j;
            inRun = true;
            runLast = j;
            any = true;
        }
        if (!any && inRun) {
            close(runFirst, runLast);
            inRun = false;
        }
    }
    if (inRun) close(runFirst, runLast);
    return spans;
}

}  // namespace oriole
