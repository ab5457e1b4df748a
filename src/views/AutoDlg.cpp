#include "views/AutoDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <iterator>
#include <vector>

#include "ops/BatchRunner.h"
#include "res/Dialogs.h"
#include "res/Texts.h"
#include "views/FileFilters.h"

namespace oriole {
namespace {

// Controls of resource 134 that are not steps.
constexpr int kEraseBox = 1058;
constexpr int kToggleButton = 1057;
constexpr int kFlashPath = 1070;
constexpr int kFlashBrowse = 1073;
constexpr int kEepromPath = 1071;
constexpr int kEepromBrowse = 1072;
constexpr int kStartButton = 1056;
constexpr int kReturnButton = 1069;
constexpr int kLogBox = 1067;

// The step boxes.
constexpr int kFlashWriteBox = 1059;
constexpr int kFlashVerifyBox = 1060;
constexpr int kEepromWriteBox = 1061;
constexpr int kEepromVerifyBox = 1062;
constexpr int kFuseWriteBox = 1063;
constexpr int kFuseVerifyBox = 1064;
constexpr int kLockWriteBox = 1065;
constexpr int kLockVerifyBox = 1066;
constexpr int kCalibWriteBox = 1109;
constexpr int kCalibVerifyBox = 1158;

constexpr uint32_t kOnlyErase = step_bit::kErase;

// The steps after the erase, in the order they run. A step whose box is
// ticked runs; the fuse, lock and calibration steps also need their box
// enabled, which it is when the main window's write button for that group
// is. Path: the box the step's file name is read from when it starts.
struct Step {
    int box;
    uint32_t bit;  // in the step mask
    const char* log;
    bool needsEnabled;
    int path;  // 0: none
    bool (*run)(CMainWindowAdapter& window, const std::string& path, const OpOptions& options);
};

// clang-format off
constexpr Step kSteps[] = {
    {kFlashWriteBox, step_bit::kWriteFlash, text::kBatchFlashWrite, false, kFlashPath,
     [](CMainWindowAdapter& w, const std::string& p, const OpOptions& o) { return w.Core().WriteFlash(p, o); }},
    {kFlashVerifyBox, step_bit::kVerifyFlash, text::kBatchFlashVerify, false, kFlashPath,
     [](CMainWindowAdapter& w, const std::string& p, const OpOptions& o) { return w.Core().VerifyFlash(p, o); }},
    {kEepromWriteBox, step_bit::kWriteEeprom, text::kBatchEepromWrite, false, kEepromPath,
     [](CMainWindowAdapter& w, const std::string& p, const OpOptions& o) { return w.Core().WriteEeprom(p, o); }},
    {kEepromVerifyBox, step_bit::kVerifyEeprom, text::kBatchEepromVerify, false, kEepromPath,
     [](CMainWindowAdapter& w, const std::string& p, const OpOptions& o) { return w.Core().VerifyEeprom(p, o); }},
    {kFuseWriteBox, step_bit::kWriteFuses, text::kBatchFuseWrite, true, 0,
     [](CMainWindowAdapter& w, const std::string&, const OpOptions& o) { return w.WriteFuses(o); }},
    {kFuseVerifyBox, step_bit::kVerifyFuses, text::kBatchFuseVerify, true, 0,
     [](CMainWindowAdapter& w, const std::string&, const OpOptions& o) { return w.VerifyFuses(o); }},
    // The lock write always sends the timing: it begins with flag 1 itself.
    {kLockWriteBox, step_bit::kWriteLock, text::kBatchLockWrite, true, 0,
     [](CMainWindowAdapter& w, const std::string&, const OpOptions&) { return w.WriteLockBits(Quietly(true)); }},
    {kLockVerifyBox, step_bit::kVerifyLock, text::kBatchLockVerify, true, 0,
     [](CMainWindowAdapter& w, const std::string&, const OpOptions& o) { return w.VerifyLockBits(o); }},
    {kCalibWriteBox, step_bit::kWriteCalibration, text::kBatchCalibWrite, true, 0,
     [](CMainWindowAdapter& w, const std::string&, const OpOptions& o) { return w.WriteCalibration(o); }},
    {kCalibVerifyBox, step_bit::kVerifyCalibration, text::kBatchCalibVerify, true, 0,
     [](CMainWindowAdapter& w, const std::string&, const OpOptions& o) { return w.VerifyCalibration(o); }},
};
// clang-format on

// The steps in pairs of write and verify. The path box and browse button of
// a file pair are enabled while either box is ticked; the boxes of the
// other pairs are enabled when the main window's write button of that group
// is (0: always).
struct StepPair {
    int write;
    int verify;
    int path;  // 0: none
    int browse;
    int mainButton;  // 0: none
};
constexpr StepPair kPairs[] = {
    {kFlashWriteBox, kFlashVerifyBox, kFlashPath, kFlashBrowse, 0},
    {kEepromWriteBox, kEepromVerifyBox, kEepromPath, kEepromBrowse, 0},
    {kFuseWriteBox, kFuseVerifyBox, 0, 0, ctl_id::kFuseWrite},
    {kLockWriteBox, kLockVerifyBox, 0, 0, ctl_id::kLockWrite},
    {kCalibWriteBox, kCalibVerifyBox, 0, 0, ctl_id::kCalibWrite},
};

const Step* FindStep(int box) {
    for (const Step& s : kSteps)
        if (s.box == box) return &s;
    return nullptr;
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ChooseWithDialog(QWidget* parent, const QString& folder, const QStringList& filters) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

CAutoDlg::CAutoDlg(CMainWindowAdapter& window, uint32_t& autoCheck, Options options, QWidget* parent)
    : CResDialog(res::kBatchDialog, parent),
      m_window(window),
      m_nAutoCheck(autoCheck),
      m_options(std::move(options)) {
    if (!m_options.chooseFile) m_options.chooseFile = ChooseWithDialog;
    connect(Button(kStartButton), &QAbstractButton::clicked, this, &CAutoDlg::OnStart);
    connect(Button(kToggleButton), &QAbstractButton::clicked, this, &CAutoDlg::OnToggleAll);
    connect(Button(kReturnButton), &QAbstractButton::clicked, this, &CAutoDlg::OnReturn);
    connect(Button(kFlashBrowse), &QAbstractButton::clicked, this,
            [this] { Browse(kFlashPath, text::kFlashFileFilter, m_options.flashExt); });
    connect(Button(kEepromBrowse), &QAbstractButton::clicked, this,
            [this] { Browse(kEepromPath, text::kEepromFileFilter, m_options.eepromExt); });
    connect(Button(kEraseBox), &QAbstractButton::clicked, this, [this] { OnStepBox(kEraseBox); });
    for (const Step& s : kSteps)
        connect(Button(s.box), &QAbstractButton::clicked, this,
                [this, id = s.box] { OnStepBox(id); });
    OnInitDialog();
}

void CAutoDlg::OnInitDialog() {
    for (const Step& s : kSteps) SetChecked(s.box, (m_nAutoCheck & s.bit) != 0);
    const CMainControls& main = m_window.Controls();
    const std::pair<int, int> paths[] = {{kFlashPath, ctl_id::kFlashFile},
                                         {kEepromPath, ctl_id::kEepromFile}};
    for (const auto& [box, mainBox] : paths) {
        QLineEdit* edit = LineEdit(box);
        edit->setText(FromUtf8(main.Text(mainBox)));
        // Selected from the end back to the second character, the caret at
        // the start, so that the beginning of a long path is what shows.
        const auto length = static_cast<int>(edit->text().size());
        if (length > 0) edit->setSelection(length, 1 - length);
    }
    for (size_t i = 0; i < std::size(kPairs); ++i) {
        ApplyPairRule(i);
        const StepPair& p = kPairs[i];
        if (p.mainButton == 0) continue;
        const bool enabled = main.IsEnabled(p.mainButton);
        Enable(p.write, enabled);
        Enable(p.verify, enabled);
    }
    SetChecked(kEraseBox, true);
    m_bAllOn = 0;
}

void CAutoDlg::OnStart() {
    // The operations let clicks through while they wait for the writer; a
    // second run started from inside the first would open the writer link
    // again in the middle of the running transfer.
    static_cast<void>(m_busy.Run([this] { RunBatch(); }));
}

void CAutoDlg::RunBatch() {
    m_strLog.clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<BatchStep> steps;
    // The erase is always ticked; the writer keeps the timing it was last
    // given, so the step after it still sends the timing.
    if (IsChecked(kEraseBox))
        steps.push_back({.log = text::kBatchErase,
                         .run = [this](const OpOptions& o) { return m_window.Core().EraseDevice(o); },
                         .keepsFirst = true});
    for (const Step& s : kSteps) {
        steps.push_back({.log = s.log,
                         // Boxes are read as each step starts; clicks during the run count.
                         .wanted = [this, &s] { return IsChecked(s.box) && (!s.needsEnabled || IsEnabled(s.box)); },
                         .run = [this, &s](const OpOptions& o) {
                             const std::string path = s.path != 0 ? Text(s.path).toStdString() : std::string();
                             return s.run(m_window, path, o);
                         }});
    }
    static_cast<void>(oriole::RunBatch(steps, Quietly(true),
                                       {.onStart = [this](const BatchStep& step) { AppendLog(step.log); },
                                        .onEnd = [this](const BatchStep&, bool ok) { AppendResult(ok); }}));
    QApplication::restoreOverrideCursor();
}

void CAutoDlg::AppendLog(const char* text) {
    m_strLog += QString::fromUtf8(text);
    // The box breaks lines at LF; the log keeps its CR LF.
    QString shown = m_strLog;
    shown.remove(QLatin1Char('\r'));
    TextBox(kLogBox)->setPlainText(shown);
}

void CAutoDlg::AppendResult(bool r) {
    AppendLog(r ? text::kBatchOk : text::kBatchError);
}

void CAutoDlg::OnStepBox(int id) {
    if (id == kEraseBox) {
        SetChecked(kEraseBox, true);  // the erase cannot be left out
        return;
    }
    for (size_t i = 0; i < std::size(kPairs); ++i)
        if (id == kPairs[i].write || id == kPairs[i].verify) ApplyPairRule(i);
}

void CAutoDlg::ApplyPairRule(size_t index) {
    const StepPair& pair = kPairs[index];
    // Only this pair's bits change.
    for (const int box : {pair.write, pair.verify}) {
        const uint32_t bit = FindStep(box)->bit;
        m_nAutoCheck = IsChecked(box) ? (m_nAutoCheck | bit) : (m_nAutoCheck & ~bit);
    }
    if (pair.path == 0) return;
    const bool either = IsChecked(pair.write) || IsChecked(pair.verify);
    Enable(pair.path, either);
    Enable(pair.browse, either);
}

void CAutoDlg::OnToggleAll() {
    m_bAllOn = m_bAllOn != 0 ? 0 : 1;
    m_nAutoCheck = m_bAllOn != 0 ? step_bit::kEvery : kOnlyErase;
    SetText(kToggleButton,
            QString::fromUtf8(m_bAllOn != 0 ? text::kBatchAllOff : text::kBatchAllOn));
    // Disabled boxes too: the mask says every step.
    for (const Step& s : kSteps) SetChecked(s.box, m_bAllOn != 0);
    for (size_t i = 0; i < std::size(kPairs); ++i) ApplyPairRule(i);
}

void CAutoDlg::Browse(int editId, const char* description, const QString& patterns) {
    const QString filter = DataFileFilter(description, patterns);
    const QString current = Text(editId);
    // The folder of the file named in the box, else the user's home folder.
    const QString folder = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    const QString chosen = m_options.chooseFile(this, folder, NameFiltersFromPipeList(filter));
    // Nothing is loaded and the main window learns the path only on return.
    if (!chosen.isEmpty()) SetText(editId, QDir::toNativeSeparators(chosen));
}

void CAutoDlg::OnReturn() {
    CMainControls& main = m_window.Controls();
    main.SetText(ctl_id::kFlashFile, Text(kFlashPath).toStdString());
    main.SetText(ctl_id::kEepromFile, Text(kEepromPath).toStdString());
    QDialog::done(0);
}

void CAutoDlg::closeEvent(QCloseEvent* event) {
    event->accept();
    OnReturn();
}

}  // namespace oriole
