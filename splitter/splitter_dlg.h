// The splitter's one window: the source path, the piece size, the count of
// recovery pieces, the command, the list of the pieces' names and, below
// them, a status line, a progress bar and its Cancel button. A file to
// split puts it in split mode (split_panel.h); a piece of a set, or a
// restore program that Morsela wrote, in restore mode (restore_panel.h).
// Both run their long work through one runner (work_runner.h). The dialog
// itself keeps what is the window's: its icons and scale, the choosing and
// dropping of a file, and which panel has the controls.
#pragma once

#include <string>

#include "dialog.h"
#include "restore_panel.h"
#include "split_panel.h"
#include "work_runner.h"
#include "wrappers.h"

namespace morsela {

class CSplitterDlg : public ui::Dialog {
 public:
  explicit CSplitterDlg(ui::Dialog* parent = nullptr);
  ~CSplitterDlg() override;

  // The file the window chooses when it opens, as if it were dropped onto
  // it (the path the program was started with); empty for none.
  void SetStartUpPath(std::string path) { startUpPath_ = std::move(path); }

  // The split mode's preview from the fields (split_panel.h).
  void RefreshPreview() { split_.RefreshPreview(); }

  ui::Result WindowProc(ui::Message message, ui::WParam wParam, ui::LParam lParam) override;

 protected:
  const ui::MessageMap* GetMessageMap() const override;
  bool OnInitDialog() override;
  // While work runs, Enter does nothing and Esc stops the work, keeping
  // the window; otherwise each ends the dialog.
  void OnOK() override;
  void OnCancel() override;

 private:
  static const ui::MessageEntry kMessageEntries[];
  static const ui::MessageMap kMessageMap;

  void OnPaint();
  ui::Result OnQueryDragIcon();
  // The system has laid the window out at a new scale: the icons and the
  // list's columns follow.
  ui::Result OnDpiChanged();
  void OnChooseFile();
  // The command: a split, or a restore in restore mode.
  void OnStartWork();
  void OnCancelWork();
  // The close box: stops the work and closes the window once it has stopped.
  void OnClose();
  // The session is ending: the work stops, removes its files and closes
  // the window.
  ui::Result OnQueryEndSession();
  void OnPieceSizeChange() { split_.OnPieceSizeChange(); }
  void OnSizePresetChange() { split_.OnSizePresetChange(); }
  void OnRecoveryChange() { split_.OnRecoveryChange(); }
  void OnGetPieceName(ui::ListTextRequest& request);

  // Takes `path` as the file chosen, however it came (a drop, the open-file
  // dialog, the command line): a set to restore, or a file to split.
  void ChooseSource(const std::string& path);
  // Gives the window its two icons at its scale.
  void SetIcons();
  // Enables the controls that start or change work, or disables them.
  void EnableControls(bool idle);

  ui::ProgramIcon bigIcon_, smallIcon_;
  std::string startUpPath_;
  WorkRunner runner_;
  SplitPanel split_;
  RestorePanel restore_;
};

}  // namespace morsela
