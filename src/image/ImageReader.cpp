#include "image/ImageReader.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "base/FormatText.h"
#include "image/InputFile.h"
#include "image/LineSource.h"
#include "image/RecordReaders.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr char kElfMagic[] = "\177ELF";

// How much of the file the windows tell the format from: enough for a first record.
constexpr qint64 kHeadBytes = 80;

// The first bytes, for every reader to start at the start of the file again.
// QIODevice::peek loses the position of an unbuffered file, so a device
// that can seek is read and put back.
QByteArray Head(QIODevice& device, qint64 bytes = kHeadBytes) {
    if (device.isSequential()) return device.peek(bytes);
    const qint64 start = device.pos();
    QByteArray head = device.read(bytes);
    if (!device.seek(start)) return {};
    return head;
}

// The names that promise records: raw bytes under one of them are a mistake,
// never data to program.
bool NamesRecords(const QString& name) {
    static const QStringList kTextSuffixes = {"hex", "ihx", "ihex", "eep", "srec", "s19", "s28", "s37", "mot"};
    return kTextSuffixes.contains(QFileInfo(name).suffix().toLower());
}

// What the name alone says: ".elf" an ELF, ".bin" raw binary; else Auto.
ImageFormat FormatOfName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("elf")) return ImageFormat::Elf;
    if (suffix == QLatin1String("bin")) return ImageFormat::Binary;
    return ImageFormat::Auto;
}

// What Auto comes to from the first bytes and the name, as the windows
// decide; Auto when nothing fits.
ImageFormat Resolve(const QByteArray& head, const QString& name) {
    if (head.startsWith(kElfMagic)) return ImageFormat::Elf;
    if (const ImageFormat named = FormatOfName(name); named != ImageFormat::Auto) return named;
    // Only the first character of the first line picks a text format, and
    // that is the first character of the file.
    if (head.startsWith(':')) return ImageFormat::IntelHex;
    if (head.startsWith('S')) return ImageFormat::SRecord;
    return ImageFormat::Auto;
}

bool AllFigures(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// What one line of a file tells of its format, as avrdude looks at it;
// Auto when the line decides nothing.
ImageFormat ClassifyLine(std::string_view line, const ValueListParser& values) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    for (const char c : line)
        if (static_cast<unsigned char>(c) > 127 || c == '\0') return ImageFormat::Binary;
    // Two figures at `at`, known to be figures.
    auto byte = [&](size_t at) {
        return size_t{detail::kHexValue[static_cast<unsigned char>(line[at])]} * 16 +
               detail::kHexValue[static_cast<unsigned char>(line[at + 1])];
    };
    // A record's start, its length field, and as many figures as the length
    // asks for (what follows them is the reader's to judge).
    if (line.size() >= 11 && line[0] == ':' && AllFigures(line.substr(1, 2))) {
        const size_t figures = 2 * byte(1) + 8;
        if (3 + figures <= line.size() && AllFigures(line.substr(3, figures))) return ImageFormat::IntelHex;
    }
    if (line.size() >= 10 && line[0] == 'S' && std::isdigit(static_cast<unsigned char>(line[1])) &&
        AllFigures(line.substr(2, 2))) {
        const size_t figures = 2 * byte(2);
        if (4 + figures <= line.size() && AllFigures(line.substr(4, figures))) return ImageFormat::SRecord;
    }
    if (values) {
        std::vector<uint8_t> bytes;
        std::string error;
        std::vector<std::string> warnings;
        if (values(line, bytes, error, warnings)) return ImageFormat::ValueList;
    }
    return ImageFormat::Auto;
}

// The format by content, from the device's current position, which is kept:
// lines are peeked, a growing window at a time, until one decides.
ImageFormat DetectLines(QIODevice& device, const ValueListParser& values) {
    qsizetype window = 4096;
    qsizetype done = 0;  // the lines looked at so far end here
    for (;;) {
        const QByteArray head = Head(device, window);
        const bool whole = head.size() < window;
        while (done < head.size()) {
            qsizetype end = head.indexOf('\n', done);
            if (end < 0 && !whole) break;
            if (end < 0) end = head.size();
            const ImageFormat format =
                ClassifyLine(std::string_view(head.constData() + done, static_cast<size_t>(end - done)), values);
            done = end + 1;
            if (format != ImageFormat::Auto) return format;
        }
        if (whole) return ImageFormat::Auto;
        window *= 2;
    }
}

// Auto by content, as ImageLoadOptions::byContent tells.
ImageFormat DetectByContent(QIODevice& device, const QString& name, const ValueListParser& values) {
    const QByteArray head = Head(device);
    if (head.startsWith(kElfMagic)) return ImageFormat::Elf;
    if (const ImageFormat named = FormatOfName(name); named != ImageFormat::Auto) return named;
    const ImageFormat format = DetectLines(device, values);
    return format == ImageFormat::Binary && NamesRecords(name) ? ImageFormat::Auto : format;
}

bool OpenForReading(IMessageHost& host, CInputFile& file) {
    if (file.OpenForReading()) return true;
    host.ShowFailure(Cause::File, MsgKind::Warning, text::kFileOpenFailed);
    return false;
}

// The messages about a file as a whole (it cannot be opened or read, is too
// large, has no end, no format or no valid items) say which file; those that
// point into its contents and those about the device do not.
bool AboutWholeFile(std::string_view text) {
    const auto prefix = [](const char* format) {
        const std::string_view f(format);
        return f.substr(0, std::min(f.find('%'), f.find('(')));
    };
    for (const char* whole : {text::kFileOpenFailed, text::kNoEndRecord, text::kFileUnrecognised,
                              text::kInputNoData, text::kElfTooLarge})
        if (text == whole) return true;
    return text.starts_with(prefix(text::kInputTooLarge)) || text.starts_with(prefix(text::kValueListInvalid));
}

// Passes every message on, the name of the file added to those about it as
// a whole: at the end of their first line.
class NamingHost final : public IMessageHost {
public:
    NamingHost(IMessageHost& host, std::string name) : m_host(host), m_name(std::move(name)) {}
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override {
        return m_host.ShowMessage(kind, Named(text), defaultAnswer);
    }
    void ShowFailure(Cause cause, MsgKind kind, std::string_view text) override {
        m_host.ShowFailure(cause, kind, Named(text));
    }

private:
    std::string Named(std::string_view text) const {
        if (m_name.empty() || !AboutWholeFile(text)) return std::string(text);
        return NameInText(text, m_name);
    }
    IMessageHost& m_host;
    std::string m_name;
};

// A value list: the whole text (at most kMaxValueListBytes), its items' bytes
// from address 0.
bool ReadValueList(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress, const ValueListParser& parse) {
    QByteArray text;
    std::array<char, 64 * 1024> chunk{};
    for (;;) {
        const qint64 want = std::min<qint64>(static_cast<qint64>(chunk.size()), kMaxValueListBytes + 1 - text.size());
        const qint64 n = want > 0 ? device.read(chunk.data(), want) : 0;
        if (n < 0) {
            host.ShowFailure(Cause::File, MsgKind::Warning, ReadFailedText(device));
            return false;
        }
        if (n == 0) break;
        text.append(chunk.data(), n);
    }
    if (text.size() > kMaxValueListBytes) {
        host.ShowFailure(Cause::File, MsgKind::Warning,
                         FormatText(text::kInputTooLarge, static_cast<int>(kMaxValueListBytes >> 20)));
        return false;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!parse) {
        host.ShowFailure(Cause::File, MsgKind::Warning, text::kFileUnrecognised);
        return false;
    }
    std::vector<std::string> warnings;
    const bool parsed = parse(std::string_view(text.constData(), static_cast<size_t>(text.size())), bytes, error, warnings);
    for (const std::string& warning : warnings) (void)host.ShowMessage(MsgKind::Warning, warning, Answer::Ok);
    if (!parsed) {
        host.ShowFailure(Cause::File, MsgKind::Warning, FormatText(text::kValueListInvalid, error.c_str()));
        return false;
    }
    if (cells != nullptr) {
        if (bytes.size() > count) {
            host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kHexBeyondDevice);
            return false;
        }
        std::fill_n(cells, count, kNoData);
        std::copy(bytes.begin(), bytes.end(), cells);
    }
    count = static_cast<uint32_t>(std::min<size_t>(bytes.size(), 0xFFFFFFFFu));
    lowestAddress = bytes.empty() ? 0xFFFFFFFFu : 0;
    highestAddress = bytes.empty() ? 0xFFFFFFFFu : count - 1;
    return true;
}

}  // namespace

std::string NameInText(std::string_view text, std::string_view name) {
    if (name.empty()) return std::string(text);
    const size_t eol = std::min(text.find('\n'), text.size());
    return std::string(text.substr(0, eol)) + ": " + std::string(name) + std::string(text.substr(eol));
}

bool LoadImageData(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress,
                   const ImageLoadOptions& options, const QString& name) {
    ImageFormat format = options.format;
    if (format == ImageFormat::Auto) {
        // Peeked, not read: every reader starts at the start of the file.
        // A failed look looks like an empty file; the reader chosen then
        // meets the failure again and reports it.
        if (!options.byContent) {
            format = Resolve(Head(device), name);
        } else {
            format = DetectByContent(device, name, options.valueList);
        }
    }
    switch (format) {
        case ImageFormat::Elf:
            return detail::ReadElf(host, device, cells, count, lowestAddress, highestAddress,
                                   options.space, options.elfConfig);
        case ImageFormat::Binary:
            return detail::ReadBinary(host, device, cells, count, lowestAddress, highestAddress);
        case ImageFormat::IntelHex:
        case ImageFormat::SRecord: {
            LineSource source(device);
            const bool hex = format == ImageFormat::IntelHex;
            return hex ? detail::ReadIntelHex(host, source, cells, count, lowestAddress,
                                              highestAddress, options.acceptMissingEnd)
                       : detail::ReadSRecord(host, source, cells, count, lowestAddress,
                                             highestAddress, options.acceptMissingEnd);
        }
        case ImageFormat::ValueList:
            return ReadValueList(host, device, cells, count, lowestAddress, highestAddress, options.valueList);
        case ImageFormat::Auto:
            break;
    }
    // No format fits (an empty file takes this road too): no image, and the
    // user learns why.
    LineSource source(device);
    char first = '\0';
    const bool failed = !source.PeekFirst(first) && source.Failed();
    host.ShowFailure(Cause::File, MsgKind::Warning, failed ? ReadFailedText(device) : text::kFileUnrecognised);
    return false;
}

bool LoadImageData(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress) {
    return LoadImageData(host, device, cells, count, lowestAddress, highestAddress, {});
}

bool LoadImageFile(IMessageHost& host, const QString& path, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress,
                   const ImageLoadOptions& options) {
    NamingHost named(host, options.shownName.empty() ? path.toStdString() : options.shownName);
    CInputFile file(path);
    if (!OpenForReading(named, file)) return false;
    return LoadImageData(named, file, cells, count, lowestAddress, highestAddress, options, path);
}

bool LoadImageFile(IMessageHost& host, const QString& path, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress) {
    return LoadImageFile(host, path, cells, count, lowestAddress, highestAddress, {});
}

ImageFormat DetectImageFormat(const QString& path, bool byContent, const ValueListParser& values) {
    CInputFile file(path);
    if (!file.OpenForReading()) return ImageFormat::Auto;
    // A pipe can be read only once: its data are left for the load, and only
    // the name counts.
    if (!byContent) return Resolve(file.IsPipe() ? QByteArray() : file.read(kHeadBytes), path);
    if (file.IsPipe()) return FormatOfName(path);
    return DetectByContent(file, path, values);
}

bool LoadElfConfigBytes(IMessageHost& host, const QString& path, ElfConfigBytes& config) {
    NamingHost named(host, path.toStdString());
    CInputFile file(path);
    if (!OpenForReading(named, file)) return false;
    // A scan: no cells, so only the configuration bytes are kept.
    uint32_t count = 0;
    uint32_t lowest = 0;
    uint32_t highest = 0;
    return detail::ReadElf(named, file, nullptr, count, lowest, highest, ImageSpace::Flash, &config);
}

const char* BeyondCapacityText(const QString& path) {
    return DetectImageFormat(path) == ImageFormat::SRecord ? text::kSrecBeyondDevice
                                                           : text::kHexBeyondDevice;
}

}  // namespace oriole
