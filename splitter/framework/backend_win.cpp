// The Win32 back end of the framework: the dialog is a real window made by
// DialogBoxParam from the template, subclassed so that every message goes
// through Dialog::WindowProc, with the dialog's default procedure behind it.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

#include "application.h"
#include "dialog.h"
#include "framework_ids.h"
#include "platform.h"
#include "platform_win.h"
#include "wrappers.h"

namespace morsela::ui {

static_assert(sizeof(NotifyHeader) == sizeof(NMHDR));
static_assert(offsetof(NotifyHeader, id) == offsetof(NMHDR, idFrom));
static_assert(offsetof(NotifyHeader, code) == offsetof(NMHDR, code));

namespace {

HWND Hwnd(const Dialog& dialog) { return static_cast<HWND>(dialog.window()); }

// A framework message from its string table, in its own modal box.
void ShowFrameworkMessage(UINT id) {
  char text[512];
  if (LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text) <= 0) return;
  ShowMessageBox(text);
}

Win32Platform* NativeWin32() { return dynamic_cast<Win32Platform*>(&NativePlatform()); }

// When HandlePendingMessages last looked at the queue.
ULONGLONG lastPump = 0;

}  // namespace

struct DialogAccess {
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    auto super = reinterpret_cast<WNDPROC>(dialog->backend_);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
      dialog->window_ = nullptr;
      return CallWindowProcA(super, hwnd, message, wParam, lParam);
    }
    // Exceptions must not cross the system's code.
    try {
      return dialog->WindowProc(message, wParam, lParam);
    } catch (const std::bad_alloc&) {
      ShowFrameworkMessage(IDS_FRAMEWORK_NO_MEMORY);
      return 0;
    }
  }

  static INT_PTR CALLBACK DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = reinterpret_cast<Dialog*>(lParam);
    dialog->window_ = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    dialog->backend_ = reinterpret_cast<void*>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProcedure)));
    if (Win32Platform* platform = NativeWin32()) platform->SetMessageOwner(hwnd);
    Result focus = 0;
    try {
      focus = dialog->WindowProc(WM_INITDIALOG, wParam, lParam);
    } catch (const std::bad_alloc&) {
      ShowFrameworkMessage(IDS_FRAMEWORK_NO_MEMORY);
      EndDialog(hwnd, -1);
      return FALSE;
    }
    // A window without an owner is centred in the primary screen's work area
    // before it is first shown.
    if (!GetWindow(hwnd, GW_OWNER)) {
      RECT work, window;
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
      GetWindowRect(hwnd, &window);
      Rect place = CenterInWorkArea({window.left, window.top, window.right, window.bottom},
                                    {work.left, work.top, work.right, work.bottom});
      SetWindowPos(hwnd, nullptr, place.left, place.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return focus != 0;
  }
};

int Dialog::DoModal() {
  HWND owner = parent_ ? Hwnd(*parent_) : nullptr;
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner,
                                   &DialogAccess::DialogProcedure, reinterpret_cast<LPARAM>(this));
  if (Win32Platform* platform = NativeWin32()) platform->SetMessageOwner(owner);
  if (result == -1) ShowFrameworkMessage(IDS_FRAMEWORK_NO_DIALOG);
  return int(result);
}

void Dialog::EndDialog(int result) { ::EndDialog(Hwnd(*this), result); }

Result Dialog::DefaultWindowProc(Message message, WParam wParam, LParam lParam) {
  return CallWindowProcA(reinterpret_cast<WNDPROC>(backend_), Hwnd(*this), message, wParam, lParam);
}

std::string Dialog::GetItemText(int id) const {
  HWND control = GetDlgItem(Hwnd(*this), id);
  int length = GetWindowTextLengthA(control);
  if (length <= 0) return std::string();
  std::string text(std::size_t(length) + 1, '\0');
  int got = GetWindowTextA(control, text.data(), length + 1);
  text.resize(std::size_t(got > 0 ? got : 0));
  return text;
}

void Dialog::SetItemText(int id, const std::string& text) { SetDlgItemTextA(Hwnd(*this), id, text.c_str()); }

void Dialog::EnableItem(int id, bool enable) { EnableWindow(GetDlgItem(Hwnd(*this), id), enable); }

int Dialog::GetFocusedItem() const {
  HWND focus = GetFocus();
  return focus && IsChild(Hwnd(*this), focus) ? GetDlgCtrlID(focus) : 0;
}

void Dialog::FocusItem(int id) {
  SendMessageA(Hwnd(*this), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(Hwnd(*this), id)), TRUE);
}

void Dialog::ResetList(int id, std::uint64_t count, const std::string& widest) {
  HWND list = GetDlgItem(Hwnd(*this), id);
  // A count of 0 empties the list, selection and scrolling included, at a
  // cost that does not grow with the count: Wine's LVM_DELETEALLITEMS (and
  // a state change of all items) visits every item of an owner-data list,
  // 40 ms and 3 s at 10,000,000. The list neither draws nor adjusts its
  // scroll bars until it is whole again.
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  ListView_SetItemCountEx(list, 0, 0);
  // The first time a list-mode list paints with items, Wine's list view
  // measures the text of every item (seconds for 500,000): let that first
  // measurement see one item, painted into a memory DC.
  static const char kMeasured[] = "morsela.measured";
  if (count > 0 && !GetPropA(list, kMeasured)) {
    ListView_SetItemCountEx(list, 1, 0);
    if (HDC dc = CreateCompatibleDC(nullptr)) {
      SendMessageA(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
      DeleteDC(dc);
    }
    SetPropA(list, kMeasured, reinterpret_cast<HANDLE>(1));
  }
  // The list view counts in int; no real source comes near that.
  const int items = count > 0x7FFFFFFF ? 0x7FFFFFFF : int(count);
  ListView_SetItemCountEx(list, items, 0);
  if (items > 0) {
    // Columns as wide as the widest text, which the list does not measure
    // itself, plus the margins it keeps around a label.
    const int width = ListView_GetStringWidth(list, widest.c_str()) + 2 * GetSystemMetrics(SM_CXEDGE) + 12;
    if (ListView_GetColumnWidth(list, 0) != width) ListView_SetColumnWidth(list, 0, width);
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void Dialog::SetItemProgress(int id, std::uint64_t done, std::uint64_t total) {
  HWND bar = GetDlgItem(Hwnd(*this), id);
  SendMessageA(bar, PBM_SETRANGE32, 0, kProgressRange);
  SendMessageA(bar, PBM_SETPOS, WPARAM(ProgressPosition(done, total)), 0);
}

void Dialog::HandlePendingMessages() {
  // A look at the queue costs 20 to 70 us under Wine, and work cut into
  // small pieces reports thousands of blocks a second.
  const ULONGLONG now = GetTickCount64();
  if (now - lastPump < 10) return;
  lastPump = now;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // It belongs to the loop around the dialog, which ends on it.
      PostQuitMessage(int(msg.wParam));
      return;
    }
    // The dialog's keys (Esc, Tab, Enter) as its own loop handles them.
    if (IsDialogMessageA(Hwnd(*this), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

Result Dialog::SendToWindow(Message message, WParam wParam, LParam lParam) {
  return SendMessageA(Hwnd(*this), message, wParam, lParam);
}

bool Dialog::IsIconic() const { return ::IsIconic(Hwnd(*this)) != 0; }

Rect Dialog::GetClientRect() const {
  RECT r{};
  ::GetClientRect(Hwnd(*this), &r);
  return {r.left, r.top, r.right, r.bottom};
}

void Dialog::AcceptFiles(bool accept) { DragAcceptFiles(Hwnd(*this), accept); }

ListTextRequest::ListTextRequest(LParam lParam) : lParam_(lParam) {
  const auto* info = reinterpret_cast<const NMLVDISPINFOA*>(lParam);
  index_ = std::uint64_t(info->item.iItem < 0 ? 0 : info->item.iItem);
}

void ListTextRequest::SetText(const std::string& text) {
  auto* header = reinterpret_cast<NMHDR*>(lParam_);
  if (header->code == LVN_GETDISPINFOW) {
    auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam_);
    if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) return;
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), info->item.pszText,
                                info->item.cchTextMax - 1);
    info->item.pszText[n > 0 ? n : 0] = L'\0';
    return;
  }
  auto* info = reinterpret_cast<NMLVDISPINFOA*>(lParam_);
  if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) return;
  std::size_t n = std::min<std::size_t>(text.size(), std::size_t(info->item.cchTextMax) - 1);
  text.copy(info->item.pszText, n);
  info->item.pszText[n] = '\0';
}

// The longest path the system takes, in UTF-16 units; each may need up to
// three bytes in the program's UTF-8 code page.
constexpr DWORD kPathBufferBytes = 32768 * 3;

OpenFileDialog::OpenFileDialog(std::string filter) : filter_(std::move(filter)) {
  for (char& c : filter_)
    if (c == '|') c = '\0';
}

bool OpenFileDialog::DoModal(Dialog& owner) {
  std::vector<char> buffer(kPathBufferBytes, '\0');
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Hwnd(owner);
  ofn.lpstrFilter = filter_.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = kPathBufferBytes;
  ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING;
  if (!GetOpenFileNameA(&ofn)) return false;
  path_ = buffer.data();
  return true;
}

std::string DroppedFileName(WParam drop, unsigned index) {
  HDROP handle = reinterpret_cast<HDROP>(drop);
  UINT count = DragQueryFileA(handle, 0xFFFFFFFF, nullptr, 0);
  if (index >= count) return std::string();
  UINT length = DragQueryFileA(handle, index, nullptr, 0);
  std::string name(std::size_t(length) + 1, '\0');
  UINT got = DragQueryFileA(handle, index, name.data(), length + 1);
  name.resize(got <= length ? got : 0);
  return name;
}

void FinishDrop(WParam drop) { DragFinish(reinterpret_cast<HDROP>(drop)); }

std::uint64_t Milliseconds() { return GetTickCount64(); }

// The taskbar's interface exists from Windows 7 on; any failure leaves the
// button as it is.
TaskbarProgress::TaskbarProgress(Dialog& window) : window_(window) {
  // S_FALSE (started before on this thread) must be balanced too; a thread
  // in the other model keeps it and may still create the object.
  com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&list))))
    return;
  if (FAILED(list->HrInit())) {
    list->Release();
    return;
  }
  list_ = list;
}

TaskbarProgress::~TaskbarProgress() {
  if (auto* list = static_cast<ITaskbarList3*>(list_)) {
    list->SetProgressState(Hwnd(window_), TBPF_NOPROGRESS);
    list->Release();
  }
  if (com_) CoUninitialize();
}

void TaskbarProgress::Set(std::uint64_t done, std::uint64_t total) {
  if (auto* list = static_cast<ITaskbarList3*>(list_))
    list->SetProgressValue(Hwnd(window_), done, total);
}

Icon LoadProgramIcon(int id) { return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)); }

int IconWidth() { return GetSystemMetrics(SM_CXICON); }
int IconHeight() { return GetSystemMetrics(SM_CYICON); }

static_assert(sizeof(PAINTSTRUCT) <= 80);

PaintContext::PaintContext(Dialog& window) : window_(window) {
  dc_ = BeginPaint(Hwnd(window_), reinterpret_cast<PAINTSTRUCT*>(paint_));
}

PaintContext::~PaintContext() { EndPaint(Hwnd(window_), reinterpret_cast<PAINTSTRUCT*>(paint_)); }

void PaintContext::DrawIcon(int x, int y, Icon icon) { ::DrawIcon(static_cast<HDC>(dc_), x, y, static_cast<HICON>(icon)); }

void EnableCommonControls() {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                               ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

int RunApplication() {
  Application* app = Application::Current();
  if (!app) return 1;
  bool loop = false;
  try {
    loop = app->InitInstance();
  } catch (const std::bad_alloc&) {
    ShowFrameworkMessage(IDS_FRAMEWORK_NO_MEMORY);
    return 1;
  }
  if (!loop) return 0;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return int(msg.wParam);
}

}  // namespace morsela::ui
