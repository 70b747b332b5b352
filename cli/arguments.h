// What the command line asks for, read from its arguments: one of three
// commands on one file, or help, or the version. Reading them decides
// nothing about files; it only checks the words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morsela {

// The command line's exit codes, besides the restore's own (0 done, 1
// refused or failed after a message, 2 stopped): the arguments could not
// be understood.
constexpr int kExitUsage = 7;

struct Arguments {
  enum class Command { kSplit, kRestore, kCheck, kHelp, kVersion };
  Command command = Command::kHelp;
  std::string file;                   // the file to split, or any file of the set
  std::uint64_t pieceSize = 100'000;  // bytes; the window's default, 100 KB
  std::uint64_t recovery = 0;
  // Split into this many equal parts of the file, its size taken when the
  // file is read (EqualPartsSize); 0: pieces of pieceSize.
  std::uint64_t parts = 0;
  bool yes = false;    // replace what is in the way without asking
  bool quiet = false;  // no progress and no line of outcome
  std::string to;      // restore: the folder the file goes into; empty for the pieces'
  // Why the arguments could not be understood; empty when they could.
  std::string error;
};

Arguments ParseArguments(const std::vector<std::string>& args);

// A piece size: a number of kilobytes of 1,000 bytes, as in the window, a
// number with a unit (B, KB, MB, GB, TB, KiB, MiB, GiB, TiB; any case), or
// the short name of a size preset (mail25, fat32, ...; any case). Nothing
// for any other text or a size beyond 2^63 bytes.
std::optional<std::uint64_t> ParseSize(const std::string& text);

// The smallest piece the command line cuts, as the window's 10 KB.
constexpr std::uint64_t kSmallestPiece = 10'000;

// What --help prints.
std::string HelpText();

}  // namespace morsela
