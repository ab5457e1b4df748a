#pragma once
// Lenient number conversion as used for every value the user can type or a
// file can hold: leading blanks are skipped, conversion stops at the first
// character that is not a figure, and nothing readable gives 0.

#include <cstdint>
#include <string_view>

namespace oriole {

// Hexadecimal, upper or lower case. The result keeps the low 32 bits.
uint32_t ParseHexLenient(std::string_view text);

// Decimal with an optional sign, saturating at the int32 range.
int32_t ParseDecLenient(std::string_view text);

// "%02X" of the low 8 bits.
inline uint8_t ParseHexByte(std::string_view text) {
    return static_cast<uint8_t>(ParseHexLenient(text) & 0xFFu);
}

}  // namespace oriole
