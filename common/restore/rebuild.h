// The rebuild of lost pieces from recovery pieces, after a join that left
// their places in the output: the recovery data of as many recovery
// pieces as there are lost pieces, less what the surviving pieces give,
// solved for the lost pieces (erasure_code.h gives the algebra). It works
// through the pieces in windows, so that its memory stays within bounds
// whatever the piece size and the number of pieces; each window reads the
// surviving pieces again. A rebuilt piece counts only once its CRC is the
// manifest's, and a recovery piece whose data is not the one its CRC
// vouches for gives way to another where the set has one to spare.
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
// not come back whole (every lost one when too few recovery pieces were
// whole, and `needed` then saying how many more would have been needed)
// and the recovery pieces found damaged.
void RebuildPieces(const std::string& folder, const PieceSet& set, std::uint64_t headerSize, OutputFile& out,
                   Progress* progress, std::uint64_t total, JoinResult& joined);

}  // namespace morsela
