// The rebuild of lost stripes from recovery pieces, after a join that left
// their places in the output, row by row: in each row of stripes, the
// recovery stripes of as many recovery pieces as pieces lost their stripe
// there, less what the sound stripes give, solved for the lost ones
// (erasure_code.h gives the algebra). A recovery stripe that fails its CRC
// gives way to the next recovery piece's in its row. It works through the
// rows in windows, so that its memory stays within bounds whatever the
// piece size and the number of pieces, and reads only the rows that lost
// something. A mended piece counts only once its whole CRC, from its
// sound stripes' and its mended ones', is the manifest's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/progress.h"
#include "platform/platform.h"
#include "restore/join.h"
#include "restore/piece_set.h"

namespace morsela {

// At most this much memory holds the windows of a rebuild.
constexpr std::uint64_t kRebuildMemory = std::uint64_t(48) << 20;

// Rebuilds the pieces `joined.lost` of `set`, which has a manifest, after
// the join that left their places in `out` (the set's data after its
// first `headerSize` bytes, the name header); the pieces and recovery
// pieces lie in `folder`. The progress goes on from the join's bytes of
// `total`, the total growing by the rebuild's reads. `joined` then tells
// how it ended: kDone; kStopped; kReadFailed, `unreadable` naming the
// piece; kWriteFailed; or kDamaged, `damaged` naming the pieces that did
// not come back whole (every lost one when a row had too few sound
// recovery stripes, `needed` then saying how many more recovery pieces the
// worst row would have needed and, in a set of more than one row,
// `rowsNotMended` how many rows) and the recovery pieces found damaged.
void RebuildPieces(const std::string& folder, const PieceSet& set, std::uint64_t headerSize, OutputFile& out,
                   Progress* progress, std::uint64_t total, JoinResult& joined);

}  // namespace morsela
