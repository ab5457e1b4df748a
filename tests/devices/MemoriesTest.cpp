#include "devices/Memories.h"

#include <gtest/gtest.h>

#include <string>

#include "devices/FuseGuard.h"

namespace oriole {
namespace {

// A few devices as their sheets and the box's commands give them: size and
// "rw", "r", "w" or "" per kind in the order of kAllMemories (flash, eeprom,
// lfuse, hfuse, efuse, lock, calibration, signature); then every row against
// the catalogue's other columns, the sentinels with nothing.
TEST(Memories, DescriptionOfEachKind) {
    const struct {
        const char* device;
        std::pair<uint32_t, const char*> memories[std::size(kAllMemories)];
    } cases[] = {
        {"ATmega328P", {{32768, "rw"}, {1024, "rw"}, {1, "rw"}, {1, "rw"}, {1, "rw"}, {1, "rw"}, {1, "r"}, {3, "r"}}},
        // Lock bits the box can neither read nor write.
        {"AT90S2313", {{2048, "rw"}, {128, "rw"}, {0, ""}, {0, ""}, {0, ""}, {1, ""}, {0, ""}, {3, "r"}}},
        // Lock bits written, never read back.
        {"AT90S8515", {{8192, "rw"}, {512, "rw"}, {0, ""}, {0, ""}, {0, ""}, {1, "w"}, {0, ""}, {3, "r"}}},
        {"ATtiny13", {{1024, "rw"}, {64, "rw"}, {1, "rw"}, {1, "rw"}, {0, ""}, {1, "rw"}, {1, "r"}, {3, "r"}}},
        // The single fuse bit, read with the lock bits.
        {"AT90S8535", {{8192, "rw"}, {512, "rw"}, {1, "rw"}, {0, ""}, {0, ""}, {1, "rw"}, {0, ""}, {3, "r"}}},
        // Forced bits in both fuse bytes.
        {"ATmega163", {{16384, "rw"}, {512, "rw"}, {1, "rw"}, {1, "rw"}, {0, ""}, {1, "rw"}, {1, "r"}, {3, "r"}}},
        // One calibration byte per frequency.
        {"ATmega8", {{8192, "rw"}, {512, "rw"}, {1, "rw"}, {1, "rw"}, {0, ""}, {1, "rw"}, {4, "r"}, {3, "r"}}},
    };
    for (const auto& c : cases) {
        for (size_t i = 0; i < std::size(kAllMemories); ++i) {
            const MemoryInfo m = DescribeMemory(DeviceAt(FindDeviceByName(c.device)), kAllMemories[i]);
            const std::string can = std::string(m.readable ? "r" : "") + (m.writable ? "w" : "");
            EXPECT_EQ(std::make_pair(m.size, can), std::make_pair(c.memories[i].first, std::string(c.memories[i].second)))
                << c.device << " memory " << i;
        }
    }
    for (int row = 0; row <= kEndMarkerRow; ++row) {
        const AVR_DEVICE& d = DeviceAt(row);
        const bool device = row != 0 && row != kEndMarkerRow;
        for (const Memory kind : kAllMemories) {
            const MemoryInfo m = DescribeMemory(d, kind);
            EXPECT_EQ(m.kind, kind);
            EXPECT_TRUE(m.Present() || !(m.readable || m.writable)) << row;
            EXPECT_TRUE(device || !m.Present()) << row;
            if (device && FuseSelectorOf(kind) != 0) {
                EXPECT_EQ(m.Present(), NamedFuseBits(d, FuseSelectorOf(kind)) != 0) << d.name;
            }
        }
        if (!device) continue;
        EXPECT_EQ(HasFuses(d), d.fuseMask != 0) << d.name;
        EXPECT_EQ(HasMemory(d, Memory::Calibration), d.calibControls) << d.name;
        EXPECT_EQ(DescribeMemory(d, Memory::Lock).readable, d.LockBitsReadable()) << d.name;
    }
}

}  // namespace
}  // namespace oriole
