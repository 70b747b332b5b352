// The window's split mode: the source chosen, the piece size (typed, or
// written by a preset), the count of recovery pieces, the preview list of
// the names the split will write (the pieces', then the recovery pieces'),
// and the split itself, planned and run by the split's core. The panel
// keeps no copy of its inputs but the source as the system named it: every
// handler reads the fields back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dialog.h"
#include "split/split_run.h"

namespace morsela {

class WorkRunner;

// The smallest size the preview accepts while a source is chosen.
constexpr std::uint32_t kSmallestPieceSize = 10;

class SplitPanel {
 public:
  SplitPanel(ui::Dialog& dialog, WorkRunner& runner) : dialog_(dialog), runner_(runner) {}

  // Fills the drop-down lists and the size field, once the window exists.
  void Open();

  // Takes `path` as the source to split (the path field shows it already)
  // and refreshes the preview; equal parts chosen take its size.
  void TakeSource(const std::string& path);

  // The window shows a set to restore instead: the size field and the count
  // of recovery pieces are kept until Enter gives them back, with the
  // panel's title and command, and refreshes the preview.
  void Leave();
  void Enter();
  bool Active() const { return active_; }

  // Rebuilds the preview list from the fields and clears what the status
  // line said; answers a size below 10 with a message and sets the field
  // back to "10" (which refreshes again, nested, through the field's
  // change notification). When the list stays empty for a source that
  // exists (too small, or too many pieces for the recovery pieces chosen),
  // the status line says why. Does nothing while work runs or a set is
  // shown.
  void RefreshPreview();

  // The split command: checks the fields, then plans the split, asks, and
  // splits with its progress shown.
  void OnSplitCurrentFile();
  // Typing a size sets the presets back to "Any size".
  void OnPieceSizeChange();
  // A preset chosen writes its size into the size field, the one place the
  // size is read from; equal parts need a file, and wait for one.
  void OnSizePresetChange();
  void OnRecoveryChange() { RefreshPreview(); }

  // The text of item `k` of the preview list, and the widest one.
  std::string ItemText(std::uint64_t k) const;
  const std::string& Widest() const { return previewWidest_; }

  // The presets and the count of recovery pieces follow the other controls.
  void EnableControls(bool idle);

 private:
  // The count of recovery pieces chosen.
  std::uint64_t RecoveryCount() const;
  // Offers the counts of recovery pieces a split may have, `chosen` chosen.
  void SetRecoveryChoices(int chosen);
  // Plans the split `look` asks for and splits it, showing the messages
  // and asking the question that come of it; nothing when the user would
  // not have files replaced.
  std::optional<SplitOutcome> SplitAsked(const SplitLook& look);
  // Says in the status line how the split ended (nothing: declined), and
  // shows it in the bar.
  void ShowOutcome(const std::optional<SplitOutcome>& outcome);
  // True when a directory search finds `path` (a folder counts too); its
  // length in `length`, whether it is a folder in `folder`.
  bool LookUpSource(const std::string& path, std::uint64_t& length, bool& folder) const;

  ui::Dialog& dialog_;
  WorkRunner& runner_;
  bool active_ = true;
  // The source as chosen, dropped or passed, by which it is found and read:
  // the path field shows it lower-cased, which in some scripts names
  // another file or none. The pieces are named from the field.
  std::string source_;
  // The base name of the pieces the list shows: the list asks for its item
  // texts whenever it draws, and must go on showing the names of the last
  // refresh when the path field has come to name another file since. The
  // count of pieces among them (the recovery pieces' names follow), and
  // the widest of those names, which the columns fit.
  std::string previewBase_;
  std::uint64_t previewPieces_ = 0;
  std::string previewWidest_;
  // The size field's text and the recovery pieces chosen, kept while a set
  // is shown.
  std::string keptSize_;
  int keptRecovery_ = 0;
  bool writingPreset_ = false;  // the size field's change is the preset's
};

}  // namespace morsela
