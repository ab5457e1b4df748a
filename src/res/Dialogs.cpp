#include "res/Dialogs.h"

#include <array>

namespace oriole::res {
namespace {

const std::array<const DialogDef*, 11> kAll = {
    &kMainDialog,  &kFlashViewDialog, &kEepromViewDialog, &kProgressDialog,     &kSettingsDialog,
    &kBatchDialog, &kFuseDialog,      &kLockDialog,       &kSaveFormatTemplate, &kCalibDialog,
    &kProductionDialog,
};

}  // namespace

std::span<const DialogDef* const> AllDialogs() {
    return kAll;
}

const DialogDef* FindDialog(int resourceId) {
    for (const DialogDef* d : kAll)
        if (d->resourceId == resourceId) return d;
    return nullptr;
}

}  // namespace oriole::res
