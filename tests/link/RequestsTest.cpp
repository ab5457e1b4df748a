#include "link/Requests.h"

#include <gtest/gtest.h>

namespace oriole {
namespace {

struct DelayCase {
    uint32_t clockHz;
    uint32_t cycles;
    int64_t micros;
    uint8_t code;
};

TEST(EncodeDelay, TheListedClockAndCycleValues) {
    const DelayCase cases[] = {
        {1000000, 4, 4, 0x02},  {1000000, 5, 5, 0x03},   {40000, 4, 100, 0x62},
        {30000, 4, 134, 0x82},  {10000, 4, 400, 0x84},   {1000, 5, 5000, 0xB2},
        {1000000, 3, 3, 0x01},  {250000, 4, 16, 0x0E},   {39999, 4, 101, 0x82},
        // Fast crystals and absurdly slow clocks stay at the ends of the range.
        {2000000, 4, 2, 0x00},  {8000000, 4, 1, 0x00},   {20000000, 3, 1, 0x00},
        {10, 5, 500000, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clockHz << " Hz, " << c.cycles << " cycles");
        EXPECT_EQ(CyclesToMicros(c.cycles, c.clockHz), c.micros);
        EXPECT_EQ(EncodeDelay(c.micros), c.code);
    }
}

TEST(MemoryRequest, AddressAndCountMostSignificantByteFirst) {
    EXPECT_EQ(BuildMemoryRequest('E', 0x0080, 1), (MemoryRequest{'E', 0x00, 0x00, 0x80, 0x00, 0x01}));
    EXPECT_EQ(BuildMemoryRequest('F', 0x12345, 0x20), (MemoryRequest{'F', 0x01, 0x23, 0x45, 0x00, 0x20}));
    // The full 65 536 words of the largest devices travel as count 0.
    EXPECT_EQ(BuildMemoryRequest('E', 0, 65536), (MemoryRequest{'E', 0, 0, 0, 0x00, 0x00}));
}

TEST(TimingRequest, GenericAndDeviceRequestsOfTheWorkedExample) {
    EXPECT_EQ(BuildGenericTimingRequest(1000000),
              (TimingRequest{0x54, 0x03, 0x03, 0x03, 0x02, 0x92, 0x5A, 0x5A, 0x5A}));
    const AVR_DEVICE& atmega8 = DeviceAt(FindDeviceByName("ATmega8"));
    ASSERT_EQ(atmega8.id, 55);
    EXPECT_EQ(BuildDeviceTimingRequest(atmega8, 1000000),
              (TimingRequest{0x54, 0x02, 0x02, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}));
}

TEST(TimingRequest, GenericBytesAreThoseOfTheFirstCatalogueRow) {
    const AVR_DEVICE& first = DeviceAt(1);
    for (size_t i = 0; i < kGenericTimingBytes.size(); ++i)
        EXPECT_EQ(kGenericTimingBytes[i], first.timing[i + 2]) << i;
}

TEST(TimingRequest, ZeroHertzHasNoRequest) {
    EXPECT_FALSE(BuildGenericTimingRequest(0));
    EXPECT_FALSE(BuildDeviceTimingRequest(DeviceAt(1), 0));
}

TEST(LinkSettings, LatencyByUsbTimingClampedToTheTable) {
    const std::pair<int32_t, uint8_t> cases[] = {{0, 2},  {1, 16}, {2, 32},  {3, 48},
                                                 {4, 64}, {5, 96}, {6, 96}, {1000, 96},
                                                 {-1, 2}, {INT32_MIN, 2}};
    for (const auto& [setting, latency] : cases) EXPECT_EQ(LatencyForUsbTiming(setting), latency) << setting;
}

TEST(LinkSettings, BaudByDataSpeed) {
    const std::pair<int32_t, uint32_t> cases[] = {{1, 38400}, {2, 28800}, {3, 19200}, {4, 14400},
                                                  {0, 38400}, {5, 38400}, {-2, 38400}};
    for (const auto& [setting, baud] : cases) EXPECT_EQ(BaudForDataSpeed(setting), baud) << setting;
}

}  // namespace
}  // namespace oriole
