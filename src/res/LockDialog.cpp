// Dialog resource 138: the lock bits dialog, one column of eight bit buttons.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;
constexpr uint32_t kBit = kBitButtonStyle;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::Static,     "* 0 に設定されたビットの機能が有効になります。", {13, 10, 173, 10}, kNone},
    {kNoId, Kind::GroupBox,   "ロックビット",    {11, 23, 249, 154}, kNone},
    {1117,  Kind::Edit,       "",                {59, 35, 20, 14},   kReadOnly | kTabStop},
    // Bit 7 in the top row, bit 0 in the bottom row.
    {1204,  Kind::Static,     "",                {21, 57, kBitLabelWidth, 8}, kNone},
    {1122,  Kind::CheckBox,   "1",               {70, 55, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1205,  Kind::Static,     "",                {21, 72, kBitLabelWidth, 8}, kNone},
    {1110,  Kind::CheckBox,   "1",               {70, 70, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1206,  Kind::Static,     "",                {21, 87, kBitLabelWidth, 8}, kNone},
    {1111,  Kind::CheckBox,   "1",               {70, 85, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1207,  Kind::Static,     "",                {21, 102, kBitLabelWidth, 8}, kNone},
    {1112,  Kind::CheckBox,   "1",               {70, 100, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1208,  Kind::Static,     "",                {21, 117, kBitLabelWidth, 8}, kNone},
    {1113,  Kind::CheckBox,   "1",               {70, 115, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1209,  Kind::Static,     "",                {21, 132, kBitLabelWidth, 8}, kNone},
    {1114,  Kind::CheckBox,   "1",               {70, 130, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1210,  Kind::Static,     "",                {21, 147, kBitLabelWidth, 8}, kNone},
    {1115,  Kind::CheckBox,   "1",               {70, 145, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1211,  Kind::Static,     "",                {21, 162, kBitLabelWidth, 8}, kNone},
    {1116,  Kind::CheckBox,   "1",               {70, 160, kBitButtonWidth, kBitButtonHeight}, kBit},

    {1120,  Kind::PushButton, "読み出し",        {11, 188, 55, 15},  kTabStop},
    {1121,  Kind::PushButton, "書き込み",        {75, 188, 55, 15},  kTabStop},
    {1056,  Kind::PushButton, "ベリファイ",      {140, 188, 55, 15}, kTabStop},
    {kIdOk, Kind::PushButton, "戻る",            {204, 188, 55, 15}, kTabStop},
    {1057,  Kind::PushButton, "ファイル 読込み", {75, 212, 55, 15},  kTabStop},
    {1157,  Kind::PushButton, "ファイル 保存",   {140, 212, 55, 15}, kTabStop},
    {kIdCancel, Kind::PushButton, "キャンセル",  {204, 212, 55, 15}, kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kLockDialog{
    .resourceId = 138,
    .caption = "ロックビット",
    .width = 270,
    .height = 277,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kMoveDownOnOpen,
    .controls = kControls,
};

}  // namespace oriole::res
