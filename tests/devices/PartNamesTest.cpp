#include "devices/PartNames.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "devices/Devices.h"

namespace oriole {
namespace {

std::vector<std::string> Words(const char* list) {
    std::vector<std::string> out;
    std::string word;
    for (const char* p = list;; ++p) {
        if (*p == ' ' || *p == '\0') {
            if (!word.empty()) out.push_back(word);
            word.clear();
            if (*p == '\0') break;
        } else {
            word += *p;
        }
    }
    return out;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// avrdude's ids are avr-gcc's names with the family prefix shortened.
std::string AvrdudeIdFromGccName(const std::string& mmcu) {
    static const std::pair<const char*, const char*> kPrefixes[] = {
        {"atmega", "m"},    {"attiny", "t"},    {"at90can", "c"},
        {"at90usb", "usb"}, {"at90pwm", "pwm"}, {"at90s", ""}};
    for (const auto& [gcc, dude] : kPrefixes)
        if (mmcu.rfind(gcc, 0) == 0) return dude + mmcu.substr(std::string(gcc).size());
    return "?";
}

TEST(PartNames, OneRowPerCatalogueDevice) {
    std::set<std::string> named;
    for (const PART_NAMES& p : PartNameTable()) {
        EXPECT_NE(FindDeviceByName(p.device), 0) << p.device;
        EXPECT_TRUE(named.insert(p.device).second) << "twice: " << p.device;
    }
    for (int row = 1; row <= kDeviceCount; ++row) {
        const AVR_DEVICE& d = DeviceAt(row);
        EXPECT_EQ(named.count(d.name), 1u) << d.name;
        EXPECT_FALSE(AvrdudePartId(row).empty()) << d.name;
        EXPECT_FALSE(GccDeviceName(row).empty()) << d.name;
    }
}

// Every name leads back to its own row in any case, which also proves that no
// name is shared by two rows or shadowed by another row's catalogue name.
TEST(PartNames, EveryNameFindsItsRow) {
    for (const PART_NAMES& p : PartNameTable()) {
        const int row = FindDeviceByName(p.device);
        const std::vector<std::string> mmcu = Words(p.mmcu);
        const std::vector<std::string> ids = Words(p.avrdude);
        ASSERT_FALSE(mmcu.empty()) << p.device;
        ASSERT_EQ(mmcu.size(), ids.size()) << p.device;
        for (size_t i = 0; i < mmcu.size(); ++i) {
            EXPECT_EQ(AvrdudeIdFromGccName(mmcu[i]), ids[i]) << p.device;
            for (const std::string& name : {mmcu[i], ids[i], Upper(mmcu[i]), Upper(ids[i])})
                EXPECT_EQ(FindDeviceByPartName(name), row) << name;
        }
        const std::string device = p.device;
        if (device.find('/') == std::string::npos) {
            std::string lower = device;
            for (char& c : lower)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            EXPECT_EQ(mmcu[0], lower);
        }
    }
}

TEST(PartNames, KnownNames) {
    const struct {
        const char* name;
        const char* device;  // nullptr: unknown
    } cases[] = {
        {"m328p", "ATmega328P"},
        {"ATMEGA328P", "ATmega328P"},
        {"atmega328p", "ATmega328P"},
        {"2313", "AT90S2313"},
        {"t2313", "ATtiny2313"},
        {"8515", "AT90S8515"},
        {"m8515", "ATmega8515"},
        {"t13", "ATtiny13"},
        {"attiny13a", "ATtiny13"},
        {"atmega48pa", "ATmega48P/PA"},
        {"m48", "ATmega48"},
        {"usb1287", "AT90USB1286/1287"},
        {"pwm3b", "AT90PWM2B/3B"},
        {"m169p", "ATmega169/P"},
        {"m328", nullptr},
        {"m2560", nullptr},
        {"", nullptr},
        {"m328p ", nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindDeviceByPartName(c.name), c.device ? FindDeviceByName(c.device) : 0)
            << c.name;
}

}  // namespace
}  // namespace oriole
