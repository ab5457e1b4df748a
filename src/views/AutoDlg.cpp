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

constexpr uint32_t kOnlyErase = quiet::kErase;
constexpr uint32_t kEveryStep = 0x7FF;

// The steps after the erase, in the order they run. A step whose box is
// ticked runs; the fuse, lock and calibration steps also need their box
// enabled, which it is when the main window's write button for that group
// is. Path: the box the step's file name is read from when it starts.
struct Step {
    int box;
    uint32_t bit;  // in the step mask and in m_nQuietFlags alike
    const char* log;
    bool needsEnabled;
    int path;  // 0: none
    bool (*run)(COrioleCore& core, const std::string& path, bool bTiming);
};

// clang-format off
constexpr Step kSteps[] = {
    {1059, quiet::kWriteFlash, text::kBatchFlashWrite, false, kFlashPath,
     [](COrioleCore& c, const std::string& p, bool t) { return c.WriteFlash(p, t, false); }},
    {1060, quiet::kVerifyFlash, text::kBatchFlashVerify, false, kFlashPath,
     [](COrioleCore& c, const std::string& p, bool t) { return c.VerifyFlash(p, t); }},
    {1061, quiet::kWriteEeprom, text::kBatchEepromWrite, false, kEepromPath,
     [](COrioleCore& c, const std::string& p, bool t) { return c.WriteEeprom(p, t, false); }},
    {1062, quiet::kVerifyEeprom, text::kBatchEepromVerify, false, kEepromPath,
     [](COrioleCore& c, const std::string& p, bool t) { return c.VerifyEeprom(p, t); }},
    {1063, quiet::kWriteFuses, text::kBatchFuseWrite, true, 0,
     [](COrioleCore& c, const std::string&, bool t) { return c.WriteWindowFuses(t); }},
    {1064, quiet::kVerifyFuses, text::kBatchFuseVerify, true, 0,
     [](COrioleCore& c, const std::string&, bool t) { return c.VerifyWindowFuses(t); }},
    // The lock write always sends the timing: it begins with flag 1 itself.
    {1065, quiet::kWriteLock, text::kBatchLockWrite, true, 0,
     [](COrioleCore& c, const std::string&, bool) { return c.WriteWindowLockBits(); }},
    {1066, quiet::kVerifyLock, text::kBatchLockVerify, true, 0,
     [](COrioleCore& c, const std::string&, bool t) { return c.VerifyWindowLockBits(t); }},
    {1109, quiet::kWriteCalibration, text::kBatchCalibWrite, true, 0,
     [](COrioleCore& c, const std::string&, bool t) { return c.WriteCalibration(t); }},
    {1158, quiet::kVerifyCalibration, text::kBatchCalibVerify, true, 0,
     [](COrioleCore& c, const std::string&, bool t) { return c.VerifyCalibration(t); }},
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
    {1059, 1060, kFlashPath, kFlashBrowse, 0}, {1061, 1062, kEepromPath, kEepromBrowse, 0},
    {1063, 1064, 0, 0, ctl_id::kFuseWrite},    {1065, 1066, 0, 0, ctl_id::kLockWrite},
    {1109, 1158, 0, 0, ctl_id::kCalibWrite},
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

CAutoDlg::CAutoDlg(COrioleCore& core, uint32_t& autoCheck, Options options, QWidget* parent)
    : CResDialog(res::kBatchDialog, parent),
      m_core(core),
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
    const CMainControls& main = m_core.m_controls;
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
    if (m_bRunning) return;
    m_bRunning = true;
    RunBatch();
    m_bRunning = false;
}

void CAutoDlg::RunBatch() {
    m_strLog.clear();
    m_core.m_nQuietFlags = 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool r = true;
    if (IsChecked(kEraseBox)) {
        AppendLog(text::kBatchErase);
        m_core.m_nQuietFlags |= quiet::kErase;
        r = m_core.EraseDevice();
        AppendResult(r);
    }
    // The writer keeps the timing it was last given: the erase sent it, the
    // first step after it sends it again, the later ones rely on it.
    bool timing = true;
    for (const Step& s : kSteps) {
        if (!r) break;
        // Boxes are read as each step starts; clicks during the run count.
        if (!IsChecked(s.box) || (s.needsEnabled && !IsEnabled(s.box))) continue;
        AppendLog(s.log);
        m_core.m_nQuietFlags |= s.bit;
        const std::string path = s.path != 0 ? Text(s.path).toStdString() : std::string();
        r = s.run(m_core, path, timing);
        AppendResult(r);
        timing = false;
    }
    QApplication::restoreOverrideCursor();
    m_core.m_nQuietFlags = 0;
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
    m_nAutoCheck = m_bAllOn != 0 ? kEveryStep : kOnlyErase;
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
    CMainControls& main = m_core.m_controls;
    main.SetText(ctl_id::kFlashFile, Text(kFlashPath).toStdString());
    main.SetText(ctl_id::kEepromFile, Text(kEepromPath).toStdString());
    QDialog::done(0);
}

void CAutoDlg::closeEvent(QCloseEvent* event) {
    event->accept();
    OnReturn();
}

}  // namespace oriole
