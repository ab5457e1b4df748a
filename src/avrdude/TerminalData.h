#pragma once
// The words of a terminal line and the data items of its write command, read
// as avrdude's terminal reads them: commands separated by ';', '#' starts a
// comment, quotes keep blanks inside one word; integers in C syntax (0x, 0b,
// leading 0 octal, a sign) with size suffixes (HH 1 byte, H or S 2, L 4, LL
// 8, U unsigned) or in Roman numerals, characters 'c' and strings "..." with
// C escapes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devices/Memories.h"

namespace oriole::avrdude {

using Words = std::vector<std::string>;

// The commands of one line, each as its words; a command "!..." (a shell
// escape) is one word holding the rest of the line. Empty for a blank line
// or a comment.
std::vector<Words> SplitLine(std::string_view line);

// avrdude's memory names, as -U and the terminal take them, each naming one of
// the device's memory kinds.
using oriole::Memory;
enum class MemoryMatch { Found, Ambiguous, Unknown };

// A memory by its name or an alias ("fuse", "lockbits"), or, as avrdude, by a
// prefix of one memory's names only; any case. `name`, when given, is the
// name matched.
MemoryMatch FindMemory(std::string_view word, Memory& mem, const char** name = nullptr);
// The memory's own name ("lfuse" for Memory::LowFuse).
const char* MemoryName(Memory mem);
// The fuse bytes (kFuse* bits) a write of one fuse memory names, as a job
// step takes them; the single byte of the older devices is the low one.
int32_t FuseBytesOf(Memory mem);

// One data item of write.
struct DataItem {
    std::vector<uint8_t> bytes;  // what it writes: an integer little-endian, a string with its NUL
    bool integer = false;        // an integer or a character
    int64_t value = 0;           // the integer as its size gives it (sign-extended when signed)
    uint64_t raw = 0;            // the integer as parsed
    std::string warning;         // written, but said
    std::string error;           // not written
};
DataItem ParseData(std::string_view word);

// The bytes of a list of data items, as avrdude reads an m value or an h, d,
// o, b or R file whatever its letter: items separated by blanks or commas,
// with `comments`, '#' ends a line. False with `error` naming the item.
[[nodiscard]] bool ParseDataList(std::string_view text, bool comments, std::vector<uint8_t>& out,
                                 std::string& error, std::vector<std::string>& warnings);

// A number in Roman numerals as avrdude's R lists write it ("0" for 0).
std::string RomanNumeral(unsigned value);

// An address or a length: an integer (or a character) in the range of int32
// or of uint32, the latter taken as int32 as avrdude takes it. False with
// the reason in `error`.
[[nodiscard]] bool ParseInt32(std::string_view word, int32_t& value, std::string& error);

}  // namespace oriole::avrdude
