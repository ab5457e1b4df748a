#include "app/MessageBoxHost.h"

#include <QApplication>
#include <QMessageBox>

#include "res/Texts.h"

namespace oriole {
namespace {

QMessageBox::Icon IconOf(MsgKind kind) {
    switch (kind) {
        case MsgKind::Error: return QMessageBox::Critical;
        case MsgKind::Warning: return QMessageBox::Warning;
        case MsgKind::Information: return QMessageBox::Information;
        case MsgKind::Question: break;
    }
    // Questions come without an icon of their own, and such a box shows the
    // exclamation mark.
    return QMessageBox::Warning;
}

}  // namespace

Answer CMessageBoxHost::ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) {
    const bool question = kind == MsgKind::Question;
    QMessageBox box(IconOf(kind), QString::fromUtf8(text::kAppName),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, m_pParent);
    box.setTextFormat(Qt::PlainText);
    if (question)
        box.setDefaultButton(defaultAnswer == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    // A command shows the wait cursor while it runs; the box wants the arrow.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (waiting) QApplication::restoreOverrideCursor();
    if (!question) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

}  // namespace oriole
