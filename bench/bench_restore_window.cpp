// Restores a set through the real dialog, as Morsela.exe does when it is
// started with one of the set's pieces and its Restore File command is
// pressed, then ends at once: exit code 0 after a restore, 1 otherwise.
// Timed by restore_bench.sh against the restore program under Wine. It
// ends without taking its window down: on an X display without a window
// manager Wine waits 2 s for a window to be withdrawn, which no user meets.
//   bench_restore_window.exe PIECE
#include <windows.h>

#include <string>
#include <vector>

#include "application.h"
#include "platform/platform_win.h"
#include "resource.h"
#include "splitter_dlg.h"

namespace {

class RestoringDialog : public morsela::CSplitterDlg {
 public:
  morsela::ui::Result WindowProc(morsela::ui::Message message, morsela::ui::WParam wParam,
                                 morsela::ui::LParam lParam) override {
    const morsela::ui::Result result = CSplitterDlg::WindowProc(message, wParam, lParam);
    if (message == WM_INITDIALOG) PostMessageW(static_cast<HWND>(window()), WM_COMMAND, IDC_SPLIT_FILE, 0);
    if (message == WM_COMMAND && wParam == IDC_SPLIT_FILE)
      ExitProcess(GetItemText(IDC_WORK_STATUS).rfind("Restored ", 0) == 0 ? 0 : 1);
    return result;
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  morsela::ui::EnableCommonControls();
  RestoringDialog dialog;
  dialog.SetStartUpPath(morsela::Narrow(argv[1], wcslen(argv[1])));
  dialog.DoModal();
  return 1;
}
