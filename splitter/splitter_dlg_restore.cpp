// The window's restore mode: a set shown before anything of it is read,
// and restored with the restore the restore program runs.
#include <algorithm>

#include "format/manifest.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "resource.h"
#include "splitter_dlg.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

const char kRestoreFile[] = "&Restore File";
const char kRestoreGroup[] = "Restore";
const char kSplitGroup[] = "Split";
const char kSplitCurrentFile[] = "Split Current File";
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

void CSplitterDlg::ShowSet(const SetSource& source) {
  if (!restore_) {
    splitSize_ = GetItemText(IDC_PIECE_SIZE);
    splitRecovery_ = GetItemChoice(IDC_RECOVERY);
  }
  restore_ = source;
  restoreView_ = LookAtSet(source);
  restoreDamaged_.clear();
  SetItemText(IDC_MAIN_GROUP, kRestoreGroup);
  SetItemText(IDC_SPLIT_FILE, kRestoreFile);
  SetItemReadOnly(IDC_PIECE_SIZE, true);
  EnableItem(IDC_RECOVERY, false);
  EnableItem(IDC_SIZE_PRESET, false);
  SetStatus(std::string());
  if (barFilled_) {
    SetItemProgress(IDC_SPLIT_PROGRESS, 0, 0);
    barFilled_ = false;
  }

  // What is known before reading: with a manifest, every piece with what
  // the folder holds of it; without, the pieces the names give.
  const PieceSet* set = restoreView_.set.get();
  const std::uint64_t count = set ? set->Count() : 0;
  const std::uint64_t recovery = set ? set->RecoveryCount() : 0;
  const Manifest* m = set ? set->Description() : nullptr;
  const std::uint64_t pieceSize = m ? m->pieceSize : count ? set->At(0).size : 0;
  SetItemText(IDC_PIECE_SIZE, pieceSize ? KilobyteText(pieceSize) : std::string());
  // The set's recovery pieces, in the list that offers a split's.
  SetItemChoices(IDC_RECOVERY, {recovery ? CountOf(recovery, "piece", "pieces") : std::string("None")});
  SetItemChoice(IDC_RECOVERY, 0);
  // The last name is the longest number, and the widest mark of each kind
  // widens it: the restore may yet mark any piece.
  previewWidest_ = count ? set->At(count - 1).name + StateText(PieceState::kWrongSize) : std::string();
  // The recovery pieces follow the pieces.
  if (recovery) {
    const std::string last = RecoveryPieceFileName(m->baseName, recovery - 1) + StateText(PieceState::kOther);
    if (last.size() > previewWidest_.size()) previewWidest_ = last;
  }
  ResetList(IDC_PIECE_LIST, count + recovery, previewWidest_);
}

void CSplitterDlg::LeaveRestoreMode() {
  restore_.reset();
  restoreView_ = SetView();
  restoreDamaged_.clear();
  SetItemText(IDC_MAIN_GROUP, kSplitGroup);
  SetItemText(IDC_SPLIT_FILE, kSplitCurrentFile);
  SetItemReadOnly(IDC_PIECE_SIZE, false);
  SetRecoveryChoices(splitRecovery_);
  EnableItem(IDC_RECOVERY, true);
  EnableItem(IDC_SIZE_PRESET, true);
  SetItemText(IDC_PIECE_SIZE, splitSize_);  // refreshes the preview
}

std::string CSplitterDlg::SetPieceText(std::uint64_t k) const {
  const PieceSet* set = restoreView_.set.get();
  if (!set) return std::string();
  if (k < set->Count()) {
    const PieceState state = set->State(k);
    const bool damaged =
        state == PieceState::kPresent && std::binary_search(restoreDamaged_.begin(), restoreDamaged_.end(), k);
    return set->At(k).name + (damaged ? kDamagedText : StateText(state));
  }
  const std::uint64_t j = k - set->Count();
  if (j >= set->RecoveryCount()) return std::string();
  const PieceState state = set->RecoveryState(j);
  return (state == PieceState::kPresent ? *set->RecoveryPiece(j)
                                        : RecoveryPieceFileName(set->Description()->baseName, j)) +
         StateText(state);
}

void CSplitterDlg::OnRestoreFile() {
  const PieceSet* set = restoreView_.set.get();
  expectedPieces_ = set ? set->Count() : 0;
  RestoreOptions options;
  options.progress = this;
  options.tellWhenNoRoom = true;
  RestoreResult result;
  RunWork(
      [&] {
        result = Restore(*restore_, options);
        // The pieces' folder cannot take the file (a DVD, a read-only
        // share): the user says where it goes instead, until a folder takes
        // it or the user gives up.
        while (result.code == kNoRoomBesideThePieces) {
          // It starts in the user's Documents: the pieces' folder, where
          // the system would start it, cannot take the file.
          ui::SaveFileDialog chooser("All Files|*.*||", result.name,
                                     "The pieces' folder cannot be written: where should " + result.name + " go?");
          chooser.StartIn(ui::DocumentsFolder());
          if (!chooser.DoModal(*this)) {
            ui::ShowMessageBox(WithDetail(kCannotWriteFile, result.name));
            result.code = kExitRefused;
            break;
          }
          options.output = chooser.GetPathName();
          result = Restore(*restore_, options);
        }
        for (const std::string& message : result.messages) ui::ShowMessageBox(message);
      },
      [&] {
        ShowSet(*restore_);  // what the folder holds of the pieces now
        // and what the restore found in them
        restoreDamaged_ = result.damagedPieces;
        std::sort(restoreDamaged_.begin(), restoreDamaged_.end());
        ShowRestoreOutcome(result, options.output);
      });
}

void CSplitterDlg::ShowRestoreOutcome(const RestoreResult& result, const std::string& output) {
  if (result.code != kExitRestored) {
    SetStatus(result.code == kExitStopped ? kRestoreStopped : kRestoreFailed);
    SetItemProgress(IDC_SPLIT_PROGRESS, 0, 0);
    barFilled_ = false;
    return;
  }
  SetItemProgress(IDC_SPLIT_PROGRESS, 1, 1);
  barFilled_ = true;
  // The warning first: the line wraps, and what matters most comes first.
  const std::string warning = UncheckedWarning(result, !restore_->program.empty());
  SetStatus((warning.empty() ? "" : warning + "\n") + RestoredText(result, output.empty() ? result.name : output));
}

}  // namespace morsela
