#pragma once
// Whether a control's text fits the room its rectangle leaves for it. The
// layouts were drawn for one font; with a substitute font a text can come out
// wider, and this is how the dialogs are checked for cut-off texts.

class QWidget;

namespace oriole {

// Pixels by which the control's text is wider than its room; 0 or less when
// it fits, and 0 for controls without a one-line text (edits, lists, bars).
[[nodiscard]] int TextOverflow(const QWidget* control);

}  // namespace oriole
