// Both front ends, with the window on the headless back end.
#include <memory>

#include "case_export.h"
#include "format/manifest.h"
#include "front_ends.h"
#include "headless.h"
#include "platform/platform.h"
#include "resource.h"
#include "restore/descriptions.h"
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
      {IDC_MAIN_GROUP, hl::Kind::kText},
      {IDC_CHOOSE_FILE, hl::Kind::kButton},
      {IDC_PIECE_SIZE, hl::Kind::kEdit, hl::kNumber},
      {IDC_SIZE_PRESET, hl::Kind::kDropDown},
      {IDC_RECOVERY, hl::Kind::kDropDown},
      {IDC_SPLIT_FILE, hl::Kind::kButton},
      {IDC_SOURCE_PATH, hl::Kind::kEdit, hl::kReadOnly | hl::kLowerCase},
      {IDC_PIECE_LIST, hl::Kind::kList},
      {IDC_WORK_STATUS, hl::Kind::kText},
      {IDC_WORK_PROGRESS, hl::Kind::kProgress},
      {IDC_CANCEL_WORK, hl::Kind::kButton, hl::kDisabled},
  });
}

namespace {

// The file by which a user would open the set in the window: the program
// where it carries a description, else its first piece where that is a
// head piece, the program's footer says it is one, or a recovery piece
// describes the set.
std::string WayIn(const std::string& program) {
  std::unique_ptr<InputFile> file = System().OpenRead(program);
  const ManifestRead read = file ? ReadManifest(*file) : ManifestRead();
  file.reset();
  if (read.state == ManifestState::kValid || read.state == ManifestState::kNewer) return program;
  const std::string folder = DirectoryOf(program), base = BaseNameOf(program);
  const std::vector<Piece> pieces = CollectPieces(System().Find(folder + "*"), base);
  if (pieces.empty()) return std::string();
  const Descriptions there = GatherDescriptions({folder, {}, {}, base, nullptr, {}});
  if (pieces.front().number != 0 && !read.footer && there.found.empty() && !there.refusal) return std::string();
  return folder + pieces.front().name;
}

}  // namespace

int RestoreThrough(FrontEnd frontEnd, const std::string& program, const std::string& wayIn) {
  if (frontEnd == FrontEnd::kRestoreProgram) {
    CaseExport exported(program);
    const int code = RestoreSplitFile({program, program, program});
    exported.Finish(code);
    return code;
  }
  const std::string chosen = wayIn.empty() ? WayIn(program) : wayIn;
  if (chosen.empty()) return kNoWayIn;
  hl::Reset();
  RegisterSplitterTemplate();
  int code = kNotRestoreMode;
  hl::SetUser([&](hl::Window& w) {
    w.DropFiles({chosen});
    if (w.text(IDC_SPLIT_FILE) != "&Restore File") return;
    w.Click(IDC_SPLIT_FILE);
    const std::string status = w.text(IDC_WORK_STATUS);
    // A warning may come first, on a line of its own.
    const std::string last = status.substr(status.rfind('\n') + 1);
    code = last.rfind("Restored ", 0) == 0 ? 0 : last.rfind("Restore stopped", 0) == 0 ? 2 : 1;
  });
  CSplitterDlg dialog;
  dialog.DoModal();
  hl::Reset();
  return code;
}

}  // namespace morsela::test
