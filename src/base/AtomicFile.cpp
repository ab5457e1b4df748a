#include "base/AtomicFile.h"

#include <QSaveFile>

namespace oriole {

bool WriteFileAtomically(const QString& path, QByteArrayView data) {
    if (path.isEmpty()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(data.data(), data.size()) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace oriole
