#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>

#include "format/crc32c.h"
#include "format/manifest.h"
#include "format/page_description.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "split/recovery_writer.h"
#include "split_file.h"
#include "test_platform.h"
#include "text/text.h"

namespace morsela {
namespace {

using test::Exists;
using test::ListDir;
using test::RandomBytes;
using test::ReadAll;
using test::TempDir;
using test::TestPlatform;
using test::WriteAll;

// Splits `path` into pieces of `sizeKb` x 1000 bytes as the window does.
void SplitPath(const std::string& path, std::uint32_t sizeKb, std::uint64_t recovery = 0) {
  SplitFile(path, sizeKb, nullptr, std::string(), recovery);
}

// The restore program of `path`: the image byte for byte, then a manifest
// that describes the set as it lies on disk.
void ExpectRestoreProgram(const std::string& path, const std::string& source, std::uint32_t sizeKb,
                          const std::string& image) {
  const std::string program = ReadAll(RestoreProgramName(path));
  ASSERT_GT(program.size(), image.size());
  EXPECT_EQ(program.substr(0, image.size()), image);
  auto file = System().OpenRead(RestoreProgramName(path));
  ASSERT_TRUE(file);
  const ManifestRead read = ReadManifest(*file);
  ASSERT_EQ(read.state, ManifestState::kValid);
  const Manifest& m = read.manifest;
  // The restore page beside it carries the same manifest bytes.
  const std::string page = ReadAll(RestorePageName(path));
  EXPECT_EQ(PageDescription(page), EncodeManifestBody(m));
  EXPECT_EQ(page.substr(page.size() - 10), "</script>\n");
  EXPECT_EQ(m.baseName, BaseNameOf(path));
  EXPECT_EQ(m.storedName, FileNameOf(path));
  EXPECT_EQ(m.sourceLength, source.size());
  EXPECT_EQ(m.pieceSize, sizeKb * 1000ull);
  ASSERT_EQ(m.pieceCount, PieceCount(source.size(), path, sizeKb));
  for (std::uint64_t k = 0; k < m.pieceCount; ++k) {
    const std::string piece = ReadAll(PieceName(path, k));
    EXPECT_EQ(m.pieceCrcs[k], Crc32c(0, piece.data(), piece.size())) << "piece " << k;
    EXPECT_EQ(m.PieceLength(k), piece.size()) << "piece " << k;
  }
}

// Checks the complete piece set of `path` against `source`: names, count,
// sizes, the header and the data, and the restore program.
void ExpectPieceSet(const std::string& path, const std::string& source, std::uint32_t sizeKb,
                    const std::string& image) {
  const std::uint64_t z = std::uint64_t(sizeKb) * 1000;
  const std::uint64_t count = PieceCount(source.size(), path, sizeKb);
  std::string joined;
  for (std::uint64_t k = 0; k < count; ++k) {
    SCOPED_TRACE("piece " + FormatDecimal(k));
    ASSERT_TRUE(Exists(PieceName(path, k)));
    std::string piece = ReadAll(PieceName(path, k));
    if (k + 1 < count) EXPECT_EQ(piece.size(), z);
    else EXPECT_TRUE(piece.size() >= 1 && piece.size() <= z) << piece.size();
    joined += piece;
  }
  EXPECT_FALSE(Exists(PieceName(path, count)));
  const std::string header = FileNameOf(path) + std::string(1, '\0');
  ASSERT_EQ(joined.size(), header.size() + source.size());
  EXPECT_EQ(joined.substr(0, header.size()), header);
  EXPECT_TRUE(joined.compare(header.size(), std::string::npos, source) == 0);
  ExpectRestoreProgram(path, source, sizeKb, image);
}

TEST(SplitEngine, WritesTheDocumentedLayout) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(2500, 1);
  WriteAll(dir / "f.bin", source);
  SplitPath(dir / "f.bin", 1);
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"f#.0", "f#.1", "f#.2", "f.bin", "f.exe", "f.restore.html"}));
  EXPECT_EQ(ReadAll(dir / "f#.0"), std::string("f.bin", 6) + source.substr(0, 994));
  EXPECT_EQ(ReadAll(dir / "f#.1"), source.substr(994, 1000));
  EXPECT_EQ(ReadAll(dir / "f#.2"), source.substr(1994));
  ExpectRestoreProgram(dir / "f.bin", source, 1, platform.image);
  EXPECT_EQ(ReadAll(dir / "f.bin"), source);
  EXPECT_TRUE(platform.messages.empty());
}

TEST(SplitEngine, ExactMultipleMakesNoEmptyPiece) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(10000 - 6, 2);  // "f.bin" + 0 + data = 10,000
  WriteAll(dir / "f.bin", source);
  SplitPath(dir / "f.bin", 10);
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"f#.0", "f.bin", "f.exe", "f.restore.html"}));
  EXPECT_EQ(ReadAll(dir / "f#.0").size(), 10000u);
  ExpectPieceSet(dir / "f.bin", source, 10, platform.image);
}

TEST(SplitEngine, RefusesMissingAndTooSmallSourcesWithoutWriting) {
  TestPlatform platform;
  TempDir dir;
  SplitFile(dir / "gone.bin", 10);
  WriteAll(dir / "small.bin", std::string(999, 's'));
  SplitFile(dir / "small.bin", 1);
  EXPECT_EQ(platform.messages, (std::vector<std::string>{"Pathname incorrect", "File Too Small"}));
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"small.bin"});
}

TEST(SplitEngine, MissingRestoreImageOrPageIsRefusedNotWrittenEmpty) {
  for (const char* missing : {"f.exe", "f.restore.html"}) {
    TestPlatform platform;
    (missing[2] == 'e' ? platform.image : platform.pageTemplate).clear();
    TempDir dir;
    WriteAll(dir / "f.bin", RandomBytes(5000, 3));
    SplitPath(dir / "f.bin", 1);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Write File !"});
    EXPECT_EQ(platform.details, std::vector<std::string>{dir / missing});
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"f.bin"});
  }
}

TEST(SplitEngine, SourceNamedLikeItsRestoreProgramSurvives) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(3000, 4);
  WriteAll(dir / "setup.exe", source);
  SplitPath(dir / "setup.exe", 1);
  EXPECT_EQ(ReadAll(dir / "setup.exe"), source);
  EXPECT_TRUE(ReadAll(dir / "setup.unsplit.exe").compare(0, platform.image.size(), platform.image) == 0);
  ExpectPieceSet(dir / "setup.exe", source, 1, platform.image);
  // The same for a source named like its restore page.
  WriteAll(dir / "notes.restore.html", source);
  SplitPath(dir / "notes.restore.html", 1);
  EXPECT_EQ(ReadAll(dir / "notes.restore.html"), source);
  EXPECT_TRUE(Exists(dir / "notes.unsplit.restore.html"));
  ExpectPieceSet(dir / "notes.restore.html", source, 1, platform.image);
}

TEST(SplitEngine, RepeatedSplitsAgreeAndRemoveOnlyStalePiecesThatContinueTheSequence) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(5500, 5);
  WriteAll(dir / "x.txt", source);
  SplitPath(dir / "x.txt", 1);  // six pieces
  const std::string first = ReadAll(dir / "x#.3");
  SplitPath(dir / "x.txt", 1);
  EXPECT_EQ(ReadAll(dir / "x#.3"), first);

  WriteAll(dir / "x#.9", "unrelated: not next in the sequence");
  WriteAll(dir / "x#.other", "unrelated");
  SplitPath(dir / "x.txt", 2);  // three pieces: #.3 to #.5 are stale
  EXPECT_EQ(ListDir(dir.path()),
            (std::vector<std::string>{"x#.0", "x#.1", "x#.2", "x#.9", "x#.other", "x.exe", "x.restore.html", "x.txt"}));
  ExpectPieceSet(dir / "x.txt", source, 2, platform.image);
  EXPECT_TRUE(platform.messages.empty());
}

// What lies where the split writes is looked at before the first byte:
// the earlier set of the same source goes without a question; anything
// else is replaced only after a Yes (and a No writes and removes nothing);
// a folder or a read-only file refuses the split.
TEST(SplitEngine, AsksBeforeReplacingWhatItDidNotWrite) {
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> before;
    const char* question;  // the lines naming the files, or nullptr for none
    const char* message;   // nullptr for none
    const char* searchFails = "";  // a search of the folder whose pattern holds this fails part-way
  };
  const auto splitOf = [](const TempDir& dir, const char* name, std::size_t size, std::uint64_t recovery = 0) {
    WriteAll(dir / name, RandomBytes(size, 8));
    SplitPath(dir / name, 1, recovery);
    std::filesystem::remove(dir / name);
  };
  const std::vector<Case> cases{
      {"nothing there", [](const TempDir&) {}, nullptr, nullptr},
      {"the earlier set of this source, longer",
       [&](const TempDir& dir) {
         SplitPath(dir / "s.dat", 1);
         WriteAll(dir / "s.dat", RandomBytes(1500, 9));
       },
       nullptr, nullptr},
      {"the earlier set of this source, with recovery pieces (stale now)",
       [&](const TempDir& dir) { SplitPath(dir / "s.dat", 1, 2); }, nullptr, nullptr},
      {"an unrelated program", [](const TempDir& dir) { WriteAll(dir / "s.exe", "MZ setup"); }, "s.exe: a program\n",
       nullptr},
      {"another file's set with recovery pieces", [&](const TempDir& dir) { splitOf(dir, "s.pdf", 1500, 2); },
       "s.exe: the restore program of s.pdf\ns.restore.html: the restore page of s.pdf\ns#.0, s#.1: pieces of s.pdf\ns#.r1, s#.r2: recovery pieces of s.pdf\n",
       nullptr},
      {"an unrelated file of the page's name", [](const TempDir& dir) { WriteAll(dir / "s.restore.html", "<p>"); },
       "s.restore.html: a file\n", nullptr},
      {"a folder where the page goes",
       [](const TempDir& dir) { std::filesystem::create_directory(dir / "s.restore.html"); }, nullptr,
       "Cannot Write File !"},
      {"a recovery piece of no known set", [](const TempDir& dir) { WriteAll(dir / "s#.r1", "r"); },
       "s#.r1: recovery pieces of another split\n", nullptr},
      {"another file's set with the same base name", [&](const TempDir& dir) { splitOf(dir, "s.pdf", 6000); },
       "s.exe: the restore program of s.pdf\ns.restore.html: the restore page of s.pdf\ns#.0, s#.1, s#.2, s#.3, s#.4 and 2 more: pieces of s.pdf\n", nullptr},
      {"pieces and no program (s#.3 would go as stale, s#.5 stays)",
       [](const TempDir& dir) {
         for (const char* name : {"s#.1", "s#.3", "s#.5"}) WriteAll(dir / name, name);
       },
       "s#.1, s#.3: pieces of another split\n", nullptr},
      {"a restore program of this source whose description claims files of other sizes",
       [](const TempDir& dir) {
         Manifest m{"s", "s.dat", 65000 * 1000 - 6, 1000, 65000, std::vector<std::uint32_t>(65000), 0, {}, 0, {}};
         WriteAll(dir / "s.exe", TestPlatform().image + EncodeManifest(m, TestPlatform().image.size()));
         WriteAll(dir / "s#.3", "seven b");
         WriteAll(dir / "s#.4", "nine byte");
       },
       "s#.3, s#.4: pieces of another split\n", nullptr},
      {"a folder whose search fails part-way", [](const TempDir& dir) { WriteAll(dir / "s#.1", "1"); }, nullptr,
       "Cannot Read File !", "s#."},
      {"a folder where a piece goes",
       [](const TempDir& dir) { std::filesystem::create_directory(dir / "s#.1"); }, nullptr, "Cannot Write File !"},
      {"a read-only program",
       [](const TempDir& dir) {
         WriteAll(dir / "s.exe", "MZ");
         std::filesystem::permissions(dir / "s.exe", std::filesystem::perms::owner_write,
                                      std::filesystem::perm_options::remove);
       },
       nullptr, "Cannot Write File !"},
  };
  for (const Case& c : cases) for (bool yes : {false, true}) {
    SCOPED_TRACE(std::string(c.what) + (yes ? ", yes" : ", no"));
    TempDir dir;
    const std::string source = RandomBytes(2500, 10);
    {
      TestPlatform quiet;
      quiet.answer = true;
      WriteAll(dir / "s.dat", source);
      c.before(dir);
      WriteAll(dir / "s.dat", source);
    }
    const std::vector<std::string> before = ListDir(dir.path());
    TestPlatform platform;
    platform.answer = yes;
    platform.listFaultIn = c.searchFails;
    const SplitCall result = SplitFile(dir / "s.dat", 1);
    if (c.question) {
      ASSERT_EQ(platform.questions.size(), 1u);
      EXPECT_EQ(platform.questions[0], std::string("Splitting s.dat replaces files in its folder that are not from "
                                                   "a split of it:\n\n") + c.question + "\nReplace them?");
    } else {
      EXPECT_TRUE(platform.questions.empty());
    }
    if (c.message) {
      EXPECT_EQ(platform.messages, std::vector<std::string>{c.message});
      EXPECT_EQ(ListDir(dir.path()), before);
    } else if (c.question && !yes) {
      EXPECT_EQ(result.outcome, SplitCall::kDeclined);
      EXPECT_EQ(ListDir(dir.path()), before);
    } else {
      EXPECT_EQ(result.outcome, SplitCall::kWritten);
      ExpectPieceSet(dir / "s.dat", source, 1, platform.image);
      EXPECT_FALSE(test::Exists(dir / "s#.r1"));  // stale recovery pieces went too
    }
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    if (test::Exists(dir / "s.exe"))
      std::filesystem::permissions(dir / "s.exe", std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  }
}

TEST(SplitEngine, SourceThatGrewAfterCountingLosesNoData) {
  TestPlatform platform;
  TempDir dir;
  const std::string source = RandomBytes(4500, 6);
  WriteAll(dir / "g.bin", source);
  SplitFile(dir / "g.bin", 1);  // counted when it was shorter
  ExpectPieceSet(dir / "g.bin", source, 1, platform.image);
}

TEST(SplitEngine, FolderIsTooSmall) {
  TestPlatform platform;
  TempDir dir;
  std::filesystem::create_directory(dir / "folder.d");
  SplitFile(dir / "folder.d", 10);
  EXPECT_EQ(platform.messages, std::vector<std::string>{"File Too Small"});
}

// The progress hears of every block in order up to the whole; a stop at
// any block, like a source that changes while it is read, leaves nothing
// of the split behind.
TEST(SplitEngine, ProgressStoppingAndAChangingSource) {
  TempDir dir;
  const std::string source = RandomBytes(3'500'000, 15);
  WriteAll(dir / "p.bin", source);
  // With recovery pieces, their bytes count too, and a stop while they are
  // written removes them with the rest.
  for (const std::uint64_t recovery : {0, 2}) {
    SCOPED_TRACE(FormatDecimal(recovery) + " recovery pieces");
    const std::uint64_t total = source.size() + 6 + recovery * 1'000'000;
    std::size_t blocks = 0;
    {
      TestPlatform platform;
      test::ProgressRecorder progress;
      const SplitCall result =
          SplitFile(dir / "p.bin", 1000, &progress, std::string(), recovery);
      EXPECT_EQ(result.outcome, SplitCall::kWritten);
      EXPECT_EQ(result.pieces, 4u);
      EXPECT_EQ(result.recovery, recovery);
      EXPECT_EQ(progress.names, std::vector<std::string>{"p.bin"});
      EXPECT_EQ(progress.totals, std::vector<std::uint64_t>{total});
      blocks = progress.reports.size();
      ASSERT_GE(blocks, 4u);
      for (std::size_t i = 1; i < blocks; ++i) {
        EXPECT_GT(progress.reports[i].done, progress.reports[i - 1].done);
        EXPECT_GE(progress.reports[i].piece, progress.reports[i - 1].piece);
      }
      EXPECT_EQ(progress.reports.back().done, total);
      EXPECT_EQ(progress.reports.back().piece, recovery ? 4u : 3u);
      EXPECT_EQ(progress.reports.back().pieces, 4u + recovery);
      for (const std::string& name : ListDir(dir.path()))
        if (name != "p.bin") std::filesystem::remove(dir / name);
    }
    for (std::size_t stop : {std::size_t(0), blocks / 2, blocks - 1}) {
      SCOPED_TRACE("stopped at block " + FormatDecimal(stop));
      TestPlatform platform;
      test::ProgressRecorder progress;
      progress.stopAt = stop;
      EXPECT_EQ(SplitFile(dir / "p.bin", 1000, &progress, std::string(), recovery).outcome,
                SplitCall::kStopped);
      EXPECT_TRUE(platform.messages.empty());
      EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"p.bin"});
    }
  }
  // A source that changes during the split, read piece after piece or
  // (with recovery pieces) in rows.
  for (const std::uint64_t recovery : {0, 2}) for (const char* change : {"touched", "grown", "shrunk"}) {
    SCOPED_TRACE(std::string(change) + ", " + FormatDecimal(recovery) + " recovery pieces");
    TestPlatform platform;
    test::ProgressRecorder progress;
    progress.duringAt = 1;
    progress.during = [&] {
      if (change == std::string("grown")) WriteAll(dir / "p.bin", source + "more");
      if (change == std::string("shrunk")) WriteAll(dir / "p.bin", source.substr(0, 2'500'000));
      std::filesystem::last_write_time(dir / "p.bin", std::filesystem::last_write_time(dir / "p.bin") +
                                                          std::chrono::seconds(3));
    };
    EXPECT_EQ(SplitFile(dir / "p.bin", 1000, &progress, std::string(), recovery).outcome,
              SplitCall::kRefused);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Cannot Read File !"});
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"p.bin"});
    WriteAll(dir / "p.bin", source);
  }
}

// Random sources, names and sizes, split and read back.
TEST(SplitEngineProperty, RoundTripOverRandomSourcesNamesAndSizes) {
  TestPlatform platform;
  std::mt19937 random(20261207);
  const char* names[] = {"a.txt", "archive.tar.gz", "readme", ".profile", "x.y.z.w", "v1.2.bin",
                         "setup.exe", "long-name-with-dashes.data", "n"};
  for (int round = 0; round < 60; ++round) {
    TempDir dir;
    const std::string name = names[random() % (sizeof names / sizeof *names)];
    const std::uint32_t sizeKb = 1 + random() % 4;
    const std::uint64_t z = sizeKb * 1000ull;
    std::uint64_t length;
    switch (round % 4) {
      case 0: length = z * (1 + random() % 6) - name.size() - 1; break;  // exact multiple
      case 1: length = 1000 + random() % (z - name.size()); break;          // could be one piece
      default: length = 1000 + random() % 40000; break;
    }
    if (length < 1000) length += z;
    SCOPED_TRACE(name + " length " + FormatDecimal(length) + " size " + FormatDecimal(sizeKb));
    const std::string source = RandomBytes(std::size_t(length), random());
    WriteAll(dir / name, source);
    SplitPath(dir / name, sizeKb);
    ExpectPieceSet(dir / name, source, sizeKb, platform.image);
    EXPECT_EQ(ReadAll(dir / name), source);
    const std::size_t files = PieceCount(length, dir / name, sizeKb) + 3;
    EXPECT_EQ(ListDir(dir.path()).size(), files);
  }
  EXPECT_TRUE(platform.messages.empty());
}

}  // namespace
}  // namespace morsela

namespace morsela {
namespace {

// The bytes the pieces cut, read again as the recovery writer asks.
class StringSequence : public Sequence {
 public:
  explicit StringSequence(const std::string& bytes) : bytes_(bytes) {}
  bool Read(std::uint64_t offset, char* out, std::size_t size) override {
    if (offset + size > bytes_.size()) return false;
    std::copy_n(bytes_.data() + offset, size, out);
    return true;
  }

 private:
  const std::string& bytes_;
};

// Where the recovery data is longer than the memory allowed, the windows
// after the first are summed from the source read again: the recovery
// pieces are the same bytes whatever the memory.
TEST(RecoveryWriter, AWindowShorterThanAPieceGivesTheSameRecoveryPieces) {
  TestPlatform platform;
  const std::string sequence = std::string("p.bin", 6) + RandomBytes(47'000, 80);
  Manifest m{"p", "p.bin", 47'000, 10'001, 5, {}, 3, {}, 0, {}};
  for (std::uint64_t k = 0; k < m.pieceCount; ++k)
    m.pieceCrcs.push_back(Crc32c(0, sequence.data() + k * m.pieceSize, std::size_t(m.PieceLength(k))));
  std::vector<std::string> written;
  for (std::uint64_t budget : {std::uint64_t(1) << 30, std::uint64_t(3 * 1'000)}) {
    SCOPED_TRACE(budget);
    TempDir dir;
    RecoveryWriter writer(3, m.pieceSize, budget);
    Manifest described = m;
    writer.KeepStripeCrcs(described);
    for (std::uint64_t k = 0; k < m.pieceCount; ++k)
      for (std::uint64_t at = 0; at < m.PieceLength(k); at += 3000)  // blocks across the stripes of 4 KiB
        writer.Add(k, at, sequence.data() + k * m.pieceSize + at,
                   std::size_t(std::min<std::uint64_t>(3000, m.PieceLength(k) - at)));
    StringSequence again(sequence);
    std::uint64_t created = 0, work = 0;
    std::string failed;
    ASSERT_EQ(writer.Write(dir / "p.bin", described, again, created, failed,
                           [&](std::uint64_t bytes) { return (work += bytes) > 0; }),
              RecoveryWriter::Outcome::kDone);
    EXPECT_EQ(created, 3u);
    std::string all;
    for (const char* name : {"p#.r1", "p#.r2", "p#.r3"}) all += ReadAll(dir / name);
    written.push_back(all);
    // Every stripe's CRC, the recovery pieces' summed over windows too.
    ASSERT_EQ(described.Version(), 3u);
    ASSERT_EQ(described.Rows(), 3u);
    for (std::uint64_t index = 0; index < 8; ++index) {
      const std::string data = index < 5 ? sequence.substr(std::size_t(index * m.pieceSize), std::size_t(m.PieceLength(index)))
                                         : ReadAll(dir / ("p#.r" + std::to_string(index - 4)))
                                               .substr(std::size_t(RecoveryDataOffset(described)));
      for (std::uint64_t row = 0; row < 3; ++row)
        EXPECT_EQ(described.StripeCrc(index, row),
                  Crc32c(0, data.data() + row * 4096, std::size_t(described.StripeLength(index, row))));
    }
    // The work counted: the recovery data, and the rest of every piece read again.
    EXPECT_EQ(work, 3 * writer.dataSize() + writer.RereadBytes(m));
  }
  EXPECT_TRUE(written[0] == written[1]);
}

// The look before a split decides everything it can without writing: the
// count, the names, the question, and holds the source against writers.
TEST(SplitPlan, DecidesWithoutWritingAndHoldsTheSource) {
  TestPlatform platform;
  TempDir dir;
  WriteAll(dir / "m.bin", RandomBytes(2500, 5));
  WriteAll(dir / "m#.1", "not ours");
  SplitPlan plan = PlanSplit(SplitLook{dir / "m.bin", std::string(), 1000, 1});
  ASSERT_FALSE(plan.refusal);
  EXPECT_EQ(plan.count, 3u);  // "m.bin", its 0 byte and 2,500 bytes
  EXPECT_EQ(plan.program, dir / "m.exe");
  EXPECT_EQ(plan.page, dir / "m.restore.html");
  EXPECT_NE(plan.question.find("m#.1"), std::string::npos);
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"m#.1", "m.bin"}));
  EXPECT_TRUE(platform.messages.empty());
  const SplitOutcome outcome = Split(plan);
  EXPECT_EQ(outcome.kind, SplitOutcome::Kind::kWritten);
  EXPECT_FALSE(plan.source);  // closed once read
  EXPECT_EQ(outcome.pieces, 3u);
  EXPECT_EQ(SplitOutcomeText(outcome), "Done: 3 pieces, 1 recovery piece, the restore program m.exe and the restore page m.restore.html written.");

  // More recovery pieces than a set may have are refused before the look.
  const SplitPlan tooMany = PlanSplit(SplitLook{dir / "m.bin", std::string(), 1000, 1025});
  EXPECT_EQ(tooMany.refusal, std::optional<std::string>("Too Many Pieces !"));
}

}  // namespace
}  // namespace morsela
