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

}  // namespace
}  // namespace oriole
