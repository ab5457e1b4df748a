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

#include "ops/Job.h"
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

// The step boxes after the erase, by their bit in the step mask. A step
// whose box is ticked runs; the fuse, lock and calibration steps also need
// their box enabled, which it is when the main window's write button for
// that group is.
struct Step {
    int box;
    uint32_t bit;  // in the step mask
};

constexpr Step kSteps[] = {
    {kFlashWriteBox, step_bit::kWriteFlash},         {kFlashVerifyBox, step_bit::kVerifyFlash},
    {kEepromWriteBox, step_bit::kWriteEeprom},       {kEepromVerifyBox, step_bit::kVerifyEeprom},
    {kFuseWriteBox, step_bit::kWriteFuses},          {kFuseVerifyBox, step_bit::kVerifyFuses},
    {kLockWriteBox, step_bit::kWriteLock},           {kLockVerifyBox, step_bit::kVerifyLock},
    {kCalibWriteBox, step_bit::kWriteCalibration},   {kCalibVerifyBox, step_bit::kVerifyCalibration},
};

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

int BoxOfBit(uint32_t bit) {
    if (bit == step_bit::kErase) return kEraseBox;
    for (const Step& s : kSteps)
        if (s.bit == bit) return s.box;
    return 0;
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
    // Every step the dialog can run is in the job; the boxes are read as each
    // step's turn comes, so a box ticked during the run counts.
    BatchSettings settings;
    if (!m_window.BatchSettingsOf(step_bit::kEvery & ~CalibBitsUnlessTicked(), Text(kFlashPath).toStdString(),
                                  Text(kEepromPath).toStdString(), IsEnabled(kFuseWriteBox),
                                  IsEnabled(kLockWriteBox), IsEnabled(kCalibWriteBox), settings))
        return;
    Job job = BatchJob(settings);
    JobEvents events;
    events.wanted = [this](const JobStep& step) {
        const int box = BoxOfBit(InfoOf(step.kind).bit);
        return box != 0 && IsChecked(box) && IsEnabled(box);
    };
    events.onStart = [this](const JobStep& step) { AppendLog(InfoOf(step.kind).log); };
    events.onEnd = [this](const JobStep&, bool ok) { AppendResult(ok); };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    static_cast<void>(RunJob(m_window.Core(), job, events));
    QApplication::restoreOverrideCursor();
}

// The calibration steps need the window's values; unless one of their boxes
// is ticked, they are left out and their values not asked for.
uint32_t CAutoDlg::CalibBitsUnlessTicked() const {
    const bool ticked = IsChecked(kCalibWriteBox) || IsChecked(kCalibVerifyBox);
    return ticked ? 0 : (step_bit::kWriteCalibration | step_bit::kVerifyCalibration);
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
    SetText(kToggleButton,
            QString::fromUtf8(m_bAllOn != 0 ? text::kBatchAllOff : text::kBatchAllOn));
    // "On" ticks the steps that can run: a disabled box ticked would show a
    // step that the run skips. "Off" clears them all.
    for (const Step& s : kSteps)
        if (m_bAllOn == 0 || IsEnabled(s.box)) SetChecked(s.box, m_bAllOn != 0);
    // The mask says what the boxes show.
    m_nAutoCheck = kOnlyErase;
    for (const Step& s : kSteps)
        if (IsChecked(s.box)) m_nAutoCheck |= s.bit;
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
