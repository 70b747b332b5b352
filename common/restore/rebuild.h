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
#include "restore/piece_set.h"
#include "text/messages.h"

namespace morsela {

struct RebuildResult {
  enum class Outcome { kDone, kTooFew, kDamaged, kReadFailed, kWriteFailed, kStopped };
  Outcome outcome = Outcome::kDone;
  std::uint64_t needed = 0;  // kTooFew: how many more pieces or recovery pieces
  NameTally damaged;         // kDamaged: the pieces that did not come back whole
  std::vector<std::string> damagedRecovery;  // the recovery pieces found damaged on the way
  NameTally unreadable;      // kReadFailed: the surviving piece that could not be read
};

// At most this much memory holds the windows of a rebuild.
constexpr std::uint64_t kRebuildMemory = std::uint64_t(48) << 20;

// Rebuilds the pieces `lost` (in order) of `set`, which has a manifest,
// whose pieces and recovery pieces lie in `folder`, into `out`, which holds
// the set's data after its first `headerSize` bytes (the name header).
// The progress goes on from `done` of `total` bytes, the total growing by
// the rebuild's reads.
RebuildResult RebuildPieces(const std::string& folder, const PieceSet& set, const std::vector<std::uint64_t>& lost,
                            std::uint64_t headerSize, OutputFile& out, Progress* progress, std::uint64_t done,
                            std::uint64_t total);

}  // namespace morsela
