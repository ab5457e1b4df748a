#pragma once
// printf-style formatting of the message texts, whose formats ("line %d: ...")
// are fixed by the texts themselves.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace oriole {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (size > 0) {
        out.resize(static_cast<size_t>(size) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<size_t>(size));
    }
    va_end(again);
    return out;
}

}  // namespace oriole
