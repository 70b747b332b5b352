// The restore page's side of the core, natively: the check-only restore
// and the carried description it rests on, the platform over chosen files,
// the composition of the file from the chosen files and the rebuilt bytes,
// and where the page keeps its set's description. The browsers' part is in
// tests/browser/.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "format/manifest.h"
#include "format/page_description.h"
#include "format/pieces.h"
#include "json_text.h"
#include "platform/platform_page.h"
#include "restore/restore.h"
#include "restore_page.h"
#include "split/signed_program.h"
#include "split_file.h"
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

// A set of `name` split into 1 KB pieces with `recovery` recovery pieces;
// the source is gone, the program and the page stay.
struct SplitSet {
  TempDir dir;
  std::string source;
  SplitSet(const std::string& name, std::size_t length, std::uint64_t recovery) : source(RandomBytes(length, 9)) {
    TestPlatform platform;
    WriteAll(dir / name, source);
    SplitFile(dir / name, 1, nullptr, std::string(), recovery);
    std::filesystem::remove(dir / name);
  }
};

void FlipByte(const std::string& path, std::size_t at) {
  std::string bytes = ReadAll(path);
  bytes[at] = char(bytes[at] ^ 1);
  WriteAll(path, bytes);
}

Manifest ManifestOf(const std::string& program) {
  std::unique_ptr<InputFile> file = System().OpenRead(program);
  return ReadManifest(*file).manifest;
}

// The check writes nothing beside the pieces and hands over only the
// rebuilt pieces, at their places after the name header; a description
// carried by the front end stands in for the restore program's.
TEST(RestoreCheckOnly, WritesNothingAndKeepsOnlyTheRebuiltPieces) {
  SplitSet set("movie.avi", 5000, 2);  // "movie.avi\0" + 5000 bytes: six pieces
  TestPlatform platform;
  std::filesystem::remove(set.dir / "movie#.1");
  FlipByte(set.dir / "movie#.4", 7);
  const std::vector<std::string> before = ListDir(set.dir.path());
  const Manifest m = ManifestOf(set.dir / "movie.exe");
  for (bool carried : {false, true}) {
    SCOPED_TRACE(carried ? "carried" : "from the program");
    SetSource source{set.dir.path(), set.dir / "movie.exe", "movie.exe", "movie", {}, {}};
    if (carried) {
      WriteAll(set.dir / "movie.exe", "MZ no manifest: not read");
      source.program.clear();
      source.carried = m;
      source.carriedBy = "movie.restore.html";
    }
    SparseOutput rebuilt;
    RestoreOptions options;
    options.checkOnly = true;
    options.rebuiltTo = &rebuilt;
    const RestoreResult result = Restore(source, options);
    EXPECT_EQ(result.code, kExitRestored);
    EXPECT_TRUE(result.checked);
    EXPECT_EQ(result.rebuiltPieces, (std::vector<std::uint64_t>{1, 4}));
    EXPECT_EQ(result.headerSize, 10u);
    EXPECT_EQ(result.bytes, 5000u);
    EXPECT_EQ(ListDir(set.dir.path()), before);
    EXPECT_EQ(rebuilt.Kept(), 2000u);
    EXPECT_EQ(std::string(rebuilt.At(990, 1000), 1000), set.source.substr(990, 1000));
    EXPECT_EQ(std::string(rebuilt.At(3990, 1000), 1000), set.source.substr(3990, 1000));
    EXPECT_EQ(rebuilt.At(0, 1), nullptr);
    EXPECT_TRUE(platform.messages.empty());
  }
  // One loss beyond the recovery pieces: the same refusal as a restore.
  std::filesystem::remove(set.dir / "movie#.2");
  RestoreOptions options;
  options.checkOnly = true;
  const RestoreResult refused = Restore({set.dir.path(), "", "", "movie", m, "movie.restore.html"}, options);
  EXPECT_EQ(refused.code, kExitRefused);
  // The restore shows nothing itself: the front end shows its messages.
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(refused.messages, std::vector<std::string>{"Split File Damaged !\nmovie#.1, movie#.2, movie#.4\n"
                                                       "1 more piece or recovery piece would be needed"});
}

TEST(SparseOutput, KeepsRunsMergedAndRefusesBeyondItsLimit) {
  SparseOutput out(10);
  ASSERT_TRUE(out.Seek(4) && out.Write("cd", 2));
  ASSERT_TRUE(out.Seek(0) && out.Write("ab", 2));
  EXPECT_EQ(out.At(2, 1), nullptr);  // a gap
  ASSERT_TRUE(out.Seek(2) && out.Write("XY", 2));  // joins both runs
  EXPECT_EQ(std::string(out.At(0, 6), 6), "abXYcd");
  ASSERT_TRUE(out.Seek(1) && out.Write("z", 1));  // overwrites inside a run
  EXPECT_EQ(std::string(out.At(0, 6), 6), "azXYcd");
  EXPECT_EQ(out.Kept(), 6u);
  EXPECT_FALSE(out.Overflowed());
  EXPECT_FALSE(out.Write("too much", 8));
  EXPECT_TRUE(out.Overflowed());
}

// Chosen files read from memory.
class MemoryFiles : public ChosenFileReader {
 public:
  std::int64_t ReadAt(std::size_t file, std::uint64_t offset, void* buffer, std::size_t size) override {
    const std::string& bytes = contents[file];
    if (offset >= bytes.size()) return 0;
    const std::size_t n = std::min<std::size_t>(size, bytes.size() - std::size_t(offset));
    bytes.copy(static_cast<char*>(buffer), n, std::size_t(offset));
    ++reads[file];
    return std::int64_t(n);
  }
  std::vector<std::string> contents;
  std::map<std::size_t, int> reads;  // by file
};

struct Collect : EntrySink {
  void Take(const DirEntry& entry) override { names.push_back(entry.name); }
  std::vector<std::string> names;
};

TEST(PagePlatform, OneFolderOfTheChosenFilesWithNamesComparedAsWindowsDoes) {
  MemoryFiles files;
  files.contents = {"1", "2", "3", "4"};
  PagePlatform platform(files);
  // "ÉTÉ#.1" is the name "été#.1" has; the later one is left out.
  platform.Choose({{"\xC3\xA9t\xC3\xA9#.0", 1}, {"\xC3\xA9t\xC3\xA9#.1", 1}, {"\xC3\x89T\xC3\x89#.1", 1}, {"x", 1}});
  EXPECT_EQ(platform.IndexOf("\xC3\x89T\xC3\x89#.1"), 1u);
  Collect found;
  EXPECT_TRUE(platform.Scan("\xC3\x89T\xC3\x89#.*", found));
  EXPECT_EQ(found.names, (std::vector<std::string>{"\xC3\xA9t\xC3\xA9#.0", "\xC3\xA9t\xC3\xA9#.1"}));
  Collect one;
  platform.Scan("X", one);
  EXPECT_EQ(one.names, std::vector<std::string>{"x"});
  std::unique_ptr<InputFile> in = platform.OpenRead("X");
  ASSERT_TRUE(in);
  char byte = 0;
  EXPECT_EQ(in->Read(&byte, 1), 1u);
  EXPECT_EQ(byte, '4');
  EXPECT_FALSE(platform.OpenRead("y"));
  EXPECT_EQ(platform.DecodeLegacyName("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

// The page's own run: the files of a folder chosen (in any order, with
// others among them), checked, and the file composed from the parts it
// gives, byte for byte; after a refusal, no parts.
class PageOverFolder {
 public:
  explicit PageOverFolder(const std::string& folder) {
    for (const std::string& name : ListDir(folder)) {
      chosen.push_back({name, ReadAll(folder + name).size()});
      files.contents.push_back(ReadAll(folder + name));
    }
  }
  MemoryFiles files;
  std::vector<ChosenFile> chosen;
};

// The values of one JSON array of numbers after `key` (enough for the
// tests: the page's JSON holds no nested arrays there but parts).
std::vector<std::vector<double>> Parts(const std::string& json) {
  std::vector<std::vector<double>> parts;
  std::size_t at = json.find("\"parts\":[") + 9;
  while (json[at] == '[') {
    std::vector<double> part;
    ++at;
    while (json[at] != ']') {
      std::size_t used = 0;
      part.push_back(std::stod(json.substr(at), &used));
      at += used;
      if (json[at] == ',') ++at;
    }
    parts.push_back(part);
    at += json[at + 1] == ',' ? 2 : 1;
  }
  return parts;
}

std::string Compose(const std::string& json, const PageOverFolder& folder, const RestorePage& page) {
  std::string file;
  for (const std::vector<double>& part : Parts(json)) {
    if (part[0] < 0) {
      const char* bytes = page.Rebuilt(std::uint64_t(part[1]), std::size_t(part[2]));
      if (!bytes) return "no rebuilt bytes there";
      file.append(bytes, std::size_t(part[2]));
    } else {
      file += folder.files.contents[std::size_t(part[0])].substr(std::size_t(part[1]),
                                                                 std::size_t(part[2] - part[1]));
    }
  }
  return file;
}

TEST(RestorePage, ComposesTheFileFromTheChosenFilesAndTheRebuiltBytes) {
  SplitSet set("clip.mov", 4200, 1);
  FlipByte(set.dir / "clip#.2", 3);
  WriteAll(set.dir / "notes.txt", "unrelated");
  WriteAll(set.dir / "other#.3", "a piece of another set");
  const Manifest m = ManifestOf(set.dir / "clip.exe");
  const std::string description = EncodeManifestBody(m);
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way == 0 ? "generic page" : way == 1 ? "the set's own page" : "own page, program not chosen");
    PageOverFolder folder(set.dir.path());
    if (way == 2) folder.chosen[6].name = "clip-program.bin";  // clip.exe, after the pieces and clip#.r1
    RestorePage page(folder.files);
    if (way > 0) {
      ASSERT_TRUE(page.Carry(description, "clip.restore.html"));
    }
    const std::string list = page.Choose(folder.chosen);
    EXPECT_NE(list.find("\"name\":\"clip.mov\""), std::string::npos) << list;
    EXPECT_NE(list.find("[\"clip#.r1\",\"\"]"), std::string::npos) << list;
    EXPECT_NE(list.find("\"refusal\":null"), std::string::npos) << list;
    const std::string outcome = page.Check(nullptr);
    EXPECT_NE(outcome.find("\"code\":0"), std::string::npos) << outcome;
    EXPECT_NE(outcome.find("Restored clip.mov: 4,200 bytes, every piece checked; 1 piece rebuilt from recovery "
                           "data."),
              std::string::npos);
    EXPECT_NE(outcome.find("[\"clip#.2\",\"damaged\"]"), std::string::npos) << outcome;
    EXPECT_TRUE(Compose(outcome, folder, page) == set.source);
  }
  // The description inside the signature of a signed restore program, the
  // only one there: the generic page finds it, and so the damaged piece
  // (which a join by the names alone would take).
  {
    TempDir keys;
    const std::string signedProgram = ProgramWithSignedDescription(test::SignedExecutable(keys), m);
    ASSERT_FALSE(signedProgram.empty());
    const std::string program = ReadAll(set.dir / "clip.exe"), recovery = ReadAll(set.dir / "clip#.r1");
    WriteAll(set.dir / "clip.exe", signedProgram);
    std::filesystem::remove(set.dir / "clip#.r1");
    PageOverFolder folder(set.dir.path());
    RestorePage page(folder.files);
    page.Choose(folder.chosen);
    const std::string outcome = page.Check(nullptr);
    EXPECT_NE(outcome.find("\"status\":[\"Split File Damaged !\",\"clip#.2\""), std::string::npos) << outcome;
    WriteAll(set.dir / "clip.exe", program);
    WriteAll(set.dir / "clip#.r1", recovery);
  }
  // One more loss: the restore program's refusal, line by line, and nothing to compose.
  std::filesystem::remove(set.dir / "clip#.0");
  PageOverFolder folder(set.dir.path());
  RestorePage page(folder.files);
  page.Choose(folder.chosen);
  const std::string outcome = page.Check(nullptr);
  EXPECT_NE(outcome.find("\"status\":[\"Split File Damaged !\",\"clip#.0, clip#.2\",\"1 more piece or recovery "
                         "piece would be needed\"]"),
            std::string::npos)
      << outcome;
  EXPECT_NE(outcome.find("\"parts\":[]"), std::string::npos);
}

// The helpers' checksums stand for reading a piece, but for the head
// piece (its name header is compared byte for byte) and a piece whose
// checksum no helper gave; the core still compares each with the set's
// description, so that a checksum that does not fit makes the piece
// damaged, rebuilt or refused as a CRC of its own would.
TEST(RestorePage, TakesTheHelpersChecksumsInsteadOfReadingThePieces) {
  SplitSet set("song.mp3", 5000, 1);  // "song.mp3\0" + 5000 bytes: six pieces and song#.r1
  const Manifest m = ManifestOf(set.dir / "song.exe");
  struct Case {
    const char* what;
    std::vector<std::uint64_t> wrong;  // pieces whose checksum given does not fit
    std::uint64_t unknown;             // a piece whose checksum no helper gave
    const char* outcome;
    const char* row;  // a row of the list after the check
  } cases[] = {
      {"all fit", {}, 5, "Restored song.mp3: 5,000 bytes, every piece checked.\"", "[\"song#.3\",\"\"]"},
      {"one does not fit", {3}, 5, "every piece checked; 1 piece rebuilt from recovery data.", "[\"song#.3\",\"damaged\"]"},
      {"two do not fit", {2, 4}, 5, "\"status\":[\"Split File Damaged !\",\"song#.2, song#.4\",", "[\"song#.4\",\"damaged\"]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PageOverFolder folder(set.dir.path());
    RestorePage page(folder.files);
    page.Choose(folder.chosen);
    std::map<std::uint64_t, std::size_t> fileOf;  // by piece
    for (std::uint64_t k = 0; k < m.pieceCount; ++k) {
      const std::string name = PieceFileName("song", k);
      for (std::size_t f = 0; f < folder.chosen.size(); ++f)
        if (folder.chosen[f].name == name) fileOf[k] = f;
      ASSERT_TRUE(fileOf.count(k)) << name;
      const bool wrong = std::find(c.wrong.begin(), c.wrong.end(), k) != c.wrong.end();
      if (k != c.unknown) page.platform().KnowCrc32c(fileOf[k], m.pieceCrcs[k] ^ (wrong ? 1 : 0));
    }
    const std::string outcome = page.Check(nullptr);
    EXPECT_NE(outcome.find(c.outcome), std::string::npos) << outcome;
    EXPECT_NE(outcome.find(c.row), std::string::npos) << outcome;
    // The head piece and the unknown one read; no other, but by a rebuild.
    EXPECT_GT(folder.files.reads[fileOf[0]], 0);
    EXPECT_GT(folder.files.reads[fileOf[c.unknown]], 0);
    if (c.wrong.empty()) {
      for (std::uint64_t k = 1; k < c.unknown; ++k) EXPECT_EQ(folder.files.reads[fileOf[k]], 0) << k;
    }
    if (c.wrong.size() < 2) {
      EXPECT_TRUE(Compose(outcome, folder, page) == set.source);
    }
  }
}

// A set in rows of stripes with a stripe altered in two pieces: the file
// is composed from the mended stripes and the sound ones of the same
// pieces, which the page takes from their files.
TEST(RestorePage, ComposesAPieceFromItsMendedAndItsSoundStripes) {
  TempDir dir;
  const std::string source = RandomBytes(200000, 10);
  {
    TestPlatform platform;
    WriteAll(dir / "clip.mov", source);
    SplitFile(dir / "clip.mov", 40, nullptr, std::string(), 1);
    std::filesystem::remove(dir / "clip.mov");
  }
  ASSERT_EQ(ManifestOf(dir / "clip.exe").Rows(), 10u);
  FlipByte(dir / "clip#.1", 4096 * 2 + 5);
  FlipByte(dir / "clip#.3", 4096 * 5 + 5);
  PageOverFolder folder(dir.path());
  RestorePage page(folder.files);
  page.Choose(folder.chosen);
  const std::string outcome = page.Check(nullptr);
  EXPECT_NE(outcome.find("2 pieces rebuilt from recovery data"), std::string::npos) << outcome;
  EXPECT_TRUE(Compose(outcome, folder, page) == source);
  std::size_t fromRebuilt = 0;
  for (const std::vector<double>& part : Parts(outcome)) fromRebuilt += part[0] < 0;
  EXPECT_EQ(fromRebuilt, 2u);
}

TEST(RestorePage, WithoutADescriptionJoinsByTheNamesAndSaysItCouldNotCheck) {
  TempDir dir;
  WriteAll(dir / "a#.0", std::string("a.txt\0ab", 8));
  WriteAll(dir / "a#.1", "cd");
  PageOverFolder folder(dir.path());
  RestorePage page(folder.files);
  EXPECT_FALSE(page.Carry("not a manifest", "restore.html"));
  EXPECT_NE(page.Choose(folder.chosen).find("\"refusal\":null"), std::string::npos);
  const std::string outcome = page.Check(nullptr);
  EXPECT_NE(outcome.find("\"status\":[\"Its content could not be checked: the restore program was missing.\","
                         "\"Restored a.txt: 4 bytes.\"]"),
            std::string::npos)
      << outcome;
  EXPECT_EQ(Compose(outcome, folder, page), "abcd");
  // Nothing of a set among the files chosen.
  RestorePage none(folder.files);
  EXPECT_NE(none.Choose({{"notes.txt", 3}}).find("\"refusal\":[\"No Split File Found !\"]"), std::string::npos);
  EXPECT_NE(none.Check(nullptr).find("\"status\":[\"No Split File Found !\"]"), std::string::npos);
}

TEST(PageDescription, FoundWhereTheTemplateKeepsItsPlace) {
  const Manifest m{"a", "a.txt", 4, 4, 3, {1, 2, 3}, 0, {}, 0, {}};
  const std::string page = FillPage("<p>x</p><script type=\"application/x-morsela-set\" id=\"morsela-set\">"
                                    "MORSELA-SET</script><script>1</script>",
                                    m);
  EXPECT_EQ(PageDescription(page), EncodeManifestBody(m));
  EXPECT_EQ(page.substr(page.size() - 27), "</script><script>1</script>");
  EXPECT_EQ(PageDescription("<script type=\"application/x-morsela-set\" id=\"morsela-set\">MORSELA-SET</script>"),
            std::nullopt);
  EXPECT_EQ(FillPage("<p>no place</p>", m), "");
  for (const std::string& bytes : {std::string(), std::string("a"), std::string("ab"), std::string("\0\xFF\x10", 3)})
    EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes);
  EXPECT_EQ(Base64Encode("Man"), "TWFu");
  EXPECT_EQ(Base64Decode("TW\nE="), "Ma");
  for (const char* bad : {"T", "T===", "TW=u", "TW*u"}) EXPECT_EQ(Base64Decode(bad), std::nullopt) << bad;
}

TEST(JsonText, EscapesWhatJsonMust) {
  JsonText json;
  json.OpenObject().Key("a").String("q\"b\\\n\x01<").Key("n").Number(-1).Key("l").OpenArray().Number(9007199254740992.0)
      .CloseArray().CloseObject();
  EXPECT_EQ(json.text(), "{\"a\":\"q\\\"b\\\\\\n\\u0001<\",\"n\":-1,\"l\":[9007199254740992]}");
}

}  // namespace
}  // namespace morsela
