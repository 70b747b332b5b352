// The real platform of the build: POSIX natively, Win32 under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/memory.h"
#include "platform/platform.h"
#ifdef _WIN32
#include "platform/platform_win.h"
#endif
#include "pipeline/ring.h"
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
  EXPECT_TRUE(p.Remove(dir / "old.bin"));  // gone already: nothing stays
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

// What the restore needs beyond plain streams: a file created only when
// new, a flush to the disk (through a second handle where the system has
// one), reading from an offset (its own file's end), and a write time that
// tells a changed source, from the open file as from its entry.
TEST(PlatformFiles, ExclusiveCreateFlushSeekAndWriteTime) {
  TempDir dir;
  Platform& p = NativePlatform();
  WriteAll(dir / "taken", "someone else's");
  EXPECT_EQ(p.CreateNew(dir / "taken"), nullptr);
  EXPECT_EQ(ReadAll(dir / "taken"), "someone else's");
  auto out = p.CreateNew(dir / "free");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write("0123456789", 10));
  std::unique_ptr<OutputFile> flusher = out->FlushHandle();
  EXPECT_TRUE((flusher ? *flusher : *out).Flush());
  flusher.reset();
  EXPECT_TRUE(out->Flush());
  EXPECT_TRUE(out->Close());
  out.reset();

  auto in = p.OpenSource(dir / "free");
  ASSERT_TRUE(in);
  std::uint64_t size = 0;
  EXPECT_TRUE(in->Size(size));
  EXPECT_EQ(size, 10u);
  FileStamp stamp;
  EXPECT_TRUE(in->Stamp(stamp));
  EXPECT_EQ(stamp.size, 10u);
  EXPECT_EQ(stamp.writeTime, p.Find(dir / "free").at(0).writeTime);
  char tail[4] = {};
  EXPECT_TRUE(in->Seek(7));
  EXPECT_EQ(in->Read(tail, 4), 3u);
  EXPECT_EQ(std::string(tail, 3), "789");
  in.reset();

  const std::uint64_t before = p.Find(dir / "free").at(0).writeTime;
  EXPECT_NE(before, 0u);
  std::filesystem::last_write_time(dir / "free", std::filesystem::last_write_time(dir / "free") +
                                                     std::chrono::seconds(5));
  EXPECT_NE(p.Find(dir / "free").at(0).writeTime, before);
}

TEST(PlatformSystem, TestsCanPutADecoratorInFront) {
  EXPECT_EQ(&System(), &NativePlatform());
  EXPECT_EQ(&TheUser(), &NativeUser());
  {
    test::TestPlatform recorder;
    EXPECT_EQ(&System(), &recorder);
    TheUser().ShowMessage("hello");
    EXPECT_EQ(recorder.messages, std::vector<std::string>{"hello"});
  }
  EXPECT_EQ(&System(), &NativePlatform());
  EXPECT_EQ(&TheUser(), &NativeUser());
}

// The recovery data's memory: zeroed, all of it writable, and none asked
// for none.
TEST(PlatformSystem, LargeBufferIsZeroedAndWholeAndNoneForNothing) {
  EXPECT_EQ(ZeroedLargeBuffer(0), nullptr);
  const std::size_t bytes = (std::size_t(3) << 20) + 5;
  LargeBuffer buffer = ZeroedLargeBuffer(bytes);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::count(buffer.get(), buffer.get() + bytes, '\0'), std::ptrdiff_t(bytes));
  buffer[0] = buffer[bytes - 1] = 'x';
  EXPECT_EQ(std::count(buffer.get(), buffer.get() + bytes, 'x'), 2);
}

constexpr auto kRing = std::int64_t(Ring<std::int64_t>::kSlots);

// Slots arrive in order whether a thread of the system's fills them or the
// caller does; the filling stays at most a ring ahead of the taking, and it
// ends cleanly when the caller stops taking early. A follower sees every
// slot filled, in order, the last one too, even when the caller stopped
// early, and the filling stays at most a ring ahead of it as well. A
// follower that takes three slots at a time gets them in order, still
// filled while it holds them, the ring a slot longer for each beyond one.
TEST(PlatformThreads, RingDeliversInOrderAndEndsWhenTheCallerStops) {
  constexpr std::int64_t kSlots = 40;
  class Counter : public Filler<std::int64_t>, public Follower<std::int64_t> {
   public:
    bool Fill(std::int64_t& slot) override {
      ++fills;
      if (following) {
        EXPECT_LE(fills - followed.load(), kRing + std::int64_t(batch) - 1);
      }
      if (filled == kSlots) {
        slot = -1;
        return false;
      }
      // Now and then slower than the taking, now and then faster.
      if (filled % 7 == 3) std::this_thread::sleep_for(std::chrono::microseconds(300));
      slot = filled++;
      return true;
    }
    void Follow(const std::int64_t& slot) override {
      // Now and then slower than both.
      if (slot % 11 == 5) std::this_thread::sleep_for(std::chrono::microseconds(500));
      seen.push_back(slot);
      ++followed;
    }
    std::size_t Batch() const override { return batch; }
    void FollowSeveral(const std::int64_t* const* slots, std::size_t count) override {
      EXPECT_LE(count, batch);
      std::vector<std::int64_t> values;
      for (std::size_t i = 0; i < count; ++i) values.push_back(*slots[i]);
      std::this_thread::sleep_for(std::chrono::microseconds(values[0] % 4 == 1 ? 500 : 50));
      for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(*slots[i], values[i]);
        seen.push_back(values[i]);
      }
      followed += std::int64_t(count);
    }
    bool following = false;
    std::size_t batch = 1;
    std::int64_t filled = 0, fills = 0;
    std::vector<std::int64_t> seen;  // read once the ring has gone
    std::atomic<std::int64_t> followed{0};
  };
  for (std::size_t batch : {0, 1, 3}) {  // 0: no follower
    const bool following = batch > 0;
    for (bool threads : {true, false}) {
      for (std::int64_t taken : {0, 1, 9, 41}) {
        SCOPED_TRACE(std::to_string(taken) + (threads ? " taken" : " taken, without threads") +
                     (following ? ", followed " + std::to_string(batch) + " at a time" : ""));
        test::TestPlatform platform;
        platform.threads = threads;
        Counter counter;
        counter.following = following;
        counter.batch = std::max<std::size_t>(batch, 1);
        {
          std::optional<Ring<std::int64_t>> ring;
          if (following) ring.emplace(counter, 0, counter);
          else ring.emplace(counter);
          for (std::int64_t k = 0; k < taken; ++k) {
            if (k % 5 == 1) std::this_thread::sleep_for(std::chrono::microseconds(300));
            EXPECT_EQ(ring->Next(), k < kSlots ? k : -1);
          }
        }
        const std::int64_t ahead = threads ? kRing + std::int64_t(counter.batch) - 1 : 0;
        EXPECT_LE(counter.filled, std::min(taken + ahead, kSlots));
        EXPECT_GE(counter.filled, std::min(taken, kSlots));
        if (!following) continue;
        ASSERT_EQ(std::int64_t(counter.seen.size()), counter.fills);
        for (std::int64_t k = 0; k < counter.fills; ++k) EXPECT_EQ(counter.seen[std::size_t(k)], k < kSlots ? k : -1);
      }
    }
  }
}

#ifdef _WIN32
// A source that another program holds open for writing is not split: it
// could change while it is read. Reading a piece beside such a writer is
// allowed.
TEST(PlatformFiles, ASourceOpenForWritingElsewhereIsRefused) {
  TempDir dir;
  WriteAll(dir / "db.dat", "being written");
  std::FILE* writer = _wfopen(std::filesystem::u8path(dir / "db.dat").c_str(), L"ab");
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(NativePlatform().OpenSource(dir / "db.dat"), nullptr);
  EXPECT_NE(NativePlatform().OpenRead(dir / "db.dat"), nullptr);
  std::fclose(writer);
  EXPECT_NE(NativePlatform().OpenSource(dir / "db.dat"), nullptr);
}

// Paths the system takes whole: those given in its long form already pass
// unchanged (with backslashes), and a path whose stream name would take it
// past the old limit gets the long form too.
TEST(PlatformPaths, LongFormsPassAndLongPathsGetThem) {
  const std::string deep = "C:\\" + std::string(250, 'd') + "\\f.bin";
  EXPECT_EQ(SystemPath("\\\\?\\" + deep), Wide("\\\\?\\" + deep));
  EXPECT_EQ(SystemPath("//?/C:/dir/f.bin"), L"\\\\?\\C:\\dir\\f.bin");
  EXPECT_EQ(SystemPath("\\\\.\\pipe\\x"), L"\\\\.\\pipe\\x");
  EXPECT_EQ(SystemPath(deep), Wide("\\\\?\\" + deep));
  const std::string shorter = "C:\\" + std::string(230, 'n');
  EXPECT_EQ(SystemPath(shorter), Wide(shorter));
  EXPECT_EQ(SystemPath(shorter, 16), Wide("\\\\?\\" + shorter));
}

TEST(PlatformResources, RestoreImageIsTheBinaryResource129) {
  std::string_view image = NativePlatform().RestoreImage();
  EXPECT_EQ(std::string(image), "MZ sample image for the resource test\r\n");
}
#endif

}  // namespace
}  // namespace morsela
