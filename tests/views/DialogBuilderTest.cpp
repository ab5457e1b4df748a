// The builder against every table: the right widget for each kind at the
// right place with the right text and state, the font, the text fitting,
// radio groups and list order.

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>

#include "QtApp.h"
#include "res/Dialogs.h"
#include "views/DialogBuilder.h"
#include "views/DialogFont.h"
#include "views/ResDialog.h"
#include "views/TextFit.h"

namespace oriole {
namespace {

using res::Kind;

class DialogBuilderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureQtApp(); }
};

bool WidgetMatchesKind(const res::ControlDef& def, QWidget* w) {
    switch (def.kind) {
        case Kind::PushButton:
        case Kind::DefPushButton:
            return qobject_cast<QPushButton*>(w) && !static_cast<QPushButton*>(w)->isCheckable();
        case Kind::CheckBox:
            if (def.style & res::ctl::kPushLike)
                return qobject_cast<QPushButton*>(w) && static_cast<QPushButton*>(w)->isCheckable();
            return qobject_cast<QCheckBox*>(w) != nullptr;
        case Kind::RadioButton:
            return qobject_cast<QRadioButton*>(w) != nullptr;
        case Kind::Edit:
            if (def.style & res::ctl::kMultiLine)
                return qobject_cast<QPlainTextEdit*>(w) != nullptr;
            return qobject_cast<QLineEdit*>(w) != nullptr;
        case Kind::Static:
        case Kind::Picture:
            return qobject_cast<QLabel*>(w) != nullptr;
        case Kind::GroupBox:
            return qobject_cast<QGroupBox*>(w) != nullptr;
        case Kind::DropDownList:
            return qobject_cast<QComboBox*>(w) && !static_cast<QComboBox*>(w)->isEditable();
        case Kind::ScrollBar:
            return qobject_cast<QScrollBar*>(w) != nullptr;
        case Kind::Slider:
            return qobject_cast<QSlider*>(w) != nullptr;
        case Kind::ProgressBar:
            return qobject_cast<QProgressBar*>(w) != nullptr;
        case Kind::ListBox:
            return false;  // no table has one yet
    }
    return false;
}

bool IsReadOnly(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->isReadOnly();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) return t->isReadOnly();
    return false;
}

TEST_F(DialogBuilderTest, EveryControlOfEveryTableIsBuiltAsWritten) {
    for (const res::DialogDef* d : res::AllDialogs()) {
        CResWidget host(*d);
        const DialogScale& scale = host.Scale();
        ASSERT_EQ(host.All().size(), d->controls.size()) << d->resourceId;
        EXPECT_EQ(host.size(), QSize(DuToPixelsX(scale, d->width), DuToPixelsY(scale, d->height)));
        for (size_t i = 0; i < d->controls.size(); ++i) {
            const res::ControlDef& def = d->controls[i];
            QWidget* w = host.All()[i].widget;
            SCOPED_TRACE(testing::Message()
                         << d->resourceId << " control " << def.id << " \"" << def.text << "\"");
            EXPECT_EQ(host.All()[i].def, &def);
            EXPECT_EQ(w->parentWidget(), &host);
            EXPECT_TRUE(WidgetMatchesKind(def, w));
            if (def.id != res::kNoId) {
                EXPECT_EQ(host.Control(def.id), w);
            }

            QRect expected = CDialogBuilder::ToPixels(scale, res::RestingRect(def));
            // A label is at least one line of its font high.
            if (def.kind == Kind::Static)
                expected.setHeight(std::max(expected.height(), w->fontMetrics().height()));
            // A slider with ticks above may sit lower, clear of the label over it.
            if (def.kind == Kind::Slider && (def.style & res::ctl::kTicksTop) &&
                w->y() > expected.y())
                expected.moveTop(w->y());
            EXPECT_EQ(w->geometry(), expected);

            if (def.kind != Kind::DropDownList && def.kind != Kind::ScrollBar &&
                def.kind != Kind::Slider && def.kind != Kind::ProgressBar) {
                EXPECT_EQ(WidgetText(w), QString::fromUtf8(def.text));
            }
            EXPECT_EQ(w->isHidden(), (def.style & res::ctl::kHidden) != 0);
            EXPECT_EQ(w->isEnabled(), (def.style & res::ctl::kDisabled) == 0);
            EXPECT_EQ(IsReadOnly(w), (def.style & res::ctl::kReadOnly) != 0);
            if (def.style & res::ctl::kTabStop) {
                EXPECT_EQ(w->focusPolicy(), Qt::StrongFocus);
            }
        }
    }
}

TEST_F(DialogBuilderTest, SampleControlsKeepTheirDetails) {
    CResDialog main(res::kMainDialog);
    EXPECT_EQ(main.windowTitle(), QStringLiteral("ORIOLE Ver.1.3.0.2"));
    ASSERT_NE(main.LineEdit(1015), nullptr);
    EXPECT_TRUE(main.LineEdit(1015)->alignment() & Qt::AlignHCenter);
    ASSERT_NE(main.Label(1150), nullptr);
    EXPECT_TRUE(main.Label(1150)->alignment() & Qt::AlignRight);
    EXPECT_EQ(main.Text(1150), QStringLiteral("EEPROMアドレス"));
    EXPECT_EQ(main.Button(1109)->text(), QStringLiteral("自動検出"));
    EXPECT_EQ(main.LineEdit(1046), nullptr);  // a button, not an edit

    CResDialog settings(res::kSettingsDialog);
    EXPECT_TRUE(settings.Control(1144)->isHidden());
    EXPECT_FALSE(settings.Control(1143)->isHidden());
    ASSERT_NE(settings.Slider(1160), nullptr);
    EXPECT_EQ(settings.Slider(1160)->tickPosition(), QSlider::TicksAbove);

    CResDialog progress(res::kProgressDialog);
    EXPECT_EQ(progress.Text(1052), QStringLiteral("Static"));
    EXPECT_EQ(progress.Label(1052)->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_FALSE(progress.ProgressBar(1053)->isTextVisible());

    CResDialog batch(res::kBatchDialog);
    EXPECT_EQ(batch.TextBox(1067)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(batch.TextBox(1067)->lineWrapMode(), QPlainTextEdit::WidgetWidth);

    CResDialog eeprom(res::kEepromViewDialog);
    EXPECT_EQ(eeprom.TextBox(1042)->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(eeprom.TextBox(1040)->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(eeprom.ScrollBar(1041)->orientation(), Qt::Vertical);

    CResDialog fuse(res::kFuseDialog);
    QAbstractButton* bit = fuse.Button(1098);
    ASSERT_NE(bit, nullptr);
    EXPECT_TRUE(bit->isCheckable());
    bit->click();
    EXPECT_TRUE(fuse.IsChecked(1098));
    EXPECT_EQ(fuse.windowTitle(), QStringLiteral("ヒューズ"));

    // The label's mnemonic leads to the list after it.
    CResWidget format(res::kSaveFormatTemplate);
    EXPECT_EQ(static_cast<QLabel*>(format.All()[0].widget)->buddy(), format.Control(1132));
}

TEST_F(DialogBuilderTest, TheDialogFontDrawsEveryTextOfEveryTable) {
    for (const res::DialogDef* d : res::AllDialogs()) {
        const CDialogBuilder builder(*d);
        EXPECT_EQ(builder.Font().pointSize(), d->fontPoints);
        const std::string family = QFontInfo(builder.Font()).family().toStdString();
        for (const res::ControlDef& c : d->controls) {
            EXPECT_TRUE(FontDrawsText(builder.Font(), QString::fromUtf8(c.text)))
                << d->resourceId << " \"" << c.text << "\" in " << family;
        }
        EXPECT_TRUE(FontDrawsText(builder.Font(), QString::fromUtf8(d->caption)));
    }
}

TEST_F(DialogBuilderTest, AMissingFaceFallsBackToAJapaneseFont) {
    const QFont font = ChooseDialogFont("No Such Face 1234", 9);
    EXPECT_NE(QFontInfo(font).family(), QStringLiteral("No Such Face 1234"));
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_TRUE(FontDrawsText(font, QStringLiteral("デバイス消去（必須）ｆ ≧")));
    // A Latin-only font lacks the glyphs, and the check says so.
    const QFont latin(QStringLiteral("DejaVu Sans"), 9);
    if (QFontInfo(latin).family() == QStringLiteral("DejaVu Sans")) {
        EXPECT_FALSE(FontDrawsText(latin, QStringLiteral("消去")));
        EXPECT_TRUE(FontDrawsText(latin, QStringLiteral("FLASH\r\n")));
    }
}

// Where the largest window must fit: a 1366 x 768 screen less a panel of 48
// pixels and a title bar with frame of 32.
constexpr QSize kScreenRoom(1366 - 16, 768 - 48 - 32);

TEST_F(DialogBuilderTest, OneScaleForEveryWindowNoTextCutOffAllFitTheScreen) {
    const DialogScale shared = CResWidget(res::kMainDialog).Scale();
    for (const res::DialogDef* d : res::AllDialogs()) {
        CResWidget host(*d);
        SCOPED_TRACE(d->resourceId);
        EXPECT_EQ(host.Scale(), shared);
        const DialogScale plain = ScaleOf(CDialogBuilder(*d).BaseUnits());
        // Widening only ever widens, and at most doubles the unit.
        EXPECT_GE(int64_t{shared.xNum} * plain.xDen, int64_t{plain.xNum} * shared.xDen);
        EXPECT_LE(int64_t{shared.xNum} * plain.xDen, 2 * int64_t{plain.xNum} * shared.xDen);
        EXPECT_LE(host.width(), kScreenRoom.width());
        EXPECT_LE(host.height(), kScreenRoom.height());
        for (const CControls::Entry& e : host.All()) {
            EXPECT_LE(TextOverflow(e.widget), 0) << " \"" << WidgetText(e.widget).toStdString() << "\"";
            EXPECT_TRUE(host.rect().contains(e.widget->geometry())) << e.def->id << " " << e.def->text;
            // Tick marks above a slider stay off the figures printed over it.
            if (e.def->kind != Kind::Slider || !(e.def->style & res::ctl::kTicksTop)) continue;
            for (const CControls::Entry& l : host.All()) {
                const QRect over = l.widget->geometry();
                if (l.def->kind != Kind::Static || over.top() >= e.widget->y() ||
                    over.right() < e.widget->x() || over.left() > e.widget->geometry().right())
                    continue;
                EXPECT_GT(e.widget->y(), over.top() + QFontMetrics(l.widget->font()).ascent())
                    << l.def->text;
            }
        }
    }
}

// The production window came after the original layout: its texts need no
// wider unit and no taller ink than the original tables', so every original
// window keeps its pixels.
TEST_F(DialogBuilderTest, TheProductionWindowLeavesTheSharedScaleAsTheOriginalTablesSetIt) {
    CResWidget ours(res::kProductionDialog);
    const DialogScale shared = ours.Scale();
    const DialogScale plain = ScaleOf(CDialogBuilder(res::kProductionDialog).BaseUnits());
    const bool widened = int64_t{shared.xNum} * plain.xDen > int64_t{plain.xNum} * shared.xDen;
    for (const CControls::Entry& e : ours.All()) {
        if (e.def->text[0] == '\0' || e.def->rect.w <= 0) continue;
        const int needPixels = e.widget->width() + TextOverflow(e.widget);
        // The unit this control alone would need, in the shared scale's steps.
        const int64_t needNum =
            (int64_t{needPixels} * shared.xDen + e.def->rect.w - 1) / e.def->rect.w;
        if (widened) {
            EXPECT_LT(needNum, shared.xNum) << e.def->id << " \"" << e.def->text << "\"";
        }
    }
    QString original;
    QString production;
    for (const res::DialogDef* d : res::AllDialogs())
        for (const res::ControlDef& c : d->controls)
            (d == &res::kProductionDialog ? production : original) += QString::fromUtf8(c.text);
    const QFontMetrics metrics(CDialogBuilder(res::kProductionDialog).Font());
    const QRect originalInk = metrics.tightBoundingRect(original);
    const QRect productionInk = metrics.tightBoundingRect(production);
    EXPECT_GE(productionInk.top(), originalInk.top());
    EXPECT_LE(productionInk.bottom(), originalInk.bottom());
}

// A table whose label cannot hold its text at the plain rule.
constexpr res::ControlDef kTightControls[] = {
    {10, Kind::Static, "ロックビット ベリファイ", {4, 4, 40, 8}, res::ctl::kNone},
    {11, Kind::PushButton, "OK", {70, 4, 40, 14}, res::ctl::kTabStop},
};
constexpr res::DialogDef kTight{.resourceId = 900,
                                .caption = "tight",
                                .width = 120,
                                .height = 24,
                                .fontFace = "MS UI Gothic",
                                .fontPoints = 9,
                                .style = res::dlg::kNone,
                                .controls = kTightControls};

TEST_F(DialogBuilderTest, FittingWidensTheHorizontalUnitUntilTheTextFits) {
    QWidget plainHost;
    CControls plain;
    CDialogBuilder unfitted(kTight);
    unfitted.SetFitTexts(false);
    unfitted.Build(&plainHost, plain);
    EXPECT_EQ(plain.Scale(), ScaleOf(unfitted.BaseUnits()));
    EXPECT_GT(TextOverflow(plain.Control(10)), 0);

    CResWidget fitted(kTight);
    EXPECT_LE(TextOverflow(fitted.Control(10)), 0);
    EXPECT_GT(fitted.width(), plainHost.width());
    // Wider than the program's own scale, which does not fit this text.
    EXPECT_GT(fitted.width(), DuToPixelsX(CDialogBuilder(kTight).SharedScale(), kTight.width));
    EXPECT_EQ(fitted.height(), DuToPixelsY(fitted.Scale(), kTight.height));
    // Positions stay proportional: the button still starts 70 units in.
    EXPECT_EQ(fitted.Control(11)->x(), DuToPixelsX(fitted.Scale(), 70));
    EXPECT_GT(fitted.Control(11)->x(), plain.Control(11)->x());
}

TEST_F(DialogBuilderTest, RadioGroupsAreSeparateAndExclusive) {
    CResDialog settings(res::kSettingsDialog);
    QButtonGroup* speed = settings.RadioGroup(1169);
    QButtonGroup* style = settings.RadioGroup(1212);
    ASSERT_NE(speed, nullptr);
    ASSERT_NE(style, nullptr);
    EXPECT_NE(speed, style);
    for (int id : {1170, 1171, 1172}) {
        EXPECT_EQ(settings.RadioGroup(id), speed);
    }
    EXPECT_EQ(settings.RadioGroup(1213), style);
    EXPECT_EQ(settings.RadioGroup(1143), nullptr);
    EXPECT_EQ(speed->buttons().size(), 4);
    EXPECT_EQ(speed->id(settings.Button(1171)), 1171);

    settings.SetChecked(1169, true);
    settings.SetChecked(1212, true);
    EXPECT_TRUE(settings.IsChecked(1169));  // the other group leaves it alone
    settings.SetChecked(1172, true);        // hidden radios still work
    EXPECT_FALSE(settings.IsChecked(1169));
    EXPECT_TRUE(settings.IsChecked(1212));
    settings.SetChecked(1213, true);
    EXPECT_FALSE(settings.IsChecked(1212));
    EXPECT_EQ(style->checkedId(), 1213);
}

TEST_F(DialogBuilderTest, SortedListsInsertInOrderWithoutRegardToCase) {
    CResDialog main(res::kMainDialog);  // 1011 is sorted
    struct Row {
        const char* text;
        int data;
    };
    const Row rows[] = {{"ATmega8", 55},  {"(auto)", 0},      {"attiny13", 7},
                        {"AT90S1200", 1}, {"ATmega8515", 54}, {"ATmega48", 83}};
    for (const Row& r : rows) {
        EXPECT_GE(main.AddListItem(1011, QString::fromUtf8(r.text), r.data), 0);
    }
    QComboBox* list = main.ComboBox(1011);
    const QStringList expectedOrder = {"(auto)",  "AT90S1200",  "ATmega48",
                                       "ATmega8", "ATmega8515", "attiny13"};
    ASSERT_EQ(list->count(), expectedOrder.size());
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(list->itemText(i), expectedOrder[i]);
    }
    EXPECT_EQ(list->itemData(0).toInt(), 0);
    EXPECT_EQ(list->itemData(3).toInt(), 55);

    CResDialog settings(res::kSettingsDialog);  // 1129 keeps the order given
    EXPECT_EQ(settings.AddListItem(1129, QStringLiteral("1MHz"), 1000000), 0);
    EXPECT_EQ(settings.AddListItem(1129, QStringLiteral("900KHz"), 900000), 1);
    EXPECT_EQ(settings.AddListItem(1129, QStringLiteral("10KHz"), 10000), 2);
    EXPECT_EQ(settings.AddListItem(1143, QStringLiteral("x")), -1);  // not a list
    EXPECT_EQ(settings.AddListItem(4242, QStringLiteral("x")), -1);  // no such control
}

TEST_F(DialogBuilderTest, GenericAccessorsFollowTheKind) {
    CResDialog calib(res::kCalibDialog);
    calib.SetText(1135, QStringLiteral("A5"));
    EXPECT_EQ(calib.Text(1135), QStringLiteral("A5"));
    calib.Enable(1057, false);
    EXPECT_FALSE(calib.IsEnabled(1057));
    calib.Show(1056, false);
    EXPECT_TRUE(calib.Control(1056)->isHidden());
    calib.SetChecked(1057, true);  // a command button cannot be checked
    EXPECT_FALSE(calib.IsChecked(1057));
    EXPECT_EQ(calib.Text(9999), QString());
    calib.SetText(9999, QStringLiteral("ignored"));  // no such control: nothing happens
    EXPECT_FALSE(calib.IsEnabled(9999));
}

}  // namespace
}  // namespace oriole
