// Dialog resource 132: the progress window of the long transfers. Its caption
// and message are placeholders that every transfer replaces.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {1052, Kind::Static,      "Static",     {6, 8, 160, 11},  kCenter | kVCenter},
    {1053, Kind::ProgressBar, "",           {6, 26, 160, 10}, kNone},
    {1168, Kind::PushButton,  "キャンセル", {61, 46, 50, 14}, kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kProgressDialog{
    .resourceId = 132,
    .caption = "",
    .width = 173,
    .height = 68,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kCaption | dlg::kSysMenu | dlg::kModalFrame,
    .controls = kControls,
};

}  // namespace oriole::res
