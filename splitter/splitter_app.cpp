#include "splitter_app.h"

#include "platform/platform.h"
#include "splitter_dlg.h"
#include "wrappers.h"

namespace morsela {

namespace {

bool NamesSomething(const std::string& path) { return !System().Find(path).empty(); }

}  // namespace

std::string StartUpPath(const ui::CommandLine& line) {
  if (line.arguments.empty()) return std::string();
  std::string path = line.arguments.front();
  if (line.arguments.size() > 1 && line.rest.find('"') == std::string::npos && !NamesSomething(path) &&
      NamesSomething(line.rest))
    path = line.rest;
  return ui::FullPathName(path);
}

CSplitterApp::~CSplitterApp() = default;

bool CSplitterApp::InitInstance() {
  ui::EnableCommonControls();
  CSplitterDlg dialog;
  dialog.SetStartUpPath(StartUpPath(ui::ProgramCommandLine()));
  SetMainWindow(&dialog);
  dialog.DoModal();
  SetMainWindow(nullptr);
  return false;
}

}  // namespace morsela
