#include "base/Numbers.h"

#include <limits>

namespace oriole {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
}  // namespace

bool ParseNumber(std::string_view text, int base, uint64_t max, uint64_t& value) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    uint64_t v = 0;
    for (const char c : text) {
        const int digit = HexValue(c);
        if (digit < 0 || digit >= base) return false;
        const auto d = static_cast<uint64_t>(digit);
        if (d > max || v > (max - d) / static_cast<uint64_t>(base)) return false;
        v = v * static_cast<uint64_t>(base) + d;
    }
    value = v;
    return true;
}

uint32_t ParseHexLenient(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexValue(text[i]);
        if (digit < 0) break;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return value;
}

int32_t ParseDecLenient(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

}  // namespace oriole
