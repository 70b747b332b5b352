// The real main dialog under the window system: built from its template,
// run on a thread of its own, and driven from the test's thread with the
// messages a user's actions send (text changes, button clicks, a file drop
// built here), then read back through the controls. Needs a display.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "resource.h"
#include "splitter_dlg.h"
#include "application.h"
#include "test_platform.h"

namespace morsela {
namespace {

using test::ListDir;
using test::RandomBytes;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

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
  std::string Text(int id) const {
    char buffer[2048] = "";
    GetDlgItemTextA(hwnd_, id, buffer, sizeof buffer);
    return buffer;
  }
  void SetText(int id, const std::string& text) { SetDlgItemTextA(hwnd_, id, text.c_str()); }
  void Click(int id) { SendMessageA(item(id), BM_CLICK, 0, 0); }
  // Clicks as the mouse does, without waiting for the command to end.
  void FocusAndPostClick(int id) {
    SendMessageA(hwnd_, WM_NEXTDLGCTL, WPARAM(item(id)), TRUE);
    PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(item(id)));
  }
  bool Enabled(int id) const { return IsWindowEnabled(item(id)) != 0; }

  // Drops `names` as the shell does: a DROPFILES block in global memory,
  // which the dialog releases with DragFinish.
  void Drop(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names) list += n + '\0';
    list += '\0';
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size());
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size());
    GlobalUnlock(memory);
    SendMessageA(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  }

  int ItemCount() const { return int(SendMessageA(item(IDC_PIECE_LIST), LVM_GETITEMCOUNT, 0, 0)); }
  std::string ItemText(int index) const {
    char buffer[512] = "";
    LVITEMA lvi{};
    lvi.iSubItem = 0;
    lvi.pszText = buffer;
    lvi.cchTextMax = sizeof buffer;
    SendMessageA(item(IDC_PIECE_LIST), LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&lvi));
    return buffer;
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

// A path as the lower-case path field shows it.
std::string Lower(std::string text) {
  CharLowerBuffA(text.data(), DWORD(text.size()));
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
  return CallWindowProcA(dialogProcedure, hwnd, message, wParam, lParam);
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
  char caption[256] = "";
  GetWindowTextA(d.hwnd(), caption, sizeof caption);
  EXPECT_EQ(std::string(caption).rfind("Morsela by Quellin Studio - ", 0), 0u) << caption;
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
  for (int id : {IDC_CHOOSE_FILE, IDC_SPLIT_FILE, IDC_CANCEL_SPLIT})
    EXPECT_EQ(Style(d.item(id)) & BS_TYPEMASK, BS_PUSHBUTTON) << id;  // no default button
  EXPECT_TRUE(Style(d.item(IDC_SPLIT_STATUS)) & SS_NOPREFIX);  // names may hold '&'

  // Tab order, from the control with the focus at start; the disabled
  // Cancel is skipped.
  EXPECT_EQ(d.Focus(), d.item(IDC_CHOOSE_FILE));
  HWND at = d.item(IDC_CHOOSE_FILE);
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) order.push_back(GetDlgCtrlID(at = GetNextDlgTabItem(d.hwnd(), at, FALSE)));
  EXPECT_EQ(order, (std::vector<int>{IDC_PIECE_SIZE, IDC_SPLIT_FILE, IDC_SOURCE_PATH, IDC_PIECE_LIST,
                                     IDC_CHOOSE_FILE}));

  RECT work, window;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(d.hwnd(), &window);
  EXPECT_EQ(window.left, (work.left + work.right) / 2 - (window.right - window.left) / 2);
  EXPECT_EQ(window.top, (work.top + work.bottom) / 2 - (window.bottom - window.top) / 2);

  const LRESULT big = SendMessageA(d.hwnd(), WM_GETICON, ICON_BIG, 0);
  EXPECT_NE(big, 0);
  EXPECT_EQ(SendMessageA(d.hwnd(), WM_GETICON, ICON_SMALL, 0), big);
  EXPECT_EQ(SendMessageA(d.hwnd(), WM_QUERYDRAGICON, 0, 0), big);

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

  // A name longer than the old 260-character buffers arrives whole.
  std::string longName = dir.path();
  while (longName.size() < 300) longName += "long-name-";
  d.Drop({longName + ".bin"});
  EXPECT_EQ(d.Text(IDC_SOURCE_PATH).size(), longName.size() + 4);
  EXPECT_EQ(d.ItemCount(), 3);  // no such file: the list keeps its names

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
      SetWindowLongPtrA(d.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountTextRequests)));
  d.Drop({big});
  // regression: the list's first paint with items measured every item's
  // text, which froze the window for seconds; it asks for what it shows.
  RedrawWindow(d.item(IDC_PIECE_LIST), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GT(textRequests.load(), 0);
  EXPECT_LT(textRequests.load(), 2000);
  SetWindowLongPtrA(d.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogProcedure));
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
            (std::vector<std::string>{"movie#.0", "movie#.1", "movie#.2", "movie.avi", "movie.exe"}));
  EXPECT_EQ(ReadAll(dir / "movie#.0") + ReadAll(dir / "movie#.1") + ReadAll(dir / "movie#.2"),
            std::string("movie.avi", 10) + source);
  EXPECT_EQ(ReadAll(dir / "movie.exe").compare(0, platform.image.size(), platform.image), 0);
  EXPECT_EQ(d.Text(IDC_SPLIT_STATUS), "Done: 3 pieces and the restore program movie.exe written.");
  EXPECT_EQ(d.Close(), IDCANCEL);
}

TEST_F(LiveSplitterDialog, NamesOutsideTheOldCodePagesSplit) {
  // The program's code page is UTF-8, so any name the system holds works.
  const std::string name = "\xC3\x89t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.txt";  // "Été 日本.txt"
  const std::string lowered = "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC";     // "été 日本"
  const std::string source = RandomBytes(15000, 4);
  WriteAll(dir / name, source);
  LiveDialog d;
  ASSERT_TRUE(d.hwnd());
  d.SetText(IDC_PIECE_SIZE, "10");
  d.Drop({dir / name});
  EXPECT_EQ(d.Items(), (std::vector<std::string>{lowered + "#.0", lowered + "#.1"}));
  d.Click(IDC_SPLIT_FILE);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(ReadAll(dir / (lowered + "#.0")).substr(0, lowered.size() + 5), lowered + ".txt" + '\0');
  EXPECT_EQ(ReadAll(dir / (lowered + ".exe")).compare(0, platform.image.size(), platform.image), 0);
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
    ASSERT_TRUE(WaitFor([&] { return d.Text(IDC_SPLIT_STATUS).rfind("Writing piece ", 0) == 0; }));
    // The window answers within 100 ms, again and again, as the split goes on.
    for (int i = 0; i < 10; ++i, Sleep(50)) {
      DWORD_PTR answer = 0;
      EXPECT_TRUE(SendMessageTimeoutA(d.hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 100, &answer)) << i;
    }
    ASSERT_TRUE(d.Enabled(IDC_CANCEL_SPLIT)) << "the split ended too soon";
    if (closeBox) {
      PostMessageA(d.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
      EXPECT_EQ(d.Wait(), IDCANCEL);
    } else {
      // Esc as the keyboard sends it, to the control with the focus.
      EXPECT_EQ(d.Focus(), d.item(IDC_CANCEL_SPLIT));
      PostMessageA(d.Focus(), WM_KEYDOWN, VK_ESCAPE, 0);
      ASSERT_TRUE(WaitFor([&] { return !d.Enabled(IDC_CANCEL_SPLIT); }));
      EXPECT_EQ(d.Text(IDC_SPLIT_STATUS), "Split stopped: its files were removed.");
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
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) && GetWindow(box, GW_OWNER) != d.hwnd()) {
    }
    return box != nullptr;
  }));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return d.Enabled(IDC_SPLIT_FILE); }));
  EXPECT_EQ(d.Focus(), d.item(IDC_SPLIT_FILE));
  EXPECT_EQ(d.Text(IDC_SPLIT_STATUS), "Split failed: nothing was written.");
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
