// The splitter's one window: the source path, the piece size, the count of
// recovery pieces, the split command, the preview list of the pieces' names
// (then the recovery pieces') and, below them, a status line, the split's
// progress bar and its Cancel button. The dialog keeps no copy of its
// inputs but the source as the system named it: every handler reads the
// fields back.
//
// A piece of a set, or a restore program that Morsela wrote, puts the
// window into restore mode: the path field shows the file chosen, the size
// field the set's piece size (read-only), the list the set's pieces with
// what the folder holds of them, and the split command reads "Restore
// File" and rebuilds the file beside the pieces with the restore the
// restore program runs; the count of recovery pieces is disabled.
//
// A split runs inside its command's handler, on the window's own thread:
// the engine reports each block to the dialog, which draws the progress now
// and then and lets the window handle what is pending, so the window stays
// responsive, and tells the engine to stop when asked.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "dialog.h"
#include "pipeline/progress.h"
#include "restore/restore.h"
#include "split/split_run.h"
#include "wrappers.h"

namespace morsela {

namespace ui {
class TaskbarProgress;
}

// The smallest size the preview accepts while a source is chosen.
constexpr std::uint32_t kSmallestPieceSize = 10;

// The shortest time between two drawings of a split's progress.
constexpr std::uint64_t kProgressDrawInterval = 50;  // milliseconds

class CSplitterDlg : public ui::Dialog, private Progress {
 public:
  explicit CSplitterDlg(ui::Dialog* parent = nullptr);
  ~CSplitterDlg() override;

  // The file the window chooses when it opens, as if it were dropped onto
  // it (the path the program was started with); empty for none.
  void SetStartUpPath(std::string path) { startUpPath_ = std::move(path); }

  // Rebuilds the preview list from the fields and clears what the status
  // line said; answers a size below 10 with a message and sets the field
  // back to "10" (which refreshes again, nested, through the field's
  // change notification). When the list stays empty for a source that
  // exists (too small, or too many pieces for the recovery pieces chosen),
  // the status line says why. Does nothing while a split runs.
  void RefreshPreview();

  ui::Result WindowProc(ui::Message message, ui::WParam wParam, ui::LParam lParam) override;

 protected:
  const ui::MessageMap* GetMessageMap() const override;
  bool OnInitDialog() override;
  // While a split runs, Enter does nothing and Esc stops the split, keeping
  // the window; otherwise each ends the dialog.
  void OnOK() override;
  void OnCancel() override;

 private:
  static const ui::MessageEntry kMessageEntries[];
  static const ui::MessageMap kMessageMap;

  // What the user (or the session's end) asked of the split that runs.
  enum class Stop { kNone, kKeepWindow, kCloseWindow, kEndSession };

  void OnPaint();
  ui::Result OnQueryDragIcon();
  // The system has laid the window out at a new scale: the icons and the
  // list's columns follow.
  ui::Result OnDpiChanged();
  void OnChooseFile();
  void OnSplitCurrentFile();
  void OnCancelSplit();
  // The close box: stops a split and closes the window once it has stopped.
  void OnClose();
  // The session is ending: a split stops, removes its files and closes the
  // window, and the system shows why the program holds the session up
  // meanwhile.
  ui::Result OnQueryEndSession();
  // Typing a size sets the presets back to "Any size".
  void OnPieceSizeChange();
  // A preset chosen writes its size into the size field, the one place the
  // size is read from; equal parts need a file, and wait for one.
  void OnSizePresetChange();
  void OnRecoveryChange();
  // The count of recovery pieces chosen.
  std::uint64_t RecoveryCount() const;
  void OnGetPieceName(ui::ListTextRequest& request);

  // Runs `work` (a split or a restore) with the controls that start or
  // change one disabled, its progress shown, and Cancel, Esc, the close
  // box and the session's end stopping it; then `showOutcome`, unless the
  // window is to close, and the focus goes back to the control that had
  // it.
  void RunWork(const std::function<void()>& work, const std::function<void()>& showOutcome);

  // Restore mode (splitter_dlg_restore.cpp): shows the set `source` leads
  // to; leaves it for a file to split, giving the size field back.
  void ShowSet(const SetSource& source);
  void LeaveRestoreMode();
  void OnRestoreFile();
  void ShowRestoreOutcome(const RestoreResult& result, const std::string& output);
  std::string SetPieceText(std::uint64_t k) const;

  // Takes `path` as the source, however it came (a drop, the open-file
  // dialog, the command line): shows it and refreshes the preview.
  void ChooseSource(const std::string& path);
  // Gives the window its two icons at its scale.
  void SetIcons();
  // Offers the counts of recovery pieces a split may have, `chosen` chosen.
  void SetRecoveryChoices(int chosen);

  // The engine's reports, during SplitFile.
  void Begin(const std::string& name, std::uint64_t total) override;
  bool Advance(const ProgressReport& report) override;

  // Disables the controls that start or change a split and enables Cancel,
  // or the other way round (the count of recovery pieces stays disabled in
  // restore mode).
  void SetSplitting(bool splitting);
  void DrawProgress(const ProgressReport& report);
  void SetStatus(const std::string& text);
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

  ui::ProgramIcon bigIcon_, smallIcon_;
  std::string startUpPath_;
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

  // Restore mode: the set the chosen file leads to and what a look at it
  // found; the size field's text before, given back after it.
  std::optional<SetSource> restore_;
  SetView restoreView_;
  // The pieces the last restore found damaged, in order, marked in the list.
  std::vector<std::uint64_t> restoreDamaged_;
  std::string splitSize_;
  int splitRecovery_ = 0;  // the count of recovery pieces chosen before
  bool writingPreset_ = false;  // the size field's change is the preset's

  std::string status_;      // what the status line shows
  bool barFilled_ = false;  // the bar shows something, to be cleared
  bool splitting_ = false;
  Stop stop_ = Stop::kNone;
  // Of the split that runs: the count the preview gave, for the first line
  // of text; the piece the line names; when the progress was last drawn.
  std::uint64_t expectedPieces_ = 0;
  std::uint64_t pieceShown_ = 0;
  std::uint64_t lastDrawn_ = 0;
  ui::TaskbarProgress* taskbar_ = nullptr;
};

}  // namespace morsela
