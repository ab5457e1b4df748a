// Dialog resource 134: batch execution.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::GroupBox,   "一括実行",                 {9, 9, 250, 133},     kNone},
    {1058,  Kind::CheckBox,   "デバイス 消去 (必須)",     {26, 22, 74, 10},     kTabStop},
    {1057,  Kind::PushButton, "すべてON",                 {190, 20, 55, 15},    kTabStop},
    {1059,  Kind::CheckBox,   "FLASH 書き込み",           {26, 37, 64, 10},     kTabStop},
    {1060,  Kind::CheckBox,   "FLASH ベリファイ",         {106, 37, 62, 10},    kTabStop},
    {1070,  Kind::Edit,       "",                         {38, 49, 175, 14},    kAutoHScroll | kTabStop},
    {1073,  Kind::PushButton, "参照",                     {220, 48, 25, 15},    kTabStop},
    {1061,  Kind::CheckBox,   "EEPROM 書き込み",          {26, 67, 70, 10},     kTabStop},
    {1062,  Kind::CheckBox,   "EEPROM ベリファイ",        {106, 67, 68, 10},    kTabStop},
    {1071,  Kind::Edit,       "",                         {39, 79, 175, 14},    kAutoHScroll | kTabStop},
    {1072,  Kind::PushButton, "参照",                     {220, 78, 25, 15},    kTabStop},
    {1063,  Kind::CheckBox,   "ヒューズ 書き込み",        {26, 97, 64, 10},     kTabStop},
    {1064,  Kind::CheckBox,   "ヒューズ ベリファイ",      {106, 97, 62, 10},    kTabStop},
    {1065,  Kind::CheckBox,   "ロックビット 書き込み",    {26, 112, 70, 10},    kTabStop},
    {1066,  Kind::CheckBox,   "ロックビット ベリファイ",  {106, 112, 69, 10},   kTabStop},
    {1109,  Kind::CheckBox,   "校正値 書き込み",          {26, 127, 64, 10},    kTabStop},
    {1158,  Kind::CheckBox,   "校正値 ベリファイ",        {106, 127, 62, 10},   kTabStop},
    {1056,  Kind::PushButton, "開始",                     {60, 148, 44, 16},    kTabStop},
    {1069,  Kind::PushButton, "戻る",                     {215, 148, 44, 17},   kTabStop},
    {1067,  Kind::Edit,       "",                         {10, 169, 249, 116},  kMultiLine | kReadOnly | kVScroll | kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kBatchDialog{
    .resourceId = 134,
    .caption = "一括実行",
    .width = 271,
    .height = 297,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kIgnoreEnterEscape |
             dlg::kMoveDownOnOpen,
    .controls = kControls,
};

}  // namespace oriole::res
