#pragma once
// The small text files of the fuse and lock bit dialogs.
//
// Fuse file: one line of the extended, high and low fuse texts one after the
// other (normally "FFD9E1"), then CR LF. Lock file: the lock text alone
// (normally "FC"), no line end. Both in Shift-JIS.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "host/MessageHost.h"

namespace oriole {

// The fuse byte texts exactly as the dialog's boxes hold them.
struct FuseTexts {
    QString ext;
    QString high;
    QString low;
    bool operator==(const FuseTexts&) const = default;
};

// Only this much of a file's first line is read: the files hold a few
// characters, and a huge file without a line end must neither fill memory
// nor take longer to load than a small one. A longer line counts as cut here.
inline constexpr qsizetype kBitFileKeptBytes = 1024;

// File bytes -> texts. Only the first line counts (up to LF, a CR before it
// dropped): extended = its first 2 characters, high = the 2 from position 2,
// low = its last 2, each fewer when the line is shorter.
FuseTexts ParseFuseFile(QByteArrayView bytes);
// The first 2 characters of the first line.
QString ParseLockFile(QByteArrayView bytes);

// Texts -> file bytes.
QByteArray FormatFuseFile(const FuseTexts& texts);
QByteArray FormatLockFile(const QString& text);

// Load: a file that cannot be read shows "ファイルを開くことができません。",
// returns false and leaves `texts` as they were. Save: the file is replaced
// only when written completely; on failure "ファイルを作成することができません。"
// and false, and an existing file stays as it was.
[[nodiscard]] bool LoadFuseFile(IMessageHost& host, const QString& path, FuseTexts& texts);
[[nodiscard]] bool SaveFuseFile(IMessageHost& host, const QString& path, const FuseTexts& texts);
[[nodiscard]] bool LoadLockFile(IMessageHost& host, const QString& path, QString& text);
[[nodiscard]] bool SaveLockFile(IMessageHost& host, const QString& path, const QString& text);

}  // namespace oriole
