// Dialog units to pixels: the base-unit rule and the per-coordinate rounding.

#include <gtest/gtest.h>

#include "views/DialogUnits.h"

namespace oriole {
namespace {

TEST(DialogUnits, BaseUnitsRoundTheAverageOfTheAlphabet) {
    struct Row {
        int alphabetWidth;
        int height;
        DialogBaseUnits expected;
    };
    const Row rows[] = {
        {311, 13, {6, 13}},                  // average 5.98
        {286, 13, {6, 13}},                  // 11 per 2 letters: 5.5 rounds up
        {285, 12, {5, 12}},                  // 5.48 rounds down
        {361, 17, {7, 17}},                  // a CJK UI font at 12 px
        {390, 15, {8, 15}}, {0, 0, {1, 1}},  // no usable metrics: still a visible dialog
        {25, -3, {1, 1}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(BaseUnitsFromMetrics(r.alphabetWidth, r.height), r.expected)
            << r.alphabetWidth << " / " << r.height;
    }
}

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero) {
    struct Row {
        int value, num, den, expected;
    };
    const Row rows[] = {
        {1, 6, 4, 2},
        {2, 6, 4, 3},
        {3, 6, 4, 5},
        {4, 13, 8, 7},
        {3, 13, 8, 5},
        {-1, 6, 4, -2},
        {1, -6, 4, -2},
        {-1, -6, 4, 2},
        {5, 7, -4, -9},
        {7, 1, 0, 0},
        {0, 9, 4, 0},
        {326, 17, 8, 693},
        {1 << 20, 1 << 12, 1 << 8, 1 << 24},  // the product does not overflow
    };
    for (const Row& r : rows)
        EXPECT_EQ(MulDivRound(r.value, r.num, r.den), r.expected)
            << r.value << " * " << r.num << " / " << r.den;
}

TEST(DialogUnits, RectanglesScaleEachFieldOnItsOwn) {
    struct Row {
        DialogBaseUnits base;
        res::DuRect du;
        PixelRect expected;
    };
    const Row rows[] = {
        // The device list of the main window at two fonts.
        {{6, 13}, {37, 7, 113, 126}, {56, 11, 170, 205}},
        {{7, 17}, {37, 7, 113, 126}, {65, 15, 198, 268}},
        // A bit button: x 70 and 14 wide give 123 + 25 = 148, not round(84 * 7 / 4) = 147.
        {{7, 17}, {70, 55, 14, 12}, {123, 117, 25, 26}},
        {{8, 16}, {0, 0, 271, 326}, {0, 0, 542, 652}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(DuToPixels(ScaleOf(r.base), r.du), r.expected);
    }
}

TEST(DialogUnits, FinerScalesWidenOnlyHorizontally) {
    // 9.25 pixels per 4 units, in sixteenths; vertical untouched.
    const DialogScale scale{148, 64, 17, 8};
    EXPECT_EQ(DuToPixelsX(scale, 271), 627);
    EXPECT_EQ(DuToPixelsX(scale, 4), 9);  // 9.25
    EXPECT_EQ(DuToPixelsY(scale, 326), 693);
    EXPECT_EQ(ScaleOf({7, 17}), (DialogScale{7, 4, 17, 8}));
}

}  // namespace
}  // namespace oriole
