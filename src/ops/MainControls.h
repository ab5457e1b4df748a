#pragma once
// The main window's controls as plain data, keyed by their resource ids: the
// texts, check marks and enable states the operations read and change, and
// the device list's selection. The operations work on this model alone; the
// Qt window mirrors it (it writes every user edit into the model at once and
// redraws a control when the model tells it that the control changed), and
// the command-line tool and the tests fill it directly.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace oriole {

// Control ids of the main window (dialog resource 102) that the operations use.
namespace ctl_id {
inline constexpr int kDeviceList = 1011;
inline constexpr int kAutoDetect = 1109;
inline constexpr int kFlashFile = 1007;
inline constexpr int kFlashErase = 1167;
inline constexpr int kFlashVerify = 1054;
inline constexpr int kEepromFile = 1009;
inline constexpr int kEepromVerify = 1055;
inline constexpr int kExtLabel = 1106;
inline constexpr int kExtEdit = 1015;
inline constexpr int kHighLabel = 1107;
inline constexpr int kHighEdit = 1016;
inline constexpr int kLowLabel = 1108;
inline constexpr int kLowEdit = 1017;
inline constexpr int kFuseVerify = 1123;
inline constexpr int kFuseWrite = 1019;
inline constexpr int kFuseDetails = 1022;
inline constexpr int kLockEdit = 1023;
inline constexpr int kLockVerify = 1124;
inline constexpr int kLockWrite = 1025;
inline constexpr int kLockDetails = 1027;
inline constexpr int kCalibFreqLabel = 1155;
inline constexpr int kCalibFreq = 1028;
inline constexpr int kCalibValueLabel = 1156;
inline constexpr int kCalibValue = 1135;
inline constexpr int kCalibMemory = 1150;  // static: "FLASHアドレス" / "EEPROMアドレス"
inline constexpr int kCalibAddress = 1149;
inline constexpr int kCalibVerify = 1158;
inline constexpr int kCalibWrite = 1029;
inline constexpr int kCalibDetails = 1030;
}  // namespace ctl_id

class CMainControls {
public:
    // The state after the main window's initialisation: everything empty and
    // enabled, except the fuse, lock and calibration write buttons and their
    // verify boxes (disabled until values are put in), the calibration
    // label's text, and auto-detect, which is on after every start.
    CMainControls();

    const std::string& Text(int id) const;
    void SetText(int id, std::string text);
    bool IsChecked(int id) const;
    void SetCheck(int id, bool checked);
    bool IsEnabled(int id) const;
    void Enable(int id, bool enabled);

    // The device list: the catalogue row (the item data) of its selection;
    // 0 is "(auto)", item 0.
    int ListSelection() const { return m_nListRow; }
    void SelectListRow(int row);

    // Called with the control's id after the model changed it, so that a
    // window can redraw that control. Not called when nothing changed.
    std::function<void(int id)> onChanged;
    // The same, for the adapter that keeps the core in step with the
    // controls; called before onChanged.
    std::function<void(int id)> onModelChanged;

private:
    struct Control {
        std::string text;
        bool checked = false;
        bool enabled = true;
    };
    const Control& Get(int id) const;
    void Changed(int id);

    std::map<int, Control> m_controls;
    int m_nListRow = 0;
};

}  // namespace oriole
