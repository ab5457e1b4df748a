// The key filter of the calibration dialog's hexadecimal boxes.

#include "base/HexKeyFilter.h"

#include <gtest/gtest.h>

#include <string>

namespace oriole {
namespace {

TEST(HexKeyFilter, FiguresPassLowerCaseTurnsUpperEverythingElseIsDropped) {
    struct Row {
        char16_t typed;
        int held;
        int limit;
        std::optional<char16_t> expected;
    };
    constexpr std::nullopt_t kDropped = std::nullopt;
    const Row rows[] = {
        // Every kind of character into an empty value box.
        {u'0', 0, kCalibValueChars, u'0'},
        {u'9', 0, kCalibValueChars, u'9'},
        {u'A', 0, kCalibValueChars, u'A'},
        {u'F', 0, kCalibValueChars, u'F'},
        {u'a', 0, kCalibValueChars, u'A'},
        {u'f', 0, kCalibValueChars, u'F'},
        {u'G', 0, kCalibValueChars, kDropped},
        {u'g', 0, kCalibValueChars, kDropped},
        {u'@', 0, kCalibValueChars, kDropped},  // just below 'A'
        {u'`', 0, kCalibValueChars, kDropped},  // just below 'a'
        {u'/', 0, kCalibValueChars, kDropped},  // just below '0'
        {u':', 0, kCalibValueChars, kDropped},  // just above '9'
        {u' ', 0, kCalibValueChars, kDropped},
        {u'x', 0, kCalibValueChars, kDropped},
        {0x7F, 0, kCalibValueChars, kDropped},   // DEL is no control character here
        {u'Ａ', 0, kCalibValueChars, kDropped},  // full-width letters from an input method
        {u'１', 0, kCalibValueChars, kDropped},
        // Full boxes take no more figures.
        {u'1', 1, kCalibValueChars, u'1'},
        {u'1', 2, kCalibValueChars, kDropped},
        {u'a', 2, kCalibValueChars, kDropped},
        {u'1', 4, kCalibAddressChars, u'1'},
        {u'c', 4, kCalibAddressChars, u'C'},
        {u'1', 5, kCalibAddressChars, kDropped},
        // Control characters always reach the box: backspace, tab, ^C ^V ^X.
        {0x08, 2, kCalibValueChars, char16_t{0x08}},
        {0x08, 0, kCalibValueChars, char16_t{0x08}},
        {0x09, 5, kCalibAddressChars, char16_t{0x09}},
        {0x03, 2, kCalibValueChars, char16_t{0x03}},
        {0x16, 5, kCalibAddressChars, char16_t{0x16}},
        {0x18, 2, kCalibValueChars, char16_t{0x18}},
        {0x1F, 2, kCalibValueChars, char16_t{0x1F}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FilterHexKey(r.typed, r.held, r.limit), r.expected)
            << "char " << int(r.typed) << " held " << r.held << " limit " << r.limit;
    }
}

TEST(HexKeyFilter, TypingIntoTheValueBoxGivesTwoUpperCaseFigures) {
    // "1", "a", then a third character: 1A.
    std::u16string box;
    for (char16_t c : std::u16string(u"1a7")) {
        if (auto out = FilterHexKey(c, static_cast<int>(box.size()), kCalibValueChars)) box += *out;
    }
    EXPECT_EQ(box, u"1A");
}

}  // namespace
}  // namespace oriole
