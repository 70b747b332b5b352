// The command line's front end: it runs one command with the split and the
// restore that the window and the restore program run, and turns their
// outcomes into words on a console. It decides nothing of its own about
// files; the console (a terminal or not, the system's own) is its main's.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "arguments.h"
#include "restore_image.h"

namespace morsela {

// Where the command line writes and what it asks.
class Console {
 public:
  virtual ~Console() = default;
  // A line of outcome, on standard output.
  virtual void Out(const std::string& line) = 0;
  // A message, its lines as they are, on standard error.
  virtual void Err(const std::string& text) = 0;
  // Standard error is a terminal that a person reads: progress is shown,
  // and questions are asked on it.
  virtual bool Terminal() const = 0;
  // Shows `line` in place of the last progress line; empty clears it.
  virtual void Progress(const std::string& line) = 0;
  // Asks `question` on the terminal and reads the answer: true for yes,
  // false for anything else (No is the default); nothing where there is
  // no terminal to ask on.
  virtual std::optional<bool> Ask(const std::string& question) = 0;
};

// Runs `args` (already understood) and returns the exit code. `stop` is
// raised by Ctrl+C or the console's closing: the work then stops as
// Cancel stops it in the window, removing what it wrote. `carried` is
// what the split writes beside the pieces; `version` what --version prints.
int RunCommand(const Arguments& args, Console& console, const std::atomic<bool>& stop, Carried carried,
               const std::string& version);

// Runs the command line whole: reads `args` (without the program's name),
// tells a usage error with exit code kExitUsage.
int RunCommandLine(const std::vector<std::string>& args, Console& console, const std::atomic<bool>& stop,
                   Carried carried, const std::string& version);

}  // namespace morsela
