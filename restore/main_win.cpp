// The restore program's entry point: a window only for a long restore, at
// most one message box; exit code 0 after a restore, 1 after a message and
// 2 when the user stopped it.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/platform_win.h"
#include "progress_window_win.h"
#include "restore_program.h"

namespace {

// The restore program's boxes have no owner and the module's full path as
// their caption; a progress window that was open goes first.
class RestoreUser : public morsela::User {
 public:
  RestoreUser(std::string caption, morsela::RestoreProgressWindow& window)
      : caption_(std::move(caption)), window_(window) {}
  void ShowMessage(const std::string& text) override {
    window_.Close();
    MessageBoxW(nullptr, morsela::Wide(text).c_str(), morsela::Wide(caption_).c_str(), MB_OK | MB_ICONEXCLAMATION);
  }
  // The restore program asks nothing: it never replaces what is not its own.
  bool Ask(const std::string&) override { return false; }

 private:
  std::string caption_;
  morsela::RestoreProgressWindow& window_;
};

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return {};
  const std::wstring wide = morsela::Wide(path);
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  while (size > 0) {
    std::wstring buffer(size, L'\0');
    const DWORD n = GetFullPathNameW(wide.c_str(), size, &buffer[0], nullptr);
    if (n < size) return morsela::Narrow(buffer.data(), n);
    size = n;
  }
  return {};
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  morsela::LoadDllsFromTheSystemOnly();
  morsela::RestoreStart start;
  start.modulePath = morsela::ModuleFileName();
  // The C runtime's argument vector, in UTF-16 whatever the system's code
  // page; the module's name when it is empty.
  start.invocation = (__argc > 0 && __wargv && __wargv[0]) ? morsela::Narrow(__wargv[0], wcslen(__wargv[0]))
                                                            : start.modulePath;
  start.absoluteInvocation = AbsolutePath(start.invocation);

  morsela::RestoreProgressWindow window;
  RestoreUser user(start.modulePath, window);
  morsela::SetUser(&user);
  std::uint64_t rebuilt = 0;
  const int code = morsela::RestoreSplitFile(start, &window, &rebuilt);
  // No message after a rebuild: the window says it, until it is closed.
  if (code == 0 && rebuilt > 0) window.Finish(morsela::RebuiltText(rebuilt));
  return code;
}
