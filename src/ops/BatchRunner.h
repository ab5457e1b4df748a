#pragma once
// Steps run in order, as the batch dialog, both command forms of the
// command-line tool and production runs string the operations together:
// the first step sends the device's timing and the later ones rely on the
// box keeping it, and the batch stops at the first step that fails.

#include <cstdint>
#include <functional>
#include <span>

#include "ops/OrioleCore.h"

namespace oriole {

// The steps of the batch dialog as bits of its step mask (the settings'
// AutoCheck key), in the order they run.
namespace step_bit {
inline constexpr uint32_t kErase = 0x001;
inline constexpr uint32_t kWriteFlash = 0x002;
inline constexpr uint32_t kVerifyFlash = 0x004;
inline constexpr uint32_t kWriteEeprom = 0x008;
inline constexpr uint32_t kVerifyEeprom = 0x010;
inline constexpr uint32_t kWriteFuses = 0x020;
inline constexpr uint32_t kVerifyFuses = 0x040;
inline constexpr uint32_t kWriteLock = 0x080;
inline constexpr uint32_t kVerifyLock = 0x100;
inline constexpr uint32_t kWriteCalibration = 0x200;
inline constexpr uint32_t kVerifyCalibration = 0x400;
inline constexpr uint32_t kEvery = 0x7FF;
}  // namespace step_bit

struct BatchStep {
    // The batch dialog's log line; any text the front end shows for the step.
    const char* log = nullptr;
    // Asked when the step's turn comes (a box ticked during the run counts);
    // empty: the step runs.
    std::function<bool()> wanted = {};
    // The step's work; the options carry the timing its turn gives it.
    std::function<bool(const OpOptions& options)> run = {};
    // The step sends the timing whatever it is given (the erase), so the
    // step after it still counts as the first.
    bool keepsFirst = false;
};

struct BatchEvents {
    std::function<void(const BatchStep&)> onStart = {};
    std::function<void(const BatchStep&, bool ok)> onEnd = {};
};

// Runs the wanted steps with `options` (its timing for the first step, none
// after it). True when every step that ran succeeded.
[[nodiscard]] bool RunBatch(std::span<const BatchStep> steps, const OpOptions& options,
                            const BatchEvents& events = {});

}  // namespace oriole
