#include "image/ImageReader.h"

#include <QFile>

#include "image/LineSource.h"
#include "image/RecordReaders.h"
#include "res/Texts.h"

namespace oriole {

bool LoadImageData(IMessageHost& host, QIODevice& device, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress) {
    LineSource source(device);
    // Only the first character of the first line picks the format, and that is
    // the first character of the file. Peeking at it spares the readers a rewind
    // and lets them work on sources that cannot seek.
    char first = '\0';
    if (!source.PeekFirst(first)) {
        if (source.Failed()) host.ShowMessage(MsgKind::Warning, text::kFileOpenFailed);
        return false;  // an empty file is no image, and says nothing
    }
    if (first == ':') {
        return detail::ReadIntelHex(host, source, cells, count, lowestAddress, highestAddress);
    }
    if (first == 'S') {
        return detail::ReadSRecord(host, source, cells, count, lowestAddress, highestAddress);
    }
    return false;
}

bool LoadImageFile(IMessageHost& host, const QString& path, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress) {
    // Unbuffered: the line source reads large chunks itself. QFile refuses to
    // open a folder, so that ends here as well.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        host.ShowMessage(MsgKind::Warning, text::kFileOpenFailed);
        return false;
    }
    return LoadImageData(host, file, cells, count, lowestAddress, highestAddress);
}

const char* BeyondCapacityText(const QString& path) {
    QFile file(path);
    char first = '\0';
    if (file.open(QIODevice::ReadOnly)) {
        LineSource source(file);
        if (source.PeekFirst(first) && first == 'S') return text::kSrecBeyondDevice;
    }
    return text::kHexBeyondDevice;
}

}  // namespace oriole
