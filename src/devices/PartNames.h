#pragma once
// The names other AVR tools give the catalogue's devices: avr-gcc's -mmcu
// names and avrdude's part ids. One row per catalogue device, so a name a
// build already uses (platformio.ini's board_build.mcu, the Arduino IDE's
// build.mcu, a makefile's -p) selects the same row as the catalogue name.

#include <span>
#include <string_view>

namespace oriole {

struct PART_NAMES {
    const char* device;   // the catalogue name, as in the device list
    const char* mmcu;     // avr-gcc -mmcu names, blank-separated
    const char* avrdude;  // avrdude part ids, blank-separated
};

std::span<const PART_NAMES> PartNameTable();

// Row of the device that `name` names, without regard to case: a catalogue
// name first, then an avr-gcc name, then an avrdude part id; 0 when none.
int FindDeviceByPartName(std::string_view name);

// The avrdude part id and the avr-gcc name of a catalogue row (the first of
// each), or "" when the row has none.
std::string_view AvrdudePartId(int row);
std::string_view GccDeviceName(int row);

}  // namespace oriole
