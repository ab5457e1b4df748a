#pragma once
// Whole-file saves that either land completely or not at all: the bytes go to
// a temporary file beside the target, which replaces the target only after
// every byte was written and flushed. A failed save leaves any existing file
// as it was.

#include <QByteArrayView>
#include <QString>

namespace oriole {

[[nodiscard]] bool WriteFileAtomically(const QString& path, QByteArrayView data);

}  // namespace oriole
