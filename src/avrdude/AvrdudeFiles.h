#pragma once
// The files avrdude writes, byte for byte, for -U reads and the terminal's
// save: raw binary, Intel HEX (32-byte records, LF line ends, a type 04
// record where 64 KB begin; with comments for format I), S-records (their
// address width by the memory's size) and the value lists h, d, o, b and R.
// A file holds one or more segments of a memory, each at its own address.

#include <cstdint>
#include <string>
#include <vector>

namespace oriole::avrdude {

struct Segment {
    uint32_t addr = 0;
    std::vector<uint8_t> bytes;
};

// Whether avrdude writes a file in the format of this letter (r i I s h d o b R).
bool IsOutputFormat(char format);

// The text or bytes of the file: raw binary one segment after the other;
// Intel HEX and S-records with each segment at its address; a value list
// one line per segment. `memoryBytes` is the size of the memory the
// segments are in. Empty for a letter IsOutputFormat refuses.
std::string AvrdudeFile(char format, const std::vector<Segment>& segments, uint32_t memoryBytes);

// The forms with one segment from address 0.
// avrdude's h, d, o, b and R outputs: the values separated by commas, one line.
std::string FormatValues(const std::vector<uint8_t>& data, char format);
std::string AvrdudeIntelHex(const std::vector<uint8_t>& data, bool comments);
std::string AvrdudeSRecord(const std::vector<uint8_t>& data, uint32_t memoryBytes);

}  // namespace oriole::avrdude
