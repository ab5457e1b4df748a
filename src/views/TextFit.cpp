#include "views/TextFit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace oriole {
namespace {

int TextWidth(const QWidget* w, const QString& text) {
    // Mnemonic markers are not drawn.
    QString shown = text;
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    shown.remove(u'&');
    shown.replace(u'\x01', u'&');
    return w->fontMetrics().horizontalAdvance(shown);
}

int IndicatorRoom(const QWidget* w, QStyle::PixelMetric indicator, QStyle::PixelMetric spacing) {
    const QStyle* style = w->style();
    return style->pixelMetric(indicator, nullptr, w) + style->pixelMetric(spacing, nullptr, w);
}

}  // namespace

int TextOverflow(const QWidget* control) {
    if (auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->text().isEmpty()) return 0;
        return TextWidth(label, label->text()) - label->contentsRect().width();
    }
    if (auto* check = qobject_cast<const QCheckBox*>(control)) {
        const int room = check->width() - IndicatorRoom(check, QStyle::PM_IndicatorWidth,
                                                        QStyle::PM_CheckBoxLabelSpacing);
        return TextWidth(check, check->text()) - room;
    }
    if (auto* radio = qobject_cast<const QRadioButton*>(control)) {
        const int room = radio->width() - IndicatorRoom(radio, QStyle::PM_ExclusiveIndicatorWidth,
                                                        QStyle::PM_RadioButtonLabelSpacing);
        return TextWidth(radio, radio->text()) - room;
    }
    if (auto* button = qobject_cast<const QPushButton*>(control)) {
        const int frame =
            button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        return TextWidth(button, button->text()) - (button->width() - 2 * frame);
    }
    if (auto* group = qobject_cast<const QGroupBox*>(control)) {
        // The title sits inside the frame with a small indent on either side.
        const int indent = group->fontMetrics().horizontalAdvance(u' ') * 2;
        return TextWidth(group, group->title()) - (group->width() - 2 * indent);
    }
    return 0;
}

}  // namespace oriole
