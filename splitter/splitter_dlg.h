// The splitter's one window: the source path, the piece size, the split
// command and the preview list of the pieces' names. The dialog keeps no
// copy of its inputs: every handler reads the two fields back.
#pragma once

#include <cstdint>
#include <string>

#include "dialog.h"
#include "split_engine.h"

namespace morsela {

// Texts of the dialog's own messages.
extern const char kNoFileSelected[];
extern const char kSizeNoValid[];

// The smallest size the preview accepts while a source is chosen.
constexpr std::uint32_t kSmallestPieceSize = 10;

class CSplitterDlg : public ui::Dialog {
 public:
  explicit CSplitterDlg(ui::Dialog* parent = nullptr);
  ~CSplitterDlg() override;

  // Rebuilds the preview list from the two fields; answers a size below 10
  // with a message and sets the field back to "10" (which refreshes again,
  // nested, through the field's change notification).
  void RefreshPreview();

  ui::Result WindowProc(ui::Message message, ui::WParam wParam, ui::LParam lParam) override;

 protected:
  const ui::MessageMap* GetMessageMap() const override;
  bool OnInitDialog() override;

 private:
  static const ui::MessageEntry kMessageEntries[];
  static const ui::MessageMap kMessageMap;

  void OnPaint();
  ui::Result OnQueryDragIcon();
  void OnChooseFile();
  void OnSplitCurrentFile();
  void OnPieceSizeChange();
  void OnGetPieceName(ui::ListTextRequest& request);

  // True when a directory search finds `path` (a folder counts too); its
  // length in `length`.
  bool LookUpSource(const std::string& path, std::uint64_t& length) const;

  ui::Icon icon_;
  CSplitEngine engine_;
  // The base name of the pieces the list shows: the list asks for its item
  // texts whenever it draws, and must go on showing the names of the last
  // refresh when the path field has come to name another file since.
  std::string previewBase_;
};

}  // namespace morsela
