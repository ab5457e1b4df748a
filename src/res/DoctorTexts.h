#pragma once
// The texts of the connection check (oriole-cli doctor): what each check
// looked at, what it found and the one-line fix of a failed check; and why a
// wire trace could not be opened or stopped early.

namespace oriole::text::doctor {

inline constexpr char kBackends[] = "バックエンド";
inline constexpr char kBackendsNone[] = "libftdi1 も D2XX も FTDI のシリアルポートもありません";
inline constexpr char kBackendsFix[] = "sudo apt install libftdi1-2 (または FTDI の D2XX ライブラリを入れてください)";
inline constexpr char kUsbDevice[] = "USB デバイス";
inline constexpr char kNoUsbDevice[] = "FTDI のデバイスが USB に見つかりません";
inline constexpr char kNoUsbDeviceFix[] = "ライタを USB に挿し、ケーブルとハブを確かめてください (lsusb に 0403: が出るはずです)";
inline constexpr char kKernelDriver[] = "カーネルドライバ";
inline constexpr char kKernelDriverNone[] = "なし";
inline constexpr char kKernelDriverUnknown[] = "不明 (デバイスを開けません)";
inline constexpr char kKernelDriverFix[] =
    "ftdi バックエンドは使う間だけ切り離します。d2xx では sudo rmmod ftdi_sio、"
    "または --writer serial:/dev/ttyUSBn を使ってください";
inline constexpr char kUdevRule[] = "udev ルール";
inline constexpr char kUdevRuleMissing[] = "ライタの udev ルールがありません";
inline constexpr char kUdevRuleFix[] =
    "sudo cp 60-oriole.rules /etc/udev/rules.d/ && sudo udevadm control --reload、"
    "そしてライタを挿し直してください (deb パッケージなら自動で入ります)";
inline constexpr char kPermission[] = "アクセス権";
inline constexpr char kPermissionGroupFix[] = "sudo usermod -aG %s $USER の後、ログインし直してください";
inline constexpr char kPermissionRuleFix[] = "udev ルールを入れてライタを挿し直してください";
inline constexpr char kNodeMissing[] = "デバイスノードがありません";
inline constexpr char kOpen[] = "ライタを開く";
inline constexpr char kOpenNotFoundFix[] = "ライタを挿し、writers コマンドで見えるか確かめてください";
inline constexpr char kOpenDeniedFix[] = "udev ルールを入れるか、デバイスノードのグループに入ってください";
inline constexpr char kOpenOtherFix[] = "ほかのプログラムがライタを使っていないか確かめ、ライタを挿し直してください";
inline constexpr char kLineSetup[] = "回線設定";
inline constexpr char kLineSetupFix[] = "ライタを挿し直してください。続くときはトレースを添えて報告してください";
inline constexpr char kTimingAck[] = "タイミング要求 T (応答 94)";
inline constexpr char kTimingAckFix[] = "ライタの電源とケーブルを確かめ、挿し直してください";
inline constexpr char kTimingLate[] = "応答 %02X が %.0f ms 後に来ました (%.0f ms 待っても来ませんでした)";
inline constexpr char kTimingLateFix[] =
    "ライタの応答が遅すぎます: USB ハブを通さずにつなぎ、ライタを挿し直してください。"
    "続くときは --report を添えて報告してください";
inline constexpr char kRoundTrip[] = "応答時間 (T を %d 回)";
inline constexpr char kRoundTripDetail[] = "最小 %.1f ms, 中央値 %.1f ms, 最大 %.1f ms (設定から %.1f ms 程度のはず)";
inline constexpr char kRoundTripFix[] =
    "応答が遅すぎます: USB ハブを通さずにつなぐか、--usb-timing を大きくしてください";
inline constexpr char kChip[] = "チップ";
inline constexpr char kChipRefused[] = "チップがプログラミング許可に応じません";
inline constexpr char kChipFix[] = "ターゲットの電源、ISP ケーブルの向き、--clock の値を確かめてください";
inline constexpr char kChipUnknown[] = "シグネチャ %02X %02X %02X は一覧にありません";
inline constexpr char kChipUnknownFix[] = "ISP ケーブルとターゲットの電源を確かめてください (FF FF FF / 00 00 00 は未接続)";
inline constexpr char kSkipped[] = "前の確認が失敗したため行いません";

}  // namespace oriole::text::doctor

namespace oriole::text::trace {

inline constexpr char kNotSupported[] = "このシステムではトレースを取れません";
inline constexpr char kDevice[] = "端末でも /dev/null でもないデバイスです";
inline constexpr char kNotFile[] = "ファイル、FIFO、端末のどれでもありません";
inline constexpr char kNoReader[] = "FIFO を読むプログラムがありません";
inline constexpr char kChanged[] = "開く間にパスが別のものに変わりました";
inline constexpr char kReaderStopped[] = "トレースの読み手が受け取らなくなりました";
inline constexpr char kWriteFailed[] = "トレースを書けません: ";

}  // namespace oriole::text::trace
