#pragma once
// Makes the widgets of a dialog resource. One builder for every dialog: it
// walks the control table, creates each control at its rectangle converted
// from dialog units with the dialog font's base units, and records it by id.
//
// The layouts were drawn for a font whose kana are narrower than those of
// the Japanese fonts found elsewhere (full-width kana make "ベリファイ" a third
// wider). So that no text of a table is cut off, the builder widens the
// horizontal unit of a dialog, in steps of a sixteenth of a pixel, until the
// widest text relative to its control fits; every rectangle keeps its place
// in the layout. With the layouts' own font nothing needs widening and the
// plain rule applies.

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
    // Off: the plain rule, texts may be cut off. On by default.
    void SetFitTexts(bool fit) { m_bFitTexts = fit; }

    // Gives `host` the dialog font and fixed client size, creates every
    // control as a child of it in table order (which is also the tab order)
    // and records them, and the scale used, in `controls`. Once per host.
    void Build(QWidget* host, CControls& controls) const;

    [[nodiscard]] static QRect ToPixels(const DialogScale& scale, const res::DuRect& rect);

private:
    QWidget* Create(const res::ControlDef& def, QWidget* host) const;
    void Place(QWidget* host, const CControls& controls, const DialogScale& scale) const;
    // The horizontal scale at which every text of `controls` fits.
    DialogScale FitTexts(const CControls& controls, DialogScale scale) const;

    const res::DialogDef& m_dialog;
    QFont m_font;
    DialogBaseUnits m_base;
    bool m_bFitTexts = true;
};

}  // namespace oriole
