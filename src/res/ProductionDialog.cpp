// Dialog resource 150: the production window's job controls. Ours; drawn to
// the same grid as the batch dialog, whose step boxes it repeats in their
// order and words. The window sets the box panels, the counts and the log
// beside and below these controls, and moves Start, Stop and Close into its
// own row of large buttons.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::Static,       "設定ファイル",               {9, 12, 50, 8},       kNone},
    {1301,  Kind::Edit,         "",                           {61, 9, 270, 14},     kAutoHScroll | kTabStop},
    {1302,  Kind::PushButton,   "参照",                       {335, 8, 36, 15},     kTabStop},

    {kNoId, Kind::GroupBox,     "手順",                       {9, 28, 170, 104},    kNone},
    {1303,  Kind::CheckBox,     "デバイス 消去 (必須)",       {17, 41, 88, 10},     kDisabled | kTabStop},
    {1304,  Kind::CheckBox,     "FLASH 書き込み",             {17, 56, 76, 10},     kTabStop},
    {1305,  Kind::CheckBox,     "FLASH ベリファイ",           {97, 56, 78, 10},     kTabStop},
    {1306,  Kind::CheckBox,     "EEPROM 書き込み",            {17, 71, 76, 10},     kTabStop},
    {1307,  Kind::CheckBox,     "EEPROM ベリファイ",          {97, 71, 78, 10},     kTabStop},
    {1308,  Kind::CheckBox,     "ヒューズ 書き込み",          {17, 86, 76, 10},     kTabStop},
    {1309,  Kind::CheckBox,     "ヒューズ ベリファイ",        {97, 86, 78, 10},     kTabStop},
    {1310,  Kind::CheckBox,     "ロックビット 書き込み",      {17, 101, 76, 10},    kTabStop},
    {1311,  Kind::CheckBox,     "ロックビット ベリファイ",    {97, 101, 78, 10},    kTabStop},
    {1312,  Kind::CheckBox,     "校正値 書き込み",            {17, 116, 76, 10},    kTabStop},
    {1313,  Kind::CheckBox,     "校正値 ベリファイ",          {97, 116, 78, 10},    kTabStop},

    {kNoId, Kind::GroupBox,     "シリアル番号",               {185, 28, 186, 104},  kNone},
    {1314,  Kind::CheckBox,     "シリアル番号を書き込む",     {193, 41, 150, 10},   kTabStop},
    {kNoId, Kind::Static,       "メモリ",                     {193, 58, 30, 8},     kNone},
    {1315,  Kind::DropDownList, "",                           {235, 55, 42, 40},    kTabStop},
    {kNoId, Kind::Static,       "番地",                       {283, 58, 20, 8},     kNone},
    {1316,  Kind::Edit,         "",                           {305, 56, 58, 12},    kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "バイト数",                   {193, 73, 40, 8},     kNone},
    {1317,  Kind::DropDownList, "",                           {235, 70, 42, 90},    kTabStop},
    {kNoId, Kind::Static,       "並び",                       {283, 73, 20, 8},     kNone},
    {1318,  Kind::DropDownList, "",                           {305, 70, 58, 40},    kTabStop},
    {kNoId, Kind::Static,       "形式",                       {193, 88, 30, 8},     kNone},
    {1319,  Kind::DropDownList, "",                           {235, 85, 128, 60},   kTabStop},
    {kNoId, Kind::Static,       "最初",                       {193, 103, 20, 8},    kNone},
    {1320,  Kind::Edit,         "",                           {215, 101, 42, 12},   kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "増分",                       {261, 103, 20, 8},    kNone},
    {1321,  Kind::Edit,         "",                           {283, 101, 24, 12},   kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "最後",                       {311, 103, 20, 8},    kNone},
    {1322,  Kind::Edit,         "",                           {333, 101, 30, 12},   kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "リスト",                     {193, 117, 30, 8},    kNone},
    {1323,  Kind::Edit,         "",                           {235, 115, 88, 12},   kAutoHScroll | kTabStop},
    {1324,  Kind::PushButton,   "参照",                       {327, 114, 36, 14},   kTabStop},

    {kNoId, Kind::Static,       "ライタ",                     {9, 141, 30, 8},      kNone},
    {1325,  Kind::Edit,         "",                           {41, 138, 282, 14},   kAutoHScroll | kTabStop},
    {1326,  Kind::PushButton,   "全ライタ",                   {327, 137, 44, 15},   kTabStop},
    {1327,  Kind::CheckBox,     "繰り返す",                   {9, 159, 48, 10},     kTabStop},
    {kNoId, Kind::Static,       "個数",                       {61, 160, 20, 8},     kNone},
    {1328,  Kind::Edit,         "",                           {83, 157, 40, 14},    kNumber | kTabStop},
    {1329,  Kind::PushButton,   "開始 (F5)",                  {193, 156, 56, 16},   kTabStop},
    {1330,  Kind::PushButton,   "停止 (Esc)",                 {253, 156, 56, 16},   kDisabled | kTabStop},
    {1331,  Kind::PushButton,   "閉じる",                     {315, 156, 56, 16},   kTabStop},

    {kNoId, Kind::Static,       "ロット",                     {9, 181, 30, 8},      kNone},
    {1339,  Kind::Edit,         "",                           {41, 178, 90, 14},    kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "作業者",                     {137, 181, 30, 8},    kNone},
    {1340,  Kind::Edit,         "",                           {169, 178, 80, 14},   kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "指図番号",                   {255, 181, 40, 8},    kNone},
    {1341,  Kind::Edit,         "",                           {297, 178, 74, 14},   kAutoHScroll | kTabStop},

    {kNoId, Kind::Static,       "ログ",                       {9, 200, 30, 8},      kNone},
    {1335,  Kind::Edit,         "",                           {41, 197, 330, 14},   kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "イベント",                   {9, 219, 32, 8},      kNone},
    {1342,  Kind::Edit,         "",                           {41, 216, 330, 14},   kAutoHScroll | kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kProductionDialog{
    .resourceId = 150,
    .caption = "量産",
    .width = 380,
    .height = 235,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kIgnoreEnterEscape,
    .controls = kControls,
};

}  // namespace oriole::res
