#pragma once
// The hex dumps of the FLASH and EEPROM views, without any window: bytes to
// dump lines, lines to the text of a dump box, scroll requests to the first
// line shown, and the file half's load of a data file into dump lines.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

#include "host/MessageHost.h"
#include "image/ImageFormat.h"

namespace oriole {

// FLASH: 16 bytes a line. EEPROM: 8 bytes a line and a character column.
enum class DumpLayout { Flash, Eeprom };

// A dump box shows its header and this many lines.
inline constexpr int kDumpPageLines = 9;

// The file view loads data files of at most this many bytes: the addresses the
// six figures of a dump line can show. The file decides the size of the view's
// image, and one record at 0xFFFFFF00 would otherwise ask for gigabytes.
inline constexpr uint32_t kMaxDumpBytes = uint32_t{1} << 24;

[[nodiscard]] int DumpBytesPerLine(DumpLayout layout);

// The first line of every dump box, with its CR LF.
[[nodiscard]] QString DumpHeader(DumpLayout layout);

// One line per 16 (FLASH) or 8 (EEPROM) bytes, addresses from 0, without line
// ends: "%06X " and "%02X " per byte; EEPROM lines then show each byte as
// itself from 0x20 to 0x7E and as "." otherwise. Callers pass whole lines; a
// shorter last line shows only the bytes there are (EEPROM: blanks keep its
// character column in place).
[[nodiscard]] QStringList FormatDumpLines(std::span<const uint8_t> bytes, DumpLayout layout);
// Same for image cells, each shown by its low byte (no data: "FF", ".").
[[nodiscard]] QStringList FormatDumpLines(std::span<const int16_t> cells, DumpLayout layout);

// The header, then lines from `first` on, each with CR LF, at most
// kDumpPageLines of them. Only the header when `first` lies outside the list.
[[nodiscard]] QString RenderDumpWindow(DumpLayout layout, const QStringList& lines, int first);

// What the user asked of a dump's scroll bar.
enum class ScrollRequest {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    ThumbTrack,     // thumb being dragged
    ThumbPosition,  // thumb released
    Top,
    Bottom,
    EndScroll,
};

// The first line to show after `request`, from the bar's position, maximum
// (line count - 1), page (kDumpPageLines) and thumb position. Line and page
// steps keep the last page full; the ends and "end of scrolling" leave the
// position where it is; the thumb goes where the bar put it.
[[nodiscard]] int ScrollDumpPosition(ScrollRequest request, int position, int maximum, int page,
                                     int trackPosition);

// The file's address range as the view's label shows it: " %06X - %06X".
[[nodiscard]] QString FormatAddressLabel(uint32_t lowestAddress, uint32_t highestAddress);

// The used length of a file image rounded up to whole 16-byte blocks (the
// image is cut into lines of 8 or 16). 64 bits: the loader reports up to
// 0xFFFFFFFF, which would wrap to 0 in 32.
[[nodiscard]] constexpr uint64_t RoundUpToDumpBlock(uint32_t usedLength) {
    return (uint64_t{usedLength} + 15) & ~uint64_t{15};
}

// What the file half of a view shows after a load.
struct FileDump {
    QStringList lines;  // dump lines from address 0, a cell without data as FF
    QString label;      // FormatAddressLabel of the file's range
};

// Loads a data file for the view in two passes: a scan for its used length,
// then a load into that many cells rounded up to 16. A file that reaches
// beyond kMaxDumpBytes is refused with the loader's size warning for its
// format. Every failure has shown one message; `dump` changes only on success.
// An ELF shows its part for `space`.
[[nodiscard]] bool LoadFileDump(IMessageHost& host, const QString& path, DumpLayout layout,
                                FileDump& dump, ImageSpace space = ImageSpace::Flash);

}  // namespace oriole
