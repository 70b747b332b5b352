// The real main dialog under the window system: built from its template,
// run on a thread of its own, and driven from the test's thread with the
// messages a user's actions send (text changes, button clicks, a file drop
// built here), then read back through the controls. Needs a display. Texts
// cross in UTF-16, as the shell and the system pass them, so that nothing
// here depends on the program's ANSI code page.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "resource.h"
#include "splitter_dlg.h"
#include "application.h"
#include "platform/platform_win.h"
#include "text/case_fold.h"
#include "test_platform.h"

namespace morsela {
namespace {

using test::ListDir;
using test::RandomBytes;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

using morsela::Narrow;
using morsela::Wide;

std::string TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(std::size_t(length > 0 ? length : 0) + 1, L'\0');
  const int got = GetWindowTextW(window, &text[0], length + 1);
  return Narrow(text.data(), std::size_t(got > 0 ? got : 0));
}

// Calls of the scale that the headers for Windows 7 do not declare.
template <typename Function>
Function UserFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}
int DpiOf(HWND window) { return int(UserFunction<UINT(WINAPI*)(HWND)>("GetDpiForWindow")(window)); }
int MetricForDpi(int index, int dpi) {
  return UserFunction<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi")(index, UINT(dpi));
}

int IconWidth(LRESULT icon) {
  ICONINFO info{};
  if (!GetIconInfo(reinterpret_cast<HICON>(icon), &info)) return 0;
  BITMAP bitmap{};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

class LiveDialog {
 public:
  LiveDialog() {
    thread_ = std::thread([this] {
      ui::EnableCommonControls();
      CSplitterDlg dialog;
      dialog_ = &dialog;
      result_ = dialog.DoModal();
      done_ = true;
    });
    for (int i = 0; i < 500 && !hwnd_; ++i) {
      CSplitterDlg* d = dialog_;
      if (d && d->window() && IsWindowVisible(static_cast<HWND>(d->window()))) hwnd_ = static_cast<HWND>(d->window());
      else Sleep(10);
    }
  }
  ~LiveDialog() {
    if (!done_ && hwnd_) PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    thread_.join();
  }
  // Ends the dialog as the Esc key does and gives DoModal's result.
  int Close() {
    SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return Wait();
  }
  // Waits for the dialog to end and gives DoModal's result.
  int Wait() {
    thread_.join();
    thread_ = std::thread([] {});
    return result_;
  }

  HWND hwnd() const { return hwnd_; }
  HWND item(int id) const { return GetDlgItem(hwnd_, id); }
  std::string Text(int id) const { return TextOf(item(id)); }
  void SetText(int id, const std::string& text) { SetDlgItemTextW(hwnd_, id, Wide(text).c_str()); }
  void Click(int id) { SendMessageA(item(id), BM_CLICK, 0, 0); }
  // Clicks as the mouse does, without waiting for the command to end.
  void FocusAndPostClick(int id) {
    SendMessageA(hwnd_, WM_NEXTDLGCTL, WPARAM(item(id)), TRUE);
    PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(item(id)));
  }
  bool Enabled(int id) const { return IsWindowEnabled(item(id)) != 0; }
  // Returns once the window's thread is back in a message loop: a command
  // that was running has ended (or waits for the user).
  void Settle() { SendMessageW(hwnd_, WM_NULL, 0, 0); }

  // Drops `names` as the shell does: a DROPFILES block of UTF-16 names in
  // global memory, which the dialog releases with DragFinish.
  void Drop(const std::vector<std::string>& names) {
    std::wstring list;
    for (const std::string& n : names) list += Wide(n) + L'\0';
    list += L'\0';
    const std::size_t bytes = list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), bytes);
    GlobalUnlock(memory);
    SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  }

  int ItemCount() const { return int(SendMessageW(item(IDC_PIECE_LIST), LVM_GETITEMCOUNT, 0, 0)); }
  // Item `index` as the list gives it into a buffer of `capacity` units.
  std::string ItemText(int index, std::size_t capacity = 512) const {
    std::wstring buffer(capacity, L'\0');
    LVITEMW lvi{};
    lvi.iSubItem = 0;
    lvi.pszText = &buffer[0];
    lvi.cchTextMax = int(capacity);
    const LRESULT n = SendMessageW(item(IDC_PIECE_LIST), LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&lvi));
    return Narrow(buffer.data(), std::size_t(n));
  }
  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    for (int i = 0; i < ItemCount(); ++i) items.push_back(ItemText(i));
    return items;
  }
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(hwnd_, nullptr), &info);
    return info.hwndFocus;
  }

 private:
  std::thread thread_;
  std::atomic<CSplitterDlg*> dialog_{nullptr};
  std::atomic<bool> done_{false};
  HWND hwnd_ = nullptr;
  int result_ = 0;
};

// A path as the lower-case path field shows it (the paths it is used for
// are ASCII; the other scripts are spelled out where they are tested).
std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

// Counts the list's requests for item texts that reach the dialog, seen
// through a subclass in front of the dialog's own window procedure.
std::atomic<int> textRequests{0};
WNDPROC dialogProcedure = nullptr;
LRESULT CALLBACK CountTextRequests(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
    if (code == LVN_GETDISPINFOA || code == LVN_GETDISPINFOW) ++textRequests;
  }
  return CallWindowProcW(dialogProcedure, hwnd, message, wParam, lParam);
}

LONG Style(HWND w) { return LONG(GetWindowLongPtrA(w, GWL_STYLE)); }

std::string ClassOf(HWND w) {
  char name[64] = "";
  GetClassNameA(w, name, sizeof name);
  return name;
}

// Waits up to 10 s for `done`.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

// Waits for a dialog box owned by `owner` (a message, the open-file
// dialog); nullptr when none comes.
HWND WaitForBoxOf(HWND owner) {
  HWND box = nullptr;
  WaitFor([&] {
    while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) && GetWindow(box, GW_OWNER) != owner) {
    }
    return box != nullptr;
  });
  return box;
}

// Where `child` lies in its parent's client area.
RECT PlaceOf(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// The size of `text` in the font `window` draws with.
SIZE TextExtent(HWND window, const std::wstring& text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size;
}

TEXTMETRICW MetricsOf(HWND window) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return metrics;
}

// The columns of the list are wide enough for `text` in its font now.
bool ColumnsFit(HWND list, const std::string& text) {
  const std::wstring wide = Wide(text);
  return SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0) >
         SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

// A file of `length` bytes that the file system keeps sparse.
void MakeSparse(const std::string& path, LONGLONG length) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER at;
  at.QuadPart = length;
  SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  CloseHandle(file);
}

class LiveSplitterDialog : public ::testing::Test {
 protected:
  test::TestPlatform platform;  // records messages instead of showing them
  TempDir dir;
};

TEST_F(LiveSplitterDialog, OpensCentredWithTheTemplatesControls) {
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  EXPECT_EQ(TextOf(d.hwnd()), "Morsela by Quellin Studio");
  const LONG style = Style(d.hwnd());
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(GetWindowLongPtrA(d.hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);

  EXPECT_EQ(ClassOf(d.item(IDC_PIECE_LIST)), "SysListView32");
  EXPECT_TRUE(Style(d.item(IDC_PIECE_LIST)) & LVS_OWNERDATA);
  EXPECT_EQ(Style(d.item(IDC_PIECE_LIST)) & LVS_TYPEMASK, LVS_LIST);
  EXPECT_TRUE(Style(d.item(IDC_PIECE_SIZE)) & ES_NUMBER);
  EXPECT_EQ(Style(d.item(IDC_SOURCE_PATH)) & (ES_READONLY | ES_LOWERCASE), ES_READONLY | ES_LOWERCASE);
  for (int id : {IDC_CHOOSE_FILE, IDC_SPLIT_FILE, IDC_CANCEL_WORK})
    EXPECT_EQ(Style(d.item(id)) & BS_TYPEMASK, BS_PUSHBUTTON) << id;  // no default button
  EXPECT_TRUE(Style(d.item(IDC_WORK_STATUS)) & SS_NOPREFIX);  // names may hold '&'
  EXPECT_EQ(Style(d.item(IDC_RECOVERY)) & CBS_DROPDOWNLIST, CBS_DROPDOWNLIST);
  EXPECT_EQ(SendMessageW(d.item(IDC_RECOVERY), CB_GETCOUNT, 0, 0), 6);
  EXPECT_EQ(d.Text(IDC_RECOVERY), "None");
  EXPECT_EQ(Style(d.item(IDC_SIZE_PRESET)) & CBS_DROPDOWNLIST, CBS_DROPDOWNLIST);
  EXPECT_EQ(d.Text(IDC_SIZE_PRESET), "Any size");

  // Tab order, from the control with the focus at start; the disabled
  // Cancel is skipped.
  EXPECT_EQ(d.Focus(), d.item(IDC_CHOOSE_FILE));
  HWND at = d.item(IDC_CHOOSE_FILE);
  std::vector<int> order;
  for (int i = 0; i < 7; ++i) order.push_back(GetDlgCtrlID(at = GetNextDlgTabItem(d.hwnd(), at, FALSE)));
  EXPECT_EQ(order, (std::vector<int>{IDC_PIECE_SIZE, IDC_SIZE_PRESET, IDC_RECOVERY, IDC_SPLIT_FILE, IDC_SOURCE_PATH,
                                     IDC_PIECE_LIST, IDC_CHOOSE_FILE}));

  RECT work, window;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(d.hwnd(), &window);
  EXPECT_EQ(window.left, (work.left + work.right) / 2 - (window.right - window.left) / 2);
  EXPECT_EQ(window.top, (work.top + work.bottom) / 2 - (window.bottom - window.top) / 2);

  // Icons of the sizes of the window's scale.
  const int dpi = DpiOf(d.hwnd());
  const LRESULT big = SendMessageW(d.hwnd(), WM_GETICON, ICON_BIG, 0);
  EXPECT_EQ(IconWidth(big), MetricForDpi(SM_CXICON, dpi));
  EXPECT_EQ(IconWidth(SendMessageW(d.hwnd(), WM_GETICON, ICON_SMALL, 0)), MetricForDpi(SM_CXSMICON, dpi));
  EXPECT_EQ(SendMessageW(d.hwnd(), WM_QUERYDRAGICON, 0, 0), big);

  EXPECT_EQ(d.Text(IDC_PIECE_SIZE), "100");
  EXPECT_EQ(d.Text(IDC_SOURCE_PATH), "");
  EXPECT_EQ(d.ItemCount(), 0);
  EXPECT_EQ(d.Close(), IDCANCEL);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LiveSplitterDialog, DropAndSizeChangesRefreshTheList) {
  WriteAll(dir / "first.bin", RandomBytes(20000, 5));
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  d.Drop({dir / "First.BIN", dir / "second.bin"});
  EXPECT_EQ(d.Text(IDC_SOURCE_PATH), Lower(dir / "first.bin"));
  EXPECT_EQ(d.Items(), std::vector<std::string>{"first#.0"});

  // Too small: the message, then the field is set back to 10 and the list
  // refreshed through the field's own change notification.
  d.SetText(IDC_PIECE_SIZE, "5");
  EXPECT_EQ(platform.messages, std::vector<std::string>{kSizeNoValid});
  EXPECT_EQ(d.Text(IDC_PIECE_SIZE), "10");
  EXPECT_EQ(d.Items(), (std::vector<std::string>{"first#.0", "first#.1", "first#.2"}));

  // A name of no file: the list keeps its names.
  d.Drop({dir / "second.bin"});
  EXPECT_EQ(d.ItemCount(), 3);

  // A folder counts as a file of length 0.
  CreateDirectoryA((dir / "folder").c_str(), nullptr);
  d.Drop({dir / "folder"});
  EXPECT_EQ(d.ItemCount(), 0);
  EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(LiveSplitterDialog, TheVirtualListNamesEveryPiece) {
  // Half a million pieces without writing 5 GB.
  const std::string big = dir / "big.iso";
  MakeSparse(big, 5000000000LL);

  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  d.SetText(IDC_PIECE_SIZE, "10");
  dialogProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(d.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountTextRequests)));
  d.Drop({big});
  // regression: the list's first paint with items measured every item's
  // text, which froze the window for seconds; it asks for what it shows.
  RedrawWindow(d.item(IDC_PIECE_LIST), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GT(textRequests.load(), 0);
  EXPECT_LT(textRequests.load(), 2000);
  SetWindowLongPtrW(d.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogProcedure));
  // Its columns are wide enough for the longest name.
  EXPECT_GE(SendMessageA(d.item(IDC_PIECE_LIST), LVM_GETCOLUMNWIDTH, 0, 0),
            SendMessageA(d.item(IDC_PIECE_LIST), LVM_GETSTRINGWIDTHA, 0,
                         reinterpret_cast<LPARAM>("big#.500000")));
  EXPECT_EQ(d.ItemCount(), 500001);  // the header's 8 bytes need one more
  EXPECT_EQ(d.ItemText(0), "big#.0");
  EXPECT_EQ(d.ItemText(9), "big#.9");
  EXPECT_EQ(d.ItemText(10), "big#.10");
  EXPECT_EQ(d.ItemText(500000), "big#.500000");
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LiveSplitterDialog, SplitCommandChecksThenWritesThePieces) {
  const std::string source = RandomBytes(25000, 9);
  WriteAll(dir / "movie.avi", source);
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  d.Click(IDC_SPLIT_FILE);
  EXPECT_EQ(platform.messages, std::vector<std::string>{kNoFileSelected});

  d.SetText(IDC_PIECE_SIZE, "10");
  d.Drop({dir / "Movie.avi"});
  d.Click(IDC_SPLIT_FILE);
  EXPECT_EQ(platform.messages.size(), 1u);
  for (int id : {IDC_CHOOSE_FILE, IDC_SPLIT_FILE, IDC_PIECE_SIZE}) EXPECT_TRUE(IsWindowEnabled(d.item(id))) << id;
  EXPECT_EQ(ListDir(dir.path()),
            (std::vector<std::string>{"movie#.0", "movie#.1", "movie#.2", "movie.avi", "movie.exe", "movie.restore.html"}));
  EXPECT_EQ(ReadAll(dir / "movie#.0") + ReadAll(dir / "movie#.1") + ReadAll(dir / "movie#.2"),
            std::string("movie.avi", 10) + source);
  EXPECT_EQ(ReadAll(dir / "movie.exe").compare(0, platform.image.size(), platform.image), 0);
  EXPECT_EQ(d.Text(IDC_WORK_STATUS), "Done: 3 pieces, the restore program movie.exe and the restore page movie.restore.html written.");
  EXPECT_EQ(d.Close(), IDCANCEL);
}

TEST_F(LiveSplitterDialog, NamesInEveryScriptAndPathsOverThreeHundredCharactersSplit) {
  // The path field lowers every script that has case, and the pieces are
  // named from what it shows. The file split is the one chosen, also where
  // the lowered name is another file's to the file system (which keeps İ
  // and i, ẞ and ß apart): the field lowers those two as the system's own
  // lower case does, which may keep them (Wine keeps both).
  struct Name {
    const char* given;
    const char* lowered;  // nullptr: as the system lowers it
  };
  const Name names[] = {
      {"ÉTÉ À Ärger Привет ΩΜΈΓΑ 日本語.txt", "été à ärger привет ωμέγα 日本語"},
      {"日本語 ファイル.doc", "日本語 ファイル"},
      {"İstanbul.avi", nullptr},
      {"STRAẞE.txt", nullptr},
      {"😀 Smile.txt", "😀 smile"},  // beyond 16 bits: a surrogate pair in UTF-16
  };
  const std::string source = RandomBytes(15000, 4);
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  d.SetText(IDC_PIECE_SIZE, "10");
  for (const Name& name : names) {
    SCOPED_TRACE(name.given);
    const std::string extension = std::strrchr(name.given, '.');
    std::string lowered = name.lowered ? name.lowered : "";
    if (!name.lowered) {
      std::wstring wide = Wide(std::string(name.given, std::strlen(name.given) - extension.size()));
      CharLowerBuffW(&wide[0], DWORD(wide.size()));
      lowered = Narrow(wide.data(), wide.size());
    }
    WriteAll(dir / name.given, source);
    // Where the lowered name is another file's, that file is there too.
    if (!EqualsNoCase(lowered + extension, name.given)) {
      WriteAll(dir / (lowered + extension), "another file");
    }
    d.Drop({dir / name.given});
    EXPECT_EQ(d.Text(IDC_SOURCE_PATH), Lower(dir.path()) + lowered + extension);
    EXPECT_EQ(d.Items(), (std::vector<std::string>{lowered + "#.0", lowered + "#.1"}));
    d.Click(IDC_SPLIT_FILE);
    EXPECT_EQ(ReadAll(dir / (lowered + "#.0")).substr(0, lowered.size() + extension.size() + 1),
              lowered + extension + '\0');
    EXPECT_EQ(ReadAll(dir / (lowered + "#.0")).size() + ReadAll(dir / (lowered + "#.1")).size(),
              lowered.size() + extension.size() + 1 + source.size());
    EXPECT_EQ(ReadAll(dir / (lowered + ".exe")).compare(0, platform.image.size(), platform.image), 0);
  }
  EXPECT_TRUE(platform.messages.empty());
  // A name too long for the list's buffer ends in an ellipsis, never in
  // half a character.
  EXPECT_EQ(d.ItemText(0, 4), "😀…");
  EXPECT_EQ(d.ItemText(0, 3), "…");

  // A file deeper than 300 characters, dropped in the shell's UTF-16, is
  // taken whole, previewed and split beside itself.
  std::string deep = dir.path();
  for (int level = 0; deep.size() < 300; ++level) {
    deep += "Folder-Of-Level-" + std::to_string(level) + "\\";
    ASSERT_TRUE(CreateDirectoryW(SystemPath(deep).c_str(), nullptr)) << deep.size();
  }
  const std::string file = deep + "Deep File.BIN";
  {
    std::unique_ptr<OutputFile> out = System().Create(file);
    ASSERT_TRUE(out && out->Write(source.data(), source.size()) && out->Close());
  }
  d.Drop({file});
  EXPECT_EQ(d.Text(IDC_SOURCE_PATH), Lower(file));
  EXPECT_EQ(d.Items(), (std::vector<std::string>{"deep file#.0", "deep file#.1"}));
  d.Click(IDC_SPLIT_FILE);
  std::vector<std::string> written;
  for (const DirEntry& entry : System().Find(deep + "*")) written.push_back(entry.name);
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"Deep File.BIN", "deep file#.0", "deep file#.1", "deep file.exe", "deep file.restore.html"}));
  EXPECT_EQ(d.Text(IDC_WORK_STATUS), "Done: 2 pieces, the restore program deep file.exe and the restore page deep file.restore.html written.");
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(d.Close(), IDCANCEL);
  for (const std::string& name : written) System().Remove(deep + name);
  for (std::string folder = deep; folder.size() > dir.path().size();
       folder.resize(folder.rfind('\\', folder.size() - 2) + 1))
    RemoveDirectoryW(SystemPath(folder).c_str());
}

TEST_F(LiveSplitterDialog, TheOpenFileDialogTakesAnyNameAndLeavesTheCurrentFolder) {
  const std::string folder = dir / "Ωμέγα Folder";
  ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(Wide(dir / "here").c_str(), nullptr));
  WriteAll(folder + "\\Δέλτα.BIN", RandomBytes(25000, 6));
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  ASSERT_TRUE(SetCurrentDirectoryW(Wide(dir / "here").c_str()));
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  d.SetText(IDC_PIECE_SIZE, "10");
  d.FocusAndPostClick(IDC_CHOOSE_FILE);
  HWND box = WaitForBoxOf(d.hwnd());
  ASSERT_TRUE(box);
  // The folder the dialog shows, once it shows one.
  auto shown = [&] {
    wchar_t path[MAX_PATH] = L"";
    const LRESULT n = SendMessageW(box, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path));
    return n > 0 ? Narrow(path, wcslen(path)) : std::string();
  };
  // The folder first, which the dialog opens (and makes the current one
  // while it shows it), then the file in it. The dialog may still be
  // making its controls, or clear its name field as it settles, so a name
  // is entered again until the step shows. A step that fails closes the
  // dialog, so that the window can end.
  auto enter = [&](const std::string& text, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      HWND name = GetDlgItem(box, cmb13);
      SetWindowTextW(name ? name : GetDlgItem(box, edt1), Wide(text).c_str());
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
      for (int i = 0; i < 50; ++i, Sleep(10))
        if (done()) return true;
    }
    return false;
  };
  const bool started = WaitFor([&] { return shown() == dir / "here"; });
  const bool opened = started && enter(folder, [&] { return shown() == folder; });
  const bool chosen = opened && enter("Δέλτα.BIN", [&] { return d.ItemCount() == 3; });
  if (!chosen) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_TRUE(started) << shown();
  EXPECT_TRUE(opened) << shown();
  EXPECT_TRUE(chosen);
  wchar_t after[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, after);
  SetCurrentDirectoryW(before);
  EXPECT_EQ(Narrow(after, wcslen(after)), dir / "here");
  EXPECT_EQ(d.Text(IDC_SOURCE_PATH), Lower(dir.path()) + "ωμέγα folder\\δέλτα.bin");
  EXPECT_EQ(d.Close(), IDCANCEL);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LiveSplitterDialog, TheLayoutFitsAtTheScaleOfTheSystem) {
  // Run at 96, 144 and 192 dots per inch (the prefix's LogPixels) by
  // gui/scaled_layout.sh, which names the scale it set.
  WriteAll(dir / "movie.avi", RandomBytes(25000, 3));
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  const int dpi = DpiOf(d.hwnd());
  if (const char* expected = std::getenv("MORSELA_EXPECTED_DPI")) {
    EXPECT_EQ(dpi, std::atoi(expected));
  }
  // The manifest asks for per monitor (v2) awareness, and the system's for
  // the systems before. Wine makes every program per monitor aware (v1),
  // so the declaration itself is what can be checked here.
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_TRUE(found);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                             SizeofResource(nullptr, found));
  EXPECT_NE(manifest.find(">PerMonitorV2, System</dpiAwareness>"), std::string::npos);
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);

  d.SetText(IDC_PIECE_SIZE, "10");
  d.Drop({dir / "movie.avi"});
  d.Click(IDC_SPLIT_FILE);
  ASSERT_EQ(d.Text(IDC_WORK_STATUS), "Done: 3 pieces, the restore program movie.exe and the restore page movie.restore.html written.");

  // The dialog's font: 8 points at this scale, an outline font.
  const TEXTMETRICW font = MetricsOf(d.hwnd());
  EXPECT_NEAR(font.tmHeight - font.tmInternalLeading, MulDiv(8, dpi, 72), 1);
  EXPECT_TRUE(font.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE));

  RECT client, window, work;
  GetClientRect(d.hwnd(), &client);
  GetWindowRect(d.hwnd(), &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_TRUE(Inside(window, work)) << window.right << "x" << window.bottom;
  std::vector<HWND> groups, controls;
  for (HWND child = GetWindow(d.hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const bool group = ClassOf(child) == "Button" && (Style(child) & BS_TYPEMASK) == BS_GROUPBOX;
    (group ? groups : controls).push_back(child);
  }
  ASSERT_EQ(groups.size(), 2u);
  ASSERT_EQ(controls.size(), 12u);
  for (HWND child : groups) EXPECT_TRUE(Inside(PlaceOf(child), client)) << TextOf(child);
  for (HWND child : controls) {
    const RECT place = PlaceOf(child);
    const int id = GetDlgCtrlID(child);
    EXPECT_TRUE(Inside(place, client)) << id;
    // Nothing overlaps, and a group holds each control whole or not at all.
    for (HWND other : controls) {
      RECT both;
      const RECT there = PlaceOf(other);
      if (other != child) {
        EXPECT_FALSE(IntersectRect(&both, &place, &there)) << id << " " << GetDlgCtrlID(other);
      }
    }
    for (HWND group : groups) {
      RECT both;
      const RECT frame = PlaceOf(group);
      EXPECT_TRUE(Inside(place, frame) || !IntersectRect(&both, &place, &frame)) << id << " " << TextOf(group);
    }
    // Text fits on one line, with a button's frame around it, and a line
    // of an edit field's or the list's text fits its height.
    const std::wstring text = Wide(TextOf(child));
    const SIZE extent = TextExtent(child, text);
    const int frame = ClassOf(child) == "Button" ? 2 * MetricForDpi(SM_CXEDGE, dpi) + 2 : 0;
    if (ClassOf(child) != "Edit") {
      EXPECT_LE(extent.cx + frame, place.right - place.left) << TextOf(child);
    }
    if (!text.empty() || ClassOf(child) == "Edit") {
      EXPECT_LE(MetricsOf(child).tmHeight, place.bottom - place.top) << id;
    }
  }
  for (HWND group : groups) {
    const RECT frame = PlaceOf(group);
    EXPECT_LE(TextExtent(group, Wide(TextOf(group))).cx, frame.right - frame.left) << TextOf(group);
  }
  // Every size for a limit fits its closed list, beside the arrow button.
  HWND presets = d.item(IDC_SIZE_PRESET);
  const RECT box = PlaceOf(presets);
  for (int i = 0; i < SendMessageW(presets, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t item[64] = {};
    SendMessageW(presets, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    EXPECT_LE(TextExtent(presets, item).cx + MetricForDpi(SM_CXVSCROLL, dpi) + 6, box.right - box.left) << i;
  }
  HWND list = d.item(IDC_PIECE_LIST);
  EXPECT_TRUE(ColumnsFit(list, "movie#.2"));

  // Moved to a monitor of twice the scale: the system lays the window out
  // again in the font of that scale (here only the list's font is set,
  // as the system sets it), then tells the window. Its icons and the
  // list's columns follow.
  const int twice = 2 * dpi;
  LOGFONTW larger{};
  GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)), sizeof larger, &larger);
  larger.lfHeight *= 2;
  HFONT font2 = CreateFontIndirectW(&larger);
  SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font2), TRUE);
  EXPECT_FALSE(ColumnsFit(list, "movie#.2"));
  RECT suggested = window;
  SendMessageW(d.hwnd(), WM_DPICHANGED, MAKEWPARAM(twice, twice), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_TRUE(ColumnsFit(list, "movie#.2"));
  EXPECT_EQ(IconWidth(SendMessageW(d.hwnd(), WM_GETICON, ICON_BIG, 0)), MetricForDpi(SM_CXICON, twice));
  EXPECT_EQ(IconWidth(SendMessageW(d.hwnd(), WM_GETICON, ICON_SMALL, 0)), MetricForDpi(SM_CXSMICON, twice));
  EXPECT_EQ(d.Close(), IDCANCEL);
  DeleteObject(font2);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LiveSplitterDialog, ALongSplitAnswersAtOnceAndStopsOnEscOrTheCloseBox) {
  // 3 GiB of holes into pieces of 100,000 KB: seconds of writing.
  const std::string big = dir / "big.iso";
  MakeSparse(big, 3LL << 30);
  for (const bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Esc");
    LiveDialog d;
    ASSERT_TRUE(d.hwnd());
    d.SetText(IDC_PIECE_SIZE, "100000");
    d.Drop({big});
    d.FocusAndPostClick(IDC_SPLIT_FILE);
    ASSERT_TRUE(WaitFor([&] { return d.Text(IDC_WORK_STATUS).rfind("Writing piece ", 0) == 0; }));
    // The window answers again and again as the split goes on, each time
    // far sooner than the seconds of the split (the bound leaves room for
    // a busy machine).
    for (int i = 0; i < 10; ++i, Sleep(50)) {
      DWORD_PTR answer = 0;
      EXPECT_TRUE(SendMessageTimeoutA(d.hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 500, &answer)) << i;
    }
    ASSERT_TRUE(d.Enabled(IDC_CANCEL_WORK)) << "the split ended too soon";
    if (closeBox) {
      PostMessageA(d.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
      EXPECT_EQ(d.Wait(), IDCANCEL);
    } else {
      // Esc as the keyboard sends it, to the control with the focus.
      EXPECT_EQ(d.Focus(), d.item(IDC_CANCEL_WORK));
      PostMessageA(d.Focus(), WM_KEYDOWN, VK_ESCAPE, 0);
      ASSERT_TRUE(WaitFor([&] { return !d.Enabled(IDC_CANCEL_WORK); }));
      d.Settle();
      EXPECT_EQ(d.Text(IDC_WORK_STATUS), "Split stopped: its files were removed.");
      EXPECT_EQ(d.Focus(), d.item(IDC_SPLIT_FILE));
      EXPECT_EQ(d.Close(), IDCANCEL);  // the window stayed open
    }
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"big.iso"});
  }
  EXPECT_TRUE(platform.messages.empty());
}

TEST(LiveSplitterFocus, ARefusedSplitGivesTheFocusBackToTheControlThatHadIt) {
  // regression: after the engine's message box the dialog put the focus on
  // the first control that would take it, the path field. The box is the
  // real one (no test platform here), owned by the dialog, answered from here.
  TempDir dir;
  WriteAll(dir / "small.bin", RandomBytes(999, 2));
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  d.Drop({dir / "small.bin"});
  d.FocusAndPostClick(IDC_SPLIT_FILE);
  HWND box = WaitForBoxOf(d.hwnd());
  ASSERT_TRUE(box);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return d.Enabled(IDC_SPLIT_FILE); }));
  // The command enables the controls before it gives the focus back.
  d.Settle();
  EXPECT_EQ(d.Focus(), d.item(IDC_SPLIT_FILE));
  EXPECT_EQ(d.Text(IDC_WORK_STATUS), "Split failed: nothing was written.");
  EXPECT_EQ(d.Close(), IDCANCEL);
}

TEST(FrameworkMessages, ADialogThatCannotBeCreatedIsReportedInFrench) {
  test::TestPlatform platform;
  ui::Dialog missing(999);  // no such template
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{"Impossible de créer la boîte de dialogue."});
}

}  // namespace
}  // namespace morsela
