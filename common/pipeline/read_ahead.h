// Reading ahead of the writing: a thread of its own fills a few blocks while
// the caller writes the ones filled before, so that a split or a restore
// reads, checksums and writes at once instead of in turn. The thread touches
// nothing but its filler and the blocks; the caller's thread keeps the
// window, the progress and every decision about failures.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace morsela {

// One block of data on its way from the reading to the writing side, with
// what the reading side found out about it.
struct Block {
  enum class Kind : std::uint8_t {
    kData,    // bytes to write (possibly none)
    kEnd,     // the data ended before this block; it holds no bytes
    kFailed,  // reading failed; it holds no bytes
  };
  std::vector<char> bytes;  // sized once; `size` of them filled
  std::size_t size = 0;
  std::size_t from = 0;     // the bytes before this one are a header, not data
  std::uint64_t piece = 0;  // the piece the bytes belong to
  std::uint32_t crc = 0;    // the CRC-32C of the piece up to and with this block
  bool write = true;        // false: the bytes are only checked, not written
  Kind kind = Kind::kData;
  // A file the filling side created for the writing side, which takes it.
  std::unique_ptr<OutputFile> file;
};

// The reading side: fills one block after another.
class BlockFiller {
 public:
  virtual ~BlockFiller() = default;
  // Fills `block` (bytes.size() bytes of room); false when it is the last
  // one, of kind kEnd or kFailed.
  virtual bool Fill(Block& block) = 0;
};

class ReadAhead {
 public:
  // Starts filling blocks of `blockSize` bytes (none, for blocks that
  // carry only files) from `filler` on a thread of the platform's. Where the system gives no thread, Next fills each block
  // itself, in turn with the writing.
  ReadAhead(BlockFiller& filler, std::size_t blockSize);
  // Stops the filling and waits for the thread; the filler is then the
  // caller's alone again.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next block, in order; the one Next returned before is handed back.
  // Not called again after the last block.
  Block& Next();

  // Blocks in the ring: two are enough for one side to fill while the other
  // writes; the others absorb the unevenness of piece boundaries and caches.
  static constexpr std::size_t kSlots = 4;

 private:
  static void Run(void* self);

  BlockFiller& filler_;
  std::vector<Block> ring_;
  std::unique_ptr<Semaphore> free_, filled_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<Thread> thread_;
  std::size_t next_ = 0;
  bool holding_ = false;
};

}  // namespace morsela
