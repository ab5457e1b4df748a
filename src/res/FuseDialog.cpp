// Dialog resource 135: the fuse bits dialog. Three columns of eight bit
// buttons with their name labels; the labels' texts come from the device.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;
constexpr uint32_t kBit = kBitButtonStyle;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::Static,     "* 0 に設定されたビットの機能が有効になります。", {13, 10, 173, 10}, kNone},

    {1095,  Kind::GroupBox,   "Extended",        {11, 23, 80, 154},  kNone},
    {1101,  Kind::Edit,       "",                {59, 35, 20, 14},   kReadOnly | kCenter | kTabStop},
    {1178,  Kind::Static,     "",                {21, 57, kBitLabelWidth, 8}, kNone},
    {1074,  Kind::CheckBox,   "1",               {70, 55, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1179,  Kind::Static,     "",                {21, 72, kBitLabelWidth, 8}, kNone},
    {1075,  Kind::CheckBox,   "1",               {70, 70, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1180,  Kind::Static,     "",                {21, 87, kBitLabelWidth, 8}, kNone},
    {1076,  Kind::CheckBox,   "1",               {70, 85, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1181,  Kind::Static,     "",                {21, 102, kBitLabelWidth, 8}, kNone},
    {1077,  Kind::CheckBox,   "1",               {70, 100, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1182,  Kind::Static,     "",                {21, 117, kBitLabelWidth, 8}, kNone},
    {1078,  Kind::CheckBox,   "1",               {70, 115, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1183,  Kind::Static,     "",                {21, 132, kBitLabelWidth, 8}, kNone},
    {1079,  Kind::CheckBox,   "1",               {70, 130, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1184,  Kind::Static,     "",                {21, 147, kBitLabelWidth, 8}, kNone},
    {1080,  Kind::CheckBox,   "1",               {70, 145, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1185,  Kind::Static,     "",                {21, 162, kBitLabelWidth, 8}, kNone},
    {1098,  Kind::CheckBox,   "1",               {70, 160, kBitButtonWidth, kBitButtonHeight}, kBit},

    {1096,  Kind::GroupBox,   "High",            {95, 23, 80, 154},  kNone},
    {1102,  Kind::Edit,       "",                {143, 35, 20, 14},  kReadOnly | kCenter | kTabStop},
    {1186,  Kind::Static,     "",                {105, 57, kBitLabelWidth, 8}, kNone},
    {1081,  Kind::CheckBox,   "0",               {154, 55, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1187,  Kind::Static,     "",                {105, 72, kBitLabelWidth, 8}, kNone},
    {1082,  Kind::CheckBox,   "0",               {154, 70, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1188,  Kind::Static,     "",                {105, 87, kBitLabelWidth, 8}, kNone},
    {1083,  Kind::CheckBox,   "0",               {154, 85, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1189,  Kind::Static,     "",                {105, 102, kBitLabelWidth, 8}, kNone},
    {1084,  Kind::CheckBox,   "0",               {154, 100, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1190,  Kind::Static,     "",                {105, 117, kBitLabelWidth, 8}, kNone},
    {1085,  Kind::CheckBox,   "0",               {154, 115, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1191,  Kind::Static,     "",                {105, 132, kBitLabelWidth, 8}, kNone},
    {1086,  Kind::CheckBox,   "0",               {154, 130, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1192,  Kind::Static,     "",                {105, 147, kBitLabelWidth, 8}, kNone},
    {1087,  Kind::CheckBox,   "0",               {154, 145, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1193,  Kind::Static,     "",                {105, 162, kBitLabelWidth, 8}, kNone},
    {1099,  Kind::CheckBox,   "0",               {154, 160, kBitButtonWidth, kBitButtonHeight}, kBit},

    {1097,  Kind::GroupBox,   "Low",             {179, 23, 80, 154}, kNone},
    {1103,  Kind::Edit,       "",                {227, 35, 20, 14},  kReadOnly | kCenter | kTabStop},
    {1194,  Kind::Static,     "",                {189, 57, kBitLabelWidth, 8}, kNone},
    {1088,  Kind::CheckBox,   "0",               {238, 55, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1195,  Kind::Static,     "",                {189, 72, kBitLabelWidth, 8}, kNone},
    {1089,  Kind::CheckBox,   "0",               {238, 70, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1196,  Kind::Static,     "",                {189, 87, kBitLabelWidth, 8}, kNone},
    {1090,  Kind::CheckBox,   "0",               {238, 85, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1197,  Kind::Static,     "",                {189, 102, kBitLabelWidth, 8}, kNone},
    {1091,  Kind::CheckBox,   "0",               {238, 100, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1198,  Kind::Static,     "",                {189, 117, kBitLabelWidth, 8}, kNone},
    {1092,  Kind::CheckBox,   "0",               {238, 115, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1199,  Kind::Static,     "",                {189, 132, kBitLabelWidth, 8}, kNone},
    {1093,  Kind::CheckBox,   "0",               {238, 130, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1200,  Kind::Static,     "",                {189, 147, kBitLabelWidth, 8}, kNone},
    {1094,  Kind::CheckBox,   "0",               {238, 145, kBitButtonWidth, kBitButtonHeight}, kBit},
    {1201,  Kind::Static,     "",                {189, 162, kBitLabelWidth, 8}, kNone},
    {1100,  Kind::CheckBox,   "0",               {238, 160, kBitButtonWidth, kBitButtonHeight}, kBit},

    {1105,  Kind::PushButton, "読み出し",        {11, 188, 55, 15},  kTabStop},
    {1056,  Kind::PushButton, "書き込み",        {75, 188, 55, 15},  kTabStop},
    {1125,  Kind::PushButton, "ベリファイ",      {140, 188, 55, 15}, kTabStop},
    {kIdOk, Kind::PushButton, "戻る",            {204, 188, 55, 15}, kTabStop},
    {1145,  Kind::PushButton, "ファイル 読込み", {75, 213, 55, 15},  kTabStop},
    {1057,  Kind::PushButton, "ファイル 保存",   {140, 213, 55, 15}, kTabStop},
    {kIdCancel, Kind::PushButton, "キャンセル",  {204, 213, 55, 15}, kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kFuseDialog{
    .resourceId = 135,
    .caption = "ヒューズ",
    .width = 270,
    .height = 277,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kMoveDownOnOpen,
    .controls = kControls,
};

}  // namespace oriole::res
