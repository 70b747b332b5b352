// The window's restore mode, for a piece of a set or a restore program that
// Morsela wrote: the path field shows the file chosen, the size field the
// set's piece size (read-only), the list the set's pieces and recovery
// pieces with what the folder holds of them, and the command reads
// "Restore File" and rebuilds the file beside the pieces with the restore
// the restore program runs. Nothing of the set is read before that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dialog.h"
#include "restore/restore.h"

namespace morsela {

class WorkRunner;

class RestorePanel {
 public:
  RestorePanel(ui::Dialog& dialog, WorkRunner& runner) : dialog_(dialog), runner_(runner) {}

  bool Active() const { return set_.has_value(); }
  // Shows the set `source` leads to, as a look at the folder finds it.
  void Show(const SetSource& source);
  // Forgets the set: the window goes back to splitting.
  void Forget();

  // The command: restores the set, asking where the file goes when the
  // pieces' folder cannot take it; then shows the set again, marking the
  // pieces the restore found damaged.
  void OnRestoreFile();

  // The text of item `k` of the list, and the widest one.
  std::string ItemText(std::uint64_t k) const;
  const std::string& Widest() const { return widest_; }

 private:
  void ShowOutcome(const RestoreResult& result, const std::string& output);

  ui::Dialog& dialog_;
  WorkRunner& runner_;
  // The set the chosen file leads to and what a look at it found.
  std::optional<SetSource> set_;
  SetView view_;
  // The pieces the last restore found damaged, in order, marked in the list.
  std::vector<std::uint64_t> damaged_;
  std::string widest_;
};

}  // namespace morsela
