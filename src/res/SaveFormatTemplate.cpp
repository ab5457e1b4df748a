// Dialog template 140: the area added below the save dialog's own controls,
// holding the list of save formats.

#include "res/Dialogs.h"

namespace oriole::res {
namespace {

using namespace ctl;

// clang-format off
constexpr ControlDef kControls[] = {
    {kNoId, Kind::Static,       "フォーマット(&F):", {67, 1, 41, 8},    kNone},
    {1132,  Kind::DropDownList, "",                  {130, 0, 164, 46}, kTabStop},
};
// clang-format on

}  // namespace

constexpr DialogDef kSaveFormatTemplate{
    .resourceId = 140,
    .caption = "",
    .width = 307,
    .height = 20,
    .fontFace = "MS UI Gothic",
    .fontPoints = 9,
    .style = dlg::kChild,
    .controls = kControls,
};

}  // namespace oriole::res
