// A modal dialog built from a template, with a static message map: a table
// of {message, notification, control, handler} entries that is read top to
// bottom, then the base class's table, then the window system's default.
// Handlers read and write the controls directly by their identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "window_types.h"

namespace morsela::ui {

class Dialog;
class ListTextRequest;

using Thunk = Result (*)(Dialog& dialog, LParam lParam);

struct MessageEntry {
  Message message;
  unsigned code;  // WM_COMMAND and WM_NOTIFY only
  int control;    // WM_COMMAND and WM_NOTIFY only
  Thunk handler;
};

struct MessageMap {
  const MessageMap* base;
  const MessageEntry* entries;
  std::size_t count;
};

namespace detail {
template <typename T>
struct MemberOf;
template <typename C, typename R, typename... A>
struct MemberOf<R (C::*)(A...)> {
  using Class = C;
};
}  // namespace detail

// The thunk of a message map entry for `Handler`, a member function of the
// dialog class taking nothing, or a ListTextRequest& (for a list view's
// request of an item text), and returning nothing, a bool or a Result.
template <auto Handler>
Result Invoke(Dialog& dialog, LParam lParam);

// Centres `window` in `work` with divisions truncating toward zero, then
// keeps it inside `work`: a left edge before the work area's goes onto it,
// else a right edge beyond the work area's goes onto that one; likewise top
// and bottom. The size does not change.
Rect CenterInWorkArea(const Rect& window, const Rect& work);

// A progress bar's scale: positions run from 0 to kProgressRange.
constexpr int kProgressRange = 10000;
// The position that shows `done` of `total`, rounded down, so that only the
// whole fills the bar; a total of 0 shows nothing.
int ProgressPosition(std::uint64_t done, std::uint64_t total);

class Dialog {
 public:
  // `templateId` names the dialog template among the program's resources;
  // `parent` owns the window, nullptr for none.
  explicit Dialog(int templateId, Dialog* parent = nullptr);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Creates the window, runs it until EndDialog and returns EndDialog's
  // result; -1 when the window could not be created (after a message).
  int DoModal();
  void EndDialog(int result);

  // The window procedure: the message map, then the default handling.
  virtual Result WindowProc(Message message, WParam wParam, LParam lParam);

  // Control operations by identifier. Setting an edit field's text makes it
  // send EN_CHANGE before SetItemText returns.
  std::string GetItemText(int id) const;
  void SetItemText(int id, const std::string& text);
  void EnableItem(int id, bool enable);
  // An edit field that shows its text without taking the user's.
  void SetItemReadOnly(int id, bool readOnly);
  // The control with the keyboard focus, 0 for none; FocusItem moves it.
  int GetFocusedItem() const;
  void FocusItem(int id);
  // A list view with the LVS_OWNERDATA and LVS_LIST styles: removes every
  // item and gives it `count` items, whose texts it asks for when it shows
  // them, in columns wide enough for `widest`, the widest of those texts.
  void ResetList(int id, std::uint64_t count, const std::string& widest);
  // Makes the columns of such a list wide enough for `widest` in the list's
  // font now, after the font changed with the scale.
  void FitListColumns(int id, const std::string& widest);
  // A progress bar: shows `done` of `total`.
  void SetItemProgress(int id, std::uint64_t done, std::uint64_t total);
  // A drop-down list: its items replaced by `items`, in that order, none
  // selected; the selected item's index, -1 for none; the selection set by
  // the program, which sends no CBN_SELCHANGE (the user's choice does).
  void SetItemChoices(int id, const std::vector<std::string>& items);
  int GetItemChoice(int id) const;
  void SetItemChoice(int id, int index);

  // Lets the window system deliver what is pending for the window's thread
  // (painting, moving, keys and clicks, the system's own questions), then
  // returns: long work that runs inside a handler calls it after every
  // block, so that the window stays responsive. It looks at the queue at
  // most every 10 ms, so calling it often costs next to nothing.
  void HandlePendingMessages();

  Result SendToWindow(Message message, WParam wParam, LParam lParam);
  // The window's scale in dots per inch (kDefaultDpi for 100%), as the
  // system gave it when the window was made and with each WM_DPICHANGED
  // since; kDefaultDpi before the window exists.
  int Dpi() const { return dpi_; }
  bool IsIconic() const;
  Rect GetClientRect() const;
  void AcceptFiles(bool accept);

  // The system's native window, for the back end: nullptr before DoModal.
  void* window() const { return window_; }

 protected:
  virtual const MessageMap* GetMessageMap() const;
  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();

  // The default handling of the message being handled.
  Result Default();

  // The map of this class, the base of a derived class's map.
  static const MessageMap kMessageMap;

 private:
  friend struct DialogAccess;
  static const MessageEntry kMessageEntries[];

  // True when a map entry took the message; its result in `result`.
  bool Dispatch(Message message, WParam wParam, LParam lParam, Result& result);
  Result DefaultWindowProc(Message message, WParam wParam, LParam lParam);
  // The scale the system gives the new window (the back end's).
  int SystemDpi() const;

  int templateId_;
  Dialog* parent_;
  void* window_ = nullptr;
  void* backend_ = nullptr;  // the back end's state of the open window
  int dpi_ = kDefaultDpi;
  Message current_ = 0;
  WParam currentW_ = 0;
  LParam currentL_ = 0;
};

// What a list view asks for when it shows an item of an owner-data list.
class ListTextRequest {
 public:
  explicit ListTextRequest(LParam lParam);
  std::uint64_t index() const { return index_; }
  // Gives the list the item's text.
  void SetText(const std::string& text);

 private:
  LParam lParam_;
  std::uint64_t index_ = 0;
};

template <auto Handler>
Result Invoke(Dialog& dialog, LParam lParam) {
  using Class = typename detail::MemberOf<decltype(Handler)>::Class;
  Class& self = static_cast<Class&>(dialog);
  if constexpr (std::is_invocable_v<decltype(Handler), Class&, ListTextRequest&>) {
    ListTextRequest request(lParam);
    (self.*Handler)(request);
    return 0;
  } else if constexpr (std::is_void_v<std::invoke_result_t<decltype(Handler), Class&>>) {
    (void)lParam;
    (self.*Handler)();
    return 0;
  } else {
    (void)lParam;
    return Result((self.*Handler)());
  }
}

}  // namespace morsela::ui
