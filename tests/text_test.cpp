#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "text/case_fold.h"
#include "format/pieces.h"
#include "text/text.h"
#include "text/utf8.h"
#include "text/wildcard.h"

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
  EXPECT_TRUE(WildcardMatch("\xC3\xA9t\xC3\xA9#.*", "\xC3\x89T\xC3\x89#.3"));  // été#.* finds ÉTÉ#.3
  EXPECT_FALSE(WildcardMatch("stra\xC3\x9F" "e.txt", "STRA\xE1\xBA\x9E" "E.TXT"));  // ß is not ẞ
}

// Names compare as the Windows file system compares them, in every script,
// unit by unit through its upper-case table: round trips only.
TEST(NameCase, ComparesAsTheFileSystemDoes) {
  const std::vector<std::pair<std::string, std::string>> same{
      {"SETUP.exe", "setup.EXE"},
      {"\xC3\xA9t\xC3\xA9#.3", "\xC3\x89T\xC3\x89#.3"},  // été, ÉTÉ
      {"\xCF\x89", "\xCE\xA9"},                            // ω, Ω
      {"\xC7\x86", "\xC7\x84"},                            // ǆ, Ǆ
      {"\xE1\xBE\x80", "\xE1\xBE\x88"},                    // ᾀ, ᾈ
      {"\xD0\xB6", "\xD0\x96"},                            // ж, Ж
  };
  const std::vector<std::pair<std::string, std::string>> different{
      {"setup.exe", "setup.ex"},
      {"\xC3\x9F", "\xE1\xBA\x9E"},  // ß, ẞ
      {"k", "\xE2\x84\xAA"},        // the Kelvin sign
      {"\xCF\x89", "\xE2\x84\xA6"},  // ω, the Ohm sign
      {"i", "\xC4\xB0"},             // İ
      {"\xC4\xB1", "I"},             // ı
      {"\xC2\xB5", "\xCE\x9C"},      // µ, Μ
      {"\xC5\xBF", "S"},             // ſ
  };
  for (const auto& [a, b] : same) EXPECT_TRUE(EqualsNoCase(a, b)) << a << " " << b;
  for (const auto& [a, b] : different) EXPECT_FALSE(EqualsNoCase(a, b)) << a << " " << b;
  EXPECT_EQ(AfterPrefixNoCase("\xC3\x89T\xC3\x89#.3", "\xC3\xA9t\xC3\xA9#."), "3");
  EXPECT_EQ(AfterPrefixNoCase("\xC4\xB1stanbul#.3", "istanbul#."), std::nullopt);
  EXPECT_EQ(PieceNumber("\xC3\x89T\xC3\x89#.07", "\xC3\xA9t\xC3\xA9"), 7u);
  EXPECT_EQ(WrittenPieceNumber("\xC3\x89T\xC3\x89#.07", "\xC3\xA9t\xC3\xA9"), std::nullopt);
  EXPECT_EQ(WrittenPieceNumber("\xC3\x89T\xC3\x89#.70", "\xC3\xA9t\xC3\xA9"), 70u);
#ifdef _WIN32
  // The table the portable build uses is the system's own.
  using Upcase = wchar_t(__stdcall*)(wchar_t);
  const auto upcase = reinterpret_cast<Upcase>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
  ASSERT_NE(upcase, nullptr);
  int disagreements = 0;
  for (unsigned unit = 0; unit < 0x10000; ++unit)
    if (char16_t(upcase(wchar_t(unit))) != UpperCaseUnit(char16_t(unit)) && disagreements++ < 5)
      ADD_FAILURE() << std::hex << unit;
  EXPECT_EQ(disagreements, 0);
#endif
}

}  // namespace
}  // namespace morsela

namespace morsela {
namespace {

// UTF-8 inside, UTF-16 at the system: names in several scripts and planes
// go both ways unchanged, a lone surrogate (legal in a Windows name) too,
// and bytes that are no UTF-8 become U+FFFD one by one, never dropped.
TEST(Utf8, ConversionsBothWays) {
  const std::vector<std::u16string> names{u"plain.txt", u"Caf\u00e9 \u00c4rger.doc", u"\u043f\u0440\u0438\u0432\u0435\u0442.txt",
                                          u"\u03b1\u03b2\u03b3.pdf", u"\u65e5\u672c\u8a9e", u"\U0001F600 smile",
                                          std::u16string(u"lone \xD800 surrogate")};
  for (const std::u16string& name : names) {
    const std::string utf8 = Utf16ToUtf8(name.data(), name.size());
    EXPECT_EQ(Utf8ToUtf16(utf8), name);
    EXPECT_EQ(Utf16Length(utf8), name.size());
  }
  EXPECT_EQ(Utf16ToUtf8(u"\u00e9", 1), "\xC3\xA9");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xE9t\xE9"), u"\uFFFDt\uFFFD");  // Windows-1252 bytes
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");    // an overlong '/'
}

TEST(Utf8, StrictValidity) {
  for (const char* good : {"", "abc", "caf\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x98\x80"}) {
    EXPECT_TRUE(IsValidUtf8(good)) << good;
  }
  for (const char* bad : {"caf\xE9", "\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xFF"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  }
}

}  // namespace
}  // namespace morsela
