#include "base/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace oriole {

namespace {
// ICU's name for Microsoft's code page 932 (Shift-JIS with the NEC and IBM
// extensions), which is what the files of the Windows program hold.
constexpr const char* kCodePage932 = "windows-31j";
}  // namespace

QByteArray ToShiftJis(const QString& text) {
    QStringEncoder encoder(kCodePage932);
    if (!encoder.isValid()) return text.toLatin1();
    return encoder.encode(text);
}

QString FromShiftJis(QByteArrayView bytes) {
    QStringDecoder decoder(kCodePage932);
    if (!decoder.isValid()) return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

}  // namespace oriole
