// The window system's vocabulary as the portable code sees it: message and
// notification numbers, parameter types and rectangles. The values are the
// Win32 ones, so the Win32 back end passes messages through unchanged and
// the headless back end speaks the same language.
#pragma once

#include <cstdint>

namespace morsela::ui {

using Message = unsigned;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using Result = std::intptr_t;

// An icon loaded from the program's resources; owned by the system.
using Icon = void*;

constexpr Message kWmPaint = 0x000F;
constexpr Message kWmClose = 0x0010;  // the close box, Alt+F4
// The session is about to end (log-off, shut-down): may it? And then: it
// ends (wParam TRUE) or goes on.
constexpr Message kWmQueryEndSession = 0x0011;
constexpr Message kWmEndSession = 0x0016;
constexpr Message kWmIconEraseBkgnd = 0x0027;
constexpr Message kWmQueryDragIcon = 0x0037;
constexpr Message kWmNotify = 0x004E;
constexpr Message kWmSetIcon = 0x0080;
constexpr Message kWmInitDialog = 0x0110;
constexpr Message kWmCommand = 0x0111;
constexpr Message kWmDropFiles = 0x0233;
// The window now lies on a monitor of another scale: its new dots per inch
// in both words of wParam.
constexpr Message kWmDpiChanged = 0x02E0;

// The scale of 100%, in dots per inch.
constexpr int kDefaultDpi = 96;

// WM_SETICON's wParam.
constexpr WParam kIconSmall = 0;
constexpr WParam kIconBig = 1;

// Command notifications (the high word of WM_COMMAND's wParam).
constexpr unsigned kBnClicked = 0;
constexpr unsigned kEnChange = 0x0300;
// A drop-down list's selection was changed by the user (never by the program).
constexpr unsigned kCbnSelChange = 1;

// WM_NOTIFY codes of the list view asking for an item's text, in the 8-bit
// and the UTF-16 form; the framework treats both as kLvnGetDispInfo.
constexpr unsigned kLvnGetDispInfo = unsigned(-150);
constexpr unsigned kLvnGetDispInfoW = unsigned(-177);

// The command identifiers of the Enter and the Esc key.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// WM_COMMAND's wParam: control identifier in the low word, code above.
constexpr WParam MakeCommand(int id, unsigned code) {
  return (WParam(code & 0xFFFF) << 16) | WParam(id & 0xFFFF);
}

// WM_DPICHANGED's wParam for `dpi`.
constexpr WParam MakeDpi(int dpi) { return (WParam(dpi & 0xFFFF) << 16) | WParam(dpi & 0xFFFF); }

// The header every WM_NOTIFY carries (the layout of Win32's NMHDR).
struct NotifyHeader {
  void* from;
  std::uintptr_t id;
  unsigned code;
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

}  // namespace morsela::ui
