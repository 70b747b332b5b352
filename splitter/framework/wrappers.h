// Thin wrappers over the system services the dialog handlers use: the
// directory search with lengths, the open-file dialog, the file drop and
// full path names, message boxes, the clock and the taskbar button's
// progress, the icons and minimised painting.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "dialog.h"
#include "window_types.h"

namespace morsela::ui {

// Shows a fixed text the program's way: a modal box owned by the dialog
// that is open, with OK, the exclamation icon and the application's name.
void ShowMessageBox(const std::string& text);
// Asks `text` in a modal box with Yes and No, No the default; true for Yes.
bool AskYesNo(const std::string& text);

// A directory search for one path. FindFile starts it; FindNext steps to
// the first (then the next) entry, whose length GetLength gives in full.
class FileFind {
 public:
  bool FindFile(const std::string& path);
  bool FindNext();
  std::uint64_t GetLength() const;
  bool IsDirectory() const;

 private:
  std::uint64_t length_ = 0;
  bool found_ = false, stepped_ = false, directory_ = false;
};

// The system's open-file dialog, or its save dialog.
class OpenFileDialog {
 public:
  // `filter` is a list of "description|pattern|" pairs ended by "|".
  explicit OpenFileDialog(std::string filter);
  // True when the user chose a name (existing or not); false when cancelled
  // or the dialog failed. `owner` is disabled while it is open.
  bool DoModal(Dialog& owner);
  const std::string& GetPathName() const { return path_; }

 protected:
  std::string filter_;
  std::string path_;
  std::string title_;
  std::string folder_;
  bool save_ = false;
};

// The save dialog: the name preset, the title given; a name of a file that
// exists is taken only after the system asked whether to replace it.
class SaveFileDialog : public OpenFileDialog {
 public:
  SaveFileDialog(std::string filter, std::string name, std::string title) : OpenFileDialog(std::move(filter)) {
    path_ = std::move(name);
    title_ = std::move(title);
    save_ = true;
  }
  // The folder it opens in, where the system would otherwise open it in
  // the last one used; empty leaves that to the system.
  void StartIn(std::string folder) { folder_ = std::move(folder); }
};

// The user's Documents folder; empty where the system names none.
std::string DocumentsFolder();

// The full name of dropped item `index` of the drop `drop` (WM_DROPFILES's
// wParam), however long; empty when there is no such item.
std::string DroppedFileName(WParam drop, unsigned index);
// Releases the drop.
void FinishDrop(WParam drop);

// A clock in milliseconds for pacing what is drawn; only differences count.
std::uint64_t Milliseconds();

// The progress shown on the window's taskbar button, where the system
// offers it; elsewhere it does nothing. The button's progress goes with the
// object.
class TaskbarProgress {
 public:
  explicit TaskbarProgress(Dialog& window);
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  void Set(std::uint64_t done, std::uint64_t total);

 private:
  Dialog& window_;
  void* list_ = nullptr;  // the system's taskbar interface; nullptr without one
  bool com_ = false;      // COM was started here, for this thread
};

// While the window's program cleans up before the session may end, the
// system shows `reason` beside it on its screen of programs that hold the
// session up; AllowSessionEnd takes the reason back.
void BlockSessionEnd(Dialog& window, const std::string& reason);
void AllowSessionEnd(Dialog& window);

// A window's two icons: the big one (Alt+Tab, the taskbar) and the small
// one (the title bar).
enum class IconKind { kBig, kSmall };

// The system's size of an icon of `kind` at `dpi`, in pixels, square.
int IconSize(IconKind kind, int dpi);

// The icon group `id` of the program's resources at `size` pixels square:
// the group's image of that size, or the nearest one scaled. Destroyed with
// the object; empty (no icon) when made by default or when loading failed.
class ProgramIcon {
 public:
  ProgramIcon() = default;
  ProgramIcon(int id, int size);
  ~ProgramIcon();
  ProgramIcon(ProgramIcon&& other) noexcept : icon_(other.icon_) { other.icon_ = nullptr; }
  // Takes `other`'s icon; `other` keeps this one's until it goes.
  ProgramIcon& operator=(ProgramIcon&& other) noexcept {
    std::swap(icon_, other.icon_);
    return *this;
  }
  ProgramIcon(const ProgramIcon&) = delete;
  ProgramIcon& operator=(const ProgramIcon&) = delete;

  Icon get() const { return icon_; }

 private:
  Icon icon_ = nullptr;
};

// `path` as a drop onto a window gives it: made absolute against the
// current folder, and with the long names of the folders and the file for
// short (8.3) ones. What the system cannot resolve stays as it is.
std::string FullPathName(const std::string& path);

// Painting of a window's client area between BeginPaint and EndPaint.
class PaintContext {
 public:
  explicit PaintContext(Dialog& window);
  ~PaintContext();
  PaintContext(const PaintContext&) = delete;
  PaintContext& operator=(const PaintContext&) = delete;

  WParam handle() const { return WParam(dc_); }
  void DrawIcon(int x, int y, Icon icon);

 private:
  Dialog& window_;
  void* dc_;
  alignas(8) unsigned char paint_[80];  // the system's paint record
};

}  // namespace morsela::ui
