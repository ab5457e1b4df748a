#pragma once
// The main window on a simulated writer box without its timing model (so
// that the tests run at full speed) and with a message host that records
// every message and answers questions from a script.

#include <QAbstractButton>
#include <QComboBox>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/OrioleDlg.h"
#include "link/sim/SimBox.h"

namespace oriole::test {

struct ShownMessage {
    MsgKind kind;
    std::string text;
    Answer defaultAnswer;
};

class ScriptedMessages final : public IMessageHost {
public:
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override;

    std::vector<std::string> Texts() const;
    std::vector<ShownMessage> shown;
    std::deque<Answer> answers;  // for questions; No when it runs out
};

void EnsureApp();

struct AppRig {
    // `simOptions`: the box's device and faults, as after "sim:".
    explicit AppRig(const std::string& simOptions = "ATmega328P");
    ~AppRig();

    COrioleCore& Core() { return dlg->Core(); }
    CMainControls& Model() { return dlg->Window().Controls(); }
    CMainWindowAdapter& Window() { return dlg->Window(); }
    QAbstractButton* Button(int id) { return dlg->Button(id); }
    QComboBox* DeviceList() { return dlg->ComboBox(ctl_id::kDeviceList); }
    std::vector<std::string> Texts() const { return messages.Texts(); }
    int Opens() const { return box->CallCount(sim::DriverCall::Open); }

    // Chooses a list entry by its text, as the user does.
    void ChooseDevice(const QString& name);
    // Turns auto-detect off, answering the question with Yes.
    void AutoDetectOff();
    // An Intel HEX file of `bytes` from address 0, in the rig's folder.
    std::string WriteHex(const std::string& name, const std::vector<uint8_t>& bytes);

    QTemporaryDir dir;
    ScriptedMessages messages;
    std::shared_ptr<sim::CSimBox> box;
    std::unique_ptr<COrioleDlg> dlg;
};

// A click the user made while a command runs: it waits in the event queue
// until the command's waits let it through.
void PostClick(QWidget* target);

// Every progress window that exists now.
int ProgressWindowCount();

}  // namespace oriole::test
