#pragma once
// The fuse and lock bit dialogs over the main window of AppRig: the main
// window's core and controls, settings of their own, and a file dialog that
// answers from the test.

#include <QString>
#include <memory>
#include <string>

#include "AppRig.h"
#include "ops/MainSettings.h"
#include "views/FuseDlg.h"
#include "views/LockDlg.h"

namespace oriole::test {

struct BitDlgRig {
    // `device`: when given, auto-detect is turned off and the device chosen
    // in the list; otherwise auto-detect finds the box's device.
    explicit BitDlgRig(const std::string& simOptions, const QString& device = {});

    // The dialogs as the main window opens them: the device detected when
    // auto-detect is on and none is known yet, the dialog made, then
    // initialised (which reads the device).
    std::unique_ptr<CFuseDlg> OpenFuse();
    std::unique_ptr<CLockDlg> OpenLock();

    // Every file dialog from now on answers with this path and filter.
    void AnswerFiles(const QString& path, int filterIndex);
    // Every file dialog from now on is cancelled.
    void CancelFiles();
    // What the file dialogs were asked.
    struct Asked {
        bool save = false;
        QString folder;
        QStringList filters;
    };
    std::vector<Asked> asked;

    QString FilePath(const char* name) const { return app.dir.filePath(QString::fromUtf8(name)); }
    std::string MainText(int id) { return app.Model().Text(id); }

    AppRig app;
    CMainSettings settings;

private:
    void FindDevice();
    void Attach(CBitDlg& dlg);
    QString m_answerPath;
    int m_answerFilter = -1;
};

// Bit `bit` of a column pressed / enabled / caption, as one compact string
// per column, bit 7 first: "P" pressed, "r" released; lower case of either
// when disabled ("p", "."). E.g. "..p....." for a pinned bit 5.
std::string ColumnState(const CBitColumn& column);
// The labels of a column, bit 7 first, joined by '|'.
std::string ColumnLabels(const CControls& controls, const std::array<int, 8>& labelIds);

}  // namespace oriole::test
