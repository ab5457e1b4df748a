#pragma once
// The main window's settings that no operation reads: the window look, the
// last setting file, the batch mask, the file-name patterns and the names
// and formats the file dialogs remember. The link settings (clock, USB
// timing, data speed) live in the core's CLinkState, the file names and
// check boxes of the main window in its controls (CMainControls).

#include <QString>
#include <cstdint>

namespace oriole {

struct CMainSettings {
    // Every field at the default a missing settings file gives.
    CMainSettings();

    int32_t m_nWindowStyle;     // 0 classic look, otherwise the platform's own
    QString m_strSettingFile;   // path of the last setting file
    uint32_t m_nAutoCheck;      // batch step selection mask
    QString m_strWriterSpec;    // Device/Writer: "auto" or a backend's spec string

    QString m_strFlashExt;      // patterns offered for FLASH files, ';'-separated
    int32_t m_nFlashSaveFormat;  // 0 Intel HEX, 1 Motorola S-record
    QString m_strFlashSaveName;
    int32_t m_nFlashSaveAll;

    QString m_strEepromExt;
    int32_t m_nEepromSaveFormat;
    QString m_strEepromSaveName;
    int32_t m_nEepromSaveAll;

    QString m_strFuseExt;
    QString m_strFuseFile;
    QString m_strFuseSaveFile;  // kept and written back; nothing else uses it

    QString m_strLockExt;
    QString m_strLockFile;
    QString m_strLockSaveFile;  // kept and written back; nothing else uses it
};

}  // namespace oriole
