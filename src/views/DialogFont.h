#pragma once
// The dialog font: the face a resource names when it is installed and draws
// Japanese, otherwise a Japanese UI font at the same point size.

#include <QFont>
#include <QString>

#include "views/DialogUnits.h"

namespace oriole {

// Used when a resource's face is missing (Debian: fonts-noto-cjk).
inline constexpr char kFallbackDialogFace[] = "Noto Sans CJK JP";

// The font for a dialog resource's face and size. Order of choice: the face
// itself, kFallbackDialogFace, any installed family that declares Japanese;
// the first of these that is installed and draws Japanese wins.
[[nodiscard]] QFont ChooseDialogFont(const char* face, int points);

// True when the font itself (not a substitute picked glyph by glyph) has a
// glyph for every character of `text`; line breaks and tabs are not asked.
[[nodiscard]] bool FontDrawsText(const QFont& font, const QString& text);

// Base units of a font, measured as the dialog manager measures them.
[[nodiscard]] DialogBaseUnits BaseUnitsOf(const QFont& font);

}  // namespace oriole
