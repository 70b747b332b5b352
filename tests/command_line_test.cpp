#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "arguments.h"
#include "command_line.h"
#include "restore/restore.h"
#include "test_platform.h"
#include "text/text.h"

namespace morsela {
namespace {

using test::ListDir;
using test::RandomBytes;
using test::ReadAll;
using test::TempDir;
using test::TestPlatform;
using test::WriteAll;

// What a split writes beside the pieces, in a test.
const Carried kStandIns{"MZ", "<script type=\"application/x-morsela-set\" id=\"morsela-set\">MORSELA-SET</script>"};

// What the command line wrote, and a terminal or none.
class RecordingConsole : public Console {
 public:
  void Out(const std::string& line) override { out += line + "\n"; }
  void Err(const std::string& text) override { err += text + "\n"; }
  bool Terminal() const override { return terminal; }
  void Progress(const std::string& line) override {
    if (!line.empty()) ++progress;
  }
  std::optional<bool> Ask(const std::string& question) override {
    asked += question;
    if (!terminal) return std::nullopt;
    return answer;
  }
  std::string out, err, asked;
  int progress = 0;
  bool terminal = false, answer = false;
};

TEST(CommandLine, ReadsItsArguments) {
  struct Case {
    std::vector<std::string> args;
    Arguments::Command command;
    std::uint64_t pieceSize;
    std::uint64_t recovery;
    const char* error;  // the start of the error; "" for none
    std::uint64_t parts = 0;
  };
  using C = Arguments::Command;
  const std::vector<Case> cases{
      {{"split", "a.bin"}, C::kSplit, 100'000, 0, ""},
      {{"split", "a.bin", "--size", "18300"}, C::kSplit, 18'300'000, 0, ""},
      {{"split", "--size=18300KB", "a.bin", "-r", "3"}, C::kSplit, 18'300'000, 3, ""},
      {{"split", "a.bin", "--size", "25MB"}, C::kSplit, 25'000'000, 0, ""},
      {{"split", "a.bin", "--size", "4GiB"}, C::kSplit, std::uint64_t(4) << 30, 0, ""},
      {{"split", "a.bin", "--size", "700mib"}, C::kSplit, std::uint64_t(700) << 20, 0, ""},
      {{"split", "a.bin", "--size", "10kb"}, C::kSplit, 10'000, 0, ""},
      {{"split", "a.bin", "--size", "mail25"}, C::kSplit, 18'266'000, 0, ""},
      {{"split", "a.bin", "--size=Mail20"}, C::kSplit, 14'612'000, 0, ""},
      {{"split", "a.bin", "-s", "fat32", "-r", "1"}, C::kSplit, 4'294'967'000, 1, ""},
      {{"split", "a.bin", "--parts", "3"}, C::kSplit, 100'000, 0, "", 3},
      {{"split", "-p=1000000", "a.bin"}, C::kSplit, 100'000, 0, "", 1'000'000},
      {{"split", "a.bin", "--recovery", "1024", "--yes", "--quiet"}, C::kSplit, 100'000, 1024, ""},
      {{"split", "--", "--odd name"}, C::kSplit, 100'000, 0, ""},
      {{"restore", "a#.3", "--to", "/tmp/x"}, C::kRestore, 100'000, 0, ""},
      {{"check", "a.exe"}, C::kCheck, 100'000, 0, ""},
      {{"--help"}, C::kHelp, 100'000, 0, ""},
      {{"split", "a.bin", "-h"}, C::kHelp, 100'000, 0, ""},
      {{"--version"}, C::kVersion, 100'000, 0, ""},
      {{}, C::kHelp, 0, 0, "no command"},
      {{"join", "a"}, C::kHelp, 0, 0, "unknown command"},
      {{"split"}, C::kSplit, 0, 0, "split needs a file"},
      {{"split", "a", "b"}, C::kSplit, 0, 0, "more than one file"},
      {{"split", "a", "--size", "9KB"}, C::kSplit, 0, 0, "a piece must hold at least 10KB"},
      {{"split", "a", "--size", "25 MB"}, C::kSplit, 0, 0, "not a size"},
      {{"split", "a", "--size", "1.5MB"}, C::kSplit, 0, 0, "not a size"},
      {{"split", "a", "--size", "99999999999999999999"}, C::kSplit, 0, 0, "not a size"},
      {{"split", "a", "--size"}, C::kSplit, 0, 0, "--size needs a size"},
      {{"split", "a", "--size", "mail"}, C::kSplit, 0, 0, "not a size"},
      {{"split", "a", "--parts", "0"}, C::kSplit, 0, 0, "not a count of parts"},
      {{"split", "a", "--parts", "1000001"}, C::kSplit, 0, 0, "not a count of parts"},
      {{"split", "a", "--parts"}, C::kSplit, 0, 0, "--parts needs a count"},
      {{"split", "a", "--parts", "2", "--size", "cd"}, C::kSplit, 0, 0, "--size and --parts"},
      {{"split", "a", "-s", "10", "-p", "2"}, C::kSplit, 0, 0, "--size and --parts"},
      {{"restore", "a", "--parts", "2"}, C::kRestore, 0, 0, "unknown option for restore"},
      {{"split", "a", "--recovery", "1025"}, C::kSplit, 0, 0, "not a count"},
      {{"split", "a", "--recovery", "-1"}, C::kSplit, 0, 0, "not a count"},
      {{"split", "a", "--to", "x"}, C::kSplit, 0, 0, "unknown option for split"},
      {{"restore", "a", "--yes"}, C::kRestore, 0, 0, "unknown option for restore"},
      {{"check", "a", "--to", "x"}, C::kCheck, 0, 0, "unknown option for check"},
      {{"split", "a", "--yes=no"}, C::kSplit, 0, 0, "no value is taken"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    const Arguments parsed = ParseArguments(c.args);
    EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << parsed.error;
    if (*c.error) continue;
    EXPECT_EQ(parsed.command, c.command);
    EXPECT_EQ(parsed.pieceSize, c.pieceSize);
    EXPECT_EQ(parsed.recovery, c.recovery);
    EXPECT_EQ(parsed.parts, c.parts);
  }
}

// Every way a command ends, with its exit code, its line of outcome on
// standard output and its message on standard error.
TEST(CommandLine, EndsWithItsExitCodeAndSaysHowOnItsStreams) {
  struct Case {
    const char* what;
    std::function<std::vector<std::string>(const TempDir&)> lay;  // the folder; the arguments
    bool terminal, answer;
    int code;
    const char* out;  // the start of standard output
    const char* err;  // the start of standard error
  };
  const auto source = [](const TempDir& dir) {
    WriteAll(dir / "movie.avi", RandomBytes(25'000, 70));
    return dir / "movie.avi";
  };
  // A program of the set's name in the way of a split of movie.avi.
  const auto inTheWay = [&](std::vector<std::string> more) {
    return [&, more](const TempDir& d) {
      WriteAll(d / "movie.exe", "MZ setup");
      std::vector<std::string> args{"split", source(d), "--size", "10KB"};
      args.insert(args.end(), more.begin(), more.end());
      return args;
    };
  };
  // The set of movie.avi split with `recovery` recovery pieces, its source gone.
  const auto splitAway = [&](const TempDir& d, const char* recovery) {
    RecordingConsole quiet;
    std::atomic<bool> never{false};
    RunCommandLine({"split", source(d), "--size", "10KB", "-r", recovery}, quiet, never, kStandIns, "1.1");
    std::filesystem::remove(d / "movie.avi");
  };
  const std::vector<Case> cases{
      {"a split", [&](const TempDir& d) { return std::vector<std::string>{"split", source(d), "--size", "10KB"}; },
       false, false, 0, "Done: 3 pieces, the restore program movie.exe and the restore page movie.restore.html written.", ""},
      {"a split with recovery pieces, quiet",
       [&](const TempDir& d) { return std::vector<std::string>{"split", source(d), "-s", "10", "-r", "1", "-q"}; },
       false, false, 0, "", ""},
      {"equal parts, the name header counted: 25,010 bytes in 2 pieces of 13 KB",
       [&](const TempDir& d) { return std::vector<std::string>{"split", source(d), "--parts", "2"}; }, false, false,
       0, "Done: 2 pieces", ""},
      {"equal parts of a file too small to split",
       [&](const TempDir& d) {
         WriteAll(d / "tiny.bin", "123");
         return std::vector<std::string>{"split", d / "tiny.bin", "--parts", "2"};
       },
       false, false, 1, "Split failed: nothing was written.", "File Too Small"},
      {"a missing file", [&](const TempDir& d) { return std::vector<std::string>{"split", d / "none.avi"}; }, false,
       false, 1, "Split failed: nothing was written.", "Pathname incorrect"},
      {"files in the way, no terminal",
       inTheWay({}),
       false, false, 1, "Split cancelled: nothing was written or removed.",
       "Splitting movie.avi replaces files in its folder that are not from a split of it:\n\nmovie.exe: a program\n\n"
       "Nothing was replaced: run the command again with --yes to replace them."},
      {"files in the way, No on the terminal",
       inTheWay({}),
       true, false, 1, "Split cancelled", ""},
      {"files in the way, Yes on the terminal",
       inTheWay({}),
       true, true, 0, "Done: 3 pieces", ""},
      {"files in the way, --yes",
       inTheWay({"--yes"}),
       false, false, 0, "Done: 3 pieces", ""},
      {"a restore into another folder",
       [&](const TempDir& d) {
         splitAway(d, "0");
         std::filesystem::create_directory(d / "out");
         return std::vector<std::string>{"restore", d / "movie#.2", "--to", d / "out"};
       },
       false, false, 0, "Restored ", ""},
      {"a restore of a set with a piece missing",
       [&](const TempDir& d) {
         splitAway(d, "0");
         std::filesystem::remove(d / "movie#.1");
         return std::vector<std::string>{"restore", d / "movie.exe"};
       },
       false, false, 1, "Restore failed: nothing was written.", "File Not Found !\nmovie#.1"},
      {"a restore of a file of no set",
       [&](const TempDir& d) { return std::vector<std::string>{"restore", source(d)}; }, false, false, 1,
       "Restore failed", "No Split File Found !\nmovie.avi"},
      {"a check of a set with a damaged piece and a recovery piece",
       [&](const TempDir& d) {
         splitAway(d, "1");
         WriteAll(d / "movie#.1", RandomBytes(10'000, 71));
         return std::vector<std::string>{"check", d / "movie#.r1"};
       },
       false, false, 0,
       "movie#.0: checked\nmovie#.1: damaged, rebuilt from recovery data\nmovie#.2: checked\nmovie#.r1: there\n"
       "The set can be restored: movie.avi: 25,000 bytes, every piece checked; 1 piece rebuilt from recovery data.",
       ""},
      {"a check of a set that has lost more than its recovery pieces",
       [&](const TempDir& d) {
         splitAway(d, "1");
         std::filesystem::remove(d / "movie#.0");
         std::filesystem::remove(d / "movie#.2");
         return std::vector<std::string>{"check", d / "movie.exe"};
       },
       false, false, 1, "movie#.0: missing\nmovie#.1: there\nmovie#.2: missing\nmovie#.r1: there\nThe set cannot",
       "File Not Found !\nmovie#.0, movie#.2\n1 more piece or recovery piece would be needed"},
      {"a usage error", [](const TempDir&) { return std::vector<std::string>{"split"}; }, false, false, kExitUsage, "",
       "morsela: split needs a file\nRun morsela --help"},
      {"help, with the presets of limits",
       [](const TempDir&) { return std::vector<std::string>{"--help"}; }, false, false, 0,
       "Usage:\n  morsela split FILE [--size SIZE | --parts N] [--recovery R] [--yes] [--quiet]\n"
       "      Cuts FILE into numbered pieces beside it and writes its restore program\n"
       "      (and restore page). SIZE in kilobytes of 1,000 bytes, or with a unit:\n"
       "      18300KB, 25MB, 4GiB (default 100), or one of these for a limit:\n"
       "        mail25    Mail (25 MB)          18,266 KB\n"
       "        mail20    Mail (20 MB)          14,612 KB\n"
       "        chat10    Chat (10 MB)          10,000 KB\n"
       "        cd        CD (700 MB)           727,280 KB\n"
       "        dvd       DVD (4.7 GB)          4,690,372 KB\n"
       "        fat32     FAT32 stick (4 GB)    4,294,967 KB\n"
       "      --parts N cuts FILE into N pieces of one size (the last one shorter).\n",
       ""},
      {"the version", [](const TempDir&) { return std::vector<std::string>{"--version"}; }, false, false, 0,
       "Morsela 1.1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestPlatform platform;
    TempDir dir;
    const std::vector<std::string> args = c.lay(dir);
    const std::vector<std::string> before = ListDir(dir.path());
    RecordingConsole console;
    console.terminal = c.terminal;
    console.answer = c.answer;
    std::atomic<bool> stop{false};
    EXPECT_EQ(RunCommandLine(args, console, stop, {platform.image, platform.PageTemplate()}, "1.1"), c.code);
    EXPECT_EQ(console.out.rfind(c.out, 0), 0u) << console.out;
    EXPECT_EQ(console.err.rfind(c.err, 0), 0u) << console.err;
    if (args[0] == "check") {
      EXPECT_EQ(ListDir(dir.path()), before);  // a check writes nothing
    }
    if (c.code == 0 && args[0] == "restore") {
      EXPECT_TRUE(ReadAll(dir / "out/movie.avi") == RandomBytes(25'000, 70));
    }
  }
}

}  // namespace
}  // namespace morsela
