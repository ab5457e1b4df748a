// Fuzzes the terminal's reading of a line: arbitrary bytes are split into
// commands and words, and every word is read as a data item and as an
// address. Words are never empty, a data item either gives bytes or says
// why not, an integer has 1, 2, 4 or 8 bytes, a string ends in its NUL.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "avrdude/TerminalData.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    for (const auto& words : oriole::avrdude::SplitLine(line)) {
        Check(!words.empty());
        for (const std::string& word : words) {
            Check(!word.empty());
            const oriole::avrdude::DataItem item = oriole::avrdude::ParseData(word);
            Check(item.error.empty() != item.bytes.empty());
            if (item.integer && !item.bytes.empty()) {
                const size_t n = item.bytes.size();
                Check(n == 1 || n == 2 || n == 4 || n == 8);
            } else if (!item.bytes.empty()) {
                Check(item.bytes.back() == 0);
            }
            int32_t value = 0;
            std::string why;
            Check(oriole::avrdude::ParseInt32(word, value, why) == why.empty());
        }
    }
    return 0;
}
