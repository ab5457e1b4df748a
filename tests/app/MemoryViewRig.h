#pragma once
// What the memory view tests share: a view opened over the main window on
// the simulated box, data files, and an answer for the save dialog.

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

#include "AppRig.h"
#include "image/ImageWriter.h"
#include "res/Texts.h"
#include "views/FileSaveDlg.h"
#include "views/MemoryViewDlg.h"

namespace oriole::test {

inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 3) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
    return bytes;
}

inline std::string WriteText(AppRig& rig, const std::string& name, const std::string& text) {
    const QString path = rig.dir.filePath(QString::fromStdString(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    return path.toStdString();
}

// Intel HEX records of `bytes` from `address` on, 16 a record, and the end.
inline std::string HexAt(uint32_t address, const std::vector<uint8_t>& bytes) {
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
        view = std::make_unique<CMemoryViewDlg>(def, Window(), settings, dlg.get());
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
inline const ViewCase kViews[] = {{"FLASH", &kFlashViewDef}, {"EEPROM", &kEepromViewDef}};

}  // namespace oriole::test
