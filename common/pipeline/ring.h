// Work between threads: a thread of its own fills a few slots while the
// caller takes the ones filled before, so that a split or a restore reads,
// checksums and writes at once instead of in turn. The thread touches
// nothing but its filler and the slots; the caller's thread keeps the
// window, the progress and every decision about failures. Each user
// defines its own slot type (a block of bytes with what the filling side
// found out about it, a file created ahead); the mechanism knows none of
// them.
#pragma once

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

// The mechanism, whatever the slots hold: the thread, and the two counts
// by which the sides hand slots to each other.
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
  // Stops the filling and waits for the thread; the filler is then the
  // caller's alone again.
  void Stop();
  // The index of the next filled slot, in order; the one taken `held`
  // calls before is handed back.
  std::size_t Next();

 private:
  virtual bool FillSlot(std::size_t index) = 0;
  static void Run(void* self);

  std::unique_ptr<Semaphore> free_, filled_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<Thread> thread_;
  std::size_t next_ = 0;
  std::size_t held_ = 1, holding_ = 0;
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
  ~Ring() { Stop(); }

  // Stops the filling and waits for its thread: from then on the filler,
  // and everything it wrote, is the caller's alone. The slots stay until
  // the ring goes.
  void Finish() { Stop(); }

  // The next slot, in order. Not called again after the last one.
  Slot& Next() { return slots_[RingThread::Next()]; }

  using RingThread::kSlots;

 private:
  bool FillSlot(std::size_t index) override { return filler_.Fill(slots_[index]); }

  Filler<Slot>& filler_;
  std::vector<Slot> slots_;
};

}  // namespace morsela
