// The recovery pieces of a split: their data summed up from the pieces'
// bytes as they pass (on a thread that follows the reading side), over a
// window of each piece that
// keeps the memory within bounds whatever the piece size and their number,
// and their files written after the pieces. Where the window is shorter
// than a piece, the windows after the first come from a second read of the
// source.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "format/manifest.h"
#include "format/stripes.h"
#include "platform/memory.h"
#include "platform/platform.h"

namespace morsela {

// The byte sequence the pieces cut (the name header, then the source), read
// anew from any offset.
class Sequence {
 public:
  virtual ~Sequence() = default;
  // Reads exactly `size` bytes at `offset`; false when that failed.
  virtual bool Read(std::uint64_t offset, char* bytes, std::size_t size) = 0;
};

class RecoveryWriter {
 public:
  // The memory the recovery data may take at a time: a quarter of the
  // machine's, at least 64 MiB and at most 1 GiB, so that the source is
  // read once whenever the recovery pieces fit in it whole (1 GiB holds 8
  // recovery pieces of 100,000 KB).
  static std::uint64_t WindowBudget();

  // `count` recovery pieces of a set of pieces of `pieceSize` bytes, whose
  // data takes at most `budget` bytes at a time.
  RecoveryWriter(std::uint64_t count, std::uint64_t pieceSize, std::uint64_t budget = WindowBudget());

  // The bytes of recovery data each piece holds (the piece size, even),
  // and the bytes of the sequence that the windows after the first read
  // again for a set of `pieces` pieces.
  std::uint64_t dataSize() const { return dataSize_; }
  std::uint64_t RereadBytes(const Manifest& manifest) const;

  // Chooses the stripe size of the set `manifest` describes (its counts
  // and piece size set) and gathers the CRC of every stripe from then on:
  // the pieces' from Add, the recovery pieces' as Write writes them.
  void KeepStripeCrcs(Manifest& manifest);

  // The CRC of piece `k`, `length` bytes, from its stripes' once the
  // blocks have passed: the reading side leaves the pieces' CRCs to these.
  std::uint32_t PieceCrc(std::uint64_t k, std::uint64_t length) const { return stripes_.Whole(k, length); }

  // As the blocks pass (on one thread at a time): `size` bytes of piece
  // `k` at `offset` in it.
  void Add(std::uint64_t k, std::uint64_t offset, const char* bytes, std::size_t size);

  // The same for `count` blocks of `size` bytes at `offset` in pieces
  // `pieces`, summed at once.
  void AddRow(const std::uint64_t* pieces, const char* const* bytes, std::size_t count, std::uint64_t offset,
              std::size_t size);

  enum class Outcome { kDone, kReadFailed, kWriteFailed, kStopped };

  // Writes the recovery pieces of the set `manifest` describes (whose piece
  // CRCs are complete and whose recovery count is this writer's; it takes
  // the recovery CRCs), named from `path`.
  // `created` counts the files made, for a clean-up; `failed` names the
  // one a write failure concerns. `advance(bytes)` hears of the bytes
  // written and read again, and false from it stops the writing.
  Outcome Write(const std::string& path, Manifest& manifest, Sequence& again, std::uint64_t& created,
                std::string& failed, const std::function<bool(std::uint64_t)>& advance);

 private:
  void Clear() { std::fill_n(data_.get(), std::size_t(count_ * window_), '\0'); }
  // Piece k's coefficients in each recovery piece.
  const std::uint16_t* CoefficientsOf(std::uint64_t k);
  // Where byte `from` of a piece goes in each window.
  void* const* Outputs(std::uint64_t from);

  const std::uint64_t count_, dataSize_, window_;
  std::uint64_t from_ = 0;  // where the window begins in each piece
  LargeBuffer data_;  // `count_` windows of recovery data, one after the other
  // The coefficients in each recovery piece of the last pieces seen, a
  // row's at least (piece k's in slot k modulo the count kept, which
  // `coefficientsOf_` names), and where a block goes in each window: kept
  // from block to block.
  static constexpr std::uint64_t kKeptCoefficients = 16;
  std::vector<std::uint16_t> coefficients_;
  std::uint64_t coefficientsOf_[kKeptCoefficients];
  std::vector<std::uint16_t> rowCoefficients_;
  std::vector<void*> outputs_;
  StripeCrcs stripes_;
};

}  // namespace morsela
