// Morsela.exe's entry point and its one application object.
#include <windows.h>

#include "platform/platform_win.h"
#include "splitter_app.h"

namespace {
morsela::CSplitterApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  morsela::LoadDllsFromTheSystemOnly();
  return morsela::ui::RunApplication();
}
