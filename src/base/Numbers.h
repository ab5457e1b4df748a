#pragma once
// Number conversion. The lenient forms read what the main window's fields
// and its own settings file hold: leading blanks are skipped, conversion
// stops at the first character that is not a figure, and nothing readable
// gives 0. ParseNumber is the one strict rule for a number a job is run by
// (a setting file's values, the command line): it reads all or nothing.

#include <cstdint>
#include <string_view>

namespace oriole {

// The strict rule: blanks around the number are ignored; "0x" (or "0X")
// and hexadecimal figures, or figures in `base` (10 or 16) alone; at most
// `max`. False for anything else: an empty text, another character, a sign,
// a number past `max`.
[[nodiscard]] bool ParseNumber(std::string_view text, int base, uint64_t max, uint64_t& value);

// Hexadecimal, upper or lower case. The result keeps the low 32 bits.
uint32_t ParseHexLenient(std::string_view text);

// Decimal with an optional sign, saturating at the int32 range.
int32_t ParseDecLenient(std::string_view text);

// "%02X" of the low 8 bits.
inline uint8_t ParseHexByte(std::string_view text) {
    return static_cast<uint8_t>(ParseHexLenient(text) & 0xFFu);
}

}  // namespace oriole
