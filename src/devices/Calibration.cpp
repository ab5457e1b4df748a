#include "devices/Devices.h"

namespace oriole {

namespace {

// Each list's order is the calibration byte index the writer is asked for.
constexpr std::array<const char*, 1> kTiny12{"1.2MHz"};
constexpr std::array<const char*, 1> kTiny13{"9.6MHz/4.8MHz"};
constexpr std::array<const char*, 1> kTinyX5{"8.0MHz/6.4MHz"};
constexpr std::array<const char*, 4> kFourSteps{"1.0MHz", "2.0MHz", "4.0MHz", "8.0MHz"};
constexpr std::array<const char*, 2> kTiny2313{"8.0MHz", "4.0MHz"};
constexpr std::array<const char*, 1> kMega163{"1.0MHz"};
constexpr std::array<const char*, 1> kEightMhz{"8.0MHz"};

constexpr std::array<int32_t, 1> kTiny12Ids{5};
constexpr std::array<int32_t, 1> kTiny13Ids{7};
constexpr std::array<int32_t, 3> kTinyX5Ids{24, 38, 59};
constexpr std::array<int32_t, 7> kFourStepIds{25, 54, 55, 56, 67, 98, 114};
constexpr std::array<int32_t, 1> kTiny2313Ids{26};
constexpr std::array<int32_t, 1> kMega163Ids{66};
// ATmega329P (82) is listed here with its sibling ATmega329: the part carries
// an 8 MHz factory calibration byte and selecting it enables the calibration
// controls, which an empty list would leave with nothing to choose.
constexpr std::array<int32_t, 44> kEightMhzIds{
    27,  28,  36,  37,  39,  40,  57,  58,  60,  61,  68,  69,  70,  71,  72,
    73,  74,  82,  83,  84,  85,  86,  87,  88,  93,  94,  99,  100, 101, 102,
    104, 105, 106, 115, 116, 305, 306, 307, 322, 337, 353, 354, 369, 370,
};

struct CalibrationGroup {
    std::span<const int32_t> ids;
    std::span<const char* const> frequencies;
};

// Devices not listed (the AT90S parts) have no calibration byte.
constexpr std::array<CalibrationGroup, 7> kGroups{{
    {kTiny12Ids, kTiny12},
    {kTiny13Ids, kTiny13},
    {kTinyX5Ids, kTinyX5},
    {kFourStepIds, kFourSteps},
    {kTiny2313Ids, kTiny2313},
    {kMega163Ids, kMega163},
    {kEightMhzIds, kEightMhz},
}};

// An id in two groups would silently take the first group's list.
constexpr bool IdsAreUnique() {
    for (const CalibrationGroup& group : kGroups) {
        for (const int32_t id : group.ids) {
            int seen = 0;
            for (const CalibrationGroup& other : kGroups) {
                for (const int32_t otherId : other.ids) seen += otherId == id ? 1 : 0;
            }
            if (seen != 1) return false;
        }
    }
    return true;
}
static_assert(IdsAreUnique());

}  // namespace

std::span<const char* const> CalibrationFrequencies(int32_t id) {
    for (const CalibrationGroup& g : kGroups) {
        for (const int32_t member : g.ids) {
            if (member == id) return g.frequencies;
        }
    }
    return {};
}

}  // namespace oriole
