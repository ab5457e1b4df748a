#pragma once
// The shape of a dialog resource: a dialog's frame and its controls as plain
// constant data. Positions and sizes are dialog units; the window code turns
// them into pixels from the dialog font. No toolkit types here, so the tables
// can be checked and used without a window system.

#include <cstdint>
#include <span>

namespace oriole::res {

// Id of controls that code never addresses (labels, frames, the logo).
inline constexpr int kNoId = -1;

// Ids of the standard OK and Cancel commands; a button with one of these ids
// is what Enter and Escape press in dialogs that do not ignore those keys.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum class Kind : uint8_t {
    PushButton,
    DefPushButton,  // the button Enter presses when no other button has the focus
    CheckBox,       // toggles itself when clicked
    RadioButton,    // automatic radio button; kGroup starts a new exclusive group
    Edit,
    Static,
    GroupBox,
    DropDownList,  // the rectangle's height includes the opened list
    ListBox,
    ScrollBar,
    Slider,
    ProgressBar,
    Picture,  // a bitmap resource, named by ControlDef::image
};

// Control style bits; each kind heeds only those that make sense for it.
namespace ctl {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kDisabled = 1u << 0;
inline constexpr uint32_t kHidden = 1u << 1;
inline constexpr uint32_t kTabStop = 1u << 2;
inline constexpr uint32_t kGroup = 1u << 3;     // first radio button of a group
inline constexpr uint32_t kPushLike = 1u << 4;  // check box drawn as a toggle button
inline constexpr uint32_t kFlat = 1u << 5;
inline constexpr uint32_t kReadOnly = 1u << 6;
inline constexpr uint32_t kNumber = 1u << 7;  // edit accepts figures only
inline constexpr uint32_t kMultiLine = 1u << 8;
inline constexpr uint32_t kAutoHScroll = 1u << 9;  // edit scrolls sideways instead of wrapping
inline constexpr uint32_t kVScroll = 1u << 10;     // multi-line edit with a vertical scroll bar
inline constexpr uint32_t kCenter = 1u << 11;      // text centred horizontally
inline constexpr uint32_t kRight = 1u << 12;       // text right-aligned
inline constexpr uint32_t kVCenter = 1u << 13;     // static text centred vertically
inline constexpr uint32_t kSunken = 1u << 14;      // static with a sunken border
inline constexpr uint32_t kSorted = 1u << 15;      // list keeps its items in order
inline constexpr uint32_t kTicksTop = 1u << 16;    // slider with a tick per step above it
inline constexpr uint32_t kVertical = 1u << 17;    // scroll bar or slider orientation
}  // namespace ctl

// Dialog style bits.
namespace dlg {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kCaption = 1u << 0;
inline constexpr uint32_t kSysMenu = 1u << 1;  // close box and system menu
inline constexpr uint32_t kModalFrame = 1u << 2;
inline constexpr uint32_t kChild = 1u << 3;              // an area inside another window
inline constexpr uint32_t kIgnoreEnterEscape = 1u << 4;  // closes only by its own buttons
inline constexpr uint32_t kMoveDownOnOpen = 1u << 5;     // moves kMoveDownPixels down when shown
}  // namespace dlg

// Every secondary dialog opens this far below where the platform puts it.
inline constexpr int kMoveDownPixels = 38;

// A drop-down list's rectangle includes its opened list; closed, it is this tall.
inline constexpr int kDropDownClosedHeight = 14;

struct DuRect {
    int x;
    int y;
    int w;
    int h;
};

struct ControlDef {
    int id;  // kNoId when unnamed
    Kind kind;
    const char* text;  // UTF-8, exactly as shown; "" when the control has none
    DuRect rect;
    uint32_t style;  // ctl:: bits
    int image = 0;   // bitmap resource of a Picture
};

struct DialogDef {
    int resourceId;
    const char* caption;
    int width;  // dialog units
    int height;
    const char* fontFace;
    int fontPoints;
    uint32_t style;  // dlg:: bits
    std::span<const ControlDef> controls;
};

// The control with this id, or nullptr. kNoId never matches.
inline const ControlDef* FindControl(const DialogDef& dialog, int id) {
    if (id == kNoId) return nullptr;
    for (const ControlDef& c : dialog.controls)
        if (c.id == id) return &c;
    return nullptr;
}

// The rectangle a control covers while the dialog is at rest (a drop-down
// list closed).
inline DuRect RestingRect(const ControlDef& c) {
    DuRect r = c.rect;
    if (c.kind == Kind::DropDownList && r.h > kDropDownClosedHeight) r.h = kDropDownClosedHeight;
    return r;
}

}  // namespace oriole::res
