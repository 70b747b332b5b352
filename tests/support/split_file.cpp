#include "split_file.h"

#include "format/pieces.h"
#include "platform/platform.h"
#include "platform/user.h"

namespace morsela {

SplitCall SplitFile(const std::string& path, std::uint32_t sizeKb, Progress* progress, const std::string& source,
                    std::uint64_t recovery, std::size_t blockSize) {
  SplitPlan plan = PlanSplit(SplitLook{path, source, std::uint64_t(sizeKb) * kBytesPerKb, recovery});
  if (blockSize) plan.blockSize = blockSize;
  SplitCall call;
  if (plan.refusal) {
    TheUser().ShowMessage(*plan.refusal);
    return call;
  }
  if (!plan.question.empty() && !TheUser().Ask(plan.question)) {
    call.outcome = SplitCall::kDeclined;
    return call;
  }
  const SplitOutcome outcome = Split(plan, progress);
  if (!outcome.refusal.empty()) TheUser().ShowMessage(outcome.refusal);
  if (!outcome.notRemoved.empty()) TheUser().ShowMessage(outcome.notRemoved);
  call.outcome = outcome.kind == SplitOutcome::Kind::kWritten   ? SplitCall::kWritten
                 : outcome.kind == SplitOutcome::Kind::kStopped ? SplitCall::kStopped
                                                                 : SplitCall::kRefused;
  call.pieces = outcome.pieces;
  call.recovery = outcome.recovery;
  call.left = outcome.left;
  call.restoreProgram = outcome.program;
  call.restorePage = outcome.page;
  return call;
}

}  // namespace morsela
