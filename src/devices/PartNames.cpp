#include "devices/PartNames.h"

#include <array>

#include "devices/Devices.h"

namespace oriole {

namespace {

// Variants whose signature equals the catalogue row's (the A parts, the P/PA
// pairs) are listed with it: auto-detect would pick the same row for them.
// clang-format off
constexpr std::array<PART_NAMES, kDeviceCount> kPartNames{{
    {"AT90S1200",        "at90s1200",                 "1200"},
    {"AT90S2313",        "at90s2313",                 "2313"},
    {"AT90S4434",        "at90s4434",                 "4434"},
    {"AT90S4433",        "at90s4433",                 "4433"},
    {"AT90S8515",        "at90s8515",                 "8515"},
    {"AT90S8535",        "at90s8535",                 "8535"},
    {"AT90CAN32",        "at90can32",                 "c32"},
    {"AT90CAN64",        "at90can64",                 "c64"},
    {"AT90CAN128",       "at90can128",                "c128"},
    {"AT90PWM2/3",       "at90pwm2 at90pwm3",         "pwm2 pwm3"},
    {"AT90PWM2B/3B",     "at90pwm2b at90pwm3b",       "pwm2b pwm3b"},
    {"AT90USB82",        "at90usb82",                 "usb82"},
    {"AT90USB162",       "at90usb162",                "usb162"},
    {"AT90USB646/647",   "at90usb646 at90usb647",     "usb646 usb647"},
    {"AT90USB1286/1287", "at90usb1286 at90usb1287",   "usb1286 usb1287"},
    {"ATtiny12",         "attiny12",                  "t12"},
    {"ATtiny13",         "attiny13 attiny13a",        "t13 t13a"},
    {"ATtiny26",         "attiny26",                  "t26"},
    {"ATtiny2313",       "attiny2313 attiny2313a",    "t2313 t2313a"},
    {"ATtiny24",         "attiny24 attiny24a",        "t24 t24a"},
    {"ATtiny44",         "attiny44 attiny44a",        "t44 t44a"},
    {"ATtiny84",         "attiny84 attiny84a",        "t84 t84a"},
    {"ATtiny25",         "attiny25",                  "t25"},
    {"ATtiny45",         "attiny45",                  "t45"},
    {"ATtiny85",         "attiny85",                  "t85"},
    {"ATtiny261",        "attiny261 attiny261a",      "t261 t261a"},
    {"ATtiny461",        "attiny461 attiny461a",      "t461 t461a"},
    {"ATtiny861",        "attiny861 attiny861a",      "t861 t861a"},
    {"ATmega48",         "atmega48 atmega48a",        "m48 m48a"},
    {"ATmega48P/PA",     "atmega48p atmega48pa",      "m48p m48pa"},
    {"ATmega8",          "atmega8 atmega8a",          "m8 m8a"},
    {"ATmega8515",       "atmega8515",                "m8515"},
    {"ATmega8535",       "atmega8535",                "m8535"},
    {"ATmega88",         "atmega88 atmega88a",        "m88 m88a"},
    {"ATmega88P/PA",     "atmega88p atmega88pa",      "m88p m88pa"},
    {"ATmega16",         "atmega16 atmega16a",        "m16 m16a"},
    {"ATmega162",        "atmega162",                 "m162"},
    {"ATmega163",        "atmega163",                 "m163"},
    {"ATmega165/P",      "atmega165 atmega165p atmega165pa", "m165 m165p m165pa"},
    {"ATmega168",        "atmega168 atmega168a",      "m168 m168a"},
    {"ATmega168P/PA",    "atmega168p atmega168pa",    "m168p m168pa"},
    {"ATmega328P",       "atmega328p",                "m328p"},
    {"ATmega169/P",      "atmega169 atmega169p atmega169pa", "m169 m169p m169pa"},
    {"ATmega644",        "atmega644 atmega644a",      "m644 m644a"},
    {"ATmega128",        "atmega128 atmega128a",      "m128 m128a"},
    {"ATmega164P",       "atmega164p atmega164pa",    "m164p m164pa"},
    {"ATmega324P",       "atmega324p",                "m324p"},
    {"ATmega644P",       "atmega644p atmega644pa",    "m644p m644pa"},
    {"ATmega640",        "atmega640",                 "m640"},
    {"ATmega1280",       "atmega1280",                "m1280"},
    {"ATmega1281",       "atmega1281",                "m1281"},
    {"ATmega325",        "atmega325 atmega325a",      "m325 m325a"},
    {"ATmega3250",       "atmega3250 atmega3250a",    "m3250 m3250a"},
    {"ATmega645",        "atmega645 atmega645a",      "m645 m645a"},
    {"ATmega6450",       "atmega6450 atmega6450a",    "m6450 m6450a"},
    {"ATmega325P",       "atmega325p atmega325pa",    "m325p m325pa"},
    {"ATmega3250P",      "atmega3250p atmega3250pa",  "m3250p m3250pa"},
    {"ATmega329",        "atmega329 atmega329a",      "m329 m329a"},
    {"ATmega329P",       "atmega329p atmega329pa",    "m329p m329pa"},
    {"ATmega3290",       "atmega3290 atmega3290a",    "m3290 m3290a"},
    {"ATmega3290P",      "atmega3290p atmega3290pa",  "m3290p m3290pa"},
    {"ATmega64",         "atmega64 atmega64a",        "m64 m64a"},
    {"ATmega649",        "atmega649 atmega649a",      "m649 m649a"},
    {"ATmega6490",       "atmega6490 atmega6490a",    "m6490 m6490a"},
}};
// clang-format on

// ASCII only: the names are ASCII, and the C library's tolower follows the
// user's locale.
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// Calls `visit` with each blank-separated word of `list` until it returns true.
template <typename Visit>
bool AnyWord(std::string_view list, Visit visit) {
    while (!list.empty()) {
        const size_t end = list.find(' ');
        const std::string_view word = list.substr(0, end);
        if (!word.empty() && visit(word)) return true;
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return false;
}

std::string_view FirstWord(std::string_view list) {
    return list.substr(0, list.find(' '));
}

const PART_NAMES* NamesOfRow(int row) {
    if (row <= 0 || row > kDeviceCount) return nullptr;
    const std::string_view device = DeviceAt(row).name;
    for (const PART_NAMES& p : kPartNames)
        if (device == p.device) return &p;
    return nullptr;
}

}  // namespace

std::span<const PART_NAMES> PartNameTable() {
    return kPartNames;
}

int FindDeviceByPartName(std::string_view name) {
    if (name.empty()) return 0;
    if (const int row = FindDeviceByName(name); row != 0) return row;
    const auto matches = [&](std::string_view word) { return SameLetters(word, name); };
    for (const char* PART_NAMES::*list : {&PART_NAMES::mmcu, &PART_NAMES::avrdude}) {
        for (const PART_NAMES& p : kPartNames)
            if (AnyWord(p.*list, matches)) return FindDeviceByName(p.device);
    }
    return 0;
}

std::string_view AvrdudePartId(int row) {
    const PART_NAMES* p = NamesOfRow(row);
    return p ? FirstWord(p->avrdude) : std::string_view();
}

std::string_view GccDeviceName(int row) {
    const PART_NAMES* p = NamesOfRow(row);
    return p ? FirstWord(p->mmcu) : std::string_view();
}

}  // namespace oriole
