#pragma once
// A monotonic clock the writer link, the simulated writer box and the hosts
// share: the system's steady clock in the program, a virtual clock in tests
// so that an eleven-second time-out takes no real time.

#include <chrono>
#include <thread>

namespace oriole {

using ClockTime = std::chrono::nanoseconds;  // since the clock's own epoch

class IClock {
public:
    virtual ~IClock() = default;
    virtual ClockTime Now() const = 0;
    // Returns once Now() >= t (at once when t has passed).
    virtual void SleepUntil(ClockTime t) = 0;
    void SleepFor(ClockTime d) { SleepUntil(Now() + d); }
};

class CSystemClock final : public IClock {
public:
    ClockTime Now() const override {
        return std::chrono::duration_cast<ClockTime>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
    void SleepUntil(ClockTime t) override {
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(t)));
    }
};

// The one system clock; it has no state of its own.
inline IClock& SystemClock() {
    static CSystemClock clock;
    return clock;
}

// Time moves only when someone sleeps or advances it.
class CVirtualClock final : public IClock {
public:
    ClockTime Now() const override { return m_now; }
    void SleepUntil(ClockTime t) override {
        if (t > m_now) m_now = t;
    }
    void Advance(ClockTime d) { m_now += d; }

private:
    ClockTime m_now{0};
};

}  // namespace oriole
