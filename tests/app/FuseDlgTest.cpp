// The fuse bits dialog over the main window and the simulated writer: the
// columns each device gets, the guarded bits, reading, writing and handing
// back, and the busy guard.

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include "BitDlgRig.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using namespace fuse_dlg;

constexpr std::array<int, 8> kExtLabels{1185, 1184, 1183, 1182, 1181, 1180, 1179, 1178};
constexpr std::array<int, 8> kHighLabels{1193, 1192, 1191, 1190, 1189, 1188, 1187, 1186};
constexpr std::array<int, 8> kLowLabels{1201, 1200, 1199, 1198, 1197, 1196, 1195, 1194};

QString BoxText(CFuseDlg& dlg, Column c) {
    return dlg.Column(c).Text();
}

TEST(FuseDlgTest, DeviceThatDoesNotAnswerShowsSpienAlone) {
    BitDlgRig rig("none", QStringLiteral("ATmega328P"));
    auto dlg = rig.OpenFuse();
    // The automatic read failed with its one message.
    ASSERT_EQ(rig.app.messages.shown.size(), 1u);
    EXPECT_NE(rig.app.messages.shown[0].kind, MsgKind::Question);
    EXPECT_EQ(BoxText(*dlg, kExt), "FF");
    EXPECT_EQ(BoxText(*dlg, kHigh), "DF");
    EXPECT_EQ(BoxText(*dlg, kLow), "FF");
    EXPECT_EQ(ColumnState(dlg->Column(kHigh)), "rrprrrrr");  // SPIEN is high bit 5
    EXPECT_FALSE(dlg->Control(kHighLabels[5])->isEnabled());
    EXPECT_EQ(dlg->Text(kHighLabels[5]), "5: SPIEN");
    // Nothing was handed back by opening.
    EXPECT_EQ(rig.MainText(ctl_id::kHighEdit), "");
}

// The columns of a device as the dialog shows them when its device does not
// answer: bit states (bit 7 first, see ColumnState), byte texts, which byte
// boxes are enabled, and the labels of one column.
struct ColumnCase {
    const char* device;
    std::array<const char*, 3> states;
    std::array<const char*, 3> texts;
    std::array<bool, 3> boxesEnabled;
    Column labelledColumn;
    const char* labels;
};

const ColumnCase kColumnCases[] = {
    {"ATmega328P",
     {".....rrr", "rrprrrrr", "rrrrrrrr"},
     {"FF", "DF", "FF"},
     {true, true, true},
     kHigh,
     "7: RSTDISBL|6: DWEN|5: SPIEN|4: WDTON|3: EESAVE|2: BOOTSZ1|1: BOOTSZ0|0: BOOTRST"},
    // Fuse mask 3: no extended byte; its column is all unnamed yet reads FF.
    {"ATtiny13",
     {"........", "...rrrrr", "prrrrrrr"},
     {"FF", "FF", "7F"},
     {false, true, true},
     kExt,
     "7: |6: |5: |4: |3: |2: |1: |0: "},
    // Fuse mask 8: the single old-style byte lives in the Low column; every
    // box is disabled, yet the named bits work.
    {"AT90S4433",
     {"........", "........", "..prrrrr"},
     {"FF", "FF", "DF"},
     {false, false, false},
     kLow,
     "7: |6: |5: SPIEN|4: BODLEVEL|3: BODEN|2: CKSEL2|1: CKSEL1|0: CKSEL0"},
};

TEST(FuseDlgTest, ColumnsFollowTheDevice) {
    for (const ColumnCase& c : kColumnCases) {
        SCOPED_TRACE(c.device);
        BitDlgRig rig("none", QString::fromUtf8(c.device));
        auto dlg = rig.OpenFuse();
        const std::array<int, 3> boxes{kExtEdit, kHighEdit, kLowEdit};
        const std::array<std::array<int, 8>, 3> labels{kExtLabels, kHighLabels, kLowLabels};
        for (int col = 0; col < kColumnCount; ++col) {
            const auto column = static_cast<Column>(col);
            EXPECT_EQ(ColumnState(dlg->Column(column)), c.states[size_t(col)]) << "column " << col;
            EXPECT_EQ(BoxText(*dlg, column), c.texts[size_t(col)]) << "column " << col;
            EXPECT_EQ(dlg->IsEnabled(boxes[size_t(col)]), c.boxesEnabled[size_t(col)])
                << "column " << col;
            // A label is enabled exactly when its button is.
            for (int bit = 0; bit < 8; ++bit)
                EXPECT_EQ(dlg->IsEnabled(labels[size_t(col)][size_t(bit)]),
                          dlg->Column(column).Button(bit)->isEnabled());
        }
        EXPECT_EQ(ColumnLabels(*dlg, labels[c.labelledColumn]), c.labels);
    }
}

TEST(FuseDlgTest, NamedBitsOfADisabledBoxStillWork) {
    BitDlgRig rig("none", QStringLiteral("AT90S4433"));
    auto dlg = rig.OpenFuse();
    dlg->Column(kLow).Button(0)->click();  // CKSEL0
    EXPECT_EQ(BoxText(*dlg, kLow), "DE");
    // An unnamed bit cannot be pressed.
    dlg->Column(kLow).Button(7)->click();
    EXPECT_FALSE(dlg->Column(kLow).Button(7)->isChecked());
    EXPECT_EQ(BoxText(*dlg, kLow), "DE");
}

// A bit that shuts this writer out: where it is and what is asked.
struct RiskyCase {
    const char* device;
    int bit;  // in the High column
    const char* question;
};

const RiskyCase kRiskyCases[] = {
    {"ATtiny13", 0, text::kRstdisblQuestion},
    {"ATtiny13", 3, text::kDwenQuestion},
    {"ATmega328P", 7, text::kRstdisblQuestion},
    {"ATmega328P", 6, text::kDwenQuestion},
};

TEST(FuseDlgTest, RiskyBitsAskBeforeTheyAreProgrammed) {
    for (const RiskyCase& c : kRiskyCases) {
        SCOPED_TRACE(std::string(c.device) + " bit " + std::to_string(c.bit));
        BitDlgRig rig(c.device);
        auto dlg = rig.OpenFuse();
        ASSERT_TRUE(rig.app.messages.shown.empty());
        CBitColumn& high = dlg->Column(kHigh);
        QAbstractButton* risky = high.Button(c.bit);
        const auto bitSet = [&] { return ((high.TextValue() >> c.bit) & 1) != 0; };
        auto& shown = rig.app.messages.shown;

        // No: the bit stays unprogrammed, in the button and in the byte.
        rig.app.messages.answers = {Answer::No};
        risky->click();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].kind, MsgKind::Question);
        EXPECT_EQ(shown[0].text, c.question);
        EXPECT_EQ(shown[0].defaultAnswer, Answer::No);
        EXPECT_FALSE(risky->isChecked());
        EXPECT_EQ(risky->text(), "1");
        EXPECT_TRUE(bitSet());

        // Yes: programmed; other clicks do not ask again while it stays so.
        rig.app.messages.answers = {Answer::Yes};
        risky->click();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_TRUE(risky->isChecked());
        EXPECT_EQ(risky->text(), "0");
        EXPECT_FALSE(bitSet());
        dlg->Column(kLow).Button(0)->click();
        dlg->Column(kLow).Button(0)->click();
        EXPECT_EQ(shown.size(), 2u);

        // Released and pressed again: asked again.
        risky->click();
        EXPECT_EQ(shown.size(), 2u);
        EXPECT_TRUE(bitSet());
        rig.app.messages.answers = {Answer::No};
        risky->click();
        EXPECT_EQ(shown.size(), 3u);
        EXPECT_FALSE(risky->isChecked());
    }
}

TEST(FuseDlgTest, ReadThatFindsRstdisblProgrammedAsksAtOnce) {
    for (const Answer answer : {Answer::Yes, Answer::No}) {
        BitDlgRig rig("ATtiny13");
        rig.app.box->Target().SetFuse(2, 0xFE);
        rig.app.messages.answers = {answer};
        auto dlg = rig.OpenFuse();
        ASSERT_EQ(rig.app.Texts(), std::vector<std::string>{text::kRstdisblQuestion});
        EXPECT_EQ(dlg->Column(kHigh).Button(0)->isChecked(), answer == Answer::Yes);
        EXPECT_EQ(BoxText(*dlg, kHigh), answer == Answer::Yes ? "FE" : "FF");
    }
}

TEST(FuseDlgTest, OpensWithTheMainWindowsValuesAndThenTheDevices) {
    BitDlgRig rig("ATmega328P");
    rig.app.box->Target().SetFuse(1, 0x62);
    rig.app.Model().SetText(ctl_id::kLowEdit, "E1");
    auto dlg = rig.OpenFuse();
    EXPECT_EQ(BoxText(*dlg, kLow), "62");
    EXPECT_EQ(ColumnState(dlg->Column(kLow)), "PrrPPPrP");  // 0x62
}

TEST(FuseDlgTest, MainWindowsValuesStayWhenTheDeviceDoesNotAnswer) {
    BitDlgRig rig("none", QStringLiteral("ATmega328P"));
    rig.app.Model().SetText(ctl_id::kExtEdit, "fd");
    rig.app.Model().SetText(ctl_id::kHighEdit, "D9");
    rig.app.Model().SetText(ctl_id::kLowEdit, "E1");
    auto dlg = rig.OpenFuse();
    // The failed read still recomputes the texts from the bits.
    EXPECT_EQ(BoxText(*dlg, kExt), "FD");
    EXPECT_EQ(BoxText(*dlg, kHigh), "D9");
    EXPECT_EQ(BoxText(*dlg, kLow), "E1");
}

TEST(FuseDlgTest, SpienStaysProgrammedWhateverAValueSays) {
    // The main window's box and the device both say SPIEN is unprogrammed.
    BitDlgRig rig("ATmega328P");
    rig.app.box->Target().SetFuse(2, 0xFF);
    rig.app.Model().SetText(ctl_id::kHighEdit, "FF");
    auto dlg = rig.OpenFuse();
    EXPECT_EQ(ColumnState(dlg->Column(kHigh)), "rrprrrrr");
    EXPECT_EQ(BoxText(*dlg, kHigh), "DF");
    dlg->Button(kWrite)->click();
    EXPECT_EQ(rig.app.box->Target().ReadFuse(2), 0xDF);
}

TEST(FuseDlgTest, ReadFollowsADetectedDeviceAndDropsBitsItLacks) {
    BitDlgRig rig("ATtiny13");
    rig.app.ChooseDevice(QStringLiteral("ATmega328P"));
    ASSERT_TRUE(rig.app.Model().IsChecked(ctl_id::kAutoDetect));
    // BODLEVEL1 of the ATmega328P's extended byte programmed.
    rig.app.Model().SetText(ctl_id::kExtEdit, "FD");
    auto dlg = rig.OpenFuse();
    EXPECT_STREQ(dlg->Device().name, "ATtiny13");
    EXPECT_EQ(dlg->Text(kHighLabels[0]), "0: RSTDISBL");
    // The ATtiny13 has no extended byte: no bit of it stays programmed.
    EXPECT_EQ(ColumnState(dlg->Column(kExt)), "........");
    EXPECT_EQ(BoxText(*dlg, kExt), "FF");
    EXPECT_FALSE(dlg->IsEnabled(kExtEdit));
}

TEST(FuseDlgTest, WriteSendsTheBoxesAndHandsBack) {
    BitDlgRig rig("ATmega328P");
    auto dlg = rig.OpenFuse();
    dlg->Column(kLow).Button(7)->click();  // CKDIV8 follows the click
    const QString low = BoxText(*dlg, kLow);
    rig.app.messages.shown.clear();
    dlg->Button(kWrite)->click();
    EXPECT_EQ(rig.app.Texts(), std::vector<std::string>{text::kFuseWriteDone});
    EXPECT_EQ(rig.app.box->Target().ReadFuse(1), low.toUInt(nullptr, 16));
    EXPECT_EQ(rig.MainText(ctl_id::kLowEdit), low.toStdString());
    EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kFuseWrite));
    EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kFuseVerify));

    rig.app.messages.shown.clear();
    dlg->Button(kVerify)->click();
    EXPECT_EQ(rig.app.Texts(), std::vector<std::string>{text::kFuseVerifyOk});
}

TEST(FuseDlgTest, FailedWriteHandsNothingBack) {
    BitDlgRig rig("none", QStringLiteral("ATmega328P"));
    auto dlg = rig.OpenFuse();
    rig.app.messages.shown.clear();
    dlg->Button(kWrite)->click();
    EXPECT_EQ(rig.app.messages.shown.size(), 1u);
    EXPECT_EQ(rig.MainText(ctl_id::kHighEdit), "");
    EXPECT_FALSE(rig.app.Model().IsEnabled(ctl_id::kFuseWrite));
}

TEST(FuseDlgTest, ReturnHandsBackEvenWithoutARead) {
    BitDlgRig rig("none", QStringLiteral("ATmega328P"));
    auto dlg = rig.OpenFuse();
    dlg->Button(res::kIdOk)->click();
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_EQ(rig.MainText(ctl_id::kExtEdit), "FF");
    EXPECT_EQ(rig.MainText(ctl_id::kHighEdit), "DF");
    EXPECT_EQ(rig.MainText(ctl_id::kLowEdit), "FF");
    EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kFuseWrite));
    EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kFuseVerify));
    // The window shows what its model holds.
    EXPECT_EQ(rig.app.dlg->Text(ctl_id::kHighEdit), "DF");
}

TEST(FuseDlgTest, CancelAndCloseBoxHandNothingBack) {
    for (const bool closeBox : {false, true}) {
        BitDlgRig rig("none", QStringLiteral("ATmega328P"));
        auto dlg = rig.OpenFuse();
        dlg->show();
        if (closeBox) {
            dlg->close();
        } else {
            dlg->Button(res::kIdCancel)->click();
        }
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(rig.MainText(ctl_id::kHighEdit), "");
        EXPECT_FALSE(rig.app.Model().IsEnabled(ctl_id::kFuseWrite));
    }
}

TEST(FuseDlgTest, ClicksWhileAHandlerRunsAreDropped) {
    BitDlgRig rig("ATmega328P");
    auto dlg = rig.OpenFuse();
    const int opens = rig.app.Opens();
    rig.app.messages.shown.clear();

    // A write clicked during a read never runs.
    PostClick(dlg->Button(kWrite));
    dlg->Button(kRead)->click();
    QApplication::processEvents();
    EXPECT_TRUE(rig.app.messages.shown.empty());
    EXPECT_EQ(rig.app.Opens(), opens + 2);  // the device check and the read

    // A bit toggled during a write is undone: what goes back to the main
    // window is what was written.
    QAbstractButton* bit = dlg->Column(kLow).Button(0);
    const bool before = bit->isChecked();
    const QString low = BoxText(*dlg, kLow);
    PostClick(bit);
    dlg->Button(kWrite)->click();
    QApplication::processEvents();
    EXPECT_EQ(bit->isChecked(), before);
    EXPECT_EQ(BoxText(*dlg, kLow), low);
    EXPECT_EQ(rig.MainText(ctl_id::kLowEdit), low.toStdString());
    EXPECT_FALSE(dlg->IsBusy());
}

}  // namespace
}  // namespace oriole::test
