#pragma once
// The lock bits dialog (resource 138): the selected device's lock byte as one
// column of bit buttons named after its lock bits. Reads, writes and
// verifies it as jobs of the main window's adapter, loads and saves lock
// files, and hands the byte text back to the main window. No lock bit is guarded by a question.

#include "devices/Devices.h"
#include "views/BitColumn.h"
#include "views/BitDlg.h"

namespace oriole {

// Control ids of resource 138.
namespace lock_dlg {
inline constexpr int kLockEdit = 1117;
inline constexpr int kRead = 1120;
inline constexpr int kWrite = 1121;
inline constexpr int kVerify = 1056;
inline constexpr int kLoadFile = 1057;
inline constexpr int kSaveFile = 1157;
}  // namespace lock_dlg

class CLockDlg final : public CBitDlg {
    Q_OBJECT
public:
    CLockDlg(CMainWindowAdapter& window, CMainSettings& settings, QWidget* parent = nullptr);

    void OnInitDialog() override;

    [[nodiscard]] const AVR_DEVICE& Device() const { return *m_pDevice; }
    [[nodiscard]] CBitColumn& Column() { return m_column; }

private:
    void HandBack(bool enable) override;

    void OnRead();
    void OnWrite();
    void OnVerify();
    void OnLoadFile();
    void OnSaveFile();

    const AVR_DEVICE* m_pDevice;
    CBitColumn m_column;
};

}  // namespace oriole
