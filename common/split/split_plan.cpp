#include "split/split_plan.h"

#include <vector>

#include "format/erasure_code.h"
#include "format/pieces.h"
#include "split/files_in_the_way.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

SplitPlan Refused(std::string text) {
  SplitPlan plan;
  plan.refusal = std::move(text);
  return plan;
}

}  // namespace

SplitPlan PlanSplit(const SplitLook& look) {
  Platform& system = System();
  // The source by the name the system keeps for it; the set is named from
  // `path`, in the source's folder.
  const std::string chosen = look.source.empty() ? look.path : look.source;
  const std::vector<DirEntry> found = system.Find(chosen);
  if (found.empty()) return Refused(kPathnameIncorrect);
  if (found.front().isDirectory || look.pieceSize == 0) return Refused(kFileTooSmall);
  const std::string real = DirectoryOf(chosen) + found.front().name;

  SplitPlan plan;
  plan.named = DirectoryOf(real) + FileNameOf(look.path);
  plan.pieceSize = look.pieceSize;
  plan.recovery = look.recovery;
  // Without an image the restore program would be an empty file that
  // cannot rebuild anything: refuse before writing. The same for the page.
  plan.image = system.RestoreImage();
  plan.program = RestoreProgramName(plan.named);
  if (plan.image.empty()) return Refused(WithDetail(kCannotWriteFile, plan.program));
  plan.pageTemplate = system.PageTemplate();
  plan.page = RestorePageName(plan.named);
  if (plan.pageTemplate.empty()) return Refused(WithDetail(kCannotWriteFile, plan.page));

  // No other program may write to the source until the split has read it
  // and taken its stamp again.
  plan.sourcePath = real;
  plan.source = system.OpenSource(real);
  if (!plan.source || !plan.source->Stamp(plan.stamp)) return Refused(WithDetail(kCannotReadFile, real));
  if (plan.stamp.size < kMinimumSource) return Refused(kFileTooSmall);

  const std::uint64_t total = FileNameOf(plan.named).size() + 1 + plan.stamp.size;
  plan.count = total / look.pieceSize + (total % look.pieceSize != 0 ? 1 : 0);
  if (look.recovery && !RecoveryFits(plan.count, look.recovery)) return Refused(kTooManyPieces);
  const FilesInTheWay way = LookInTheWay(plan.named, plan.count, look.recovery);
  if (!way.unreadable.empty()) return Refused(WithDetail(kCannotReadFile, way.unreadable));
  if (!way.blocked.empty()) return Refused(WithDetail(kCannotWriteFile, way.blocked));
  plan.question = way.question;
  return plan;
}

}  // namespace morsela
