// Work between threads: a thread of its own fills a few slots while the
// caller takes the ones filled before, so that a split or a restore reads,
// checksums and writes at once instead of in turn. The thread touches
// nothing but its filler and the slots; the caller's thread keeps the
// window, the progress and every decision about failures. Each user
// defines its own slot type (a block of bytes with what the filling side
// found out about it, a file created ahead); the mechanism knows none of
// them.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace morsela {

// The filling side: fills one slot after another.
template <typename Slot>
class Filler {
 public:
  virtual ~Filler() = default;
  // Fills `slot`; false when it is the last one.
  virtual bool Fill(Slot& slot) = 0;
};

// A third side that sees every filled slot, in order, on a thread of its
// own, while the caller takes it: a split sums its recovery data from the
// blocks its writing side writes, without copying them. It only reads the
// slots; a slot is filled again once both it and the caller are done with
// it. The last slot the filler filled comes too.
template <typename Slot>
class Follower {
 public:
  virtual ~Follower() = default;
  virtual void Follow(const Slot& slot) = 0;
  // The slots it takes at a time on a thread of its own, from 1 to
  // kMostFollowed: FollowSeveral then sees that many in order (fewer at
  // the end), which stay filled until it returns. A split sums a row's
  // blocks into the recovery data at once.
  static constexpr std::size_t kMostFollowed = 4;
  virtual std::size_t Batch() const { return 1; }
  virtual void FollowSeveral(const Slot* const* slots, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Follow(*slots[i]);
  }
};

// The mechanism, whatever the slots hold: the threads, and the counts by
// which the sides hand slots to each other.
class RingThread {
 public:
  // Slots in a ring: two are enough for one side to fill while the other
  // takes; the others absorb the unevenness of piece boundaries and caches.
  static constexpr std::size_t kSlots = 4;

 protected:
  RingThread() = default;
  ~RingThread() = default;
  RingThread(const RingThread&) = delete;
  RingThread& operator=(const RingThread&) = delete;

  // Starts the filling on a thread of the platform's; where the system
  // gives none, Next fills each slot itself, in turn with the taking. The
  // taker holds the last `held` slots it took (fewer than kSlots).
  void Start(std::size_t held);
  // The same with a follower, on another thread, which takes `batch`
  // slots at a time (the ring has kSlots + batch - 1 slots then); where the
  // system gives no thread for it, the filling side follows each slot it
  // filled. (Apart from Start, so that programs without a follower do
  // without its code.)
  void StartFollowing(std::size_t held, std::size_t batch);
  // Stops the filling, lets the follower see every slot filled before, and
  // waits for both threads; the filler and the follower are then the
  // caller's alone again.
  void Stop();
  // The index of the next filled slot, in order; the one taken `held`
  // calls before is handed back.
  std::size_t Next();

 private:
  virtual bool FillSlot(std::size_t index) = 0;
  // Has the follower see `count` slots from `first` on, in order (wrapping).
  virtual void FollowSlots(std::size_t first, std::size_t count) = 0;
  static void Run(void* self);
  static void RunFollower(void* self);

  // free_: slots the caller handed back; followed_: those the follower is
  // done with; filled_ and unfollowed_: the filled ones, for each side.
  std::unique_ptr<Semaphore> free_, filled_, followed_, unfollowed_;
  std::atomic<bool> stop_{false};
  // Slots filled in all, raised before each is handed on.
  std::atomic<std::size_t> filledCount_{0};
  bool following_ = false;
  std::unique_ptr<Thread> thread_, followThread_;
  std::size_t next_ = 0;
  std::size_t held_ = 1, holding_ = 0;
  std::size_t slotCount_ = kSlots, batch_ = 1;
};

template <typename Slot>
class Ring : private RingThread {
 public:
  // Starts filling slots made by default, or as copies of `blank` (a block
  // sized once, say). A slot taken stays the taker's until Next has been
  // called `held` times more: 1 when it is done with a slot as it takes
  // the next, 2 when the one before may still be in use elsewhere.
  explicit Ring(Filler<Slot>& filler) : filler_(filler), slots_(kSlots) { Start(1); }
  Ring(Filler<Slot>& filler, const Slot& blank, std::size_t held = 1) : filler_(filler), slots_(kSlots, blank) {
    Start(held);
  }
  // The same, with `follower` seeing every filled slot.
  Ring(Filler<Slot>& filler, const Slot& blank, Follower<Slot>& follower, std::size_t held = 1)
      : filler_(filler), follower_(&follower), slots_(kSlots + Batch(follower) - 1, blank) {
    StartFollowing(held, Batch(follower));
  }
  ~Ring() { Stop(); }

  // Stops the filling, lets the follower see what was filled, and waits
  // for their threads: from then on the filler and the follower, and
  // everything they wrote, are the caller's alone. The slots stay until
  // the ring goes.
  void Finish() { Stop(); }

  // The next slot, in order. Not called again after the last one.
  Slot& Next() { return slots_[RingThread::Next()]; }

  using RingThread::kSlots;

 private:
  static std::size_t Batch(const Follower<Slot>& follower) {
    return std::min(std::max<std::size_t>(follower.Batch(), 1), Follower<Slot>::kMostFollowed);
  }
  bool FillSlot(std::size_t index) override { return filler_.Fill(slots_[index]); }
  void FollowSlots(std::size_t first, std::size_t count) override {
    const Slot* taken[Follower<Slot>::kMostFollowed];
    for (std::size_t i = 0; i < count; ++i) taken[i] = &slots_[(first + i) % slots_.size()];
    follower_->FollowSeveral(taken, count);
  }

  Filler<Slot>& filler_;
  Follower<Slot>* follower_ = nullptr;
  std::vector<Slot> slots_;
};

}  // namespace morsela
