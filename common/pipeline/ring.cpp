#include "pipeline/ring.h"

#include "format/crc32c.h"
#include "format/erasure_code.h"

namespace morsela {

void RingThread::Start(std::size_t held) {
  held_ = held;
  Platform& system = System();
  free_ = system.NewSemaphore(unsigned(slotCount_));
  filled_ = system.NewSemaphore(0);
  // The kernels the threads may use are chosen before they start.
  PrepareCrc32c();
  PrepareMultiplyAdd();
  if (free_ && filled_) thread_ = system.StartThread(&RingThread::Run, this);
}

void RingThread::StartFollowing(std::size_t held, std::size_t batch) {
  Platform& system = System();
  following_ = true;
  batch_ = batch;
  slotCount_ = kSlots + batch - 1;
  followed_ = system.NewSemaphore(unsigned(slotCount_));
  unfollowed_ = system.NewSemaphore(0);
  if (followed_ && unfollowed_) followThread_ = system.StartThread(&RingThread::RunFollower, this);
  Start(held);
}

void RingThread::Stop() {
  stop_ = true;
  // A filler waiting for a free or a followed slot wakes, sees the stop
  // and ends.
  if (thread_) {
    free_->Post();
    if (followThread_) followed_->Post();
  }
  thread_.reset();
  // The follower sees every slot filled, then the one more count that
  // says there are no more.
  if (followThread_) unfollowed_->Post();
  followThread_.reset();
}

void RingThread::Run(void* self) {
  RingThread& ring = *static_cast<RingThread*>(self);
  for (std::size_t i = 0;; i = (i + 1) % ring.slotCount_) {
    ring.free_->Wait();
    if (ring.stop_) return;
    if (ring.followThread_) {
      ring.followed_->Wait();
      if (ring.stop_) return;
    }
    const bool more = ring.FillSlot(i);
    if (ring.following_ && !ring.followThread_) ring.FollowSlots(i, 1);
    ++ring.filledCount_;
    ring.filled_->Post();
    if (ring.followThread_) ring.unfollowed_->Post();
    if (!more) return;
  }
}

void RingThread::RunFollower(void* self) {
  RingThread& ring = *static_cast<RingThread*>(self);
  for (std::size_t n = 0;;) {
    // A batch of slots, or those filled before the count that says there
    // are no more.
    std::size_t count = 0;
    bool last = false;
    while (count < ring.batch_ && !last) {
      ring.unfollowed_->Wait();
      if (n + count == ring.filledCount_) last = true;
      else ++count;
    }
    if (count > 0) ring.FollowSlots(n % ring.slotCount_, count);
    for (std::size_t i = 0; i < count; ++i) ring.followed_->Post();
    n += count;
    if (last) return;
  }
}

std::size_t RingThread::Next() {
  const std::size_t index = next_;
  if (!thread_) {
    // In turn: the slots taken before are not filled again while held.
    FillSlot(index);
    if (following_) FollowSlots(index, 1);
    next_ = (next_ + 1) % slotCount_;
    return index;
  }
  if (holding_ == held_) free_->Post();
  else ++holding_;
  filled_->Wait();
  next_ = (next_ + 1) % slotCount_;
  return index;
}

}  // namespace morsela
