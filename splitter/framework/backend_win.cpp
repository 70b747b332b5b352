// The Win32 back end of the framework: the dialog is a real window made by
// DialogBoxParamW from the template, subclassed so that every message goes
// through Dialog::WindowProc, with the dialog's default procedure behind it.
//
// The back end calls the system's UTF-16 ("W") functions only, so that the
// windows are Unicode windows and no text passes through the ANSI code
// page, whatever it is; the framework's UTF-8 meets the system's UTF-16 in
// Wide and Narrow, which carry every name the system gives (see utf8.h).
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstddef>
#include <cwchar>
#include <iterator>
#include <new>
#include <vector>

#include "application.h"
#include "dialog.h"
#include "framework_ids.h"
#include "platform/platform.h"
#include "platform/platform_win.h"
#include "wrappers.h"

namespace morsela::ui {

static_assert(sizeof(NotifyHeader) == sizeof(NMHDR));
static_assert(offsetof(NotifyHeader, id) == offsetof(NMHDR, idFrom));
static_assert(offsetof(NotifyHeader, code) == offsetof(NMHDR, code));

namespace {

HWND Hwnd(const Dialog& dialog) { return static_cast<HWND>(dialog.window()); }

// A framework message from its string table, in its own modal box.
void ShowFrameworkMessage(UINT id) {
  wchar_t text[512];
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, text, int(std::size(text)));
  if (n <= 0) return;
  ShowMessageBox(Narrow(text, std::size_t(n)));
}

// The text a call writes into a buffer: called with too little room, it
// returns the room it needs, its ending 0 included. Empty when it fails.
template <typename Call>
std::wstring TextOf(Call call) {
  std::wstring text;
  for (DWORD size = call(nullptr, 0); size > 0;) {
    text.assign(size, L'\0');
    const DWORD n = call(&text[0], size);
    if (n < size) {
      text.resize(n);
      return text;
    }
    size = n;
  }
  return std::wstring();
}

// Copies `text` into a buffer of `capacity` units that the system gave,
// ended by a 0. A text too long for it ends in an ellipsis, cut between two
// characters (never inside a surrogate pair), so that it shows it is cut.
void CopyToSystem(const std::wstring& text, wchar_t* buffer, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t n = text.size();
  const bool cut = n >= capacity;
  if (cut) {
    n = capacity - 1;
    if (n > 0) --n;  // room for the ellipsis
    if (n > 0 && IS_HIGH_SURROGATE(text[n - 1])) --n;
  }
  text.copy(buffer, n);
  if (cut && n + 1 < capacity) buffer[n++] = L'\u2026';
  buffer[n] = L'\0';
}

// The scale of the system: that of every window before Windows 10, and of
// the primary monitor when the program started.
int SystemWideDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kDefaultDpi;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDefaultDpi;
}

// A function of user32 that Windows 7 lacks (the scale of one window or
// monitor, from Windows 10 on); nullptr there.
template <typename Function>
Function NewerUserFunction(const char* name) {
  HMODULE user = GetModuleHandleW(L"user32.dll");
  return user ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name))) : nullptr;
}

// GetSystemMetrics at `dpi`.
int SystemMetric(int index, int dpi) {
  using ForDpi = int(WINAPI*)(int, UINT);
  if (auto forDpi = NewerUserFunction<ForDpi>("GetSystemMetricsForDpi")) return forDpi(index, UINT(dpi));
  return MulDiv(GetSystemMetrics(index), dpi, SystemWideDpi());
}

Win32User* NativeWin32() { return dynamic_cast<Win32User*>(&NativeUser()); }

// When HandlePendingMessages last looked at the queue.
ULONGLONG lastPump = 0;

}  // namespace

struct DialogAccess {
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    auto super = reinterpret_cast<WNDPROC>(dialog->backend_);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
      dialog->window_ = nullptr;
      return CallWindowProcW(super, hwnd, message, wParam, lParam);
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
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    dialog->backend_ = reinterpret_cast<void*>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProcedure)));
    if (Win32User* user = NativeWin32()) user->SetMessageOwner(hwnd);
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
      const RECT work = PrimaryWorkArea();
      RECT window;
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
  INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                   &DialogAccess::DialogProcedure, reinterpret_cast<LPARAM>(this));
  if (Win32User* user = NativeWin32()) user->SetMessageOwner(owner);
  if (result == -1) ShowFrameworkMessage(IDS_FRAMEWORK_NO_DIALOG);
  return int(result);
}

void Dialog::EndDialog(int result) { ::EndDialog(Hwnd(*this), result); }

Result Dialog::DefaultWindowProc(Message message, WParam wParam, LParam lParam) {
  return CallWindowProcW(reinterpret_cast<WNDPROC>(backend_), Hwnd(*this), message, wParam, lParam);
}

int Dialog::SystemDpi() const {
  using ForWindow = UINT(WINAPI*)(HWND);
  if (auto forWindow = NewerUserFunction<ForWindow>("GetDpiForWindow"))
    if (const UINT dpi = forWindow(Hwnd(*this))) return int(dpi);
  return SystemWideDpi();
}

std::string Dialog::GetItemText(int id) const {
  HWND control = GetDlgItem(Hwnd(*this), id);
  // The length may count more than the text holds, never less.
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return std::string();
  std::wstring text(std::size_t(length) + 1, L'\0');
  const int got = GetWindowTextW(control, &text[0], length + 1);
  return Narrow(text.data(), std::size_t(got > 0 ? got : 0));
}

void Dialog::SetItemText(int id, const std::string& text) {
  SetDlgItemTextW(Hwnd(*this), id, Wide(text).c_str());
}

void Dialog::EnableItem(int id, bool enable) { EnableWindow(GetDlgItem(Hwnd(*this), id), enable); }

void Dialog::SetItemReadOnly(int id, bool readOnly) {
  SendMessageW(GetDlgItem(Hwnd(*this), id), EM_SETREADONLY, readOnly, 0);
}

int Dialog::GetFocusedItem() const {
  HWND focus = GetFocus();
  return focus && IsChild(Hwnd(*this), focus) ? GetDlgCtrlID(focus) : 0;
}

void Dialog::FocusItem(int id) {
  SendMessageW(Hwnd(*this), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(Hwnd(*this), id)), TRUE);
}

void Dialog::ResetList(int id, std::uint64_t count, const std::string& widest) {
  HWND list = GetDlgItem(Hwnd(*this), id);
  // A count of 0 empties the list, selection and scrolling included, at a
  // cost that does not grow with the count: Wine's LVM_DELETEALLITEMS (and
  // a state change of all items) visits every item of an owner-data list,
  // 40 ms and 3 s at 10,000,000. The list neither draws nor adjusts its
  // scroll bars until it is whole again.
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  ListView_SetItemCountEx(list, 0, 0);
  // The first time a list-mode list paints with items, Wine's list view
  // measures the text of every item (seconds for 500,000): let that first
  // measurement see one item, painted into a memory DC.
  static const wchar_t kMeasured[] = L"morsela.measured";
  if (count > 0 && !GetPropW(list, kMeasured)) {
    ListView_SetItemCountEx(list, 1, 0);
    if (HDC dc = CreateCompatibleDC(nullptr)) {
      SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
      DeleteDC(dc);
    }
    SetPropW(list, kMeasured, reinterpret_cast<HANDLE>(1));
  }
  // The list view counts in int; no real source comes near that.
  const int items = count > 0x7FFFFFFF ? 0x7FFFFFFF : int(count);
  ListView_SetItemCountEx(list, items, 0);
  if (items > 0) FitListColumns(id, widest);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void Dialog::FitListColumns(int id, const std::string& widest) {
  HWND list = GetDlgItem(Hwnd(*this), id);
  // The list does not measure its texts itself: the widest one in its
  // font, plus the margins it keeps around a label, at the window's scale.
  const std::wstring text = Wide(widest);
  const int width = int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str()))) +
                    2 * SystemMetric(SM_CXEDGE, dpi_) + MulDiv(12, dpi_, kDefaultDpi);
  if (ListView_GetColumnWidth(list, 0) != width) ListView_SetColumnWidth(list, 0, width);
}

void Dialog::SetItemProgress(int id, std::uint64_t done, std::uint64_t total) {
  HWND bar = GetDlgItem(Hwnd(*this), id);
  SendMessageW(bar, PBM_SETRANGE32, 0, kProgressRange);
  SendMessageW(bar, PBM_SETPOS, WPARAM(ProgressPosition(done, total)), 0);
}

void Dialog::SetItemChoices(int id, const std::vector<std::string>& items) {
  HWND box = GetDlgItem(Hwnd(*this), id);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items)
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
}

int Dialog::GetItemChoice(int id) const {
  const LRESULT index = SendMessageW(GetDlgItem(Hwnd(*this), id), CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? -1 : int(index);
}

void Dialog::SetItemChoice(int id, int index) {
  SendMessageW(GetDlgItem(Hwnd(*this), id), CB_SETCURSEL, WPARAM(index), 0);
}

void Dialog::HandlePendingMessages() {
  // A look at the queue costs 20 to 70 us under Wine, and work cut into
  // small pieces reports thousands of blocks a second.
  const ULONGLONG now = GetTickCount64();
  if (now - lastPump < 10) return;
  lastPump = now;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // It belongs to the loop around the dialog, which ends on it.
      PostQuitMessage(int(msg.wParam));
      return;
    }
    // The dialog's keys (Esc, Tab, Enter) as its own loop handles them.
    if (IsDialogMessageW(Hwnd(*this), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

Result Dialog::SendToWindow(Message message, WParam wParam, LParam lParam) {
  return SendMessageW(Hwnd(*this), message, wParam, lParam);
}

bool Dialog::IsIconic() const { return ::IsIconic(Hwnd(*this)) != 0; }

Rect Dialog::GetClientRect() const {
  RECT r{};
  ::GetClientRect(Hwnd(*this), &r);
  return {r.left, r.top, r.right, r.bottom};
}

void Dialog::AcceptFiles(bool accept) { DragAcceptFiles(Hwnd(*this), accept); }

ListTextRequest::ListTextRequest(LParam lParam) : lParam_(lParam) {
  const auto* info = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
  index_ = std::uint64_t(info->item.iItem < 0 ? 0 : info->item.iItem);
}

void ListTextRequest::SetText(const std::string& text) {
  // A list asks a Unicode window, as the framework's are, in UTF-16 only.
  if (reinterpret_cast<const NMHDR*>(lParam_)->code != LVN_GETDISPINFOW) return;
  auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam_);
  if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) return;
  CopyToSystem(Wide(text), info->item.pszText, std::size_t(info->item.cchTextMax));
}

// The longest path the system takes, in UTF-16 units with the ending 0.
constexpr DWORD kPathUnits = 32768;

OpenFileDialog::OpenFileDialog(std::string filter) : filter_(std::move(filter)) {
  for (char& c : filter_)
    if (c == '|') c = '\0';
}

bool OpenFileDialog::DoModal(Dialog& owner) {
  const std::wstring filter = Wide(filter_), title = Wide(title_), name = Wide(path_), folder = Wide(folder_);
  std::vector<wchar_t> buffer(kPathUnits, L'\0');
  name.copy(buffer.data(), std::min<std::size_t>(name.size(), kPathUnits - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Hwnd(owner);
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = kPathUnits;
  // The program's current folder stays where it was: a folder the user
  // browsed to is never held open, and relative paths keep their meaning.
  ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!title.empty()) ofn.lpstrTitle = title.c_str();
  if (!folder.empty()) ofn.lpstrInitialDir = folder.c_str();
  if (save_) ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!(save_ ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
  path_ = Narrow(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
  return true;
}

std::string DocumentsFolder() {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)) && path)
    folder = Narrow(path, wcslen(path));
  CoTaskMemFree(path);
  return folder;
}

std::string DroppedFileName(WParam drop, unsigned index) {
  HDROP handle = reinterpret_cast<HDROP>(drop);
  const UINT count = DragQueryFileW(handle, 0xFFFFFFFF, nullptr, 0);
  if (index >= count) return std::string();
  const UINT length = DragQueryFileW(handle, index, nullptr, 0);
  std::wstring name(std::size_t(length) + 1, L'\0');
  const UINT got = DragQueryFileW(handle, index, &name[0], length + 1);
  return Narrow(name.data(), got <= length ? got : 0);
}

std::string FullPathName(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = Wide(path);
  std::wstring full = TextOf([&](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
  });
  if (full.empty()) return path;
  // Only a name with a '~' can be a short one; the call fails for a path
  // that names nothing, which then stays as it is.
  if (full.find(L'~') != std::wstring::npos) {
    std::wstring longer = TextOf([&](wchar_t* buffer, DWORD size) {
      return GetLongPathNameW(full.c_str(), buffer, size);
    });
    if (!longer.empty()) full = std::move(longer);
  }
  return Narrow(full.data(), full.size());
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

void BlockSessionEnd(Dialog& window, const std::string& reason) {
  ShutdownBlockReasonCreate(Hwnd(window), Wide(reason).c_str());
}

void AllowSessionEnd(Dialog& window) { ShutdownBlockReasonDestroy(Hwnd(window)); }

int IconSize(IconKind kind, int dpi) { return SystemMetric(kind == IconKind::kBig ? SM_CXICON : SM_CXSMICON, dpi); }

ProgramIcon::ProgramIcon(int id, int size)
    : icon_(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)) {}

ProgramIcon::~ProgramIcon() {
  if (icon_) DestroyIcon(static_cast<HICON>(icon_));
}

static_assert(sizeof(PAINTSTRUCT) <= 80);

PaintContext::PaintContext(Dialog& window) : window_(window) {
  dc_ = BeginPaint(Hwnd(window_), reinterpret_cast<PAINTSTRUCT*>(paint_));
}

PaintContext::~PaintContext() { EndPaint(Hwnd(window_), reinterpret_cast<PAINTSTRUCT*>(paint_)); }

// At the icon's own size, which follows the window's scale.
void PaintContext::DrawIcon(int x, int y, Icon icon) {
  DrawIconEx(static_cast<HDC>(dc_), x, y, static_cast<HICON>(icon), 0, 0, 0, nullptr, DI_NORMAL);
}

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
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return int(msg.wParam);
}

CommandLine ProgramCommandLine() {
  CommandLine line;
  const wchar_t* whole = GetCommandLineW();
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(whole, &count)) {
    for (int i = 1; i < count; ++i) line.arguments.push_back(Narrow(argv[i], wcslen(argv[i])));
    LocalFree(argv);
  }
  // The rest begins after the program's name, which ends at its closing
  // quote, or else at the first space or tab, as CommandLineToArgvW sees it.
  const wchar_t* p = whole;
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  const std::wstring rest(p);
  const std::size_t first = rest.find_first_not_of(L" \t");
  if (first != std::wstring::npos) {
    const std::size_t last = rest.find_last_not_of(L" \t");
    line.rest = Narrow(rest.data() + first, last + 1 - first);
  }
  return line;
}

}  // namespace morsela::ui
