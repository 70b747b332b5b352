#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <random>
#include <tuple>

#include "format/crc32c.h"
#include "format/erasure_code.h"
#include "format/manifest.h"
#include "restore/piece_set.h"
#include "restore/rebuild.h"
#include "restore/restore.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "restore_program.h"
#include "split_file.h"
#include "format/stored_name.h"
#include "front_ends.h"
#include "test_platform.h"
#include "text/text.h"

namespace morsela {
namespace {

using test::Exists;
using test::FrontEnd;
using test::FrontEnds;
using test::ListDir;
using test::RandomBytes;
using test::ReadAll;
using test::Stage;
using test::TempDir;
using test::TestPlatform;
using test::WriteAll;

// Runs the restore program found at `program`, started under that path, or
// restores its set through the other front end.
int RestoreAt(const std::string& program, FrontEnd frontEnd = FrontEnd::kRestoreProgram) {
  return RestoreThrough(frontEnd, program);
}

// Splits `path` into pieces of `sizeKb` (with `recovery` recovery pieces),
// then removes the source, so that only the piece set and its restore
// program remain.
void SplitAway(const std::string& path, std::uint32_t sizeKb, std::uint64_t recovery = 0) {
  SplitFile(path, sizeKb, nullptr, std::string(), recovery);
  std::filesystem::remove(path);
}

// A directory holding a hand-made set: head piece "a#.0" naming `stored`.
struct HandMadeSet {
  TempDir dir;
  std::string program = dir / "a.exe";
  HandMadeSet() { WriteAll(program, "MZ"); }
  void Piece(const std::string& name, const std::string& bytes) { WriteAll(dir / name, bytes); }
};

TEST(Restore, RebuildsRandomSplitsByteForByte) {
  TestPlatform platform;
  std::mt19937 random(7);
  const std::vector<std::string> names{"a.txt", "archive.tar.gz", "noext", ".profile", "x.y.z.w"};
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + FormatDecimal(round));
    TempDir dir;
    const std::string name = names[round % names.size()];
    const std::uint32_t sizeKb = 2 + random() % 4;
    std::size_t length = 1000 + random() % 12000;
    if (round % 7 == 0) length = sizeKb * 1000 - name.size() - 1;      // one full piece
    if (round % 7 == 1) length = 3 * sizeKb * 1000 - name.size() - 1;  // exact multiple
    const std::string source = RandomBytes(length, round);
    WriteAll(dir / name, source);
    SplitAway(dir / name, sizeKb);

    // The front ends take turns.
    EXPECT_EQ(RestoreAt(RestoreProgramName(dir / name), FrontEnds()[round % FrontEnds().size()]), 0);
    EXPECT_TRUE(ReadAll(dir / name) == source);
    EXPECT_TRUE(platform.messages.empty());
    const std::uint64_t count = PieceCount(length, name, sizeKb);
    EXPECT_EQ(ListDir(dir.path()).size(), count + 3);  // pieces, program, page, file
  }
}

TEST(Restore, JoinsMoreThanFiveHundredPiecesInNumberOrder) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(620 * 1000, 3);
  WriteAll(dir / "big.bin", source);
  SplitAway(dir / "big.bin", 1);
  ASSERT_TRUE(Exists(dir / "big#.620"));
  EXPECT_EQ(RestoreAt(dir / "big.exe"), 0);
  EXPECT_EQ(ReadAll(dir / "big.bin"), source);
}

TEST(Restore, WorksFromItsOwnDirectoryWhateverItsName) {
  TestPlatform platform;
  {  // A source without a dot: pieces "#.0", ... and the program ".exe".
    TempDir dir;
    WriteAll(dir / "readme", RandomBytes(2500, 1));
    const std::string source = ReadAll(dir / "readme");
    SplitAway(dir / "readme", 1);
    EXPECT_EQ(RestoreAt(dir / ".exe"), 0);
    EXPECT_EQ(ReadAll(dir / "readme"), source);
  }
  {  // A program renamed in other case still finds its pieces.
    TempDir dir;
    const std::string source = RandomBytes(2500, 2);
    WriteAll(dir / "m.avi", source);
    SplitAway(dir / "m.avi", 1);
    std::filesystem::rename(dir / "m.exe", dir / "M.EXE");
    EXPECT_EQ(RestoreAt(dir / "M.EXE"), 0);
    EXPECT_EQ(ReadAll(dir / "m.avi"), source);
  }
  {  // A piece whose name came back in other case, in any script, is found.
    TempDir dir;
    const std::string source = RandomBytes(2500, 4);
    WriteAll(dir / "\xC3\xA9t\xC3\xA9.avi", source);  // été.avi
    SplitAway(dir / "\xC3\xA9t\xC3\xA9.avi", 1);
    std::filesystem::rename(std::filesystem::u8path(dir / "\xC3\xA9t\xC3\xA9#.1"),
                            std::filesystem::u8path(dir / "\xC3\x89T\xC3\x89#.1"));  // ÉTÉ#.1
    EXPECT_EQ(RestoreAt(dir / "\xC3\xA9t\xC3\xA9.exe"), 0);
    EXPECT_EQ(ReadAll(dir / "\xC3\xA9t\xC3\xA9.avi"), source);
  }
  {  // Started under a name the search cannot find: the module path serves.
    TempDir dir;
    const std::string source = RandomBytes(2500, 3);
    WriteAll(dir / "m.avi", source);
    SplitAway(dir / "m.avi", 1);
    EXPECT_EQ(RestoreSplitFile({"m", dir / "m", dir / "m.exe"}), 0);
    EXPECT_EQ(ReadAll(dir / "m.avi"), source);
    EXPECT_EQ(RestoreSplitFile({"m", dir / "m", ""}), 1);
    EXPECT_EQ(platform.messages, std::vector<std::string>{kNoSplitFileFound});
  }
  EXPECT_EQ(platform.messages.size(), 1u);
}

TEST(Restore, ReplacesAFileOfTheStoredName) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(5000, 4);
  WriteAll(dir / "f.bin", source);
  SplitAway(dir / "f.bin", 2);
  WriteAll(dir / "f.bin", "an older, different file");
  EXPECT_EQ(RestoreAt(dir / "f.exe"), 0);
  EXPECT_EQ(ReadAll(dir / "f.bin"), source);
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"f#.0", "f#.1", "f#.2", "f.bin", "f.exe", "f.restore.html"}));
  // The head piece's mark of a download goes to the file before it takes
  // its name.
  std::string mark = dir / "f#.0" + " -> " + dir / "~morsela0.tmp";
  std::replace(mark.begin(), mark.end(), '\\', '/');
  EXPECT_EQ(platform.zoneMarks, std::vector<std::string>{mark});
}

TEST(Restore, HeaderEdgeCases) {
  for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(test::NameOf(frontEnd));
    TestPlatform platform;
    {  // A head piece that holds nothing but the header gives no data.
      HandMadeSet set;
      set.Piece("a#.0", std::string("a.txt", 6));
      set.Piece("a#.1", "123456");
      set.Piece("a#.2", "789");
      EXPECT_EQ(RestoreAt(set.program, frontEnd), 0);
      EXPECT_EQ(ReadAll(set.dir / "a.txt"), "123456789");
    }
    {  // A head piece without a 0 byte is all name.
      HandMadeSet set;
      set.Piece("a#.0", "b.txt");
      EXPECT_EQ(RestoreAt(set.program, frontEnd), 0);
      EXPECT_TRUE(Exists(set.dir / "b.txt"));
      EXPECT_EQ(ReadAll(set.dir / "b.txt"), "");
    }
    {  // A manifest's pieces may be shorter than the name header, which then
       // spans pieces.
      HandMadeSet set;
      Manifest m{"a", "a.txt", 4, 4, 3, {}, 0, {}, 0, {}};
      for (const std::string& piece : {std::string("a.tx"), std::string("t\0da", 4), std::string("ta")}) {
        set.Piece("a#." + FormatDecimal(m.pieceCrcs.size()), piece);
        m.pieceCrcs.push_back(Crc32c(0, piece.data(), piece.size()));
      }
      WriteAll(set.program, "MZ" + EncodeManifest(m, 2));
      EXPECT_EQ(RestoreAt(set.program, frontEnd), 0);
      EXPECT_EQ(ReadAll(set.dir / "a.txt"), "data");
    }
    {  // Leading zeros: "a#.00" stands in for a missing head piece.
      HandMadeSet set;
      set.Piece("a#.00", std::string("a.txt\0xy", 8));
      set.Piece("a#.1", "z");
      EXPECT_EQ(RestoreAt(set.program, frontEnd), 0);
      EXPECT_EQ(ReadAll(set.dir / "a.txt"), "xyz");
    }
    EXPECT_TRUE(platform.messages.empty());
  }
}

TEST(Restore, IgnoresEntriesThatAreNotPieces) {
  for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(test::NameOf(frontEnd));
    TestPlatform platform;
    HandMadeSet set;
    set.Piece("a#.0", std::string("a.txt\0ab", 8));
    set.Piece("a#.1", "cd");
    set.Piece("a#.txt", "notes");
    set.Piece("a#.a", "stray");
    set.Piece("a#.2x", "stray");
    set.Piece("a#.", "stray");
    set.Piece("ab#.2", "other set");
    std::filesystem::create_directory(set.dir / "a#.2");
    EXPECT_EQ(RestoreAt(set.program, frontEnd), 0);
    EXPECT_EQ(ReadAll(set.dir / "a.txt"), "abcd");
    EXPECT_TRUE(platform.messages.empty());
  }
}

// Each broken set ends with its message and exit code 1, writing nothing.
TEST(Restore, RefusesBrokenSetsWithoutWriting) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> pieces;
    const char* message;
    // The window takes a file without a description for no restore
    // program: one of the stored name is replaced as any other.
    bool programOnly = false;
  };
  const std::string head("a.txt\0abc", 9);
  const std::vector<Case> cases{
      {"no pieces at all", {}, kNoSplitFileFound},
      {"only names that are not pieces", {{"a#.txt", head}}, kNoSplitFileFound},
      {"a gap", {{"a#.0", head}, {"a#.1", "defghijkl"}, {"a#.3", "x"}}, kFileNotFound},
      {"no head piece", {{"a#.1", head}, {"a#.2", "x"}}, kFileNotFound},
      {"one number twice", {{"a#.0", head}, {"a#.00", head}, {"a#.1", "x"}}, kFileNotFound},
      {"a short middle piece", {{"a#.0", head}, {"a#.1", "def"}, {"a#.2", "x"}}, kSplitFileDamaged},
      {"a last piece longer than the head", {{"a#.0", head}, {"a#.1", "defghijklm"}}, kSplitFileDamaged},
      {"a stored name leaving the directory", {{"a#.0", std::string("..\\up.txt\0x", 11)}}, kInvalidFileName},
      {"a stored name with a drive", {{"a#.0", std::string("c:up.txt\0x", 10)}}, kInvalidFileName},
      {"a stored name that is a piece's", {{"a#.0", std::string("A#.1\0xyzw", 9)}, {"a#.1", "q"}}, kInvalidFileName},
      {"a stored name that is the program's", {{"a#.0", std::string("a.exe\0x", 7)}}, kInvalidFileName, true},
      {"an empty stored name", {{"a#.0", std::string("\0abc", 4)}}, kInvalidFileName},
      {"a stored name without end", {{"a#.0", std::string(300, 'n')}}, kInvalidFileName},
  };
  for (const Case& c : cases) for (FrontEnd frontEnd : FrontEnds()) {
    if (c.programOnly && frontEnd != FrontEnd::kRestoreProgram) continue;
    SCOPED_TRACE(std::string(c.what) + " through " + test::NameOf(frontEnd));
    TestPlatform platform;
    HandMadeSet set;
    for (const auto& [name, bytes] : c.pieces) set.Piece(name, bytes);
    const std::vector<std::string> before = ListDir(set.dir.path());
    const int code = RestoreAt(set.program, frontEnd);
    if (code == test::kNoWayIn) continue;  // no piece to open the set by in the window
    EXPECT_EQ(code, 1);
    EXPECT_EQ(platform.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(ListDir(set.dir.path()), before);
    EXPECT_EQ(platform.created, 0);
  }
}

// A program renamed on the way (a browser's "a (1).exe") finds its pieces
// through its manifest; a bare image, which has none, finds them by its
// name alone.
TEST(Restore, ARenamedProgramFindsItsPiecesThroughItsManifest) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(3000, 5);
  WriteAll(dir / "a.txt", source);
  SplitAway(dir / "a.txt", 1);
  std::filesystem::rename(dir / "a.exe", dir / "a (1).exe");
  EXPECT_EQ(RestoreAt(dir / "a (1).exe"), 0);
  EXPECT_EQ(ReadAll(dir / "a.txt"), source);
  std::filesystem::remove(dir / "a.txt");
  WriteAll(dir / "b.exe", platform.image);
  EXPECT_EQ(RestoreAt(dir / "b.exe"), 1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{kNoSplitFileFound});
  EXPECT_FALSE(Exists(dir / "a.txt"));
}

// Write and read failures leave the old file of the stored name as it was
// and no temporary file behind.
TEST(Restore, IoFailuresKeepTheExistingFile) {
  struct Case {
    const char* what;
    Stage stage;
    std::uint64_t afterBytes;
    bool readFault;
    bool replaceFault;
    const char* message;
    bool stays = false;  // another program holds the temporary file beyond the retries
  };
  const std::vector<Case> cases{
      {"output cannot be created", Stage::kOpen, 0, false, false, kCannotWriteFile},
      {"first write fails", Stage::kWrite, 0, false, false, kCannotWriteFile},
      {"a write fails in the middle", Stage::kWrite, 2500, false, false, kCannotWriteFile},
      {"close fails", Stage::kClose, 0, false, false, kCannotWriteFile},
      {"the flush to the disk fails", Stage::kFlush, 0, false, false, kCannotWriteFile},
      {"the move onto the name fails", Stage::kNone, 0, false, true, kCannotWriteFile},
      {"a piece cannot be read", Stage::kNone, 0, true, false, kCannotReadFile},
      {"a piece cannot be read, and the temporary file stays", Stage::kNone, 0, true, false, kCannotReadFile, true},
  };
  TempDir dir;
  const std::string source = RandomBytes(7000, 6);
  {
    TestPlatform quiet;
    WriteAll(dir / "f.bin", source);
    SplitAway(dir / "f.bin", 2);
  }
  const std::vector<std::string> pieces = ListDir(dir.path());
  for (const Case& c : cases) for (bool threads : {true, false}) for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(std::string(c.what) + (threads ? "" : ", without threads") + " through " + test::NameOf(frontEnd));
    WriteAll(dir / "f.bin", "the file already there");
    TestPlatform platform;
    platform.threads = threads;
    platform.writeFault.stage = c.stage;
    platform.writeFault.afterBytes = c.afterBytes;
    platform.readFault = c.readFault;
    platform.readFaultIn = "#.";
    platform.readFailAfter = 100;
    platform.replaceFault = c.replaceFault;
    if (c.stays) platform.removeFaultIn = "~morsela";
    EXPECT_EQ(RestoreAt(dir / "f.exe", frontEnd), 1);
    std::vector<std::string> messages{c.message};
    if (c.stays) messages.push_back(kCannotWriteFile);
    EXPECT_EQ(platform.messages, messages);
    EXPECT_EQ(platform.details.back(), c.stays ? "~morsela0.tmp" : platform.details.front());
    EXPECT_EQ(ReadAll(dir / "f.bin"), "the file already there");
    if (c.stays) std::filesystem::remove(dir / "~morsela0.tmp");
    std::vector<std::string> expected = pieces;
    expected.push_back("f.bin");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListDir(dir.path()), expected);
  }
}

// Runs `damage` on a fresh set of movie.avi (5,000 bytes in pieces of
// 1,000: movie#.0 to movie#.5, the last of 10 bytes) beside an older
// movie.avi; returns the restore's exit code.
struct ManifestSet {
  TestPlatform platform;
  TempDir dir;
  std::string source = RandomBytes(5000, 40);
  ManifestSet() {
    WriteAll(dir / "movie.avi", source);
    SplitAway(dir / "movie.avi", 1);
    WriteAll(dir / "movie.avi", "an older file");
  }
  std::string Piece(int k) const { return dir / ("movie#." + FormatDecimal(k)); }
};

void FlipByte(const std::string& path, std::size_t at) {
  std::string bytes = ReadAll(path);
  bytes[at] = char(bytes[at] ^ 1);
  WriteAll(path, bytes);
}

// The failures a recipient meets: each refused with its message and the
// pieces concerned on the second line, and nothing written.
TEST(RestoreWithManifest, RefusesEverySetThatIsNotTheOneSplit) {
  struct Case {
    const char* what;
    std::function<void(ManifestSet&)> damage;
    const char* message;
    const char* detail;
  };
  const std::vector<Case> cases{
      {"the last piece missing", [](ManifestSet& s) { std::filesystem::remove(s.Piece(5)); },
       kFileNotFound, "movie#.5"},
      {"two pieces missing",
       [](ManifestSet& s) {
         std::filesystem::remove(s.Piece(1));
         std::filesystem::remove(s.Piece(3));
       },
       kFileNotFound, "movie#.1, movie#.3"},
      {"no piece at all",
       [](ManifestSet& s) {
         for (int k = 0; k < 6; ++k) std::filesystem::remove(s.Piece(k));
       },
       kNoSplitFileFound, "movie#.0, movie#.1, movie#.2, movie#.3, movie#.4 and 1 more"},
      {"one byte altered", [](ManifestSet& s) { FlipByte(s.Piece(2), 500); }, kSplitFileDamaged, "movie#.2"},
      {"a byte of the name header altered", [](ManifestSet& s) { FlipByte(s.Piece(0), 2); }, kSplitFileDamaged,
       "movie#.0"},
      {"a piece grown by one byte", [](ManifestSet& s) { WriteAll(s.Piece(4), ReadAll(s.Piece(4)) + "x"); },
       kSplitFileDamaged, "movie#.4"},
      {"the last piece cut by one byte",
       [](ManifestSet& s) { std::filesystem::resize_file(s.Piece(5), 9); }, kSplitFileDamaged, "movie#.5"},
      {"two pieces of equal size swapped",
       [](ManifestSet& s) {
         std::filesystem::rename(s.Piece(1), s.dir / "swap");
         std::filesystem::rename(s.Piece(2), s.Piece(1));
         std::filesystem::rename(s.dir / "swap", s.Piece(2));
       },
       kSplitFileDamaged, "movie#.1, movie#.2"},
      {"a piece of another split with the same base name",
       [](ManifestSet& s) {
         TempDir other;
         WriteAll(other / "movie.doc", RandomBytes(5000, 41));
         SplitAway(other / "movie.doc", 1);
         WriteAll(s.Piece(3), ReadAll(other / "movie#.3"));
       },
       kSplitFileDamaged, "movie#.3"},
      {"the manifest altered",
       [](ManifestSet& s) { FlipByte(s.dir / "movie.exe", s.platform.image.size() + 20); }, kSplitFileDamaged,
       "movie.exe"},
      {"a manifest whose stored name the head piece does not hold",
       [](ManifestSet& s) {
         auto file = System().OpenRead(s.dir / "movie.exe");
         Manifest m = ReadManifest(*file).manifest;
         file.reset();
         m.storedName = "mov1e.avi";
         WriteAll(s.dir / "movie.exe", s.platform.image + EncodeManifest(m, s.platform.image.size()));
       },
       kSplitFileDamaged, "movie#.0"},
      {"a description with more recovery pieces than a rebuild may solve for",
       [](ManifestSet& s) {
         auto file = System().OpenRead(s.dir / "movie.exe");
         Manifest m = ReadManifest(*file).manifest;
         file.reset();
         m.recoveryCount = kMostRecoveryPieces + 1;
         m.recoveryCrcs.assign(std::size_t(m.recoveryCount), 0);
         WriteAll(s.dir / "movie.exe", s.platform.image + EncodeManifest(m, s.platform.image.size()));
       },
       kSplitFileDamaged, "movie.exe"},
      {"a damaged piece, then one that cannot be read: the unreadable one is named",
       [](ManifestSet& s) {
         FlipByte(s.Piece(1), 10);
         s.platform.readFault = true;
         s.platform.readFaultIn = "#.3";
       },
       kCannotReadFile, "movie#.3"},
  };
  for (const Case& c : cases) for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(std::string(c.what) + " through " + test::NameOf(frontEnd));
    ManifestSet set;
    c.damage(set);
    const std::vector<std::string> before = ListDir(set.dir.path());
    EXPECT_EQ(RestoreAt(set.dir / "movie.exe", frontEnd), 1);
    EXPECT_EQ(set.platform.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(set.platform.details, std::vector<std::string>{c.detail});
    EXPECT_EQ(ListDir(set.dir.path()), before);
    EXPECT_EQ(ReadAll(set.dir / "movie.avi"), "an older file");
  }
}

// A set of 6 pieces and 2 recovery pieces loses every choice of up to 3 of
// its 8 files, each deleted, altered or cut (by turns): up to 2 it comes
// back byte for byte, through both front ends, also where the restore
// program brought no manifest; at 3 it is refused, saying that one more
// would be needed, and nothing is written.
TEST(RestoreWithRecovery, AnyTwoLossesComeBackAndAThirdIsRefused) {
  const std::string source = RandomBytes(5000, 43);
  const std::vector<std::string> files{"movie#.0", "movie#.1", "movie#.2", "movie#.3",
                                       "movie#.4", "movie#.5", "movie#.r1", "movie#.r2"};
  int variant = 0;
  for (unsigned chosen = 1; chosen < 1u << files.size(); ++chosen) {
    const int losses = __builtin_popcount(chosen);
    if (losses > 3) continue;
    ++variant;
    const FrontEnd frontEnd = FrontEnds()[std::size_t(variant) % FrontEnds().size()];
    const bool bareProgram = variant % 5 == 0;
    SCOPED_TRACE(FormatDecimal(chosen) + " through " + test::NameOf(frontEnd) +
                 (bareProgram ? ", the program without its manifest" : ""));
    TestPlatform platform;
    TempDir dir;
    WriteAll(dir / "movie.avi", source);
    SplitAway(dir / "movie.avi", 1, 2);
    if (bareProgram) WriteAll(dir / "movie.exe", platform.image);
    for (std::size_t f = 0; f < files.size(); ++f) {
      if (!(chosen >> f & 1)) continue;
      const std::string path = dir / files[f];
      switch ((f + std::size_t(variant)) % 3) {
        case 0: std::filesystem::remove(path); break;
        case 1: FlipByte(path, ReadAll(path).size() - 1); break;
        default: std::filesystem::resize_file(path, ReadAll(path).size() - 1);
      }
    }
    const std::vector<std::string> before = ListDir(dir.path());
    const int code = RestoreAt(dir / "movie.exe", frontEnd);
    if (losses <= 2) {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(ReadAll(dir / "movie.avi"), source);
      EXPECT_TRUE(platform.messages.empty());
      continue;
    }
    EXPECT_EQ(code, 1);
    ASSERT_EQ(platform.details.size(), 1u);
    const std::string& detail = platform.details[0];
    EXPECT_EQ(detail.substr(detail.find('\n') + 1), "1 more piece or recovery piece would be needed");
    EXPECT_EQ(ListDir(dir.path()), before);
  }
}

// The rebuild works in windows of the recovery data: pieces larger than a
// window come back too, and the front ends say how many were rebuilt.
TEST(RestoreWithRecovery, PiecesLargerThanTheWindowComeBackAndAreCounted) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(3 * kRebuildMemory / 2 + 777, 44);
  WriteAll(dir / "big.bin", source);
  const std::uint32_t sizeKb = std::uint32_t(kRebuildMemory / 2000);  // a piece: half the memory
  SplitAway(dir / "big.bin", sizeKb, 3);
  std::filesystem::remove(dir / "big#.0");
  FlipByte(dir / "big#.2", 12345);
  std::filesystem::remove(dir / "big#.r2");
  SetSource set{dir.path() + "/", dir / "big.exe", "big.exe", "big", std::nullopt, {}};
  const RestoreResult result = Restore(set, RestoreOptions());
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.rebuilt, 2u);
  EXPECT_EQ(ReadAll(dir / "big.bin"), source);
  EXPECT_EQ(RebuiltText(result.rebuilt), "2 pieces rebuilt from recovery data");

  // A set of one piece, which is lost with the first recovery piece: the
  // second one alone gives it back.
  const std::string small = RandomBytes(1500, 45);
  WriteAll(dir / "one.txt", small);
  SplitAway(dir / "one.txt", 2, 2);
  std::filesystem::remove(dir / "one#.0");
  std::filesystem::remove(dir / "one#.r1");
  EXPECT_EQ(RestoreAt(dir / "one.exe"), 0);
  EXPECT_EQ(ReadAll(dir / "one.txt"), small);
  EXPECT_TRUE(platform.messages.empty());
}

// Recovery pieces whose data fail their CRC are passed over once: the
// rebuild then checks the next ones on their own before it reads the set
// again, so that five damaged ones cost what one costs.
TEST(RestoreWithRecovery, DamagedRecoveryPiecesArePassedOverOnce) {
  std::vector<int> reads;
  for (int damaged : {1, 5}) {
    SCOPED_TRACE(FormatDecimal(damaged) + " damaged");
    TestPlatform platform;
    TempDir dir;
    const std::string source = RandomBytes(5000, 55);
    WriteAll(dir / "movie.avi", source);
    SplitAway(dir / "movie.avi", 1, 8);
    std::filesystem::remove(dir / "movie#.4");
    for (int j = 1; j <= damaged; ++j) {
      const std::string path = dir / ("movie#.r" + FormatDecimal(j));
      FlipByte(path, ReadAll(path).size() - 3);
    }
    int surviving = 0;
    platform.duringRead = [&](const std::string& path) { surviving += path.find("#.2") != std::string::npos; };
    EXPECT_EQ(RestoreAt(dir / "movie.exe"), 0);
    EXPECT_TRUE(ReadAll(dir / "movie.avi") == source);
    reads.push_back(surviving);
  }
  EXPECT_EQ(reads[0], reads[1]);
}

// The manifest a split wrote after its restore program.
Manifest ManifestOf(const std::string& program) {
  std::unique_ptr<InputFile> file = NativePlatform().OpenRead(program);
  const ManifestRead read = ReadManifest(*file);
  EXPECT_EQ(read.state, ManifestState::kValid);
  return read.manifest;
}

// A set of 6 pieces of 40,000 bytes in rows of 4 KiB (10 rows) and R
// recovery pieces.
struct StripedSet {
  TempDir dir;
  std::string source;
  Manifest m;
  StripedSet(std::uint64_t recovery, unsigned seed) : source(RandomBytes(200000 + seed % 977, seed)) {
    WriteAll(dir / "movie.avi", source);
    SplitAway(dir / "movie.avi", 40, recovery);
    m = ManifestOf(dir / "movie.exe");
  }
  // File `index`: a piece, or recovery piece index - C; and where its
  // stripes begin in it.
  std::string File(std::uint64_t index) const {
    return dir / (index < m.pieceCount ? "movie#." + FormatDecimal(index)
                                       : "movie#.r" + FormatDecimal(index - m.pieceCount + 1));
  }
  std::uint64_t DataOffset(std::uint64_t index) const { return index < m.pieceCount ? 0 : RecoveryDataOffset(m); }
  // Alters one byte of stripe `row` of file `index`, at `within` (taken
  // modulo the stripe's length).
  void Damage(std::uint64_t index, std::uint64_t row, std::uint64_t within) const {
    FlipByte(File(index), std::size_t(DataOffset(index) + row * m.stripeSize + within % m.StripeLength(index, row)));
  }
};

// The rows against the source on random damage: random stripes of pieces
// and recovery pieces altered in random rows, up to R in each row, come
// back byte for byte, the note counting every piece with a mended stripe;
// one row with R + 1 is refused, naming the pieces, with the rows that
// could not be mended and how many more recovery pieces they needed.
TEST(RestoreWithStripes, RandomDamageUpToRInEveryRow) {
  for (unsigned trial = 0; trial < 12; ++trial) {
    const std::uint64_t recovery = 1 + trial % 3;
    const bool beyond = trial % 4 == 3;
    SCOPED_TRACE("trial " + FormatDecimal(trial) + ", R = " + FormatDecimal(recovery) + (beyond ? ", one row beyond" : ""));
    TestPlatform platform;
    StripedSet set(recovery, 60 + trial);
    ASSERT_EQ(set.m.Version(), 3u);
    ASSERT_EQ(set.m.stripeSize, 4096u);
    ASSERT_EQ(set.m.Rows(), 10u);
    std::mt19937 random(trial);
    const std::uint64_t files = set.m.pieceCount + recovery;
    std::vector<bool> damagedPiece(std::size_t(set.m.pieceCount));
    const std::uint64_t worst = random() % set.m.Rows();
    for (std::uint64_t row = 0; row < set.m.Rows(); ++row) {
      std::vector<std::uint64_t> order;
      for (std::uint64_t index = 0; index < files; ++index)
        if (set.m.StripeLength(index, row) > 0) order.push_back(index);
      std::shuffle(order.begin(), order.end(), random);
      const std::uint64_t count = beyond && row == worst ? recovery + 1 : random() % (recovery + 1);
      for (std::uint64_t d = 0; d < count && d < order.size(); ++d) {
        set.Damage(order[d], row, random());
        if (order[d] < set.m.pieceCount) damagedPiece[std::size_t(order[d])] = true;
      }
    }
    SetSource source{set.dir.path() + "/", set.dir / "movie.exe", "movie.exe", "movie", std::nullopt, {}};
    const std::vector<std::string> before = ListDir(set.dir.path());
    const RestoreResult result = Restore(source, RestoreOptions());
    if (beyond) {
      EXPECT_EQ(result.code, 1);
      ASSERT_EQ(result.messages.size(), 1u);
      const std::string& message = result.messages[0];
      EXPECT_EQ(message.substr(message.rfind('\n') + 1), "1 row could not be mended: 1 more recovery piece would have been needed");
      EXPECT_EQ(ListDir(set.dir.path()), before);
      continue;
    }
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(ReadAll(set.dir / "movie.avi"), set.source);
    EXPECT_EQ(result.rebuilt, std::uint64_t(std::count(damagedPiece.begin(), damagedPiece.end(), true)));
    EXPECT_TRUE(platform.messages.empty());
  }
}

// Scattered damage through every front end: one stripe in every piece,
// a torn piece end with a damaged stripe in another piece, a piece
// unreadable in its middle, a missing piece with a stripe of another and
// of a recovery piece; each beyond what whole pieces could mend.
TEST(RestoreWithStripes, ScatteredDamageThroughEveryFrontEnd) {
  struct Case {
    const char* what;
    std::function<void(const StripedSet&, TestPlatform&)> damage;
    std::uint64_t rebuilt;
  };
  const std::vector<Case> cases{
      {"one stripe in every piece",
       [](const StripedSet& s, TestPlatform&) {
         // The last piece, short, has bytes in row 0 alone.
         for (std::uint64_t k = 0; k < s.m.pieceCount; ++k) s.Damage(k, k + 1 < s.m.pieceCount ? k : 0, 100 * k);
       },
       6},
      {"a torn piece end",
       [](const StripedSet& s, TestPlatform&) {
         std::filesystem::resize_file(s.File(2), 4096 * 6 + 10);
         s.Damage(4, 2, 7);
         s.Damage(0, 7, 7);
       },
       3},
      {"a piece unreadable in its middle",
       [](const StripedSet& s, TestPlatform& platform) {
         platform.readFaultIn = "movie#.3";
         platform.unreadableFrom = 4096 * 4 + 100;
         platform.unreadableTo = 4096 * 4 + 612;
         s.Damage(1, 5, 3);
         s.Damage(5, 0, 3);
       },
       3},
      {"a missing piece, a stripe of another and of a recovery piece",
       [](const StripedSet& s, TestPlatform&) {
         std::filesystem::remove(s.File(1));
         s.Damage(3, 9, 1);
         s.Damage(s.m.pieceCount, 3, 1);
       },
       2},
  };
  int variant = 0;
  for (const Case& c : cases) {
    for (FrontEnd frontEnd : FrontEnds()) {
      SCOPED_TRACE(std::string(c.what) + " through " + test::NameOf(frontEnd));
      TestPlatform platform;
      StripedSet set(2, 90 + unsigned(variant++));
      c.damage(set, platform);
      EXPECT_EQ(RestoreAt(set.dir / "movie.exe", frontEnd), 0);
      EXPECT_EQ(ReadAll(set.dir / "movie.avi"), set.source);
      EXPECT_TRUE(platform.messages.empty());
      if (frontEnd == FrontEnd::kRestoreProgram) {
        std::filesystem::remove(set.dir / "movie.avi");
        SetSource source{set.dir.path() + "/", set.dir / "movie.exe", "movie.exe", "movie", std::nullopt, {}};
        EXPECT_EQ(Restore(source, RestoreOptions()).rebuilt, c.rebuilt);
      }
    }
  }
}

// With recovery pieces the split reads in rows, the same offset of up to
// eight pieces in turn. Whatever its block (a whole piece, a stripe and a
// bit, less than a stripe), it writes the same set, its pieces those of
// the split without recovery pieces, and the set mends a lost piece and a
// damaged stripe in two groups of rows.
TEST(RestoreWithStripes, RowsOfAnyBlockGiveTheSameSet) {
  TestPlatform platform;
  const std::string source = RandomBytes(497'123, 46);  // 13 pieces of 40,000 bytes, the last short
  std::vector<std::string> plain, first;
  {
    TempDir dir;
    WriteAll(dir / "r.bin", source);
    SplitFile(dir / "r.bin", 40);
    for (int k = 0; k < 13; ++k) plain.push_back(ReadAll(dir / ("r#." + FormatDecimal(k))));
  }
  for (std::size_t block : {std::size_t(1) << 20, std::size_t(40'000), std::size_t(4'098), std::size_t(1'000)}) {
    SCOPED_TRACE(block);
    TempDir dir;
    WriteAll(dir / "r.bin", source);
    SplitFile(dir / "r.bin", 40, nullptr, std::string(), 2, block);
    std::filesystem::remove(dir / "r.bin");
    std::vector<std::string> files;
    for (const std::string& name : ListDir(dir.path())) files.push_back(name + ":" + ReadAll(dir / name));
    ASSERT_EQ(files.size(), 13u + 2 + 2);
    for (int k = 0; k < 13; ++k) EXPECT_TRUE(ReadAll(dir / ("r#." + FormatDecimal(k))) == plain[std::size_t(k)]);
    if (first.empty()) first = files;
    EXPECT_TRUE(files == first);
    std::filesystem::remove(dir / "r#.3");
    FlipByte(dir / "r#.12", 5'000);
    EXPECT_EQ(RestoreAt(dir / "r.exe"), 0);
    EXPECT_TRUE(ReadAll(dir / "r.bin") == source);
  }
  EXPECT_TRUE(platform.messages.empty());
}

// Sets of the format before stripes (version 2: whole pieces, one row)
// restore as before: two losses mended, a third refused as before, a
// damaged recovery piece passed over.
TEST(RestoreWithStripes, VersionTwoSetsRestoreAsBefore) {
  for (int losses : {2, 3}) {
    SCOPED_TRACE(FormatDecimal(losses) + " losses");
    TestPlatform platform;
    StripedSet set(3, 70);
    Manifest older = set.m;
    older.stripeSize = 0;
    older.stripeCrcs.clear();
    WriteAll(set.dir / "movie.exe", platform.image + EncodeManifest(older, platform.image.size()));
    for (std::uint64_t j = 0; j < 3; ++j) {
      const std::string path = set.File(set.m.pieceCount + j);
      WriteAll(path, EncodeRecoveryHead(older, j) + ReadAll(path).substr(std::size_t(RecoveryDataOffset(set.m))));
    }
    ASSERT_EQ(ManifestOf(set.dir / "movie.exe").Version(), 2u);
    FlipByte(set.File(set.m.pieceCount), std::size_t(RecoveryDataOffset(older) + 5));  // r1
    std::filesystem::remove(set.File(0));
    FlipByte(set.File(4), 30000);
    if (losses == 3) std::filesystem::resize_file(set.File(2), 20000);
    const int code = RestoreAt(set.dir / "movie.exe");
    if (losses == 2) {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(ReadAll(set.dir / "movie.avi"), set.source);
      continue;
    }
    EXPECT_EQ(code, 1);
    ASSERT_EQ(platform.details.size(), 1u);
    const std::string& detail = platform.details[0];
    EXPECT_EQ(detail.substr(detail.find('\n') + 1), "1 more piece or recovery piece would be needed");
  }
}

// What is not the set's is left alone: stale higher pieces of an earlier,
// longer split, names with leading zeros, another temporary file.
TEST(RestoreWithManifest, JoinsExactlyItsPiecesAndLeavesTheRestAlone) {
  for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(test::NameOf(frontEnd));
    ManifestSet set;
    WriteAll(set.Piece(6), "a stale piece of an earlier, longer split");
    WriteAll(set.dir / "movie#.01", "stray");
    WriteAll(set.dir / "~morsela0.tmp", "another restore's output");
    // A piece whose name came back in other case is still the set's.
    std::filesystem::rename(set.Piece(2), set.dir / "MOVIE#.2");
    EXPECT_EQ(RestoreAt(set.dir / "movie.exe", frontEnd), 0);
    EXPECT_TRUE(ReadAll(set.dir / "movie.avi") == set.source);
    EXPECT_TRUE(set.platform.messages.empty());
    EXPECT_EQ(ReadAll(set.Piece(6)), "a stale piece of an earlier, longer split");
    EXPECT_EQ(ReadAll(set.dir / "~morsela0.tmp"), "another restore's output");
    EXPECT_EQ(ListDir(set.dir.path()).size(), 12u);
  }
}

// Two splits of data.bin a week apart, their files kept apart: last week's
// of `oldLength` bytes and this week's of `newLength` (from the same bytes,
// so an appended week shares its first pieces), in pieces of 1,000 bytes,
// each with its count of recovery pieces. A case lays some of each into
// one folder, as a recipient's folder gathers them.
struct TwoSplits {
  TestPlatform platform;
  TempDir older, newer, dir;
  std::string oldSource, newSource;
  TwoSplits(std::size_t oldLength, std::uint64_t oldRecovery, std::size_t newLength, std::uint64_t newRecovery,
            std::uint32_t seed = 52) {
    const std::string bytes = RandomBytes(std::max(oldLength, newLength), seed);
    oldSource = bytes.substr(0, oldLength);
    newSource = seed == 52 ? bytes.substr(0, newLength) : RandomBytes(newLength, seed + 1);
    for (const auto& [at, source, recovery] :
         {std::tuple{&older, &oldSource, oldRecovery}, std::tuple{&newer, &newSource, newRecovery}}) {
      WriteAll(*at / "data.bin", *source);
      SplitAway(*at / "data.bin", 1, recovery);
    }
  }
  void Take(const TempDir& from, const std::vector<std::string>& names) {
    for (const std::string& name : names) WriteAll(dir / name, ReadAll(from / name));
  }
  void TakePieces(const TempDir& from, int count, int without = -1) {
    for (int k = 0; k < count; ++k)
      if (k != without) Take(from, {"data#." + FormatDecimal(k)});
  }
};

// A folder that holds descriptions of two splits of one file restores the
// one its pieces fit, through every front end, or refuses: never last
// week's file with this week's pieces, and never by the order the folder
// lists the descriptions in.
TEST(RestoreWithDescriptions, TheOneThePiecesFitOrNone) {
  struct Case {
    const char* what;
    std::function<std::unique_ptr<TwoSplits>()> lay;
    bool windowOnly;     // no restore program came along
    const char* detail;  // of "Split File Damaged !"; nullptr: this week's file comes back
  };
  const std::vector<Case> cases{
      {"last week's program and recovery pieces beside this week's longer pieces",
       [] {
         auto s = std::make_unique<TwoSplits>(5000, 2, 7000, 0);
         s->Take(s->older, {"data.exe", "data#.r1", "data#.r2"});
         s->TakePieces(s->newer, 8);
         return s;
       },
       false, "The pieces belong to another split of data.bin than the one data.exe describes."},
      {"this week's set beside last week's recovery pieces",
       [] {
         auto s = std::make_unique<TwoSplits>(5000, 2, 7000, 0);
         s->Take(s->older, {"data#.r1", "data#.r2"});
         s->Take(s->newer, {"data.exe"});
         s->TakePieces(s->newer, 8);
         return s;
       },
       false, nullptr},
      {"a stale recovery piece numbered before the new set's own, a piece lost, no program",
       [] {
         auto s = std::make_unique<TwoSplits>(5000, 2, 7000, 2);
         s->Take(s->older, {"data#.r1"});
         s->Take(s->newer, {"data#.r2"});
         s->TakePieces(s->newer, 8, 3);
         return s;
       },
       true, nullptr},
      {"two descriptions of pieces of one size, this week's content",
       [] {
         auto s = std::make_unique<TwoSplits>(5000, 0, 5000, 1, 60);
         s->Take(s->older, {"data.exe"});
         s->Take(s->newer, {"data#.r1"});
         s->TakePieces(s->newer, 6);
         return s;
       },
       false, nullptr},
      {"two descriptions that the pieces fit alike: an appended week whose last piece is lost",
       [] {
         auto s = std::make_unique<TwoSplits>(5991, 0, 6491, 1);
         s->Take(s->older, {"data.exe"});
         s->Take(s->newer, {"data#.r1"});
         s->TakePieces(s->newer, 6);
         return s;
       },
       false, "The pieces fit descriptions of different splits of data.bin: data.exe, data#.r1."},
  };
  for (const Case& c : cases) for (FrontEnd frontEnd : FrontEnds()) {
    if (c.windowOnly && frontEnd == FrontEnd::kRestoreProgram) continue;
    SCOPED_TRACE(std::string(c.what) + " through " + test::NameOf(frontEnd));
    const std::unique_ptr<TwoSplits> s = c.lay();
    const std::vector<std::string> before = ListDir(s->dir.path());
    const int code = RestoreAt(s->dir / "data.exe", frontEnd);
    if (!c.detail) {
      EXPECT_EQ(code, 0);
      EXPECT_TRUE(ReadAll(s->dir / "data.bin") == s->newSource);
      EXPECT_TRUE(s->platform.messages.empty());
      continue;
    }
    EXPECT_EQ(code, 1);
    EXPECT_EQ(s->platform.messages, std::vector<std::string>{kSplitFileDamaged});
    EXPECT_EQ(s->platform.details, std::vector<std::string>{c.detail});
    EXPECT_EQ(ListDir(s->dir.path()), before);
  }
}

// The set of a program is restored through its restore program's second
// name, also where the program itself lies (the sender's folder), and a
// piece dropped onto the window finds it there; a program of the set's
// name that is not a restore program (a launcher with an archive after
// its image) is not the set's.
TEST(RestoreWithDescriptions, TheRestoreProgramIsFoundByWhatItIs) {
  for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(test::NameOf(frontEnd));
    TestPlatform platform;
    platform.image = test::MinimalExecutable();
    TempDir dir;
    const std::string source = RandomBytes(5000, 53);
    WriteAll(dir / "setup.exe", source);
    SplitFile(dir / "setup.exe", 1);
    ASSERT_TRUE(Exists(dir / "setup.unsplit.exe"));
    const std::string program = dir / "setup.unsplit.exe", head = dir / "setup#.0";
    EXPECT_EQ(RestoreThrough(frontEnd, program, head), 0);
    EXPECT_TRUE(ReadAll(dir / "setup.exe") == source);
    FlipByte(dir / "setup#.1", 7);
    EXPECT_EQ(RestoreThrough(frontEnd, program, head), 1);
    EXPECT_EQ(platform.details, std::vector<std::string>{"setup#.1"});
    EXPECT_TRUE(ReadAll(dir / "setup.exe") == source);
  }
  TestPlatform platform;
  platform.image = test::MinimalExecutable();
  TempDir dir;
  const std::string source = RandomBytes(5000, 54);
  WriteAll(dir / "data.bin", source);
  SplitAway(dir / "data.bin", 1, 1);
  WriteAll(dir / "data.exe", platform.image + "an archive the launcher unpacks");
  for (FrontEnd frontEnd : FrontEnds()) {
    if (frontEnd == FrontEnd::kRestoreProgram) continue;
    EXPECT_EQ(RestoreThrough(frontEnd, dir / "data.exe", dir / "data#.0"), 0);
    EXPECT_TRUE(ReadAll(dir / "data.bin") == source);
    EXPECT_TRUE(platform.messages.empty());
  }
}

TEST(RestoreWithManifest, StoppedAtAnyBlockLeavesNothing) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(3'500'000, 42);
  WriteAll(dir / "p.bin", source);
  SplitAway(dir / "p.bin", 1000);
  test::ProgressRecorder full;
  EXPECT_EQ(RestoreSplitFile({dir / "p.exe", dir / "p.exe", dir / "p.exe"}, &full), 0);
  EXPECT_EQ(full.names, std::vector<std::string>{"p.bin"});
  EXPECT_EQ(full.totals, std::vector<std::uint64_t>{source.size()});
  ASSERT_GE(full.reports.size(), 4u);
  EXPECT_EQ(full.reports.back().done, source.size());
  EXPECT_EQ(full.reports.back().piece, 3u);
  for (std::size_t stop : {std::size_t(0), full.reports.size() / 2, full.reports.size() - 1}) {
    SCOPED_TRACE("stopped at block " + FormatDecimal(stop));
    WriteAll(dir / "p.bin", "an older file");
    const std::vector<std::string> before = ListDir(dir.path());
    test::ProgressRecorder progress;
    progress.stopAt = stop;
    EXPECT_EQ(RestoreSplitFile({dir / "p.exe", dir / "p.exe", dir / "p.exe"}, &progress), kExitStopped);
    EXPECT_EQ(ListDir(dir.path()), before);
    EXPECT_EQ(ReadAll(dir / "p.bin"), "an older file");
  }
  EXPECT_TRUE(platform.messages.empty());
}

// The reading side fails or the user stops while the other side is inside
// a call: the restore ends cleanly with the message of the side that
// failed (none for a stop) and leaves the folder as it was.
TEST(RestoreWithManifest, OneSideFailsOrStopsWhileTheOtherIsMidBlock) {
  enum Way { kReadFails, kWriteFails, kStopped };
  for (Way way : {kReadFails, kWriteFails, kStopped}) {
    SCOPED_TRACE(way);
    ManifestSet set;
    const std::vector<std::string> before = ListDir(set.dir.path());
    TestPlatform& platform = set.platform;
    // One side waits inside its call for piece 1 (a write) or piece 3 (a
    // read, ahead of the write that fails or of the stop) until the other
    // has failed or stopped; the failing write and the stop first wait for
    // the read to be under way.
    std::atomic<int> reading{0};
    bool waited = false;
    int reads = 0, writes = 0;
    platform.duringRead = [&](const std::string& path) {
      if (way == kReadFails || path.find("movie.exe") != std::string::npos || reads++ != 3) return;
      ++reading;
      waited = test::Await(platform.faults);
    };
    platform.duringWrite = [&](const std::string&) {
      if (writes++ != 1) return;
      if (way == kReadFails) waited = test::Await(platform.faults);
      if (way == kWriteFails) test::Await(reading);
    };
    test::ProgressRecorder progress;
    if (way == kReadFails) {
      platform.readFault = true;
      platform.readFaultIn = "#.3";
    } else if (way == kWriteFails) {
      platform.created = 0;  // the output is the first file created now
      platform.writeFault = {Stage::kWrite, 0, false, 1500};
    } else {
      progress.stopAt = 1;
      progress.duringAt = 1;
      progress.during = [&] {
        test::Await(reading);
        ++platform.faults;
      };
    }
    EXPECT_EQ(RestoreSplitFile({set.dir / "movie.exe", set.dir / "movie.exe", set.dir / "movie.exe"}, &progress),
              way == kStopped ? kExitStopped : 1);
    EXPECT_TRUE(waited);
    const std::vector<std::vector<std::string>> messages{{kCannotReadFile}, {kCannotWriteFile}, {}};
    const std::vector<std::vector<std::string>> details{{"movie#.3"}, {"movie.avi"}, {}};
    EXPECT_EQ(platform.messages, messages[way]);
    EXPECT_EQ(platform.details, details[way]);
    EXPECT_EQ(ListDir(set.dir.path()), before);
    EXPECT_TRUE(ReadAll(set.dir / "movie.avi") == "an older file");
  }
}

// Random damage to sets and to their manifests, and random manifests: the
// restore never crashes, never writes outside its folder, and never ends
// with exit code 0 unless the file it wrote is the one that was split.
TEST(RestoreFuzz, RandomDamageNeverGivesAWrongFile) {
  std::mt19937 random(20261207);
  const char* names[] = {"a.txt", "movie.avi", "noext", "x.y.z", ".profile"};
  int restored = 0, refused = 0;
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE("round " + FormatDecimal(round));
    TestPlatform platform;
    platform.image = test::MinimalExecutable();
    TempDir outer;
    const std::string dir = outer / "set/";
    std::filesystem::create_directory(dir);
    const std::string name = names[random() % 5];
    const std::string source = RandomBytes(1000 + random() % 9000, random());
    WriteAll(dir + name, source);
    SplitAway(dir + name, 1 + random() % 3);
    const std::string program = RestoreProgramName(dir + name);
    std::vector<std::string> pieces;
    for (const std::string& entry : ListDir(dir))
      if (entry != FileNameOf(program)) pieces.push_back(dir + entry);
    auto pick = [&] { return pieces[random() % pieces.size()]; };
    for (int m = 1 + random() % 3; m > 0; --m) {
      std::string victim = random() % 4 == 0 ? program : pick();
      std::string bytes = ReadAll(victim);
      // The program's own headers stay whole: without them it would not
      // start at all.
      const std::size_t from = victim == program ? 0x400 : 0;
      switch (random() % 7) {
        case 0:
          if (bytes.size() > from) bytes[from + random() % (bytes.size() - from)] ^= char(1 + random() % 255);
          break;
        case 1: bytes.resize(from + random() % (bytes.size() - from + 1)); break;
        case 2: bytes += RandomBytes(1 + random() % 40, random()); break;
        case 3: std::filesystem::remove(victim); continue;
        case 4: victim = pick(); bytes = ReadAll(pick()); break;  // one piece's bytes in another's place
        case 5: victim = dir + BaseNameOf(name) + "#." + FormatDecimal(pieces.size() + random() % 3); break;
        default: {  // a random manifest, intact in itself
          Manifest m;
          const char* stored[] = {"a.txt", "..\\up.txt", "c:x", "a#.0", "", "movie.avi", "con"};
          m.storedName = stored[random() % 7];
          m.baseName = random() % 2 ? BaseNameOf(name) : m.storedName;
          m.pieceSize = 1 + random() % 4000;
          m.sourceLength = random() % 20000;
          m.pieceCount = (m.storedName.size() + 1 + m.sourceLength + m.pieceSize - 1) / m.pieceSize;
          for (std::uint64_t k = 0; k < m.pieceCount; ++k) m.pieceCrcs.push_back(random());
          victim = program;
          bytes = platform.image + EncodeManifest(m, platform.image.size());
        }
      }
      WriteAll(victim, bytes);
    }
    const std::vector<std::string> before = ListDir(dir);
    const int code = RestoreAt(program);
    ASSERT_TRUE(code == 0 || code == 1) << code;
    EXPECT_EQ(ListDir(outer.path()), std::vector<std::string>{"set"});
    if (code == 0) {
      ++restored;
      ASSERT_TRUE(Exists(dir + name)) << "exit code 0 without the file";
      EXPECT_TRUE(ReadAll(dir + name) == source) << "exit code 0 with a wrong file";
    } else {
      ++refused;
      EXPECT_EQ(ListDir(dir), before);
    }
  }
  // Both ends are reached: harmless damage (stale pieces, the image's own
  // bytes) restores, the rest is refused.
  EXPECT_GT(restored, 20);
  EXPECT_GT(refused, 200);
}

// Names from older sets: a header that is no UTF-8 was written in the
// splitter's legacy code page and keeps its name; one that is UTF-8 is
// taken as it is. A search that fails part-way is no short list.
TEST(Restore, LegacyHeadersAndFailingSearches) {
  for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(test::NameOf(frontEnd));
    TestPlatform platform;
    {
      HandMadeSet set;
      set.Piece("a#.0", std::string("caf\xE9.txt\0data", 13));  // Windows-1252
      EXPECT_EQ(RestoreAt(set.program, frontEnd), 0);
      EXPECT_EQ(ReadAll(set.dir / "caf\xC3\xA9.txt"), "data");
    }
    {
      HandMadeSet set;
      set.Piece("a#.0", std::string("\xD0\xB6.txt\0data", 11));  // UTF-8
      EXPECT_EQ(RestoreAt(set.program, frontEnd), 0);
      EXPECT_EQ(ReadAll(set.dir / "\xD0\xB6.txt"), "data");
    }
    EXPECT_TRUE(platform.messages.empty());
    for (bool manifest : {false, true}) {
      SCOPED_TRACE(manifest ? "with a manifest" : "by names");
      TempDir dir;
      WriteAll(dir / "f.bin", RandomBytes(5000, 43));
      SplitAway(dir / "f.bin", 1);
      if (!manifest) WriteAll(dir / "f.exe", platform.image);
      TestPlatform failing;
      failing.listFaultIn = "f#.";
      const std::vector<std::string> before = ListDir(dir.path());
      EXPECT_EQ(RestoreAt(dir / "f.exe", frontEnd), 1);
      EXPECT_EQ(failing.messages, std::vector<std::string>{kCannotReadFile});
      EXPECT_EQ(ListDir(dir.path()), before);
    }
  }
}

TEST(PieceScan, NumbersOnlyBaseMarkerAndDigits) {
  EXPECT_EQ(PieceNumber("a#.10", "a"), 10u);
  EXPECT_EQ(PieceNumber("A#.07", "a"), 7u);
  EXPECT_EQ(PieceNumber("#.3", ""), 3u);
  EXPECT_EQ(PieceNumber("a#.99999999999999999999999", "a"), UINT64_MAX);
  for (const char* other : {"a#.", "a#.1x", "a#.txt", "a#.-1", "b#.1", "ab#.1", "a.1", "a#1"}) {
    EXPECT_FALSE(PieceNumber(other, "a")) << other;
  }
}

TEST(PieceScan, SortsStablyByNumber) {
  const std::vector<DirEntry> found{{"a#.10", 1, false}, {"a#.2", 1, false}, {"a#.0", 1, false},
                                    {"a#.x", 1, false},  {"a#.00", 1, false}, {"a#.1", 1, true}};
  std::vector<std::string> order;
  for (const Piece& piece : CollectPieces(found, "a")) order.push_back(piece.name);
  EXPECT_EQ(order, (std::vector<std::string>{"a#.0", "a#.00", "a#.2", "a#.10"}));
}

TEST(StoredName, RefusesWhatCouldNotBeAPlainFileName) {
  for (const std::string& bad :
       {std::string(), std::string(256, 'x'), std::string("a\\b"), std::string("a/b"),
        std::string("c:b"), std::string("*"), std::string("a?"), std::string("\"q\""),
        std::string("<"), std::string(">"), std::string("a|b"), std::string("a\x01"),
        std::string("a\x7f"), std::string("a\tb"), std::string("."), std::string(".."),
        std::string("name."), std::string("name "), std::string("CON"), std::string("con.txt"),
        std::string("Nul .x"), std::string("aux"), std::string("prn.a.b"), std::string("COM1"),
        std::string("com0.log"), std::string("LPT9"), std::string("clock$"),
        std::string("CONIN$.x"), std::string("conout$"), std::string("a#.0"),
        std::string("COM\xC2\xB9"), std::string("lpt\xC2\xB2.txt"), std::string("Com\xC2\xB3 .log"),
        std::string(256, 'x'),
        // 256 UTF-16 units: 128 Cyrillic letters and 128 more
        [] { std::string n; for (int i = 0; i < 256; ++i) n += "\xD0\xB6"; return n; }()}) {
    EXPECT_FALSE(IsAcceptableStoredName(bad, {"a#.0", "a.exe"})) << bad;
  }
  for (const std::string& good : {std::string(255, 'x'), std::string("COM10"), std::string("console.txt"),
                                 std::string("LPT"), std::string(".profile"), std::string("a b.c"),
                                 std::string("caf\xc3\xa9.txt"), std::string("a#.0.bak"),
                                 std::string("COM\xC2\xB9x"), std::string("COM\xC2\xBC"),
                                 // 255 UTF-16 units in 510 bytes: longer in bytes, still legal
                                 [] { std::string n; for (int i = 0; i < 251; ++i) n += "\xD0\xB6"; return n + ".txt"; }(),
                                 // 127 emoji are 254 units
                                 [] { std::string n; for (int i = 0; i < 127; ++i) n += "\xF0\x9F\x98\x80"; return n + "a"; }()}) {
    EXPECT_TRUE(IsAcceptableStoredName(good, {"a#.0", "a.exe"})) << good;
  }
}

}  // namespace
}  // namespace morsela
