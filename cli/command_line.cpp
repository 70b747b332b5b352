#include "command_line.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "split/size_presets.h"
#include "platform/platform.h"
#include "platform/user.h"
#include "restore/chosen_set.h"
#include "restore/restore.h"
#include "split/split_run.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

// The system's files and threads, with the restore program and the page
// that the command line carries.
class ConsolePlatform : public Platform {
 public:
  ConsolePlatform(Platform& real, Carried carried) : real_(real), carried_(carried) {}

  bool Scan(const std::string& p, EntrySink& s) override { return real_.Scan(p, s); }
  std::unique_ptr<InputFile> OpenRead(const std::string& p) override { return real_.OpenRead(p); }
  std::unique_ptr<InputFile> OpenSource(const std::string& p) override { return real_.OpenSource(p); }
  std::unique_ptr<OutputFile> Create(const std::string& p) override { return real_.Create(p); }
  std::unique_ptr<OutputFile> CreateNew(const std::string& p) override { return real_.CreateNew(p); }
  bool Remove(const std::string& p) override { return real_.Remove(p); }
  bool Replace(const std::string& a, const std::string& b) override { return real_.Replace(a, b); }
  void CopyZoneMark(const std::string& a, const std::string& b) override { real_.CopyZoneMark(a, b); }
  std::string DecodeLegacyName(const std::string& b) override { return real_.DecodeLegacyName(b); }
  std::unique_ptr<Semaphore> NewSemaphore(unsigned n) override { return real_.NewSemaphore(n); }
  std::unique_ptr<Thread> StartThread(void (*run)(void*), void* c) override { return real_.StartThread(run, c); }
  std::string_view RestoreImage() override { return carried_.image; }
  std::string_view PageTemplate() override { return carried_.pageTemplate; }

 private:
  Platform& real_;
  const Carried carried_;
};

// The messages and the question on the console.
class ConsoleUser : public User {
 public:
  ConsoleUser(Console& console, bool yes) : console_(console), yes_(yes) {}

  void ShowMessage(const std::string& text) override {
    console_.Progress(std::string());
    console_.Err(text);
  }

  // On a terminal the question is asked; without one the split does not
  // replace, and says what it would have replaced.
  bool Ask(const std::string& text) override {
    if (yes_) return true;
    console_.Progress(std::string());
    if (const std::optional<bool> answer = console_.Ask(text)) return *answer;
    const std::size_t last = text.rfind('\n');
    console_.Err(text.substr(0, last == std::string::npos ? 0 : last) +
                 "\nNothing was replaced: run the command again with --yes to replace them.");
    return false;
  }

 private:
  Console& console_;
  const bool yes_;
};

// Progress on the terminal, a few times a second; a stop once asked.
class ConsoleProgress : public Progress {
 public:
  ConsoleProgress(Console& console, const std::atomic<bool>& stop, bool shown, const char* doing)
      : console_(console), stop_(stop), shown_(shown), doing_(doing) {}
  ~ConsoleProgress() override { console_.Progress(std::string()); }

  void Begin(const std::string& name, std::uint64_t) override { name_ = name; }
  bool Advance(const ProgressReport& report) override {
    if (stop_) return false;
    if (!shown_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - drawn_ < std::chrono::milliseconds(100)) return true;
    drawn_ = now;
    const std::uint64_t percent = report.total ? report.done * 100 / report.total : 0;
    console_.Progress(std::string(doing_) + " " + name_ + ": " + FormatDecimal(percent) + "%, piece " +
                      FormatDecimal(report.piece + 1) + " of " + FormatDecimal(report.pieces));
    return true;
  }

 private:
  Console& console_;
  const std::atomic<bool>& stop_;
  const bool shown_;
  const char* doing_;
  std::string name_;
  std::chrono::steady_clock::time_point drawn_{};
};

int Split(const Arguments& args, Console& console, ConsoleProgress& progress) {
  // Equal parts take the size that gives their count for this file; of a
  // file too small to split, the plan says why.
  std::uint64_t size = args.pieceSize;
  if (args.parts) {
    const std::vector<DirEntry> found = System().Find(args.file);
    const std::uint64_t length = found.empty() ? 0 : found.front().size;
    if (const std::uint64_t equal = EqualPartsSize(length, args.file, args.parts)) size = equal;
  }
  const auto out = [&](const std::string& line) {
    if (!args.quiet) console.Out(line);
  };
  SplitPlan plan = PlanSplit(SplitLook{args.file, std::string(), size, args.recovery});
  if (plan.refusal) {
    TheUser().ShowMessage(*plan.refusal);
    out(kSplitFailed);
    return kExitRefused;
  }
  if (!plan.question.empty() && !TheUser().Ask(plan.question)) {
    out(kSplitDeclined);
    return kExitRefused;
  }
  const SplitOutcome outcome = morsela::Split(plan, &progress);
  if (!outcome.refusal.empty()) TheUser().ShowMessage(outcome.refusal);
  if (!outcome.notRemoved.empty()) TheUser().ShowMessage(outcome.notRemoved);
  out(SplitOutcomeText(outcome));
  switch (outcome.kind) {
    case SplitOutcome::Kind::kWritten: return kExitRestored;
    case SplitOutcome::Kind::kStopped: return kExitStopped;
    case SplitOutcome::Kind::kRefused: break;
  }
  return kExitRefused;
}

// The set the file named leads to; nothing, after the message and
// `refused` as the line of outcome, for a file of no set.
std::optional<SetSource> SetOf(const Arguments& args, Console& console, const char* refused) {
  std::optional<SetSource> source = SetOfChosenFile(args.file);
  if (source) return source;
  TheUser().ShowMessage(WithDetail(kNoSplitFileFound, FileNameOf(args.file)));
  if (!args.quiet) console.Out(refused);
  return std::nullopt;
}

int Restore(const Arguments& args, Console& console, ConsoleProgress& progress) {
  const std::optional<SetSource> source = SetOf(args, console, "Restore failed: nothing was written.");
  if (!source) return kExitRefused;
  RestoreOptions options;
  options.progress = &progress;
  if (!args.to.empty()) {
    options.outputFolder = args.to;
    const char last = args.to.back();
    if (last != '/' && last != '\\') options.outputFolder += '/';
  }
  const RestoreResult result = morsela::Restore(*source, options);
  for (const std::string& message : result.messages) TheUser().ShowMessage(message);
  if (args.quiet) return result.code;
  const std::string warning = UncheckedWarning(result, !source->program.empty());
  if (result.code == kExitRestored)
    console.Out(RestoredText(result, options.outputFolder + result.name) + (warning.empty() ? "" : " " + warning));
  else
    console.Out(result.code == kExitStopped ? "Restore stopped: nothing was written."
                                            : "Restore failed: nothing was written.");
  return result.code;
}

// What the check found of each piece and recovery piece, one a line, as
// the window lists them.
void ListSet(const PieceSet& set, const RestoreResult* checked, Console& console) {
  const auto rebuilt = [&](std::uint64_t k) {
    return checked && std::find(checked->rebuiltPieces.begin(), checked->rebuiltPieces.end(), k) !=
                          checked->rebuiltPieces.end();
  };
  for (std::uint64_t k = 0; k < set.Count(); ++k) {
    const PieceState state = set.State(k);
    std::string text = state == PieceState::kMissing     ? "missing"
                       : state == PieceState::kWrongSize ? "wrong size"
                       : rebuilt(k)                      ? "damaged"
                       : checked                         ? "checked"
                                                         : "there";
    if (rebuilt(k)) text += ", rebuilt from recovery data";
    console.Out(set.At(k).name + ": " + text);
  }
  const Manifest* m = set.Description();
  for (std::uint64_t j = 0; j < set.RecoveryCount(); ++j) {
    const PieceState state = set.RecoveryState(j);
    const char* text = state == PieceState::kPresent     ? "there"
                       : state == PieceState::kWrongSize ? "wrong size"
                       : state == PieceState::kOther     ? "of another split"
                                                         : "missing";
    console.Out((set.RecoveryPiece(j) ? *set.RecoveryPiece(j) : RecoveryPieceFileName(m->baseName, j)) + ": " + text);
  }
}

int Check(const Arguments& args, Console& console, ConsoleProgress& progress) {
  const std::optional<SetSource> source = SetOf(args, console, "The set cannot be restored.");
  if (!source) return kExitRefused;
  RestoreOptions options;
  options.progress = &progress;
  options.checkOnly = true;
  const RestoreResult result = morsela::Restore(*source, options);
  for (const std::string& message : result.messages) TheUser().ShowMessage(message);
  if (args.quiet) return result.code;
  const SetView view = LookAtSet(*source);
  if (view.set) ListSet(*view.set, result.code == kExitRestored ? &result : nullptr, console);
  if (result.code == kExitRestored) {
    const std::string text = RestoredText(result, result.name);
    const std::string warning = UncheckedWarning(result, !source->program.empty());
    console.Out("The set can be restored: " + text.substr(std::string("Restored ").size()) +
                (warning.empty() ? "" : " " + warning));
  } else {
    console.Out(result.code == kExitStopped ? "Check stopped." : "The set cannot be restored.");
  }
  return result.code;
}

}  // namespace

int RunCommand(const Arguments& args, Console& console, const std::atomic<bool>& stop, Carried carried,
               const std::string& version) {
  switch (args.command) {
    case Arguments::Command::kHelp: console.Out(HelpText()); return kExitRestored;
    case Arguments::Command::kVersion: console.Out("Morsela " + version); return kExitRestored;
    default: break;
  }
  ConsolePlatform platform(System(), carried);
  Platform* previous = SetSystem(&platform);
  ConsoleUser user(console, args.yes);
  User* previousUser = SetUser(&user);
  const bool shown = console.Terminal() && !args.quiet;
  int code = kExitRefused;
  if (args.command == Arguments::Command::kSplit) {
    ConsoleProgress progress(console, stop, shown, "Splitting");
    code = Split(args, console, progress);
  } else if (args.command == Arguments::Command::kRestore) {
    ConsoleProgress progress(console, stop, shown, "Restoring");
    code = Restore(args, console, progress);
  } else {
    ConsoleProgress progress(console, stop, shown, "Checking");
    code = Check(args, console, progress);
  }
  SetUser(previousUser);
  SetSystem(previous);
  return code;
}

int RunCommandLine(const std::vector<std::string>& args, Console& console, const std::atomic<bool>& stop,
                   Carried carried, const std::string& version) {
  const Arguments parsed = ParseArguments(args);
  if (!parsed.error.empty()) {
    console.Err("morsela: " + parsed.error + "\nRun morsela --help to see how it is used.");
    return kExitUsage;
  }
  return RunCommand(parsed, console, stop, carried, version);
}

}  // namespace morsela
