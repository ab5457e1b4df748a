#pragma once
// The FLASH and EEPROM views (dialog resources 129 and 130): the upper half
// loads a data file into a hex dump and programs or verifies the device with
// it; the lower half reads the device into a second dump and saves what was
// read. The two views are one class; what differs between them (control ids,
// dump layout, operations, settings, texts) is one row of a table.

#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "devices/Memories.h"

#include "image/MemoryDump.h"
#include "ops/MainSettings.h"
#include "views/BusyGuard.h"
#include "views/ResDialog.h"

class QAbstractButton;
class QScrollBar;

namespace oriole {

class COrioleCore;
class CMainWindowAdapter;

// What makes a view the FLASH or the EEPROM view.
struct MemoryViewDef {
    const res::DialogDef* dialog;
    DumpLayout layout;
    // Upper half: the file.
    int pathBox, browseButton, addressLabel;
    int writeButton, verifyButton, loadButton;
    int fileDump, fileBar;
    // Lower half: the device.
    int readButton, saveButton, saveAllBox;
    int deviceDump, deviceBar;
    // The main window's file box for this memory.
    int mainFileBox;
    // The settings the view uses and hands back.
    QString CMainSettings::*ext;
    QString CMainSettings::*saveName;
    int32_t CMainSettings::*saveFormat;
    int32_t CMainSettings::*saveAll;
    // Texts: the first description of the file filters, the save results.
    const char* filterDescription;
    const char* savedText;
    const char* saveFailedText;
    bool waitCursorOnOpen;
    // The memory the view's jobs read, write and verify.
    Memory memory;
};

extern const MemoryViewDef kFlashViewDef;
extern const MemoryViewDef kEepromViewDef;

// The fixed-pitch font of the dumps, so that their columns line up: the face
// they were drawn for when installed, otherwise a fixed-pitch Japanese face
// (Debian: fonts-noto-cjk), else the system's fixed font. 14 pixels, or less
// where that face's lines would not let the header and a page of lines fit
// `boxHeight` (the text area of a dump box, in pixels).
inline constexpr char kDumpFace[] = "ＭＳ ゴシック";
inline constexpr char kFallbackDumpFace[] = "Noto Sans Mono CJK JP";
inline constexpr int kDumpPixelHeight = 14;
inline constexpr int kMinDumpPixelHeight = 9;
[[nodiscard]] QFont ChooseDumpFont(int boxHeight);
// The height of one line of `font` in a text box.
[[nodiscard]] int DumpLineHeight(const QFont& font);

class CMemoryViewDlg : public CResDialog {
    Q_OBJECT
public:
    // `settings`: the main window's, read when the view opens and changed by
    // the save command and the close.
    CMemoryViewDlg(const MemoryViewDef& def, CMainWindowAdapter& window, CMainSettings& settings,
                   QWidget* parent = nullptr);

    [[nodiscard]] const MemoryViewDef& Def() const { return m_def; }
    [[nodiscard]] const QStringList& FileLines() const { return m_fileLines; }
    [[nodiscard]] const QStringList& DeviceLines() const { return m_deviceLines; }
    [[nodiscard]] bool IsViewBusy() const { return m_busy.IsBusy(); }

    // The command handlers, as the buttons run them.
    void OnBrowse();
    void OnLoadFile();
    void OnWriteFile();
    void OnVerifyFile();
    void OnReadDevice();
    void OnSaveToFile();

public slots:
    // Enter, Escape and everything else that would end the view without the
    // close box do nothing.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void ConnectCommands();
    // The guard of every command: the device operations let clicks through
    // while they wait, and those must not start a second command.
    template <typename Action>
    void RunGuarded(bool waitCursor, Action action);

    [[nodiscard]] bool LoadFileView();
    [[nodiscard]] bool ReadDeviceView();
    // Loads the path box's file again, then writes or verifies the device with it.
    void LoadThenRun(bool write);
    void OnScroll(QScrollBar* bar, int action);
    // Sets a dump's bar for `lines` and shows its first page.
    void ShowDump(int boxId, int barId, const QStringList& lines);
    [[nodiscard]] QString Filter() const;
    [[nodiscard]] QString PathBoxText() const;
    void CopyPathToMainWindow();

    const MemoryViewDef& m_def;
    CMainWindowAdapter& m_window;
    COrioleCore& m_core;
    CMainSettings& m_settings;
    QStringList m_fileLines;
    QStringList m_deviceLines;
    std::vector<uint8_t> m_deviceBytes;  // the last read of the device
    QFont m_dumpFont;
    CBusyGuard m_busy;  // busy until the view has opened
    bool m_bOpened = false;
};

// The two views by the names the main window opens them with.
class CFlashDlg final : public CMemoryViewDlg {
    Q_OBJECT
public:
    CFlashDlg(CMainWindowAdapter& window, CMainSettings& settings, QWidget* parent = nullptr)
        : CMemoryViewDlg(kFlashViewDef, window, settings, parent) {}
};

class CEEPROMDlg final : public CMemoryViewDlg {
    Q_OBJECT
public:
    CEEPROMDlg(CMainWindowAdapter& window, CMainSettings& settings, QWidget* parent = nullptr)
        : CMemoryViewDlg(kEepromViewDef, window, settings, parent) {}
};

}  // namespace oriole
