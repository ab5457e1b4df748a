#include "views/BitColumn.h"

#include <QAbstractButton>
#include <QLabel>

#include "base/Numbers.h"
#include "views/Controls.h"

namespace oriole {

QString BitCaption(bool pressed) {
    return pressed ? QStringLiteral("0") : QStringLiteral("1");
}

CBitColumn::CBitColumn(CControls& controls, const BitColumnIds& ids)
    : m_controls(controls), m_ids(ids) {
    for (size_t bit = 0; bit < m_buttons.size(); ++bit) {
        QAbstractButton* button = controls.Button(ids.buttons[bit]);
        Q_ASSERT(button != nullptr);
        m_buttons[bit] = button;
        // The caption is the state, whoever changed it: the user, a read,
        // a file or a question answered No.
        QObject::connect(button, &QAbstractButton::toggled, button,
                         [button](bool pressed) { button->setText(BitCaption(pressed)); });
        button->setText(BitCaption(button->isChecked()));
        // A pinned bit is pressed and disabled; the flat look would draw its
        // "0" in the colour of the pressed face, so it gets a darker one.
        button->setStyleSheet(
            button->styleSheet() +
            QStringLiteral("QPushButton:checked:disabled { color: palette(dark); }"));
    }
}

void CBitColumn::FillNames(const std::array<int32_t, 8>& indices, BitNameFn name,
                           int32_t pinnedIndex) {
    m_indices = indices;
    m_pinned = pinnedIndex;
    for (size_t bit = 0; bit < m_buttons.size(); ++bit) {
        const int32_t index = indices[bit];
        const int labelId = m_ids.labels[bit];
        m_controls.Label(labelId)->setText(
            QStringLiteral("%1: %2").arg(bit).arg(QString::fromUtf8(name(index))));
        QAbstractButton* button = m_buttons[bit];
        if (pinnedIndex != 0 && index == pinnedIndex) {
            button->setChecked(true);
            button->setEnabled(false);
            m_controls.Control(labelId)->setEnabled(false);
            continue;
        }
        const bool named = index != 0;
        // A bit the device does not have is never programmed: it could not
        // be released again, and its 0 would reach the device.
        if (!named) button->setChecked(false);
        button->setEnabled(named);
        m_controls.Control(labelId)->setEnabled(named);
    }
}

void CBitColumn::SetFromValue(uint8_t value) {
    for (size_t bit = 0; bit < m_buttons.size(); ++bit) {
        // A pinned bit stays programmed whatever a value says: the user
        // could not press it again.
        if (m_indices[bit] == 0 || (m_pinned != 0 && m_indices[bit] == m_pinned)) continue;
        m_buttons[bit]->setChecked(((value >> bit) & 1u) == 0);
    }
}

uint8_t CBitColumn::Value() const {
    unsigned value = 0xFF;
    for (size_t bit = 0; bit < m_buttons.size(); ++bit)
        if (m_buttons[bit]->isChecked()) value &= ~(1u << bit);
    return static_cast<uint8_t>(value);
}

void CBitColumn::ShowValue() {
    SetText(QStringLiteral("%1").arg(Value(), 2, 16, QLatin1Char('0')).toUpper());
}

QString CBitColumn::Text() const {
    return m_controls.Text(m_ids.edit);
}

void CBitColumn::SetText(const QString& text) {
    m_controls.SetText(m_ids.edit, text);
}

uint8_t CBitColumn::TextValue() const {
    return ParseHexByte(Text().toStdString());
}

void CBitColumn::OnClicked(const std::function<void(QAbstractButton*)>& onClick) {
    for (QAbstractButton* button : m_buttons)
        QObject::connect(button, &QAbstractButton::clicked, button,
                         [button, onClick] { onClick(button); });
}

}  // namespace oriole
