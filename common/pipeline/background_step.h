// One step of work at a time on a thread of its own, while the caller goes
// on: the restore puts its output on the disk in steps this way, so that
// the disk writes one step while the next is copied. Where the system
// gives no thread, each step runs when it is started, in turn with the
// caller's work.
#pragma once

#include <atomic>
#include <memory>

#include "platform/platform.h"

namespace morsela {

class BackgroundStep {
 public:
  // `step(context)` is the work of one step; false from it is a failure.
  BackgroundStep(bool (*step)(void*), void* context);
  // Waits for a step under way, then ends the thread.
  ~BackgroundStep();
  BackgroundStep(const BackgroundStep&) = delete;
  BackgroundStep& operator=(const BackgroundStep&) = delete;

  // Starts a step once the one before has ended; false when a step failed.
  bool Start();
  // Waits for the step under way; false when a step failed.
  bool Wait();

 private:
  static void Run(void* self);

  bool (*step_)(void*);
  void* context_;
  std::unique_ptr<Semaphore> asked_, done_;
  std::atomic<bool> stop_{false};
  bool busy_ = false, failed_ = false;
  std::unique_ptr<Thread> thread_;  // the last member: it ends first
};

}  // namespace morsela
