#include "views/ProductionDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "base/FileNode.h"
#include "base/FormatText.h"
#include "base/Numbers.h"
#include "devices/Devices.h"
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

// The job's controls: left alone while a run runs, and never usable in a
// locked window.
constexpr int kJobControls[] = {kSettingPath, kSettingBrowse, kSerialBox, kWriters,  kAllWriters,
                                kRepeatBox,   kCount,         kLogPath,   kEventsPath, kWorkOrder};
// What a locked window still takes between runs.
constexpr int kRunFields[] = {kLot, kOperator};

// The result lines the window keeps, and the messages.
constexpr int kShownResults = 500;
constexpr int kShownMessages = 200;
// The tail of an existing log shown when a setting file is read.
constexpr int kTailLines = 20;
constexpr qint64 kTailLimit = 4 * 1024 * 1024;
// How many hex digits of a SHA-256 the window shows.
constexpr int kShortHash = 12;
// The bell's pattern for a failure: this many rings, this far apart.
constexpr int kFailRings = 3;
constexpr int kRingGapMs = 180;

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

void RingBell(bool passed) {
    QApplication::beep();
    if (passed) return;
    for (int i = 1; i < kFailRings; ++i) QTimer::singleShot(i * kRingGapMs, [] { QApplication::beep(); });
}

// A path as the setting file's own keys take it: relative to its folder.
QString BesideSettingFile(const ProductionJob& job, const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isAbsolute()) return path;
    return QFileInfo(job.settingFile).absolutePath() + u'/' + path;
}

QString ShortHash(const QByteArray& hex) {
    return QString::fromLatin1(hex.left(kShortHash)).toLower();
}

// "FLASH  prog.hex  1a2b3c4d5e6f": one line per image file.
QString FileLine(const QString& name, const QString& path, const QByteArray& sha256) {
    return QStringLiteral("%1  %2  %3")
        .arg(name, QFileInfo(path).fileName(), sha256.isEmpty() ? QStringLiteral("-") : ShortHash(sha256));
}

// The files a job programs, hashed here (the run hashes them again when it starts).
QStringList JobFileLines(const ProductionJob& job) {
    QStringList lines;
    const struct {
        const char* name;
        const QString& path;
        uint32_t bits;
    } inputs[] = {
        {"FLASH", job.flashFile, step_bit::kWriteFlash | step_bit::kVerifyFlash},
        {"EEPROM", job.eepromFile, step_bit::kWriteEeprom | step_bit::kVerifyEeprom},
    };
    for (const auto& in : inputs) {
        if ((job.steps & in.bits) == 0 || in.path.isEmpty()) continue;
        QByteArray sha;
        QFile file(in.path);
        if (file.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            if (hash.addData(&file)) sha = hash.result().toHex();
        }
        lines << FileLine(Utf8(in.name), in.path, sha);
    }
    return lines;
}

// One CSV line of the log into its fields.
QStringList SplitCsv(const QString& line) {
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c != u'"') field += c;
            else if (i + 1 < line.size() && line[i + 1] == u'"') field += c, ++i;
            else quoted = false;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

// The log's columns the window shows, found by the header's names.
struct LogColumns {
    int start = -1, time = 0, box = 2, serial = 6, result = 7, step = 8, cause = -1;
};

// The columns by their names: logs of every version name them alike, save
// the time ("日時" before the start and end were told apart).
LogColumns ColumnsOf(QStringList header) {
    if (!header.isEmpty() && header.front().startsWith(QChar(0xFEFF))) header.front().remove(0, 1);
    auto named = [&](std::initializer_list<const char*> names, int fallback) {
        for (const char* name : names) {
            const int i = static_cast<int>(header.indexOf(QString::fromUtf8(name)));
            if (i >= 0) return i;
        }
        return fallback;
    };
    LogColumns c;
    c.start = named({"開始日時"}, -1);
    c.time = named({"終了日時", "日時"}, c.time);
    c.box = named({"ライタ"}, c.box);
    c.serial = named({"シリアル番号"}, c.serial);
    c.result = named({"結果"}, c.result);
    c.step = named({"失敗した手順"}, c.step);
    c.cause = named({"原因"}, -1);
    return c;
}

QString StepNameOf(const JobStep& step) {
    const StepInfo& info = InfoOf(step.kind);
    const QString name = Utf8(info.log).remove(QStringLiteral("...")).trimmed();
    return name.isEmpty() ? Utf8(info.name) : name;
}

QString YieldText(int passed, int failed) {
    const int all = passed + failed;
    if (all == 0) return QStringLiteral("-");
    return QString::number(100.0 * passed / all, 'f', 1) + QStringLiteral(" %");
}

// The time of a record as the results show it: the day and the time of day.
QString ShortTime(const QString& iso) {
    const QDateTime at = QDateTime::fromString(iso, Qt::ISODate);
    return at.isValid() ? at.toString(QStringLiteral("MM-dd HH:mm:ss")) : iso;
}

struct Colours {
    const char* background;
    const char* text;
};

Colours ColoursOf(CBoxPanel::Look look) {
    switch (look) {
        case CBoxPanel::Look::Insert: return {"#dbe9f7", "#0b3d6e"};
        case CBoxPanel::Look::Working: return {"#fff1b8", "#4d3b00"};
        case CBoxPanel::Look::Pass: return {"#1e8e3e", "#ffffff"};
        case CBoxPanel::Look::Fail: return {"#c5221f", "#ffffff"};
        case CBoxPanel::Look::Remove: return {"#dbe9f7", "#0b3d6e"};
        case CBoxPanel::Look::Lost: return {"#4a4d51", "#ffffff"};
        case CBoxPanel::Look::Idle:
        case CBoxPanel::Look::Ended: break;
    }
    return {"#e6e6e6", "#303030"};
}

// The largest pixel size, up to `most`, at which `text` fits `width`.
int FittingPixels(const QFont& font, const QString& text, int width, int most, int least) {
    QFont f = font;
    int size = most;
    for (; size > least; size = size * 9 / 10) {
        f.setPixelSize(size);
        const QStringList lines = text.split(u'\n');
        int widest = 0;
        for (const QString& line : lines) widest = std::max(widest, QFontMetrics(f).horizontalAdvance(line));
        if (widest <= width) break;
    }
    return std::max(size, least);
}

}  // namespace

QString OperatorAdvice(Cause cause) {
    switch (cause) {
        case Cause::Refused:
        case Cause::NotDetected: return Utf8(text::kProdDoWrongChip);
        case Cause::OtherDevice: return Utf8(text::kProdDoOtherDevice);
        case Cause::VerifyMismatch: return Utf8(text::kProdDoVerify);
        case Cause::NoAnswer:
        case Cause::WrongAnswer:
        case Cause::Driver:
        case Cause::NoBox:
        case Cause::NoAccess: return Utf8(text::kProdDoBox);
        case Cause::File: return Utf8(text::kProdDoFile);
        case Cause::Policy:
        case Cause::EmptyInput:
        case Cause::NoSuchMemory:
        case Cause::TooLarge: return Utf8(text::kProdDoSetting);
        case Cause::None:
        case Cause::Cancelled:
        case Cause::Other: break;
    }
    return Utf8(text::kProdDoOther);
}

// --- One box's panel ---

CBoxPanel::CBoxPanel(int number, const QString& name, QWidget* parent) : QFrame(parent), m_name(name) {
    setObjectName(QStringLiteral("boxPanel"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    m_title = new QLabel(QString::fromStdString(FormatText(text::kProdBoxTitle, number)) +
                             QStringLiteral("  ") + name,
                         this);
    m_title->setToolTip(name);
    m_headline = new QLabel(this);
    m_headline->setAlignment(Qt::AlignCenter);
    QFont bold = m_headline->font();
    bold.setBold(true);
    m_headline->setFont(bold);
    m_detail = new QLabel(this);
    m_detail->setAlignment(Qt::AlignCenter);
    m_detail->setWordWrap(true);
    m_hint = new QLabel(this);
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    m_hint->setFont(bold);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(true);
    m_bar->hide();
    layout->addWidget(m_title);
    layout->addStretch(1);
    layout->addWidget(m_headline);
    layout->addWidget(m_detail);
    layout->addWidget(m_bar);
    layout->addWidget(m_hint);
    layout->addStretch(1);
    // The one-line texts never widen the panel; the wrapped ones take the
    // height their lines need at the panel's width.
    for (QLabel* l : {m_title, m_headline}) l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    for (QLabel* l : {m_detail, m_hint}) l->setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setMinimumSize(220, 150);
    SetLook(Look::Idle, Utf8(text::kProdIdle), {}, {});
}

QString CBoxPanel::Headline() const {
    return m_headline->text();
}
QString CBoxPanel::Detail() const {
    return m_detail->text();
}
QString CBoxPanel::Hint() const {
    return m_hint->text();
}
int CBoxPanel::Percent() const {
    return m_bar->isHidden() ? -1 : m_bar->value();
}

void CBoxPanel::SetLook(Look look, const QString& headline, const QString& detail, const QString& hint) {
    m_look = look;
    m_headline->setText(headline);
    m_detail->setText(detail);
    m_hint->setText(hint);
    m_bar->setVisible(look == Look::Working);
    m_bar->setValue(0);
    const Colours c = ColoursOf(look);
    setStyleSheet(QStringLiteral("QFrame#boxPanel { background-color: %1; border: 1px solid #8a8a8a; "
                                 "border-radius: 6px; } QFrame#boxPanel QLabel { color: %2; }")
                      .arg(QLatin1String(c.background), QLatin1String(c.text)));
    FitTexts();
}

void CBoxPanel::OnState(BoxState state) {
    const QString previous =
        m_lastResult.isEmpty() ? QString()
                               : QString::fromStdString(FormatText(text::kProdPrevious, m_lastResult.toUtf8().constData()));
    switch (state) {
        case BoxState::Insert:
            m_bResultShown = false;
            SetLook(Look::Insert, Utf8(text::kProdInsert), previous, {});
            break;
        case BoxState::Working:
            if (m_look != Look::Working) {
                m_bResultShown = false;
                SetLook(Look::Working, Utf8(text::kProdWorking), {}, {});
            }
            break;
        case BoxState::Remove:
            // The verdict stays large while the chip is taken out.
            if (m_bResultShown) m_hint->setText(Utf8(text::kProdRemove));
            else SetLook(Look::Remove, Utf8(text::kProdRemove), previous, {});
            break;
        case BoxState::Lost:
            m_bResultShown = false;
            SetLook(Look::Lost, Utf8(text::kProdLost), previous, Utf8(text::kProdLostHint));
            break;
        case BoxState::Ended:
            if (m_look == Look::Lost) break;
            if (m_bResultShown) m_hint->setText(Utf8(text::kProdEnded));
            else SetLook(Look::Ended, Utf8(text::kProdEnded), previous, {});
            break;
    }
    FitTexts();
}

void CBoxPanel::OnChipStart(const QString& serial) {
    m_serial = serial;
    if (m_look != Look::Working) {
        m_bResultShown = false;
        SetLook(Look::Working, Utf8(text::kProdWorking), {}, {});
    }
    if (!serial.isEmpty())
        m_hint->setText(QString::fromStdString(FormatText(text::kProdSerial, serial.toUtf8().constData())));
    FitTexts();
}

void CBoxPanel::OnStep(const QString& stepName, bool done, bool ok) {
    if (m_look != Look::Working || (done && ok)) return;
    m_detail->setText(stepName);
    if (!done) m_bar->setValue(0);
    FitTexts();
}

void CBoxPanel::OnProgress(int percent) {
    if (m_look == Look::Working) m_bar->setValue(std::clamp(percent, 0, 100));
}

void CBoxPanel::OnChip(const ChipRecord& record) {
    const QString serial = record.serial.isEmpty()
                               ? QString()
                               : QString::fromStdString(FormatText(text::kProdSerial, record.serial.toUtf8().constData()));
    m_lastResult = (record.passed ? Utf8(text::kProdResultPass) : Utf8(text::kProdResultFail)) +
                   (record.serial.isEmpty() ? QString() : u' ' + record.serial);
    m_bResultShown = true;
    if (record.passed) {
        SetLook(Look::Pass, Utf8(text::kProdPass), serial, {});
        return;
    }
    // The failed step and what to do, under the verdict; the line below
    // stays free for what the socket needs next.
    QStringList detail;
    if (!serial.isEmpty()) detail << serial;
    detail << QString::fromStdString(FormatText(text::kProdFailedAt, record.failedStep.toUtf8().constData()))
           << OperatorAdvice(record.cause);
    SetLook(Look::Fail, Utf8(text::kProdFail), detail.join(u'\n'), {});
}

void CBoxPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    FitTexts();
}

void CBoxPanel::FitTexts() {
    // Texts grow with the panel, so that a full screen reads from afar.
    const int w = std::max(width() - 24, 40);
    const int h = std::max(height(), 100);
    QFont f = m_title->font();
    f.setPixelSize(std::clamp(h / 14, 12, 32));
    m_title->setFont(f);
    f = m_detail->font();
    const int lines = static_cast<int>(m_detail->text().count(u'\n')) + 1;
    f.setPixelSize(std::clamp(h / (9 + 3 * lines), 11, 40));
    m_detail->setFont(f);
    f = m_hint->font();
    f.setPixelSize(std::clamp(h / 11, 12, 44));
    m_hint->setFont(f);
    f = m_headline->font();
    const int most = m_look == Look::Pass || m_look == Look::Fail ? h / 4 : h / 7;
    f.setPixelSize(FittingPixels(f, m_headline->text(), w, std::clamp(most, 16, 200), 12));
    m_headline->setFont(f);
    // The lines take their new heights now, not after the next pass of the event loop.
    layout()->activate();
}

// --- The window ---

CProductionDlg::CProductionDlg(Options options, QWidget* parent)
    : CResDialog(res::kProductionDialog, parent), m_options(std::move(options)) {
    if (!m_options.chooseFile) m_options.chooseFile = ChooseWithDialog;
    if (!m_options.sound) m_options.sound = RingBell;
    for (const char* item : text::kProductionMemories) AddListItem(kSerialMemory, Utf8(item));
    for (int width = 1; width <= 8; ++width) AddListItem(kSerialWidth, QString::number(width));
    for (const char* item : text::kProductionOrders) AddListItem(kSerialOrder, Utf8(item));
    for (const char* item : text::kProductionEncodings) AddListItem(kSerialEncoding, Utf8(item));
    SetChecked(kEraseBox, true);
    // A locked window programs chip after chip until Stop.
    if (m_options.locked) SetChecked(kRepeatBox, true);
    BuildView();

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
    connect(ComboBox(kSerialEncoding), &QComboBox::currentIndexChanged, this, [this] { ApplySerialBox(); });
    connect(Button(kAllWriters), &QAbstractButton::clicked, this, [this] { OnAllWriters(); });
    connect(Button(kStartButton), &QAbstractButton::clicked, this,
            [this] { static_cast<void>(Start()); });
    connect(Button(kStopButton), &QAbstractButton::clicked, this, [this] { Stop(); });
    connect(Button(kCloseButton), &QAbstractButton::clicked, this, [this] { OnClose(); });
    connect(LineEdit(kLot), &QLineEdit::editingFinished, this, [this] { ApplyLot(); });

    connect(LineEdit(kWriters), &QLineEdit::editingFinished, this, [this] {
        if (!IsRunning()) ShowPanelsOfWriters();
    });

    if (!m_options.writers.isEmpty()) SetText(kWriters, m_options.writers.join(u' '));
    SetText(kEventsPath, QDir::toNativeSeparators(m_options.eventsFile));
    SetText(kSettingPath, QDir::toNativeSeparators(m_options.settingFile));
    if (!m_options.settingFile.isEmpty()) LoadSettingFile();
    ShowPanelsOfWriters();
    SetRunning(false);
    ShowCounts();
}

CProductionDlg::~CProductionDlg() {
    // The boxes finish the chips they are programming; nothing they report
    // reaches this window any more.
    if (m_run) m_run->Stop();
    if (m_worker.joinable()) m_worker.join();
    // A field losing the focus as the window goes says nothing to it.
    for (const CControls::Entry& e : All()) e.widget->disconnect(this);
}

void CProductionDlg::BuildView() {
    // The table's controls keep their places in a block of their own; the
    // window around them grows and shrinks.
    auto* setup = new QWidget(this);
    setup->setObjectName(QStringLiteral("jobControls"));
    QRect used;
    for (const CControls::Entry& e : All()) {
        if (e.widget->parentWidget() != this) continue;
        const bool hidden = e.widget->isHidden();
        const QRect at = e.widget->geometry();
        e.widget->setParent(setup);
        e.widget->setGeometry(at);
        e.widget->setVisible(!hidden);
        if (e.def->id != kStartButton && e.def->id != kStopButton && e.def->id != kCloseButton) used |= at;
    }
    setup->setFixedSize(used.right() + used.left(), used.bottom() + used.left());
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setWindowFlag(Qt::WindowMinimizeButtonHint);

    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    QFont huge = font();
    huge.setPointSizeF(huge.pointSizeF() * 2.6);
    huge.setBold(true);

    // The job and the lot, beside the controls.
    auto* info = new QGridLayout;
    int row = 0;
    auto caption = [&](const char* text) {
        auto* l = new QLabel(Utf8(text), this);
        info->addWidget(l, row, 0, Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    caption(text::kProdDevice);
    m_device = new QLabel(this);
    m_device->setFont(large);
    info->addWidget(m_device, row++, 1, 1, 5);
    caption(text::kProdFiles);
    m_files = new QLabel(Utf8(text::kProdNoFiles), this);
    m_files->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(font().pointSizeF() * 1.2);
    m_files->setFont(mono);
    info->addWidget(m_files, row++, 1, 1, 5);
    caption(text::kProdNextSerial);
    m_nextSerial = new QLabel(Utf8(text::kProdNoSerial), this);
    m_nextSerial->setFont(huge);
    info->addWidget(m_nextSerial, row++, 1, 1, 5);
    auto count = [&](const char* name, int column, const char* colour) {
        auto* l = new QLabel(Utf8(name), this);
        info->addWidget(l, row, column, Qt::AlignLeft | Qt::AlignBottom);
        auto* value = new QLabel(QStringLiteral("0"), this);
        value->setFont(huge);
        value->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
        info->addWidget(value, row + 1, column);
        return value;
    };
    m_passed = count(text::kProdPassed, 0, "#1e7e34");
    m_failed = count(text::kProdFailed, 2, "#b3261e");
    m_yield = count(text::kProdYield, 4, "#202020");
    row += 2;
    // Start, Stop and Close, large, with their keys in their words.
    auto* buttons = new QHBoxLayout;
    for (const int id : {kStartButton, kStopButton, kCloseButton}) {
        QAbstractButton* b = Button(id);
        b->setMinimumSize(120, 44);
        b->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        b->setFont(large);
        b->setFocusPolicy(Qt::TabFocus);
        buttons->addWidget(b, 1);
    }
    info->addLayout(buttons, row++, 0, 1, 6);
    if (m_options.locked) {
        auto* locked = new QLabel(Utf8(text::kProdLocked), this);
        info->addWidget(locked, row++, 0, 1, 6);
    }
    info->setColumnStretch(1, 1);
    info->setColumnStretch(3, 1);
    info->setColumnStretch(5, 1);
    info->setRowStretch(row, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(setup, 0, Qt::AlignTop);
    top->addLayout(info, 1);

    m_panelGrid = new QGridLayout;
    m_panelGrid->setSpacing(8);

    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    m_summary->setFont(large);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_results = new QTreeWidget(this);
    QStringList columns;
    for (const char* c : text::kProdLogColumns) columns << Utf8(c);
    m_results->setHeaderLabels(columns);
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setAlternatingRowColors(true);
    m_results->setSelectionMode(QAbstractItemView::NoSelection);
    m_results->header()->setStretchLastSection(false);
    m_results->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_results->header()->setSectionResizeMode(3, QHeaderView::Stretch);
    QFont resultFont = font();
    resultFont.setPointSizeF(font().pointSizeF() * 1.2);
    m_results->setFont(resultFont);
    m_messages = new QPlainTextEdit(this);
    m_messages->setReadOnly(true);
    m_messages->setMaximumBlockCount(kShownMessages);

    auto* logs = new QGridLayout;
    logs->addWidget(new QLabel(Utf8(text::kProdLogTitle), this), 0, 0);
    logs->addWidget(new QLabel(Utf8(text::kProdMessagesTitle), this), 0, 1);
    logs->addWidget(m_results, 1, 0);
    logs->addWidget(m_messages, 1, 1);
    logs->setColumnStretch(0, 3);
    logs->setColumnStretch(1, 2);

    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addLayout(m_panelGrid, 3);
    main->addWidget(m_summary);
    main->addLayout(logs, 2);
    resize(std::max(1280, setup->width() + 420), 960);
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
    m_device->setText(Utf8(DeviceAt(job.deviceRow).name));
    ShowFiles(JobFileLines(job));
    ShowNextSerial(job);
    if (!IsRunning()) ShowPanelsOfWriters();
}

void CProductionDlg::ShowPanelsOfWriters() {
    // The panels of the boxes the next start opens ("all" stands for
    // boxes found only then).
    std::vector<std::string> specs;
    for (const QString& spec : Text(kWriters).simplified().split(u' ', Qt::SkipEmptyParts))
        if (spec != QStringLiteral("all")) specs.push_back(spec.toStdString());
    MakePanels(CProductionRun::BoxNames(specs));
}

void CProductionDlg::ShowFiles(const QStringList& lines) {
    m_files->setText(lines.isEmpty() ? Utf8(text::kProdNoFiles) : lines.join(u'\n'));
}

void CProductionDlg::ShowNextSerial(const ProductionJob& job) {
    const QString next = NextSerialText(job);
    m_nextSerial->setText(next.isEmpty() ? Utf8(text::kProdNoSerial) : next);
}

QString CProductionDlg::NextSerialShown() const {
    return m_nextSerial->text();
}
QString CProductionDlg::FilesShown() const {
    return m_files->text();
}
QString CProductionDlg::YieldShown() const {
    return m_yield->text();
}
QString CProductionDlg::Summary() const {
    return m_summary->text();
}

void CProductionDlg::ShowLogTail(const QString& path) {
    m_results->clear();
    QByteArray bytes;
    // A log too large to read here still takes the new lines.
    if (ReadRegularFile(path, kTailLimit, bytes) != ReadFile::Ok) return;
    QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    if (lines.isEmpty()) return;
    const LogColumns c = ColumnsOf(SplitCsv(lines.takeFirst()));
    if (lines.size() > kTailLines) lines = lines.mid(lines.size() - kTailLines);
    for (const QString& line : lines) {
        const QStringList f = SplitCsv(line);
        auto at = [&](int i) { return i >= 0 && i < f.size() ? f[i] : QString(); };
        ChipRecord r;
        r.startTime = at(c.start);
        r.time = at(c.time);
        r.box = at(c.box);
        r.serial = at(c.serial);
        r.passed = at(c.result) == QStringLiteral("OK");
        r.interrupted = at(c.result) == Utf8(text::kProductionResultInterrupted);
        r.failedStep = at(c.step);
        r.cause = CauseOfName(at(c.cause));
        AddResult(r);
    }
}

void CProductionDlg::AddResult(const ChipRecord& record) {
    QString box = record.box;
    for (size_t i = 0; i < m_panels.size(); ++i)
        if (m_panels[i]->Name() == record.box) box = QStringLiteral("%1  %2").arg(i + 1).arg(record.box);
    QString step = record.failedStep;
    if (!record.passed && record.cause != Cause::None)
        step += QStringLiteral(" (%1)").arg(QLatin1String(CauseName(record.cause)));
    // A chip of a run that died: neither passed nor failed, its end unknown.
    const QString verdict = record.interrupted ? Utf8(text::kProductionResultInterrupted)
                            : record.passed    ? Utf8(text::kProdResultPass)
                                               : Utf8(text::kProdResultFail);
    const QString time = record.time.isEmpty() ? record.startTime : record.time;
    auto* item = new QTreeWidgetItem(QStringList{verdict, record.serial, box, step, ShortTime(time)});
    QFont bold = m_results->font();
    bold.setBold(true);
    item->setFont(0, bold);
    item->setForeground(0, QColor(record.interrupted ? "#3a2c00" : "#ffffff"));
    item->setBackground(0, QColor(record.interrupted ? "#f2b600" : record.passed ? "#1e8e3e" : "#c5221f"));
    item->setTextAlignment(0, Qt::AlignCenter);
    if (record.interrupted) item->setToolTip(0, Utf8(text::kProdInterruptedTip));
    else if (!record.passed) item->setToolTip(3, OperatorAdvice(record.cause));
    m_results->insertTopLevelItem(0, item);
    while (m_results->topLevelItemCount() > kShownResults)
        delete m_results->takeTopLevelItem(m_results->topLevelItemCount() - 1);
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
    // The setting file's rules: the address hexadecimal, the numbers
    // decimal or 0x... ("010" is ten, as in the file).
    uint64_t at = 0;
    if (!ParseNumber(Text(kSerialAddress).toStdString(), 16, UINT32_MAX, at)) return bad(kSerialAddress);
    rule.address = static_cast<uint32_t>(at);
    if (!ParseSerialValue(Text(kSerialFirst), rule.first)) return bad(kSerialFirst);
    if (!ParseSerialValue(Text(kSerialStep), rule.step)) return bad(kSerialStep);
    rule.last = UINT64_MAX;
    if (!Text(kSerialLast).trimmed().isEmpty() && !ParseSerialValue(Text(kSerialLast), rule.last))
        return bad(kSerialLast);
    const QString fileList = job.serial ? job.serial->listFile : QString();
    rule.listFile = BesideSettingFile(job, QDir::fromNativeSeparators(Text(kSerialList).trimmed()));
    job.listFromUser = rule.listFile != fileList;
    job.serial = rule;
    return true;
}

bool CProductionDlg::TakeControls(ProductionJob& job, ProductionOptions& options,
                                  std::string& error) const {
    if (!LoadProductionJob(QDir::fromNativeSeparators(Text(kSettingPath).trimmed()), job, error))
        return false;
    options = ProductionOptions{};
    options.poll = m_options.poll;
    job.dataDir = m_options.dataDir;
    options.lot = Text(kLot).trimmed();
    options.operatorName = Text(kOperator).trimmed();
    options.workOrder = Text(kWorkOrder).trimmed();
    // A locked window runs the file's job as the file says.
    if (m_options.locked) {
        for (const QString& spec : m_options.writers) options.writers.push_back(spec.toStdString());
        options.repeat = true;
        return true;
    }
    job.steps = step_bit::kErase;
    for (const StepBox& s : kStepBoxes)
        if (IsChecked(s.box)) job.steps |= s.bit;
    if (!TakeSerialRule(job, error)) return false;
    const QString log = QDir::fromNativeSeparators(Text(kLogPath).trimmed());
    const QString fileLog = LogFileOf(job);
    if (!log.isEmpty()) job.logFile = log;
    job.logFromUser = LogFileOf(job) != fileLog;  // typed in the window

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
    // The event stream is opened before anything runs: one that cannot be
    // written keeps the run from starting.
    if (const QString events = QDir::fromNativeSeparators(Text(kEventsPath).trimmed()); !events.isEmpty()) {
        std::string note;
        options.eventStream =
            CEventStream::Open(BesideSettingFile(job, events), error, CEventStream::kDefaultPatience, &note);
        if (!options.eventStream) {
            OnMessage({}, QString::fromStdString(error));
            return false;
        }
        if (!note.empty()) OnMessage({}, QString::fromStdString(note));
    }
    ProductionEvents events;
    // The boxes' threads report here through the event loop; a report still
    // on its way when the window goes is dropped with it.
    auto post = [this](auto&& call) {
        QMetaObject::invokeMethod(this, std::forward<decltype(call)>(call), Qt::QueuedConnection);
    };
    auto box = [](const std::string& name) { return QString::fromStdString(name); };
    events.onChip = [this, post](const ChipRecord& record) { post([this, record] { OnChip(record); }); };
    events.onMessage = [this, post, box](const std::string& b, MsgKind, const std::string& text) {
        post([this, b = box(b), t = QString::fromStdString(text)] { OnMessage(b, t); });
    };
    events.onState = [this, post, box](const std::string& b, BoxState state) {
        post([this, b = box(b), state] { OnState(b, state); });
    };
    events.onChipStart = [this, post, box](const std::string& b, const std::string& serial) {
        post([this, b = box(b), s = QString::fromStdString(serial)] {
            if (CBoxPanel* p = PanelOf(b)) p->OnChipStart(s);
        });
    };
    events.onStep = [this, post, box](const std::string& b, const JobStep& step, bool done, bool ok) {
        post([this, b = box(b), name = StepNameOf(step), done, ok] {
            if (CBoxPanel* p = PanelOf(b)) p->OnStep(name, done, ok);
        });
    };
    events.onProgress = [this, post, box](const std::string& b, int percent) {
        post([this, b = box(b), percent] {
            if (CBoxPanel* p = PanelOf(b)) p->OnProgress(percent);
        });
    };
    ApplyLot();
    m_nRunPassed = 0;
    m_nRunFailed = 0;
    m_lastFailure.reset();
    m_ending = {};
    m_bSummaryMarked = false;
    m_summary->setStyleSheet({});
    m_bSummaryAfterClose = false;
    m_bCloseWhenDone = false;
    m_job = job;
    SetText(kLogPath, QDir::toNativeSeparators(LogFileOf(job)));
    ShowLogTail(LogFileOf(job));
    m_messages->clear();
    m_summary->setText(Utf8(text::kProductionRunning));
    m_device->setText(Utf8(DeviceAt(job.deviceRow).name));
    ShowFiles(JobFileLines(job));
    ShowNextSerial(job);
    m_run = std::make_unique<CProductionRun>(std::move(job), std::move(options), std::move(events));
    MakePanels(CProductionRun::BoxNames(m_run->Options().writers));
    SetRunning(true);
    CProductionRun* run = m_run.get();
    m_worker = std::thread([this, run, post] {
        const bool prepared = run->Prepare();
        if (prepared) {
            // The files as the run loaded and hashed them, and the log it
            // writes (with the rows of chips a run that died left behind).
            QStringList files;
            for (const ProductionImage& image : run->Images())
                if (!image.path.isEmpty()) files << FileLine(image.name, image.path, image.sha256);
            post([this, files, log = run->LogPath()] {
                ShowFiles(files);
                ShowLogTail(log);
            });
            run->Run();
        }
        post([this, prepared] { OnFinished(prepared); });
    });
    return true;
}

void CProductionDlg::Stop() {
    if (!m_run || m_run->Stopping()) return;
    m_run->Stop();
    Enable(kStopButton, false);
    m_summary->setText(Utf8(m_bSummaryAfterClose ? text::kProdClosing : text::kProductionStopping));
}

void CProductionDlg::SetRunning(bool running) {
    const bool editable = !running && !m_options.locked;
    for (const int id : kJobControls) Enable(id, editable);
    for (const StepBox& s : kStepBoxes) Enable(s.box, editable);
    for (const int id : kRunFields) Enable(id, !running);
    Enable(kStartButton, !running);
    Enable(kStopButton, running);
    ApplySerialBox();
}

void CProductionDlg::ApplySerialBox() {
    const bool on = IsChecked(kSerialBox) && !IsRunning() && !m_options.locked;
    for (const int id : kSerialFields) Enable(id, on);
    // Figures in ASCII are written in reading order: the byte order is a binary encoding's.
    const auto encoding = static_cast<SerialEncoding>(ComboBox(kSerialEncoding)->currentIndex());
    if (encoding == SerialEncoding::AsciiDecimal || encoding == SerialEncoding::AsciiHex) Enable(kSerialOrder, false);
}

void CProductionDlg::ApplyLot() {
    const QString lot = Text(kLot).trimmed();
    if (lot == m_countedLot) return;
    m_countedLot = lot;
    m_nPassed = 0;
    m_nFailed = 0;
    ShowCounts();
}

void CProductionDlg::ShowCounts() {
    m_passed->setText(QString::number(m_nPassed));
    m_failed->setText(QString::number(m_nFailed));
    m_yield->setText(YieldText(m_nPassed, m_nFailed));
}

void CProductionDlg::MakePanels(const std::vector<std::string>& names) {
    bool same = names.size() == m_panels.size();
    for (size_t i = 0; same && i < names.size(); ++i)
        same = m_panels[i]->Name() == QString::fromStdString(names[i]);
    if (same) return;
    for (CBoxPanel* p : m_panels) delete p;
    m_panels.clear();
    const int n = static_cast<int>(names.size());
    const int columns = n <= 1 ? 1 : n <= 4 ? 2 : n <= 9 ? 3 : 4;
    const int rows = (n + columns - 1) / columns;
    // Every panel the same size, whatever its texts.
    for (int c = 0; c < m_panelGrid->columnCount(); ++c) m_panelGrid->setColumnStretch(c, c < columns ? 1 : 0);
    for (int r = 0; r < m_panelGrid->rowCount(); ++r) m_panelGrid->setRowStretch(r, r < rows ? 1 : 0);
    for (int i = 0; i < n; ++i) {
        auto* panel = new CBoxPanel(i + 1, QString::fromStdString(names[static_cast<size_t>(i)]), this);
        m_panelGrid->addWidget(panel, i / columns, i % columns);
        m_panelGrid->setColumnStretch(i % columns, 1);
        m_panelGrid->setRowStretch(i / columns, 1);
        m_panels.push_back(panel);
    }
}

CBoxPanel* CProductionDlg::PanelOf(const QString& box) const {
    for (CBoxPanel* p : m_panels)
        if (p->Name() == box) return p;
    return nullptr;
}

void CProductionDlg::ToggleFullScreen() {
    setWindowState(windowState() ^ Qt::WindowFullScreen);
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
    ++(record.passed ? m_nRunPassed : m_nRunFailed);
    if (!record.passed) m_lastFailure = record;
    ShowCounts();
    if (CBoxPanel* p = PanelOf(record.box)) p->OnChip(record);
    AddResult(record);
    if (m_job) ShowNextSerial(*m_job);
    m_options.sound(record.passed);
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
    m_messages->appendPlainText(box.isEmpty() ? text : QStringLiteral("[%1] %2").arg(box, text));
}

void CProductionDlg::OnState(const QString& box, BoxState state) {
    if (CBoxPanel* p = PanelOf(box)) p->OnState(state);
}

void CProductionDlg::OnFinished(bool prepared) {
    if (m_worker.joinable()) m_worker.join();
    if (prepared) m_ending = {m_run->Succeeded(), m_run->End(), m_run->BoxesLost(), m_run->Shortfall()};
    m_run.reset();
    SetRunning(false);
    if (m_job) ShowNextSerial(*m_job);
    ShowSummary(prepared);
    if (m_bCloseWhenDone) QDialog::done(0);
}

void CProductionDlg::ShowSummary(bool prepared) {
    m_bSummaryMarked = !prepared || !m_ending.succeeded || m_ending.lost > 0;
    m_summary->setStyleSheet(m_bSummaryMarked ? QStringLiteral("color: #b3261e; font-weight: bold;")
                                              : QStringLiteral("color: #1e7e34;"));
    if (!prepared) {
        m_summary->setText(Utf8(text::kProdNotStarted));
        return;
    }
    QString summary;
    const int chips = m_nRunPassed + m_nRunFailed;
    if (m_ending.succeeded)
        summary = chips > 0 ? QString::fromStdString(FormatText(text::kProdAllPassed, chips)) : Utf8(text::kProdNoChips);
    else
        summary = QString::fromStdString(FormatText(text::kProdSummary, m_nRunPassed, m_nRunFailed,
                                                    YieldText(m_nRunPassed, m_nRunFailed).toUtf8().constData()));
    // Why the run did not do all it was asked, and boxes lost on the way
    // (counted in the reason when they are why it stopped short).
    QStringList marked;
    if (!m_ending.succeeded) marked << QString::fromStdString(m_ending.shortfall);
    if (m_ending.lost > 0 && m_ending.end != RunEnd::BoxesLost)
        marked << QString::fromStdString(FormatText(text::kProdBoxesLost, m_ending.lost));
    if (!m_ending.succeeded)
        summary += u'\n' + QString::fromStdString(
                               FormatText(text::kProdShortfall, marked.join(QStringLiteral("  ")).toUtf8().constData()));
    else if (!marked.isEmpty())
        summary += u'\n' + marked.join(QStringLiteral("  "));
    if (m_lastFailure) {
        const ChipRecord& f = *m_lastFailure;
        summary += u'\n' + QString::fromStdString(FormatText(
                               text::kProdLastFailure, f.box.toUtf8().constData(),
                               f.serial.isEmpty() ? "-" : f.serial.toUtf8().constData(),
                               f.failedStep.toUtf8().constData(), OperatorAdvice(f.cause).toUtf8().constData()));
    }
    if (m_bSummaryAfterClose) summary += u'\n' + Utf8(text::kProdCloseAgain);
    m_summary->setText(summary);
}

void CProductionDlg::OnClose() {
    if (!IsRunning()) {
        QDialog::done(0);
        return;
    }
    // The first close stops the boxes and leaves the summary up; a second
    // one lets the window go as soon as the chips being programmed are done.
    if (m_bSummaryAfterClose) {
        m_bCloseWhenDone = true;
        return;
    }
    m_bSummaryAfterClose = true;
    Stop();
}

void CProductionDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

void CProductionDlg::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
            case Qt::Key_F5:
                if (IsEnabled(kStartButton)) static_cast<void>(Start());
                event->accept();
                return;
            case Qt::Key_Escape:
                Stop();
                event->accept();
                return;
            case Qt::Key_F11:
                ToggleFullScreen();
                event->accept();
                return;
            default: break;
        }
    }
    CResDialog::keyPressEvent(event);
}

}  // namespace oriole
