#include "views/Controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSlider>

namespace oriole {
namespace {

// Where a new item goes in a list kept in order: after every item that does
// not sort behind it, so equal texts keep the order they came in.
template <typename TextAt>
int SortedPosition(int count, TextAt textAt, const QString& text) {
    int pos = 0;
    while (pos < count && textAt(pos).compare(text, Qt::CaseInsensitive) <= 0) ++pos;
    return pos;
}

}  // namespace

const CControls::Entry* CControls::Find(int id) const {
    const auto it = m_byId.constFind(id);
    return it == m_byId.cend() ? nullptr : &m_all[*it];
}

QWidget* CControls::Control(int id) const {
    const Entry* e = Find(id);
    return e ? e->widget : nullptr;
}

const res::ControlDef* CControls::Definition(int id) const {
    const Entry* e = Find(id);
    return e ? e->def : nullptr;
}

QAbstractButton* CControls::Button(int id) const {
    return qobject_cast<QAbstractButton*>(Control(id));
}
QLineEdit* CControls::LineEdit(int id) const {
    return qobject_cast<QLineEdit*>(Control(id));
}
QPlainTextEdit* CControls::TextBox(int id) const {
    return qobject_cast<QPlainTextEdit*>(Control(id));
}
QLabel* CControls::Label(int id) const {
    return qobject_cast<QLabel*>(Control(id));
}
QComboBox* CControls::ComboBox(int id) const {
    return qobject_cast<QComboBox*>(Control(id));
}
QGroupBox* CControls::GroupBox(int id) const {
    return qobject_cast<QGroupBox*>(Control(id));
}
QScrollBar* CControls::ScrollBar(int id) const {
    return qobject_cast<QScrollBar*>(Control(id));
}
QSlider* CControls::Slider(int id) const {
    return qobject_cast<QSlider*>(Control(id));
}
QProgressBar* CControls::ProgressBar(int id) const {
    return qobject_cast<QProgressBar*>(Control(id));
}

QButtonGroup* CControls::RadioGroup(int id) const {
    const Entry* e = Find(id);
    return e ? e->radioGroup : nullptr;
}

QString CControls::Text(int id) const {
    return WidgetText(Control(id));
}

QString WidgetText(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* t = qobject_cast<const QPlainTextEdit*>(w)) return t->toPlainText();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    if (auto* lw = qobject_cast<const QListWidget*>(w))
        return lw->currentItem() ? lw->currentItem()->text() : QString();
    return {};
}

void CControls::SetText(int id, const QString& text) {
    QWidget* w = Control(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
    } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
        t->setPlainText(text);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
    }
}

bool CControls::IsChecked(int id) const {
    const QAbstractButton* b = Button(id);
    return b && b->isChecked();
}

void CControls::SetChecked(int id, bool checked) {
    if (QAbstractButton* b = Button(id); b && b->isCheckable()) b->setChecked(checked);
}

bool CControls::IsEnabled(int id) const {
    const QWidget* w = Control(id);
    return w && w->isEnabled();
}

void CControls::Enable(int id, bool enabled) {
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

void CControls::Show(int id, bool shown) {
    if (QWidget* w = Control(id)) w->setVisible(shown);
}

int CControls::AddListItem(int id, const QString& text, const QVariant& data) {
    const res::ControlDef* def = Definition(id);
    if (!def) return -1;
    const bool sorted = (def->style & res::ctl::kSorted) != 0;
    if (QComboBox* combo = ComboBox(id)) {
        const int pos = sorted
                            ? SortedPosition(
                                  combo->count(), [&](int i) { return combo->itemText(i); }, text)
                            : combo->count();
        combo->insertItem(pos, text, data);
        return pos;
    }
    if (auto* list = qobject_cast<QListWidget*>(Control(id))) {
        const int pos = sorted
                            ? SortedPosition(
                                  list->count(), [&](int i) { return list->item(i)->text(); }, text)
                            : list->count();
        auto* item = new QListWidgetItem(text);
        item->setData(Qt::UserRole, data);
        list->insertItem(pos, item);
        return pos;
    }
    return -1;
}

}  // namespace oriole
