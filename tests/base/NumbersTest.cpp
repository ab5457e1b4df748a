#include "base/Numbers.h"

#include <gtest/gtest.h>

namespace oriole {
namespace {

struct HexCase {
    const char* text;
    uint32_t value;
};

TEST(Numbers, HexIsLenient) {
    const HexCase cases[] = {
        {"", 0},          {"FF", 0xFF},      {"ff", 0xFF},     {"  1a", 0x1A},
        {"12G4", 0x12},   {"G", 0},          {"7ff", 0x7FF},   {"000007FF", 0x7FF},
        {"FFFFFFFF", 0xFFFFFFFFu},           {"\t0x10", 0},    {"1 2", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseHexLenient(c.text), c.value) << c.text;
}

TEST(Numbers, HexByteKeepsLowEightBits) {
    EXPECT_EQ(ParseHexByte("1FF"), 0xFF);
    EXPECT_EQ(ParseHexByte("100"), 0x00);
    EXPECT_EQ(ParseHexByte("d9"), 0xD9);
}

struct DecCase {
    const char* text;
    int32_t value;
};

TEST(Numbers, DecimalIsLenient) {
    const DecCase cases[] = {
        {"", 0},           {"abc", 0},         {"  42", 42},       {"12abc", 12},
        {"-7", -7},        {"+9", 9},          {"1000000", 1000000},
        {"99999999999", 2147483647},          {"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDecLenient(c.text), c.value) << c.text;
}

// The strict rule reads all or nothing: "0x" is hexadecimal whatever the
// key's base, never 0; anything else in the text refuses the whole.
TEST(Numbers, StrictRuleReadsAllOrNothing) {
    struct Case {
        const char* text;
        int base;
        uint64_t max;
        bool ok;
        uint64_t value;
    };
    const Case cases[] = {
        {"0x1F", 16, UINT32_MAX, true, 0x1F},      {"0x0000001F", 16, UINT32_MAX, true, 0x1F},
        {"0000001F", 16, UINT32_MAX, true, 0x1F},  {" 1f\r", 16, UINT32_MAX, true, 0x1F},
        {"0X10", 10, 1000, true, 16},               {"010", 10, 1000, true, 10},
        {"0x", 16, UINT32_MAX, false, 0},          {"", 10, 1000, false, 0},
        {"1F", 10, 1000, false, 0},                 {"12G4", 16, UINT32_MAX, false, 0},
        {"-7", 10, 1000, false, 0},                 {"1 2", 10, 1000, false, 0},
        {"100000000", 16, UINT32_MAX, false, 0},   {"FFFFFFFF", 16, UINT32_MAX, true, 0xFFFFFFFF},
        {"18446744073709551615", 10, UINT64_MAX, true, UINT64_MAX},
        {"18446744073709551616", 10, UINT64_MAX, false, 0},
        {"2", 10, 1, false, 0},                     {"1", 10, 1, true, 1},
    };
    for (const Case& c : cases) {
        uint64_t value = 77;
        EXPECT_EQ(ParseNumber(c.text, c.base, c.max, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 77) << c.text;
    }
}

}  // namespace
}  // namespace oriole
