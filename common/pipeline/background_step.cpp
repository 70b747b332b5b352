#include "pipeline/background_step.h"

namespace morsela {

BackgroundStep::BackgroundStep(bool (*step)(void*), void* context) : step_(step), context_(context) {
  Platform& system = System();
  asked_ = system.NewSemaphore(0);
  done_ = system.NewSemaphore(0);
  if (asked_ && done_) thread_ = system.StartThread(&BackgroundStep::Run, this);
}

BackgroundStep::~BackgroundStep() {
  Wait();
  stop_ = true;
  if (thread_) asked_->Post();
  thread_.reset();
}

bool BackgroundStep::Start() {
  if (!thread_) {
    if (!step_(context_)) failed_ = true;
    return !failed_;
  }
  if (!Wait()) return false;
  busy_ = true;
  asked_->Post();
  return true;
}

bool BackgroundStep::Wait() {
  if (busy_) done_->Wait();
  busy_ = false;
  return !failed_;
}

void BackgroundStep::Run(void* self) {
  BackgroundStep& background = *static_cast<BackgroundStep*>(self);
  for (;;) {
    background.asked_->Wait();
    if (background.stop_) return;
    // Set before the hand-over, read after it.
    if (!background.step_(background.context_)) background.failed_ = true;
    background.done_->Post();
  }
}

}  // namespace morsela
