#include "views/DialogFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QList>
#include <QRawFont>
#include <QStringList>

namespace oriole {
namespace {

// Kana, kanji and the full-width forms the dialogs use.
const QString& JapaneseProbe() {
    static const QString probe = QString::fromUtf8("デバイス設定読み込み消去ｆ≧（）：");
    return probe;
}

bool IsUsable(const QString& family, int points) {
    if (!QFontDatabase::families().contains(family, Qt::CaseInsensitive)) return false;
    QFont font(family, points);
    // Asking for a family that is not there silently gives another one.
    if (QFontInfo(font).family().compare(family, Qt::CaseInsensitive) != 0) return false;
    return FontDrawsText(font, JapaneseProbe());
}

}  // namespace

QFont ChooseDialogFont(const char* face, int points) {
    QStringList candidates{QString::fromUtf8(face), QString::fromUtf8(kFallbackDialogFace)};
    candidates += QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& family : candidates) {
        if (IsUsable(family, points)) return QFont(family, points);
    }
    return QFont(QString::fromUtf8(face), points);
}

bool FontDrawsText(const QFont& font, const QString& text) {
    // QFontMetrics::inFontUcs4 would also count the fallback fonts.
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid()) return false;
    for (const char32_t ch : text.toUcs4()) {
        if (ch == U'\r' || ch == U'\n' || ch == U'\t') continue;
        if (!raw.supportsCharacter(static_cast<uint>(ch))) return false;
    }
    return true;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    return BaseUnitsFromMetrics(metrics.horizontalAdvance(QString::fromLatin1(kBaseUnitAlphabet)),
                                metrics.height());
}

}  // namespace oriole
