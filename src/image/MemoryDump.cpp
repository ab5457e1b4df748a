#include "image/MemoryDump.h"

#include <algorithm>
#include <array>

#include "image/ImageBuffer.h"
#include "image/ImageReader.h"
#include "res/Texts.h"

namespace oriole {
namespace {

constexpr char kFlashHeader[] = " Addr  +0    +2    +4    +6    +8    +A    +C    +E\r\n";
constexpr char kEepromHeader[] = " Addr  +0    +2    +4    +6     ASCII\r\n";
constexpr char kHexFigures[] = "0123456789ABCDEF";

// The longest line: up to 8 address figures and a blank, 16 bytes of 3
// characters.
constexpr size_t kMaxLineChars = 9 + 16 * 3;

// A dump of the largest file the view takes has two million lines; the lines
// are put together by hand instead of with QString::asprintf per byte, which
// formats such a dump several times slower.
void PutHex(char*& out, uint32_t value, int figures) {
    for (int shift = (figures - 1) * 4; shift >= 0; shift -= 4)
        *out++ = kHexFigures[(value >> shift) & 0xFu];
}

// "%06X": at least six figures, more when the value needs them.
int AddressFigures(uint32_t address) {
    int figures = 6;
    while (figures < 8 && (address >> (figures * 4)) != 0) ++figures;
    return figures;
}

char Printable(uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
}

template <typename ByteAt>
QStringList FormatLines(size_t count, DumpLayout layout, ByteAt byteAt) {
    const size_t width = static_cast<size_t>(DumpBytesPerLine(layout));
    QStringList lines;
    lines.reserve(static_cast<qsizetype>((count + width - 1) / width));
    std::array<char, kMaxLineChars> line{};
    for (size_t start = 0; start < count; start += width) {
        const size_t n = std::min(width, count - start);
        char* out = line.data();
        const auto address = static_cast<uint32_t>(start);
        PutHex(out, address, AddressFigures(address));
        *out++ = ' ';
        for (size_t i = 0; i < n; ++i) {
            PutHex(out, byteAt(start + i), 2);
            *out++ = ' ';
        }
        if (layout == DumpLayout::Eeprom) {
            out = std::fill_n(out, (width - n) * 3, ' ');  // the column stays in place
            for (size_t i = 0; i < n; ++i) *out++ = Printable(byteAt(start + i));
        }
        lines << QString::fromLatin1(line.data(), out - line.data());
    }
    return lines;
}

}  // namespace

int DumpBytesPerLine(DumpLayout layout) {
    return layout == DumpLayout::Flash ? 16 : 8;
}

QString DumpHeader(DumpLayout layout) {
    return QString::fromLatin1(layout == DumpLayout::Flash ? kFlashHeader : kEepromHeader);
}

QStringList FormatDumpLines(std::span<const uint8_t> bytes, DumpLayout layout) {
    return FormatLines(bytes.size(), layout, [bytes](size_t i) { return bytes[i]; });
}

QStringList FormatDumpLines(std::span<const int16_t> cells, DumpLayout layout) {
    return FormatLines(cells.size(), layout,
                       [cells](size_t i) { return static_cast<uint8_t>(cells[i] & 0xFF); });
}

QString RenderDumpWindow(DumpLayout layout, const QStringList& lines, int first) {
    QString text = DumpHeader(layout);
    if (first < 0 || first >= lines.size()) return text;
    const qsizetype end = std::min<qsizetype>(lines.size(), qsizetype{first} + kDumpPageLines);
    for (qsizetype i = first; i < end; ++i) {
        text += lines[i];
        text += QLatin1String("\r\n");
    }
    return text;
}

int ScrollDumpPosition(ScrollRequest request, int position, int maximum, int page,
                       int trackPosition) {
    switch (request) {
        case ScrollRequest::LineUp:
            return position > 0 ? position - 1 : position;
        case ScrollRequest::LineDown:
            // One more line only while the last line is not yet shown.
            return position <= maximum - page ? position + 1 : position;
        case ScrollRequest::PageUp:
            return position < page ? 0 : position - page;
        case ScrollRequest::PageDown: {
            const int next =
                position + page > maximum - page ? maximum - page + 1 : position + page;
            return std::max(next, 0);
        }
        case ScrollRequest::ThumbTrack:
        case ScrollRequest::ThumbPosition:
            return trackPosition;
        case ScrollRequest::Top:
        case ScrollRequest::Bottom:
        case ScrollRequest::EndScroll:
            return position;
    }
    return position;
}

QString FormatAddressLabel(uint32_t lowestAddress, uint32_t highestAddress) {
    return QString::asprintf(" %06X - %06X", lowestAddress, highestAddress);
}

bool LoadFileDump(IMessageHost& host, const QString& path, DumpLayout layout, FileDump& dump,
                  ImageSpace space) {
    uint32_t used = 0;
    uint32_t lowest = 0;
    uint32_t highest = 0;
    const ImageLoadOptions options{.space = space};
    if (!LoadImageFile(host, path, nullptr, used, lowest, highest, options)) return false;

    const uint64_t size = RoundUpToDumpBlock(used);
    if (size > kMaxDumpBytes) {
        host.ShowFailure(Cause::TooLarge, MsgKind::Warning, BeyondCapacityText(path));
        return false;
    }
    ImageBuffer image;
    image.Allocate(static_cast<uint32_t>(size));
    // An empty image has no cell array, and the loader takes that for a scan;
    // harmless, since only the allocated cells are shown.
    if (!LoadImageFile(host, path, image, lowest, highest, options)) return false;

    dump.lines = FormatDumpLines(std::span<const int16_t>(image.cells), layout);
    dump.label = FormatAddressLabel(lowest, highest);
    return true;
}

}  // namespace oriole
