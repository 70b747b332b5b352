// The real platform of the build: POSIX natively, Win32 under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform.h"
#include "test_platform.h"

namespace morsela {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PlatformFind, ExactPathGivesTheEntryWithItsSize) {
  TempDir dir;
  WriteAll(dir / "movie.avi", std::string(1234, 'x'));
  std::filesystem::create_directory(dir / "folder.d");
  Platform& p = NativePlatform();

  auto found = p.Find(dir / "movie.avi");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "movie.avi");
  EXPECT_EQ(found[0].size, 1234u);
  EXPECT_FALSE(found[0].isDirectory);

  found = p.Find(dir / "MOVIE.AVI");  // names match without regard to case
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "movie.avi");

  found = p.Find(dir / "folder.d");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].isDirectory);

  EXPECT_TRUE(p.Find(dir / "absent.avi").empty());
}

TEST(PlatformFind, PatternGivesEveryMatchingEntryAndNoDotEntries) {
  TempDir dir;
  for (const char* name : {"a#.0", "a#.1", "A#.10", "a#.txt", "ab#.1", "b.txt"}) WriteAll(dir / name, "z");
  std::filesystem::create_directory(dir / "a#.9");
  auto names = Names(NativePlatform().Find(dir / "a#.*"));
  EXPECT_EQ(names, (std::vector<std::string>{"A#.10", "a#.0", "a#.1", "a#.9", "a#.txt"}));
  EXPECT_TRUE(NativePlatform().Find(dir / "zz#.*").empty());
  for (const DirEntry& e : NativePlatform().Find(dir / "*")) {
    EXPECT_NE(e.name, ".");
    EXPECT_NE(e.name, "..");
  }
}

TEST(PlatformFiles, WriteReadReplaceRemove) {
  TempDir dir;
  Platform& p = NativePlatform();
  const std::string bytes = test::RandomBytes(300000, 7);

  auto out = p.Create(dir / "new.bin");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write(bytes.data(), bytes.size()));
  EXPECT_TRUE(out->Write("", 0));
  EXPECT_TRUE(out->Close());
  out.reset();
  EXPECT_EQ(ReadAll(dir / "new.bin"), bytes);

  auto in = p.OpenRead(dir / "new.bin");
  ASSERT_TRUE(in);
  std::string back(bytes.size() + 10, '\0');
  EXPECT_EQ(in->Read(&back[0], 100000), 100000u);
  EXPECT_EQ(in->Read(&back[100000], back.size() - 100000), bytes.size() - 100000);
  EXPECT_EQ(in->Read(&back[0], 10), 0u);
  EXPECT_FALSE(in->Failed());
  in.reset();

  WriteAll(dir / "old.bin", "old contents");
  EXPECT_TRUE(p.Replace(dir / "new.bin", dir / "old.bin"));
  EXPECT_EQ(ReadAll(dir / "old.bin"), bytes);
  EXPECT_FALSE(test::Exists(dir / "new.bin"));

  EXPECT_TRUE(p.Remove(dir / "old.bin"));
  EXPECT_FALSE(test::Exists(dir / "old.bin"));
  EXPECT_FALSE(p.Remove(dir / "old.bin"));
  EXPECT_EQ(p.OpenRead(dir / "old.bin"), nullptr);
  EXPECT_EQ(p.Create(dir / "no-such-dir/x.bin"), nullptr);
}

TEST(PlatformFiles, CreateTruncatesAnExistingFile) {
  TempDir dir;
  WriteAll(dir / "f", std::string(5000, 'o'));
  auto out = NativePlatform().Create(dir / "f");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write("new", 3));
  EXPECT_TRUE(out->Close());
  out.reset();
  EXPECT_EQ(ReadAll(dir / "f"), "new");
}

// The copy between two files carries on from where reading stopped and
// appends after what was written, whichever way the system copies.
TEST(PlatformFiles, CopyToAppendsTheRestOfTheFile) {
  TempDir dir;
  const std::string source = test::RandomBytes(3 * 1024 * 1024 + 17, 9);
  WriteAll(dir / "in.bin", source);
  Platform& p = NativePlatform();
  auto in = p.OpenRead(dir / "in.bin");
  auto out = p.Create(dir / "out.bin");
  ASSERT_TRUE(in && out);
  std::vector<char> buffer(4096);
  ASSERT_EQ(in->Read(buffer.data(), 100), 100u);
  ASSERT_TRUE(out->Write("head", 4));
  bool writeFailed = true;
  EXPECT_EQ(in->CopyTo(*out, buffer, writeFailed), source.size() - 100);
  EXPECT_FALSE(writeFailed);
  EXPECT_FALSE(in->Failed());
  ASSERT_TRUE(out->Close());
  EXPECT_TRUE(ReadAll(dir / "out.bin") == "head" + source.substr(100));
}

TEST(PlatformSystem, TestsCanPutADecoratorInFront) {
  EXPECT_EQ(&System(), &NativePlatform());
  {
    test::TestPlatform recorder;
    EXPECT_EQ(&System(), &recorder);
    System().ShowMessage("hello");
    EXPECT_EQ(recorder.messages, std::vector<std::string>{"hello"});
  }
  EXPECT_EQ(&System(), &NativePlatform());
}

#ifdef _WIN32
TEST(PlatformResources, RestoreImageIsTheBinaryResource129) {
  std::string_view image = NativePlatform().RestoreImage();
  EXPECT_EQ(std::string(image), "MZ sample image for the resource test\r\n");
}
#endif

}  // namespace
}  // namespace morsela
