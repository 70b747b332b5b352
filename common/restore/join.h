// The join: the pieces' bytes read in order on a ring's thread, each
// piece's length and (where the set's manifest gives one) CRC checked at
// its end, the name header (which may span pieces) checked against the
// one the manifest gives, and the data after it written to the output on
// the caller's thread, which also reports the progress. The output goes
// to the disk in steps on a background step of its own as it is written,
// so that the last step, before the file takes its name, is short.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/progress.h"
#include "platform/platform.h"
#include "restore/piece_set.h"
#include "text/messages.h"

namespace morsela {

struct JoinResult {
  enum class Outcome { kDone, kReadFailed, kWriteFailed, kDamaged, kStopped };
  Outcome outcome = Outcome::kDone;
  // kDamaged: every damaged piece (the join reads on after the first, only
  // no longer writing); kReadFailed: the piece that could not be read.
  NameTally damaged, unreadable;
  // The numbers of the pieces whose bytes were not the ones described
  // (their CRC or name header), every one of them.
  std::vector<std::uint64_t> damagedPieces;
  // With `mayLose`: the pieces missing, of a wrong size, unreadable or
  // damaged, in order, whose place in the output was left for a rebuild
  // (the join ends kDone all the same).
  std::vector<std::uint64_t> lost;
  // For each of `lost`, one after the other, a byte for each row of
  // stripes (the manifest's Rows()): 1 where it lost that row (every row
  // that holds its bytes for a piece missing; in a set without stripes,
  // its one row).
  std::vector<std::uint8_t> lostRows;
  std::uint64_t written = 0;  // bytes of data written
  // After a rebuild that had too few recovery pieces: how many more
  // pieces or recovery pieces it would have needed.
  std::uint64_t needed = 0;
  // In a set of more than one row: the rows that could not be mended, and
  // `needed` the more recovery pieces the worst of them would have needed.
  std::uint64_t rowsNotMended = 0;
};

// Joins `set`, whose pieces lie in `folder`, into `out`: the first
// `headerSize` bytes of the pieces are the name header, which must be
// `header` when that is not empty. `total` is the bytes of data to write.
// `progress` hears of every block and may stop the join. With `mayLose`
// (a set with recovery pieces) a piece that cannot be had whole is passed
// over rather than ending the join, and every other piece is written at
// its place; with a manifest, each piece is then held to its stripes'
// CRCs, and what it loses is the rows it cannot give: all of them when it
// is missing, those past its end when it is short, a row whose stripe is
// unreadable or fails its CRC.
JoinResult Join(const std::string& folder, const PieceSet& set, std::uint64_t headerSize, const std::string& header,
                OutputFile& out, std::uint64_t total, Progress* progress, bool mayLose = false);

}  // namespace morsela
