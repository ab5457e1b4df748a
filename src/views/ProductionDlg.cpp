#include "views/ProductionDlg.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <iterator>

#include "base/FileNode.h"
#include "base/FormatText.h"
#include "ops/Job.h"
#include "res/Dialogs.h"
#include "res/Texts.h"
#include "views/FileFilters.h"
#include "views/ProductionIds.h"

namespace oriole {
namespace {

using namespace production_ids;


// The step boxes in the batch dialog's order, with their bits.
struct StepBox {
    int box;
    uint32_t bit;
};
constexpr StepBox kStepBoxes[] = {
    {1304, step_bit::kWriteFlash},       {1305, step_bit::kVerifyFlash},
    {1306, step_bit::kWriteEeprom},      {1307, step_bit::kVerifyEeprom},
    {1308, step_bit::kWriteFuses},       {1309, step_bit::kVerifyFuses},
    {1310, step_bit::kWriteLock},        {1311, step_bit::kVerifyLock},
    {1312, step_bit::kWriteCalibration}, {1313, step_bit::kVerifyCalibration},
};

// The serial rule's fields, enabled with its box.
constexpr int kSerialFields[] = {kSerialMemory,   kSerialAddress,   kSerialWidth, kSerialOrder,
                                 kSerialEncoding, kSerialFirst,     kSerialStep,  kSerialLast,
                                 kSerialList,     kSerialListBrowse};

// What a run leaves alone while it runs.
constexpr int kSetupControls[] = {kSettingPath, kSettingBrowse, kSerialBox,
                                  kWriters,     kAllWriters,    kRepeatBox,
                                  kCount,       kLogPath,       kStartButton};

// The log lines and messages the window keeps.
constexpr int kShownLines = 200;
// The tail of an existing log shown when a setting file is read.
constexpr int kTailLines = 20;
constexpr qint64 kTailLimit = 4 * 1024 * 1024;

// How much larger than the dialog font the counts and the serial number are.
constexpr double kCountScale = 2.4;

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

QString ChooseWithDialog(QWidget* parent, const QString& folder, const QStringList& filters) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

// A decimal or 0x-prefixed number.
bool ParseNumber(const QString& text, uint64_t& value) {
    bool ok = false;
    value = text.trimmed().toULongLong(&ok, 0);
    return ok;
}

// A path as the setting file's own keys take it: relative to its folder.
QString BesideSettingFile(const ProductionJob& job, const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isAbsolute()) return path;
    return QFileInfo(job.settingFile).absolutePath() + u'/' + path;
}

}  // namespace

CProductionDlg::CProductionDlg(Options options, QWidget* parent)
    : CResDialog(res::kProductionDialog, parent), m_options(std::move(options)) {
    if (!m_options.chooseFile) m_options.chooseFile = ChooseWithDialog;
    for (const char* item : text::kProductionMemories) AddListItem(kSerialMemory, Utf8(item));
    for (int width = 1; width <= 8; ++width) AddListItem(kSerialWidth, QString::number(width));
    for (const char* item : text::kProductionOrders) AddListItem(kSerialOrder, Utf8(item));
    for (const char* item : text::kProductionEncodings) AddListItem(kSerialEncoding, Utf8(item));
    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * kCountScale);
    large.setBold(true);
    for (const int id : {kPassedCount, kFailedCount, kLastSerial}) Label(id)->setFont(large);
    for (const int id : {kLogLines, kMessages}) TextBox(id)->setMaximumBlockCount(kShownLines);
    // A log line is longer than the box is wide.
    TextBox(kLogLines)->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    SetChecked(kEraseBox, true);

    // A path left as it was keeps what the user changed in the controls.
    connect(LineEdit(kSettingPath), &QLineEdit::editingFinished, this, [this] {
        if (!IsRunning() && Text(kSettingPath).trimmed() != m_loadedPath) LoadSettingFile();
    });
    connect(Button(kSettingBrowse), &QAbstractButton::clicked, this, [this] {
        if (Browse(kSettingPath, text::kSettingFileFilter)) LoadSettingFile();
    });
    connect(Button(kSerialListBrowse), &QAbstractButton::clicked, this,
            [this] { static_cast<void>(Browse(kSerialList, text::kProductionListFilter)); });
    connect(Button(kSerialBox), &QAbstractButton::clicked, this, [this] { ApplySerialBox(); });
    connect(Button(kAllWriters), &QAbstractButton::clicked, this, [this] { OnAllWriters(); });
    connect(Button(kStartButton), &QAbstractButton::clicked, this,
            [this] { static_cast<void>(Start()); });
    connect(Button(kStopButton), &QAbstractButton::clicked, this, [this] { Stop(); });
    connect(Button(kCloseButton), &QAbstractButton::clicked, this, [this] { OnClose(); });

    SetText(kSettingPath, QDir::toNativeSeparators(m_options.settingFile));
    if (!m_options.settingFile.isEmpty()) LoadSettingFile();
    if (!m_options.writers.isEmpty()) SetText(kWriters, m_options.writers.join(u' '));
    ApplySerialBox();
}

CProductionDlg::~CProductionDlg() {
    // The boxes finish the chips they are programming; nothing they report
    // reaches this window any more.
    if (m_run) m_run->Stop();
    if (m_worker.joinable()) m_worker.join();
}

void CProductionDlg::LoadSettingFile() {
    const QString path = Text(kSettingPath).trimmed();
    m_loadedPath = path;
    if (path.isEmpty()) return;
    ProductionJob job;
    std::string error;
    if (!LoadProductionJob(QDir::fromNativeSeparators(path), job, error)) {
        OnMessage({}, QString::fromStdString(error));
        return;
    }
    ShowJob(job);
}

void CProductionDlg::ShowJob(const ProductionJob& job) {
    for (const StepBox& s : kStepBoxes) SetChecked(s.box, (job.steps & s.bit) != 0);
    const SerialRule rule = job.serial.value_or(SerialRule{});
    SetChecked(kSerialBox, job.serial.has_value());
    ComboBox(kSerialMemory)->setCurrentIndex(rule.memory == CalibMemory::Flash ? 0 : 1);
    SetText(kSerialAddress, QString::number(rule.address, 16).toUpper());
    ComboBox(kSerialWidth)->setCurrentIndex(rule.width - 1);
    ComboBox(kSerialOrder)->setCurrentIndex(rule.bigEndian ? 1 : 0);
    ComboBox(kSerialEncoding)->setCurrentIndex(static_cast<int>(rule.encoding));
    SetText(kSerialFirst, QString::number(rule.first));
    SetText(kSerialStep, QString::number(rule.step));
    SetText(kSerialLast, rule.last == UINT64_MAX ? QString() : QString::number(rule.last));
    SetText(kSerialList, QDir::toNativeSeparators(rule.listFile));
    ApplySerialBox();
    m_fileWriter = QString::fromStdString(job.writer);
    if (m_options.writers.isEmpty()) SetText(kWriters, m_fileWriter);
    const QString log = LogFileOf(job);
    SetText(kLogPath, QDir::toNativeSeparators(log));
    ShowLogTail(log);
}

void CProductionDlg::ShowLogTail(const QString& path) {
    QPlainTextEdit* box = TextBox(kLogLines);
    box->clear();
    QByteArray bytes;
    // A log too large to read here still takes the new lines.
    if (ReadRegularFile(path, kTailLimit, bytes) != ReadFile::Ok) return;
    QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    if (lines.size() > kTailLines) lines = lines.mid(lines.size() - kTailLines);
    box->setPlainText(lines.join(u'\n'));
    // The newest lines, from their start.
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    box->horizontalScrollBar()->setValue(0);
}

bool CProductionDlg::TakeSerialRule(ProductionJob& job, std::string& error) const {
    if (!IsChecked(kSerialBox)) {
        job.serial.reset();
        return true;
    }
    // The counter file and the rest of the file's rule stay as it says.
    SerialRule rule = job.serial.value_or(SerialRule{});
    rule.memory =
        ComboBox(kSerialMemory)->currentIndex() == 0 ? CalibMemory::Flash : CalibMemory::Eeprom;
    rule.width = ComboBox(kSerialWidth)->currentIndex() + 1;
    rule.bigEndian = ComboBox(kSerialOrder)->currentIndex() == 1;
    rule.encoding = static_cast<SerialEncoding>(ComboBox(kSerialEncoding)->currentIndex());
    auto bad = [&](int field) {
        // Each field's label is the control before it in the table.
        const res::ControlDef* def = Definition(field);
        const char* name = def > Resource().controls.data() ? (def - 1)->text : "";
        error = FormatText(text::kProductionBadField, name, Text(field).toStdString().c_str());
        return false;
    };
    bool ok = false;
    const QString address = Text(kSerialAddress).trimmed();
    const uint64_t at =
        QString(address).remove(QStringLiteral("0x"), Qt::CaseInsensitive).toULongLong(&ok, 16);
    if (!ok || at > UINT32_MAX) return bad(kSerialAddress);
    rule.address = static_cast<uint32_t>(at);
    if (!ParseNumber(Text(kSerialFirst), rule.first)) return bad(kSerialFirst);
    if (!ParseNumber(Text(kSerialStep), rule.step)) return bad(kSerialStep);
    rule.last = UINT64_MAX;
    if (!Text(kSerialLast).trimmed().isEmpty() && !ParseNumber(Text(kSerialLast), rule.last))
        return bad(kSerialLast);
    rule.listFile = BesideSettingFile(job, QDir::fromNativeSeparators(Text(kSerialList).trimmed()));
    job.serial = rule;
    return true;
}

bool CProductionDlg::TakeControls(ProductionJob& job, ProductionOptions& options,
                                  std::string& error) const {
    if (!LoadProductionJob(QDir::fromNativeSeparators(Text(kSettingPath).trimmed()), job, error))
        return false;
    job.steps = step_bit::kErase;
    for (const StepBox& s : kStepBoxes)
        if (IsChecked(s.box)) job.steps |= s.bit;
    if (!TakeSerialRule(job, error)) return false;
    const QString log = QDir::fromNativeSeparators(Text(kLogPath).trimmed());
    if (!log.isEmpty()) job.logFile = log;

    options = ProductionOptions{};
    options.poll = m_options.poll;
    options.repeat = IsChecked(kRepeatBox);
    const QString count = Text(kCount).trimmed();
    bool ok = true;
    options.count = count.isEmpty() ? 0 : count.toInt(&ok);
    if (!ok || options.count < 0) {
        error = FormatText(text::kProductionBadField, "個数", count.toStdString().c_str());
        return false;
    }
    // The setting file's own writer keeps the limits a file's spec has.
    const QString writers = Text(kWriters).simplified();
    if (writers == m_fileWriter && m_options.writers.isEmpty()) return true;
    for (const QString& spec : writers.split(u' ', Qt::SkipEmptyParts)) {
        if (spec != QStringLiteral("all")) {
            options.writers.push_back(spec.toStdString());
            continue;
        }
        const std::vector<std::string> all = AllWriterSpecs();
        if (all.empty()) {
            error = text::kProductionNoWriters;
            return false;
        }
        options.writers.insert(options.writers.end(), all.begin(), all.end());
    }
    return true;
}

bool CProductionDlg::Start() {
    if (IsRunning()) return false;
    ProductionJob job;
    ProductionOptions options;
    std::string error;
    if (!TakeControls(job, options, error)) {
        OnMessage({}, QString::fromStdString(error));
        return false;
    }
    ProductionEvents events;
    // The boxes' threads report here through the event loop; a report still
    // on its way when the window goes is dropped with it.
    events.onChip = [this](const ChipRecord& record) {
        QMetaObject::invokeMethod(
            this, [this, record] { OnChip(record); }, Qt::QueuedConnection);
    };
    events.onMessage = [this](const std::string& box, MsgKind, const std::string& text) {
        QMetaObject::invokeMethod(
            this,
            [this, b = QString::fromStdString(box), t = QString::fromStdString(text)] {
                OnMessage(b, t);
            },
            Qt::QueuedConnection);
    };
    events.onState = [this](const std::string& box, BoxState state) {
        QMetaObject::invokeMethod(
            this, [this, b = QString::fromStdString(box), state] { OnState(b, state); },
            Qt::QueuedConnection);
    };
    m_nPassed = 0;
    m_nFailed = 0;
    SetText(kPassedCount, QStringLiteral("0"));
    SetText(kFailedCount, QStringLiteral("0"));
    SetText(kLastSerial, {});
    SetText(kLogPath, QDir::toNativeSeparators(LogFileOf(job)));
    ShowLogTail(LogFileOf(job));
    TextBox(kMessages)->clear();
    m_boxStates.clear();
    SetText(kStatus, Utf8(text::kProductionRunning));
    m_run = std::make_unique<CProductionRun>(std::move(job), std::move(options), std::move(events));
    SetRunning(true);
    CProductionRun* run = m_run.get();
    m_worker = std::thread([this, run] {
        if (run->Prepare()) run->Run();
        QMetaObject::invokeMethod(
            this, [this] { OnFinished(); }, Qt::QueuedConnection);
    });
    return true;
}

void CProductionDlg::Stop() {
    if (!m_run || m_run->Stopping()) return;
    m_run->Stop();
    Enable(kStopButton, false);
    SetText(kStatus, Utf8(text::kProductionStopping));
}

void CProductionDlg::SetRunning(bool running) {
    for (const int id : kSetupControls) Enable(id, !running);
    for (const StepBox& s : kStepBoxes) Enable(s.box, !running);
    Enable(kStopButton, running);
    ApplySerialBox();
}

void CProductionDlg::ApplySerialBox() {
    const bool on = IsChecked(kSerialBox) && !IsRunning();
    for (const int id : kSerialFields) Enable(id, on);
}

bool CProductionDlg::Browse(int editId, const char* filter) {
    const QString current = QDir::fromNativeSeparators(Text(editId).trimmed());
    const QString folder = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    const QString chosen =
        m_options.chooseFile(this, folder, NameFiltersFromPipeList(Utf8(filter)));
    if (chosen.isEmpty()) return false;
    SetText(editId, QDir::toNativeSeparators(chosen));
    return true;
}

void CProductionDlg::OnAllWriters() {
    QStringList specs;
    for (const std::string& spec : AllWriterSpecs()) specs << QString::fromStdString(spec);
    if (specs.isEmpty()) {
        OnMessage({}, Utf8(text::kProductionNoWriters));
        return;
    }
    SetText(kWriters, specs.join(u' '));
}

void CProductionDlg::OnChip(const ChipRecord& record) {
    ++(record.passed ? m_nPassed : m_nFailed);
    SetText(kPassedCount, QString::number(m_nPassed));
    SetText(kFailedCount, QString::number(m_nFailed));
    if (!record.serial.isEmpty()) SetText(kLastSerial, record.serial);
    QPlainTextEdit* lines = TextBox(kLogLines);
    lines->appendPlainText(LogLine(record));
    lines->verticalScrollBar()->setValue(lines->verticalScrollBar()->maximum());
    // A failed chip is also said in words, with the step it failed at.
    if (!record.passed)
        OnMessage(record.box,
                  QStringLiteral("%1 %2 %3")
                      .arg(record.serial, Utf8(text::kBatchError).trimmed(), record.failedStep)
                      .trimmed());
}

void CProductionDlg::OnMessage(const QString& box, const QString& message) {
    // One line per message: the blank lines a message box would show are left out.
    const QString text = message.split(u'\n', Qt::SkipEmptyParts).join(u' ');
    TextBox(kMessages)->appendPlainText(box.isEmpty() ? text
                                                      : QStringLiteral("[%1] %2").arg(box, text));
}

void CProductionDlg::OnState(const QString& box, BoxState state) {
    if (!IsRunning() || m_run->Stopping()) return;
    if (state == BoxState::Working || state == BoxState::Lost) return;
    const char* what = state == BoxState::Insert   ? text::kProductionInsertChip
                       : state == BoxState::Remove ? text::kProductionRemoveChip
                                                   : text::kProductionBoxEnded;
    // Every box's state at once, in the order of their names.
    m_boxStates.insert(box, QStringLiteral("[%1] %2").arg(box, Utf8(what)));
    SetText(kStatus,
            QStringList(m_boxStates.cbegin(), m_boxStates.cend()).join(QStringLiteral("  ")));
}

void CProductionDlg::OnFinished() {
    if (m_worker.joinable()) m_worker.join();
    m_run.reset();
    SetRunning(false);
    SetText(kStatus,
            QString::fromStdString(FormatText(text::kProductionFinished, m_nPassed, m_nFailed)));
    if (m_bCloseWhenDone) QDialog::done(0);
}

void CProductionDlg::OnClose() {
    if (!IsRunning()) {
        QDialog::done(0);
        return;
    }
    // The window goes once the chips being programmed are done.
    m_bCloseWhenDone = true;
    Stop();
}

void CProductionDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

}  // namespace oriole
