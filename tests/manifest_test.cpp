// The checksum and the manifest that a split appends to its restore program.
#include <gtest/gtest.h>

#include <random>

#include "format/crc32c.h"
#include "format/manifest.h"
#include "format/recovery_piece.h"
#include "format/stripes.h"
#include "test_platform.h"

namespace morsela {
namespace {

using test::RandomBytes;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

TEST(Crc32c, CheckValueAndBothImplementationsAgree) {
  EXPECT_EQ(Crc32c(0, "123456789", 9), 0xE3069283u);
  EXPECT_EQ(Crc32cTable(0, "123456789", 9), 0xE3069283u);
  EXPECT_EQ(Crc32c(0, "", 0), 0u);
  std::mt19937 random(32);
  const std::string bytes = RandomBytes(100000, 33);
  for (int round = 0; round < 200; ++round) {
    // Any start, length and split point, so every alignment is met; every
    // other length long enough for the hardware's three-lane rounds.
    const std::size_t start = random() % 64, length = random() % (round % 2 ? 5000 : 90000),
                      cut = length ? random() % length : 0;
    const char* p = bytes.data() + start;
    const std::uint32_t whole = Crc32cTable(0, p, length);
    EXPECT_EQ(Crc32cTable(Crc32cTable(0, p, cut), p + cut, length - cut), whole);
    EXPECT_EQ(Crc32c(Crc32c(0, p, cut), p + cut, length - cut), whole);
    if (HasCrc32Instruction()) {
      EXPECT_EQ(Crc32cHardware(0, p, length), whole);
    }
  }
}

// A program image of `image` bytes followed by the manifest of a small set.
struct ProgramFile {
  TempDir dir;
  std::string path = dir / "m.exe";
  Manifest manifest;
  std::string image = "MZ stand-in image";

  ProgramFile() {
    manifest.baseName = "movie";
    manifest.storedName = "movie.avi";
    manifest.sourceLength = 2500;
    manifest.pieceSize = 1000;
    manifest.pieceCount = 3;  // 10 + 2500 bytes
    manifest.pieceCrcs = {0x11111111u, 0x22222222u, 0x33333333u};
    Write(image + EncodeManifest(manifest, image.size()));
  }
  void Write(const std::string& bytes) { WriteAll(path, bytes); }
  ManifestRead Read() {
    auto file = NativePlatform().OpenRead(path);
    EXPECT_TRUE(file);
    return file ? ReadManifest(*file) : ManifestRead{};
  }
};

TEST(Manifest, WrittenAndReadBack) {
  ProgramFile program;
  const ManifestRead read = program.Read();
  ASSERT_EQ(read.state, ManifestState::kValid);
  EXPECT_EQ(read.manifest.baseName, "movie");
  EXPECT_EQ(read.manifest.storedName, "movie.avi");
  EXPECT_EQ(read.manifest.sourceLength, 2500u);
  EXPECT_EQ(read.manifest.pieceSize, 1000u);
  EXPECT_EQ(read.manifest.pieceCrcs, program.manifest.pieceCrcs);
  EXPECT_EQ(read.manifest.PieceLength(0), 1000u);
  EXPECT_EQ(read.manifest.PieceLength(2), 510u);
  // The documented footer: the last 32 bytes, little-endian, magic last.
  const std::string bytes = ReadAll(program.path);
  EXPECT_EQ(bytes.substr(bytes.size() - 8), std::string("MORSELA\x1A"));
  EXPECT_EQ(bytes.substr(bytes.size() - 32, 8), std::string("\x11\0\0\0\0\0\0\0", 8));  // image length 17
}

// A set with recovery pieces carries their count and CRCs in a version 2
// manifest, after the program and at the head of every recovery piece,
// which also holds its own index; damage there is told, never misread.
TEST(Manifest, RecoveryPiecesCarryTheWholeManifest) {
  ProgramFile program;
  Manifest m = program.manifest;
  m.recoveryCount = 2;
  m.recoveryCrcs = {0x44444444u, 0x55555555u};
  program.Write(program.image + EncodeManifest(m, program.image.size()));
  ManifestRead read = program.Read();
  ASSERT_EQ(read.state, ManifestState::kValid);
  EXPECT_EQ(read.manifest.recoveryCount, 2u);
  EXPECT_EQ(read.manifest.recoveryCrcs, m.recoveryCrcs);

  const std::string head = EncodeRecoveryHead(m, 1);
  ASSERT_EQ(head.size(), RecoveryDataOffset(m));
  const std::string piece = head + std::string(std::size_t(m.RecoveryDataSize()), 'x');
  EXPECT_EQ(piece.size(), RecoveryPieceLength(m));
  auto flipped = [&](std::size_t at) {
    std::string b = piece;
    b[at] = char(b[at] ^ 0x40);
    return b;
  };
  std::string newer = piece;
  newer[8] = 4;  // the version, with the header's CRC made right again
  const std::uint32_t crc = Crc32c(0, newer.data(), 28);
  for (int b = 0; b < 4; ++b) newer[std::size_t(28 + b)] = char(crc >> (8 * b));
  struct Case {
    const char* what;
    std::string bytes;
    ManifestState state;
  };
  const std::vector<Case> cases{
      {"whole", piece, ManifestState::kValid},
      {"its index", flipped(12), ManifestState::kDamaged},
      {"the manifest's length", flipped(16), ManifestState::kDamaged},
      {"a byte of the manifest", flipped(kRecoveryHeaderSize + 20), ManifestState::kDamaged},
      {"cut within the head", piece.substr(0, 40), ManifestState::kDamaged},
      {"a later format", newer, ManifestState::kNewer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(program.dir / "movie#.r2", c.bytes);
    auto file = NativePlatform().OpenRead(program.dir / "movie#.r2");
    const RecoveryRead r = ReadRecoveryHead(*file);
    EXPECT_EQ(r.state, c.state);
    if (c.state == ManifestState::kValid) {
      EXPECT_EQ(r.index, 1u);
      EXPECT_EQ(r.manifest.pieceCrcs, m.pieceCrcs);
      EXPECT_EQ(r.manifest.recoveryCrcs, m.recoveryCrcs);
    }
    if (c.state == ManifestState::kNewer) {
      EXPECT_EQ(r.version, 4u);
    }
  }

  // Names: "#.r" and a number from 1 without leading zeros, in any case.
  EXPECT_EQ(RecoveryPieceFileName("movie", 0), "movie#.r1");
  EXPECT_EQ(RecoveryPieceNumber("movie#.r1", "movie"), std::optional<std::uint64_t>(0));
  EXPECT_EQ(RecoveryPieceNumber("MOVIE#.R12", "movie"), std::optional<std::uint64_t>(11));
  for (const char* name : {"movie#.r0", "movie#.r01", "movie#.r", "movie#.1", "movie#.r1x", "movie#.r123456"})
    EXPECT_FALSE(RecoveryPieceNumber(name, "movie")) << name;
}

// Every kind of damage is told apart from a program without a manifest,
// and never read as a valid one.
TEST(Manifest, DamageIsRecognisedNotMisread) {
  ProgramFile program;
  const std::string good = ReadAll(program.path);
  const std::size_t manifestStart = program.image.size();
  struct Case {
    const char* what;
    std::string bytes;
    ManifestState state;
  };
  auto flipped = [&](std::size_t at) {
    std::string b = good;
    b[at] = char(b[at] ^ 0x40);
    return b;
  };
  std::string newer = good;
  newer[newer.size() - 12] = 4;  // the footer's version
  std::string inconsistent = program.image;
  Manifest wrongCount = program.manifest;
  wrongCount.pieceCount = 4;
  wrongCount.pieceCrcs.push_back(0);
  inconsistent += EncodeManifest(wrongCount, program.image.size());
  const std::vector<Case> cases{
      {"the bare image", program.image, ManifestState::kAbsent},
      {"an empty file", "", ManifestState::kAbsent},
      {"a byte of the manifest", flipped(manifestStart + 20), ManifestState::kDamaged},
      {"a piece's CRC", flipped(good.size() - 40), ManifestState::kDamaged},
      {"the footer's length", flipped(good.size() - 24), ManifestState::kDamaged},
      {"the footer's CRC", flipped(good.size() - 16), ManifestState::kDamaged},
      {"the footer's magic", flipped(good.size() - 3), ManifestState::kAbsent},
      {"cut off by one byte", good.substr(0, good.size() - 1), ManifestState::kAbsent},
      {"a byte added at the end", good + "x", ManifestState::kAbsent},
      {"a byte added before it", "x" + good, ManifestState::kDamaged},
      {"a later format", newer, ManifestState::kNewer},
      {"a count that the sizes do not give", inconsistent, ManifestState::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    program.Write(c.bytes);
    const ManifestRead read = program.Read();
    EXPECT_EQ(read.state, c.state);
    if (c.state == ManifestState::kNewer) {
      EXPECT_EQ(read.version, 4u);
    }
  }
}

TEST(Manifest, ExecutableImageEndTellsACutOffManifest) {
  const std::string head = test::MinimalExecutable().substr(0, 0x400);
  EXPECT_EQ(ExecutableImageEnd(head), 0x700u);
  EXPECT_EQ(ExecutableImageEnd(head.substr(0, 0x100)), 0u);  // sections beyond what was read
  EXPECT_EQ(ExecutableImageEnd("MZ"), 0u);
  EXPECT_EQ(ExecutableImageEnd(std::string(4096, 'M')), 0u);

  ProgramFile program;
  const std::string image = test::MinimalExecutable();
  const std::string whole = image + EncodeManifest(program.manifest, image.size());
  program.Write(whole);
  EXPECT_EQ(program.Read().state, ManifestState::kValid);
  program.Write(image);
  EXPECT_EQ(program.Read().state, ManifestState::kAbsent);
  for (std::size_t cut : {std::size_t(1), std::size_t(20), whole.size() - image.size() - 1}) {
    program.Write(whole.substr(0, whole.size() - cut));
    EXPECT_EQ(program.Read().state, ManifestState::kDamaged) << "cut " << cut;
  }
}

// A signer pads the file to 8 bytes and appends a certificate table, which
// the image's headers then point to: the manifest is found before it. A
// bare image signed has no manifest; anything else signed with it is
// damage, as is a manifest whose base name leads out of the folder.
TEST(Manifest, FoundBeforeTheCertificateTableOfASignature) {
  const auto signedFile = [](std::string bytes) {
    bytes.append((8 - bytes.size() % 8) % 8, '\0');
    const std::string table(24, 'S');
    for (int i = 0; i < 4; ++i) {
      bytes[0x98 + 144 + i] = char((bytes.size() >> (8 * i)) & 0xFF);  // data directory 4: offset, size
      bytes[0x98 + 148 + i] = char((table.size() >> (8 * i)) & 0xFF);
    }
    return bytes + table;
  };
  ProgramFile program;
  const std::string image = test::MinimalExecutable();
  const std::string manifest = EncodeManifest(program.manifest, image.size());
  Manifest elsewhere = program.manifest, aligned = program.manifest;
  elsewhere.baseName = "..\\up";
  aligned.storedName = "movie.a";  // the file then ends on a multiple of 8
  struct Case {
    const char* what;
    std::string bytes;
    ManifestState state;
  };
  const std::vector<Case> cases{
      {"signed after the split wrote it", signedFile(image + manifest), ManifestState::kValid},
      {"signed without padding", signedFile(image + EncodeManifest(aligned, image.size())), ManifestState::kValid},
      {"a byte of it altered", signedFile(image + manifest.substr(0, 50) + "?" + manifest.substr(51)),
       ManifestState::kDamaged},
      {"the bare image signed", signedFile(image), ManifestState::kAbsent},
      {"something else signed with the image", signedFile(image + "not a manifest"), ManifestState::kDamaged},
      {"a base name leading elsewhere", image + EncodeManifest(elsewhere, image.size()), ManifestState::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    program.Write(c.bytes);
    const ManifestRead read = program.Read();
    EXPECT_EQ(read.state, c.state);
    if (c.state == ManifestState::kValid) {
      EXPECT_EQ(read.manifest.pieceCrcs, program.manifest.pieceCrcs);
    }
  }
}

}  // namespace
}  // namespace morsela

namespace morsela {
namespace {

// A set with recovery pieces and stripes is version 3: its stripe size and
// a CRC of every stripe of every piece and recovery piece come back as
// written, after the program and in a recovery piece's head; a stripe
// size that is no power of two up to 1 MiB, or a table of the wrong
// length, makes it damaged. Without stripes the same set is version 2.
TEST(Manifest, VersionThreeCarriesEveryStripesCrc) {
  ProgramFile program;
  Manifest m = program.manifest;  // 3 pieces of 1000 bytes
  m.recoveryCount = 2;
  m.recoveryCrcs = {0x44444444u, 0x55555555u};
  EXPECT_EQ(m.Version(), 2u);
  EXPECT_EQ(ManifestBodyLength(m), EncodeManifestBody(m).size());
  m.stripeSize = 256;
  ASSERT_EQ(m.Rows(), 4u);
  for (std::uint32_t k = 0; k < 5 * 4; ++k) m.stripeCrcs.push_back(0x1000u + k);
  EXPECT_EQ(m.Version(), 3u);
  EXPECT_EQ(ManifestBodyLength(m), EncodeManifestBody(m).size());
  EXPECT_EQ(m.StripeCrc(1, 2), 0x1006u);
  EXPECT_EQ(m.StripeCrc(3, 0), 0x100Cu);   // recovery piece 1, row 0
  EXPECT_EQ(m.StripeLength(2, 1), 254u);   // the last piece: 10 + 2500 - 2000 bytes
  EXPECT_EQ(m.StripeLength(2, 2), 0u);
  EXPECT_EQ(m.StripeLength(4, 3), 232u);  // recovery data: 1000 bytes
  program.Write(program.image + EncodeManifest(m, program.image.size()));
  const ManifestRead read = program.Read();
  ASSERT_EQ(read.state, ManifestState::kValid);
  EXPECT_EQ(read.manifest.stripeSize, 256u);
  EXPECT_EQ(read.manifest.stripeCrcs, m.stripeCrcs);
  EXPECT_EQ(read.manifest.recoveryCrcs, m.recoveryCrcs);
  EXPECT_EQ(EncodeManifestBody(read.manifest), EncodeManifestBody(m));
  EXPECT_EQ(EncodeRecoveryHead(m, 0).size(), RecoveryDataOffset(m));

  for (std::uint64_t stripe : {0ull, 1ull, 384ull, 2ull << 20}) {
    SCOPED_TRACE(stripe);
    Manifest odd = m;
    odd.stripeSize = stripe;
    Manifest decoded;
    std::string body = EncodeManifestBody(m);
    for (int b = 0; b < 8; ++b) body[std::size_t(48 + b)] = char(stripe >> (8 * b));
    EXPECT_FALSE(DecodeManifestBody(body, 3, decoded));
  }
  Manifest decoded;
  const std::string body = EncodeManifestBody(m);
  EXPECT_TRUE(DecodeManifestBody(body, 3, decoded));
  EXPECT_FALSE(DecodeManifestBody(body.substr(0, body.size() - 4), 3, decoded));
  EXPECT_FALSE(DecodeManifestBody(body + std::string(4, '\0'), 3, decoded));
}

// The CRC of two runs from the CRC of each, at every length that matters.
TEST(Crc32c, CombinesTheCrcsOfTwoRuns) {
  std::mt19937 random(7);
  std::string bytes(70000, '\0');
  for (char& c : bytes) c = char(random());
  for (std::size_t cut : {0u, 1u, 7u, 4096u, 65536u, 69999u, 70000u}) {
    SCOPED_TRACE(cut);
    const std::uint32_t first = Crc32c(0, bytes.data(), cut);
    const std::uint32_t second = Crc32c(0, bytes.data() + cut, bytes.size() - cut);
    EXPECT_EQ(Crc32cCombine(first, second, bytes.size() - cut), Crc32c(0, bytes.data(), bytes.size()));
  }
}

// The stripe size gives the figures docs/format.md states for 1 GiB at
// 1,000 KB and 18,300 KB and 4 GiB at 700 MB, and 4 KiB for a piece of one row.
TEST(Stripes, SizeByTheStatedRule) {
  EXPECT_EQ(ChooseStripeSize(1074, 3, 1000000), 128u << 10);
  EXPECT_EQ(ChooseStripeSize(59, 3, 18300000), 32u << 10);
  EXPECT_EQ(ChooseStripeSize(7, 1, 700000000), 1u << 20);
  EXPECT_EQ(ChooseStripeSize(3, 1, 1000), 4096u);  // one row
}

}  // namespace
}  // namespace morsela
