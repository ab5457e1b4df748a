// The main window: start-up and shut-down, the About box, the
// host the core runs in, and the mirror of the control model.
#include "app/OrioleDlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalBlocker>
#include <thread>

#include "app/AppLook.h"
#include "app/MessageBoxHost.h"
#include "app/ProgressDlg.h"
#include "base/FormatText.h"
#include "ops/DeviceList.h"
#include "res/Dialogs.h"
#include "res/Texts.h"

namespace oriole {
namespace {

constexpr char kIniName[] = "ORIOLE.ini";

// Labels whose text the core sets; the others keep the resource's.
constexpr int kModelLabels[] = {ctl_id::kCalibMemory};

bool IsModelLabel(int id) {
    return std::find(std::begin(kModelLabels), std::end(kModelLabels), id) != std::end(kModelLabels);
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

COrioleDlg::COrioleDlg(Options options, QWidget* parent)
    : CResDialog(res::kMainDialog, parent), m_options(std::move(options)), m_core(*this) {
    if (m_options.messages != nullptr) {
        m_pMessages = m_options.messages;
    } else {
        m_pOwnMessages = std::make_unique<CMessageBoxHost>(this);
        m_pMessages = m_pOwnMessages.get();
    }
    m_pSettings = m_options.makeSettings ? m_options.makeSettings(m_window) : CreateSettingsPort(m_window);
    ConnectControls();
    ConnectCommands();
    OnInitDialog();
}

COrioleDlg::~COrioleDlg() { m_window.Controls().onChanged = nullptr; }

// --- Start-up and shut-down ---

void COrioleDlg::OnInitDialog() {
    // The platform's system menu is not ours to extend; the About entry is
    // in the window's context menu.
    m_pAboutAction = new QAction(QString::fromUtf8(text::kAboutMenu), this);
    connect(m_pAboutAction, &QAction::triggered, this, &COrioleDlg::OnAbout);
    addAction(m_pAboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setWindowIcon(AppIcon());
    SetLogo();
    // Read-only fields in the window's colour, as the classic look draws
    // them, so that they do not look like boxes to type into.
    for (const Entry& e : All()) {
        auto* edit = qobject_cast<QLineEdit*>(e.widget);
        if (edit == nullptr || !edit->isReadOnly()) continue;
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }

    m_strIniPath =
        m_options.iniPath.isEmpty() ? QDir::current().filePath(QString::fromLatin1(kIniName)) : m_options.iniPath;
    setWindowTitle(QString::fromUtf8(res::kMainDialog.caption) + ArchitectureSuffix());

    m_core.ForgetMemories();
    m_core.SelectDevice(0);
    m_core.LinkState().m_nSysFreq = 0;
    m_pCurrentDlg = this;

    FillDeviceList();
    // The fields are read-only by the resource, and the model starts with
    // the write buttons and verify boxes of the fuse, lock and calibration
    // groups disabled and the address label's text set.
    RedrawAll();

    m_pSettings->LoadSettings(m_strIniPath, false);
    UseRunWriter();
    m_window.OnSelectDevice();
    m_window.Controls().SetCheck(ctl_id::kAutoDetect, true);

    m_busy.SetBusy(false);
    m_core.LinkState().m_nTimeoutTicks = 0;
    m_core.LinkState().m_nAbort = 0;
}

void COrioleDlg::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a command would save the settings and free
    // the images under the running transfer; the close box works again once
    // the command is over.
    if (m_busy.IsBusy()) {
        event->ignore();
        return;
    }
    OnClose();
    event->accept();
}

void COrioleDlg::OnClose() {
    UseSettingsWriter();
    m_pSettings->SaveSettings(m_strIniPath, false);
    m_core.ForgetMemories();
    QDialog::done(0);
}

// The settings' writer comes only from the settings binding, which keeps
// to what a file may hold; the run's writer is the user's own --writer.
void COrioleDlg::UseSettingsWriter() {
    if (!m_options.writerSpec.empty())
        m_core.SetWriterSpec(m_strSettingsWriter, WriterSpecSource::SettingsFile);
}

void COrioleDlg::UseRunWriter() {
    if (m_options.writerSpec.empty()) return;
    m_strSettingsWriter = m_core.WriterSpec();
    m_core.SetWriterSpec(m_options.writerSpec, WriterSpecSource::User);
}

QString COrioleDlg::AboutText() const {
    return FromUtf8(FormatText(text::kAboutText, ORIOLE_VERSION, m_core.WriterSpec().c_str()));
}

void COrioleDlg::OnAbout() {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(text::kAboutTitle), AboutText(),
                    QMessageBox::Ok, this);
    box.setIconPixmap(AppIcon().pixmap(48, 48));
    box.exec();
}

void COrioleDlg::SetLogo() {
    for (const Entry& e : All()) {
        if (e.def->kind != res::Kind::Picture) continue;
        auto* label = static_cast<QLabel*>(e.widget);
        label->setPixmap(LogoPixmap(label->size()));
    }
}

QWidget* COrioleDlg::CurrentDlg() const {
    return m_pCurrentDlg ? m_pCurrentDlg.data() : const_cast<COrioleDlg*>(this);
}

// --- The host of the core ---

Answer COrioleDlg::ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) {
    return m_pMessages->ShowMessage(kind, text, defaultAnswer);
}

void COrioleDlg::PumpOneMessage() {
    // One round of whatever is pending (a click on Cancel, a repaint); never
    // waits for more.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void COrioleDlg::Sleep(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }

void COrioleDlg::ShowWaitCursor() {
    if (QApplication::overrideCursor() != nullptr) QApplication::changeOverrideCursor(Qt::WaitCursor);
}

std::unique_ptr<IProgress> COrioleDlg::CreateProgressDlg(int32_t lower, int32_t upper,
                                                         std::string_view caption,
                                                         std::string_view message, int32_t& abort) {
    auto* dlg = new CProgressDlg(CurrentDlg(), abort);
    dlg->setWindowTitle(FromUtf8(caption));
    dlg->SetRange(lower, upper);
    dlg->SetMessage(FromUtf8(message));
    dlg->show();
    return std::make_unique<CProgressHandle>(dlg);
}

// --- The control model, both ways ---

void COrioleDlg::FillDeviceList() {
    QComboBox* list = ComboBox(ctl_id::kDeviceList);
    const QSignalBlocker quiet(list);
    list->clear();
    // "(auto)" and the devices, each with its catalogue row as item data,
    // in the order the settings' LastAVR lookup walks them.
    for (const int row : DeviceListRows()) AddListItem(ctl_id::kDeviceList, DeviceListText(row), row);
    list->setCurrentIndex(0);
}

void COrioleDlg::ConnectControls() {
    m_window.Controls().onChanged = [this](int id) { RedrawControl(id); };
    CMainControls& model = m_window.Controls();
    for (const Entry& e : All()) {
        const int id = e.def->id;
        if (id == res::kNoId) continue;
        if (auto* edit = qobject_cast<QLineEdit*>(e.widget)) {
            connect(edit, &QLineEdit::textEdited, this,
                    [&model, id](const QString& text) { model.SetText(id, text.toStdString()); });
        } else if (auto* box = qobject_cast<QCheckBox*>(e.widget)) {
            connect(box, &QCheckBox::clicked, this, [this, id](bool checked) {
                switch (id) {
                    case ctl_id::kAutoDetect: OnAutoDetect(checked); break;
                    case ctl_id::kFlashVerify:
                    case ctl_id::kEepromVerify:
                    case ctl_id::kFuseVerify:
                    case ctl_id::kLockVerify: OnVerifyBoxClicked(id, checked); break;
                    default: m_window.Controls().SetCheck(id, checked); break;
                }
            });
        }
    }
    connect(ComboBox(ctl_id::kDeviceList), &QComboBox::activated, this, &COrioleDlg::OnDeviceActivated);
}

void COrioleDlg::RedrawControl(int id) {
    const CMainControls& model = m_window.Controls();
    if (id == ctl_id::kDeviceList) {
        QComboBox* list = ComboBox(id);
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(list->findData(model.ListSelection()));
    }
    QWidget* widget = Control(id);
    if (widget == nullptr) return;
    widget->setEnabled(model.IsEnabled(id));
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        const QString text = QString::fromStdString(model.Text(id));
        // Setting the same text again would move the caret of a user typing.
        if (edit->text() != text) edit->setText(text);
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        box->setChecked(model.IsChecked(id));
    } else if (auto* label = qobject_cast<QLabel*>(widget); label && IsModelLabel(id)) {
        label->setText(QString::fromStdString(model.Text(id)));
    }
}

void COrioleDlg::RedrawAll() {
    for (const Entry& e : All())
        if (e.def->id != res::kNoId) RedrawControl(e.def->id);
}

// --- Device selection ---

void COrioleDlg::OnDeviceActivated(int index) {
    m_window.Controls().SelectListRow(ComboBox(ctl_id::kDeviceList)->itemData(index).toInt());
    m_window.OnSelectDevice();
}

void COrioleDlg::OnAutoDetect(bool checked) {
    m_window.Controls().SetCheck(ctl_id::kAutoDetect, checked);
    if (checked) return;
    if (ShowMessage(MsgKind::Question, text::kAutoDetectOff, Answer::No) != Answer::Yes)
        m_window.Controls().SetCheck(ctl_id::kAutoDetect, true);
}

void COrioleDlg::OnVerifyBoxClicked(int id, bool checked) {
    // A running command reads its verify box only when it gets there: the
    // click is undone until the command is over.
    if (m_busy.IsBusy()) {
        RedrawControl(id);
        return;
    }
    m_window.Controls().SetCheck(id, checked);
}

}  // namespace oriole
