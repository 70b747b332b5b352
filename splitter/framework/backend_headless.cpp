// The headless back end of the framework (see headless.h).
#include <cctype>
#include <deque>
#include <filesystem>
#include <stdexcept>

#include "application.h"
#include "dialog.h"
#include "headless.h"
#include "wrappers.h"

namespace morsela::ui {

namespace headless {
namespace {

std::map<int, std::vector<ControlLayout>>& Templates() {
  static std::map<int, std::vector<ControlLayout>> templates;
  return templates;
}
std::function<void(Window&)> user;
std::function<void(Window&)> userWhileBusy;
std::uint64_t clock = 0;
std::deque<std::optional<std::string>> openFileAnswers, saveFileAnswers;
int openFileDialogs = 0;
std::vector<SaveDialogShown> saveDialogs;
std::vector<Window*> windows;  // the running dialogs, innermost last
CommandLine commandLine;

}  // namespace

Window::Window(Dialog& d, const std::vector<ControlLayout>& layouts) : dialog(d) {
  for (const ControlLayout& layout : layouts) {
    controls[layout.id].layout = layout;
    controls[layout.id].enabled = !(layout.styles & kDisabled);
  }
  for (const ControlLayout& layout : layouts)
    if ((layout.kind == Kind::kButton || layout.kind == Kind::kEdit) && !(layout.styles & kDisabled)) {
      focus = layout.id;
      break;
    }
}

Control& Window::control(int id) {
  auto it = controls.find(id);
  if (it == controls.end()) throw std::logic_error("no control " + std::to_string(id));
  return it->second;
}

std::string Window::ItemText(int id, std::uint64_t index) {
  ItemRequest request{{nullptr, std::uintptr_t(id), kLvnGetDispInfo}, index, {}};
  dialog.WindowProc(kWmNotify, WParam(id), reinterpret_cast<LParam>(&request));
  return request.text;
}

std::vector<std::string> Window::Items(int id) {
  std::vector<std::string> items;
  for (std::uint64_t i = 0; i < control(id).itemCount; ++i) items.push_back(ItemText(id, i));
  return items;
}

void Window::Click(int id) {
  Control& c = control(id);
  if (!c.enabled || ended) return;
  focus = id;
  dialog.WindowProc(kWmCommand, MakeCommand(id, kBnClicked), 0);
}

void Window::Edit(int id, const std::string& text) {
  Control& c = control(id);
  if (!c.enabled || ended || (c.layout.styles & kReadOnly)) return;
  focus = id;
  dialog.SetItemText(id, text);
}

void Window::Select(int id, int index) {
  Control& c = control(id);
  if (!c.enabled || ended || index < 0 || std::size_t(index) >= c.choices.size()) return;
  focus = id;
  if (c.choice == index) return;
  dialog.SetItemChoice(id, index);
  dialog.WindowProc(kWmCommand, MakeCommand(id, kCbnSelChange), 0);
}

Drop Window::DropFiles(std::vector<std::string> names) {
  Drop drop{std::move(names), false};
  if (acceptsFiles && !ended) dialog.WindowProc(kWmDropFiles, reinterpret_cast<WParam>(&drop), 0);
  return drop;
}

void RegisterTemplate(int templateId, std::vector<ControlLayout> controls) {
  Templates()[templateId] = std::move(controls);
}

void SetUser(std::function<void(Window&)> u) { user = std::move(u); }

void SetUserWhileBusy(std::function<void(Window&)> u) { userWhileBusy = std::move(u); }

void SetCommandLine(CommandLine line) { commandLine = std::move(line); }

void AdvanceClock(std::uint64_t milliseconds) { clock += milliseconds; }

void AnswerOpenFile(std::optional<std::string> path) { openFileAnswers.push_back(std::move(path)); }

int OpenFileDialogsShown() { return openFileDialogs; }

void AnswerSaveFile(std::optional<std::string> path) { saveFileAnswers.push_back(std::move(path)); }

std::vector<SaveDialogShown> SaveFileDialogsShown() { return saveDialogs; }

Window* Current() { return windows.empty() ? nullptr : windows.back(); }

void Reset() {
  user = nullptr;
  userWhileBusy = nullptr;
  openFileAnswers.clear();
  saveFileAnswers.clear();
  openFileDialogs = 0;
  saveDialogs.clear();
  commandLine = CommandLine();
}

}  // namespace headless

using headless::Window;

namespace {
Window& W(const Dialog& dialog) { return *static_cast<Window*>(dialog.window()); }
}  // namespace

int Dialog::DoModal() {
  auto found = headless::Templates().find(templateId_);
  if (found == headless::Templates().end()) return -1;
  Window window(*this, found->second);
  window_ = &window;
  headless::windows.push_back(&window);
  const Result focus = WindowProc(kWmInitDialog, 0, 0);
  if (!focus) window.focus = 0;
  if (headless::user && !window.ended) headless::user(window);
  if (!window.ended) WindowProc(kWmCommand, MakeCommand(kIdCancel, kBnClicked), 0);
  headless::windows.pop_back();
  window_ = nullptr;
  return window.result;
}

void Dialog::EndDialog(int result) {
  W(*this).ended = true;
  W(*this).result = result;
}

Result Dialog::DefaultWindowProc(Message message, WParam wParam, LParam lParam) {
  Window& window = W(*this);
  if (message == kWmSetIcon) {
    Icon& slot = wParam == kIconBig ? window.bigIcon : window.smallIcon;
    slot = reinterpret_cast<Icon>(lParam);
  }
  if (message == kWmIconEraseBkgnd) window.log.push_back("erase background");
  if (message == kWmPaint) window.log.push_back("paint");
  // A dialog answers its close box as it answers Esc.
  if (message == kWmClose) WindowProc(kWmCommand, MakeCommand(kIdCancel, kBnClicked), 0);
  // And lets the session end.
  if (message == kWmQueryEndSession) return 1;
  return 0;
}

int Dialog::SystemDpi() const { return W(*this).dpi; }

std::string Dialog::GetItemText(int id) const { return W(*this).control(id).text; }

void Dialog::SetItemText(int id, const std::string& text) {
  headless::Control& c = W(*this).control(id);
  c.text = text;
  if (c.layout.styles & headless::kLowerCase)
    for (char& ch : c.text) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  // A single-line edit field tells its parent of every change of its text.
  if (c.layout.kind == headless::Kind::kEdit) SendToWindow(kWmCommand, MakeCommand(id, kEnChange), 0);
}

void Dialog::SetItemReadOnly(int id, bool readOnly) {
  unsigned& styles = W(*this).control(id).layout.styles;
  styles = readOnly ? styles | headless::kReadOnly : styles & ~unsigned(headless::kReadOnly);
}

void Dialog::EnableItem(int id, bool enable) {
  Window& window = W(*this);
  window.control(id).enabled = enable;
  window.log.push_back((enable ? "enable " : "disable ") + std::to_string(id));
  // As in the real window system, a control disabled with the focus loses it.
  if (!enable && window.focus == id) window.focus = 0;
}

int Dialog::GetFocusedItem() const { return W(*this).focus; }

void Dialog::FocusItem(int id) {
  if (W(*this).control(id).enabled) W(*this).focus = id;
}

void Dialog::ResetList(int id, std::uint64_t count, const std::string& widest) {
  W(*this).control(id).itemCount = count;
  FitListColumns(id, count ? widest : std::string());
}

void Dialog::FitListColumns(int id, const std::string& widest) { W(*this).control(id).widestItem = widest; }

void Dialog::SetItemProgress(int id, std::uint64_t done, std::uint64_t total) {
  const int position = ProgressPosition(done, total);
  W(*this).control(id).position = position;
  W(*this).log.push_back("progress " + std::to_string(id) + " " + std::to_string(position));
}

void Dialog::SetItemChoices(int id, const std::vector<std::string>& items) {
  headless::Control& c = W(*this).control(id);
  c.choices = items;
  c.choice = -1;
  c.text.clear();
}

int Dialog::GetItemChoice(int id) const { return W(*this).control(id).choice; }

void Dialog::SetItemChoice(int id, int index) {
  headless::Control& c = W(*this).control(id);
  const bool valid = index >= 0 && std::size_t(index) < c.choices.size();
  c.choice = valid ? index : -1;
  c.text = valid ? c.choices[std::size_t(index)] : std::string();
}

void Dialog::HandlePendingMessages() {
  if (headless::userWhileBusy) headless::userWhileBusy(W(*this));
}

Result Dialog::SendToWindow(Message message, WParam wParam, LParam lParam) {
  return WindowProc(message, wParam, lParam);
}

bool Dialog::IsIconic() const { return W(*this).iconic; }

Rect Dialog::GetClientRect() const { return W(*this).client; }

void Dialog::AcceptFiles(bool accept) { W(*this).acceptsFiles = accept; }

ListTextRequest::ListTextRequest(LParam lParam) : lParam_(lParam) {
  index_ = reinterpret_cast<headless::ItemRequest*>(lParam)->index;
}

void ListTextRequest::SetText(const std::string& text) {
  reinterpret_cast<headless::ItemRequest*>(lParam_)->text = text;
}

OpenFileDialog::OpenFileDialog(std::string filter) : filter_(std::move(filter)) {}

bool OpenFileDialog::DoModal(Dialog&) {
  if (save_) headless::saveDialogs.push_back({path_, title_, folder_});
  else ++headless::openFileDialogs;
  auto& answers = save_ ? headless::saveFileAnswers : headless::openFileAnswers;
  if (answers.empty()) return false;
  std::optional<std::string> answer = std::move(answers.front());
  answers.pop_front();
  if (!answer) return false;
  path_ = *answer;
  return true;
}

// The headless user's Documents: a name the tests can recognise.
std::string DocumentsFolder() { return "Documents"; }

std::string DroppedFileName(WParam drop, unsigned index) {
  const auto* d = reinterpret_cast<const headless::Drop*>(drop);
  return index < d->names.size() ? d->names[index] : std::string();
}

void FinishDrop(WParam drop) { reinterpret_cast<headless::Drop*>(drop)->finished = true; }

std::uint64_t Milliseconds() { return headless::clock; }

TaskbarProgress::TaskbarProgress(Dialog& window) : window_(window) {}

TaskbarProgress::~TaskbarProgress() { W(window_).taskbar = -1; }

void TaskbarProgress::Set(std::uint64_t done, std::uint64_t total) {
  W(window_).taskbar = ProgressPosition(done, total);
}

void BlockSessionEnd(Dialog& window, const std::string& reason) {
  W(window).log.push_back("block session end: " + reason);
}

void AllowSessionEnd(Dialog& window) { W(window).log.push_back("allow session end"); }

std::string FullPathName(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(path), error);
  return path.empty() || error ? path : full.u8string();
}

// Windows rounds the scaled size to the nearest pixel.
int IconSize(IconKind kind, int dpi) { return ((kind == IconKind::kBig ? 32 : 16) * dpi + 48) / 96; }

ProgramIcon::ProgramIcon(int id, int size) : icon_(new headless::IconRecord{id, size}) {}

ProgramIcon::~ProgramIcon() { delete static_cast<headless::IconRecord*>(icon_); }

PaintContext::PaintContext(Dialog& window) : window_(window), dc_(&paint_) {}

PaintContext::~PaintContext() {}

void PaintContext::DrawIcon(int x, int y, Icon) {
  W(window_).log.push_back("icon " + std::to_string(x) + "," + std::to_string(y));
}

void EnableCommonControls() {}

CommandLine ProgramCommandLine() { return headless::commandLine; }

int RunApplication() {
  Application* app = Application::Current();
  return app && app->InitInstance() ? 1 : 0;
}

}  // namespace morsela::ui
