// A signed restore program carries its set's description inside its
// signature. Natively only: openssl makes a throwaway authority and
// osslsigncode signs the stand-in image and verifies what the split wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "command_line.h"
#include "format/little_endian.h"
#include "format/manifest.h"
#include "front_ends.h"
#include "split/signed_program.h"
#include "split_file.h"
#include "test_platform.h"
#include "text/messages.h"

namespace morsela {
namespace {

using test::FrontEnd;
using test::FrontEnds;
using test::RandomBytes;
using test::ReadAll;
using test::TempDir;
using test::TestPlatform;
using test::WriteAll;

// Where MinimalExecutable() keeps its checksum and the size of its
// certificate table (data directory 4).
constexpr std::size_t kChecksumAt = 0x98 + 64, kTableSizeAt = 0x98 + 148;

std::uint32_t U32(const std::string& bytes, std::size_t at) { return std::uint32_t(GetLittleEndian(bytes, at, 4)); }

// What the command line wrote.
class RecordingConsole : public Console {
 public:
  void Out(const std::string& line) override { out += line + "\n"; }
  void Err(const std::string& text) override { err += text + "\n"; }
  bool Terminal() const override { return false; }
  void Progress(const std::string&) override {}
  std::optional<bool> Ask(const std::string&) override { return std::nullopt; }
  std::string out, err;
};

// A program file held in memory, for reading it altered many times over.
class HeldFile : public InputFile {
 public:
  explicit HeldFile(const std::string& bytes) : bytes_(bytes) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, bytes_.size() - std::min<std::size_t>(at_, bytes_.size()));
    bytes_.copy(static_cast<char*>(buffer), n, std::min<std::size_t>(at_, bytes_.size()));
    at_ += n;
    return n;
  }
  bool Failed() const override { return false; }
  bool Size(std::uint64_t& size) override { return size = bytes_.size(), true; }
  bool Seek(std::uint64_t offset) override { return at_ = std::size_t(offset), true; }
  bool Stamp(FileStamp&) override { return false; }

 private:
  const std::string& bytes_;
  std::size_t at_ = 0;
};

ManifestRead ReadProgram(const std::string& path) {
  std::unique_ptr<InputFile> file = NativePlatform().OpenRead(path);
  return file ? ReadManifest(*file) : ManifestRead{};
}

// The set of movie.avi (5,000 bytes in pieces of 1,000) written with a
// signed restore program; the source is gone.
struct SignedSet {
  TempDir keys, dir;
  std::string image = test::SignedExecutable(keys);
  std::string source = RandomBytes(5000, 80);
  std::string program = dir / "movie.exe";
  SignedSet() {
    TestPlatform platform;
    platform.image = image;
    WriteAll(dir / "movie.avi", source);
    SplitFile(dir / "movie.avi", 1);
    std::filesystem::remove(dir / "movie.avi");
  }
  bool Verifies(const std::string& path) const {
    const std::string command = "osslsigncode verify -CAfile '" + keys / "ca.pem" + "' -in '" + path + "' >/dev/null";
    return std::system(command.c_str()) == 0;
  }
};

// The description goes into the signature, not after it: the image before
// the certificate table is the signed image's but for the table's size and
// the checksum, which osslsigncode computes as we do; the table still ends
// the file and its signature still verifies against the authority. Every
// front end finds the description there: the restore program and the
// window restore the file exactly and refuse a damaged piece, the command
// line checks every piece against it.
TEST(SignedProgram, CarriesTheDescriptionInItsSignatureAndStaysSigned) {
  SignedSet set;
  ASSERT_FALSE(set.image.empty()) << "openssl or osslsigncode failed";
  ASSERT_TRUE(set.Verifies(set.keys / "signed.exe"));
  EXPECT_EQ(ExecutableChecksum(set.image), U32(set.image, kChecksumAt));

  const std::string program = ReadAll(set.program);
  const ExecutableLayout layout = ReadExecutableLayout(program.substr(0, kExecutableHeadSize));
  const std::size_t table = std::size_t(layout.certificateOffset);
  EXPECT_EQ(table, ReadExecutableLayout(set.image.substr(0, kExecutableHeadSize)).certificateOffset);
  EXPECT_EQ(layout.certificateOffset + layout.certificateSize, program.size());
  EXPECT_EQ(layout.certificateSize % 8, 0u);
  EXPECT_EQ(U32(program, table), layout.certificateSize);  // dwLength, padded as osslsigncode pads it
  EXPECT_EQ(ExecutableChecksum(program), U32(program, kChecksumAt));
  std::string before = program.substr(0, table), signedBefore = set.image.substr(0, table);
  for (std::string* b : {&before, &signedBefore}) {
    b->replace(kChecksumAt, 4, 4, '\0');
    b->replace(kTableSizeAt, 4, 4, '\0');
  }
  EXPECT_EQ(before, signedBefore);
  EXPECT_TRUE(set.Verifies(set.program));

  const ManifestRead read = ReadProgram(set.program);
  ASSERT_EQ(read.state, ManifestState::kValid);
  EXPECT_EQ(read.manifest.storedName, "movie.avi");
  EXPECT_EQ(read.manifest.pieceCount, 6u);
  // The footer gives where the manifest begins in the file.
  const DerElement description = DescriptionInSignature(program.substr(table));
  ASSERT_NE(description.tag, 0);
  EXPECT_EQ(GetLittleEndian(program, table + description.end - kFooterSize, 8), table + description.begin);
  // An image that carries a description already, or none, gets no other.
  EXPECT_EQ(ProgramWithSignedDescription(program, read.manifest), "");
  EXPECT_EQ(ProgramWithSignedDescription(test::MinimalExecutable(), read.manifest), "");

  // A description of 20,000 pieces (80 KB): every length that encloses it
  // takes one more byte than the signer's did.
  Manifest many = read.manifest;
  many.sourceLength = 20'000'000 - 10;
  many.pieceCount = 20'000;
  many.pieceCrcs = std::vector<std::uint32_t>(20'000, 0x01020304u);
  WriteAll(set.dir / "many.exe", ProgramWithSignedDescription(set.image, many));
  EXPECT_TRUE(set.Verifies(set.dir / "many.exe"));
  const ManifestRead manyRead = ReadProgram(set.dir / "many.exe");
  EXPECT_EQ(manyRead.state, ManifestState::kValid);
  EXPECT_EQ(manyRead.manifest.pieceCrcs, many.pieceCrcs);
  std::filesystem::remove(set.dir / "many.exe");

  for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(test::NameOf(frontEnd));
    TestPlatform platform;
    EXPECT_EQ(test::RestoreThrough(frontEnd, set.program), 0);
    EXPECT_EQ(ReadAll(set.dir / "movie.avi"), set.source);
    std::filesystem::remove(set.dir / "movie.avi");
  }
  TestPlatform platform;
  RecordingConsole console;
  std::atomic<bool> never{false};
  EXPECT_EQ(RunCommandLine({"check", set.program}, console, never, Carried{}, "1.1"), 0);
  EXPECT_NE(console.out.find("movie#.5: checked\nThe set can be restored: movie.avi: 5,000 bytes, every piece checked"),
            std::string::npos)
      << console.out << console.err;

  std::string piece = ReadAll(set.dir / "movie#.2");
  piece[500] = char(piece[500] ^ 0xFF);
  WriteAll(set.dir / "movie#.2", piece);
  for (FrontEnd frontEnd : FrontEnds()) {
    SCOPED_TRACE(test::NameOf(frontEnd));
    platform.messages.clear();
    platform.details.clear();
    EXPECT_EQ(test::RestoreThrough(frontEnd, set.program), 1);
    EXPECT_EQ(platform.messages, std::vector<std::string>{kSplitFileDamaged});
    EXPECT_EQ(platform.details, std::vector<std::string>{"movie#.2"});
  }
}

// Whatever byte of the certificate table is altered, the description is
// read as written, or told damaged, absent or of a later version: never
// another one, and no length read there leads outside what holds it.
TEST(SignedProgram, DamageInTheSignatureIsNeverMisread) {
  SignedSet set;
  ASSERT_FALSE(set.image.empty()) << "openssl or osslsigncode failed";
  const std::string program = ReadAll(set.program);
  const Manifest written = ReadProgram(set.program).manifest;
  const std::size_t table = std::size_t(ReadExecutableLayout(program).certificateOffset);
  const DerElement description = DescriptionInSignature(program.substr(table));
  ASSERT_NE(description.tag, 0);
  const std::size_t manifest = table + description.begin, footer = table + description.end - kFooterSize;
  const auto altered = [&](std::size_t at, char value) {
    std::string bytes = program;
    bytes[at] = value;
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
    ManifestState state;
  };
  const std::vector<Case> cases{
      {"the signed image alone", set.image, ManifestState::kAbsent},
      {"a byte of the manifest", altered(manifest + 20, char(program[manifest + 20] ^ 1)), ManifestState::kDamaged},
      {"the footer's manifest offset", altered(footer, char(program[footer] ^ 1)), ManifestState::kDamaged},
      {"the footer's version, a later one", altered(footer + 20, 4), ManifestState::kNewer},
      {"the footer's magic", altered(footer + 24, 'm'), ManifestState::kAbsent},
      {"the extension's length beyond its certificate",
       altered(table + description.begin - 1, char(0x7F)), ManifestState::kAbsent},
      {"cut by 8 bytes", program.substr(0, program.size() - 8), ManifestState::kDamaged},
      {"8 bytes appended", program + std::string(8, '\0'), ManifestState::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(set.program, c.bytes);
    EXPECT_EQ(ReadProgram(set.program).state, c.state);
  }
  int seen[5] = {};
  for (std::size_t at = table; at < program.size(); ++at) {
    const std::string bytes = altered(at, char(program[at] ^ 0x81));
    HeldFile file(bytes);
    const ManifestRead read = ReadManifest(file);
    ++seen[int(read.state)];
    if (read.state == ManifestState::kValid) {
      EXPECT_EQ(read.manifest.pieceCrcs, written.pieceCrcs) << "byte " << at;
    }
  }
  // The signer's own bytes are no concern of the reader's; those on the way
  // to the description and the description's own are.
  EXPECT_GT(seen[int(ManifestState::kValid)], 0);
  EXPECT_GT(seen[int(ManifestState::kAbsent)], 0);
  EXPECT_GT(seen[int(ManifestState::kDamaged)], 0);
}

}  // namespace
}  // namespace morsela
