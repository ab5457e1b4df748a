#pragma once
// Makes the widgets of a dialog resource. One builder for every dialog: it
// walks the control table, creates each control at its rectangle converted
// from dialog units with the dialog font's base units, and records it by id.
//
// The layouts were drawn for a font whose kana are narrower than those of
// the Japanese fonts found elsewhere (full-width kana make "ベリファイ" a third
// wider), and whose line box is as high as its glyphs (the CJK faces add
// half as much again). Every dialog of the program is built at one scale,
// so that a 50-unit button is as wide in every window:
// - horizontally, the plain unit widened in steps of a sixteenth of a pixel
//   until the widest text relative to its control fits, over every table of
//   the program (a table of its own, as in the tests, may widen further);
// - vertically, eight units are the height of the ink of the tables' texts,
//   not of the font's line box, which would make the tallest window too tall
//   for a 768-pixel screen; a label is never placed lower than one line box,
//   so its text is never cut off at the bottom.
// Every rectangle keeps its place in the layout.

#include <QFont>
#include <QRect>

#include "res/DialogTypes.h"
#include "views/Controls.h"
#include "views/DialogUnits.h"

class QWidget;

namespace oriole {

class CDialogBuilder {
public:
    // Measures the resource's font (or its substitute, see ChooseDialogFont).
    explicit CDialogBuilder(const res::DialogDef& dialog);

    [[nodiscard]] const QFont& Font() const { return m_font; }
    [[nodiscard]] DialogBaseUnits BaseUnits() const { return m_base; }
    // Off: the plain rule of the platform the layouts were drawn for, texts
    // may be cut off. On by default.
    void SetFitTexts(bool fit) { m_bFitTexts = fit; }

    // The scale every dialog of the program is built with, for this
    // builder's font under the application's current style; worked out once
    // (by building every table of the program off screen) and remembered.
    [[nodiscard]] DialogScale SharedScale() const;

    // Gives `host` the dialog font and fixed client size, creates every
    // control as a child of it in table order (which is also the tab order)
    // and records them, and the scale used, in `controls`. Once per host.
    void Build(QWidget* host, CControls& controls) const;

    [[nodiscard]] static QRect ToPixels(const DialogScale& scale, const res::DuRect& rect);

private:
    QWidget* Create(const res::ControlDef& def, QWidget* host) const;
    void Place(QWidget* host, const CControls& controls, const DialogScale& scale) const;
    // Moves a slider whose ticks are above it down, clear of the text of a
    // label over it.
    void KeepTicksOffLabels(const CControls& controls) const;
    // The horizontal scale at which every text of `controls` fits.
    DialogScale FitTexts(const CControls& controls, DialogScale scale) const;
    // Vertical units of the shared scale: the ink height of the tables' texts.
    DialogScale WithInkHeight(DialogScale scale) const;

    const res::DialogDef& m_dialog;
    QFont m_font;
    DialogBaseUnits m_base;
    bool m_bFitTexts = true;
    bool m_bShared = true;  // off while the shared scale itself is worked out
};

}  // namespace oriole
