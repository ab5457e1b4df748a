#pragma once
// Conversion between the program's Unicode texts and the Japanese ANSI code
// page (code page 932, Shift-JIS) that its files use on disk.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace oriole {

// Unicode -> code page 932. A character the code page cannot hold (or holds
// only as a look-alike, such as U+00A5 as '\\') becomes '?', so the result is
// always valid Shift-JIS.
QByteArray ToShiftJis(const QString& text);

// Unicode -> code page 932 when every character reads back exactly as it
// is; nothing otherwise.
std::optional<QByteArray> ToShiftJisExact(const QString& text);

// Code page 932 -> Unicode. Invalid sequences become U+FFFD.
QString FromShiftJis(QByteArrayView bytes);

// Text from outside (a file anybody may have written) made safe to print on
// a terminal: the control characters but the tab (C0, DEL and C1), and every
// byte that is no part of valid UTF-8, become \xHH; the rest stays as it is.
std::string EscapeControls(std::string_view bytes);

}  // namespace oriole
