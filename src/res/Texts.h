#pragma once
// Every user-visible text of the core, in one place, exactly as the program
// shows it. UTF-8 here; files on disk get Shift-JIS where their format says so.

namespace oriole::text {

inline constexpr char kAppName[] = "ORIOLE";

// Files
inline constexpr char kFileOpenFailed[] = "ファイルを開くことができません。";
inline constexpr char kFileCreateFailed[] = "ファイルを作成することができません。";
inline constexpr char kBadDataFormat[] = "データフォーマットが不正です。";
inline constexpr char kChecksumError[] = "チェックサムエラー";
inline constexpr char kHexBeyondDevice[] = "ファイルデータがデバイスのサイズを越えています。";
inline constexpr char kSrecBeyondDevice[] = "データがデバイスのサイズを越えています。";

// Settings
// The calibration label's text until a setting file names the memory.
inline constexpr char kCalibrationWriteMemoryDefault[] = "保存先アドレス";

// Writer link
inline constexpr char kWriterNotFound[] =
    "AVRライタが認識できません。\n\nまたはデバイスが認識できません。";
inline constexpr char kDriverConfigError[] = "line %d(%d): ドライバ呼び出しエラー(%d)";
inline constexpr char kDriverCallError[] = "line %d: ドライバ呼び出しエラー(%d)";
inline constexpr char kWriterNoAnswer[] = "デバイスまたはAVRライタからの応答がありません。";
inline constexpr char kAbortedEarlier[] =
    "何れかの処理の途中で キャンセル されたか\n\nまたは タイムアウトエラー が発生しました。\n\n"
    "今後の処理が不安定になる可能性があるため、\n\nプログラムを終了した後、USBコネクタを抜き挿ししてください。"
    "\n\nまた書き込みデバイスの電源の OFF→ON も行ってください。";
inline constexpr char kProgrammingRefused[] = "デバイスがプログラミング命令を受け付けません。";
inline constexpr char kDeviceNotDetected[] =
    "AVR を検出できないか、または\n\nこの AVR には対応していません。";
// Ours: a device clock of 0 Hz has no timing to send.
inline constexpr char kDeviceClockZero[] =
    "デバイスのクロック周波数が 0 Hz に設定されています。\n\n設定でクロック周波数を指定してください。";
// Ours: a --writer option or Device/Writer key that names no writer (%s: the text).
inline constexpr char kWriterSpecInvalid[] = "AVRライタの指定が正しくありません: %s";

}  // namespace oriole::text
