// Both front ends, with the window on the headless back end.
#include <memory>

#include "case_export.h"
#include "format/manifest.h"
#include "front_ends.h"
#include "headless.h"
#include "platform/platform.h"
#include "resource.h"
#include "restore/piece_set.h"
#include "restore_program.h"
#include "splitter_dlg.h"
#include "text/text.h"

namespace morsela::test {

namespace hl = ui::headless;

std::vector<FrontEnd> FrontEnds() { return {FrontEnd::kRestoreProgram, FrontEnd::kWindow}; }

const char* NameOf(FrontEnd frontEnd) {
  return frontEnd == FrontEnd::kWindow ? "Morsela's window" : "the restore program";
}

void RegisterSplitterTemplate() {
  // The controls of the dialog template, in tab order.
  hl::RegisterTemplate(IDD_SPLITTER_DIALOG, {
      {IDC_CHOOSE_FILE, hl::Kind::kButton},
      {IDC_PIECE_SIZE, hl::Kind::kEdit, hl::kNumber},
      {IDC_RECOVERY, hl::Kind::kDropDown},
      {IDC_SPLIT_FILE, hl::Kind::kButton},
      {IDC_SOURCE_PATH, hl::Kind::kEdit, hl::kReadOnly | hl::kLowerCase},
      {IDC_PIECE_LIST, hl::Kind::kList},
      {IDC_SPLIT_STATUS, hl::Kind::kText},
      {IDC_SPLIT_PROGRESS, hl::Kind::kProgress},
      {IDC_CANCEL_SPLIT, hl::Kind::kButton, hl::kDisabled},
  });
}

namespace {

// The file by which a user would open the set in the window.
std::string WayIn(const std::string& program) {
  std::unique_ptr<InputFile> file = System().OpenRead(program);
  const ManifestState state = file ? ReadManifest(*file).state : ManifestState::kAbsent;
  file.reset();
  if (state == ManifestState::kValid || state == ManifestState::kNewer) return program;
  const std::vector<Piece> pieces =
      CollectPieces(System().Find(DirectoryOf(program) + "*"), BaseNameOf(program));
  return pieces.empty() ? std::string() : DirectoryOf(program) + pieces.front().name;
}

}  // namespace

int RestoreThrough(FrontEnd frontEnd, const std::string& program) {
  if (frontEnd == FrontEnd::kRestoreProgram) {
    CaseExport exported(program);
    const int code = RestoreSplitFile({program, program, program});
    exported.Finish(code);
    return code;
  }
  const std::string chosen = WayIn(program);
  if (chosen.empty()) return kNoWayIn;
  RegisterSplitterTemplate();
  int code = kNotRestoreMode;
  hl::SetUser([&](hl::Window& w) {
    w.DropFiles({chosen});
    if (w.text(IDC_SPLIT_FILE) != "&Restore File") return;
    w.Click(IDC_SPLIT_FILE);
    const std::string status = w.text(IDC_SPLIT_STATUS);
    code = status.rfind("Restored ", 0) == 0 ? 0 : status.rfind("Restore stopped", 0) == 0 ? 2 : 1;
  });
  CSplitterDlg dialog;
  dialog.DoModal();
  hl::SetUser(nullptr);
  return code;
}

}  // namespace morsela::test
