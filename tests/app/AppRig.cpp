#include "AppRig.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>

#include "app/OrioleApp.h"
#include "app/ProgressDlg.h"
#include "image/ImageWriter.h"
#include "link/SimDriver.h"
#include "res/Texts.h"

namespace oriole::test {

Answer ScriptedMessages::ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) {
    shown.push_back({kind, std::string(text), defaultAnswer});
    if (kind != MsgKind::Question) return Answer::Ok;
    if (answers.empty()) return Answer::No;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

std::vector<std::string> ScriptedMessages::Texts() const {
    std::vector<std::string> out;
    for (const ShownMessage& m : shown) out.push_back(m.text);
    return out;
}

void EnsureApp() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals are gone by the time a static would be.
    static QApplication* app = new QApplication(argc, argv);
    static_cast<void>(app);
    // File dialogs store their history in Qt's per-user settings; a test run
    // leaves the user's configuration folder alone.
    static const bool settingsAway = [] {
        KeepQtUserSettingsInMemory();
        return true;
    }();
    static_cast<void>(settingsAway);
}

AppRig::AppRig(const std::string& simOptions) {
    EnsureApp();
    std::string error;
    std::optional<sim::SimConfig> config = sim::ParseSimOptions(simOptions, error);
    EXPECT_TRUE(config.has_value()) << error;
    if (!config) config.emplace();
    config->timing = false;
    box = std::make_shared<sim::CSimBox>(*config, SystemClock());

    COrioleDlg::Options options;
    options.messages = &messages;
    options.iniPath = dir.filePath(QStringLiteral("ORIOLE.ini"));
    // No writer for the run: the settings' "auto", whose driver is the box.
    dlg = std::make_unique<COrioleDlg>(std::move(options));
    dlg->Core().SetDriver(std::make_unique<CSimDriver>(box));
    dlg->show();
    QApplication::processEvents();
}

AppRig::~AppRig() {
    // Whatever a test left running in the queue goes before the window.
    QApplication::processEvents();
}

void AppRig::ChooseDevice(const QString& name) {
    QComboBox* list = DeviceList();
    const int index = list->findText(name);
    ASSERT_GE(index, 0) << name.toStdString();
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void AppRig::AutoDetectOff() {
    messages.answers.push_back(Answer::Yes);
    Button(ctl_id::kAutoDetect)->click();
    ASSERT_FALSE(Model().IsChecked(ctl_id::kAutoDetect));
    messages.shown.clear();
}

std::string AppRig::WriteHex(const std::string& name, const std::vector<uint8_t>& bytes) {
    const QString path = dir.filePath(QString::fromStdString(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    const std::string text = WriteIntelHex(true, bytes.data(), static_cast<uint32_t>(bytes.size()));
    file.write(text.data(), static_cast<qint64>(text.size()));
    return path.toStdString();
}

void PostClick(QWidget* target) {
    const QPointF pos(6, target->height() / 2.0);
    const QPointF global = target->mapToGlobal(pos);
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, pos, global,
                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, pos, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

int ProgressWindowCount() {
    int n = 0;
    for (QWidget* w : QApplication::allWidgets())
        if (qobject_cast<CProgressDlg*>(w) != nullptr) ++n;
    return n;
}

}  // namespace oriole::test
