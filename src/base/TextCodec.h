#pragma once
// Conversion between the program's Unicode texts and the Japanese ANSI code
// page (code page 932, Shift-JIS) that its files use on disk.

#include <QByteArray>
#include <QString>

namespace oriole {

// Unicode -> code page 932. Characters without a mapping become '?'.
QByteArray ToShiftJis(const QString& text);

// Code page 932 -> Unicode. Invalid sequences become U+FFFD.
QString FromShiftJis(QByteArrayView bytes);

}  // namespace oriole
