#include "work_runner.h"

#include "resource.h"
#include "text/text.h"
#include "wrappers.h"

namespace morsela {

namespace {

// Runs `action` when the scope ends, however it ends.
template <typename F>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(F action) : action_(action) {}
  ~AtScopeEnd() { action_(); }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;

 private:
  F action_;
};

}  // namespace

WorkRunner::WorkRunner(ui::Dialog& dialog, std::function<void(bool idle)> enableControls)
    : dialog_(dialog), enableControls_(std::move(enableControls)) {}

WorkRunner::~WorkRunner() = default;

bool WorkRunner::Run(const WorkLook& look, const std::function<void()>& work,
                     const std::function<void()>& showOutcome) {
  // Disabling the control with the focus takes the focus away, and a
  // message box of the work leaves it wherever the system puts it.
  const int focus = dialog_.GetFocusedItem();
  look_ = look;
  {
    auto setRunning = [this](bool running) {
      running_ = running;
      if (running) stop_ = Stop::kNone;
      enableControls_(!running);
      dialog_.EnableItem(IDC_CANCEL_WORK, running);
      // The keys go to Cancel meanwhile; Esc reaches the window either way.
      if (running && dialog_.GetFocusedItem() == 0) dialog_.FocusItem(IDC_CANCEL_WORK);
      dialog_.AcceptFiles(!running);
    };
    setRunning(true);
    AtScopeEnd idle([&] { setRunning(false); });
    ui::TaskbarProgress taskbar(dialog_);
    taskbar_ = &taskbar;
    AtScopeEnd forget([this] { taskbar_ = nullptr; });
    work();
  }
  if (stop_ == Stop::kEndSession) ui::AllowSessionEnd(dialog_);
  if (stop_ == Stop::kCloseWindow || stop_ == Stop::kEndSession) {
    dialog_.EndDialog(ui::kIdCancel);
    return false;
  }
  showOutcome();
  if (focus != 0 && dialog_.GetFocusedItem() != focus) dialog_.FocusItem(focus);
  return true;
}

void WorkRunner::StopKeepingWindow() {
  if (running_ && stop_ == Stop::kNone) stop_ = Stop::kKeepWindow;
}

void WorkRunner::StopClosingWindow() {
  if (running_ && stop_ != Stop::kEndSession) stop_ = Stop::kCloseWindow;
}

void WorkRunner::StopForSessionEnd() {
  if (!running_) return;
  stop_ = Stop::kEndSession;
  ui::BlockSessionEnd(dialog_, look_.stopping);
}

void WorkRunner::Begin(const std::string&, std::uint64_t total) {
  pieceShown_ = std::uint64_t(-1);
  lastDrawn_ = ui::Milliseconds();
  Draw({0, total, 0, look_.pieces});
}

bool WorkRunner::Advance(const ProgressReport& report) {
  // At most about 20 drawings a second, and always the last block's, so
  // that a finished bar is full.
  const std::uint64_t now = ui::Milliseconds();
  if (now - lastDrawn_ >= kProgressDrawInterval || report.done >= report.total) {
    Draw(report);
    lastDrawn_ = now;
  }
  dialog_.HandlePendingMessages();
  return stop_ == Stop::kNone;
}

void WorkRunner::Draw(const ProgressReport& report) {
  dialog_.SetItemProgress(IDC_WORK_PROGRESS, report.done, report.total);
  barFilled_ = true;
  if (taskbar_) taskbar_->Set(report.done, report.total);
  // Setting the text redraws the line: only when the piece changes.
  if (report.piece != pieceShown_) {
    pieceShown_ = report.piece;
    SetStatus(look_.pieceWord + FormatDecimal(report.piece + 1) + " of " + FormatDecimal(report.pieces) + "...");
  }
}

void WorkRunner::SetStatus(const std::string& text) {
  if (text == status_) return;
  status_ = text;
  dialog_.SetItemText(IDC_WORK_STATUS, text);
}

void WorkRunner::SetBar(bool full) {
  dialog_.SetItemProgress(IDC_WORK_PROGRESS, full ? 1 : 0, full ? 1 : 0);
  barFilled_ = full;
}

void WorkRunner::ClearOutcome() {
  SetStatus(std::string());
  if (barFilled_) SetBar(false);
}

}  // namespace morsela
