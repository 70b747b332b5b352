#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "format/pieces.h"
#include "split/size_presets.h"

namespace morsela {
namespace {

// The attachment's bytes counted the slow way: base64 text, cut into
// lines of 76 characters, each with CR LF, and the header.
std::uint64_t MailSizeByLines(std::uint64_t bytes) {
  std::uint64_t characters = 0, total = kMailHeader;
  for (std::uint64_t done = 0; done < bytes; done += 3) characters += 4;
  for (std::uint64_t line = 0; line < characters; line += 76) total += std::min<std::uint64_t>(76, characters - line) + 2;
  return total;
}

TEST(SizePresets, MailSizeIsBase64InLinesOf76WithTheHeader) {
  for (std::uint64_t bytes : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 114u, 115u, 1000u, 999'999u})
    EXPECT_EQ(MailSize(bytes), MailSizeByLines(bytes)) << bytes;
  EXPECT_EQ(MailSize(57), 4096u + 76 + 2);  // 57 bytes make one full line
  EXPECT_EQ(MailSize(58), 4096u + 80 + 4);
}

TEST(SizePresets, EachLimitGetsTheLargestWholeKilobytesThatFit) {
  // The figures the README gives, each the largest that fits its limit.
  const struct {
    const char* name;
    std::uint64_t size;
  } cases[] = {
      {"mail25", 18'266'000}, {"mail20", 14'612'000},       {"chat10", 10'000'000},
      {"cd", 727'280'000},    {"dvd", 4'690'372'000},       {"fat32", 4'294'967'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const SizePreset* preset = FindPreset(c.name);
    ASSERT_NE(preset, nullptr);
    const std::uint64_t size = PresetPieceSize(*preset, 123'456'789, "c:\\any.bin");  // the file does not count
    EXPECT_EQ(size, c.size);
    const auto cost = [&](std::uint64_t z) { return preset->kind == PresetKind::kMail ? MailSize(z) : z + preset->spare; };
    EXPECT_LE(cost(size), preset->limit);
    EXPECT_GT(cost(size + kBytesPerKb), preset->limit);
  }
  // Short names in any case; equal parts have none.
  EXPECT_EQ(FindPreset("MAIL25"), FindPreset("mail25"));
  EXPECT_EQ(FindPreset(""), nullptr);
  EXPECT_EQ(FindPreset("mail"), nullptr);
}

TEST(SizePresets, EqualPartsGiveThatCountOfPiecesWithTheNameHeader) {
  const struct {
    std::uint64_t length;
    const char* path;
    std::uint64_t parts;
    std::uint64_t size;    // bytes
    std::uint64_t pieces;  // PieceCount at that size
  } cases[] = {
      // 1,000,000 bytes and "c:\a.bin" (6 bytes of header): 1,000,006 in
      // all, so 500 KB would leave 6 bytes for a third piece.
      {1'000'000, "c:\\a.bin", 2, 501'000, 2},
      {1'000'000, "c:\\a.bin", 3, 334'000, 3},
      {1'000'000, "c:\\a.bin", 10, 101'000, 10},
      {999'994, "c:\\a.bin", 2, 500'000, 2},  // exactly 1,000,000 with the header
      {999'994, "c:\\a.bin", 3, 334'000, 3},
      // The header is the file's name without its folder.
      {999'994, "c:\\long folder name\\a.bin", 2, 500'000, 2},
      {1'073'741'824, "d:\\movie.avi", 5, 214'749'000, 5},
      {1ull << 42, "d:\\disk.img", 2, 2'199'023'256'000, 2},
      // Small files: never under 10 KB, so fewer pieces than asked.
      {25'000, "c:\\a.bin", 10, 10'000, 3},
      {1'000, "c:\\a.bin", 2, 10'000, 1},
      {1'000'000, "c:\\a.bin", 1, 1'001'000, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " in " + std::to_string(c.parts));
    const std::uint64_t size = EqualPartsSize(c.length, c.path, c.parts);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(PieceCount(c.length, c.path, std::uint32_t(size / kBytesPerKb)), c.pieces);
    // One kilobyte less gives more pieces than asked, where the smallest
    // piece allows one.
    if (size > kSmallestPresetPiece) {
      EXPECT_GT(PieceCount(c.length, c.path, std::uint32_t(size / kBytesPerKb - 1)), c.parts);
    }
  }
  // Nothing to divide, or a size past the window's field.
  EXPECT_EQ(EqualPartsSize(999, "c:\\a.bin", 2), 0u);
  EXPECT_EQ(EqualPartsSize(1'000'000, "c:\\a.bin", 0), 0u);
  EXPECT_EQ(EqualPartsSize(1ull << 50, "c:\\a.bin", 2), 0u);
  // Through the table: the window's "3 equal parts".
  EXPECT_EQ(PresetPieceSize(kSizePresets[7], 1'000'000, "c:\\a.bin"), 334'000u);
  EXPECT_EQ(PresetPieceSize(kSizePresets[7], 0, ""), 0u);
}

}  // namespace
}  // namespace morsela
