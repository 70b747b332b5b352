// The command line on Linux (and other POSIX systems): `morsela`, with the
// restore program for Windows carried inside it, so that a split here
// writes what the window writes.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "restore_image.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

class TerminalConsole : public morsela::Console {
 public:
  void Out(const std::string& line) override {
    std::fputs((line.empty() || line.back() != '\n' ? line + "\n" : line).c_str(), stdout);
    std::fflush(stdout);
  }
  void Err(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  }
  bool Terminal() const override { return isatty(STDERR_FILENO) == 1; }
  void Progress(const std::string& line) override {
    if (line.empty() && shown_ == 0) return;
    // Back to the line's start, the new text, and blanks over what is left
    // of a longer one before it.
    std::string text = "\r" + line;
    if (line.size() < shown_) text += std::string(shown_ - line.size(), ' ') + "\r" + line;
    shown_ = line.size();
    std::fputs(text.c_str(), stderr);
    if (line.empty()) std::fputs("\r", stderr);
    std::fflush(stderr);
  }
  std::optional<bool> Ask(const std::string& question) override {
    if (!Terminal() || isatty(STDIN_FILENO) != 1) return std::nullopt;
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
      std::fputs("\n", stderr);
      return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
  }

 private:
  std::size_t shown_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  // Ctrl+C, a closed terminal or a request to end: the work stops as
  // Cancel stops it and removes what it wrote. No SA_RESTART, so that a
  // question waiting for its answer ends too.
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  const std::vector<std::string> args(argv + 1, argv + argc);
  TerminalConsole console;
  return morsela::RunCommandLine(args, console, g_stop, morsela::CarriedFiles(), MORSELA_VERSION);
}
