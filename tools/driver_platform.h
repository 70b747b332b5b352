// The platform of the command-line drivers: the system's own, with messages
// printed to the error stream and a restore program image given by the
// driver. For the benchmarks it can also refuse threads (so that the work
// reads and writes in turn) and make every write slower by a fixed delay (a
// slow destination), and it keeps the time spent creating, writing and
// closing files (each on the one thread that does it).
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/user.h"

namespace morsela {

class DriverPlatform : public Platform, public User {
 public:
  using Clock = std::chrono::steady_clock;

  // `endOnMessage`: a message ends the run with exit code 1, as the engine
  // returns after one without telling its caller.
  DriverPlatform(std::string image, bool endOnMessage)
      : image_(std::move(image)), endOnMessage_(endOnMessage) {}
  bool Scan(const std::string& p, EntrySink& s) override { return real_.Scan(p, s); }
  std::string DecodeLegacyName(const std::string& b) override { return real_.DecodeLegacyName(b); }
  std::unique_ptr<InputFile> OpenRead(const std::string& p) override { return real_.OpenRead(p); }
  std::unique_ptr<InputFile> OpenSource(const std::string& p) override { return real_.OpenSource(p); }
  std::unique_ptr<OutputFile> Create(const std::string& p) override {
    const Clock::time_point start = Clock::now();
    std::unique_ptr<OutputFile> file = real_.Create(p);
    inCreates += Clock::now() - start;
    return Timed(std::move(file));
  }
  std::unique_ptr<OutputFile> CreateNew(const std::string& p) override { return Timed(real_.CreateNew(p)); }
  bool Remove(const std::string& p) override { return real_.Remove(p); }
  bool Replace(const std::string& a, const std::string& b) override { return real_.Replace(a, b); }
  void CopyZoneMark(const std::string& a, const std::string& b) override { real_.CopyZoneMark(a, b); }
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    if (endOnMessage_) std::exit(1);
  }
  // The drivers split into folders of their own: what is there goes.
  bool Ask(const std::string& text) override {
    std::fprintf(stderr, "%s\n(yes)\n", text.c_str());
    return true;
  }
  std::string_view RestoreImage() override { return image_; }
  std::string_view PageTemplate() override { return pageTemplate; }
  std::unique_ptr<Semaphore> NewSemaphore(unsigned n) override { return real_.NewSemaphore(n); }
  std::unique_ptr<Thread> StartThread(void (*run)(void*), void* c) override {
    return serial ? nullptr : real_.StartThread(run, c);
  }

  // The restore page's template: a stand-in unless the driver was given one.
  std::string pageTemplate =
      "<!doctype html><script type=\"application/x-morsela-set\" id=\"morsela-set\">MORSELA-SET</script>\n";
  bool serial = false;                      // no thread: read and write in turn
  bool skipFlush = false;                   // Flush does nothing (what the flushes cost)
  std::chrono::milliseconds writeDelay{0};  // added to every write
  Clock::duration inCreates{}, inWrites{}, inCloses{};

 private:
  class TimedOutput : public OutputFile {
   public:
    TimedOutput(std::unique_ptr<OutputFile> file, DriverPlatform& owner) : file_(std::move(file)), owner_(owner) {}
    bool Write(const void* data, std::size_t size) override {
      const Clock::time_point start = Clock::now();
      if (owner_.writeDelay.count() > 0) std::this_thread::sleep_for(owner_.writeDelay);
      const bool written = file_->Write(data, size);
      owner_.inWrites += Clock::now() - start;
      return written;
    }
    bool Seek(std::uint64_t offset) override { return file_->Seek(offset); }
    bool Flush() override { return owner_.skipFlush || file_->Flush(); }
    std::unique_ptr<OutputFile> FlushHandle() override {
      std::unique_ptr<OutputFile> twin = file_->FlushHandle();
      if (!twin) return twin;
      return std::make_unique<TimedOutput>(std::move(twin), owner_);
    }
    bool Close() override {
      const Clock::time_point start = Clock::now();
      const bool closed = file_->Close();
      owner_.inCloses += Clock::now() - start;
      return closed;
    }

   private:
    std::unique_ptr<OutputFile> file_;
    DriverPlatform& owner_;
  };

  std::unique_ptr<OutputFile> Timed(std::unique_ptr<OutputFile> file) {
    if (!file) return file;
    return std::make_unique<TimedOutput>(std::move(file), *this);
  }

  Platform& real_ = NativePlatform();
  std::string image_;
  bool endOnMessage_;
};

}  // namespace morsela
