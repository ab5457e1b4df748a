// Dialog resource 130: the EEPROM view, the FLASH view's twin with its own ids.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::GroupBox,   "ファイル",             {9, 6, 250, 178},   kNone},
    {1039,  Kind::Edit,       "",                     {16, 19, 205, 14},  kAutoHScroll | kTabStop},
    {1000,  Kind::PushButton, "参照",                 {226, 18, 25, 15},  kTabStop},
    {kNoId, Kind::Static,     "アドレス",             {17, 38, 22, 12},   kNone},
    {1175,  Kind::Static,     "",                     {41, 37, 180, 14},  kSunken | kVCenter},
    {1001,  Kind::PushButton, "EEPROM書き込み",       {29, 58, 56, 15},   kTabStop},
    {1050,  Kind::PushButton, "EEPROMベリファイ",     {94, 58, 56, 15},   kTabStop},
    {1056,  Kind::PushButton, "ファイル読み込み",     {195, 58, 56, 15},  kTabStop},
    {1040,  Kind::Edit,       "",                     {16, 80, 225, 98},  kMultiLine | kReadOnly},
    {1036,  Kind::ScrollBar,  "",                     {241, 80, 10, 98},  kVertical},

    {kNoId, Kind::GroupBox,   "EEPROM",               {9, 187, 250, 138}, kNone},
    {1043,  Kind::PushButton, "EEPROM読み出し",       {29, 199, 56, 15},  kTabStop},
    {1203,  Kind::CheckBox,   "すべてのデータを保存", {121, 202, 73, 10}, kTabStop},
    {1045,  Kind::PushButton, "ファイルへ保存",       {195, 199, 56, 15}, kTabStop},
    {1042,  Kind::Edit,       "",                     {16, 220, 225, 98}, kMultiLine | kReadOnly | kAutoHScroll},
    {1041,  Kind::ScrollBar,  "",                     {241, 220, 10, 98}, kVertical},
};
// clang-format on

}  // namespace

constexpr DialogDef kEepromViewDialog{
    .resourceId = 130,
    .caption = "EEPROM",
    .width = 270,
    .height = 337,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kIgnoreEnterEscape |
             dlg::kMoveDownOnOpen,
    .controls = kControls,
};

}  // namespace oriole::res
