#include <gtest/gtest.h>

#include "text.h"
#include "wildcard.h"

namespace morsela {
namespace {

TEST(PathHelpers, SplitAtTheRightmostSeparatorOfEitherKind) {
  EXPECT_EQ(DirectoryOf("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(FileNameOf("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(BaseNameOf("C:\\a\\b.txt"), "b");
  EXPECT_EQ(DirectoryOf("C:\\a/b.txt"), "C:\\a/");
  EXPECT_EQ(FileNameOf("C:/a\\b.txt"), "b.txt");
  EXPECT_EQ(DirectoryOf("C:\\dir\\"), "C:\\dir\\");
  EXPECT_EQ(FileNameOf("C:\\dir\\"), "");
  EXPECT_EQ(DirectoryOf("plain.txt"), "");
  EXPECT_EQ(FileNameOf("plain.txt"), "plain.txt");
}

TEST(PathHelpers, BaseNameStopsAtTheFirstDotOfTheFileName) {
  EXPECT_EQ(BaseNameOf("C:\\x\\report.doc"), "report");
  EXPECT_EQ(BaseNameOf("C:\\x\\archive.tar.gz"), "archive");
  EXPECT_EQ(BaseNameOf("C:\\x\\README"), "");
  EXPECT_EQ(BaseNameOf("C:\\x\\.profile"), "");
  EXPECT_EQ(BaseNameOf("C:\\my.data\\notes"), "");
  EXPECT_EQ(BaseNameOf("C:\\my.data\\notes.txt"), "notes");
}

TEST(DecimalText, ParsesDigitsAndRefusesEverythingElse) {
  EXPECT_EQ(ParseDecimal(""), 0u);
  EXPECT_EQ(ParseDecimal("0100"), 100u);
  EXPECT_EQ(ParseDecimal("4294967295"), 4294967295u);
  EXPECT_EQ(ParseDecimal("12a"), 0u);
  EXPECT_EQ(ParseDecimal("-5"), 0u);
  EXPECT_EQ(ParseDecimal(" 5"), 0u);
}

TEST(DecimalText, SaturatesInsteadOfWrapping) {
  EXPECT_EQ(ParseDecimal("4294967296"), 4294967295u);
  EXPECT_EQ(ParseDecimal("99999999999999999999999999"), 4294967295u);
  EXPECT_EQ(ParseDecimal("00000000000000000000000007"), 7u);
}

TEST(DecimalText, FormatsWithoutPadding) {
  EXPECT_EQ(FormatDecimal(0), "0");
  EXPECT_EQ(FormatDecimal(9), "9");
  EXPECT_EQ(FormatDecimal(10), "10");
  EXPECT_EQ(FormatDecimal(123), "123");
  EXPECT_EQ(FormatDecimal(18446744073709551615ull), "18446744073709551615");
}

TEST(Wildcards, MatchLikeTheWindowsSearch) {
  EXPECT_TRUE(WildcardMatch("a#.*", "A#.10"));
  EXPECT_TRUE(WildcardMatch("a#.*", "a#."));
  EXPECT_FALSE(WildcardMatch("a#.*", "ab#.1"));
  EXPECT_TRUE(WildcardMatch("*.txt", "x.y.TXT"));
  EXPECT_TRUE(WildcardMatch("?b*c", "abxxc"));
  EXPECT_FALSE(WildcardMatch("?b*c", "abxxd"));
  EXPECT_TRUE(WildcardMatch("Movie.avi", "movie.AVI"));
  EXPECT_TRUE(EqualsNoCase("SETUP.exe", "setup.EXE"));
  EXPECT_FALSE(EqualsNoCase("setup.exe", "setup.ex"));
}

}  // namespace
}  // namespace morsela
