// Long work in the splitter's window, a split or a restore alike: it runs
// inside its command's handler, on the window's own thread. The work
// reports each block here; the runner draws the progress now and then (the
// bar, the status line, the taskbar button), lets the window handle what is
// pending, so that it stays responsive, and tells the work to stop when the
// user asks (Cancel, Esc, the close box) or the session ends. The status
// line and the bar are the runner's between runs too: they show how the
// last work ended until a new choice clears them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dialog.h"
#include "pipeline/progress.h"

namespace morsela {

namespace ui {
class TaskbarProgress;
}

// The shortest time between two drawings of the progress.
constexpr std::uint64_t kProgressDrawInterval = 50;  // milliseconds

// What a run shows of itself.
struct WorkLook {
  // The status line's word for the piece at hand: "Writing piece ",
  // "Reading piece ".
  const char* pieceWord = "";
  // What the system shows while the session's end waits for the work to stop.
  const char* stopping = "";
  // The count of pieces the first line of progress names, before the work
  // reports its own.
  std::uint64_t pieces = 0;
};

class WorkRunner : private Progress {
 public:
  // `enableControls(idle)` enables the controls that start or change work
  // when idle, and disables them while work runs.
  WorkRunner(ui::Dialog& dialog, std::function<void(bool idle)> enableControls);
  ~WorkRunner() override;

  bool Running() const { return running_; }
  // The reports of the run under way.
  Progress& progress() { return *this; }

  // Runs `work` with its progress shown and the stops heard; then
  // `showOutcome`, and the focus goes back to the control that had it.
  // False when the window was asked to close meanwhile: it has been ended,
  // and nothing is shown.
  bool Run(const WorkLook& look, const std::function<void()>& work, const std::function<void()>& showOutcome);

  // Cancel and Esc stop the work and keep the window.
  void StopKeepingWindow();
  // The close box stops the work and closes the window once it has stopped.
  void StopClosingWindow();
  // The session is ending: the work stops at once and cleans up before the
  // window's thread looks at its messages again, so that the end of the
  // session waits for the clean-up; the system shows why meanwhile.
  void StopForSessionEnd();

  // The status line's text.
  void SetStatus(const std::string& text);
  // The bar full (the work is done) or empty.
  void SetBar(bool full);
  // What the last run or choice said no longer holds: both cleared.
  void ClearOutcome();

 private:
  enum class Stop { kNone, kKeepWindow, kCloseWindow, kEndSession };

  void Begin(const std::string& name, std::uint64_t total) override;
  bool Advance(const ProgressReport& report) override;
  void Draw(const ProgressReport& report);

  ui::Dialog& dialog_;
  std::function<void(bool)> enableControls_;
  WorkLook look_;
  bool running_ = false;
  Stop stop_ = Stop::kNone;
  std::string status_;      // what the status line shows
  bool barFilled_ = false;  // the bar shows something, to be cleared
  // The piece the status line names; when the progress was last drawn.
  std::uint64_t pieceShown_ = 0;
  std::uint64_t lastDrawn_ = 0;
  ui::TaskbarProgress* taskbar_ = nullptr;
};

}  // namespace morsela
