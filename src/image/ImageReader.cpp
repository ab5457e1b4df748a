#include "image/ImageReader.h"

#include <QFileInfo>

#include "image/InputFile.h"
#include "image/LineSource.h"
#include "image/RecordReaders.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr char kElfMagic[] = "\177ELF";

// What Auto comes to from the first bytes and the name; Auto when nothing fits.
ImageFormat Resolve(const QByteArray& head, const QString& name) {
    if (head.startsWith(kElfMagic)) return ImageFormat::Elf;
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("elf")) return ImageFormat::Elf;
    if (suffix == QLatin1String("bin")) return ImageFormat::Binary;
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
    if (device.isSequential()) return device.peek(4);
    const qint64 start = device.pos();
    QByteArray head = device.read(4);
    if (!device.seek(start)) return {};
    return head;
}

bool OpenForReading(IMessageHost& host, CInputFile& file) {
    if (file.OpenForReading()) return true;
    host.ShowMessage(MsgKind::Warning, text::kFileOpenFailed);
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
        format = Resolve(Head(device), name);
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
                                              highestAddress)
                       : detail::ReadSRecord(host, source, cells, count, lowestAddress,
                                             highestAddress);
        }
        case ImageFormat::Auto:
            break;
    }
    // Neither ELF nor a record's start character (an empty file takes this
    // road too): no image, and the user learns why.
    LineSource source(device);
    char first = '\0';
    const bool failed = !source.PeekFirst(first) && source.Failed();
    host.ShowMessage(MsgKind::Warning, failed ? ReadFailedText(device) : text::kFileUnrecognised);
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

ImageFormat DetectImageFormat(const QString& path) {
    CInputFile file(path);
    if (!file.OpenForReading()) return ImageFormat::Auto;
    // A pipe can be read only once: its data are left for the load, and only
    // the name counts.
    return Resolve(file.IsPipe() ? QByteArray() : file.read(4), path);
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
