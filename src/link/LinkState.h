#pragma once
// The operation state the writer link reads and writes. It belongs to the
// main window's model, which embeds this struct; the link only borrows it.

#include <cstdint>

namespace oriole {

struct CLinkState {
    int32_t m_nAbort = 0;         // 0 none, 1 cancelled by the user, 2 writer time-out
    int32_t m_nTimeoutTicks = 0;  // ticks a running wait has left (the link counts them), 0 outside
    int32_t m_nUsbTiming = 0;     // 0..5: latency timer index ("USBTiming")
    int32_t m_nDataSpeed = 1;     // 1..4: baud rate index ("DataSpeed")
    uint32_t m_nSysFreq = 1000000;  // device clock in Hz
};

inline constexpr int32_t kAbortNone = 0;
inline constexpr int32_t kAbortCancelled = 1;
inline constexpr int32_t kAbortTimeout = 2;

}  // namespace oriole
