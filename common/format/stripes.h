// The stripes of a set with recovery pieces: which stripe size a split
// chooses, and the CRC of every stripe gathered as the pieces' bytes pass
// (manifest.h says what a stripe is; docs/format.md the rule).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morsela {

// The stripe size of a split into `pieces` pieces of `pieceSize` bytes
// with `recovery` recovery pieces: the smallest power of two from 4 KiB
// that gives a piece one row, or at most 1024 rows with a table of stripe
// CRCs (4 bytes a stripe, pieces and recovery pieces) of at most a
// sixteenth of a recovery piece's data; 1 MiB where none below does.
std::uint64_t ChooseStripeSize(std::uint64_t pieces, std::uint64_t recovery, std::uint64_t pieceSize);

// The CRCs of every stripe of `files` files (the pieces, then the recovery
// pieces), `rows` each, fed with their bytes as they pass.
class StripeCrcs {
 public:
  StripeCrcs() = default;
  StripeCrcs(std::uint64_t files, std::uint64_t stripeSize, std::uint64_t rows);

  // `size` bytes of file `index` at `offset` in it; the bytes of a stripe
  // come in order. Bytes beyond the table's files or rows are not counted
  // (a source that grew while it was read, which fails that split anyway).
  void Add(std::uint64_t index, std::uint64_t offset, const char* bytes, std::size_t size);

  // The CRC of the first `length` bytes of file `index`, from its
  // stripes' (all of them fed by then): the pieces' own CRCs without a
  // second pass over their bytes.
  std::uint32_t Whole(std::uint64_t index, std::uint64_t length) const;

  // The table, in the manifest's order; a stripe that got no byte has CRC 0.
  std::vector<std::uint32_t> Take() { return std::move(crcs_); }

 private:
  std::uint64_t stripeSize_ = 0, rows_ = 0;
  std::uint32_t zeros_ = 0;  // Crc32cZeros(stripeSize_)
  std::vector<std::uint32_t> crcs_;
};

}  // namespace morsela
