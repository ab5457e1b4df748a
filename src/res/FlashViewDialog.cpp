// Dialog resource 129: the FLASH view.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::GroupBox,   "ファイル",             {9, 6, 250, 178},   kNone},
    {1031,  Kind::Edit,       "",                     {16, 19, 205, 14},  kAutoHScroll | kTabStop},
    {1048,  Kind::PushButton, "参照",                 {226, 18, 25, 15},  kTabStop},
    {kNoId, Kind::Static,     "アドレス",             {17, 38, 22, 12},   kNone},
    {1173,  Kind::Static,     "",                     {41, 37, 180, 14},  kSunken | kVCenter},
    {1049,  Kind::PushButton, "FLASH書き込み",        {29, 58, 56, 15},   kTabStop},
    {1047,  Kind::PushButton, "FLASHベリファイ",      {94, 58, 56, 15},   kTabStop},
    {1056,  Kind::PushButton, "ファイル読み込み",     {195, 58, 56, 15},  kTabStop},
    {1034,  Kind::Edit,       "",                     {16, 80, 225, 98},  kMultiLine | kReadOnly},
    {1033,  Kind::ScrollBar,  "",                     {241, 80, 10, 98},  kVertical},

    {kNoId, Kind::GroupBox,   "FLASH",                {9, 187, 250, 138}, kNone},
    {1037,  Kind::PushButton, "FLASH読み出し",        {29, 199, 56, 15},  kTabStop},
    {1202,  Kind::CheckBox,   "すべてのデータを保存", {121, 202, 73, 10}, kTabStop},
    {1044,  Kind::PushButton, "ファイルへ保存",       {195, 199, 56, 15}, kTabStop},
    {1032,  Kind::Edit,       "",                     {16, 220, 225, 98}, kMultiLine | kReadOnly},
    {1035,  Kind::ScrollBar,  "",                     {241, 220, 10, 98}, kVertical},
};
// clang-format on

}  // namespace

constexpr DialogDef kFlashViewDialog{
    .resourceId = 129,
    .caption = "FLASH",
    .width = 270,
    .height = 337,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kIgnoreEnterEscape |
             dlg::kMoveDownOnOpen,
    .controls = kControls,
};

}  // namespace oriole::res
