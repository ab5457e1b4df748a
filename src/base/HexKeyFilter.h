#pragma once
// What a hexadecimal entry box does with one typed character: the calibration
// dialog's value and address boxes take figures 0-9 and A-F only, a-f turned
// into upper case, and no more than a fixed number of characters. Control
// characters (backspace, the clipboard keys) always reach the box, so editing
// keeps working.

#include <optional>

namespace oriole {

// The limits of the calibration dialog's boxes: one byte, and a byte address
// of up to five figures.
inline constexpr int kCalibValueChars = 2;
inline constexpr int kCalibAddressChars = 5;

// The character the box receives for `typed`, or nothing when it is dropped.
// `held` counts the characters the box holds outside its selection (typing
// replaces the selection); `limit` is the box's number of characters.
// Characters below 32 pass unchanged whatever the box holds.
[[nodiscard]] std::optional<char16_t> FilterHexKey(char16_t typed, int held, int limit);

}  // namespace oriole
