#pragma once
// The texts of the programming terminal (oriole-cli -t / -T): its messages,
// which go to standard error, and its help. The lines scripts compare on
// standard output (the dump lines, the signature line) keep the layout the
// scripts expect and live with the code that prints them.

namespace oriole::text::terminal {

// Commands and their arguments. %s is the command's name where it has one.
inline constexpr char kUnknownCommand[] = "コマンド %s は不明です (help で一覧が出ます)";
inline constexpr char kAmbiguousCommand[] = "コマンド %s があいまいです:%s";
inline constexpr char kNoShell[] = "ターミナルからシェルのコマンドは実行できません";
inline constexpr char kSyntax[] = "(%s) 使い方: %s";
inline constexpr char kNoMemory[] = "(%s) %s には メモリ %s がありません";
inline constexpr char kAmbiguousMemory[] = "(%s) メモリ名 %s があいまいです";
inline constexpr char kBadAddress[] = "(%s) アドレス %s: %s";
inline constexpr char kBadLength[] = "(%s) 長さ %s: %s";
inline constexpr char kAddressRange[] = "(%s) %s のアドレス %s は範囲 [-0x%0*x, 0x%0*x] の外です";
inline constexpr char kBadEffectiveLength[] = "(%s) 実際の長さ %d は正しくありません";
inline constexpr char kFillRange[] =
    "(write ...) %s の開始アドレス 0x%0*x と長さ %d はメモリのサイズ %d に収まりません";
inline constexpr char kBadData[] = "(write) データ %s: %s";
inline constexpr char kNoDataFor[] = "(write) %s のアドレス %s に書くデータがありません";
inline constexpr char kNoAddressFor[] = "(write) %s のデータ %s にアドレスがありません";
inline constexpr char kClipped[] = "(write) データを %s の %s に収まるよう切り詰めました";
inline constexpr char kFillShort[] = "(write ...) 最後の項目が 0 バイトなので %d < %d バイトしか埋められません";
inline constexpr char kReadOnly[] = "(write) %s は読み出し専用です";
inline constexpr char kReadFailed[] = "(%s) %s を読めませんでした";
inline constexpr char kWriteFailed[] = "(%s) %s に書けませんでした";
inline constexpr char kVerifyFailed[] = "(%s) %s に書いた値を読み返すと違います";
inline constexpr char kLockNotReadable[] = "(%s) このデバイスはロックビットを読み出せません";
inline constexpr char kFlushFailed[] = "(flush) キャッシュの %s をデバイスに書けませんでした";
inline constexpr char kFlushErases[] = "(flush) FLASH の 0 のビットを 1 に戻すため、チップを消去して書き直します";
inline constexpr char kEraseFailed[] = "(erase) チップを消去できませんでした";
inline constexpr char kSigFailed[] = "(sig) 署名を読めませんでした";
inline constexpr char kBadOption[] = "(%s) オプション %s には対応していません";
inline constexpr char kNoProperty[] = "(config) 該当する項目がありません: %s";
inline constexpr char kAmbiguousProperty[] = "(config) 項目 %s があいまいです:%s";
inline constexpr char kBadBitValue[] = "(config) %s の値は 0 か 1 です: %s";
inline constexpr char kQuellLevel[] = "quell レベル: %d";
inline constexpr char kNewQuellLevel[] = "新しい quell レベル: %d\n";
inline constexpr char kBadQuell[] = "(quell) レベル %s: %s";
inline constexpr char kNegativeQuell[] = "(quell) レベルは負にできません: %d";
inline constexpr char kEraseChip[] = "チップを消去します ...\n";
inline constexpr char kLineTooLong[] = "行が %d KiB を超えているため、その行は実行しません";
inline constexpr char kLineHasNul[] = "行に NUL 文字があるため、その行は実行しません";
inline constexpr char kVerboseLevel[] = "verbose レベル: %d";
inline constexpr char kNewVerboseLevel[] = "新しい verbose レベル: %d\n";
inline constexpr char kBadVerbose[] = "(verbose) レベル %s: %s";
inline constexpr char kNegativeVerbose[] = "(verbose) レベルは負にできません: %d";
// save: the memory, and how many segments; the format letter; the file and why.
inline constexpr char kSavePairs[] = "(save) 区間はアドレスと長さの組で指定してください";
inline constexpr char kSaveSegment[] = "(save) %s のアドレス 0x%0*x からの長さ %s はメモリに収まりません";
inline constexpr char kSaveFormat[] = "(save) 形式 :%c では保存できません (r i I s h d o b R のどれかです)";
inline constexpr char kSaveTooMuch[] = "(save) 区間の合計がメモリ %s の大きさ (%d バイト) を超えるため、保存しません";
inline constexpr char kSaveNothing[] = "(save) 区間が空なので、ファイルは書きません";
inline constexpr char kSaveFailed[] = "(save) %s に書けません: %s";
// include: the file and why.
inline constexpr char kIncludeMissing[] = "(include) ファイル %s がありません";
inline constexpr char kIncludeNotFile[] = "(include) %s は通常のファイルではありません";
inline constexpr char kIncludeTooLarge[] = "(include) %s は %d MB を超えています";
inline constexpr char kIncludeUnreadable[] = "(include) %s を読めません";
inline constexpr char kIncludeLines[] = "(include) 実行した行が合わせて %lld 行に達したため、残りの行は実行しません: %s";
inline constexpr char kIncludeDepth[] = "(include) include の入れ子は %d 段までです: %s";

// What the number and data parser says about an item.
inline constexpr char kCannotParse[] = "解釈できません";
inline constexpr char kNoDataToConvert[] = "データがありません";
inline constexpr char kFloatRefused[] = "浮動小数点数には対応していません";
inline constexpr char kNotInteger[] = "整数ではありません";
inline constexpr char kOutOfInt32[] = "int32 と uint32 の範囲の外です";
inline constexpr char kOutOfRange[] = "%s は %s の範囲の外なので %d バイトの %s として書きます";
inline constexpr char kOnlyFirstChar[] = "%s の最初の文字だけを使います";

// The part command's table.
inline constexpr char kPartHeader[] = "メモリ      サイズ ページ\n";

// The config command's comment after each bit: the memory and the bit.
inline constexpr char kConfigComment[] = "%s ビット %d";

inline constexpr char kHelp[] =
    "コマンド:\n"
    "  dump    : メモリを 16 進で表示 (dump <mem> [<addr> [<len>]], dump <mem> ...)\n"
    "  read    : dump と同じ\n"
    "  write   : メモリに書く (write <mem> <addr> <data>...,\n"
    "            write <mem> <addr> <len> <data>... ... で埋める); FLASH と EEPROM はキャッシュ\n"
    "  flush   : キャッシュした FLASH と EEPROM の書き込みをデバイスに書く\n"
    "  abort   : キャッシュした書き込みを捨てる\n"
    "  erase   : チップ消去 (erase <mem> [<addr> <len>] は 0xff で埋める)\n"
    "  config  : ヒューズビットとロックビットの表示と設定 (config <名前>=<値>)\n"
    "  sig     : デバイスの署名を表示\n"
    "  part    : デバイスとそのメモリを表示\n"
    "  save    : メモリをファイルに保存 (save <mem> [<addr> <len>]... <file>[:<形式>], 既定は :r)\n"
    "  include : ファイルの各行をコマンドとして実行 (include [-e] <file>, -e は行を表示)\n"
    "  quell   : 進行表示の -q レベルを表示または設定\n"
    "  verbose : -v レベルを表示または設定\n"
    "  help, ? : この一覧\n"
    "  quit, q : キャッシュを書いて終わる\n"
    "\n"
    "<data> は 2/8/10/16 進の整数 (接尾辞 HH H S L LL U で大きさ), 'c' の文字, \"...\" の文字列。\n"
    "コマンド名は一意に決まる先頭部分で足ります。# から行末はコメント、; でコマンドを区切ります。\n"
    "書き込みはキャッシュされ、flush か quit でデバイスに書かれます。\n";

}  // namespace oriole::text::terminal
