#include "base/AtomicFile.h"

#include <QSaveFile>

namespace oriole {

bool WriteFileAtomically(const QString& path, QByteArrayView data) {
    if (path.isEmpty()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // Flush before commit: Qt 6.4's commit() ignores a failed flush of the last
    // buffered bytes (disk full, file size limit) and would put a truncated
    // file in place of the old one.
    if (file.write(data.data(), data.size()) != data.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace oriole
