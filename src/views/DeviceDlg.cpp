#include "views/DeviceDlg.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

#include "link/LinkState.h"
#include "ops/MainSettings.h"
#include "res/Dialogs.h"
#include "res/Texts.h"
#include "views/ClockTable.h"
#include "views/FileFilters.h"
#include "views/FileSaveDlg.h"

namespace oriole {
namespace {

using namespace device_dlg;

constexpr int kDataSpeedCount = 4;
constexpr int kUsbTimingMax = 5;

// The pattern boxes and the fields they edit.
struct PatternBox {
    int id;
    QString CMainSettings::*field;
};
constexpr PatternBox kPatternBoxes[] = {
    {kFlashPatterns, &CMainSettings::m_strFlashExt},
    {kEepromPatterns, &CMainSettings::m_strEepromExt},
    {kFusePatterns, &CMainSettings::m_strFuseExt},
    {kLockPatterns, &CMainSettings::m_strLockExt},
};

// The wait cursor while a setting file is read or written.
class CWaitCursor {
public:
    CWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// Where the slider draws the tick of `value`: the middle of its handle
// standing there, in the slider's parent's coordinates. Asked of the style,
// since each style keeps its own margins at the groove's ends.
int TickCentre(const QSlider& slider, int value) {
    QStyleOptionSlider opt;
    opt.initFrom(&slider);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = slider.orientation();
    opt.minimum = slider.minimum();
    opt.maximum = slider.maximum();
    opt.tickPosition = slider.tickPosition();
    opt.tickInterval = slider.tickInterval();
    opt.upsideDown = slider.invertedAppearance() != (slider.layoutDirection() == Qt::RightToLeft);
    opt.direction = slider.layoutDirection();
    opt.sliderPosition = value;
    opt.sliderValue = value;
    opt.singleStep = slider.singleStep();
    opt.pageStep = slider.pageStep();
    const QRect handle =
        slider.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &slider);
    return slider.x() + handle.x() + handle.width() / 2;
}

// The static drawn right above the slider: its scale.
QLabel* ScaleAbove(const CControls& controls, const res::ControlDef& slider) {
    for (const CControls::Entry& e : controls.All()) {
        const res::DuRect& r = e.def->rect;
        const bool above = r.y < slider.rect.y && r.y + r.h > slider.rect.y;
        const bool overlaps = r.x < slider.rect.x + slider.rect.w && slider.rect.x < r.x + r.w;
        if (e.def->kind == res::Kind::Static && above && overlaps)
            return qobject_cast<QLabel*>(e.widget);
    }
    return nullptr;
}

}  // namespace

QString WithSettingFileExtension(const QString& path, bool setFilterActive) {
    if (!setFilterActive) return path;
    const QString name = QFileInfo(path).fileName();
    if (name.isEmpty() || name.contains(u'.')) return path;
    return path + QStringLiteral(".set");
}

bool AskSettingFileWithDialog(QWidget* parent, bool save, const QString& folder,
                              const QStringList& filters, SettingFileChoice& choice) {
    QFileDialog dialog(parent,
                       QString::fromUtf8(save ? text::kSettingFileSaveTitle : text::kSettingFileOpenTitle),
                       folder);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // A setting file is saved over without asking, as it always was.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    choice.path = chosen.first();
    choice.filterIndex = NameFilterIndex(filters, dialog.selectedNameFilter());
    return true;
}

CDeviceDlg::CDeviceDlg(CMainSettings& settings, CLinkState& link, SettingFileCalls files,
                       QWidget* parent)
    : CResDialog(res::kSettingsDialog, parent),
      m_settings(settings),
      m_link(link),
      m_files(std::move(files)) {
    FillClockList();
    QSlider* slider = Slider(kUsbTiming);
    slider->setRange(0, kUsbTimingMax);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    PlaceTimingScale();

    // The user's picks only: showing the settings selects an entry without
    // changing the clock.
    connect(ComboBox(kClockList), &QComboBox::activated, this, &CDeviceDlg::OnClockChosen);
    connect(Button(kClassicLook), &QAbstractButton::clicked, this,
            [this] { m_settings.m_nWindowStyle = 0; });
    connect(Button(kPlatformLook), &QAbstractButton::clicked, this,
            [this] { m_settings.m_nWindowStyle = 1; });
    connect(Button(kLoadFile), &QAbstractButton::clicked, this, &CDeviceDlg::OnLoadSettingFile);
    connect(Button(kSaveFile), &QAbstractButton::clicked, this, &CDeviceDlg::OnSaveSettingFile);
    connect(Button(kClose), &QAbstractButton::clicked, this, [this] {
        CommitControls();
        done(0);
    });
    connect(Button(kCancel), &QAbstractButton::clicked, this, [this] { done(1); });

    ShowSettings();
}

void CDeviceDlg::FillClockList() {
    for (const ClockEntry& entry : ClockTable)
        AddListItem(kClockList, QString::fromUtf8(entry.text), QVariant::fromValue(entry.hz));
}

void CDeviceDlg::PlaceTimingScale() {
    // The resource spaces the figures "0        1 ..." with blanks to stand
    // over the ticks, which holds only for the font it was drawn with. Each
    // figure gets a label of its own, centred on its tick instead, and the
    // text after the last figure follows it at the same distance as there.
    const QSlider* slider = Slider(kUsbTiming);
    QLabel* scale = ScaleAbove(*this, *Definition(kUsbTiming));
    if (!slider || !scale) return;
    const QStringList words = scale->text().split(u' ', Qt::SkipEmptyParts);
    const int figures = slider->maximum() - slider->minimum() + 1;
    if (words.size() < figures) return;
    for (int i = 0; i < figures; ++i)
        if (words[i] != QString::number(slider->minimum() + i)) return;

    const QFontMetrics metrics(scale->font());
    const QRect area = scale->geometry();
    int widest = 0;
    for (int i = 0; i < figures; ++i) widest = std::max(widest, metrics.horizontalAdvance(words[i]));
    const int boxWidth = widest + 2;
    int lastRight = area.x();
    for (int i = 0; i < figures; ++i) {
        auto* figure = new QLabel(words[i], this);
        figure->setObjectName(QStringLiteral("scale%1").arg(i));
        figure->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        const int centre = TickCentre(*slider, slider->minimum() + i);
        figure->setGeometry(centre - boxWidth / 2, area.y(), boxWidth, area.height());
        lastRight = centre + (metrics.horizontalAdvance(words[i]) + 1) / 2;
    }
    const QString tail = words.mid(figures).join(u' ');
    if (!tail.isEmpty()) {
        // As many blanks between the last figure and the tail as the resource has.
        const QString text = scale->text();
        const qsizetype tailAt = text.lastIndexOf(tail);
        const QString& last = words[figures - 1];
        const qsizetype lastEnd = text.lastIndexOf(last, tailAt - 1) + last.size();
        const int blanks = static_cast<int>(tailAt - lastEnd);
        auto* after = new QLabel(tail, this);
        after->setObjectName(QStringLiteral("scaleTail"));
        after->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const int x = lastRight + metrics.horizontalAdvance(QString(std::max(blanks, 1), u' '));
        after->setGeometry(x, area.y(), std::min(metrics.horizontalAdvance(tail) + 2, width() - x),
                           area.height());
    }
    scale->hide();
}

void CDeviceDlg::ShowSettings() {
    QComboBox* clocks = ComboBox(kClockList);
    const int entry = clocks->findData(QVariant::fromValue(m_link.m_nSysFreq));
    clocks->setCurrentIndex(entry >= 0 ? entry : 0);

    Slider(kUsbTiming)->setValue(m_link.m_nUsbTiming);  // out of range: the nearer end

    const int speed = m_link.m_nDataSpeed;
    const int radio = speed >= 1 && speed < kDataSpeedCount ? speed - 1 : kDataSpeedCount - 1;
    SetChecked(kDataSpeed1 + radio, true);  // the group clears the others

    for (const PatternBox& box : kPatternBoxes) SetText(box.id, m_settings.*(box.field));

    SetChecked(kClassicLook, m_settings.m_nWindowStyle == 0);
    SetChecked(kPlatformLook, m_settings.m_nWindowStyle != 0);
}

void CDeviceDlg::CommitControls() {
    m_link.m_nUsbTiming = Slider(kUsbTiming)->value();
    for (int i = 0; i < kDataSpeedCount; ++i) {
        if (IsChecked(kDataSpeed1 + i)) {
            m_link.m_nDataSpeed = i + 1;
            break;
        }
    }
    for (const PatternBox& box : kPatternBoxes) m_settings.*(box.field) = Text(box.id);
}

void CDeviceDlg::closeEvent(QCloseEvent* event) {
    CommitControls();
    CResDialog::closeEvent(event);  // closes with result 0
}

void CDeviceDlg::OnClockChosen(int index) {
    m_link.m_nSysFreq = ComboBox(kClockList)->itemData(index).toUInt();
}

bool CDeviceDlg::AskSettingFile(bool save) {
    const QStringList filters = NameFiltersFromPipeList(QString::fromUtf8(text::kSettingFileFilter));
    SettingFileChoice choice;
    if (!m_askFile ||
        !m_askFile(this, save, SaveStartFolder(m_settings.m_strSettingFile), filters, choice) ||
        choice.path.isEmpty())
        return false;
    m_settings.m_strSettingFile = WithSettingFileExtension(choice.path, choice.filterIndex == 0);
    return true;
}

void CDeviceDlg::OnLoadSettingFile() {
    static_cast<void>(m_busy.Run([this] {
        if (!AskSettingFile(false)) return;
        // A copy: the load replaces m_strSettingFile with the file's own.
        const QString path = m_settings.m_strSettingFile;
        {
            CWaitCursor wait;
            if (m_files.load) m_files.load(path);
        }
        ShowSettings();
    }));
}

void CDeviceDlg::OnSaveSettingFile() {
    static_cast<void>(m_busy.Run([this] {
        if (!AskSettingFile(true)) return;
        CommitControls();
        const QString path = m_settings.m_strSettingFile;
        CWaitCursor wait;
        if (m_files.save) m_files.save(path);
    }));
}

}  // namespace oriole
