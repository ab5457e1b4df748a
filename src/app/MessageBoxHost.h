#pragma once
// The core's messages as the toolkit's message boxes: the program's name as
// the title, the icon of the kind, Yes and No for questions.

#include "host/MessageHost.h"

class QWidget;

namespace oriole {

class CMessageBoxHost final : public IMessageHost {
public:
    explicit CMessageBoxHost(QWidget* parent) : m_pParent(parent) {}

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override;

private:
    QWidget* m_pParent;
};

}  // namespace oriole
