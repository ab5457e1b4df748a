#pragma once
// The connection check behind `oriole-cli doctor`: the backends there are,
// the FTDI chips on USB with their driver, udev rule and permissions, then
// the box itself (line set-up, the generic timing request and its
// acknowledge, the round-trip time, whether a chip answers). Every check
// gives OK or NG with what it found and, when NG, the one-line fix. Nothing
// here prints.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Clock.h"
#include "link/UsbFacts.h"
#include "link/WireTrace.h"

namespace oriole {

struct DoctorCheck {
    bool ok = false;
    std::string title;
    std::string detail;
    std::string fix;  // empty when ok
};

struct DoctorSetup {
    std::string writer = "auto";
    UsbRoots roots;
    int32_t usbTiming = 0;
    int32_t dataSpeed = 1;
    uint32_t deviceClock = 1000000;
    int roundTrips = 20;
    std::shared_ptr<CWireTrace> trace;  // every driver call of the box checks
    IClock* clock = &SystemClock();
};

struct DoctorResult {
    std::vector<DoctorCheck> checks;
    bool boxAnswered = false;  // a box opened and acknowledged the timing request
};

[[nodiscard]] DoctorResult Diagnose(const DoctorSetup& setup);

}  // namespace oriole
