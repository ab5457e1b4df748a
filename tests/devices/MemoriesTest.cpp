#include "devices/Memories.h"

#include <gtest/gtest.h>

#include <string>

#include "devices/FuseGuard.h"

namespace oriole {
namespace {

// Size and what the box can do ("rw", "r", "w", "") of each memory kind, in
// the order of kAllMemories, as the device sheets and the box's commands give
// them.
struct Expected {
    uint32_t size;
    const char* can;
};

// A few devices as their sheets give them; then every row against the
// catalogue's other columns, the sentinels with nothing.
TEST(Memories, DescriptionOfEachKind) {
    const struct {
        const char* device;
        Expected memories[std::size(kAllMemories)];  // flash eeprom lfuse hfuse efuse lock cal sig
    } cases[] = {
        {"ATmega328P", {{32768, "rw"}, {1024, "rw"}, {1, "rw"}, {1, "rw"}, {1, "rw"}, {1, "rw"}, {1, "r"}, {3, "r"}}},
        // No fuses, no calibration byte, lock bits neither read nor written.
        {"AT90S2313", {{2048, "rw"}, {128, "rw"}, {0, ""}, {0, ""}, {0, ""}, {1, ""}, {0, ""}, {3, "r"}}},
        // Lock bits the box can write and never read back.
        {"AT90S8515", {{8192, "rw"}, {512, "rw"}, {0, ""}, {0, ""}, {0, ""}, {1, "w"}, {0, ""}, {3, "r"}}},
        {"ATtiny13", {{1024, "rw"}, {64, "rw"}, {1, "rw"}, {1, "rw"}, {0, ""}, {1, "rw"}, {1, "r"}, {3, "r"}}},
        // The single fuse bit, read with the lock bits.
        {"AT90S8535", {{8192, "rw"}, {512, "rw"}, {1, "rw"}, {0, ""}, {0, ""}, {1, "rw"}, {0, ""}, {3, "r"}}},
        // A single fuse byte and a calibration byte.
        {"ATtiny12", {{1024, "rw"}, {64, "rw"}, {1, "rw"}, {0, ""}, {0, ""}, {1, "rw"}, {1, "r"}, {3, "r"}}},
        // Forced bits in both fuse bytes, no extended byte.
        {"ATmega163", {{16384, "rw"}, {512, "rw"}, {1, "rw"}, {1, "rw"}, {0, ""}, {1, "rw"}, {1, "r"}, {3, "r"}}},
        // Four calibration bytes, one per frequency.
        {"ATmega8", {{8192, "rw"}, {512, "rw"}, {1, "rw"}, {1, "rw"}, {0, ""}, {1, "rw"}, {4, "r"}, {3, "r"}}},
    };
    for (const auto& c : cases) {
        const int row = FindDeviceByName(c.device);
        ASSERT_NE(row, 0) << c.device;
        for (size_t i = 0; i < std::size(kAllMemories); ++i) {
            const MemoryInfo m = DescribeMemory(DeviceAt(row), kAllMemories[i]);
            const std::string can = std::string(m.readable ? "r" : "") + (m.writable ? "w" : "");
            SCOPED_TRACE(std::string(c.device) + " memory " + std::to_string(i));
            EXPECT_EQ(m.kind, kAllMemories[i]);
            EXPECT_EQ(m.size, c.memories[i].size);
            EXPECT_EQ(can, c.memories[i].can);
            EXPECT_EQ(HasMemory(DeviceAt(row), m.kind), c.memories[i].size != 0);
        }
    }
    for (int row = 0; row <= kEndMarkerRow; ++row) {
        const AVR_DEVICE& d = DeviceAt(row);
        SCOPED_TRACE(row);
        const bool device = row != 0 && row != kEndMarkerRow;
        for (const Memory kind : kAllMemories) {
            const MemoryInfo m = DescribeMemory(d, kind);
            EXPECT_TRUE(m.Present() || !(m.readable || m.writable));
            EXPECT_TRUE(device || !m.Present());
            if (!device || FuseSelectorOf(kind) == 0) continue;
            EXPECT_EQ(m.Present(), NamedFuseBits(d, FuseSelectorOf(kind)) != 0) << d.name;
        }
        if (!device) continue;
        EXPECT_EQ(HasFuses(d), d.fuseMask != 0) << d.name;
        EXPECT_EQ(HasMemory(d, Memory::Calibration), d.calibControls) << d.name;
        EXPECT_EQ(DescribeMemory(d, Memory::Flash).size,
                  static_cast<uint32_t>(2 * d.flashPages * d.flashPageWords)) << d.name;
        EXPECT_EQ(DescribeMemory(d, Memory::Lock).readable, d.LockBitsReadable()) << d.name;
    }
}

}  // namespace
}  // namespace oriole
