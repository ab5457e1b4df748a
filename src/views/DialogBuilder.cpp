#include "views/DialogBuilder.h"

#include <algorithm>
#include <cstdint>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>

#include "res/Dialogs.h"
#include "views/DialogFont.h"
#include "views/TextFit.h"

namespace oriole {
namespace {

using res::Kind;
namespace ctl = res::ctl;

bool Has(const res::ControlDef& def, uint32_t bit) {
    return (def.style & bit) != 0;
}

Qt::Alignment HorizontalAlignment(const res::ControlDef& def) {
    if (Has(def, ctl::kCenter)) return Qt::AlignHCenter;
    if (Has(def, ctl::kRight)) return Qt::AlignRight;
    return Qt::AlignLeft;
}

QWidget* MakeEdit(const res::ControlDef& def, const QString& text, QWidget* host) {
    if (Has(def, ctl::kMultiLine)) {
        auto* box = new QPlainTextEdit(text, host);
        box->setReadOnly(Has(def, ctl::kReadOnly));
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setVerticalScrollBarPolicy(Has(def, ctl::kVScroll) ? Qt::ScrollBarAlwaysOn
                                                                : Qt::ScrollBarAlwaysOff);
        box->setLineWrapMode(Has(def, ctl::kAutoHScroll) ? QPlainTextEdit::NoWrap
                                                         : QPlainTextEdit::WidgetWidth);
        return box;
    }
    auto* edit = new QLineEdit(text, host);
    edit->setReadOnly(Has(def, ctl::kReadOnly));
    edit->setAlignment(HorizontalAlignment(def) | Qt::AlignVCenter);
    if (Has(def, ctl::kNumber)) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    return edit;
}

QWidget* MakeStatic(const res::ControlDef& def, const QString& text, QWidget* host) {
    auto* label = new QLabel(host);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setAlignment(HorizontalAlignment(def) |
                        (Has(def, ctl::kVCenter) ? Qt::AlignVCenter : Qt::AlignTop));
    if (Has(def, ctl::kSunken)) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

QWidget* MakePicture(const res::ControlDef& def, QWidget* host) {
    auto* label = new QLabel(host);
    // Bitmaps come from the application's Qt resources when it has them.
    const QPixmap pixmap(QStringLiteral(":/bitmaps/%1.png").arg(def.image));
    if (!pixmap.isNull()) {
        label->setPixmap(pixmap);
        label->setScaledContents(true);
    }
    return label;
}

// A flat toggle: a thin frame, sunken colours while pressed. Qt's own flat
// buttons draw no frame at all, which leaves a bare "0" or "1".
constexpr char kFlatToggleStyle[] =
    "QPushButton { border: 1px solid palette(dark); background: palette(base); padding: 0; }"
    "QPushButton:checked { background: palette(mid); }"
    "QPushButton:disabled { color: palette(mid); border-color: palette(midlight); }";

QPushButton* MakePushButton(const QString& text, QWidget* host) {
    auto* button = new QPushButton(text, host);
    // Enter is the dialog's business (CResDialog), not each button's.
    button->setAutoDefault(false);
    return button;
}

QWidget* MakeButton(const res::ControlDef& def, const QString& text, QWidget* host) {
    switch (def.kind) {
        case Kind::DefPushButton: {
            QPushButton* button = MakePushButton(text, host);
            button->setDefault(true);
            return button;
        }
        case Kind::CheckBox: {
            if (!Has(def, ctl::kPushLike)) return new QCheckBox(text, host);
            QPushButton* button = MakePushButton(text, host);
            button->setCheckable(true);
            if (Has(def, ctl::kFlat)) button->setStyleSheet(QString::fromLatin1(kFlatToggleStyle));
            return button;
        }
        case Kind::RadioButton:
            return new QRadioButton(text, host);
        default:
            return MakePushButton(text, host);
    }
}

// Tab stops take the focus by tab and click; other controls that can take it
// only by click; labels, frames, pictures and bars never.
Qt::FocusPolicy FocusPolicyFor(const res::ControlDef& def) {
    switch (def.kind) {
        case Kind::Static:
        case Kind::GroupBox:
        case Kind::Picture:
        case Kind::ProgressBar:
            return Qt::NoFocus;
        default:
            return Has(def, ctl::kTabStop) ? Qt::StrongFocus : Qt::ClickFocus;
    }
}

// Fractions compared without rounding.
bool Wider(const DialogScale& a, const DialogScale& b) {
    return int64_t{a.xNum} * b.xDen > int64_t{b.xNum} * a.xDen;
}

// Every text of every table, in one string, for measuring their ink.
const QString& AllTableTexts() {
    static const QString texts = [] {
        QString all;
        for (const res::DialogDef* d : res::AllDialogs())
            for (const res::ControlDef& c : d->controls) all += QString::fromUtf8(c.text);
        return all;
    }();
    return texts;
}

}  // namespace

CDialogBuilder::CDialogBuilder(const res::DialogDef& dialog)
    : m_dialog(dialog),
      m_font(ChooseDialogFont(dialog.fontFace, dialog.fontPoints)),
      m_base(BaseUnitsOf(m_font)) {}

QRect CDialogBuilder::ToPixels(const DialogScale& scale, const res::DuRect& rect) {
    const PixelRect r = DuToPixels(scale, rect);
    return {r.x, r.y, r.w, r.h};
}

QWidget* CDialogBuilder::Create(const res::ControlDef& def, QWidget* host) const {
    const QString text = QString::fromUtf8(def.text);
    switch (def.kind) {
        case Kind::PushButton:
        case Kind::DefPushButton:
        case Kind::CheckBox:
        case Kind::RadioButton:
            return MakeButton(def, text, host);
        case Kind::Edit:
            return MakeEdit(def, text, host);
        case Kind::Static:
            return MakeStatic(def, text, host);
        case Kind::GroupBox:
            return new QGroupBox(text, host);
        case Kind::DropDownList: {
            auto* combo = new QComboBox(host);
            combo->setEditable(false);
            return combo;
        }
        case Kind::ListBox:
            return new QListWidget(host);
        case Kind::ScrollBar: {
            auto* bar =
                new QScrollBar(Has(def, ctl::kVertical) ? Qt::Vertical : Qt::Horizontal, host);
            bar->setRange(0, 0);
            return bar;
        }
        case Kind::Slider: {
            auto* slider =
                new QSlider(Has(def, ctl::kVertical) ? Qt::Vertical : Qt::Horizontal, host);
            slider->setRange(0, 100);
            if (Has(def, ctl::kTicksTop)) {
                slider->setTickPosition(QSlider::TicksAbove);
                slider->setTickInterval(1);
            }
            return slider;
        }
        case Kind::ProgressBar: {
            auto* bar = new QProgressBar(host);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            return bar;
        }
        case Kind::Picture:
            return MakePicture(def, host);
    }
    return new QWidget(host);
}

void CDialogBuilder::Build(QWidget* host, CControls& controls) const {
    host->setFont(m_font);
    if (m_dialog.caption[0] != '\0') host->setWindowTitle(QString::fromUtf8(m_dialog.caption));

    QButtonGroup* radioGroup = nullptr;
    QLabel* pendingBuddy = nullptr;  // a label with a mnemonic waits for the next control
    for (const res::ControlDef& def : m_dialog.controls) {
        QWidget* widget = Create(def, host);
        widget->setFocusPolicy(FocusPolicyFor(def));
        if (Has(def, ctl::kDisabled)) widget->setEnabled(false);
        if (Has(def, ctl::kHidden)) widget->setVisible(false);

        if (pendingBuddy && def.kind != Kind::Static && def.kind != Kind::GroupBox) {
            pendingBuddy->setBuddy(widget);
            pendingBuddy = nullptr;
        }
        if (def.kind == Kind::Static && QString::fromUtf8(def.text).contains(u'&'))
            pendingBuddy = static_cast<QLabel*>(widget);

        CControls::Entry entry{&def, widget, nullptr};
        if (def.kind == Kind::RadioButton) {
            if (Has(def, ctl::kGroup) || !radioGroup) {
                radioGroup = new QButtonGroup(host);
                radioGroup->setExclusive(true);
            }
            radioGroup->addButton(static_cast<QAbstractButton*>(widget), def.id);
            entry.radioGroup = radioGroup;
        } else {
            radioGroup = nullptr;
        }
        if (def.id != res::kNoId && !controls.m_byId.contains(def.id))
            controls.m_byId.insert(def.id, controls.m_all.size());
        controls.m_all.push_back(entry);
    }
    // Frames are drawn under the controls they surround.
    for (const CControls::Entry& e : controls.m_all)
        if (e.def->kind == Kind::GroupBox) e.widget->lower();

    DialogScale scale = ScaleOf(m_base);
    if (m_bFitTexts) scale = m_bShared ? SharedScale() : WithInkHeight(scale);
    Place(host, controls, scale);
    if (m_bFitTexts) {
        const DialogScale fitted = FitTexts(controls, scale);
        if (fitted != scale) {
            scale = fitted;
            Place(host, controls, scale);
        }
    }
    controls.m_scale = scale;
}

DialogScale CDialogBuilder::SharedScale() const {
    // One entry per font and style: the style's check boxes and frames take
    // room of their own.
    static QHash<QString, DialogScale> known;
    const QStyle* style = QApplication::style();
    const QString key = m_font.key() + u'|' + (style ? style->name() : QString());
    if (const auto it = known.constFind(key); it != known.constEnd()) return *it;

    DialogScale shared = WithInkHeight(ScaleOf(m_base));
    for (const res::DialogDef* d : res::AllDialogs()) {
        CDialogBuilder own(*d);
        own.m_bShared = false;
        QWidget host;
        CControls controls;
        own.Build(&host, controls);
        if (Wider(controls.m_scale, shared)) {
            shared.xNum = controls.m_scale.xNum;
            shared.xDen = controls.m_scale.xDen;
        }
    }
    known.insert(key, shared);
    return shared;
}

DialogScale CDialogBuilder::WithInkHeight(DialogScale scale) const {
    const int ink = QFontMetrics(m_font).tightBoundingRect(AllTableTexts()).height();
    scale.yNum = std::max(ink, 1);
    scale.yDen = 8;
    return scale;
}

void CDialogBuilder::Place(QWidget* host, const CControls& controls,
                           const DialogScale& scale) const {
    host->setFixedSize(DuToPixelsX(scale, m_dialog.width), DuToPixelsY(scale, m_dialog.height));
    const int lineBox = QFontMetrics(m_font).height();
    for (const CControls::Entry& e : controls.m_all) {
        QRect rect = ToPixels(scale, e.def->rect);
        // A label draws its text from the top of the font's line box.
        if (e.def->kind == Kind::Static && m_bFitTexts)
            rect.setHeight(std::max(rect.height(), lineBox));
        if (e.def->kind == Kind::DropDownList) {
            // The table's height includes the opened list.
            const int closed = ToPixels(scale, res::RestingRect(*e.def)).height();
            const int itemHeight = QFontMetrics(m_font).height() + 2;
            static_cast<QComboBox*>(e.widget)->setMaxVisibleItems(
                std::max(1, (rect.height() - closed) / itemHeight));
            rect.setHeight(closed);
        }
        e.widget->setGeometry(rect);
    }
    KeepTicksOffLabels(controls);
}

void CDialogBuilder::KeepTicksOffLabels(const CControls& controls) const {
    // The tables put a slider's tick marks right under the scale printed
    // above it. A font with a tall ascent (Noto CJK's is about 1.16 em) sets
    // those figures lower than the tables' font did, and the ticks would
    // cross their feet: such a slider moves down until it is clear of them.
    constexpr int kAir = 3;  // pixels between the figures and the tick marks
    const QFontMetrics metrics(m_font);
    for (const CControls::Entry& slider : controls.m_all) {
        if (slider.def->kind != Kind::Slider || !Has(*slider.def, ctl::kTicksTop)) continue;
        QRect rect = slider.widget->geometry();
        int textBottom = rect.top();
        for (const CControls::Entry& label : controls.m_all) {
            if (label.def->kind != Kind::Static || label.def->text[0] == '\0') continue;
            const QRect l = label.widget->geometry();
            if (l.top() >= rect.top() || l.right() < rect.left() || l.left() > rect.right()) continue;
            textBottom = std::max(textBottom, l.top() + metrics.ascent() + kAir);
        }
        if (textBottom > rect.top()) {
            rect.moveTop(textBottom);
            slider.widget->setGeometry(rect);
        }
    }
}

DialogScale CDialogBuilder::FitTexts(const CControls& controls, DialogScale scale) const {
    constexpr int kSteps = 16;  // sixteenths of a pixel per base unit
    DialogScale fine{scale.xNum * kSteps, scale.xDen * kSteps, scale.yNum, scale.yDen};
    const int limit = fine.xNum * 2;  // never more than twice as wide
    int needed = fine.xNum;
    for (const CControls::Entry& e : controls.m_all) {
        const int over = TextOverflow(e.widget);
        if (over <= 0 || e.def->rect.w <= 0) continue;
        const int wantPixels = e.widget->width() + over;
        // Smallest xNum with rect.w * xNum / xDen >= wantPixels.
        const int64_t num = static_cast<int64_t>(wantPixels) * fine.xDen;
        const int x = static_cast<int>((num + e.def->rect.w - 1) / e.def->rect.w);
        needed = std::max(needed, std::min(x, limit));
    }
    if (needed == fine.xNum) return scale;
    fine.xNum = needed;
    return fine;
}

}  // namespace oriole
