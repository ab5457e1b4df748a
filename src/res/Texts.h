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
// Ours: a load that would otherwise fail without a word.
inline constexpr char kNoEndRecord[] = "ファイルに終了レコードがありません。";
inline constexpr char kFileUnrecognised[] =
    "ファイルの形式を認識できません (空のファイルか、Intel HEX・S レコード・ELF のどれでもありません)。";
// Ours: a value list whose items do not parse (%s: the item and why).
inline constexpr char kValueListInvalid[] = "値が正しくありません (%s)。";
inline constexpr char kHexBeyondDevice[] = "ファイルデータがデバイスのサイズを越えています。";
inline constexpr char kSrecBeyondDevice[] = "データがデバイスのサイズを越えています。";
// Ours: a save that would replace or block on something that is no file.
inline constexpr char kSaveNotAFile[] =
    "保存先がファイルではありません (フォルダやデバイスには保存できません)。";
inline constexpr char kSaveNoReader[] = "保存先のパイプを読み出すプログラムがありません。";
inline constexpr char kSaveStalled[] = "保存先がデータを受け取らないため、書き込みを中止しました。";
// Ours: the one line of a program that cannot go on (the second is followed
// by what the exception says).
inline constexpr char kFatalOutOfMemory[] = "メモリが足りないため終了します。";
inline constexpr char kFatalException[] = "予期しないエラーのため終了します: ";
inline constexpr char kFatalUnknown[] = "予期しないエラーのため終了します。";
// Ours: a pipe that stays silent, and an input that goes on past every bound
// (%d: the bound in MB).
inline constexpr char kInputNoData[] = "パイプからデータが届かないため、読み込みを中止しました。";
inline constexpr char kInputTooLarge[] = "入力が %d MB を超えたため、読み込みを中止しました。";
// Ours: ELF files (avr-gcc's output) that cannot be programmed.
inline constexpr char kElfBroken[] = "ELFファイルが壊れています。";
inline constexpr char kElfNotAvr[] = "AVR用のELFファイルではありません。";
inline constexpr char kElfTooLarge[] = "ELFファイルが大きすぎます。";
inline constexpr char kElfOutsideSpaces[] =
    "ELFファイルのデータの番地が AVR のメモリ空間 (FLASH, EEPROM, ヒューズ, ロックビット, シグネチャ) にありません。";
inline constexpr char kElfNoSegments[] =
    "ELFファイルに書き込むデータがありません (リンク前のオブジェクトファイルではありませんか？)。";
inline constexpr char kElfOverlap[] = "ELFファイルのセグメントが重なっています。";
inline constexpr char kElfSignatureSize[] = "ELFファイルのシグネチャが 3 バイトではありません。";
// %02X x3: the file's signature, %s: the device, %02X x3: the device's signature.
inline constexpr char kElfSignatureMismatch[] =
    "ELFファイルのシグネチャ %02X %02X %02X はデバイス %s (%02X %02X %02X) と一致しません。\n\n"
    "書き込みを中止しました。";

// Settings
// The calibration label's text until a setting file names the memory.
inline constexpr char kCalibrationWriteMemoryDefault[] = "保存先アドレス";
// Ours: a settings file (%s) that is not read and therefore never written.
inline constexpr char kSettingsNotRegular[] =
    "設定ファイル %s は通常のファイルではありません。\n\n"
    "このファイルからは読み込まず、このファイルには保存しません。";
inline constexpr char kSettingsTooLarge[] =
    "設定ファイル %s は大きすぎます。\n\n"
    "このファイルからは読み込まず、このファイルには保存しません。";
inline constexpr char kSettingsUnreadable[] =
    "設定ファイル %s を読み込めません。\n\n"
    "このファイルからは読み込まず、このファイルには保存しません。";

// Writer link
inline constexpr char kWriterNotFound[] =
    "AVRライタが認識できません。\n\nまたはデバイスが認識できません。";
// Ours: the box is there, but its USB device may not be opened.
inline constexpr char kWriterAccessDenied[] =
    "AVRライタは見つかりましたが、開く権限がありません。\n\n"
    "udev ルール 60-oriole.rules (/etc/udev/rules.d または /lib/udev/rules.d) を入れ、\n"
    "sudo udevadm control --reload && sudo udevadm trigger\n"
    "で読み込み直してから、USBコネクタを抜き挿ししてください。";
// Ours: the box's port is held by another program; a port that is a
// terminal the program must not touch.
inline constexpr char kWriterInUse[] = "AVRライタは他のプログラムが使用中です。";
inline constexpr char kWriterPortRefused[] =
    "指定されたポートは端末 (操作中の端末、コンソールまたは設定ファイルが指定した疑似端末) のため、開きませんでした。";
inline constexpr char kDriverConfigError[] = "line %d(%d): ドライバ呼び出しエラー(%d)";
inline constexpr char kDriverCallError[] = "line %d: ドライバ呼び出しエラー(%d)";
inline constexpr char kWriterNoAnswer[] = "デバイスまたはAVRライタからの応答がありません。";
// Ours: an acknowledge byte other than the one waited for (%02X: expected, received).
inline constexpr char kWriterWrongAck[] =
    "デバイスまたはAVRライタからの応答が正しくありません (%02X を待ちましたが %02X を受信しました)。";
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
// Ours: a settings file's Device/Writer that a file may not hold; the first
// %s is the file's value, the second one of the reasons below.
inline constexpr char kFileWriterIgnored[] =
    "設定ファイルの AVRライタの指定 (Writer=%s) は使用できないため、無視しました。\n\n%s\n\n"
    "AVRライタは auto で探します。ファイルの内容は変更しません。";
inline constexpr char kFileWriterNamesLibrary[] =
    "読み込むライブラリは、コマンドラインの --writer でのみ指定できます。";
inline constexpr char kFileWriterNotDevice[] =
    "シリアルポートには /dev/ のシリアルデバイス (USB シリアル変換器など) だけを指定できます。"
    "端末、コンソール、疑似端末は指定できません。";
inline constexpr char kFileWriterNotAllowed[] =
    "設定ファイルで指定できるのは auto、ftdi、d2xx、serial、sim とそのオプションだけです。";

// Ours: oriole-cli ended by Ctrl-C (or SIGTERM) outside a transfer.
inline constexpr char kInterrupted[] = "中断しました。";

// Device operations
inline constexpr char kDeviceUnknown[] =
    "デバイスが不明です。以下のいずれかの操作をして下さい。\n\n  ・[自動検出]をオンにする。\n"
    "  ・[検出]を実行する。\n  ・[自動検出]をオフのまま、デバイスを直接指定する。";
inline constexpr char kEraseConfirm[] = "デバイスのデータを消去します。\n\nよろしいですか？";
inline constexpr char kEraseDone[] = "デバイスのデータを消去しました。";
inline constexpr char kEraseBeforeWriteFailed[] = "デバイスのデータの消去に失敗しました。";
inline constexpr char kFlashCaption[] = "FLASH";
inline constexpr char kEepromCaption[] = "EEPROM";
inline constexpr char kFlashWriting[] = "FLASH 書き込み中...";
inline constexpr char kFlashReading[] = "FLASH 読み出し中...";
inline constexpr char kEepromWriting[] = "EEPROM 書き込み中...";
inline constexpr char kEepromReading[] = "EEPROM 読み出し中...";
inline constexpr char kFlashWriteDone[] = "FLASH 書き込み終了。";
inline constexpr char kEepromWriteDone[] = "EEPROM 書き込み終了。";
inline constexpr char kFlashVerifyError[] = "FLASH ベリファイ エラー: %06X";
inline constexpr char kEepromVerifyError[] = "EEPROM ベリファイ エラー: %06X";
inline constexpr char kFlashVerifyOk[] = "FLASH ベリファイ OK!";
inline constexpr char kEepromVerifyOk[] = "EEPROM ベリファイ OK!";
inline constexpr char kFuseWriteDone[] = "ヒューズ 書き込み終了。";
// Ours: the fuse writes that would leave a chip the box cannot reach.
inline constexpr char kFuseSpienRelease[] =
    "SPIEN を解除する書き込みはできません。解除するとこのライタで書き込めなくなります。";
inline constexpr char kFuseRiskIntro[] = "このヒューズ書き込みは\n";
inline constexpr char kFuseRiskRstdisbl[] = "RSTDISBL をプログラムします (RESET ピンが使えなくなります)。\n";
inline constexpr char kFuseRiskDwen[] = "DWEN をプログラムします (RESET ピンが使えなくなります)。\n";
inline constexpr char kFuseRiskClock[] =
    "クロック源 (CKSEL) を変更します (そのクロックがないと書き込めなくなります)。\n";
inline constexpr char kFuseRiskUnreachable[] = "このライタで書き込めなくなる可能性があります。";
inline constexpr char kFuseRiskQuestion[] = "書き込みますか?";
inline constexpr char kFuseWriteDeclined[] = "ヒューズの書き込みを取り消しました。";
inline constexpr char kInputEmpty[] = "%s に %s のデータがありません。";  // file, memory
inline constexpr char kInputMissing[] = "書き込むファイルが指定されていません。";
inline constexpr char kVerifyMismatch[] = "ベリファイ エラー";
inline constexpr char kFuseVerifyOk[] = "ヒューズ ベリファイ OK!";
inline constexpr char kFuseVerifyError[] = "ヒューズ%s ベリファイ ERROR!";  // %s: "[High,Low]" or ""
inline constexpr char kLockWriteDone[] = "ロックビット 書き込み終了。";
inline constexpr char kLockVerifyOk[] = "ロックビット ベリファイ OK!";
inline constexpr char kLockVerifyError[] = "ロックビット ベリファイ ERROR!";
// Ours: a device for which no lock write command is defined.
inline constexpr char kLockNotWritable[] = "このデバイスのロックビットは書き込むことができません。";
inline constexpr char kLockNotReadable[] = "このデバイスのロックビットは読み出すことができません。";
// A lock write whose verify was asked on a device that cannot send its lock
// bits back: written, and not verified.
inline constexpr char kLockNotVerified[] = "このデバイスのロックビットは読み出せないため、ベリファイしていません。";
// A step after the job's own lock write that the lock leaves closed until an
// erase (the lock value, the memory).
inline constexpr char kLockForbidsWrite[] = "ロックビット %02X の書き込みの後では、消去するまで %s に書き込めません。";
inline constexpr char kLockForbidsRead[] =
    "ロックビット %02X の書き込みの後では、消去するまで %s を読み出せません。ベリファイはロックビットの前にしてください。";
// An operation on a memory the device does not have: the device's name, then
// the memory (kMemoryFuses, kMemoryCalibration).
inline constexpr char kMemoryMissing[] = "%s には%sがありません。";
inline constexpr char kMemoryFuses[] = "ヒューズ";
inline constexpr char kMemoryCalibration[] = "校正バイト";
inline constexpr char kCalibWriteDone[] = "校正値 書き込み終了。";
inline constexpr char kCalibVerify[] = "校正値 ベリファイ %s";  // %s: kCalibOk or kCalibError
inline constexpr char kCalibOk[] = "OK!";
inline constexpr char kCalibError[] = "ERROR";
inline constexpr char kCalibValueMissing[] = "校正値 を設定してください。";
inline constexpr char kCalibAddressMissing[] = "アドレス を指定してください。";
inline constexpr char kCalibMemoryMissing[] = "書き込み先 を指定してください。";
inline constexpr char kCalibNotWritable[] = "指定された書き込み先に 校正値 を書き込むことはできません。";
inline constexpr char kAddressBeyondDevice[] = "指定されたアドレスはデバイスの範囲を超えています。";
inline constexpr char kCalibFlashLabel[] = "FLASHアドレス";
inline constexpr char kCalibEepromLabel[] = "EEPROMアドレス";

// The save dialog's format list, in the order of the format numbers.
inline constexpr char kSaveFormatIntelHex[] = "インテル HEXファイル フォーマット";
inline constexpr char kSaveFormatSRecord[] = "モトローラ Sレコード フォーマット";
inline constexpr char kSaveFormatBinary[] = "バイナリ フォーマット";  // ours

// The memory views' save command.
inline constexpr char kFlashSaved[] = "FLASHデータを保存しました。";
inline constexpr char kFlashSaveFailed[] = "FLASHデータは保存できませんでした。";
inline constexpr char kEepromSaved[] = "EEPROMデータを保存しました。";
inline constexpr char kEepromSaveFailed[] = "EEPROMデータは保存できませんでした。";

// Application window
inline constexpr char kAboutMenu[] = "ORIOLE のﾊﾞｰｼﾞｮﾝ情報(&A)...";
inline constexpr char kAboutTitle[] = "ORIOLE のﾊﾞｰｼﾞｮﾝ情報";
// %s: the version, then the writer spec in use.
inline constexpr char kAboutText[] = "ORIOLE Ver.%s\n\nAVR ライタ: %s";
inline constexpr char kFlashFileFilter[] = "FLASH ファイル (";
inline constexpr char kEepromFileFilter[] = "EEPROM ファイル (";
inline constexpr char kAllFilesFilter[] = "すべてのファイル (*.*)|*.*|";
// Ours: the data files' dialogs also offer avr-gcc's ELF files and raw binaries.
inline constexpr char kElfFilesFilter[] = "ELF (*.elf)|*.elf|";
inline constexpr char kBinaryFilesFilter[] = "バイナリ (*.bin)|*.bin|";
inline constexpr char kAutoDetectList[] = "(auto)";
// %s: the folder named for the settings file that could not be made.
inline constexpr char kSettingsFolderFailed[] = "設定フォルダを作成できません。\n\n%s";
// The runtime folder (%s) takes no lock file; the second %s: where it goes instead.
inline constexpr char kLockFolderFallback[] =
    "実行時フォルダ %s にロックファイルを作れないため、%s に作ります。";
// %s: the lock file that could not be made anywhere.
inline constexpr char kLockFailed[] = "ロックファイル %s を作れないため、起動できません。";
inline constexpr char kAutoDetectOff[] =
    "自動検出をオフにすると、すべての処理について\n\n結果を保証することができません。\n\n"
    "自動検出をオフにしますか？";

// The settings dialog's setting-file dialogs: filter and the captions the
// platform's open and save dialogs carry.
inline constexpr char kSettingFileFilter[] = "設定ファイル (*.set)|*.set|すべてのファイル (*.*)|*.*|";
inline constexpr char kSettingFileOpenTitle[] = "開く";
inline constexpr char kSettingFileSaveTitle[] = "名前を付けて保存";

// Batch execution: the toggle's two captions and the log, one line per step
// ("... " then the result and CR LF).
inline constexpr char kBatchAllOn[] = "すべてON";
inline constexpr char kBatchAllOff[] = "すべてOFF";
inline constexpr char kBatchErase[] = "デバイス消去... ";
inline constexpr char kBatchFlashWrite[] = "FLASH 書き込み... ";
inline constexpr char kBatchFlashVerify[] = "FLASH ベリファイ... ";
inline constexpr char kBatchEepromWrite[] = "EEPROM 書き込み... ";
inline constexpr char kBatchEepromVerify[] = "EEPROM ベリファイ... ";
inline constexpr char kBatchFuseWrite[] = "ヒューズ 書き込み... ";
inline constexpr char kBatchFuseVerify[] = "ヒューズ ベリファイ... ";
inline constexpr char kBatchLockWrite[] = "ロックビット 書き込み... ";
inline constexpr char kBatchLockVerify[] = "ロックビット ベリファイ... ";
inline constexpr char kBatchCalibWrite[] = "校正値 書き込み... ";
inline constexpr char kBatchCalibVerify[] = "校正値 ベリファイ... ";
inline constexpr char kBatchOk[] = "OK\r\n";
inline constexpr char kBatchError[] = "エラー\r\n";

// Ours: production runs (oriole-cli run, the production window).
inline constexpr char kProductionNoSettingFile[] = "設定ファイルを読み込めません: %s";
inline constexpr char kProductionSettingFileMissing[] = "設定ファイルを指定してください。";
inline constexpr char kProductionNoDevice[] =
    "設定ファイルでデバイスが選ばれていません。量産にはデバイスを選んだ設定ファイルが必要です。";
inline constexpr char kProductionBadKey[] = "設定ファイルの [Production] %s の値が正しくありません: %s";
inline constexpr char kProductionBadSerial[] =
    "シリアル番号の指定が正しくありません (flash|eeprom:番地:バイト数[:le|be][:bin|bcd|dec|hex]): %s";
inline constexpr char kProductionBadStep[] = "不明な手順です: %s";
inline constexpr char kProductionBadRange[] = "シリアル番号の範囲が正しくありません (最初 > 最後、または増分 0)。";
inline constexpr char kProductionSerialTooWide[] = "シリアル番号 %llu は %d バイトに収まりません。";
inline constexpr char kProductionSerialsUsedUp[] = "シリアル番号を使い切りました: %s";
inline constexpr char kProductionCounterOutOfRange[] =
    "カウンタファイル %s の次の番号 %llu はシリアル番号の範囲にありません (最初 %llu、増分 %llu、最後 %llu)。";
inline constexpr char kProductionListTwice[] = "シリアル番号リスト %s に同じ番号が 2 回あります: %s と %s";
// The counter, list and chip journal as files the run owns: %s the file, then why.
inline constexpr char kProductionFileNotOwned[] = "%s は使えません: %s";
inline constexpr char kProductionNodeIsLink[] = "シンボリックリンクです。";
inline constexpr char kProductionNodeDangling[] = "リンク先のファイルがありません。";
inline constexpr char kProductionNodeHardLinked[] = "ほかの名前 (ハードリンク) も持つファイルです。";
inline constexpr char kProductionNodeNotRegular[] = "通常のファイルではありません。";
// %s the file, %d the line, %s the line as read.
inline constexpr char kProductionBadFileLine[] =
    "%s の %d 行目を読めません: %s (内容を確かめ、直すか取り除いてから始めてください)";
inline constexpr char kProductionFreeOutOfRange[] =
    "カウンタファイル %s の free の番号 %llu は使えません (最初 %llu、増分 %llu、最後 %llu、次の番号 %llu より前であること)。";
inline constexpr char kProductionFreeLogged[] = "カウンタファイル %s の番号 %llu には、ログ %s にもう OK の行があります。";
inline constexpr char kProductionListLogged[] = "シリアル番号リスト %s の次の行 %s には、ログ %s にもう OK の行があります。";
// Journal lines this run cannot judge, kept: %s the journal, %s their serial numbers.
inline constexpr char kProductionJournalKept[] =
    "ジャーナル %s に、別のマシンの実行か、生死のわからない古い実行の行があります。そのまま残します (シリアル番号 %s)。";
inline constexpr char kProductionLockWaiting[] = "ほかの実行が %s を使っています。空くのを待っています...";
inline constexpr char kProductionLockTimeout[] = "%d 秒待ちましたが、%s のロックが空きませんでした。";
inline constexpr char kProductionInterruptedChips[] =
    "前回の実行は書き込み中のチップを残して終わっていました。%d 個のチップをログに「中断」として記録しました (シリアル番号 %s)。";
inline constexpr char kProductionResultInterrupted[] = "中断";
inline constexpr char kProductionBadListLine[] = "シリアル番号リストの行が正しくありません (%s): %s";
inline constexpr char kProductionFileUnreadable[] = "ファイルを読み込めません: %s";
inline constexpr char kProductionFileUnwritable[] = "ファイルに書き込めません: %s";
inline constexpr char kProductionLogNotFile[] = "ログの保存先が通常のファイルではありません: %s";
// A log begun under other columns: %s the old log, %s the file the lines go to.
inline constexpr char kProductionLogOtherColumns[] =
    "ログ %s は列の並びが違うため、そのままにして %s に書き込みます。";
inline constexpr char kProductionLogNotOurs[] = "ログ %s は列の並びが違うため、書き込めません。";
// The event stream (%s: its path, with the system's reason where there is one).
inline constexpr char kEventsNotFile[] = "イベントの出力先には通常のファイルか FIFO だけを指定できます: %s";
inline constexpr char kEventsNoReader[] = "イベントの出力先の FIFO を読むプログラムがありません: %s";
inline constexpr char kEventsStalled[] = "イベントの出力先の FIFO が読まれないため、書き込めません: %s";
inline constexpr char kEventsUnwritable[] = "イベントを書き込めません: %s";
inline constexpr char kEventsLockWaiting[] = "イベントの出力先をほかのプログラムが使用中のため待っています: %s";
inline constexpr char kEventsLockTimeout[] = "イベントの出力先をほかのプログラムが使用中のままです。%d 秒待ってあきらめました: %s";
inline constexpr char kProductionImageNotFile[] = "量産に使えるのは通常のファイルだけです: %s";
inline constexpr char kProductionImageTooLarge[] = "書き込みファイルが %d MB を超えているため、量産に使えません: %s";
inline constexpr char kProductionImageUnreadable[] = "書き込みファイルを読めません: %s";
inline constexpr char kProductionImageChanged[] =
    "ファイルが変更されました。次のチップには書き込みません: %s";
inline constexpr char kProductionSerialNoFlashStep[] =
    "シリアル番号は FLASH に入りますが、FLASH 書き込みの手順がありません。";
inline constexpr char kProductionSerialNoEepromStep[] =
    "シリアル番号は EEPROM に入りますが、EEPROM 書き込みの手順がありません。";
inline constexpr char kProductionSerialBeyond[] = "シリアル番号の番地 0x%04X はメモリ (%u バイト) を越えています。";
inline constexpr char kProductionSerialOverlap[] =
    "シリアル番号の番地 0x%04X はイメージのデータと重なります: %s";
inline constexpr char kProductionNoCalibFrequency[] = "このデバイスには校正値の周波数 %s がありません。";
inline constexpr char kProductionRiskyFusesHint[] =
    "書き込むには設定ファイルの [Production] に AllowRiskyFuses=1 と書いてください。";
inline constexpr char kProductionWrongDevice[] = "別のデバイスです (%s)";
// A box's state while it waits, and what no box found says.
inline constexpr char kProductionInsertChip[] = "チップを挿してください...";
inline constexpr char kProductionRemoveChip[] = "チップを取り外してください...";
inline constexpr char kProductionBoxEnded[] = "終了しました。";
inline constexpr char kProductionNoWriters[] = "ライタが見つかりません。";
// The production window: its lists, its status line and its checks of the
// serial rule's fields (%s: the field's label, then its text).
inline constexpr const char* kProductionMemories[] = {"FLASH", "EEPROM"};
inline constexpr const char* kProductionOrders[] = {"下位から", "上位から"};
inline constexpr const char* kProductionEncodings[] = {"バイナリ", "BCD", "10進文字 (ASCII)", "16進文字 (ASCII)"};
inline constexpr char kProductionRunning[] = "実行中...";
inline constexpr char kProductionStopping[] = "書き込み中のチップが終わったら止まります...";
// %d: chips passed, chips failed.
inline constexpr char kProductionFinished[] = "終了しました。合格 %d  不合格 %d";
// How a run ended (RunEnd's order): completed, stopped, broken, boxes lost.
inline constexpr const char* kProductionEnds[] = {"完了", "停止", "中止", "ライタ応答なし"};
// The counts at a run's end: passed, failed, boxes lost, how it ended.
inline constexpr char kProductionSummary[] = "合格 %d  不合格 %d  応答しないライタ %d  (%s)";
// Why a run did not succeed, in one line.
inline constexpr char kProductionShortBroken[] = "実行を中止しました: %s";
inline constexpr char kProductionShortLost[] =
    "応答しないライタがあるため、予定のチップを書き終えていません (ライタ %d 台、書いたチップ %d 個)。";
inline constexpr char kProductionShortStopped[] = "予定のチップを書き終える前に止めました (書いたチップ %d 個)。";
inline constexpr char kProductionShortFailed[] = "不合格のチップがあります (%d 個)。";
inline constexpr char kProductionNotStarted[] = "量産を始められません: %s";
inline constexpr char kProductionBadField[] = "%s の値が正しくありません: %s";
inline constexpr char kProductionListFilter[] = "テキストファイル (*.txt)|*.txt|すべてのファイル (*.*)|*.*|";
// A production job refused before the first chip: a value no rule reads
// (%s the section and key, %s the text), steps that do nothing with what
// the job names or can only fail, a file the job would write outside its
// folder (%s the key or option, %s the path), an output option naming an
// input of the job (%s the option, %s the path).
inline constexpr char kProductionBadNumber[] = "設定ファイルの %s の値を数として読めません: %s";
inline constexpr char kProductionImageUnused[] =
    "%s のファイル %s を指定していますが、それを書き込む手順もベリファイする手順もありません (AutoCheck を確かめてください)。";
inline constexpr char kProductionNothingToDo[] =
    "手順が消去だけです。チップに書き込む手順もベリファイする手順もありません (AutoCheck を確かめてください)。";
inline constexpr char kProductionVerifyAfterErase[] =
    "%s を消去した後、書き込まずにベリファイする手順です。どのチップも必ず失敗します "
    "(設定ファイルの手順には必ず消去が入ります。消去しないでベリファイするには --steps で手順を指定してください)。";
inline constexpr char kProductionOtherName[] =
    "%s のファイルにはほかの名前 (ハードリンク) があり、そこも書き換わってしまいます: %s";
inline constexpr char kProductionOutsideFolder[] =
    "%s のファイルはジョブのフォルダの中になければなりません: %s";
inline constexpr char kProductionOutputIsInput[] = "%s にジョブの入力ファイルは指定できません: %s";
// A cut last line of the log or the event stream was moved aside: %s the
// file, %s where the cut text went.
inline constexpr char kProductionCutLineMoved[] =
    "%s の最後の行が途中で切れていたため、その部分を %s に移しました。";
// The log's step column for a chip whose job failed before its first step.
inline constexpr char kProductionStepDetect[] = "デバイス検出";
inline constexpr char kProductionStepPrepare[] = "準備";
// A run waiting for another program's lock on the log (%s the file), and
// giving up (%d the seconds waited, %s the file).
inline constexpr char kProductionLogLockWaiting[] = "ほかのプログラムが使用中のため待っています: %s";
inline constexpr char kProductionLogLockTimeout[] = "ほかのプログラムが使用中のままです。%d 秒待ってあきらめました: %s";
// The production window's operator view: a panel per box, the job's
// files, the counts of the lot, the log newest first and the summary.
inline constexpr char kProdBoxTitle[] = "ライタ %d";
inline constexpr char kProdInsert[] = "チップを挿してください";
inline constexpr char kProdWorking[] = "書き込み中";
inline constexpr char kProdPass[] = "合格 PASS";
inline constexpr char kProdFail[] = "不合格 FAIL";
inline constexpr char kProdRemove[] = "チップを取り外してください";
inline constexpr char kProdLost[] = "ライタが応答しません";
inline constexpr char kProdLostHint[] = "ライタの接続と電源を確かめてください。このライタは止まりました。";
inline constexpr char kProdEnded[] = "終了";
inline constexpr char kProdIdle[] = "待機中";
inline constexpr char kProdSerial[] = "シリアル番号 %s";
inline constexpr char kProdPrevious[] = "前回: %s";
inline constexpr char kProdFailedAt[] = "失敗した手順: %s";
// What the operator does after a failure, by its cause.
inline constexpr char kProdDoWrongChip[] = "チップの向きと挿し込みを確かめ、挿し直してください。";
inline constexpr char kProdDoOtherDevice[] = "別の品種のチップです。正しいチップに替えてください。";
inline constexpr char kProdDoVerify[] = "チップを不良品として分け、次のチップを挿してください。続くときは責任者に連絡してください。";
inline constexpr char kProdDoBox[] = "ライタの接続と電源を確かめてください。";
inline constexpr char kProdDoFile[] = "ファイルが読めません。責任者に連絡してください。";
inline constexpr char kProdDoSetting[] = "設定ファイルがこのチップに合いません。責任者に連絡してください。";
inline constexpr char kProdDoOther[] = "チップを取り外し、もう一度試してください。続くときは責任者に連絡してください。";
inline constexpr char kProdDevice[] = "デバイス";
inline constexpr char kProdFiles[] = "ファイル";
inline constexpr char kProdNoFiles[] = "(なし)";
inline constexpr char kProdNextSerial[] = "次のシリアル番号";
inline constexpr char kProdNoSerial[] = "(なし)";
inline constexpr char kProdPassed[] = "合格";
inline constexpr char kProdFailed[] = "不合格";
inline constexpr char kProdYield[] = "歩留まり";
inline constexpr char kProdLogTitle[] = "結果 (新しい順)";
inline constexpr char kProdMessagesTitle[] = "メッセージ";
inline constexpr const char* kProdLogColumns[] = {"結果", "シリアル番号", "ライタ", "手順・原因", "時刻"};
inline constexpr char kProdResultPass[] = "合格";
inline constexpr char kProdResultFail[] = "不合格";
inline constexpr char kProdLocked[] = "(ロック中: 設定は変更できません)";
// The end of a run: %d passed, %d failed, the yield.
inline constexpr char kProdSummary[] = "終了しました。合格 %d  不合格 %d  歩留まり %s";
// A run that did all it was asked with every chip passed: %d chips.
inline constexpr char kProdAllPassed[] = "終了しました。予定のチップ %d 個はすべて合格です。";
inline constexpr char kProdNoChips[] = "終了しました。書いたチップはありません。";
// A run that did not: the reason (CProductionRun::Shortfall) follows.
inline constexpr char kProdShortfall[] = "予定どおりに終わっていません: %s";
inline constexpr char kProdBoxesLost[] = "応答しなくなったライタ %d 台";
inline constexpr char kProdNotStarted[] = "始められませんでした。理由はメッセージにあります。";
inline constexpr char kProdInterruptedTip[] =
    "前回の実行が書き込み中に終わったチップです。結果は分かりません。確かめるまで出荷しないでください。";
inline constexpr char kProdLastFailure[] = "最後の不合格: ライタ %s  シリアル番号 %s  %s — %s";
inline constexpr char kProdClosing[] = "書き込み中のチップが終わったら止まります。結果を表示してから閉じられます...";
inline constexpr char kProdCloseAgain[] = "もう一度「閉じる」を押すと画面を閉じます。";

// The fuse and lock bit dialogs: their file dialogs' first filter (the
// patterns and ")" follow) and the questions before a bit that shuts this
// writer out is programmed.
inline constexpr char kFuseFileFilter[] = "Fuse Bits ファイル (";
inline constexpr char kLockFileFilter[] = "Lock Bits ファイル (";
inline constexpr char kRstdisblQuestion[] =
    "RSTDISBLヒューズをプログラムすると RESETピン が使用できなくなるため\n\n"
    "次回からこのAVRライタでのプログラムができなくなります。\n\n"
    "RSTDISBLヒューズをプログラムしますか？";
inline constexpr char kDwenQuestion[] =
    "DWENヒューズをプログラムすると RESETピン が使用できなくなるため\n\n"
    "次回からこのAVRライタでのプログラムができなくなります。\n\n"
    "DWENヒューズをプログラムしますか？";

}  // namespace oriole::text
