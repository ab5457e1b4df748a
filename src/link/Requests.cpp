#include "link/Requests.h"

#include <algorithm>
#include <cmath>

namespace oriole {

namespace {

uint8_t Byte(uint32_t value, int shift) { return static_cast<uint8_t>((value >> shift) & 0xFFu); }

constexpr uint32_t kGenericCycles = 5;

TimingRequest BuildTiming(uint32_t k1, uint32_t k2, const uint8_t* passThrough, uint32_t clockHz) {
    TimingRequest request{};
    request[0] = kCmdTiming;
    request[1] = EncodeDelay(CyclesToMicros(k1, clockHz));
    request[2] = EncodeDelay(CyclesToMicros(k2, clockHz));
    std::copy(passThrough, passThrough + 6, request.begin() + 3);
    return request;
}

}  // namespace

MemoryRequest BuildMemoryRequest(uint8_t command, uint32_t address, uint32_t count) {
    return {command,        Byte(address, 16), Byte(address, 8), Byte(address, 0),
            Byte(count, 8), Byte(count, 0)};
}

uint8_t EncodeDelay(int64_t micros) {
    int64_t code = micros - 2;
    if (micros > 100) code = static_cast<int64_t>(std::ceil(static_cast<double>(micros) / 100.5)) + 128;
    // Clocks above 2.5 MHz ask for less than the shortest delay, and a clock
    // of a few hertz for more than the longest: the code stays at the end of
    // its range instead of wrapping round to the other.
    return static_cast<uint8_t>(std::clamp<int64_t>(code, 0, 0xFF));
}

int64_t CyclesToMicros(uint32_t cycles, uint32_t clockHz) {
    // Computed in double precision, as the writer's timing always was.
    return static_cast<int64_t>(
        std::ceil(static_cast<double>(cycles) * 1000000.0 / static_cast<double>(clockHz)));
}

std::optional<TimingRequest> BuildDeviceTimingRequest(const AVR_DEVICE& device, uint32_t clockHz) {
    if (clockHz == 0) return std::nullopt;
    return BuildTiming(device.timing[0], device.timing[1], device.timing.data() + 2, clockHz);
}

std::optional<TimingRequest> BuildGenericTimingRequest(uint32_t clockHz) {
    if (clockHz == 0) return std::nullopt;
    return BuildTiming(kGenericCycles, kGenericCycles, kGenericTimingBytes.data(), clockHz);
}

uint8_t LatencyForUsbTiming(int32_t usbTiming) {
    const int32_t last = static_cast<int32_t>(kLatencyTable.size()) - 1;
    return kLatencyTable[static_cast<size_t>(std::clamp(usbTiming, 0, last))];
}

uint32_t BaudForDataSpeed(int32_t dataSpeed) {
    switch (dataSpeed) {
        case 2: return 28800;
        case 3: return 19200;
        case 4: return 14400;
        default: return 38400;
    }
}

}  // namespace oriole
