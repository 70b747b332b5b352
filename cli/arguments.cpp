#include "arguments.h"

#include <cctype>
#include <utility>

#include "format/erasure_code.h"
#include "split/size_presets.h"
#include "text/text.h"

namespace morsela {

namespace {

// More parts than a piece set of any reasonable file would have.
constexpr std::uint64_t kMostParts = 1'000'000;

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A whole number of decimal digits, up to 2^63.
std::optional<std::uint64_t> Whole(const std::string& digits) {
  if (digits.empty() || digits.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + std::uint64_t(c - '0');
  }
  return value;
}

}  // namespace

std::optional<std::uint64_t> ParseSize(const std::string& text) {
  // A preset of a limit gives the same size for any file.
  if (const SizePreset* preset = FindPreset(text)) return PresetPieceSize(*preset, 0, std::string());
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  const std::optional<std::uint64_t> number = Whole(text.substr(0, digits));
  if (!number) return std::nullopt;
  static const std::pair<const char*, std::uint64_t> kUnits[] = {
      {"", 1000},        {"b", 1},          {"kb", 1000},      {"mb", 1000'000},     {"gb", 1000'000'000},
      {"tb", 1000'000'000'000}, {"kib", 1 << 10}, {"mib", 1 << 20}, {"gib", std::uint64_t(1) << 30},
      {"tib", std::uint64_t(1) << 40}};
  const std::string unit = Lower(text.substr(digits));
  for (const auto& [name, bytes] : kUnits) {
    if (unit != name) continue;
    if (*number > (std::uint64_t(1) << 63) / bytes) return std::nullopt;
    return *number * bytes;
  }
  return std::nullopt;
}

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments parsed;
  const auto fail = [&](const std::string& why) {
    parsed.error = why;
    return parsed;
  };
  if (args.empty()) return fail("no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") return parsed;
  if (command == "--version") {
    parsed.command = Arguments::Command::kVersion;
    return parsed;
  }
  if (command == "split") parsed.command = Arguments::Command::kSplit;
  else if (command == "restore") parsed.command = Arguments::Command::kRestore;
  else if (command == "check") parsed.command = Arguments::Command::kCheck;
  else return fail("unknown command: " + command);
  const bool split = parsed.command == Arguments::Command::kSplit;
  const bool restore = parsed.command == Arguments::Command::kRestore;

  bool optionsEnd = false, sized = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!parsed.file.empty()) return fail("more than one file given: " + arg);
      parsed.file = arg;
      continue;
    }
    // --name=value and --name value alike.
    std::string name = arg, value;
    const std::size_t equals = arg.find('=');
    const bool inline_ = equals != std::string::npos;
    if (inline_) name = arg.substr(0, equals), value = arg.substr(equals + 1);
    const auto takeValue = [&]() -> bool {
      if (inline_) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    if (name == "--") {
      optionsEnd = true;
    } else if (name == "--quiet" || name == "-q") {
      parsed.quiet = true;
    } else if (name == "--help" || name == "-h") {
      return Arguments{};
    } else if (split && (name == "--size" || name == "-s")) {
      if (!takeValue()) return fail("--size needs a size");
      const std::optional<std::uint64_t> size = ParseSize(value);
      if (!size) return fail("not a size: " + value + " (try 1000, 18300KB, 25MB, 4GiB or mail25)");
      if (*size < kSmallestPiece) return fail("a piece must hold at least 10KB: " + value);
      if (parsed.parts) return fail("--size and --parts cannot both be given");
      parsed.pieceSize = *size;
      sized = true;
    } else if (split && (name == "--parts" || name == "-p")) {
      if (!takeValue()) return fail("--parts needs a count");
      const std::optional<std::uint64_t> count = Whole(value);
      if (!count || *count == 0 || *count > kMostParts)
        return fail("not a count of parts from 1 to " + FormatDecimal(kMostParts) + ": " + value);
      if (sized) return fail("--size and --parts cannot both be given");
      parsed.parts = *count;
    } else if (split && (name == "--recovery" || name == "-r")) {
      if (!takeValue()) return fail("--recovery needs a count");
      const std::optional<std::uint64_t> count = Whole(value);
      if (!count || *count > kMostRecoveryPieces)
        return fail("not a count of recovery pieces from 0 to " + FormatDecimal(kMostRecoveryPieces) + ": " + value);
      parsed.recovery = *count;
    } else if (split && (name == "--yes" || name == "-y")) {
      parsed.yes = true;
    } else if (restore && name == "--to") {
      if (!takeValue() || value.empty()) return fail("--to needs a folder");
      parsed.to = value;
    } else {
      return fail("unknown option for " + command + ": " + arg);
    }
    if (inline_ && (name == "--quiet" || name == "-q" || name == "--yes" || name == "-y" || name == "--"))
      return fail("no value is taken by " + name);
  }
  if (parsed.file.empty()) return fail(command + " needs a file");
  return parsed;
}

namespace {

// One line for each preset of a limit: its name, its label and its size.
std::string PresetHelp() {
  std::string text;
  for (std::size_t i = 0; i < kSizePresetCount; ++i) {
    const SizePreset& preset = kSizePresets[i];
    if (!*preset.name) continue;
    std::string line = "        " + std::string(preset.name);
    line.resize(18, ' ');
    line += std::string(preset.label);
    line.resize(40, ' ');
    std::string size = FormatDecimal(PresetPieceSize(preset, 0, std::string()) / 1000);
    for (std::size_t at = size.size(); at > 3; at -= 3) size.insert(at - 3, ",");
    text += line + size + " KB\n";
  }
  return text;
}

}  // namespace

std::string HelpText() {
  return std::string(
             "Usage:\n"
             "  morsela split FILE [--size SIZE | --parts N] [--recovery R] [--yes] [--quiet]\n"
             "      Cuts FILE into numbered pieces beside it and writes its restore program\n"
             "      (and restore page). SIZE in kilobytes of 1,000 bytes, or with a unit:\n"
             "      18300KB, 25MB, 4GiB (default 100), or one of these for a limit:\n") +
         PresetHelp() +
         "      --parts N cuts FILE into N pieces of one size (the last one shorter).\n"
         "      R recovery pieces (0 to 1024) rebuild up to R lost or damaged pieces.\n"
         "      Files in the way that are not from an earlier split of FILE are\n"
         "      replaced only after a question on a terminal, or with --yes.\n"
         "  morsela restore PATH [--to DIR] [--quiet]\n"
         "      Rebuilds the file of the set PATH belongs to (a piece, a recovery piece\n"
         "      or the restore program), checking every byte, beside the pieces or in DIR.\n"
         "  morsela check PATH [--quiet]\n"
         "      Checks the set without writing anything: each piece's state, and\n"
         "      whether the file can be restored.\n"
         "  morsela --help | --version\n"
         "\n"
         "Messages go to standard error, the line of outcome to standard output.\n"
         "Exit codes: 0 done; 1 refused or failed after a message, nothing written;\n"
         "2 stopped (Ctrl+C), what was written removed; 7 the command line was not\n"
         "understood.\n";
}

}  // namespace morsela
