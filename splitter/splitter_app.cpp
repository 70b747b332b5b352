#include "splitter_app.h"

#include "splitter_dlg.h"

namespace morsela {

CSplitterApp::~CSplitterApp() = default;

bool CSplitterApp::InitInstance() {
  ui::EnableCommonControls();
  CSplitterDlg dialog;
  SetMainWindow(&dialog);
  dialog.DoModal();
  SetMainWindow(nullptr);
  return false;
}

}  // namespace morsela
