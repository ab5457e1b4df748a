#pragma once
// Every dialog resource of the program, one table per file.

#include <span>

#include "res/DialogTypes.h"

namespace oriole::res {

extern const DialogDef kMainDialog;          // 102, the main window
extern const DialogDef kFlashViewDialog;     // 129
extern const DialogDef kEepromViewDialog;    // 130
extern const DialogDef kProgressDialog;      // 132
extern const DialogDef kSettingsDialog;      // 133
extern const DialogDef kBatchDialog;         // 134
extern const DialogDef kFuseDialog;          // 135
extern const DialogDef kLockDialog;          // 138
extern const DialogDef kSaveFormatTemplate;  // 140, child area of the save dialog
extern const DialogDef kCalibDialog;         // 141
extern const DialogDef kProductionDialog;    // 150, ours: production runs

// All of the above, in resource order.
std::span<const DialogDef* const> AllDialogs();

// The dialog with this resource number, or nullptr.
const DialogDef* FindDialog(int resourceId);

}  // namespace oriole::res

namespace oriole::res {

// The bit columns of the fuse and lock dialogs: a name label and a push-like
// bit button per row, rows 15 units apart.
inline constexpr int kBitButtonWidth = 14;
inline constexpr int kBitButtonHeight = 12;
inline constexpr int kBitLabelWidth = 46;
inline constexpr uint32_t kBitButtonStyle = ctl::kPushLike | ctl::kFlat | ctl::kTabStop;

}  // namespace oriole::res
