#include "splitter_dlg.h"

#include "restore/chosen_set.h"
#include "format/erasure_code.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "split/size_presets.h"
#include "resource.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

// Texts of the status line.
const char kSourceTooSmall[] = "This file is under 1,000 bytes: too small to split.";
const char kSourceIsFolder[] = "This is a folder: choose a file to split.";
const char kTooManyForRecovery[] = "Too many pieces for recovery pieces: choose a larger size.";
const char kFewerPieces[] = "Choose a larger size or fewer recovery pieces.";

// The counts of recovery pieces the drop-down list offers, in its order.
constexpr std::uint64_t kRecoveryChoices[] = {0, 1, 2, 3, 5, 10};

// Runs `action` when the scope ends, however it ends.
template <typename F>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(F action) : action_(action) {}
  ~AtScopeEnd() { action_(); }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;

 private:
  F action_;
};

}  // namespace

const ui::MessageEntry CSplitterDlg::kMessageEntries[] = {
    {ui::kWmPaint, 0, 0, &ui::Invoke<&CSplitterDlg::OnPaint>},
    {ui::kWmQueryDragIcon, 0, 0, &ui::Invoke<&CSplitterDlg::OnQueryDragIcon>},
    {ui::kWmDpiChanged, 0, 0, &ui::Invoke<&CSplitterDlg::OnDpiChanged>},
    {ui::kWmCommand, ui::kBnClicked, IDC_CHOOSE_FILE, &ui::Invoke<&CSplitterDlg::OnChooseFile>},
    {ui::kWmCommand, ui::kBnClicked, IDC_SPLIT_FILE, &ui::Invoke<&CSplitterDlg::OnSplitCurrentFile>},
    {ui::kWmCommand, ui::kBnClicked, IDC_CANCEL_SPLIT, &ui::Invoke<&CSplitterDlg::OnCancelSplit>},
    {ui::kWmClose, 0, 0, &ui::Invoke<&CSplitterDlg::OnClose>},
    {ui::kWmQueryEndSession, 0, 0, &ui::Invoke<&CSplitterDlg::OnQueryEndSession>},
    {ui::kWmCommand, ui::kEnChange, IDC_PIECE_SIZE, &ui::Invoke<&CSplitterDlg::OnPieceSizeChange>},
    {ui::kWmCommand, ui::kCbnSelChange, IDC_SIZE_PRESET, &ui::Invoke<&CSplitterDlg::OnSizePresetChange>},
    {ui::kWmCommand, ui::kCbnSelChange, IDC_RECOVERY, &ui::Invoke<&CSplitterDlg::OnRecoveryChange>},
    // The preview list holds no texts of its own; it asks for each one it shows.
    {ui::kWmNotify, ui::kLvnGetDispInfo, IDC_PIECE_LIST, &ui::Invoke<&CSplitterDlg::OnGetPieceName>},
};
const ui::MessageMap CSplitterDlg::kMessageMap = {&Dialog::kMessageMap, kMessageEntries,
                                                  std::size(kMessageEntries)};

CSplitterDlg::CSplitterDlg(ui::Dialog* parent) : Dialog(IDD_SPLITTER_DIALOG, parent) {}

CSplitterDlg::~CSplitterDlg() = default;

const ui::MessageMap* CSplitterDlg::GetMessageMap() const { return &kMessageMap; }

bool CSplitterDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  SetIcons();
  std::vector<std::string> presets{"Any size"};
  for (std::size_t i = 0; i < kSizePresetCount; ++i) presets.push_back(kSizePresets[i].label);
  SetItemChoices(IDC_SIZE_PRESET, presets);
  SetItemChoice(IDC_SIZE_PRESET, 0);
  SetRecoveryChoices(0);
  // Sends EN_CHANGE: the refresh finds the empty path field names nothing.
  SetItemText(IDC_PIECE_SIZE, "100");
  AcceptFiles(true);
  if (!startUpPath_.empty()) ChooseSource(startUpPath_);
  return true;  // the focus goes to the first tab stop, "Choose a File"
}

void CSplitterDlg::SetRecoveryChoices(int chosen) {
  std::vector<std::string> choices;
  for (const std::uint64_t r : kRecoveryChoices)
    choices.push_back(r ? CountOf(r, "piece", "pieces") : std::string("None"));
  SetItemChoices(IDC_RECOVERY, choices);
  SetItemChoice(IDC_RECOVERY, chosen >= 0 ? chosen : 0);
}

void CSplitterDlg::SetIcons() {
  // The window takes the new icons before the old ones are destroyed.
  ui::ProgramIcon big(IDI_SPLITTER_ICON, ui::IconSize(ui::IconKind::kBig, Dpi()));
  ui::ProgramIcon little(IDI_SPLITTER_ICON, ui::IconSize(ui::IconKind::kSmall, Dpi()));
  SendToWindow(ui::kWmSetIcon, ui::kIconBig, ui::LParam(big.get()));
  SendToWindow(ui::kWmSetIcon, ui::kIconSmall, ui::LParam(little.get()));
  bigIcon_ = std::move(big);
  smallIcon_ = std::move(little);
}

ui::Result CSplitterDlg::OnDpiChanged() {
  // The system moves and sizes the window and lays its controls out again
  // in the font of the new scale.
  const ui::Result result = Default();
  SetIcons();
  if (!previewWidest_.empty()) FitListColumns(IDC_PIECE_LIST, previewWidest_);
  return result;
}

void CSplitterDlg::ChooseSource(const std::string& path) {
  source_ = path;
  SetItemText(IDC_SOURCE_PATH, path);
  if (const std::optional<SetSource> set = SetOfChosenFile(path)) return ShowSet(*set);
  if (restore_) LeaveRestoreMode();
  // Equal parts chosen take the new file's size.
  const std::string size = GetItemText(IDC_PIECE_SIZE);
  OnSizePresetChange();
  if (GetItemText(IDC_PIECE_SIZE) == size) RefreshPreview();
}

ui::Result CSplitterDlg::WindowProc(ui::Message message, ui::WParam wParam, ui::LParam lParam) {
  if (message == ui::kWmDropFiles) {
    // Only the first item counts, taken whole; a folder is taken like a file.
    // A drop during a split (one queued before it began) is refused.
    const std::string name = splitting_ ? std::string() : ui::DroppedFileName(wParam, 0);
    ui::FinishDrop(wParam);
    if (splitting_) return 0;
    ChooseSource(name);
  }
  return Dialog::WindowProc(message, wParam, lParam);
}

void CSplitterDlg::OnOK() {
  if (!splitting_) Dialog::OnOK();
}

void CSplitterDlg::OnCancel() {
  if (!splitting_) return Dialog::OnCancel();
  if (stop_ == Stop::kNone) stop_ = Stop::kKeepWindow;
}

void CSplitterDlg::OnCancelSplit() {
  if (splitting_ && stop_ == Stop::kNone) stop_ = Stop::kKeepWindow;
}

void CSplitterDlg::OnClose() {
  if (!splitting_) {
    Default();  // as Esc: IDCANCEL
    return;
  }
  if (stop_ != Stop::kEndSession) stop_ = Stop::kCloseWindow;
}

ui::Result CSplitterDlg::OnQueryEndSession() {
  if (!splitting_) return Default();
  // The split stops at once and cleans up before this thread looks at its
  // messages again, so the end of the session waits for the clean-up.
  stop_ = Stop::kEndSession;
  ui::BlockSessionEnd(*this, restore_ ? "Stopping a restore" : "Stopping a split");
  return 1;
}

void CSplitterDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  ui::PaintContext dc(*this);
  SendToWindow(ui::kWmIconEraseBkgnd, dc.handle(), 0);
  const ui::Rect client = GetClientRect();
  const int size = ui::IconSize(ui::IconKind::kBig, Dpi());
  const int x = (client.Width() - size + 1) / 2;
  const int y = (client.Height() - size + 1) / 2;
  dc.DrawIcon(x, y, bigIcon_.get());
}

ui::Result CSplitterDlg::OnQueryDragIcon() { return ui::Result(bigIcon_.get()); }

void CSplitterDlg::OnChooseFile() {
  if (splitting_) return;
  ui::OpenFileDialog chooser("All Files|*.*||");
  if (!chooser.DoModal(*this)) return;
  ChooseSource(chooser.GetPathName());
}

void CSplitterDlg::OnSplitCurrentFile() {
  if (splitting_) return;  // one split at a time, whatever message comes
  if (restore_) return OnRestoreFile();
  const std::string path = GetItemText(IDC_SOURCE_PATH), source = source_;
  std::uint64_t length = 0;
  bool folder = false;
  if (!LookUpSource(source, length, folder)) return ui::ShowMessageBox(kNoFileSelected);
  const std::uint32_t size = ParseDecimal(GetItemText(IDC_PIECE_SIZE));
  if (size == 0) return ui::ShowMessageBox(kSizeNoValid);
  expectedPieces_ = PieceCount(length, path, size);
  const std::uint64_t recovery = RecoveryCount();
  if (expectedPieces_ && recovery && !RecoveryFits(expectedPieces_, recovery))
    return ui::ShowMessageBox(WithDetail(kTooManyPieces, kFewerPieces));
  const SplitLook look{path, source, std::uint64_t(size) * kBytesPerKb, recovery};
  std::optional<SplitOutcome> outcome;
  RunWork([&] { outcome = SplitAsked(look); }, [&] { ShowOutcome(outcome); });
}

std::optional<SplitOutcome> CSplitterDlg::SplitAsked(const SplitLook& look) {
  SplitPlan plan = PlanSplit(look);
  SplitOutcome outcome;
  if (plan.refusal) {
    ui::ShowMessageBox(*plan.refusal);
    outcome.refusal = *plan.refusal;
    return outcome;
  }
  if (!plan.question.empty() && !ui::AskYesNo(plan.question)) return std::nullopt;
  outcome = Split(plan, this);
  if (!outcome.refusal.empty()) ui::ShowMessageBox(outcome.refusal);
  if (!outcome.notRemoved.empty()) ui::ShowMessageBox(outcome.notRemoved);
  return outcome;
}

void CSplitterDlg::RunWork(const std::function<void()>& work, const std::function<void()>& showOutcome) {
  // Disabling the control with the focus takes the focus away, and a
  // message box of the work leaves it wherever the system puts it.
  const int focus = GetFocusedItem();
  {
    SetSplitting(true);
    AtScopeEnd idle([this] { SetSplitting(false); });
    ui::TaskbarProgress taskbar(*this);
    taskbar_ = &taskbar;
    AtScopeEnd forget([this] { taskbar_ = nullptr; });
    work();
  }
  if (stop_ == Stop::kEndSession) ui::AllowSessionEnd(*this);
  if (stop_ == Stop::kCloseWindow || stop_ == Stop::kEndSession) return EndDialog(ui::kIdCancel);
  showOutcome();
  if (focus != 0 && GetFocusedItem() != focus) FocusItem(focus);
}

void CSplitterDlg::SetSplitting(bool splitting) {
  splitting_ = splitting;
  if (splitting) stop_ = Stop::kNone;
  EnableItem(IDC_CHOOSE_FILE, !splitting);
  EnableItem(IDC_SPLIT_FILE, !splitting);
  EnableItem(IDC_PIECE_SIZE, !splitting);
  EnableItem(IDC_SIZE_PRESET, !splitting && !restore_);
  EnableItem(IDC_RECOVERY, !splitting && !restore_);
  EnableItem(IDC_CANCEL_SPLIT, splitting);
  // The keys go to Cancel meanwhile; Esc reaches the window either way.
  if (splitting && GetFocusedItem() == 0) FocusItem(IDC_CANCEL_SPLIT);
  AcceptFiles(!splitting);
}

void CSplitterDlg::Begin(const std::string&, std::uint64_t total) {
  pieceShown_ = std::uint64_t(-1);
  lastDrawn_ = ui::Milliseconds();
  DrawProgress({0, total, 0, expectedPieces_});
}

bool CSplitterDlg::Advance(const ProgressReport& report) {
  // At most about 20 drawings a second, and always the last block's, so
  // that a finished bar is full.
  const std::uint64_t now = ui::Milliseconds();
  if (now - lastDrawn_ >= kProgressDrawInterval || report.done >= report.total) {
    DrawProgress(report);
    lastDrawn_ = now;
  }
  HandlePendingMessages();
  return stop_ == Stop::kNone;
}

void CSplitterDlg::DrawProgress(const ProgressReport& report) {
  SetItemProgress(IDC_SPLIT_PROGRESS, report.done, report.total);
  barFilled_ = true;
  if (taskbar_) taskbar_->Set(report.done, report.total);
  // Setting the text redraws the line: only when the piece changes.
  if (report.piece != pieceShown_) {
    pieceShown_ = report.piece;
    SetStatus((restore_ ? "Reading piece " : "Writing piece ") + FormatDecimal(report.piece + 1) + " of " +
              FormatDecimal(report.pieces) + "...");
  }
}

void CSplitterDlg::ShowOutcome(const std::optional<SplitOutcome>& outcome) {
  SetStatus(outcome ? SplitOutcomeText(*outcome) : kSplitDeclined);
  const bool written = outcome && outcome->kind == SplitOutcome::Kind::kWritten;
  SetItemProgress(IDC_SPLIT_PROGRESS, written ? 1 : 0, written ? 1 : 0);
  barFilled_ = written;
}

void CSplitterDlg::SetStatus(const std::string& text) {
  if (text == status_) return;
  status_ = text;
  SetItemText(IDC_SPLIT_STATUS, text);
}

void CSplitterDlg::OnPieceSizeChange() {
  if (!writingPreset_) SetItemChoice(IDC_SIZE_PRESET, 0);
  RefreshPreview();
}

void CSplitterDlg::OnSizePresetChange() {
  const int choice = GetItemChoice(IDC_SIZE_PRESET);
  if (choice < 1 || std::size_t(choice) > kSizePresetCount) return;  // "Any size" keeps the field's
  std::uint64_t length = 0;
  bool folder = false;
  if (!LookUpSource(source_, length, folder)) length = 0;
  const std::uint64_t size = PresetPieceSize(kSizePresets[choice - 1], length, GetItemText(IDC_SOURCE_PATH));
  const std::string text = FormatDecimal(size / kBytesPerKb);
  if (size == 0 || text == GetItemText(IDC_PIECE_SIZE)) return;
  writingPreset_ = true;
  SetItemText(IDC_PIECE_SIZE, text);  // refreshes the preview
  writingPreset_ = false;
}

void CSplitterDlg::OnRecoveryChange() { RefreshPreview(); }

std::uint64_t CSplitterDlg::RecoveryCount() const {
  const int choice = GetItemChoice(IDC_RECOVERY);
  return choice >= 0 && std::size_t(choice) < std::size(kRecoveryChoices) ? kRecoveryChoices[choice] : 0;
}

bool CSplitterDlg::LookUpSource(const std::string& path, std::uint64_t& length, bool& folder) const {
  ui::FileFind find;
  if (!find.FindFile(path)) return false;
  find.FindNext();
  length = find.GetLength();
  folder = find.IsDirectory();
  return true;
}

void CSplitterDlg::RefreshPreview() {
  if (splitting_ || restore_) return;
  // What the last split or refresh said no longer holds.
  SetStatus(std::string());
  if (barFilled_) {
    SetItemProgress(IDC_SPLIT_PROGRESS, 0, 0);
    barFilled_ = false;
  }
  const std::string path = GetItemText(IDC_SOURCE_PATH);
  std::uint64_t length = 0;
  bool folder = false;
  if (!LookUpSource(source_, length, folder)) return;
  const std::uint32_t size = ParseDecimal(GetItemText(IDC_PIECE_SIZE));
  if (size < kSmallestPieceSize) {
    ui::ShowMessageBox(kSizeNoValid);
    SetItemText(IDC_PIECE_SIZE, "10");  // refreshes again, nested, with 10
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
  ResetList(IDC_PIECE_LIST, previewPieces_ + recoveryShown, previewWidest_);
  if (count == 0) SetStatus(folder ? kSourceIsFolder : kSourceTooSmall);
  else if (!fits) SetStatus(kTooManyForRecovery);
}

void CSplitterDlg::OnGetPieceName(ui::ListTextRequest& request) {
  const std::uint64_t k = request.index();
  if (restore_) return request.SetText(SetPieceText(k));
  request.SetText(k < previewPieces_ ? PieceFileName(previewBase_, k)
                                     : RecoveryPieceFileName(previewBase_, k - previewPieces_));
}

}  // namespace morsela
