#pragma once
// The device clocks the settings dialog offers, fastest first. The writer's
// timing is computed from the chosen one, so the list only needs to reach
// down to the slowest clock a board may run at while it is programmed.

#include <array>
#include <cstdint>

namespace oriole {

struct ClockEntry {
    const char* text;  // as the list shows it
    uint32_t hz;
};

// clang-format off
inline constexpr std::array<ClockEntry, 28> ClockTable = {{
    {"1MHz", 1000000}, {"900KHz", 900000}, {"800KHz", 800000}, {"700KHz", 700000},
    {"600KHz", 600000}, {"500KHz", 500000}, {"400KHz", 400000}, {"300KHz", 300000},
    {"200KHz", 200000}, {"100KHz", 100000}, {"90KHz", 90000},   {"80KHz", 80000},
    {"70KHz", 70000},   {"60KHz", 60000},   {"50KHz", 50000},   {"40KHz", 40000},
    {"30KHz", 30000},   {"20KHz", 20000},   {"10KHz", 10000},   {"9KHz", 9000},
    {"8KHz", 8000},     {"7KHz", 7000},     {"6KHz", 6000},     {"5KHz", 5000},
    {"4KHz", 4000},     {"3KHz", 3000},     {"2KHz", 2000},     {"1KHz", 1000},
}};
// clang-format on

}  // namespace oriole
