// The FLASH and EEPROM views on the simulated box: the file dump with its
// label and scrolling, the device dump, the bounded file load, the save
// command with its second read, the busy guard, and the main window's
// buttons that open the views and take their save-all state back.

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include "AppRig.h"
#include "image/ImageWriter.h"
#include "res/Texts.h"
#include "views/FileSaveDlg.h"
#include "views/MemoryViewDlg.h"

namespace oriole::test {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 3) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
    return bytes;
}

std::string WriteText(AppRig& rig, const std::string& name, const std::string& text) {
    const QString path = rig.dir.filePath(QString::fromStdString(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    return path.toStdString();
}

// Intel HEX records of `bytes` from `address` on, 16 a record, and the end.
std::string HexAt(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 16) {
        const int n = static_cast<int>(std::min<size_t>(16, bytes.size() - i));
        text += FormatIntelHexRecord(0, address + uint32_t(i), n, bytes.data() + i);
    }
    return text + ":00000001FF\r\n";
}

// A view opened as the main window opens it, but shown without a modal loop
// of its own, so that the test drives it.
struct ViewRig : AppRig {
    explicit ViewRig(const MemoryViewDef& viewDef, const std::string& sim = "ATmega328P")
        : AppRig(sim), def(viewDef) {}

    CMemoryViewDlg& Open() {
        view = std::make_unique<CMemoryViewDlg>(def, Core(), settings, dlg.get());
        view->show();
        QApplication::processEvents();
        return *view;
    }
    QString DumpText(int boxId) const { return view->TextBox(boxId)->toPlainText(); }
    QString Rendered(const QStringList& lines, int first) const {
        return RenderDumpWindow(def.layout, lines, first)
            .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
    void Click(int id) { view->Button(id)->click(); }

    const MemoryViewDef& def;
    CMainSettings settings;
    std::unique_ptr<CMemoryViewDlg> view;
};

// Answers the next save dialog: picks `format` in its list and saves to
// `path`, or cancels when `path` is empty. Notes the format it opened with.
struct SaveAnswer {
    explicit SaveAnswer(QString answerPath, int answerFormat = -1)
        : path(std::move(answerPath)), format(answerFormat) {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<CFileSaveDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) return;
            timer.stop();
            formatShown = dialog->FormatList()->currentIndex();
            if (path.isEmpty()) {
                if (format >= 0)
                    emit dialog->FormatList()->activated(format);  // changed, then cancelled
                dialog->reject();
                return;
            }
            if (format >= 0) {
                dialog->FormatList()->setCurrentIndex(format);
                emit dialog->FormatList()->activated(format);
            }
            dialog->selectFile(path);
            // The dialog's own Save button, as the user presses it.
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            ASSERT_NE(buttons, nullptr);
            for (QAbstractButton* b : buttons->buttons())
                if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) b->click();
        });
        timer.start(5);
    }
    QString path;
    int format;
    int formatShown = -2;
    QTimer timer;
};

struct ViewCase {
    const char* name;
    const MemoryViewDef* def;
};
const ViewCase kViews[] = {{"FLASH", &kFlashViewDef}, {"EEPROM", &kEepromViewDef}};

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

TEST(MemoryViewTest, SaveReadsTheDeviceAgainAndWritesWhatItHoldsNow) {
    ViewRig rig(kFlashViewDef);
    std::vector<uint8_t>& flash = rig.box->Target().Flash();
    std::copy_n(Pattern(64, 1).begin(), 64, flash.begin());
    rig.settings.m_nFlashSaveFormat = 0;
    CMemoryViewDlg& view = rig.Open();
    rig.Click(1037);
    const QStringList dumped = view.DeviceLines();
    ASSERT_EQ(rig.Opens(), 1);

    std::copy_n(Pattern(64, 9).begin(), 64, flash.begin());
    flash[0x5000] = 0x00;
    const QString path = rig.dir.filePath(QStringLiteral("saved.mot"));
    SaveAnswer answer(path, kFormatSRecord);
    rig.Click(1044);
    EXPECT_EQ(rig.Opens(), 2);
    EXPECT_EQ(answer.formatShown, 0);
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashSaved});
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), WriteSRecord("saved.mot", false, flash.data(), 32768));
    EXPECT_EQ(rig.settings.m_nFlashSaveFormat, kFormatSRecord);
    EXPECT_EQ(rig.settings.m_strFlashSaveName, path);
    // The dump still shows the first read.
    EXPECT_EQ(view.DeviceLines(), dumped);
    EXPECT_EQ(ProgressWindowCount(), 0);
}

TEST(MemoryViewTest, CancelledSaveKeepsTheSettingsAndAFailedReadSavesNothing) {
    ViewRig rig(kEepromViewDef);
    rig.settings.m_nEepromSaveFormat = 1;
    rig.settings.m_strEepromSaveName = rig.dir.filePath(QStringLiteral("old.hex"));
    CMemoryViewDlg& view = rig.Open();
    rig.Click(1043);
    {
        SaveAnswer cancel(QString(), kFormatIntelHex);
        rig.Click(1045);
        EXPECT_EQ(cancel.formatShown, 1);
    }
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_EQ(rig.settings.m_nEepromSaveFormat, 1);
    EXPECT_EQ(rig.settings.m_strEepromSaveName, rig.dir.filePath(QStringLiteral("old.hex")));

    // A refused read: the operation's message, then the view's, and no dialog.
    rig.Core().m_state.m_nAbort = 1;
    rig.Click(1045);
    EXPECT_EQ(rig.Texts(),
              (std::vector<std::string>{text::kAbortedEarlier, text::kEepromSaveFailed}));
    EXPECT_EQ(rig.messages.shown.back().kind, MsgKind::Warning);
    // A failed Read takes the save command away again.
    rig.messages.shown.clear();
    rig.Click(1043);
    EXPECT_FALSE(view.Button(1045)->isEnabled());
    EXPECT_FALSE(view.Button(1203)->isEnabled());
}

TEST(MemoryViewTest, ClicksAndTheCloseBoxDuringARunningWriteAreIgnored) {
    ViewRig rig(kFlashViewDef);
    rig.Model().SetText(ctl_id::kFlashFile, rig.WriteHex("a.hex", Pattern(512)));
    CMemoryViewDlg& view = rig.Open();
    PostClick(view.Button(1037));  // Read, arriving while the write waits
    QTimer::singleShot(0, &view, [&] { view.close(); });
    rig.Click(1049);
    QApplication::processEvents();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashWriteDone});
    EXPECT_EQ(rig.Opens(), 1);
    EXPECT_TRUE(view.DeviceLines().isEmpty());
    EXPECT_FALSE(view.Button(1044)->isEnabled());
    EXPECT_TRUE(view.isVisible());
    EXPECT_FALSE(view.IsViewBusy());
    EXPECT_EQ(rig.box->Target().ReadFlash(511), Pattern(512)[511]);
    // The write does not hand its path to the main window; a load does.
    view.SetText(1031, QString::fromStdString(rig.WriteHex("b.hex", Pattern(16))));
    rig.Click(1049);
    EXPECT_EQ(rig.Model().Text(ctl_id::kFlashFile),
              rig.dir.filePath(QStringLiteral("a.hex")).toStdString());
    rig.Click(1056);
    EXPECT_EQ(rig.Model().Text(ctl_id::kFlashFile),
              rig.dir.filePath(QStringLiteral("b.hex")).toStdString());
    EXPECT_TRUE(view.close());
}

TEST(MemoryViewTest, BrowsedFileLoadsIsHandedToTheMainWindowAndProgramsTheDevice) {
    for (const ViewCase& c : kViews) {
        SCOPED_TRACE(c.name);
        ViewRig rig(*c.def);
        const std::vector<uint8_t> data = Pattern(48);
        const std::string path = rig.WriteHex("pick.hex", data);
        CMemoryViewDlg& view = rig.Open();
        EXPECT_TRUE(view.FileLines().isEmpty());
        QString startFolder;
        QTimer::singleShot(0, &view, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            startFolder = dialog->directory().path();
            dialog->selectFile(QString::fromStdString(path));
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            for (QAbstractButton* b : buttons->buttons())
                if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) b->click();
        });
        rig.Click(c.def->browseButton);
        EXPECT_EQ(startFolder, QDir::homePath());
        EXPECT_EQ(view.Text(c.def->pathBox).toStdString(), path);
        EXPECT_EQ(rig.Model().Text(c.def->mainFileBox), path);
        EXPECT_EQ(view.FileLines().size(), c.def->layout == DumpLayout::Flash ? 3 : 6);
        EXPECT_EQ(view.Text(c.def->addressLabel), QStringLiteral(" 000000 - 00002F"));

        rig.Click(c.def->writeButton);
        rig.Click(c.def->verifyButton);
        const bool flash = c.def->layout == DumpLayout::Flash;
        EXPECT_EQ(rig.Texts(),
                  (std::vector<std::string>{flash ? text::kFlashWriteDone : text::kEepromWriteDone,
                                            flash ? text::kFlashVerifyOk : text::kEepromVerifyOk}));
        for (uint32_t i = 0; i < data.size(); ++i) {
            const uint8_t held =
                flash ? rig.box->Target().ReadFlash(i) : rig.box->Target().ReadEeprom(i);
            ASSERT_EQ(held, data[i]) << i;
        }
    }
}

TEST(MemoryViewTest, MainWindowOpensEachViewInFrontAndKeepsItsSaveAllState) {
    struct Case {
        const MemoryViewDef* def;
        int button;
        const char* className;
        const char* section;
    };
    const Case kCases[] = {{&kFlashViewDef, 1038, "oriole::CFlashDlg", "[FLASH]"},
                           {&kEepromViewDef, 1020, "oriole::CEEPROMDlg", "[EEPROM]"}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.className);
        AppRig rig;
        struct Seen {
            QString className;
            bool inFront = false;
            bool checked = false;
            bool stillOpenAfterKeys = false;
        };
        auto run = [&](bool checkIt) {
            Seen seen;
            QTimer::singleShot(0, rig.dlg.get(), [&] {
                auto* view = qobject_cast<CMemoryViewDlg*>(QApplication::activeModalWidget());
                if (view == nullptr) return;
                seen.className = QString::fromLatin1(view->metaObject()->className());
                seen.inFront = rig.dlg->CurrentDlg() == view;
                seen.checked = view->IsChecked(c.def->saveAllBox);
                for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
                    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                    QApplication::sendEvent(view, &press);
                }
                seen.stillOpenAfterKeys = view->isVisible();
                if (checkIt) {
                    view->Button(c.def->readButton)->click();
                    view->Button(c.def->saveAllBox)->click();
                }
                view->close();
            });
            rig.Button(c.button)->click();
            return seen;
        };
        const Seen first = run(true);
        EXPECT_EQ(first.className, QString::fromLatin1(c.className));
        EXPECT_TRUE(first.inFront);
        EXPECT_FALSE(first.checked);
        EXPECT_TRUE(first.stillOpenAfterKeys);
        EXPECT_EQ(rig.dlg->CurrentDlg(), rig.dlg.get());
        EXPECT_FALSE(rig.dlg->IsBusy());
        EXPECT_TRUE(run(false).checked);
        // And into the settings file when the main window closes.
        ASSERT_TRUE(rig.dlg->close());
        QFile ini(rig.dlg->IniPath());
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        const qsizetype section = text.indexOf(c.section);
        ASSERT_GE(section, 0);
        EXPECT_EQ(text.indexOf("SaveAll=1", section), text.indexOf("SaveAll=", section));
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
        const QByteArray dir = qgetenv("ORIOLE_GRAB_DIR");
        if (!dir.isEmpty()) {
            const QString file = QString::fromLatin1(dir) + QStringLiteral("/memview-") +
                                 QString::fromLatin1(c.name) + QStringLiteral(".png");
            EXPECT_TRUE(view.grab().save(file));
        }
    }
}

}  // namespace
}  // namespace oriole::test
