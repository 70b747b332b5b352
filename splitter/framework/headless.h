// The headless back end's window, for tests of dialogs without a window
// system: controls held in memory, behaving as the real ones do where the
// handlers can tell (an edit field sends EN_CHANGE when its text is set,
// even by the program; a lower-case field lowers the ASCII letters it is
// given, where the system lowers every script; a disabled control takes
// no click or choice; a drop-down list's text is its selected item's).
// DoModal builds the window from a registered template, runs WM_INITDIALOG,
// then hands it to the "user", a function of the test, and closes it with
// IDCANCEL if the user did not.
// Long work inside a handler meets a second user each time it lets the
// window handle pending messages; time passes only when a test moves the
// clock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "application.h"
#include "dialog.h"

namespace morsela::ui::headless {

enum class Kind { kButton, kEdit, kList, kText, kProgress, kDropDown };
enum Style : unsigned { kNumber = 1, kReadOnly = 2, kLowerCase = 4, kDisabled = 8 };

struct ControlLayout {
  int id;
  Kind kind;
  unsigned styles = 0;
};

struct Control {
  ControlLayout layout;
  std::string text;
  bool enabled = true;
  std::uint64_t itemCount = 0;  // lists
  std::string widestItem;       // lists: the text their columns fit
  int position = 0;             // progress bars, 0 to kProgressRange
  std::vector<std::string> choices;  // drop-down lists: their items
  int choice = -1;                   // drop-down lists: the selected item, -1 for none
};

// What WM_DROPFILES's wParam points to in this back end.
struct Drop {
  std::vector<std::string> names;
  bool finished = false;
};

// What an Icon of this back end points to: icon group `id` at `size` pixels.
struct IconRecord {
  int id;
  int size;
};

// What WM_NOTIFY's lParam points to when a list asks for an item's text.
struct ItemRequest {
  NotifyHeader header;
  std::uint64_t index;
  std::string text;
};

class Window {
 public:
  Window(Dialog& dialog, const std::vector<ControlLayout>& controls);

  Control& control(int id);
  const std::string& text(int id) { return control(id).text; }
  bool enabled(int id) { return control(id).enabled; }
  // Item `index` of list `id`, as the list would ask its parent for it.
  std::string ItemText(int id, std::uint64_t index);
  std::vector<std::string> Items(int id);

  // What the user does.
  void Click(int id);
  // The field's whole text replaced by the user (one change).
  void Edit(int id, const std::string& text);
  // Item `index` of a drop-down list chosen by the user (CBN_SELCHANGE
  // when the selection changes).
  void Select(int id, int index);
  // Drops `names` onto the window; the drop is released by the dialog.
  Drop DropFiles(std::vector<std::string> names);
  void PressEnter() { Command(kIdOk); }
  void PressEsc() { Command(kIdCancel); }
  // The close box (or Alt+F4).
  void PressClose() {
    if (!ended) dialog.WindowProc(kWmClose, 0, 0);
  }

  Dialog& dialog;
  std::map<int, Control> controls;
  int focus = 0;  // the control with the keyboard focus, 0 for none
  bool ended = false;
  int result = 0;
  bool acceptsFiles = false;
  bool iconic = false;
  int dpi = kDefaultDpi;  // the scale the system gives the window
  Rect client{0, 0, 500, 400};
  Icon bigIcon = nullptr, smallIcon = nullptr;
  int taskbar = -1;  // the taskbar button's progress position; -1 for none
  // What the window did that tests check the order of: "disable 1000",
  // "enable 1000", "progress 1006 2500" (bar 1006 at 2500 of
  // kProgressRange), "erase background", "icon 2,3".
  std::vector<std::string> log;

 private:
  void Command(int id) {
    if (!ended) dialog.WindowProc(kWmCommand, MakeCommand(id, kBnClicked), 0);
  }
};

// Registers the controls of template `templateId`, in tab order.
void RegisterTemplate(int templateId, std::vector<ControlLayout> controls);

// The user of the next dialogs run: called with the window once it is set
// up; nullptr closes each window at once.
void SetUser(std::function<void(Window&)> user);

// What the user does while long work lets the window handle pending
// messages: called each time with the window; nullptr for nothing.
void SetUserWhileBusy(std::function<void(Window&)> user);

// The command line ProgramCommandLine() gives from now on.
void SetCommandLine(CommandLine line);

// Moves the clock that Milliseconds() reads.
void AdvanceClock(std::uint64_t milliseconds);

// The answer of the next open-file dialog: a path chosen, or nullopt when
// the user cancels. Without an answer the dialog is cancelled.
void AnswerOpenFile(std::optional<std::string> path);
// Open-file dialogs shown so far.
int OpenFileDialogsShown();

// The same for the save dialog; the name each one showed preset, its
// title and the folder it started in, so far.
void AnswerSaveFile(std::optional<std::string> path);
struct SaveDialogShown {
  std::string name, title, folder;
};
std::vector<SaveDialogShown> SaveFileDialogsShown();

// The window of the dialog running now; nullptr when none is.
Window* Current();

// Forgets every user, answer, command line and count of dialogs shown, so
// that each test starts from nothing whatever ran before it in the process.
void Reset();

}  // namespace morsela::ui::headless
