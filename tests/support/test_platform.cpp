#include "test_platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace morsela::test {

namespace {

class FaultyOutput : public OutputFile {
 public:
  FaultyOutput(std::unique_ptr<OutputFile> real, Stage stage, std::uint64_t afterBytes, TestPlatform& platform,
               const std::string& path)
      : real_(std::move(real)), stage_(stage), afterBytes_(afterBytes), platform_(platform), path_(path) {}

  bool Write(const void* data, std::size_t size) override {
    if (platform_.duringWrite) platform_.duringWrite(path_);
    if (stage_ == Stage::kWrite && written_ + size > afterBytes_) {
      std::size_t part = std::size_t(afterBytes_ - written_);
      if (part > 0) real_->Write(data, part);
      written_ += part;
      return Fail();
    }
    written_ += size;
    return real_->Write(data, size);
  }
  bool Seek(std::uint64_t offset) override {
    written_ = offset;
    return real_->Seek(offset);
  }
  bool Flush() override { return stage_ == Stage::kFlush ? Fail() : real_->Flush(); }
  bool Close() override {
    bool closed = real_->Close();
    return stage_ == Stage::kClose ? Fail() : closed;
  }
  // A flush fails on the second handle as on the first.
  std::unique_ptr<OutputFile> FlushHandle() override {
    std::unique_ptr<OutputFile> twin = real_->FlushHandle();
    if (!twin) return twin;
    return std::make_unique<FaultyOutput>(std::move(twin), stage_ == Stage::kFlush ? stage_ : Stage::kNone, 0,
                                          platform_, path_);
  }

 private:
  bool Fail() {
    ++platform_.faults;
    return false;
  }

  std::unique_ptr<OutputFile> real_;
  Stage stage_;
  std::uint64_t afterBytes_;
  TestPlatform& platform_;
  const std::string path_;
  std::uint64_t written_ = 0;
};

class FaultyInput : public InputFile {
 public:
  FaultyInput(std::unique_ptr<InputFile> real, std::uint64_t failAfter, TestPlatform& platform,
              const std::string& path, bool faulty)
      : real_(std::move(real)), left_(failAfter), platform_(platform), path_(path),
        from_(faulty ? platform.unreadableFrom : 0), to_(faulty ? platform.unreadableTo : 0) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    if (platform_.duringRead) platform_.duringRead(path_);
    if (failed_) return 0;
    // A bad sector: a read that reaches it gives what lies before and fails.
    if (pos_ < to_ && pos_ + size > from_) {
      const std::size_t n = pos_ < from_ ? real_->Read(buffer, std::size_t(from_ - pos_)) : 0;
      failed_ = true;
      ++platform_.faults;
      return n;
    }
    std::size_t n = real_->Read(buffer, std::size_t(std::min<std::uint64_t>(size, left_)));
    pos_ += n;
    left_ -= n;
    if (n < size && left_ == 0) {
      failed_ = true;
      ++platform_.faults;
    }
    return n;
  }
  bool Failed() const override { return failed_ || real_->Failed(); }
  bool Size(std::uint64_t& size) override { return real_->Size(size); }
  bool Seek(std::uint64_t offset) override {
    pos_ = offset;
    return real_->Seek(offset);
  }
  bool Stamp(FileStamp& stamp) override { return real_->Stamp(stamp); }

 private:
  std::unique_ptr<InputFile> real_;
  std::uint64_t left_, pos_ = 0;
  TestPlatform& platform_;
  const std::string path_;
  const std::uint64_t from_, to_;
  bool failed_ = false;
};

}  // namespace

TestPlatform::TestPlatform() : real_(SetSystem(this)), realUser_(SetUser(this)) {}
TestPlatform::~TestPlatform() {
  SetUser(realUser_ == &NativeUser() ? nullptr : realUser_);
  SetSystem(real_ == &NativePlatform() ? nullptr : real_);
}

namespace {

// Forwards the first entry only.
class FirstOnly : public EntrySink {
 public:
  explicit FirstOnly(EntrySink& sink) : sink_(sink) {}
  void Take(const DirEntry& entry) override {
    if (taken_++ == 0) sink_.Take(entry);
  }

 private:
  EntrySink& sink_;
  int taken_ = 0;
};

}  // namespace

bool TestPlatform::Scan(const std::string& pattern, EntrySink& sink) {
  if (listFaultIn.empty() || pattern.find(listFaultIn) == std::string::npos) return real_->Scan(pattern, sink);
  FirstOnly first(sink);
  real_->Scan(pattern, first);
  return false;
}

std::unique_ptr<Semaphore> TestPlatform::NewSemaphore(unsigned count) { return real_->NewSemaphore(count); }

std::unique_ptr<Thread> TestPlatform::StartThread(void (*run)(void*), void* context) {
  return threads ? real_->StartThread(run, context) : nullptr;
}

std::string TestPlatform::DecodeLegacyName(const std::string& bytes) { return real_->DecodeLegacyName(bytes); }

std::unique_ptr<InputFile> TestPlatform::OpenRead(const std::string& path) {
  std::unique_ptr<InputFile> file = real_->OpenRead(path);
  if (!file) return file;
  const bool faulty = path.find(readFaultIn) != std::string::npos;
  return std::make_unique<FaultyInput>(std::move(file), faulty && readFault ? readFailAfter : std::uint64_t(-1), *this,
                                       path, faulty);
}

std::unique_ptr<InputFile> TestPlatform::OpenSource(const std::string& path) {
  if (!writtenElsewhere.empty() && path.find(writtenElsewhere) != std::string::npos) return nullptr;
  return OpenRead(path);
}

std::unique_ptr<OutputFile> TestPlatform::Create(const std::string& path) {
  return CreateFaulty(path, false);
}

std::unique_ptr<OutputFile> TestPlatform::CreateNew(const std::string& path) {
  return CreateFaulty(path, true);
}

std::unique_ptr<OutputFile> TestPlatform::CreateFaulty(const std::string& path, bool exclusive) {
  const int index = created++;
  const WriteFault& f = writeFault;
  const bool hit = f.stage != Stage::kNone && (index == f.file || (f.persistent && index > f.file));
  if (hit && f.stage == Stage::kOpen) {
    ++faults;
    return nullptr;
  }
  std::unique_ptr<OutputFile> file = exclusive ? real_->CreateNew(path) : real_->Create(path);
  if (!file) return file;
  return std::make_unique<FaultyOutput>(std::move(file), hit ? f.stage : Stage::kNone, f.afterBytes, *this, path);
}

bool TestPlatform::Remove(const std::string& path) {
  if (!removeFaultIn.empty() && path.find(removeFaultIn) != std::string::npos) return false;
  return real_->Remove(path);
}
bool TestPlatform::Replace(const std::string& from, const std::string& to) {
  return !replaceFault && real_->Replace(from, to);
}
void TestPlatform::CopyZoneMark(const std::string& from, const std::string& to) {
  zoneMarks.push_back(from + " -> " + to);
  real_->CopyZoneMark(from, to);
}

void TestPlatform::ShowMessage(const std::string& text) {
  const std::size_t end = text.find('\n');
  messages.push_back(text.substr(0, end));
  details.push_back(end == std::string::npos ? std::string() : text.substr(end + 1));
}
bool TestPlatform::Ask(const std::string& text) {
  questions.push_back(text);
  return answer;
}

std::string_view TestPlatform::RestoreImage() { return image; }
std::string_view TestPlatform::PageTemplate() { return pageTemplate; }

TempDir::TempDir() {
  static std::atomic<int> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::ostringstream name;
  name << "morsela-test-" << stamp << "-" << serial++;
  fs::path dir = fs::temp_directory_path() / name.str();
  fs::create_directories(dir);
  path_ = dir.string();
  path_ += char(fs::path::preferred_separator);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

// Paths in the tests are UTF-8, as everywhere in the programs.
bool Await(const std::atomic<int>& count) {
  for (int i = 0; i < 500 && count == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return count > 0;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::u8path(path), ignored);
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::u8path(dir))) names.push_back(entry.path().filename().u8string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string MinimalExecutable() {
  std::string image(0x700, '\0');
  auto put = [&](std::size_t at, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i) image[at + i] = char((v >> (8 * i)) & 0xFF);
  };
  image[0] = 'M';
  image[1] = 'Z';
  put(0x3C, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  put(0x86, 2, 2);           // sections
  put(0x94, 240, 2);         // optional header size
  put(0x98, 0x20B, 2);       // PE32+
  put(0x98 + 60, 0x400, 4);  // size of headers
  put(0x98 + 108, 16, 4);    // data directories
  const std::size_t table = 0x98 + 240;
  put(table + 16, 0x200, 4);  // .text: 0x400 to 0x600
  put(table + 20, 0x400, 4);
  put(table + 40 + 16, 0x100, 4);  // .data: 0x600 to 0x700
  put(table + 40 + 20, 0x600, 4);
  return image;
}

std::string SignedExecutable(const TempDir& dir) {
  const std::string program = dir / "signed.exe";
  WriteAll(program, MinimalExecutable());
  const std::string command =
      "bash '" MORSELA_TEST_SUPPORT "/throwaway_signer.sh' '" + dir.path() + "' '" + program + "'";
  return std::system(command.c_str()) == 0 ? ReadAll(program) : std::string();
}

std::string RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = char(random() & 0xFF);
  return bytes;
}

}  // namespace morsela::test
