#pragma once
// Puts the hexadecimal key filter (base/HexKeyFilter.h) in front of a one-line
// edit: every typed character goes through it before the edit sees it, as do
// characters committed by an input method. Pasting is left alone, like the
// clipboard keys; the values are read leniently anyway.

class QLineEdit;

namespace oriole {

// The filter belongs to `edit` and lives as long as it. `limit` is the number
// of characters the box takes (kCalibValueChars, kCalibAddressChars).
void InstallHexKeyFilter(QLineEdit* edit, int limit);

}  // namespace oriole
