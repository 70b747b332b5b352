#include <gtest/gtest.h>

#include "format/pieces.h"

namespace morsela {
namespace {

TEST(PieceNaming, DerivesFromTheDirectoryAndBaseName) {
  EXPECT_EQ(PieceName("c:\\work\\report.doc", 0), "c:\\work\\report#.0");
  EXPECT_EQ(PieceName("c:\\work\\report.doc", 10), "c:\\work\\report#.10");
  EXPECT_EQ(PieceName("c:\\work\\data.tar.gz", 3), "c:\\work\\data#.3");
  EXPECT_EQ(PieceName("c:\\work\\readme", 1), "c:\\work\\#.1");
  EXPECT_EQ(RestoreProgramName("c:\\work\\report.doc"), "c:\\work\\report.exe");
  EXPECT_EQ(RestoreProgramName("c:\\work\\readme"), "c:\\work\\.exe");
  EXPECT_EQ(PieceName("c:\\work\\x.txt", 1), PieceName("c:\\work\\x.doc", 1));
}

TEST(PieceNaming, RestoreProgramNeverTakesTheSourcesOwnPath) {
  EXPECT_EQ(RestoreProgramName("c:\\w\\setup.exe"), "c:\\w\\setup.unsplit.exe");
  EXPECT_EQ(RestoreProgramName("c:\\w\\Setup.EXE"), "c:\\w\\Setup.unsplit.exe");
  EXPECT_EQ(RestoreProgramName("c:\\w\\setup.exe.zip"), "c:\\w\\setup.exe");
}

TEST(PieceCount, IsTheCeilingOfHeaderAndDataOverThePieceSize) {
  EXPECT_EQ(PieceCount(999, "c:\\a.txt", 1), 0u);
  EXPECT_EQ(PieceCount(1000, "c:\\a.txt", 1), 2u);  // 6 + 1000 bytes
  EXPECT_EQ(PieceCount(1500, "c:\\a.txt", 1), 2u);
  EXPECT_EQ(PieceCount(2500, "c:\\f.bin", 1), 3u);
  EXPECT_EQ(PieceCount(1000, "c:\\a.bin", 10), 1u);
  EXPECT_EQ(PieceCount(20000, "c:\\a.bin", 10), 3u);
  EXPECT_EQ(PieceCount(10000 - 6, "c:\\f.bin", 10), 1u);  // exactly one full piece
  EXPECT_EQ(PieceCount(10000 - 5, "c:\\f.bin", 10), 2u);
  EXPECT_EQ(PieceCount(5000, "c:\\f.bin", 0), 0u);
}

TEST(PieceCount, UsesSixtyFourBitsForLengthAndSize) {
  const std::uint64_t fourGiB = 1ull << 32;
  EXPECT_EQ(PieceCount(fourGiB, "c:\\a.bin", 1000), (fourGiB + 6 + 999999) / 1000000);
  // 4,294,968 KB is past 32 bits as a byte count.
  EXPECT_EQ(PieceCount(fourGiB, "c:\\a.bin", 4294968u), 1u);
  EXPECT_EQ(PieceCount(10ull * fourGiB, "c:\\a.bin", 4294967295u), 1u);
  EXPECT_EQ(PieceCount(fourGiB, "c:\\a.bin", 10), (fourGiB + 6 + 9999) / 10000);
}

}  // namespace
}  // namespace morsela
