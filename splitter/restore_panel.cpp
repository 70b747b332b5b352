#include "restore_panel.h"

#include <algorithm>

#include "format/manifest.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "resource.h"
#include "text/messages.h"
#include "text/text.h"
#include "work_runner.h"
#include "wrappers.h"

namespace morsela {

namespace {

const char kRestoreFile[] = "&Restore File";
const char kRestoreGroup[] = "Restore";
const char kRestoreStopped[] = "Restore stopped: nothing was written.";
const char kRestoreFailed[] = "Restore failed: nothing was written.";

// A size in kilobytes of 1,000 bytes, as the size field shows one: whole,
// or with the decimals it needs.
std::string KilobyteText(std::uint64_t bytes) {
  std::string text = FormatDecimal(bytes / 1000);
  if (bytes % 1000 == 0) return text;
  std::string decimals = FormatDecimal(1000 + bytes % 1000).substr(1);
  while (decimals.back() == '0') decimals.pop_back();
  return text + "." + decimals;
}

// A piece the restore read and found not to be the one described.
const char kDamagedText[] = " (damaged)";

const char* StateText(PieceState state) {
  switch (state) {
    case PieceState::kMissing: return " (missing)";
    case PieceState::kWrongSize: return " (wrong size)";
    case PieceState::kOther: return " (of another split)";
    case PieceState::kPresent: break;
  }
  return "";
}

}  // namespace

void RestorePanel::Show(const SetSource& source) {
  set_ = source;
  view_ = LookAtSet(source);
  damaged_.clear();
  dialog_.SetItemText(IDC_MAIN_GROUP, kRestoreGroup);
  dialog_.SetItemText(IDC_SPLIT_FILE, kRestoreFile);
  dialog_.SetItemReadOnly(IDC_PIECE_SIZE, true);
  runner_.ClearOutcome();

  // What is known before reading: with a manifest, every piece with what
  // the folder holds of it; without, the pieces the names give.
  const PieceSet* set = view_.set.get();
  const std::uint64_t count = set ? set->Count() : 0;
  const std::uint64_t recovery = set ? set->RecoveryCount() : 0;
  const Manifest* m = set ? set->Description() : nullptr;
  const std::uint64_t pieceSize = m ? m->pieceSize : count ? set->At(0).size : 0;
  dialog_.SetItemText(IDC_PIECE_SIZE, pieceSize ? KilobyteText(pieceSize) : std::string());
  // The set's recovery pieces, in the list that offers a split's.
  dialog_.SetItemChoices(IDC_RECOVERY, {recovery ? CountOf(recovery, "piece", "pieces") : std::string("None")});
  dialog_.SetItemChoice(IDC_RECOVERY, 0);
  // The last name is the longest number, and the widest mark of each kind
  // widens it: the restore may yet mark any piece.
  widest_ = count ? set->At(count - 1).name + StateText(PieceState::kWrongSize) : std::string();
  // The recovery pieces follow the pieces.
  if (recovery) {
    const std::string last = RecoveryPieceFileName(m->baseName, recovery - 1) + StateText(PieceState::kOther);
    if (last.size() > widest_.size()) widest_ = last;
  }
  dialog_.ResetList(IDC_PIECE_LIST, count + recovery, widest_);
}

void RestorePanel::Forget() {
  set_.reset();
  view_ = SetView();
  damaged_.clear();
}

std::string RestorePanel::ItemText(std::uint64_t k) const {
  const PieceSet* set = view_.set.get();
  if (!set) return std::string();
  if (k < set->Count()) {
    const PieceState state = set->State(k);
    const bool damaged = state == PieceState::kPresent && std::binary_search(damaged_.begin(), damaged_.end(), k);
    return set->At(k).name + (damaged ? kDamagedText : StateText(state));
  }
  const std::uint64_t j = k - set->Count();
  if (j >= set->RecoveryCount()) return std::string();
  const PieceState state = set->RecoveryState(j);
  return (state == PieceState::kPresent ? *set->RecoveryPiece(j)
                                        : RecoveryPieceFileName(set->Description()->baseName, j)) +
         StateText(state);
}

void RestorePanel::OnRestoreFile() {
  const PieceSet* set = view_.set.get();
  RestoreOptions options;
  options.progress = &runner_.progress();
  options.tellWhenNoRoom = true;
  RestoreResult result;
  runner_.Run(
      {"Reading piece ", "Stopping a restore", set ? set->Count() : 0},
      [&] {
        result = Restore(*set_, options);
        // The pieces' folder cannot take the file (a DVD, a read-only
        // share): the user says where it goes instead, until a folder takes
        // it or the user gives up.
        while (result.code == kNoRoomBesideThePieces) {
          // It starts in the user's Documents: the pieces' folder, where
          // the system would start it, cannot take the file.
          ui::SaveFileDialog chooser("All Files|*.*||", result.name,
                                     "The pieces' folder cannot be written: where should " + result.name + " go?");
          chooser.StartIn(ui::DocumentsFolder());
          if (!chooser.DoModal(dialog_)) {
            ui::ShowMessageBox(WithDetail(kCannotWriteFile, result.name));
            result.code = kExitRefused;
            break;
          }
          options.output = chooser.GetPathName();
          result = Restore(*set_, options);
        }
        for (const std::string& message : result.messages) ui::ShowMessageBox(message);
      },
      [&] {
        Show(*set_);  // what the folder holds of the pieces now
        // and what the restore found in them
        damaged_ = result.damagedPieces;
        std::sort(damaged_.begin(), damaged_.end());
        ShowOutcome(result, options.output);
      });
}

void RestorePanel::ShowOutcome(const RestoreResult& result, const std::string& output) {
  if (result.code != kExitRestored) {
    runner_.SetStatus(result.code == kExitStopped ? kRestoreStopped : kRestoreFailed);
    runner_.SetBar(false);
    return;
  }
  runner_.SetBar(true);
  // The warning first: the line wraps, and what matters most comes first.
  const std::string warning = UncheckedWarning(result, !set_->program.empty());
  runner_.SetStatus((warning.empty() ? "" : warning + "\n") +
                    RestoredText(result, output.empty() ? result.name : output));
}

}  // namespace morsela
