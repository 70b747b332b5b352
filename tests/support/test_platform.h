// A platform decorator for tests: records the messages instead of showing
// them, supplies a restore program image, and injects read and write faults
// in front of the real file system. It installs itself for its lifetime.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/user.h"
#include "pipeline/progress.h"

namespace morsela::test {

enum class Stage { kNone, kOpen, kWrite, kFlush, kClose };

// Which created file fails, where, and whether the later ones fail too.
struct WriteFault {
  Stage stage = Stage::kNone;
  int file = 0;               // index among the files created, from 0
  bool persistent = false;    // every file from `file` on fails
  std::uint64_t afterBytes = 0;  // kWrite: bytes of the file written before it fails
};

class TestPlatform : public Platform, public User {
 public:
  TestPlatform();
  ~TestPlatform() override;
  TestPlatform(const TestPlatform&) = delete;
  TestPlatform& operator=(const TestPlatform&) = delete;

  bool Scan(const std::string& pattern, EntrySink& sink) override;
  std::unique_ptr<Semaphore> NewSemaphore(unsigned count) override;
  std::unique_ptr<Thread> StartThread(void (*run)(void*), void* context) override;
  std::string DecodeLegacyName(const std::string& bytes) override;
  std::unique_ptr<InputFile> OpenRead(const std::string& path) override;
  std::unique_ptr<InputFile> OpenSource(const std::string& path) override;
  std::unique_ptr<OutputFile> Create(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateNew(const std::string& path) override;
  bool Remove(const std::string& path) override;
  bool Replace(const std::string& from, const std::string& to) override;
  void CopyZoneMark(const std::string& from, const std::string& to) override;
  void ShowMessage(const std::string& text) override;
  bool Ask(const std::string& text) override;
  std::string_view RestoreImage() override;
  std::string_view PageTemplate() override;

  Platform& real() { return *real_; }

  // The first line of each message, and its second line (empty if none).
  std::vector<std::string> messages;
  std::vector<std::string> details;
  // The questions asked, whole, and the answer each one gets.
  std::vector<std::string> questions;
  bool answer = false;
  // A source whose path holds this (when not empty) is held open for
  // writing by another program: OpenSource refuses it.
  std::string writtenElsewhere;
  std::string image = "MZ restore program stand-in\r\n";
  // A page template stand-in: its one placeholder as the real one holds it.
  std::string pageTemplate =
      "<!doctype html><title>restore page stand-in</title>"
      "<script type=\"application/x-morsela-set\" id=\"morsela-set\">MORSELA-SET</script>\n";
  WriteFault writeFault;
  // When set, reads fail once this many bytes of a file were read; only in
  // files whose path holds `readFaultIn` when that is not empty.
  bool readFault = false;
  std::string readFaultIn;
  std::uint64_t readFailAfter = 0;
  // Bytes [unreadableFrom, unreadableTo) of those files cannot be read, as
  // a bad sector: a read that reaches them fails, one after them succeeds.
  std::uint64_t unreadableFrom = 0, unreadableTo = 0;
  int created = 0;  // files created so far (either way)
  bool threads = true;  // false: the system gives no thread
  // Faults injected so far, on any thread.
  std::atomic<int> faults{0};
  // Run with the file's path at the start of every read and every write,
  // on the thread doing it.
  std::function<void(const std::string& path)> duringRead, duringWrite;
  bool replaceFault = false;  // every Replace fails
  std::string removeFaultIn;
  // A directory search whose pattern holds this (when not empty) fails
  // after delivering its first entry.
  std::string listFaultIn;
  // The zone marks carried, as "from -> to".
  std::vector<std::string> zoneMarks;  // Remove fails for paths holding this, when not empty

 private:
  std::unique_ptr<OutputFile> CreateFaulty(const std::string& path, bool exclusive);
  Platform* real_;
  User* realUser_;
};

// Records what long work reports; stops it at report `stopAt` (counted
// from 0) or runs `during` at report `duringAt`.
class ProgressRecorder : public Progress {
 public:
  void Begin(const std::string& name, std::uint64_t total) override {
    names.push_back(name);
    totals.push_back(total);
  }
  bool Advance(const ProgressReport& report) override {
    const std::size_t index = reports.size();
    reports.push_back(report);
    if (during && index == duringAt) during();
    return index != stopAt;
  }

  std::vector<std::string> names;
  std::vector<std::uint64_t> totals;
  std::vector<ProgressReport> reports;
  std::size_t stopAt = std::size_t(-1);
  std::size_t duringAt = 0;
  std::function<void()> during;
};

// A fresh directory for one test, removed with everything in it at the end.
// Its path ends in a separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// Names in `dir` (without directory), sorted.
std::vector<std::string> ListDir(const std::string& dir);
// The smallest file that reads as a Windows executable image: headers and
// two sections, 0x700 bytes in all.
std::string MinimalExecutable();

// Waits (up to a few seconds) until `count` (of faults, say) is above 0;
// false if it never was.
bool Await(const std::atomic<int>& count);

// MinimalExecutable() with an Authenticode signature, made by
// tests/support/throwaway_signer.sh with an authority of its own in `dir`
// (whose certificate is then dir / "ca.pem"); empty when that failed.
std::string SignedExecutable(const TempDir& dir);

// Deterministic pseudo-random bytes.
std::string RandomBytes(std::size_t n, std::uint32_t seed);

}  // namespace morsela::test
