#include "views/MemoryViewDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QtMath>
#include <algorithm>

#include "image/ImageWriter.h"
#include "ops/MainWindowAdapter.h"
#include "ops/OrioleCore.h"
#include "res/Dialogs.h"
#include "res/Texts.h"
#include "views/FileFilters.h"
#include "views/FileSaveDlg.h"

namespace oriole {
namespace {

// The override cursor for as long as a command runs. The nested dialogs of a
// command (file choice) get the arrow back while they are open.
class CWaitCursor {
public:
    explicit CWaitCursor(bool on) : m_bOn(on) {
        if (m_bOn) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~CWaitCursor() {
        if (m_bOn) QApplication::restoreOverrideCursor();
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    template <typename Ask>
    auto Pause(Ask ask) {
        if (m_bOn) QApplication::restoreOverrideCursor();
        auto result = ask();
        if (m_bOn) QApplication::setOverrideCursor(Qt::WaitCursor);
        return result;
    }

private:
    bool m_bOn;
};

ScrollRequest RequestOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return ScrollRequest::LineUp;
        case QAbstractSlider::SliderSingleStepAdd:
            return ScrollRequest::LineDown;
        case QAbstractSlider::SliderPageStepSub:
            return ScrollRequest::PageUp;
        case QAbstractSlider::SliderPageStepAdd:
            return ScrollRequest::PageDown;
        case QAbstractSlider::SliderMove:
            return ScrollRequest::ThumbTrack;
        case QAbstractSlider::SliderToMinimum:
            return ScrollRequest::Top;
        case QAbstractSlider::SliderToMaximum:
            return ScrollRequest::Bottom;
        default:
            return ScrollRequest::EndScroll;
    }
}

bool FaceIsInstalled(const QString& face) {
    if (!QFontDatabase::families().contains(face, Qt::CaseInsensitive)) return false;
    // Asking for a family that is not there silently gives another one.
    return QFontInfo(QFont(face)).family().compare(face, Qt::CaseInsensitive) == 0;
}

}  // namespace

// clang-format off
constexpr MemoryViewDef kFlashViewDef{
    .dialog = &res::kFlashViewDialog,
    .layout = DumpLayout::Flash,
    .pathBox = 1031, .browseButton = 1048, .addressLabel = 1173,
    .writeButton = 1049, .verifyButton = 1047, .loadButton = 1056,
    .fileDump = 1034, .fileBar = 1033,
    .readButton = 1037, .saveButton = 1044, .saveAllBox = 1202,
    .deviceDump = 1032, .deviceBar = 1035,
    .mainFileBox = ctl_id::kFlashFile,
    .ext = &CMainSettings::m_strFlashExt,
    .saveName = &CMainSettings::m_strFlashSaveName,
    .saveFormat = &CMainSettings::m_nFlashSaveFormat,
    .saveAll = &CMainSettings::m_nFlashSaveAll,
    .filterDescription = text::kFlashFileFilter,
    .savedText = text::kFlashSaved,
    .saveFailedText = text::kFlashSaveFailed,
    .waitCursorOnOpen = true,
    .memory = Memory::Flash,
};

constexpr MemoryViewDef kEepromViewDef{
    .dialog = &res::kEepromViewDialog,
    .layout = DumpLayout::Eeprom,
    .pathBox = 1039, .browseButton = 1000, .addressLabel = 1175,
    .writeButton = 1001, .verifyButton = 1050, .loadButton = 1056,
    .fileDump = 1040, .fileBar = 1036,
    .readButton = 1043, .saveButton = 1045, .saveAllBox = 1203,
    .deviceDump = 1042, .deviceBar = 1041,
    .mainFileBox = ctl_id::kEepromFile,
    .ext = &CMainSettings::m_strEepromExt,
    .saveName = &CMainSettings::m_strEepromSaveName,
    .saveFormat = &CMainSettings::m_nEepromSaveFormat,
    .saveAll = &CMainSettings::m_nEepromSaveAll,
    .filterDescription = text::kEepromFileFilter,
    .savedText = text::kEepromSaved,
    .saveFailedText = text::kEepromSaveFailed,
    .waitCursorOnOpen = false,
    .memory = Memory::Eeprom,
};
// clang-format on

QFont ChooseDumpFont(int boxHeight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const char* face : {kDumpFace, kFallbackDumpFace}) {
        if (FaceIsInstalled(QString::fromUtf8(face))) {
            font = QFont(QString::fromUtf8(face));
            break;
        }
    }
    font.setFixedPitch(true);
    font.setStyleHint(QFont::Monospace);
    // The dumps were drawn for a face whose lines are as high as its pixel
    // size; the CJK faces are half as high again and would cut off the last
    // line of the page, so they step down until the page fits.
    for (int pixels = kDumpPixelHeight; pixels >= kMinDumpPixelHeight; --pixels) {
        font.setPixelSize(pixels);
        if ((kDumpPageLines + 1) * DumpLineHeight(font) <= boxHeight) break;
    }
    return font;
}

int DumpLineHeight(const QFont& font) {
    // A text box lays each line out at the face's ascent and descent, rounded up.
    return qCeil(QFontMetricsF(font).height());
}

CMemoryViewDlg::CMemoryViewDlg(const MemoryViewDef& def, CMainWindowAdapter& window,
                               CMainSettings& settings, QWidget* parent)
    : CResDialog(*def.dialog, parent), m_def(def), m_window(window), m_core(window.Core()), m_settings(settings) {
    m_busy.SetBusy(true);  // until the view has opened
    ConnectCommands();
}

void CMemoryViewDlg::showEvent(QShowEvent* event) {
    CResDialog::showEvent(event);
    // The rest of the opening runs as the view first shows, so that a file
    // that fails to load reports over the view.
    if (m_bOpened) return;
    m_bOpened = true;
    OnInitDialog();
}

void CMemoryViewDlg::OnInitDialog() {
    CWaitCursor cursor(m_def.waitCursorOnOpen);
    QPlainTextEdit* box = TextBox(m_def.deviceDump);
    const int margin = qCeil(box->document()->documentMargin());
    m_dumpFont = ChooseDumpFont(box->contentsRect().height() - 2 * margin);
    for (const int id : {m_def.addressLabel, m_def.fileDump, m_def.deviceDump})
        Control(id)->setFont(m_dumpFont);

    SetText(m_def.pathBox,
            QString::fromStdString(m_window.Controls().Text(m_def.mainFileBox)).trimmed());
    Show(m_def.saveButton, false);
    Enable(m_def.saveButton, false);
    SetChecked(m_def.saveAllBox, m_settings.*m_def.saveAll != 0);
    Enable(m_def.saveAllBox, false);
    m_fileLines.clear();
    m_deviceLines.clear();
    Enable(m_def.fileBar, false);
    Enable(m_def.deviceBar, false);
    if (!PathBoxText().isEmpty()) static_cast<void>(LoadFileView());
    Show(m_def.saveButton, true);
    m_busy.SetBusy(false);
}

void CMemoryViewDlg::ConnectCommands() {
    struct Command {
        int MemoryViewDef::*id;
        void (CMemoryViewDlg::*handler)();
    };
    static constexpr Command kCommands[] = {
        {&MemoryViewDef::browseButton, &CMemoryViewDlg::OnBrowse},
        {&MemoryViewDef::loadButton, &CMemoryViewDlg::OnLoadFile},
        {&MemoryViewDef::writeButton, &CMemoryViewDlg::OnWriteFile},
        {&MemoryViewDef::verifyButton, &CMemoryViewDlg::OnVerifyFile},
        {&MemoryViewDef::readButton, &CMemoryViewDlg::OnReadDevice},
        {&MemoryViewDef::saveButton, &CMemoryViewDlg::OnSaveToFile},
    };
    for (const Command& c : kCommands)
        connect(Button(m_def.*c.id), &QAbstractButton::clicked, this,
                [this, c] { (this->*c.handler)(); });
    for (const int id : {m_def.fileBar, m_def.deviceBar}) {
        QScrollBar* bar = ScrollBar(id);
        bar->setSingleStep(1);
        bar->setPageStep(kDumpPageLines);
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, bar](int action) { OnScroll(bar, action); });
    }
}

template <typename Action>
void CMemoryViewDlg::RunGuarded(bool waitCursor, Action action) {
    // The view's own cursor, which a question in the middle can lift.
    static_cast<void>(m_busy.Run([&] {
        CWaitCursor cursor(waitCursor);
        action(cursor);
    }));
}

QString CMemoryViewDlg::PathBoxText() const {
    return Text(m_def.pathBox).trimmed();
}

QString CMemoryViewDlg::Filter() const {
    return DataFileFilter(m_def.filterDescription, m_settings.*m_def.ext);
}

void CMemoryViewDlg::CopyPathToMainWindow() {
    m_window.Controls().SetText(m_def.mainFileBox, PathBoxText().toStdString());
}

bool CMemoryViewDlg::LoadFileView() {
    FileDump dump;
    const ImageSpace space =
        m_def.layout == DumpLayout::Eeprom ? ImageSpace::Eeprom : ImageSpace::Flash;
    if (!LoadFileDump(m_core.Host(), PathBoxText(), m_def.layout, dump, space)) return false;
    SetText(m_def.addressLabel, dump.label);
    m_fileLines = std::move(dump.lines);
    ShowDump(m_def.fileDump, m_def.fileBar, m_fileLines);
    return true;
}

bool CMemoryViewDlg::ReadDeviceView() {
    if (!m_window.ReadMemory(m_def.memory, m_deviceBytes)) return false;
    m_deviceLines = FormatDumpLines(m_deviceBytes, m_def.layout);
    ShowDump(m_def.deviceDump, m_def.deviceBar, m_deviceLines);
    return true;
}

void CMemoryViewDlg::ShowDump(int boxId, int barId, const QStringList& lines) {
    TextBox(boxId)->setPlainText(RenderDumpWindow(m_def.layout, lines, 0));
    // The bar's range stops where the last page is full, as the platform's
    // bars do with a page size: 0 ... line count - 9.
    QScrollBar* bar = ScrollBar(barId);
    bar->setRange(0, std::max<int>(0, static_cast<int>(lines.size()) - kDumpPageLines));
    bar->setValue(0);
    bar->setEnabled(true);
}

void CMemoryViewDlg::OnScroll(QScrollBar* bar, int action) {
    if (action == QAbstractSlider::SliderNoAction) return;
    const bool fileBar = bar == ScrollBar(m_def.fileBar);
    const QStringList& lines = fileBar ? m_fileLines : m_deviceLines;
    const int maximum = static_cast<int>(lines.size()) - 1;
    // The bar has already moved its slider by its own rules; ours decide.
    const int position = ScrollDumpPosition(RequestOf(action), bar->value(), maximum,
                                            kDumpPageLines, bar->sliderPosition());
    bar->setSliderPosition(position);
    if (lines.isEmpty()) return;
    TextBox(fileBar ? m_def.fileDump : m_def.deviceDump)
        ->setPlainText(RenderDumpWindow(m_def.layout, lines, bar->sliderPosition()));
}

void CMemoryViewDlg::OnBrowse() {
    RunGuarded(false, [this](CWaitCursor&) {
        const QString current = PathBoxText();
        QFileDialog dialog(
            this, QString(),
            current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath());
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setNameFilters(NameFiltersFromPipeList(Filter()));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        SetText(m_def.pathBox, QDir::toNativeSeparators(dialog.selectedFiles().first()));
        m_fileLines.clear();
        if (!LoadFileView()) return;
        Enable(m_def.writeButton, true);
        Enable(m_def.verifyButton, true);
        CopyPathToMainWindow();
    });
}

void CMemoryViewDlg::OnLoadFile() {
    RunGuarded(true, [this](CWaitCursor&) {
        m_fileLines.clear();
        if (!LoadFileView()) return;
        Enable(m_def.writeButton, true);
        Enable(m_def.verifyButton, true);
        CopyPathToMainWindow();
    });
}

void CMemoryViewDlg::LoadThenRun(bool write) {
    RunGuarded(true, [this, write](CWaitCursor&) {
        const std::string path = PathBoxText().toStdString();
        m_fileLines.clear();
        if (!LoadFileView()) return;
        static_cast<void>(write ? m_window.WriteFile(m_def.memory, path) : m_window.VerifyFile(m_def.memory, path));
    });
}

void CMemoryViewDlg::OnWriteFile() {
    LoadThenRun(true);
}

void CMemoryViewDlg::OnVerifyFile() {
    LoadThenRun(false);
}

void CMemoryViewDlg::OnReadDevice() {
    RunGuarded(true, [this](CWaitCursor&) {
        m_deviceLines.clear();
        const bool read = ReadDeviceView();
        Enable(m_def.saveButton, read);
        Enable(m_def.saveAllBox, read);
    });
}

void CMemoryViewDlg::OnSaveToFile() {
    RunGuarded(true, [this](CWaitCursor& cursor) {
        // What is saved is the device as it is now, not the dump on show.
        bool saved = m_window.ReadMemory(m_def.memory, m_deviceBytes);
        if (saved) {
            int format = m_settings.*m_def.saveFormat;
            QString path;
            const QString filter =
                DataFileFilter(m_def.filterDescription, m_settings.*m_def.ext, true);
            const bool chosen = cursor.Pause([&] {
                return AskSavePath(this, filter, m_settings.*m_def.saveName, format, path);
            });
            if (!chosen) return;
            path = QDir::toNativeSeparators(path);
            m_settings.*m_def.saveFormat = format;
            saved = SaveImageFile(m_core.Host(), path, SaveFormatOfCode(format), IsChecked(m_def.saveAllBox),
                                  m_deviceBytes.data(), static_cast<uint32_t>(m_deviceBytes.size()));
            m_settings.*m_def.saveName = path;
        }
        m_core.Host().ShowMessage(saved ? MsgKind::Information : MsgKind::Warning,
                                  saved ? m_def.savedText : m_def.saveFailedText);
    });
}

void CMemoryViewDlg::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a command would hide the view under a running
    // transfer and leave the command to carry on (a save would still ask for
    // its file); the close box works again once the command is over.
    if (m_busy.IsBusy()) {
        event->ignore();
        return;
    }
    m_busy.SetBusy(true);
    CWaitCursor cursor(true);
    m_fileLines.clear();
    m_deviceLines.clear();
    m_deviceBytes.clear();
    m_settings.*m_def.saveAll = IsChecked(m_def.saveAllBox) ? 1 : 0;
    event->accept();
    done(0);
}

}  // namespace oriole
