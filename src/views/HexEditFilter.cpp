#include "views/HexEditFilter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

#include "base/HexKeyFilter.h"

namespace oriole {
namespace {

class CHexKeyFilter : public QObject {
public:
    CHexKeyFilter(QLineEdit* edit, int limit) : QObject(edit), m_pEdit(edit), m_nLimit(limit) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_pEdit) return false;
        if (event->type() == QEvent::KeyPress) return FilterKey(static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::InputMethod) {
            auto* im = static_cast<QInputMethodEvent*>(event);
            if (!im->commitString().isEmpty()) {
                im->setCommitString(Filtered(im->commitString()), im->replacementStart(),
                                    im->replacementLength());
            }
        }
        return false;
    }

private:
    // The characters of `typed` that the box takes, one after the other, the
    // first of them replacing the selection.
    QString Filtered(const QString& typed) const {
        int held = static_cast<int>(m_pEdit->text().size() - m_pEdit->selectedText().size());
        QString kept;
        for (const QChar c : typed) {
            const std::optional<char16_t> out = FilterHexKey(c.unicode(), held, m_nLimit);
            if (!out) continue;
            kept += QChar(*out);
            if (*out >= u' ') ++held;
        }
        return kept;
    }

    // True when the event is used up here.
    bool FilterKey(QKeyEvent* key) {
        // Shortcuts and editing keys are not characters for the box.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        const QString typed = key->text();
        // Keys whose text is no printable character (Delete sends DEL on some
        // systems) are editing keys, which the edit never inserts.
        if (std::none_of(typed.begin(), typed.end(), [](QChar c) { return c.isPrint(); }))
            return false;
        QString kept = Filtered(typed);
        if (kept == typed) return false;
        // Dropped or changed characters: the box gets the figures the filter
        // kept (a control character within several typed at once is no text).
        kept.removeIf([](QChar c) { return c.unicode() < u' '; });
        if (!kept.isEmpty() && !m_pEdit->isReadOnly()) m_pEdit->insert(kept);
        return true;
    }

    QLineEdit* m_pEdit;
    int m_nLimit;
};

}  // namespace

void InstallHexKeyFilter(QLineEdit* edit, int limit) {
    edit->installEventFilter(new CHexKeyFilter(edit, limit));
}

}  // namespace oriole
