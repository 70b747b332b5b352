#include "splitter_dlg.h"

#include "pieces.h"
#include "resource.h"
#include "wrappers.h"

namespace morsela {

const char kNoFileSelected[] = "No File Selected !";
const char kSizeNoValid[] = "Size No Valid !";

const ui::MessageEntry CSplitterDlg::kMessageEntries[] = {
    {ui::kWmPaint, 0, 0, &ui::Invoke<&CSplitterDlg::OnPaint>},
    {ui::kWmQueryDragIcon, 0, 0, &ui::Invoke<&CSplitterDlg::OnQueryDragIcon>},
    {ui::kWmCommand, ui::kBnClicked, IDC_CHOOSE_FILE, &ui::Invoke<&CSplitterDlg::OnChooseFile>},
    {ui::kWmCommand, ui::kBnClicked, IDC_SPLIT_FILE, &ui::Invoke<&CSplitterDlg::OnSplitCurrentFile>},
    {ui::kWmCommand, ui::kEnChange, IDC_PIECE_SIZE, &ui::Invoke<&CSplitterDlg::OnPieceSizeChange>},
    // The preview list holds no texts of its own; it asks for each one it shows.
    {ui::kWmNotify, ui::kLvnGetDispInfo, IDC_PIECE_LIST, &ui::Invoke<&CSplitterDlg::OnGetPieceName>},
};
const ui::MessageMap CSplitterDlg::kMessageMap = {&Dialog::kMessageMap, kMessageEntries,
                                                  std::size(kMessageEntries)};

CSplitterDlg::CSplitterDlg(ui::Dialog* parent)
    : Dialog(IDD_SPLITTER_DIALOG, parent), icon_(ui::LoadProgramIcon(IDI_SPLITTER_ICON)) {}

CSplitterDlg::~CSplitterDlg() = default;

const ui::MessageMap* CSplitterDlg::GetMessageMap() const { return &kMessageMap; }

bool CSplitterDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  SendToWindow(ui::kWmSetIcon, ui::kIconBig, ui::LParam(icon_));
  SendToWindow(ui::kWmSetIcon, ui::kIconSmall, ui::LParam(icon_));
  // Sends EN_CHANGE: the refresh finds the empty path field names nothing.
  SetItemText(IDC_PIECE_SIZE, "100");
  AcceptFiles(true);
  return true;  // the focus goes to the first tab stop, "Choose a File"
}

ui::Result CSplitterDlg::WindowProc(ui::Message message, ui::WParam wParam, ui::LParam lParam) {
  if (message == ui::kWmDropFiles) {
    // Only the first item counts, taken whole; a folder is taken like a file.
    const std::string name = ui::DroppedFileName(wParam, 0);
    ui::FinishDrop(wParam);
    SetItemText(IDC_SOURCE_PATH, name);
    RefreshPreview();
  }
  return Dialog::WindowProc(message, wParam, lParam);
}

void CSplitterDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  ui::PaintContext dc(*this);
  SendToWindow(ui::kWmIconEraseBkgnd, dc.handle(), 0);
  const ui::Rect client = GetClientRect();
  const int x = (client.Width() - ui::IconWidth() + 1) / 2;
  const int y = (client.Height() - ui::IconHeight() + 1) / 2;
  dc.DrawIcon(x, y, icon_);
}

ui::Result CSplitterDlg::OnQueryDragIcon() { return ui::Result(icon_); }

void CSplitterDlg::OnChooseFile() {
  ui::OpenFileDialog chooser("All Files|*.*||");
  if (!chooser.DoModal(*this)) return;
  SetItemText(IDC_SOURCE_PATH, chooser.GetPathName());
  RefreshPreview();
}

void CSplitterDlg::OnSplitCurrentFile() {
  const std::string path = GetItemText(IDC_SOURCE_PATH);
  std::uint64_t length = 0;
  if (!LookUpSource(path, length)) return ui::ShowMessageBox(kNoFileSelected);
  const std::uint32_t size = engine_.ParseDecimal(GetItemText(IDC_PIECE_SIZE));
  if (size == 0) return ui::ShowMessageBox(kSizeNoValid);
  const std::uint64_t count = PieceCount(length, path, size);

  // Disabling the control with the focus takes the focus away; it goes back
  // afterwards so that the keyboard still reaches the window.
  const int focus = GetFocusedItem();
  EnableItem(IDC_CHOOSE_FILE, false);
  EnableItem(IDC_SPLIT_FILE, false);
  EnableItem(IDC_PIECE_SIZE, false);
  {
    ui::WaitCursor wait;
    engine_.SplitFile(path, size, count);
  }
  EnableItem(IDC_CHOOSE_FILE, true);
  EnableItem(IDC_SPLIT_FILE, true);
  EnableItem(IDC_PIECE_SIZE, true);
  if (focus != 0 && GetFocusedItem() == 0) FocusItem(focus);
}

void CSplitterDlg::OnPieceSizeChange() { RefreshPreview(); }

bool CSplitterDlg::LookUpSource(const std::string& path, std::uint64_t& length) const {
  ui::FileFind find;
  if (!find.FindFile(path)) return false;
  find.FindNext();
  length = find.GetLength();
  return true;
}

void CSplitterDlg::RefreshPreview() {
  const std::string path = GetItemText(IDC_SOURCE_PATH);
  std::uint64_t length = 0;
  if (!LookUpSource(path, length)) return;
  const std::uint32_t size = engine_.ParseDecimal(GetItemText(IDC_PIECE_SIZE));
  if (size < kSmallestPieceSize) {
    ui::ShowMessageBox(kSizeNoValid);
    SetItemText(IDC_PIECE_SIZE, "10");  // refreshes again, nested, with 10
    return;
  }
  previewBase_ = engine_.BaseNameOf(path);
  const std::uint64_t count = PieceCount(length, path, size);
  // The last name has the most digits (which share one width in the
  // system fonts), so it is the widest.
  ResetList(IDC_PIECE_LIST, count, count ? PieceFileName(previewBase_, count - 1) : std::string());
}

void CSplitterDlg::OnGetPieceName(ui::ListTextRequest& request) {
  request.SetText(PieceFileName(previewBase_, request.index()));
}

}  // namespace morsela
