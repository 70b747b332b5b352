#include "splitter_dlg.h"

#include "resource.h"
#include "restore/chosen_set.h"

namespace morsela {

const ui::MessageEntry CSplitterDlg::kMessageEntries[] = {
    {ui::kWmPaint, 0, 0, &ui::Invoke<&CSplitterDlg::OnPaint>},
    {ui::kWmQueryDragIcon, 0, 0, &ui::Invoke<&CSplitterDlg::OnQueryDragIcon>},
    {ui::kWmDpiChanged, 0, 0, &ui::Invoke<&CSplitterDlg::OnDpiChanged>},
    {ui::kWmCommand, ui::kBnClicked, IDC_CHOOSE_FILE, &ui::Invoke<&CSplitterDlg::OnChooseFile>},
    {ui::kWmCommand, ui::kBnClicked, IDC_SPLIT_FILE, &ui::Invoke<&CSplitterDlg::OnStartWork>},
    {ui::kWmCommand, ui::kBnClicked, IDC_CANCEL_WORK, &ui::Invoke<&CSplitterDlg::OnCancelWork>},
    {ui::kWmClose, 0, 0, &ui::Invoke<&CSplitterDlg::OnClose>},
    {ui::kWmQueryEndSession, 0, 0, &ui::Invoke<&CSplitterDlg::OnQueryEndSession>},
    {ui::kWmCommand, ui::kEnChange, IDC_PIECE_SIZE, &ui::Invoke<&CSplitterDlg::OnPieceSizeChange>},
    {ui::kWmCommand, ui::kCbnSelChange, IDC_SIZE_PRESET, &ui::Invoke<&CSplitterDlg::OnSizePresetChange>},
    {ui::kWmCommand, ui::kCbnSelChange, IDC_RECOVERY, &ui::Invoke<&CSplitterDlg::OnRecoveryChange>},
    // The list holds no texts of its own; it asks for each one it shows.
    {ui::kWmNotify, ui::kLvnGetDispInfo, IDC_PIECE_LIST, &ui::Invoke<&CSplitterDlg::OnGetPieceName>},
};
const ui::MessageMap CSplitterDlg::kMessageMap = {&Dialog::kMessageMap, kMessageEntries,
                                                  std::size(kMessageEntries)};

CSplitterDlg::CSplitterDlg(ui::Dialog* parent)
    : Dialog(IDD_SPLITTER_DIALOG, parent),
      runner_(*this, [this](bool idle) { EnableControls(idle); }),
      split_(*this, runner_),
      restore_(*this, runner_) {}

CSplitterDlg::~CSplitterDlg() = default;

const ui::MessageMap* CSplitterDlg::GetMessageMap() const { return &kMessageMap; }

bool CSplitterDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  SetIcons();
  split_.Open();
  AcceptFiles(true);
  if (!startUpPath_.empty()) ChooseSource(startUpPath_);
  return true;  // the focus goes to the first tab stop, "Choose a File"
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
  const std::string& widest = restore_.Active() ? restore_.Widest() : split_.Widest();
  if (!widest.empty()) FitListColumns(IDC_PIECE_LIST, widest);
  return result;
}

void CSplitterDlg::ChooseSource(const std::string& path) {
  SetItemText(IDC_SOURCE_PATH, path);
  if (const std::optional<SetSource> set = SetOfChosenFile(path)) {
    if (split_.Active()) split_.Leave();
    return restore_.Show(*set);
  }
  restore_.Forget();
  split_.TakeSource(path);
}

ui::Result CSplitterDlg::WindowProc(ui::Message message, ui::WParam wParam, ui::LParam lParam) {
  if (message == ui::kWmDropFiles) {
    // Only the first item counts, taken whole; a folder is taken like a file.
    // A drop during work (one queued before it began) is refused.
    const bool running = runner_.Running();
    const std::string name = running ? std::string() : ui::DroppedFileName(wParam, 0);
    ui::FinishDrop(wParam);
    if (running) return 0;
    ChooseSource(name);
  }
  return Dialog::WindowProc(message, wParam, lParam);
}

void CSplitterDlg::EnableControls(bool idle) {
  EnableItem(IDC_CHOOSE_FILE, idle);
  EnableItem(IDC_SPLIT_FILE, idle);
  EnableItem(IDC_PIECE_SIZE, idle);
  split_.EnableControls(idle);
}

void CSplitterDlg::OnOK() {
  if (!runner_.Running()) Dialog::OnOK();
}

void CSplitterDlg::OnCancel() {
  if (!runner_.Running()) return Dialog::OnCancel();
  runner_.StopKeepingWindow();
}

void CSplitterDlg::OnCancelWork() { runner_.StopKeepingWindow(); }

void CSplitterDlg::OnClose() {
  if (!runner_.Running()) {
    Default();  // as Esc: IDCANCEL
    return;
  }
  runner_.StopClosingWindow();
}

ui::Result CSplitterDlg::OnQueryEndSession() {
  if (!runner_.Running()) return Default();
  runner_.StopForSessionEnd();
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
  if (runner_.Running()) return;
  ui::OpenFileDialog chooser("All Files|*.*||");
  if (!chooser.DoModal(*this)) return;
  ChooseSource(chooser.GetPathName());
}

void CSplitterDlg::OnStartWork() {
  if (runner_.Running()) return;  // one at a time, whatever message comes
  if (restore_.Active()) return restore_.OnRestoreFile();
  split_.OnSplitCurrentFile();
}

void CSplitterDlg::OnGetPieceName(ui::ListTextRequest& request) {
  request.SetText(restore_.Active() ? restore_.ItemText(request.index()) : split_.ItemText(request.index()));
}

}  // namespace morsela
