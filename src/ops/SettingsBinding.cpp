#include "ops/SettingsBinding.h"

#include <QDir>

#include <algorithm>
#include <limits>

#include "base/Numbers.h"
#include "base/FormatText.h"
#include "image/ImageReader.h"
#include "link/WriterSpec.h"
#include "ops/DeviceList.h"
#include "ops/Job.h"
#include "ops/MainWindowAdapter.h"
#include "res/Texts.h"
#include "settings/IniFile.h"

namespace oriole {

namespace {

using I = SettingId;

// Keys held by a main-window control. An enable key also switches its
// partner, the verify box beside the write button; on save only the
// button's state counts.
struct ControlRow {
    SettingId id;
    int control;
    int partner = 0;
};

// clang-format off
constexpr ControlRow kControlRows[] = {
    {I::FlashFile,         ctl_id::kFlashFile},
    {I::FlashErase,        ctl_id::kFlashErase},
    {I::FlashVerify,       ctl_id::kFlashVerify},
    {I::EepromFile,        ctl_id::kEepromFile},
    {I::EepromVerify,      ctl_id::kEepromVerify},
    {I::FuseEnable,        ctl_id::kFuseWrite,  ctl_id::kFuseVerify},
    {I::FuseExt,           ctl_id::kExtEdit},
    {I::FuseHigh,          ctl_id::kHighEdit},
    {I::FuseLow,           ctl_id::kLowEdit},
    {I::FuseVerify,        ctl_id::kFuseVerify},
    {I::LockEnable,        ctl_id::kLockWrite,  ctl_id::kLockVerify},
    {I::LockBits,          ctl_id::kLockEdit},
    {I::LockVerify,        ctl_id::kLockVerify},
    {I::CalibrationEnable, ctl_id::kCalibWrite, ctl_id::kCalibVerify},
    {I::CalibrationFreq,   ctl_id::kCalibFreq},
    {I::CalibrationByte,   ctl_id::kCalibValue},
    {I::WriteMemory,       ctl_id::kCalibMemory},
    {I::WriteAddress,      ctl_id::kCalibAddress},
    {I::CalibrationVerify, ctl_id::kCalibVerify},
};

struct TextFieldRow {
    SettingId id;
    QString CMainSettings::*field;
};

constexpr TextFieldRow kTextFields[] = {
    {I::SettingFile,         &CMainSettings::m_strSettingFile},
    {I::Writer,              &CMainSettings::m_strWriterSpec},
    {I::FlashFileExtension,  &CMainSettings::m_strFlashExt},
    {I::FlashSaveName,       &CMainSettings::m_strFlashSaveName},
    {I::EepromFileExtension, &CMainSettings::m_strEepromExt},
    {I::EepromSaveName,      &CMainSettings::m_strEepromSaveName},
    {I::FuseFileExtension,   &CMainSettings::m_strFuseExt},
    {I::FuseFile,            &CMainSettings::m_strFuseFile},
    {I::FuseSaveFile,        &CMainSettings::m_strFuseSaveFile},
    {I::LockFileExtension,   &CMainSettings::m_strLockExt},
    {I::LockFile,            &CMainSettings::m_strLockFile},
    {I::LockSaveFile,        &CMainSettings::m_strLockSaveFile},
};

struct NumberFieldRow {
    SettingId id;
    int32_t CMainSettings::*field;
};

constexpr NumberFieldRow kNumberFields[] = {
    {I::WindowStyle,      &CMainSettings::m_nWindowStyle},
    {I::FlashSaveFormat,  &CMainSettings::m_nFlashSaveFormat},
    {I::FlashSaveAll,     &CMainSettings::m_nFlashSaveAll},
    {I::EepromSaveFormat, &CMainSettings::m_nEepromSaveFormat},
    {I::EepromSaveAll,    &CMainSettings::m_nEepromSaveAll},
};
// clang-format on

template <typename Row, size_t N>
const Row* FindRow(const Row (&rows)[N], SettingId id) {
    const auto it = std::find_if(std::begin(rows), std::end(rows),
                                 [id](const Row& r) { return r.id == id; });
    return it == std::end(rows) ? nullptr : it;
}

// Numbers come from the file as 32-bit values; anything wider is a caller's
// mistake and is cut the way the file would have cut it.
int32_t Narrow(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// A value from a file as a message may show it: control characters as '?',
// at most a line's worth.
QString Shown(const QString& value) {
    constexpr qsizetype kShown = 60;
    QString shown = value.first(std::min(value.size(), kShown));
    for (QChar& c : shown)
        if (!c.isPrint()) c = QLatin1Char('?');
    if (value.size() > kShown) shown += QStringLiteral("...");
    return shown;
}

QByteArray ShownPath(const QString& path) {
    return QDir::toNativeSeparators(path).toUtf8();
}

uint32_t DefaultClock() {
    return static_cast<uint32_t>(ParseDecLenient(SettingKeyFor(I::SysFreq).defaultText));
}

}  // namespace

CSettingsBinding::CSettingsBinding(CMainWindowAdapter& window, CMainSettings& settings)
    : m_window(window), m_settings(settings) {}

void CSettingsBinding::LoadSettings(const QString& path, bool bWithValues) {
    CIniFile ini;
    const char* refusal = nullptr;
    // A missing or refused file gives every default.
    if (!ini.Load(path, &refusal) && refusal != nullptr) {
        if (!m_refusedFiles.contains(path)) m_refusedFiles.append(path);
        m_window.Core().Host().ShowMessage(MsgKind::Warning, FormatText(refusal, ShownPath(path).constData()));
    }
    ReadSettingKeys(ini, bWithValues, *this);
}

bool CSettingsBinding::SaveSettings(const QString& path, bool bWithValues) const {
    CIniFile ini;
    const char* refusal = nullptr;
    // Keys and lines of others stay where they are; a file we refused to
    // read is not ours to write.
    if (!ini.Load(path, &refusal) && refusal != nullptr) {
        if (!m_refusedFiles.contains(path))
            m_window.Core().Host().ShowFailure(Cause::File, MsgKind::Warning,
                                               FormatText(refusal, ShownPath(path).constData()));
        return false;
    }
    const bool stored = WriteSettingKeys(ini, bWithValues, *this);
    const char* fault = nullptr;
    if (!ini.Save(path, &fault)) {
        m_window.Core().Host().ShowFailure(
            Cause::File, MsgKind::Warning,
            NameInText(fault != nullptr ? fault : text::kFileOpenFailed, ShownPath(path).toStdString()));
        return false;
    }
    return stored;
}

int64_t CSettingsBinding::GetNumber(SettingId id) const {
    const CLinkState& link = m_window.Core().LinkState();
    switch (id) {
        case I::SysFreq: return link.m_nSysFreq;
        case I::UsbTiming: return link.m_nUsbTiming;
        case I::DataSpeed: return link.m_nDataSpeed;
        case I::AutoCheck: return m_settings.m_nAutoCheck;
        default: break;
    }
    if (const NumberFieldRow* f = FindRow(kNumberFields, id)) return m_settings.*(f->field);
    if (const ControlRow* c = FindRow(kControlRows, id)) {
        const CMainControls& controls = m_window.Controls();
        return SettingKeyFor(id).kind == SettingKind::Enable ? controls.IsEnabled(c->control)
                                                             : controls.IsChecked(c->control);
    }
    return 0;
}

void CSettingsBinding::SetNumber(SettingId id, int64_t value) {
    CLinkState& link = m_window.Core().LinkState();
    switch (id) {
        case I::SysFreq:
            // A clock of 0 Hz (or a text without figures, or a negative
            // number) has no timing to compute. Rather than keep a value the
            // settings dialog cannot show and every operation would refuse,
            // the clock starts at the default the dialog then shows.
            link.m_nSysFreq = value > 0 ? static_cast<uint32_t>(Narrow(value)) : DefaultClock();
            return;
        // The link clamps the USB timing and maps a data speed outside 1..4
        // to 38400 baud when it opens, so both are kept as read.
        case I::UsbTiming: link.m_nUsbTiming = Narrow(value); return;
        case I::DataSpeed: link.m_nDataSpeed = Narrow(value); return;
        case I::AutoCheck: m_settings.m_nAutoCheck = static_cast<uint32_t>(value); return;
        default: break;
    }
    if (const NumberFieldRow* f = FindRow(kNumberFields, id)) {
        m_settings.*(f->field) = Narrow(value);
        return;
    }
    if (const ControlRow* c = FindRow(kControlRows, id)) {
        CMainControls& controls = m_window.Controls();
        if (SettingKeyFor(id).kind == SettingKind::Enable) {
            controls.Enable(c->control, value != 0);
            if (c->partner != 0) controls.Enable(c->partner, value != 0);
        } else {
            controls.SetCheck(c->control, value != 0);
        }
    }
}

QString CSettingsBinding::GetText(SettingId id) const {
    if (id == I::LastAvr) return DeviceListText(m_window.Controls().ListSelection());
    if (id == I::WriteMemory) {
        // The memory the label names, as the loaders read it; nothing while
        // the label names none.
        CalibMemory memory = CalibMemory::Flash;
        if (!CalibMemoryOfText(m_window.Controls().Text(ctl_id::kCalibMemory), memory)) return {};
        return QString::fromLatin1(memory == CalibMemory::Flash ? "FLASH" : "EEPROM");
    }
    if (const TextFieldRow* f = FindRow(kTextFields, id)) return m_settings.*(f->field);
    if (const ControlRow* c = FindRow(kControlRows, id))
        return QString::fromStdString(m_window.Controls().Text(c->control));
    return {};
}

void CSettingsBinding::SetText(SettingId id, const QString& text) {
    if (id == I::LastAvr) {
        // The list's item data is the catalogue row; its position in the
        // sorted list never reaches the core.
        const int row = FindDeviceListEntry(text);
        if (row < 0) return;  // nothing matched: selection and device stay
        m_window.Controls().SelectListRow(row);
        m_window.SelectDevice(row);
        return;
    }
    if (id == I::Writer) {
        SetFileWriter(text);
        return;
    }
    if (id == I::WriteMemory) {
        // The label names the memory in its own words, whatever the file's are.
        CalibMemory memory = CalibMemory::Flash;
        const bool named = CalibMemoryOfText(text.toStdString(), memory);
        m_window.Controls().SetText(ctl_id::kCalibMemory, !named ? text::kCalibrationWriteMemoryDefault
                                                          : memory == CalibMemory::Flash ? text::kCalibFlashLabel
                                                                                         : text::kCalibEepromLabel);
        return;
    }
    if (const TextFieldRow* f = FindRow(kTextFields, id)) {
        m_settings.*(f->field) = text;
        return;
    }
    if (const ControlRow* c = FindRow(kControlRows, id))
        m_window.Controls().SetText(c->control, text.toStdString());
}

bool CSettingsBinding::KeepsStoredValue(SettingId id) const {
    return id == I::Writer && m_bWriterRefused;
}

void CSettingsBinding::SetFileWriter(const QString& text) {
    // A key left empty by hand means the default way to the writer, not
    // a spec that fails at the next operation.
    const QString spec = text.trimmed();
    const FileSpecVerdict verdict =
        spec.isEmpty() ? FileSpecVerdict::Allowed : CheckFileWriterSpec(spec.toStdString());
    m_bWriterRefused = verdict != FileSpecVerdict::Allowed;
    m_settings.m_strWriterSpec =
        spec.isEmpty() || m_bWriterRefused ? QString::fromLatin1(kDefaultWriterSpec) : spec;
    m_window.Core().SetWriterSpec(m_settings.m_strWriterSpec.toStdString(), WriterSpecSource::SettingsFile);
    if (!m_bWriterRefused) return;
    const char* why = verdict == FileSpecVerdict::NamesLibrary      ? text::kFileWriterNamesLibrary
                      : verdict == FileSpecVerdict::NotTerminalPath ? text::kFileWriterNotDevice
                                                                    : text::kFileWriterNotAllowed;
    m_window.Core().Host().ShowMessage(MsgKind::Warning, FormatText(text::kFileWriterIgnored,
                                                           Shown(spec).toStdString().c_str(), why));
}

}  // namespace oriole
