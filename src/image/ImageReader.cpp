#include "image/ImageReader.h"

#include <QFile>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

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

namespace {

// A device node is no image, and is not even opened: some act on being
// opened (a watchdog arms), and the path may come from a settings file the
// user did not write. Pipes stay readable (a shell's <(...)).
bool IsDeviceNode(const QString& path) {
#if defined(_WIN32)
    static_cast<void>(path);
    return false;
#else
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 &&
           (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
#endif
}

}  // namespace

bool LoadImageFile(IMessageHost& host, const QString& path, int16_t* cells, uint32_t& count,
                   uint32_t& lowestAddress, uint32_t& highestAddress) {
    if (IsDeviceNode(path)) {
        host.ShowMessage(MsgKind::Warning, text::kFileOpenFailed);
        return false;
    }
    // Unbuffered: the line source reads large chunks itself. QFile refuses to
    // open a folder, so that ends here as well.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        host.ShowMessage(MsgKind::Warning, text::kFileOpenFailed);
        return false;
    }
    return LoadImageData(host, file, cells, count, lowestAddress, highestAddress);
}

}  // namespace oriole
