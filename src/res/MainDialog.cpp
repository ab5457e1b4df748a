// Dialog resource 102: the main window.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::Static,       "デバイス：",          {9, 9, 26, 8},      kNone},
    {1011,  Kind::DropDownList, "",                    {37, 7, 113, 126},  kSorted | kTabStop},
    {1046,  Kind::PushButton,   "検出",                {156, 6, 50, 15},   kTabStop},
    {1109,  Kind::CheckBox,     "自動検出",            {210, 8, 43, 10},   kTabStop},
    {1068,  Kind::PushButton,   "一括実行",            {92, 25, 50, 15},   kTabStop},
    {1005,  Kind::PushButton,   "消去",                {156, 25, 50, 15},  kTabStop},
    {1057,  Kind::PushButton,   "設定",                {209, 25, 50, 15},  kTabStop},

    {kNoId, Kind::GroupBox,     "FLASH",               {9, 43, 250, 50},   kNone},
    {1007,  Kind::Edit,         "",                    {16, 55, 205, 14},  kAutoHScroll | kTabStop},
    {1008,  Kind::PushButton,   "参照",                {226, 54, 25, 15},  kTabStop},
    {1167,  Kind::CheckBox,     "消去",                {24, 76, 29, 10},   kTabStop},
    {1054,  Kind::CheckBox,     "ベリファイ",          {53, 76, 39, 10},   kTabStop},
    {1003,  Kind::PushButton,   "書き込み",            {92, 73, 50, 15},   kTabStop},
    {1038,  Kind::PushButton,   "詳細",                {156, 73, 50, 15},  kTabStop},

    {kNoId, Kind::GroupBox,     "EEPROM",              {9, 97, 250, 50},   kNone},
    {1009,  Kind::Edit,         "",                    {16, 109, 205, 14}, kAutoHScroll | kTabStop},
    {1010,  Kind::PushButton,   "参照",                {226, 108, 25, 15}, kTabStop},
    {1055,  Kind::CheckBox,     "ベリファイ",          {53, 130, 39, 10},  kTabStop},
    {1012,  Kind::PushButton,   "書き込み",            {92, 127, 50, 15},  kTabStop},
    {1020,  Kind::PushButton,   "詳細",                {156, 127, 50, 15}, kTabStop},

    {kNoId, Kind::GroupBox,     "ヒューズ",            {9, 151, 250, 50},  kNone},
    {1106,  Kind::Static,       "Ext.",                {18, 165, 12, 8},   kNone},
    {1015,  Kind::Edit,         "",                    {30, 163, 20, 14},  kCenter | kReadOnly | kTabStop},
    {1107,  Kind::Static,       "High",                {56, 165, 14, 8},   kNone},
    {1016,  Kind::Edit,         "",                    {70, 163, 20, 14},  kCenter | kReadOnly | kTabStop},
    {1108,  Kind::Static,       "Low",                 {97, 165, 12, 8},   kNone},
    {1017,  Kind::Edit,         "",                    {110, 163, 20, 14}, kCenter | kReadOnly | kTabStop},
    {1123,  Kind::CheckBox,     "ベリファイ",          {53, 184, 39, 10},  kTabStop},
    {1019,  Kind::PushButton,   "書き込み",            {92, 181, 50, 15},  kTabStop},
    {1022,  Kind::PushButton,   "詳細",                {156, 181, 50, 15}, kTabStop},

    {kNoId, Kind::GroupBox,     "ロックビット",        {9, 205, 250, 50},  kNone},
    {1023,  Kind::Edit,         "",                    {30, 217, 20, 14},  kCenter | kReadOnly | kTabStop},
    {1124,  Kind::CheckBox,     "ベリファイ",          {53, 238, 39, 10},  kTabStop},
    {1025,  Kind::PushButton,   "書き込み",            {92, 235, 50, 15},  kTabStop},
    {1027,  Kind::PushButton,   "詳細",                {156, 235, 50, 15}, kTabStop},

    {kNoId, Kind::GroupBox,     "内蔵RC発振器校正値",  {9, 259, 250, 50},  kNone},
    {1155,  Kind::Static,       "周波数",              {18, 273, 22, 8},   kNone},
    {1028,  Kind::Edit,         "",                    {43, 271, 36, 14},  kCenter | kReadOnly | kTabStop},
    {1156,  Kind::Static,       "校正値",              {92, 273, 22, 8},   kNone},
    {1135,  Kind::Edit,         "",                    {116, 271, 20, 14}, kCenter | kReadOnly | kTabStop},
    {1150,  Kind::Static,       "EEPROMアドレス",      {150, 273, 48, 8},  kRight},
    {1149,  Kind::Edit,         "",                    {200, 271, 36, 14}, kCenter | kReadOnly | kTabStop},
    {1158,  Kind::CheckBox,     "ベリファイ",          {53, 292, 39, 10},  kTabStop},
    {1029,  Kind::PushButton,   "書き込み",            {92, 289, 50, 15},  kTabStop},
    {1030,  Kind::PushButton,   "詳細",                {156, 289, 50, 15}, kTabStop},

    {kNoId, Kind::Picture,      "",                    {209, 312, 50, 9},  kNone, 137},
};
// clang-format on

}  // namespace

constexpr DialogDef kMainDialog{
    .resourceId = 102,
    .caption = "ORIOLE Ver.1.3.0.2",
    .width = 271,
    .height = 326,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kIgnoreEnterEscape,
    .controls = kControls,
};

}  // namespace oriole::res
