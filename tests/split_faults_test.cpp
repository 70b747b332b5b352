// Read and write failures during a split: each shows its message, leaves the
// source as it was and leaves no partial piece behind.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "format/manifest.h"
#include "format/pieces.h"
#include "split_file.h"
#include "test_platform.h"
#include "text/text.h"

namespace morsela {
namespace {

using test::ListDir;
using test::RandomBytes;
using test::ReadAll;
using test::Stage;
using test::TempDir;
using test::TestPlatform;
using test::WriteAll;
using test::WriteFault;

struct FaultCase {
  const char* what;
  WriteFault fault;
  std::uint64_t recovery = 0;  // recovery pieces: they come after the pieces, before the program
};

// 3,500 bytes in 1,000-byte pieces: files 0-3 are pieces, file 4 the program.
const FaultCase kWriteFaults[] = {
    {"head piece cannot be created", {Stage::kOpen, 0, false, 0}},
    {"third piece cannot be created", {Stage::kOpen, 2, false, 0}},
    {"no file can be created", {Stage::kOpen, 0, true, 0}},
    {"restore program cannot be created", {Stage::kOpen, 4, false, 0}},
    {"first write of the head piece", {Stage::kWrite, 0, false, 0}},
    {"first write of the second piece", {Stage::kWrite, 1, false, 0}},
    {"mid-piece", {Stage::kWrite, 1, false, 500}},
    {"mid-piece, persistently", {Stage::kWrite, 1, true, 500}},
    {"restore program write", {Stage::kWrite, 4, false, 3}},
    {"close of the head piece", {Stage::kClose, 0, false, 0}},
    {"close of the last piece", {Stage::kClose, 3, false, 0}},
    {"close of every file", {Stage::kClose, 0, true, 0}},
    {"close of the restore program", {Stage::kClose, 4, false, 0}},
    // With one recovery piece, file 4 is the recovery piece and 5 the program.
    {"recovery piece cannot be created", {Stage::kOpen, 4, false, 0}, 1},
    {"recovery data write", {Stage::kWrite, 4, false, 0}, 1},
    {"recovery piece's head, written last", {Stage::kWrite, 4, false, 1000}, 1},
    {"close of the recovery piece", {Stage::kClose, 4, false, 0}, 1},
    {"restore program after the recovery piece", {Stage::kWrite, 5, false, 3}, 1},
};

// Each case both with the threads that read and create ahead and without
// them (a system that gives none); and in rows of blocks of 300 bytes (a
// piece in 4, the pieces written side by side), with a recovery piece
// where the case has none, except where that would move its file.
TEST(SplitFaults, WriteFailuresStopTheSplitAndRemoveWhatItWrote) {
  for (const FaultCase& c : kWriteFaults) for (bool threads : {true, false}) for (bool rows : {false, true}) {
    if (rows && c.recovery == 0 && c.fault.file >= 4) continue;
    SCOPED_TRACE(std::string(c.what) + (threads ? "" : ", without threads") + (rows ? ", in rows" : ""));
    TestPlatform platform;
    platform.threads = threads;
    platform.writeFault = c.fault;
    TempDir dir;
    const std::string source = RandomBytes(3500, 11);
    WriteAll(dir / "s.dat", source);
    const std::uint64_t recovery = rows ? 1 : c.recovery;
    SplitFile(dir / "s.dat", 1, nullptr, std::string(), recovery, rows ? 300 : 0);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Write File !"});
    // The second line names the file that failed.
    const int program = 4 + int(recovery);
    // In rows the set's last piece, the short one, is the first to close.
    const int file = rows && c.fault.stage == Stage::kClose && c.fault.persistent ? 3 : c.fault.file;
    const std::string failed = file == program ? dir / "s.exe"
                               : file >= 4     ? dir / "s#.r1"
                                               : PieceName(dir / "s.dat", file);
    EXPECT_EQ(platform.details, std::vector<std::string>{failed});
    EXPECT_EQ(ReadAll(dir / "s.dat"), source);
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"s.dat"});
  }
}

TEST(SplitFaults, FailureAlsoRemovesThePiecesItOverwrote) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(3500, 12);
  WriteAll(dir / "s.dat", source);
  SplitFile(dir / "s.dat", 1);
  ASSERT_TRUE(platform.messages.empty());
  const std::string lastPiece = ReadAll(dir / "s#.3"), program = ReadAll(dir / "s.exe");
  platform.writeFault = {Stage::kWrite, 2, false, 10};
  platform.created = 0;
  SplitFile(dir / "s.dat", 1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Write File !"});
  // The rewritten pieces went with the failure. The program was not
  // reached and stays as the earlier split wrote it; so does the fourth
  // piece unless it had already been created ahead, and then it went too.
  const std::vector<std::string> left = ListDir(dir.path());
  EXPECT_TRUE(left == (std::vector<std::string>{"s#.3", "s.dat", "s.exe", "s.restore.html"}) ||
              left == (std::vector<std::string>{"s.dat", "s.exe", "s.restore.html"}));
  if (test::Exists(dir / "s#.3")) {
    EXPECT_EQ(ReadAll(dir / "s#.3"), lastPiece);
  }
  EXPECT_EQ(ReadAll(dir / "s.exe"), program);
}

// A split removes only the files it created, and names in a message of
// their own those it could not remove; it says which stale piece of an
// earlier split it could not remove (an older restore program would join
// it). The files in its way were replaced with the user's consent.
TEST(SplitFaults, RemovesOnlyWhatItCreatedAndReportsWhatStays) {
  TempDir dir;
  const std::string source = RandomBytes(3500, 14);
  WriteAll(dir / "s.dat", source);
  WriteAll(dir / "s#.2", "a file the system would not let us replace");
  {
    TestPlatform platform;
    platform.answer = true;
    platform.writeFault = {Stage::kOpen, 2, false, 0};
    EXPECT_EQ(SplitFile(dir / "s.dat", 1).left, 0u);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Write File !"});
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"s#.2", "s.dat"}));
    EXPECT_EQ(ReadAll(dir / "s#.2"), "a file the system would not let us replace");
  }
  {
    TestPlatform platform;
    platform.answer = true;
    platform.writeFault = {Stage::kWrite, 3, false, 10};
    platform.removeFaultIn = "#.1";  // held by another program beyond the retries
    const SplitCall failed = SplitFile(dir / "s.dat", 1);
    EXPECT_EQ(failed.outcome, SplitCall::kRefused);
    EXPECT_EQ(failed.left, 1u);
    EXPECT_EQ(platform.messages, (std::vector<std::string>{"Cannot Write File !", "Cannot Write File !"}));
    EXPECT_EQ(platform.details, (std::vector<std::string>{dir / "s#.3", "s#.1"}));
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"s#.1", "s.dat"}));
  }
  TestPlatform platform;
  platform.answer = true;
  for (const char* stale : {"s#.4", "s#.5", "s#.6"}) WriteAll(dir / stale, "stale");
  platform.removeFaultIn = "#.5";
  const SplitCall result = SplitFile(dir / "s.dat", 1);
  EXPECT_EQ(result.outcome, SplitCall::kWritten);
  EXPECT_EQ(result.pieces, 4u);
  EXPECT_EQ(result.restoreProgram, dir / "s.exe");
  EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Write File !"});
  EXPECT_EQ(platform.details, std::vector<std::string>{"s#.5"});
  EXPECT_EQ(ListDir(dir.path()),
            (std::vector<std::string>{"s#.0", "s#.1", "s#.2", "s#.3", "s#.5", "s.dat", "s.exe", "s.restore.html"}));
}

// The restore page is the split's last file: a failure to write it takes
// every file of the split with it, the page named in the message.
TEST(SplitFaults, AFailedPageRemovesTheWholeSet) {
  for (Stage stage : {Stage::kOpen, Stage::kWrite, Stage::kClose}) {
    TestPlatform platform;
    TempDir dir;
    WriteAll(dir / "s.dat", RandomBytes(3500, 15));
    platform.writeFault = {stage, 5, false, 10};  // four pieces, the program, then the page
    EXPECT_EQ(SplitFile(dir / "s.dat", 1).outcome, SplitCall::kRefused);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Write File !"});
    EXPECT_EQ(platform.details, std::vector<std::string>{dir / "s.restore.html"});
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"s.dat"});
  }
}

TEST(SplitFaults, ReadFailuresShowCannotReadFile) {
  for (std::uint64_t after : {0ull, 700ull, 1994ull, 3000ull}) for (bool threads : {true, false}) {
    SCOPED_TRACE(FormatDecimal(after) + (threads ? "" : ", without threads"));
    TestPlatform platform;
    platform.threads = threads;
    platform.readFault = true;
    platform.readFailAfter = after;
    TempDir dir;
    const std::string source = RandomBytes(3500, 13);
    WriteAll(dir / "s.dat", source);
    SplitFile(dir / "s.dat", 1);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Read File !"});
    EXPECT_EQ(platform.details, std::vector<std::string>{dir / "s.dat"});
    EXPECT_EQ(ReadAll(dir / "s.dat"), source);
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"s.dat"});
  }
}

// The reading side fails while the writing side is inside a write, and the
// writing side fails while the reading side is inside a read: each side
// ends the other cleanly, with the message of the side that failed.
TEST(SplitFaults, OneSideFailsWhileTheOtherIsMidBlock) {
  for (bool readFails : {true, false}) {
    SCOPED_TRACE(readFails ? "read fails during a write" : "write fails during a read");
    TestPlatform platform;
    TempDir dir;
    const std::string source = RandomBytes(6500, 15);
    WriteAll(dir / "s.dat", source);
    // One side waits inside its call for piece 1 (a write) or piece 2 (a
    // read, ahead of the write that fails) until the other has failed; the
    // failing write first waits for the read to be under way.
    std::atomic<int> reading{0};
    bool waited = false;
    int reads = 0, writes = 0;
    platform.duringRead = [&](const std::string&) {
      if (readFails || reads++ != 2) return;
      ++reading;
      waited = test::Await(platform.faults);
    };
    platform.duringWrite = [&](const std::string&) {
      if (writes++ != 1) return;
      if (readFails) waited = test::Await(platform.faults);
      else test::Await(reading);
    };
    if (readFails) {
      platform.readFault = true;
      platform.readFailAfter = 4000;
    } else {
      platform.writeFault = {Stage::kWrite, 1, false, 10};
    }
    SplitFile(dir / "s.dat", 1);
    EXPECT_TRUE(waited);
    EXPECT_EQ(platform.messages, std::vector<std::string>{readFails ? "Cannot Read File !" : "Cannot Write File !"});
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"s.dat"});
  }
}

// A source that cannot be opened, or that another program holds open for
// writing, is refused before anything is looked at or written.
TEST(SplitFaults, UnreadableSourceWritesNothing) {
  TestPlatform platform;
  TempDir dir;
  WriteAll(dir / "held.bin", test::RandomBytes(5000, 3));
  platform.writtenElsewhere = "held.bin";
  SplitFile(dir / "held.bin", 1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Read File !"});
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"held.bin"});
}

// The cases below need the system's help and run from system_faults.sh,
// which prepares the folder named by the variable.
std::string PreparedDir(const char* variable) {
  const char* dir = std::getenv(variable);
  return dir ? dir : "";
}

TEST(SystemFaults, PieceOnAFullDisk) {
  const std::string dir = PreparedDir("MORSELA_DISKFULL_DIR");
  if (dir.empty()) GTEST_SKIP() << "run by system_faults.sh disk-full";
  TestPlatform platform;
  platform.answer = true;  // the link lies where a piece goes
  const std::string source = ReadAll(dir + "d.bin");
  SplitFile(dir + "d.bin", 1);
  EXPECT_EQ(platform.messages.at(0), "Cannot Write File !");
  EXPECT_EQ(ReadAll(dir + "d.bin"), source);
  // The link itself may stay (Wine does not delete a device), and is then
  // named in a message of its own; no piece with data and no restore
  // program may stay.
  if (platform.messages.size() > 1) {
    EXPECT_EQ(platform.details, (std::vector<std::string>{dir + "d#.1", "d#.1"}));
  }
  EXPECT_FALSE(test::Exists(dir + "d#.0"));
  EXPECT_FALSE(test::Exists(dir + "d.exe"));
  for (const std::string& name : ListDir(dir)) EXPECT_TRUE(name == "d.bin" || name == "d#.1") << name;
}

TEST(SystemFaults, PieceBeyondTheFileSizeLimit) {
  const std::string dir = PreparedDir("MORSELA_FSIZE_DIR");
  if (dir.empty()) GTEST_SKIP() << "run by system_faults.sh file-size-limit";
  TestPlatform platform;
  const std::string source = ReadAll(dir + "big.bin");
  SplitFile(dir + "big.bin", 200);
  EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Write File !"});
  EXPECT_EQ(ReadAll(dir + "big.bin"), source);
  EXPECT_EQ(ListDir(dir), std::vector<std::string>{"big.bin"});
}

TEST(SystemFaults, SourceOfMoreThanFourGiB) {
  const std::string dir = PreparedDir("MORSELA_BIG_DIR");
  if (dir.empty()) GTEST_SKIP() << "run by system_faults.sh big-source";
  TestPlatform platform;
  const std::string path = dir + "huge.bin";
  const std::vector<DirEntry> entry = System().Find(path);
  ASSERT_EQ(entry.size(), 1u);
  const std::uint64_t length = entry[0].size;
  ASSERT_GT(length, 1ull << 32);
  const std::uint32_t sizeKb = 4294967;  // pieces of 4,294,967,000 bytes
  const std::uint64_t count = PieceCount(length, path, sizeKb);
  ASSERT_EQ(count, 2u);
  SplitFile(path, sizeKb);
  EXPECT_TRUE(platform.messages.empty());
  const std::uint64_t total = 9 + length;  // "huge.bin" and its 0 byte
  const std::uint64_t z = sizeKb * 1000ull;
  EXPECT_EQ(System().Find(PieceName(path, 0)).at(0).size, z);
  const std::string last = ReadAll(PieceName(path, 1));
  EXPECT_EQ(last.size(), total - z);
  const std::string tail = "the last bytes of a file past four GiB";
  ASSERT_GE(last.size(), tail.size());
  EXPECT_EQ(last.substr(last.size() - tail.size()), tail);
  EXPECT_FALSE(test::Exists(PieceName(path, 2)));
  auto program = System().OpenRead(RestoreProgramName(path));
  ASSERT_TRUE(program);
  const ManifestRead manifest = ReadManifest(*program);
  ASSERT_EQ(manifest.state, ManifestState::kValid);
  EXPECT_EQ(manifest.manifest.sourceLength, length);
  EXPECT_EQ(manifest.manifest.PieceLength(1), total - z);
}

}  // namespace
}  // namespace morsela
