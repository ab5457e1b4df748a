#include "app/AppLook.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QSysInfo>

namespace oriole {
namespace {

// The colours of the bird the program is named after.
const QColor kOrange(0xF0, 0x8A, 0x00);
const QColor kInk(0x20, 0x20, 0x20);

QPixmap IconPixmap(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = side / 16.0;
    // A chip: black body, orange pins on both long sides, a notch.
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    for (int i = 0; i < 4; ++i) {
        const qreal y = (3 + 3 * i) * u;
        p.drawRect(QRectF(1 * u, y, 2.5 * u, 1.4 * u));
        p.drawRect(QRectF(12.5 * u, y, 2.5 * u, 1.4 * u));
    }
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(3 * u, 1.5 * u, 10 * u, 13 * u), u, u);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(8 * u, 1.5 * u), 1.4 * u, 1.4 * u);
    // An orange "O" on the body.
    p.setPen(QPen(kOrange, 1.6 * u));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8 * u, 8.5 * u), 2.6 * u, 3.2 * u);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128}) icon.addPixmap(IconPixmap(side));
    return icon;
}

QPixmap LogoPixmap(QSize size) {
    QPixmap pixmap(size.expandedTo(QSize(1, 1)));
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setItalic(true);
    font.setPixelSize(std::max(6, size.height()));
    font.setLetterSpacing(QFont::PercentageSpacing, 110);
    p.setFont(font);
    p.setPen(kOrange);
    p.drawText(pixmap.rect(), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ORIOLE"));
    return pixmap;
}

QString ArchitectureSuffix() {
    // The names the platform the program comes from gives its builds.
    const QString arch = QSysInfo::buildCpuArchitecture();
    QString name = arch;
    if (arch == QStringLiteral("x86_64")) name = QStringLiteral("x64");
    else if (arch == QStringLiteral("i386")) name = QStringLiteral("x86");
    else if (arch == QStringLiteral("arm64")) name = QStringLiteral("ARM64");
    return QStringLiteral(" (%1)").arg(name);
}

}  // namespace oriole
