#include "ops/MainSettings.h"

#include "base/Numbers.h"
#include "settings/SettingsKeys.h"

namespace oriole {

namespace {

// The defaults are those of the key table, so that a new field and a missing
// file can never disagree.
QString DefaultText(SettingId id) {
    return QString::fromUtf8(SettingKeyFor(id).defaultText);
}

int32_t DefaultNumber(SettingId id) {
    return ParseDecLenient(SettingKeyFor(id).defaultText);
}

}  // namespace

CMainSettings::CMainSettings()
    : m_nWindowStyle(DefaultNumber(SettingId::WindowStyle)),
      m_strSettingFile(DefaultText(SettingId::SettingFile)),
      m_nAutoCheck(ParseHexLenient(SettingKeyFor(SettingId::AutoCheck).defaultText)),
      m_strWriterSpec(DefaultText(SettingId::Writer)),
      m_strFlashExt(DefaultText(SettingId::FlashFileExtension)),
      m_nFlashSaveFormat(DefaultNumber(SettingId::FlashSaveFormat)),
      m_strFlashSaveName(DefaultText(SettingId::FlashSaveName)),
      m_nFlashSaveAll(DefaultNumber(SettingId::FlashSaveAll)),
      m_strEepromExt(DefaultText(SettingId::EepromFileExtension)),
      m_nEepromSaveFormat(DefaultNumber(SettingId::EepromSaveFormat)),
      m_strEepromSaveName(DefaultText(SettingId::EepromSaveName)),
      m_nEepromSaveAll(DefaultNumber(SettingId::EepromSaveAll)),
      m_strFuseExt(DefaultText(SettingId::FuseFileExtension)),
      m_strFuseFile(DefaultText(SettingId::FuseFile)),
      m_strFuseSaveFile(DefaultText(SettingId::FuseSaveFile)),
      m_strLockExt(DefaultText(SettingId::LockFileExtension)),
      m_strLockFile(DefaultText(SettingId::LockFile)),
      m_strLockSaveFile(DefaultText(SettingId::LockSaveFile)) {}

}  // namespace oriole
