// Morsela.exe's entry point and its one application object.
#include <windows.h>

#include "splitter_app.h"

namespace {
morsela::CSplitterApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return morsela::ui::RunApplication(); }
