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

}  // namespace oriole::text
