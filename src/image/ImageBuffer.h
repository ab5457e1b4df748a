#pragma once
// One memory image: a cell per byte address, -1 meaning "no data here".

#include <algorithm>
#include <cstdint>
#include <vector>

namespace oriole {

inline constexpr int16_t kNoData = -1;

struct ImageBuffer {
    std::vector<int16_t> cells;  // one per byte address from 0; -1 or 0..255
    uint32_t count = 0;          // capacity before a load, used length after it

    // Discards the previous content: `capacity` cells of no data, count = capacity.
    void Allocate(uint32_t capacity) {
        cells.assign(capacity, kNoData);
        count = capacity;
    }

    // Whether any cell holds a byte.
    [[nodiscard]] bool HasData() const {
        return std::any_of(cells.begin(), cells.end(), [](int16_t c) { return c != kNoData; });
    }
};

}  // namespace oriole
