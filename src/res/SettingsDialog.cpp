// Dialog resource 133: the settings dialog. The data-speed radios and the
// Cancel button are part of the resource but never shown.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::GroupBox,     "デバイス",                {8, 8, 253, 43},    kNone},
    {kNoId, Kind::Static,       "デバイスのクロック",      {20, 25, 47, 8},    kNone},
    {kNoId, Kind::Static,       "ｆ ≧",                    {99, 25, 12, 8},    kNone},
    {1129,  Kind::DropDownList, "",                        {112, 22, 57, 123}, kTabStop},

    {kNoId, Kind::GroupBox,     "データ通信",              {8, 54, 253, 61},   kNone},
    {kNoId, Kind::Static,       "USB転送タイミング",       {20, 71, 52, 8},    kNone},
    {kNoId, Kind::Static,       "0        1        2        3        4        5  >>遅い", {99, 67, 140, 8}, kNone},
    {1160,  Kind::Slider,       "",                        {96, 74, 117, 11},  kTicksTop | kTabStop},
    {kNoId, Kind::Static,       "データ通信速度",          {20, 95, 44, 8},    kHidden},
    {1169,  Kind::RadioButton,  " 1",                      {98, 95, 22, 10},   kHidden | kGroup | kTabStop},
    {1170,  Kind::RadioButton,  " 2",                      {130, 95, 22, 10},  kHidden},
    {1171,  Kind::RadioButton,  " 3",                      {162, 95, 22, 10},  kHidden},
    {1172,  Kind::RadioButton,  " 4",                      {194, 95, 22, 10},  kHidden},

    // The widths of the four pattern labels reach up to the boxes beside them.
    {kNoId, Kind::GroupBox,     "ファイル",                {8, 118, 253, 90},  kNone},
    {kNoId, Kind::Static,       "FLASHファイル 拡張子",    {20, 132, 78, 8},   kNone},
    {1126,  Kind::Edit,         "",                        {98, 130, 150, 14}, kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "EEPROMファイル 拡張子",   {20, 150, 78, 8},   kNone},
    {1127,  Kind::Edit,         "",                        {98, 148, 150, 14}, kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "Fuseファイル 拡張子",     {20, 168, 78, 8},   kNone},
    {1146,  Kind::Edit,         "",                        {98, 166, 150, 14}, kAutoHScroll | kTabStop},
    {kNoId, Kind::Static,       "Lockファイル 拡張子",     {20, 186, 78, 8},   kNone},
    {1147,  Kind::Edit,         "",                        {98, 184, 150, 14}, kAutoHScroll | kTabStop},

    {kNoId, Kind::GroupBox,     "設定ファイル",            {8, 211, 253, 51},  kNone},
    {kNoId, Kind::Static,       "設定をファイルから読み込む", {20, 226, 75, 8}, kNone},
    {1056,  Kind::PushButton,   "読み込み",                {115, 222, 50, 15}, kTabStop},
    {kNoId, Kind::Static,       "設定をファイルに保存",    {20, 244, 58, 8},   kNone},
    {1057,  Kind::PushButton,   "保存",                    {115, 240, 50, 15}, kTabStop},

    {1214,  Kind::GroupBox,     "ウィンドウ スタイル",     {8, 266, 253, 32},  kNone},
    {1212,  Kind::RadioButton,  "クラシック",              {19, 278, 39, 11},  kGroup | kTabStop},
    {1213,  Kind::RadioButton,  "OS 設定",                 {68, 278, 41, 11},  kNone},
    {1215,  Kind::Static,       "設定は、次回起動時から有効になります。", {138, 280, 114, 8}, kNone},

    {1144,  Kind::PushButton,   "キャンセル",              {141, 305, 50, 15}, kHidden | kTabStop},
    {1143,  Kind::PushButton,   "閉じる",                  {208, 305, 50, 15}, kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kSettingsDialog{
    .resourceId = 133,
    .caption = "設定",
    .width = 271,
    .height = 328,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kIgnoreEnterEscape |
             dlg::kMoveDownOnOpen,
    .controls = kControls,
};

}  // namespace oriole::res
