// The split of a plan: the pieces of its source, then the recovery pieces,
// the restore program followed by the set's manifest (each piece's CRC-32C,
// computed from the bytes as they are written) and the restore page
// carrying the same manifest; then the stale pieces of an earlier split
// that would continue this one's sequence go. It gives an outcome and
// shows nothing: the front ends say what it came to.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/progress.h"
#include "split/split_plan.h"

namespace morsela {

// What a split came to.
struct SplitOutcome {
  enum class Kind {
    kWritten,  // the set is complete
    kRefused,  // `refusal` says why nothing is left of the split
    kStopped,  // the caller's progress stopped it; nothing is left of it
  };
  Kind kind = Kind::kRefused;
  std::string refusal;  // kRefused: the message, naming the file on its second line
  // A message naming the files that could not be removed (the split's own
  // after a failure or a stop, stale pieces after a split that wrote its
  // set), and how many of the split's own stayed; empty and 0 for none.
  std::string notRemoved;
  std::uint64_t left = 0;
  std::uint64_t pieces = 0;    // kWritten: the pieces written
  std::uint64_t recovery = 0;  // kWritten: the recovery pieces written
  std::string program, page;   // kWritten: full paths of the restore program and page
};

// Splits what `plan` (made without a refusal, and agreed to where it
// asked) describes, reading the source it holds open; the plan's source is
// closed when this returns. If the source turns out longer than the count
// covers, the split goes on cutting pieces rather than dropping data; if it
// changed while it was read, the split fails. On any failure or a stop it
// removes every file it created; every other file stays as it was.
// `progress`, when given, hears of every block and may stop the split.
SplitOutcome Split(SplitPlan& plan, Progress* progress = nullptr);

// The line of outcome: "Done: 3 pieces, 1 recovery piece, the restore
// program movie.exe and the restore page movie.restore.html written.", the
// recovery pieces left out when there are none; "Split stopped: ..." or
// "Split failed: ..." otherwise.
std::string SplitOutcomeText(const SplitOutcome& outcome);

}  // namespace morsela
