#pragma once
// The fuse bits dialog (resource 135): the selected device's Extended, High
// and Low fuse bytes as three columns of bit buttons named after the
// device's fuse bits. Reads, writes and verifies them as jobs of the main
// window's adapter, loads and saves fuse files (the byte texts then show
// what the bits give), and hands the three byte texts back to the main
// window. SPIEN stays programmed; RSTDISBL and DWEN, which shut this writer
// out of the device, are programmed only after the user agreed.

#include <array>

#include "devices/Devices.h"
#include "views/BitColumn.h"
#include "views/BitDlg.h"

namespace oriole {

// Control ids of resource 135.
namespace fuse_dlg {
inline constexpr int kExtEdit = 1101;
inline constexpr int kHighEdit = 1102;
inline constexpr int kLowEdit = 1103;
inline constexpr int kRead = 1105;
inline constexpr int kWrite = 1056;
inline constexpr int kVerify = 1125;
inline constexpr int kLoadFile = 1145;
inline constexpr int kSaveFile = 1057;
// The columns, Extended first.
enum Column { kExt = 0, kHigh = 1, kLow = 2, kColumnCount = 3 };
}  // namespace fuse_dlg

class CFuseDlg final : public CBitDlg {
    Q_OBJECT
public:
    CFuseDlg(CMainWindowAdapter& window, CMainSettings& settings, QWidget* parent = nullptr);

    void OnInitDialog() override;

    // The device the names come from.
    [[nodiscard]] const AVR_DEVICE& Device() const { return *m_pDevice; }
    [[nodiscard]] CBitColumn& Column(fuse_dlg::Column column) { return m_columns[column]; }

private:
    // The device's names in the columns and the byte boxes of its fuse bytes enabled.
    void ShowDevice();
    void SetBitsFromValues(const std::array<uint8_t, 3>& values);
    // Asks about the guarded bits, then shows the three bytes.
    void UpdateFromBits();
    void ConfirmRiskyBit(QAbstractButton* button, bool& confirmed, const char* question);
    void HandBack(bool enable) override;
    [[nodiscard]] std::array<uint8_t, 3> TextValues() const;

    void OnRead();
    void OnWrite();
    void OnVerify();
    void OnLoadFile();
    void OnSaveFile();

    const AVR_DEVICE* m_pDevice;
    std::array<CBitColumn, 3> m_columns;
    bool m_bRstdisblConfirmed = false;
    bool m_bDwenConfirmed = false;
};

}  // namespace oriole
