// Morsela.com: the command line on Windows. It takes its arguments in
// UTF-16 whatever the system's code page, writes UTF-16 to a console and
// UTF-8 to a file or pipe, and stops on Ctrl+C or the console's closing as
// Cancel does in the window.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "command_line.h"
#include "platform/platform_win.h"
#include "restore_image.h"

namespace {

std::atomic<bool> g_stop{false};
// Set once the command has ended and what it wrote is gone: a closing
// console waits for it (Windows allows a few seconds).
HANDLE g_ended = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  g_stop = true;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(g_ended, 5000);
  return TRUE;
}

class WindowsConsole : public morsela::Console {
 public:
  void Out(const std::string& line) override { Write(GetStdHandle(STD_OUTPUT_HANDLE), EndLine(line)); }
  void Err(const std::string& text) override { Write(GetStdHandle(STD_ERROR_HANDLE), EndLine(text)); }
  bool Terminal() const override { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }
  void Progress(const std::string& line) override {
    if (line.empty() && shown_ == 0) return;
    std::string text = "\r" + line;
    if (line.size() < shown_) text += std::string(shown_ - line.size(), ' ') + "\r" + line;
    shown_ = line.size();
    Write(GetStdHandle(STD_ERROR_HANDLE), text);
  }
  std::optional<bool> Ask(const std::string& question) override {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!Terminal() || !IsConsole(in)) return std::nullopt;
    Write(GetStdHandle(STD_ERROR_HANDLE), question + " [y/N] ");
    wchar_t buffer[64];
    DWORD read = 0;
    if (!ReadConsoleW(in, buffer, 63, &read, nullptr) || g_stop) return false;
    std::wstring answer(buffer, read);
    while (!answer.empty() && (answer.back() == L'\n' || answer.back() == L'\r')) answer.pop_back();
    return answer == L"y" || answer == L"Y" || answer == L"yes" || answer == L"Yes" || answer == L"YES";
  }

 private:
  static std::string EndLine(const std::string& text) {
    return text.empty() || text.back() != '\n' ? text + "\n" : text;
  }
  static bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
  }
  static void Write(HANDLE handle, const std::string& text) {
    if (IsConsole(handle)) {
      const std::wstring wide = morsela::Wide(text);
      DWORD written = 0;
      WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr);
      return;
    }
    DWORD written = 0;
    WriteFile(handle, text.data(), DWORD(text.size()), &written, nullptr);
  }
  std::size_t shown_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  morsela::LoadDllsFromTheSystemOnly();
  g_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(morsela::Narrow(argv[i], wcslen(argv[i])));
  WindowsConsole console;
  const int code = morsela::RunCommandLine(args, console, g_stop, morsela::CarriedFiles(), MORSELA_VERSION);
  SetEvent(g_ended);
  return code;
}
