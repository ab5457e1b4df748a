#pragma once
// Dialog units to pixels, as the dialog manager of the platform the layouts
// were drawn for does it: a horizontal unit is a quarter of the dialog font's
// average character width, a vertical unit an eighth of its character height,
// and every coordinate and size is scaled on its own with rounding. Pure
// arithmetic, so the rule can be checked against known fonts without one.

#include "res/DialogTypes.h"

namespace oriole {

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBaseUnits {
    int cx;
    int cy;
    bool operator==(const DialogBaseUnits&) const = default;
};

// Pixels per dialog unit as fractions: x px = du * xNum / xDen and
// y px = du * yNum / yDen, each rounded. The base units give {cx, 4, cy, 8};
// a builder may widen the horizontal unit in finer steps (see DialogBuilder).
struct DialogScale {
    int xNum;
    int xDen;
    int yNum;
    int yDen;
    bool operator==(const DialogScale&) const = default;
};

struct PixelRect {
    int x;
    int y;
    int w;
    int h;
    bool operator==(const PixelRect&) const = default;
};

// The 52 letters whose average width is the horizontal base unit.
inline constexpr char kBaseUnitAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Base units from the pixel width of kBaseUnitAlphabet and the font's
// character height (ascent + descent). The average width is rounded to the
// nearest pixel; neither unit drops below 1, so a font without usable
// metrics still gives a dialog one can see.
[[nodiscard]] DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int charHeight);

[[nodiscard]] constexpr DialogScale ScaleOf(DialogBaseUnits base) {
    return {base.cx, 4, base.cy, 8};
}

// value * numerator / denominator rounded to the nearest integer, halves away
// from zero; 0 when the denominator is 0.
[[nodiscard]] int MulDivRound(int value, int numerator, int denominator);

[[nodiscard]] int DuToPixelsX(const DialogScale& scale, int du);
[[nodiscard]] int DuToPixelsY(const DialogScale& scale, int du);
[[nodiscard]] PixelRect DuToPixels(const DialogScale& scale, const res::DuRect& rect);

}  // namespace oriole
