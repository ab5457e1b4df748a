// The FLASH and EEPROM views' dumps on the simulated box: the file dump with
// its label and scrolling, the device dump, the bounded file load, the dump
// font and how both dumps fit their boxes.

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "MemoryViewRig.h"
#include "support/Grab.h"

namespace oriole::test {
namespace {

TEST(MemoryViewTest, FileDumpFromTheMainWindowsFileBoxWithLabelAndFFForMissingCells) {
    for (const ViewCase& c : kViews) {
        SCOPED_TRACE(c.name);
        ViewRig rig(*c.def);
        const std::string path = WriteText(rig, "d.hex", HexAt(0x10, Pattern(100)));
        rig.Model().SetText(c.def->mainFileBox, "  " + path + " ");
        CMemoryViewDlg& view = rig.Open();
        EXPECT_EQ(view.Text(c.def->pathBox).toStdString(), path);
        EXPECT_EQ(view.Text(c.def->addressLabel), QStringLiteral(" 000010 - 000073"));
        // 128 cells from address 0, whatever the file's lowest address.
        const QStringList& lines = view.FileLines();
        const bool flash = c.def->layout == DumpLayout::Flash;
        ASSERT_EQ(lines.size(), flash ? 8 : 16);
        EXPECT_TRUE(lines[0].startsWith(
            flash ? QStringLiteral("000000 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
                  : QStringLiteral("000000 FF FF FF FF FF FF FF FF ........")));
        EXPECT_TRUE(lines.last().endsWith(flash ? QStringLiteral("FF FF FF FF ")
                                                : QStringLiteral("FF ........")));
        EXPECT_EQ(rig.DumpText(c.def->fileDump), rig.Rendered(lines, 0));
        EXPECT_TRUE(view.ScrollBar(c.def->fileBar)->isEnabled());
        // Loading at opening neither copies the path back nor needs a read.
        EXPECT_FALSE(view.ScrollBar(c.def->deviceBar)->isEnabled());
        EXPECT_FALSE(view.Button(c.def->saveButton)->isEnabled());
        EXPECT_TRUE(view.Button(c.def->saveButton)->isVisible());
        EXPECT_TRUE(rig.Texts().empty());
        EXPECT_EQ(rig.Opens(), 0);
    }
}

// One ELF in both views: each shows its own memory's part of it.
TEST(MemoryViewTest, ElfShowsItsFlashPartInTheFlashViewAndItsEepromPartInTheEepromView) {
#ifndef ORIOLE_AVR_DEMO_DIR
    GTEST_SKIP() << "avr-gcc was not found when the tests were built";
#else
    const std::string elf = std::string(ORIOLE_AVR_DEMO_DIR) + "/demo.elf";
    const struct {
        const MemoryViewDef* def;
        QString firstLine;
    } cases[] = {
        {&kFlashViewDef, QStringLiteral("000000 0C 94 34 00 ")},  // the reset vector's jmp
        {&kEepromViewDef, QStringLiteral("000000 45 45 50 52 4F 4D 20 67 EEPROM g")},
    };
    for (const auto& c : cases) {
        ViewRig rig(*c.def);
        rig.Model().SetText(c.def->mainFileBox, elf);
        CMemoryViewDlg& view = rig.Open();
        ASSERT_FALSE(view.FileLines().isEmpty()) << testing::PrintToString(rig.Texts());
        EXPECT_TRUE(view.FileLines()[0].startsWith(c.firstLine)) << view.FileLines()[0].toStdString();
        EXPECT_TRUE(rig.Texts().empty());
    }
#endif
}

TEST(MemoryViewTest, ScrollRequestsMoveTheFileDumpAndKeepTheLastPageFull) {
    // 20 lines in either layout: M = 19, the last full page starts at 11.
    for (const ViewCase& c : kViews) {
        SCOPED_TRACE(c.name);
        ViewRig rig(*c.def);
        const size_t bytes = c.def->layout == DumpLayout::Flash ? 320 : 160;
        rig.Model().SetText(c.def->mainFileBox, rig.WriteHex("d.hex", Pattern(bytes)));
        CMemoryViewDlg& view = rig.Open();
        ASSERT_EQ(view.FileLines().size(), 20);
        QScrollBar* bar = view.ScrollBar(c.def->fileBar);
        struct Step {
            QAbstractSlider::SliderAction action;
            int expected;
        };
        const Step kSteps[] = {
            {QAbstractSlider::SliderPageStepAdd, 9},    {QAbstractSlider::SliderPageStepAdd, 11},
            {QAbstractSlider::SliderPageStepAdd, 11},   {QAbstractSlider::SliderSingleStepAdd, 11},
            {QAbstractSlider::SliderSingleStepSub, 10}, {QAbstractSlider::SliderSingleStepAdd, 11},
            {QAbstractSlider::SliderPageStepSub, 2},    {QAbstractSlider::SliderPageStepSub, 0},
            {QAbstractSlider::SliderSingleStepSub, 0},  {QAbstractSlider::SliderToMaximum, 0},
        };
        for (const Step& s : kSteps) {
            bar->triggerAction(s.action);
            ASSERT_EQ(bar->value(), s.expected) << s.action;
            ASSERT_EQ(rig.DumpText(c.def->fileDump), rig.Rendered(view.FileLines(), s.expected));
        }
        // The thumb goes where it is dragged, up to the last full page.
        bar->setSliderPosition(19);
        EXPECT_EQ(bar->value(), 11);
        EXPECT_EQ(rig.DumpText(c.def->fileDump), rig.Rendered(view.FileLines(), 11));
    }
}

TEST(MemoryViewTest, DeviceDumpShowsTheWholeMemoryAndASmallOneDoesNotScroll) {
    struct Case {
        const char* sim;
        const MemoryViewDef* def;
        int lines;
        const char* firstLine;
    };
    const Case kCases[] = {
        {"ATmega328P", &kFlashViewDef, 32768 / 16,
         "000000 41 42 00 7E 7F 20 FF 31 FF FF FF FF FF FF FF FF "},
        {"ATmega328P", &kEepromViewDef, 1024 / 8, "000000 41 42 00 7E 7F 20 FF 31 AB.~. .1"},
        {"ATtiny13", &kEepromViewDef, 64 / 8, "000000 41 42 00 7E 7F 20 FF 31 AB.~. .1"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.sim + std::string(" ") + c.def->dialog->caption);
        ViewRig rig(*c.def, c.sim);
        const uint8_t kBytes[] = {0x41, 0x42, 0x00, 0x7E, 0x7F, 0x20, 0xFF, 0x31};
        for (uint8_t i = 0; i < 8; ++i) {
            if (c.def == &kFlashViewDef)
                rig.box->Target().Flash()[i] = kBytes[i];
            else
                rig.box->Target().Eeprom()[i] = kBytes[i];
        }
        CMemoryViewDlg& view = rig.Open();
        rig.Click(c.def->readButton);
        EXPECT_TRUE(rig.Texts().empty());
        ASSERT_EQ(view.DeviceLines().size(), c.lines);
        EXPECT_EQ(view.DeviceLines()[0], QString::fromLatin1(c.firstLine));
        EXPECT_EQ(rig.DumpText(c.def->deviceDump), rig.Rendered(view.DeviceLines(), 0));
        EXPECT_TRUE(view.Button(c.def->saveButton)->isEnabled());
        EXPECT_TRUE(view.Button(c.def->saveAllBox)->isEnabled());
        QScrollBar* bar = view.ScrollBar(c.def->deviceBar);
        EXPECT_TRUE(bar->isEnabled());
        for (auto action :
             {QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderPageStepAdd})
            bar->triggerAction(action);
        EXPECT_EQ(bar->value(), c.lines > kDumpPageLines ? 10 : 0);
    }
}

TEST(MemoryViewTest, FileOfOnlyAnEndRecordShowsTheEmptyRangeAndTheHeaderAlone) {
    for (const ViewCase& c : kViews) {
        SCOPED_TRACE(c.name);
        ViewRig rig(*c.def);
        rig.Model().SetText(c.def->mainFileBox, WriteText(rig, "end.hex", ":00000001FF\r\n"));
        CMemoryViewDlg& view = rig.Open();
        EXPECT_TRUE(rig.Texts().empty());
        EXPECT_EQ(view.Text(c.def->addressLabel), QStringLiteral(" FFFFFFFF - FFFFFFFF"));
        EXPECT_TRUE(view.FileLines().isEmpty());
        EXPECT_EQ(rig.DumpText(c.def->fileDump), rig.Rendered({}, 0));
    }
}

TEST(MemoryViewTest, FileBeyondSixteenMebibytesIsRefusedAndThePreviousDumpStays) {
    struct Case {
        const char* name;
        std::string text;
        const char* warning;
    };
    const uint8_t four[] = {1, 2, 3, 4};
    const uint8_t upper[] = {0xFF, 0xFF};
    const Case kCases[] = {
        {"S3 at FFFFFF00", FormatSRecord(3, 0xFFFFFF00, 4, four) + FormatSRecord(7, 0, 0, nullptr),
         text::kSrecBeyondDevice},
        {"04 record FFFF",
         FormatIntelHexRecord(4, 0, 2, upper) + FormatIntelHexRecord(0, 0, 4, four) +
             ":00000001FF\r\n",
         text::kHexBeyondDevice},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ViewRig rig(kFlashViewDef);
        const std::string good = rig.WriteHex("good.hex", Pattern(320));
        rig.Model().SetText(ctl_id::kFlashFile, good);
        CMemoryViewDlg& view = rig.Open();
        QScrollBar* bar = view.ScrollBar(1033);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        const QString label = view.Text(1173);
        const QString shown = rig.DumpText(1034);

        view.SetText(1031, QString::fromStdString(WriteText(rig, "huge.mot", c.text)));
        rig.Click(1056);
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{c.warning});
        EXPECT_EQ(view.Text(1173), label);
        EXPECT_EQ(rig.DumpText(1034), shown);
        EXPECT_EQ(bar->value(), 9);
        EXPECT_TRUE(view.FileLines().isEmpty());
        EXPECT_EQ(rig.Model().Text(ctl_id::kFlashFile), good);
        // Scrolling without lines moves the bar and leaves the box alone.
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        EXPECT_EQ(rig.DumpText(1034), shown);
        // Nor does writing start with such a file.
        rig.Click(1049);
        EXPECT_EQ(rig.Opens(), 0);
    }
}

TEST(MemoryViewTest, DumpFontKeepsTheColumnsAlignedAndAPageInItsBox) {
    EnsureApp();
    struct Case {
        int boxHeight;
        int maxPixels;
    };
    const Case kCases[] = {
        {1000, kDumpPixelHeight}, {205, kDumpPixelHeight}, {150, 13}, {10, kMinDumpPixelHeight}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.boxHeight);
        const QFont font = ChooseDumpFont(c.boxHeight);
        EXPECT_LE(font.pixelSize(), c.maxPixels);
        EXPECT_GE(font.pixelSize(), kMinDumpPixelHeight);
        if (font.pixelSize() > kMinDumpPixelHeight) {
            EXPECT_LE((kDumpPageLines + 1) * DumpLineHeight(font), c.boxHeight);
        }
        const QFontMetrics metrics(font);
        const int width = metrics.horizontalAdvance(QLatin1Char('0'));
        for (const char ch : std::string(" .~FW1i|@"))
            EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char(ch)), width) << ch;
    }
    EXPECT_EQ(ChooseDumpFont(1000).pixelSize(), kDumpPixelHeight);
}

// Both dumps filled, as the user sees them after opening with a file and
// reading the device. Set ORIOLE_GRAB_DIR to get the views as PNG files.
TEST(MemoryViewTest, BothDumpsFilledFitTheirBoxes) {
    for (const ViewCase& c : kViews) {
        SCOPED_TRACE(c.name);
        ViewRig rig(*c.def);
        const std::vector<uint8_t> text(std::begin("Oriole AVR writer: dump of the device."),
                                        std::end("Oriole AVR writer: dump of the device."));
        std::copy(text.begin(), text.end(), rig.box->Target().Flash().begin());
        std::copy(text.begin(), text.end(), rig.box->Target().Eeprom().begin());
        rig.Model().SetText(c.def->mainFileBox, WriteText(rig, "d.hex", HexAt(0x10, Pattern(200))));
        CMemoryViewDlg& view = rig.Open();
        rig.Click(c.def->readButton);
        ASSERT_FALSE(view.DeviceLines().isEmpty());
        // Header and nine lines, each whole, without a scroll bar of the box's own.
        for (const int id : {c.def->fileDump, c.def->deviceDump}) {
            QPlainTextEdit* box = view.TextBox(id);
            const QFontMetrics metrics(box->font());
            const int longest = metrics.horizontalAdvance(DumpHeader(c.def->layout).trimmed());
            EXPECT_LE(longest, box->viewport()->width()) << id;
            const QTextBlock last = box->document()->findBlockByNumber(kDumpPageLines);
            ASSERT_TRUE(last.isValid());
            EXPECT_LT(box->cursorRect(QTextCursor(last)).bottom(), box->viewport()->height()) << id;
        }
        Grab(view, QStringLiteral("memview-") + QString::fromLatin1(c.name) + QStringLiteral(".png"));
    }
}

}  // namespace
}  // namespace oriole::test
