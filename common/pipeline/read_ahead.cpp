#include "pipeline/read_ahead.h"

namespace morsela {

ReadAhead::ReadAhead(BlockFiller& filler, std::size_t blockSize) : filler_(filler), ring_(kSlots) {
  for (Block& block : ring_) block.bytes.resize(blockSize);
  Platform& system = System();
  free_ = system.NewSemaphore(unsigned(kSlots));
  filled_ = system.NewSemaphore(0);
  if (free_ && filled_) thread_ = system.StartThread(&ReadAhead::Run, this);
}

ReadAhead::~ReadAhead() {
  stop_ = true;
  // A filler waiting for a free block wakes, sees the stop and ends.
  if (thread_) free_->Post();
  thread_.reset();
}

void ReadAhead::Run(void* self) {
  ReadAhead& ahead = *static_cast<ReadAhead*>(self);
  for (std::size_t i = 0;; i = (i + 1) % kSlots) {
    ahead.free_->Wait();
    if (ahead.stop_) return;
    const bool more = ahead.filler_.Fill(ahead.ring_[i]);
    ahead.filled_->Post();
    if (!more) return;
  }
}

Block& ReadAhead::Next() {
  if (!thread_) {
    filler_.Fill(ring_[0]);
    return ring_[0];
  }
  if (holding_) free_->Post();
  filled_->Wait();
  holding_ = true;
  Block& block = ring_[next_];
  next_ = (next_ + 1) % kSlots;
  return block;
}

}  // namespace morsela
