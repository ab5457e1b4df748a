#include "views/DialogUnits.h"

#include <algorithm>
#include <cstdint>

namespace oriole {

DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int charHeight) {
    // Average over 52 letters, rounded: (w / 26 + 1) / 2.
    const int cx = (std::max(alphabetWidth, 0) / 26 + 1) / 2;
    return {std::max(cx, 1), std::max(charHeight, 1)};
}

int MulDivRound(int value, int numerator, int denominator) {
    if (denominator == 0) return 0;
    const int64_t product = static_cast<int64_t>(value) * numerator;
    const int64_t half = (denominator > 0 ? denominator : -denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t magnitude = (product < 0 ? -product : product) + half;
    const int64_t quotient = magnitude / (denominator > 0 ? denominator : -denominator);
    return static_cast<int>(negative ? -quotient : quotient);
}

int DuToPixelsX(const DialogScale& scale, int du) {
    return MulDivRound(du, scale.xNum, scale.xDen);
}

int DuToPixelsY(const DialogScale& scale, int du) {
    return MulDivRound(du, scale.yNum, scale.yDen);
}

PixelRect DuToPixels(const DialogScale& scale, const res::DuRect& rect) {
    return {DuToPixelsX(scale, rect.x), DuToPixelsY(scale, rect.y), DuToPixelsX(scale, rect.w),
            DuToPixelsY(scale, rect.h)};
}

}  // namespace oriole
