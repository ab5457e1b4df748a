// Fuzzes the image loader: any input must load without a crash, show at most
// one warning, keep cells within -1..255 and the used length within the
// capacity, and give the same answer from memory, from a file and when only
// scanned. The line splitter must give the same lines at any chunk size.
// Every input also goes through the ELF reader (both memories) and the binary
// reader as a forced format; an ELF that fails changes nothing.

#include <QBuffer>
#include <QTemporaryFile>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImageReader.h"
#include "image/LineSource.h"

namespace {

using oriole::Answer;
using oriole::MsgKind;

constexpr uint32_t kCapacity = 0x100;
constexpr uint32_t kPreset = 0xA5A5A5A5u;

class CountingHost : public oriole::IMessageHost {
public:
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer) override {
        if (kind != MsgKind::Warning) std::abort();
        texts.emplace_back(text);
        return Answer::Ok;
    }
    std::vector<std::string> texts;
};

struct Result {
    bool ok = false;
    std::vector<std::string> texts;
    uint32_t count = 0;
    uint32_t lowest = kPreset;
    uint32_t highest = kPreset;
    std::vector<int16_t> cells;

    bool operator==(const Result&) const = default;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

QByteArray View(const uint8_t* data, size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                   static_cast<qsizetype>(size));
}

Result Load(const uint8_t* data, size_t size, bool scan,
            const oriole::ImageLoadOptions& options = {}) {
    Result r;
    r.count = kCapacity;
    if (!scan) r.cells.assign(kCapacity, 0x4242);
    QByteArray bytes = View(data, size);
    QBuffer buffer(&bytes);
    Check(buffer.open(QIODevice::ReadOnly));
    CountingHost host;
    r.ok = oriole::LoadImageData(host, buffer, scan ? nullptr : r.cells.data(), r.count, r.lowest,
                                 r.highest, options);
    r.texts = host.texts;
    return r;
}

Result LoadThroughFile(const uint8_t* data, size_t size) {
    // A fresh file each time: truncating and rewriting one file makes ext4
    // flush it to disk on close, which slows fuzzing down to a crawl.
    QTemporaryFile file;
    Check(file.open());
    Check(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
          static_cast<qint64>(size));
    file.close();
    Result r;
    r.count = kCapacity;
    r.cells.assign(kCapacity, 0x4242);
    CountingHost host;
    r.ok = oriole::LoadImageFile(host, file.fileName(), r.cells.data(), r.count, r.lowest,
                                 r.highest);
    // A message about the file as a whole names it; without the name it
    // reads as the one from memory.
    const std::string named = ": " + file.fileName().toStdString();
    for (std::string& text : host.texts)
        if (const size_t at = text.find(named); at != std::string::npos) text.erase(at, named.size());
    r.texts = host.texts;
    return r;
}

std::vector<std::string> Lines(const uint8_t* data, size_t size, size_t chunk) {
    QByteArray bytes = View(data, size);
    QBuffer buffer(&bytes);
    Check(buffer.open(QIODevice::ReadOnly));
    oriole::LineSource source(buffer, chunk);
    std::vector<std::string> lines;
    std::string_view line;
    while (source.Next(line)) {
        Check(line.size() <= oriole::LineSource::kKeptChars);
        lines.emplace_back(line);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Result loaded = Load(data, size, false);
    Check(loaded.texts.size() <= 1);
    for (int16_t v : loaded.cells) Check(v == 0x4242 || (v >= -1 && v <= 255));
    const bool written = loaded.lowest != kPreset;
    if (written) {
        Check(loaded.count <= kCapacity);
        Check(loaded.highest == loaded.count - 1);
    } else {
        Check(loaded.count == kCapacity && loaded.highest == kPreset && !loaded.ok);
    }

    const Result scanned = Load(data, size, true);
    Check(scanned.texts.size() <= 1);
    if (loaded.ok) {
        Check(scanned.ok && scanned.count == loaded.count && scanned.lowest == loaded.lowest &&
              scanned.highest == loaded.highest && scanned.texts.empty());
    }

    Check(LoadThroughFile(data, size) == loaded);

    using oriole::ImageFormat;
    using oriole::ImageSpace;
    for (const oriole::ImageLoadOptions options :
         {oriole::ImageLoadOptions{.format = ImageFormat::Elf, .space = ImageSpace::Flash},
          oriole::ImageLoadOptions{.format = ImageFormat::Elf, .space = ImageSpace::Eeprom},
          oriole::ImageLoadOptions{.format = ImageFormat::Binary}}) {
        const Result forced = Load(data, size, false, options);
        Check(forced.texts.size() <= 1);
        Check(forced.ok != (forced.lowest == kPreset));  // outputs only on success
        if (!forced.ok) {
            Check(forced.count == kCapacity);
            if (options.format == ImageFormat::Elf)
                for (int16_t v : forced.cells) Check(v == 0x4242);
            continue;
        }
        Check(forced.count <= kCapacity && forced.highest == forced.count - 1);
        for (int16_t v : forced.cells) Check(v >= -1 && v <= 255);
        const Result scan = Load(data, size, true, options);
        Check(scan.ok && scan.count == forced.count && scan.lowest == forced.lowest);
    }

    if (size > 0) {
        const size_t chunk = 1 + data[0] % 61;
        Check(Lines(data, size, chunk) == Lines(data, size, oriole::LineSource::kDefaultChunk));
    }
    return 0;
}
