#include "split_panel.h"

#include "format/erasure_code.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "resource.h"
#include "split/size_presets.h"
#include "text/messages.h"
#include "text/text.h"
#include "work_runner.h"
#include "wrappers.h"

namespace morsela {

namespace {

const char kSplitGroup[] = "Split";
const char kSplitCurrentFile[] = "Split Current File";

// Texts of the status line.
const char kSourceTooSmall[] = "This file is under 1,000 bytes: too small to split.";
const char kSourceIsFolder[] = "This is a folder: choose a file to split.";
const char kTooManyForRecovery[] = "Too many pieces for recovery pieces: choose a larger size.";
const char kFewerPieces[] = "Choose a larger size or fewer recovery pieces.";

// The counts of recovery pieces the drop-down list offers, in its order.
constexpr std::uint64_t kRecoveryChoices[] = {0, 1, 2, 3, 5, 10};

}  // namespace

void SplitPanel::Open() {
  std::vector<std::string> presets{"Any size"};
  for (std::size_t i = 0; i < kSizePresetCount; ++i) presets.push_back(kSizePresets[i].label);
  dialog_.SetItemChoices(IDC_SIZE_PRESET, presets);
  dialog_.SetItemChoice(IDC_SIZE_PRESET, 0);
  SetRecoveryChoices(0);
  // Sends EN_CHANGE: the refresh finds the empty path field names nothing.
  dialog_.SetItemText(IDC_PIECE_SIZE, "100");
}

void SplitPanel::SetRecoveryChoices(int chosen) {
  std::vector<std::string> choices;
  for (const std::uint64_t r : kRecoveryChoices)
    choices.push_back(r ? CountOf(r, "piece", "pieces") : std::string("None"));
  dialog_.SetItemChoices(IDC_RECOVERY, choices);
  dialog_.SetItemChoice(IDC_RECOVERY, chosen >= 0 ? chosen : 0);
}

void SplitPanel::TakeSource(const std::string& path) {
  source_ = path;
  if (!active_) return Enter();  // the size field given back refreshes
  // Equal parts chosen take the new file's size.
  const std::string size = dialog_.GetItemText(IDC_PIECE_SIZE);
  OnSizePresetChange();
  if (dialog_.GetItemText(IDC_PIECE_SIZE) == size) RefreshPreview();
}

void SplitPanel::Leave() {
  keptSize_ = dialog_.GetItemText(IDC_PIECE_SIZE);
  keptRecovery_ = dialog_.GetItemChoice(IDC_RECOVERY);
  active_ = false;
  EnableControls(false);
}

void SplitPanel::Enter() {
  active_ = true;
  dialog_.SetItemText(IDC_MAIN_GROUP, kSplitGroup);
  dialog_.SetItemText(IDC_SPLIT_FILE, kSplitCurrentFile);
  dialog_.SetItemReadOnly(IDC_PIECE_SIZE, false);
  SetRecoveryChoices(keptRecovery_);
  EnableControls(true);
  dialog_.SetItemText(IDC_PIECE_SIZE, keptSize_);  // refreshes the preview
}

void SplitPanel::EnableControls(bool idle) {
  dialog_.EnableItem(IDC_SIZE_PRESET, idle && active_);
  dialog_.EnableItem(IDC_RECOVERY, idle && active_);
}

void SplitPanel::OnSplitCurrentFile() {
  const std::string path = dialog_.GetItemText(IDC_SOURCE_PATH), source = source_;
  std::uint64_t length = 0;
  bool folder = false;
  if (!LookUpSource(source, length, folder)) return ui::ShowMessageBox(kNoFileSelected);
  const std::uint32_t size = ParseDecimal(dialog_.GetItemText(IDC_PIECE_SIZE));
  if (size == 0) return ui::ShowMessageBox(kSizeNoValid);
  const std::uint64_t pieces = PieceCount(length, path, size);
  const std::uint64_t recovery = RecoveryCount();
  if (pieces && recovery && !RecoveryFits(pieces, recovery))
    return ui::ShowMessageBox(WithDetail(kTooManyPieces, kFewerPieces));
  const SplitLook look{path, source, std::uint64_t(size) * kBytesPerKb, recovery};
  std::optional<SplitOutcome> outcome;
  runner_.Run({"Writing piece ", "Stopping a split", pieces}, [&] { outcome = SplitAsked(look); },
              [&] { ShowOutcome(outcome); });
}

std::optional<SplitOutcome> SplitPanel::SplitAsked(const SplitLook& look) {
  SplitPlan plan = PlanSplit(look);
  SplitOutcome outcome;
  if (plan.refusal) {
    ui::ShowMessageBox(*plan.refusal);
    outcome.refusal = *plan.refusal;
    return outcome;
  }
  if (!plan.question.empty() && !ui::AskYesNo(plan.question)) return std::nullopt;
  outcome = Split(plan, &runner_.progress());
  if (!outcome.refusal.empty()) ui::ShowMessageBox(outcome.refusal);
  if (!outcome.notRemoved.empty()) ui::ShowMessageBox(outcome.notRemoved);
  return outcome;
}

void SplitPanel::ShowOutcome(const std::optional<SplitOutcome>& outcome) {
  runner_.SetStatus(outcome ? SplitOutcomeText(*outcome) : kSplitDeclined);
  runner_.SetBar(outcome && outcome->kind == SplitOutcome::Kind::kWritten);
}

void SplitPanel::OnPieceSizeChange() {
  if (!writingPreset_) dialog_.SetItemChoice(IDC_SIZE_PRESET, 0);
  RefreshPreview();
}

void SplitPanel::OnSizePresetChange() {
  const int choice = dialog_.GetItemChoice(IDC_SIZE_PRESET);
  if (choice < 1 || std::size_t(choice) > kSizePresetCount) return;  // "Any size" keeps the field's
  std::uint64_t length = 0;
  bool folder = false;
  if (!LookUpSource(source_, length, folder)) length = 0;
  const std::uint64_t size =
      PresetPieceSize(kSizePresets[choice - 1], length, dialog_.GetItemText(IDC_SOURCE_PATH));
  const std::string text = FormatDecimal(size / kBytesPerKb);
  if (size == 0 || text == dialog_.GetItemText(IDC_PIECE_SIZE)) return;
  writingPreset_ = true;
  dialog_.SetItemText(IDC_PIECE_SIZE, text);  // refreshes the preview
  writingPreset_ = false;
}

std::uint64_t SplitPanel::RecoveryCount() const {
  const int choice = dialog_.GetItemChoice(IDC_RECOVERY);
  return choice >= 0 && std::size_t(choice) < std::size(kRecoveryChoices) ? kRecoveryChoices[choice] : 0;
}

bool SplitPanel::LookUpSource(const std::string& path, std::uint64_t& length, bool& folder) const {
  ui::FileFind find;
  if (!find.FindFile(path)) return false;
  find.FindNext();
  length = find.GetLength();
  folder = find.IsDirectory();
  return true;
}

void SplitPanel::RefreshPreview() {
  if (runner_.Running() || !active_) return;
  // What the last split or refresh said no longer holds.
  runner_.ClearOutcome();
  const std::string path = dialog_.GetItemText(IDC_SOURCE_PATH);
  std::uint64_t length = 0;
  bool folder = false;
  if (!LookUpSource(source_, length, folder)) return;
  const std::uint32_t size = ParseDecimal(dialog_.GetItemText(IDC_PIECE_SIZE));
  if (size < kSmallestPieceSize) {
    ui::ShowMessageBox(kSizeNoValid);
    dialog_.SetItemText(IDC_PIECE_SIZE, "10");  // refreshes again, nested, with 10
    return;
  }
  previewBase_ = BaseNameOf(path);
  const std::uint64_t count = PieceCount(length, path, size);
  const std::uint64_t recovery = RecoveryCount();
  // A set that cannot have the recovery pieces chosen is not split at all;
  // without recovery pieces any count is split.
  const bool fits = recovery == 0 || RecoveryFits(count, recovery);
  previewPieces_ = fits ? count : 0;
  const std::uint64_t recoveryShown = count && fits ? recovery : 0;
  // The last name of each kind has the most digits (which share one width
  // in the system fonts), so the longer of the two is the widest; of two
  // as long, the piece's, whose digit is wider than the 'r'.
  previewWidest_ = previewPieces_ ? PieceFileName(previewBase_, previewPieces_ - 1) : std::string();
  if (recoveryShown) {
    const std::string last = RecoveryPieceFileName(previewBase_, recoveryShown - 1);
    if (last.size() > previewWidest_.size()) previewWidest_ = last;
  }
  dialog_.ResetList(IDC_PIECE_LIST, previewPieces_ + recoveryShown, previewWidest_);
  if (count == 0) runner_.SetStatus(folder ? kSourceIsFolder : kSourceTooSmall);
  else if (!fits) runner_.SetStatus(kTooManyForRecovery);
}

std::string SplitPanel::ItemText(std::uint64_t k) const {
  return k < previewPieces_ ? PieceFileName(previewBase_, k) : RecoveryPieceFileName(previewBase_, k - previewPieces_);
}

}  // namespace morsela
