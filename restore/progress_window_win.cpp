#include "progress_window_win.h"

#include "platform/platform_win.h"

namespace morsela {

namespace {

// The window appears after this long...
constexpr ULONGLONG kShowAfter = 1000;  // milliseconds
// ...unless, at the pace so far, less than this is left: it would flash.
constexpr double kWorthShowing = 500;  // milliseconds

// The layout, in pixels at 96 dots per inch (the system scales the whole
// window on screens of more).
constexpr int kClientWidth = 360, kClientHeight = 100;
constexpr RECT kText = {12, 14, 348, 30};
constexpr RECT kBar = {12, 38, 348, 56};
constexpr RECT kCancel = {273, 66, 348, 89};

const wchar_t kClassName[] = L"MorselaRestoreProgress";
constexpr int kIconId = 104;  // the program's icon in restore.rc

HWND MakeChild(HWND parent, const wchar_t* type, const std::wstring& text, DWORD style, const RECT& r, int id) {
  HWND child = CreateWindowExW(0, type, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
                               r.bottom - r.top, parent, reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
  SendMessageW(child, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return child;
}

}  // namespace

RestoreProgressWindow::RestoreProgressWindow() : start_(GetTickCount64()) { Create(); }

RestoreProgressWindow::~RestoreProgressWindow() { Close(); }

void RestoreProgressWindow::Begin(const std::string& name, std::uint64_t total) {
  name_ = name;
  total_ = total;
  if (!window_) return;
  SetWindowTextW(window_, Wide(name_ + " - Restoring").c_str());
  SetWindowTextW(text_, Wide("Restoring " + name_).c_str());
}

bool RestoreProgressWindow::Advance(const ProgressReport& report) {
  done_ = report.done;
  total_ = report.total;
  const ULONGLONG now = GetTickCount64();
  if (!shown_) {
    const ULONGLONG elapsed = now - start_;
    const double left = done_ >= total_ ? 0 : done_ == 0 ? kWorthShowing
                                                          : double(elapsed) * double(total_ - done_) / double(done_);
    if (elapsed >= kShowAfter && left >= kWorthShowing) Show();
  }
  // Hidden, the window still hears of the session's end.
  if (window_ && !stopped_ && now - lastPump_ >= 10) {
    lastPump_ = now;
    MSG msg;
    while (!stopped_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      // Esc and Tab as in a dialog box.
      if (window_ && IsDialogMessageW(window_, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (window_ && shown_ && now - lastDrawn_ >= 50) {
    lastDrawn_ = now;
    InvalidateRect(window_, &kBar, FALSE);
  }
  return !stopped_;
}

void RestoreProgressWindow::Create() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSW type = {};
  type.lpfnWndProc = &Procedure;
  type.hInstance = instance;
  type.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
  type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  type.lpszClassName = kClassName;
  RegisterClassW(&type);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const RECT work = PrimaryWorkArea();
  window_ = CreateWindowExW(0, kClassName, L"", style, (work.left + work.right - width) / 2,
                            (work.top + work.bottom - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
  if (!window_) return;  // no window system: the restore goes on unseen
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  text_ = MakeChild(window_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kText, 0);
  cancel_ = MakeChild(window_, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, kCancel, IDCANCEL);
}

void RestoreProgressWindow::Show() {
  shown_ = true;
  if (!window_) return;
  ShowWindow(window_, SW_SHOWNORMAL);
  SetFocus(cancel_);
}

void RestoreProgressWindow::Finish(const std::string& text) {
  if (!window_) return;
  done_ = total_;
  SetWindowTextW(window_, Wide(name_ + " - Restored").c_str());
  SetWindowTextW(text_, Wide(text).c_str());
  SetWindowTextW(cancel_, L"Close");
  InvalidateRect(window_, nullptr, TRUE);
  stopped_ = false;
  Show();
  MSG msg;
  while (!stopped_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Close();
}

void RestoreProgressWindow::Close() {
  shown_ = true;
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
}

void RestoreProgressWindow::PaintBar(HDC dc) const {
  RECT inside = kBar;
  DrawEdge(dc, &inside, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  const LONG width = inside.right - inside.left;
  const LONG filled = total_ == 0 ? 0 : done_ >= total_ ? width : LONG(double(done_) / double(total_) * width);
  RECT span = inside;
  span.right = inside.left + filled;
  FillRect(dc, &span, GetSysColorBrush(COLOR_HIGHLIGHT));
  span.left = span.right;
  span.right = inside.right;
  FillRect(dc, &span, GetSysColorBrush(COLOR_WINDOW));
}

LRESULT CALLBACK RestoreProgressWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<RestoreProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:  // the Cancel button, or Esc
      if (self && LOWORD(wParam) == IDCANCEL) self->stopped_ = true;
      return 0;
    case WM_CLOSE:  // the close box: the window goes with the restore
      if (self) self->stopped_ = true;
      return 0;
    case WM_QUERYENDSESSION:
      // The restore stops and removes its temporary file before this
      // thread looks at its messages again: the session's end waits for
      // that, and the system shows why meanwhile.
      if (self) self->stopped_ = true;
      ShutdownBlockReasonCreate(window, L"Stopping a restore");
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (self) self->PaintBar(dc);
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace morsela
