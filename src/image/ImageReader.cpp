#include "image/ImageReader.h"

#include <QFileInfo>
#include <cctype>

#include "image/InputFile.h"
#include "image/LineSource.h"
#include "image/RecordReaders.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr char kElfMagic[] = "\177ELF";

// How much of the file the format is told from: enough for a first record.
constexpr qint64 kHeadBytes = 80;

// The first line of `head` (or all of it, when no line ends there) from
// `from` on holds hexadecimal figures only, at least `least` of them.
bool FiguresToLineEnd(const QByteArray& head, qsizetype from, qsizetype least) {
    qsizetype n = 0;
    for (qsizetype i = from; i < head.size(); ++i) {
        const char c = head[i];
        if (c == '\n' || c == '\r') break;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        ++n;
    }
    return n >= least;
}

// What Auto comes to from the first bytes and the name; Auto when nothing fits.
ImageFormat Resolve(const QByteArray& head, const QString& name, bool byContent) {
    if (head.startsWith(kElfMagic)) return ImageFormat::Elf;
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("elf")) return ImageFormat::Elf;
    if (suffix == QLatin1String("bin")) return ImageFormat::Binary;
    if (byContent) {
        // A record's start character alone is no proof: a binary may begin
        // with ':' or 'S'. The shortest records are ":LLAAAATTCC" and "SnCCAAAACC".
        if (head.isEmpty()) return ImageFormat::Auto;
        if (head.startsWith(':') && FiguresToLineEnd(head, 1, 10)) return ImageFormat::IntelHex;
        if (head.startsWith('S') && FiguresToLineEnd(head, 1, 9) && std::isdigit(static_cast<unsigned char>(head[1])))
            return ImageFormat::SRecord;
        // A name that promises records but content that holds none is a
        // mistake, never raw bytes to program.
        static const QStringList kTextSuffixes = {"hex", "ihx", "ihex", "eep", "srec", "s19", "s28", "s37", "mot"};
        return kTextSuffixes.contains(suffix) ? ImageFormat::Auto : ImageFormat::Binary;
    }
    // Only the first character of the first line picks a text format, and
    // that is the first character of the file.
    if (head.startsWith(':')) return ImageFormat::IntelHex;
    if (head.startsWith('S')) return ImageFormat::SRecord;
    return ImageFormat::Auto;
}

// The first bytes, for every reader to start at the start of the file again.
// QIODevice::peek loses the position of an unbuffered file, so a device
// that can seek is read and put back.
QByteArray Head(QIODevice& device) {
    if (device.isSequential()) return device.peek(kHeadBytes);
    const qint64 start = device.pos();
    QByteArray head = device.read(kHeadBytes);
    if (!device.seek(start)) return {};
    return head;
}

bool OpenForReading(IMessageHost& host, CInputFile& file) {
    if (file.OpenForReading()) return true;
    host.ShowFailure(Cause::File, MsgKind::Warning, text::kFileOpenFailed);
    return false;
}

}  // namespace

bool LoadImageData(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress,
                   const ImageLoadOptions& options, const QString& name) {
    ImageFormat format = options.format;
    if (format == ImageFormat::Auto) {
        // Peeked, not read: every reader starts at the start of the file.
        // A failed look looks like an empty file; the reader chosen then
        // meets the failure again and reports it.
        format = Resolve(Head(device), name, options.byContent);
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
        case ImageFormat::Auto:
            break;
    }
    // Neither ELF nor a record's start character (an empty file takes this
    // road too): no image, and the user learns why.
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
    CInputFile file(path);
    if (!OpenForReading(host, file)) return false;
    return LoadImageData(host, file, cells, count, lowestAddress, highestAddress, options, path);
}

bool LoadImageFile(IMessageHost& host, const QString& path, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress) {
    return LoadImageFile(host, path, cells, count, lowestAddress, highestAddress, {});
}

ImageFormat DetectImageFormat(const QString& path, bool byContent) {
    CInputFile file(path);
    if (!file.OpenForReading()) return ImageFormat::Auto;
    // A pipe can be read only once: its data are left for the load, and only
    // the name counts.
    return Resolve(file.IsPipe() ? QByteArray() : file.read(kHeadBytes), path, byContent);
}

bool LoadElfConfigBytes(IMessageHost& host, const QString& path, ElfConfigBytes& config) {
    CInputFile file(path);
    if (!OpenForReading(host, file)) return false;
    // A scan: no cells, so only the configuration bytes are kept.
    uint32_t count = 0;
    uint32_t lowest = 0;
    uint32_t highest = 0;
    return detail::ReadElf(host, file, nullptr, count, lowest, highest, ImageSpace::Flash, &config);
}

const char* BeyondCapacityText(const QString& path) {
    return DetectImageFormat(path) == ImageFormat::SRecord ? text::kSrecBeyondDevice
                                                           : text::kHexBeyondDevice;
}

}  // namespace oriole
