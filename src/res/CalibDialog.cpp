// Dialog resource 141: the calibration dialog. Its controls are known by id,
// kind and text only; the layout below is ours: labels in a left column,
// values beside them, the four command buttons in a row underneath.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::GroupBox,     "内蔵RC発振器校正値", {7, 7, 201, 96},    kNone},
    {kNoId, Kind::Static,       "校正周波数",         {17, 24, 70, 8},    kNone},
    {1134,  Kind::DropDownList, "",                   {90, 22, 70, 60},   kTabStop},
    {kNoId, Kind::Static,       "校正値",             {17, 44, 70, 8},    kNone},
    {1135,  Kind::Edit,         "",                   {90, 42, 20, 14},   kCenter | kTabStop},
    {kNoId, Kind::Static,       "(HEX)",              {114, 44, 24, 8},   kNone},
    {1056,  Kind::PushButton,   "読み出し",           {150, 41, 48, 15},  kTabStop},
    {kNoId, Kind::Static,       "書き込み先",         {17, 64, 70, 8},    kNone},
    {1137,  Kind::RadioButton,  "FLASH",              {90, 63, 40, 10},   kGroup | kTabStop},
    {1138,  Kind::RadioButton,  "EEPROM",             {134, 63, 48, 10},  kNone},
    {kNoId, Kind::Static,       "アドレス(byte単位)", {17, 84, 70, 8},    kNone},
    {1136,  Kind::Edit,         "",                   {90, 82, 36, 14},   kCenter | kTabStop},
    {kNoId, Kind::Static,       "(HEX)",              {130, 84, 24, 8},   kNone},
    {1057,  Kind::PushButton,   "書き込み",           {7, 111, 46, 15},   kTabStop},
    {1159,  Kind::PushButton,   "ベリファイ",         {59, 111, 46, 15},  kTabStop},
    {1141,  Kind::PushButton,   "戻る",               {111, 111, 46, 15}, kTabStop},
    {1142,  Kind::PushButton,   "キャンセル",         {162, 111, 46, 15}, kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kCalibDialog{
    .resourceId = 141,
    .caption = "内蔵RC発振器校正",
    .width = 215,
    .height = 133,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame | dlg::kMoveDownOnOpen,
    .controls = kControls,
};

}  // namespace oriole::res
