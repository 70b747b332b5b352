#include "pipeline/ring.h"

#include "format/crc32c.h"
#include "format/erasure_code.h"

namespace morsela {

void RingThread::Start(std::size_t held) {
  held_ = held;
  Platform& system = System();
  free_ = system.NewSemaphore(unsigned(kSlots));
  filled_ = system.NewSemaphore(0);
  // The kernels the thread may use are chosen before it starts.
  PrepareCrc32c();
  PrepareMultiplyAdd();
  if (free_ && filled_) thread_ = system.StartThread(&RingThread::Run, this);
}

void RingThread::Stop() {
  stop_ = true;
  // A filler waiting for a free slot wakes, sees the stop and ends.
  if (thread_) free_->Post();
  thread_.reset();
}

void RingThread::Run(void* self) {
  RingThread& ring = *static_cast<RingThread*>(self);
  for (std::size_t i = 0;; i = (i + 1) % kSlots) {
    ring.free_->Wait();
    if (ring.stop_) return;
    const bool more = ring.FillSlot(i);
    ring.filled_->Post();
    if (!more) return;
  }
}

std::size_t RingThread::Next() {
  const std::size_t index = next_;
  if (!thread_) {
    // In turn: the slots taken before are not filled again while held.
    FillSlot(index);
    next_ = (next_ + 1) % kSlots;
    return index;
  }
  if (holding_ == held_) free_->Post();
  else ++holding_;
  filled_->Wait();
  next_ = (next_ + 1) % kSlots;
  return index;
}

}  // namespace morsela
