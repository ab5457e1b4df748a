#include "avrdude/TerminalData.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <strings.h>

#include "base/FormatText.h"
#include "res/TerminalTexts.h"

namespace oriole::avrdude {

namespace tt = text::terminal;

namespace {

constexpr std::string_view kBlanks = " \t\n\r\v\f";

bool IsBlank(char c, std::string_view separators = kBlanks) {
    return separators.find(c) != std::string_view::npos;
}

// The next word from `pos`: quotes keep separators inside, a backslash before
// a separator makes it part of the word, other backslashes stay for the escapes.
std::string NextWord(std::string_view line, size_t& pos, std::string_view separators = kBlanks) {
    std::string word;
    char quote = 0;
    while (pos < line.size() && (quote != 0 || !IsBlank(line[pos], separators))) {
        const char c = line[pos];
        if (c == '"' || c == '\'') {
            if (quote == 0)
                quote = c;
            else if (quote == c)
                quote = 0;
        } else if (c == '\\' && pos + 1 < line.size()) {
            if (!IsBlank(line[pos + 1], separators)) word += c;
            ++pos;
        }
        word += line[pos++];
    }
    return word;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool HexDigitsAt(std::string_view s, size_t at, size_t count) {
    if (at + count > s.size()) return false;
    for (size_t k = 0; k < count; ++k)
        if (!std::isxdigit(static_cast<unsigned char>(s[at + k]))) return false;
    return true;
}

// C escapes, with \e for ESC, \xH... (any number of digits), \uHHHH and
// \UHHHHHH as UTF-8; an escape it does not know stays as written.
std::string Unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        static constexpr std::string_view kFrom = "ntabefrv?`\"'\\";
        static constexpr std::string_view kTo = "\n\t\a\b\x1b\f\r\v?`\"'\\";
        if (const size_t k = kFrom.find(c); k != std::string_view::npos) {
            out += kTo[k];
        } else if (c >= '0' && c <= '7') {
            int n = c - '0';
            for (int k2 = 0; k2 < 2 && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7'; ++k2)
                n = n * 8 + (s[++i] - '0');
            out += static_cast<char>(n);
        } else if (c == 'x' && i + 1 < s.size() &&
                   std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
            unsigned n = 0;
            while (i + 1 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])))
                n = n * 16 + static_cast<unsigned>(HexValue(s[++i]));
            out += static_cast<char>(n & 0xFF);
        } else if ((c == 'u' || c == 'U') && HexDigitsAt(s, i + 1, c == 'u' ? 4 : 6)) {
            const size_t digits = c == 'u' ? 4 : 6;
            uint32_t cp = 0;
            for (size_t d = 1; d <= digits; ++d)
                cp = cp * 16 + static_cast<uint32_t>(HexValue(s[i + d]));
            i += digits;
            AppendUtf8(out, cp);
        } else {
            out += '\\';
            out += c;
        }
    }
    // As a C string: the first NUL ends it.
    if (const size_t nul = out.find('\0'); nul != std::string::npos) out.resize(nul);
    return out;
}

bool StartsWithCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

int SignedSize(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return 8;
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        return 4;
    if (v < std::numeric_limits<int8_t>::min() || v > std::numeric_limits<int8_t>::max()) return 2;
    return 1;
}

// Roman numerals, which avrdude also takes for a number: only in their
// usual form, so that a word such as "MIX" reads the same both ways.
bool RomanValue(std::string_view s, uint64_t& value) {
    if (s.empty() || s.find_first_not_of("IVXLCDM") != std::string_view::npos) return false;
    uint64_t v = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const std::string_view one = s.substr(i, 1);
        const std::string_view next = i + 1 < s.size() ? s.substr(i + 1, 1) : std::string_view();
        const auto digit = [](std::string_view d) -> uint64_t {
            static constexpr std::string_view kDigits = "IVXLCDM";
            static constexpr uint64_t kValues[] = {1, 5, 10, 50, 100, 500, 1000};
            return d.empty() ? 0 : kValues[kDigits.find(d)];
        };
        v = digit(one) < digit(next) ? v - digit(one) : v + digit(one);
    }
    if (v == 0 || v >= 4000 || RomanNumeral(static_cast<unsigned>(v)) != s) return false;
    value = v;
    return true;
}

}  // namespace

std::string RomanNumeral(unsigned v) {
    static constexpr struct {
        unsigned value;
        const char* digits;
    } kSteps[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
                  {40, "XL"},  {10, "X"},   {9, "IX"},   {5, "V"},    {4, "IV"},   {1, "I"}};
    if (v == 0) return "0";
    std::string out;
    for (const auto& step : kSteps)
        for (; v >= step.value; v -= step.value) out += step.digits;
    return out;
}

namespace {

// The integer reading of `s`; false when `s` is no integer with a valid suffix.
bool ParseInteger(const std::string& s, DataItem& item) {
    size_t p = 0;
    bool negative = false;
    if (p < s.size() && (s[p] == '-' || s[p] == '+')) {
        negative = s[p] == '-';
        ++p;
        if (p < s.size() && (s[p] == '-' || s[p] == '+')) return false;
    }
    int base = 0;
    if (StartsWithCase(std::string_view(s).substr(p), "0b")) {
        base = 2;
        p += 2;
    } else if (StartsWithCase(std::string_view(s).substr(p), "0x")) {
        base = 16;
        p += 2;
    }
    // strtoull would take a sign or blanks of its own here.
    if (p >= s.size() || !std::isalnum(static_cast<unsigned char>(s[p]))) return false;
    errno = 0;
    char* end = nullptr;
    uint64_t u = 0;
    if (base == 0 && RomanValue(std::string_view(s).substr(p), u)) {
        end = const_cast<char*>(s.c_str()) + s.size();
    } else {
        u = std::strtoull(s.c_str() + p, &end, base);
        if (end == s.c_str() + p || errno != 0) return false;
    }
    if (negative) u = ~u + 1;
    const std::string_view suffix(end);
    int nu = 0, nl = 0, nh = 0, ns = 0;
    for (const char c : suffix) {
        switch (std::toupper(static_cast<unsigned char>(c))) {
            case 'U':
                ++nu;
                break;
            case 'L':
                ++nl;
                break;
            case 'H':
                ++nh;
                break;
            case 'S':
                ++ns;
                break;
            default:
                return false;
        }
    }
    if (nu > 1 || nl > 2 || nh > 2 || ns > 1) return false;
    if (nu == 1 && std::toupper(static_cast<unsigned char>(suffix.front())) != 'U' &&
        std::toupper(static_cast<unsigned char>(suffix.back())) != 'U')
        return false;
    const bool hex = StartsWithCase(s, "0x"), bin = StartsWithCase(s, "0b");
    const auto digits = static_cast<int>(end - s.c_str()) - 2;
    const bool isSigned = nu == 0 && !hex && !bin;
    const auto ll = static_cast<int64_t>(u);
    bool outsideInt64 = false, outOfRange = false;
    if (isSigned &&
        ((s[0] == '-' && (u == uint64_t{1} << 63 || ll > 0)) || (s[0] != '-' && ll < 0)))
        outsideInt64 = true;
    int size = 0, sigsz = 0;
    const auto check = [&](int bytes, int64_t smin, int64_t smax, uint64_t umax) {
        size = bytes;
        if (isSigned ? (ll < smin || ll > smax) : (u > umax && ~u + 1 > umax)) outOfRange = true;
        if (isSigned) sigsz = SignedSize(ll);
    };
    if (nl == 0 && ns == 0 && nh == 0) {
        if (hex) {
            size = digits > 8 ? 8 : digits > 4 ? 4 : digits > 2 ? 2 : 1;
        } else if (bin) {
            size = digits > 32 ? 8 : digits > 16 ? 4 : digits > 8 ? 2 : 1;
        } else if (isSigned) {
            // The smallest size that holds it signed or unsigned: 255 is one byte.
            size = outsideInt64                                                           ? 8
                   : ll < std::numeric_limits<int32_t>::min() || ll > int64_t{0xFFFFFFFF} ? 8
                   : ll < std::numeric_limits<int16_t>::min() || ll > int64_t{0xFFFF}     ? 4
                   : ll < std::numeric_limits<int8_t>::min() || ll > int64_t{0xFF}        ? 2
                                                                                          : 1;
            if (size < 8) sigsz = SignedSize(ll);
        } else {
            size = u > 0xFFFFFFFFu ? 8 : u > 0xFFFFu ? 4 : u > 0xFFu ? 2 : 1;
        }
    } else if (nl == 0 && nh == 2 && ns == 0) {
        check(1, INT8_MIN, INT8_MAX, UINT8_MAX);
    } else if (nl == 0 && nh + ns == 1) {
        check(2, INT16_MIN, INT16_MAX, UINT16_MAX);
    } else if (nl == 1 && nh == 0 && ns == 0) {
        check(4, INT32_MIN, INT32_MAX, UINT32_MAX);
    } else if (nl == 2 && nh == 0 && ns == 0) {
        size = 8;
    } else {
        return false;
    }
    sigsz = std::max(sigsz, size);
    item.raw = u;
    item.value = ll;
    if (sigsz < 8) {
        // Cut to sigsz bytes and extend the sign, as the number is kept.
        const int bits = 8 * sigsz;
        const uint64_t mask = (uint64_t{1} << bits) - 1;
        uint64_t v = u & mask;
        if (isSigned && (v >> (bits - 1)) != 0) v |= ~mask;
        item.value = static_cast<int64_t>(v);
        item.raw = v;
    }
    for (int i = 0; i < size; ++i) item.bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    item.integer = true;
    const char* sizeSuffix = size == 4 ? "L" : size == 2 ? "H" : "HH";
    const std::string word = s;
    if (isSigned && outOfRange) {
        item.warning =
            FormatText(tt::kOutOfRange, word.c_str(), ("int" + std::to_string(size * 8)).c_str(),
                       size, (std::to_string(ll) + sizeSuffix + "U").c_str());
    } else if (outOfRange) {
        item.warning =
            FormatText(tt::kOutOfRange, word.c_str(), ("uint" + std::to_string(size * 8)).c_str(),
                       size, std::to_string(u).c_str());
    } else if (outsideInt64) {
        item.warning =
            FormatText(tt::kOutOfRange, word.c_str(), "int64", size, (word + "U").c_str());
    }
    return true;
}

// A decimal or hexadecimal mantissa alone: an integer the integer reading
// refused (078, an overflow), not a float.
bool MantissaOnly(std::string_view s) {
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
    std::string_view digits = "0123456789";
    if (StartsWithCase(s, "0x")) {
        s.remove_prefix(2);
        digits = "0123456789abcdefABCDEF";
    }
    return !s.empty() && s.find_first_not_of(digits) == std::string_view::npos;
}

bool LooksLikeFloat(const std::string& s) {
    char* end = nullptr;
    (void)std::strtod(s.c_str(), &end);
    if (end == s.c_str()) return false;
    const std::string_view rest(end);
    if (rest.size() == 1 && (std::toupper(static_cast<unsigned char>(rest[0])) == 'D' ||
                             std::toupper(static_cast<unsigned char>(rest[0])) == 'F'))
        return true;
    return rest.empty() && !MantissaOnly(s);
}

}  // namespace

std::vector<Words> SplitLine(std::string_view line) {
    std::vector<Words> commands(1);
    size_t pos = 0;
    while (true) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size()) break;
        if (commands.back().empty() && line[pos] == '!') {
            commands.back().emplace_back(line.substr(pos));
            break;
        }
        std::string word = NextWord(line, pos);
        if (word.front() == '#') break;
        const bool ends = word.back() == ';';
        if (ends) word.pop_back();
        if (!word.empty()) commands.back().push_back(std::move(word));
        if (ends && !commands.back().empty()) commands.emplace_back();
    }
    if (commands.back().empty()) commands.pop_back();
    return commands;
}

DataItem ParseData(std::string_view word) {
    DataItem item;
    std::string s(word);
    // A trailing comma, so that lists can be pasted.
    if (!s.empty() && s.back() == ',') s.pop_back();
    if (s.empty()) {
        item.error = tt::kNoDataToConvert;
        return item;
    }
    if (ParseInteger(s, item)) return item;
    if (LooksLikeFloat(s)) {
        item.error = tt::kFloatRefused;
        return item;
    }
    const char q = s.front();
    if (s.size() > 1 && (q == '\'' || q == '"') && s.back() == q) {
        const std::string text = Unescape(std::string_view(s).substr(1, s.size() - 2));
        if (q == '\'') {
            if (text.size() > 1) item.warning = FormatText(tt::kOnlyFirstChar, s.c_str());
            const auto c = static_cast<uint8_t>(text.empty() ? 0 : text[0]);
            item.bytes = {c};
            item.integer = true;
            item.value = static_cast<int8_t>(c);
            item.raw = static_cast<uint64_t>(item.value);
        } else {
            item.bytes.assign(text.begin(), text.end());
            item.bytes.push_back(0);
        }
        return item;
    }
    item.error = tt::kCannotParse;
    return item;
}

namespace {

struct NamedMemory {
    const char* name;
    Memory mem;
};
// The first name of a memory is its own; the others are aliases.
constexpr NamedMemory kMemories[] = {
    {"flash", Memory::Flash},
    {"eeprom", Memory::Eeprom},
    {"lfuse", Memory::LowFuse},
    {"fuse", Memory::LowFuse},
    {"hfuse", Memory::HighFuse},
    {"efuse", Memory::ExtFuse},
    {"lock", Memory::Lock},
    {"lockbits", Memory::Lock},
    {"calibration", Memory::Calibration},
    {"signature", Memory::Signature},
};

}  // namespace

MemoryMatch FindMemory(std::string_view word, Memory& mem, const char** name) {
    const NamedMemory* found = nullptr;
    for (const auto& m : kMemories) {
        const std::string_view candidate(m.name);
        if (word.empty() || word.size() > candidate.size() ||
            strncasecmp(word.data(), m.name, word.size()) != 0)
            continue;
        if (word.size() == candidate.size()) {
            found = &m;
            break;
        }
        if (found != nullptr && found->mem != m.mem) return MemoryMatch::Ambiguous;
        if (found == nullptr) found = &m;
    }
    if (found == nullptr) return MemoryMatch::Unknown;
    mem = found->mem;
    if (name != nullptr) *name = found->name;
    return MemoryMatch::Found;
}

const char* MemoryName(Memory mem) {
    for (const auto& m : kMemories)
        if (m.mem == mem) return m.name;
    return "";
}

int32_t FuseBytesOf(Memory mem) {
    return mem == Memory::HighFuse ? kFuseHigh : mem == Memory::ExtFuse ? kFuseExt : kFuseLow | kFuseSingle;
}

bool ParseDataList(std::string_view text, bool comments, std::vector<uint8_t>& out, std::string& error,
                   std::vector<std::string>& warnings) {
    constexpr std::string_view kSeparators = ", \t\r\v\f";
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t eol = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        for (size_t at = 0;;) {
            while (at < line.size() && IsBlank(line[at], kSeparators)) ++at;
            if (at >= line.size() || (comments && line[at] == '#')) break;
            const std::string word = NextWord(line, at, kSeparators);
            DataItem item = ParseData(word);
            if (!item.error.empty()) {
                error = word + ": " + item.error;
                return false;
            }
            if (!item.warning.empty()) warnings.push_back(item.warning);
            out.insert(out.end(), item.bytes.begin(), item.bytes.end());
        }
    }
    if (out.empty()) error = tt::kNoDataToConvert;
    return !out.empty();
}

bool ParseInt32(std::string_view word, int32_t& value, std::string& error) {
    const DataItem item = ParseData(word);
    if (!item.error.empty()) {
        error = item.error;
        return false;
    }
    if (!item.integer) {
        error = tt::kNotInteger;
        return false;
    }
    if (!item.warning.empty()) {
        error = tt::kOutOfInt32;
        return false;
    }
    const int64_t v = item.value;
    const uint64_t u = item.raw;
    if ((v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) &&
        u > 0xFFFFFFFFu && ~u + 1 > 0xFFFFFFFFu) {
        error = tt::kOutOfInt32;
        return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(u));
    return true;
}

}  // namespace oriole::avrdude
