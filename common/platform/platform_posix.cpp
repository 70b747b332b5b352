// The platform on POSIX systems: the native build of the portable logic.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>
#include <semaphore.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/user.h"
#include "text/text.h"
#include "text/utf8.h"
#include "text/wildcard.h"

namespace morsela {

namespace {

class PosixOutput : public OutputFile {
 public:
  explicit PosixOutput(int fd) : fd_(fd) {}
  ~PosixOutput() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Write(const void* data, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      ssize_t put = ::write(fd_, static_cast<const char*>(data) + done, size - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += std::size_t(put);
    }
    return true;
  }

  bool Seek(std::uint64_t offset) override { return ::lseek(fd_, off_t(offset), SEEK_SET) >= 0; }

  bool Flush() override { return ::fsync(fd_) == 0; }

  bool Close() override {
    int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::uint64_t WriteTimeOf(const struct stat& st) {
  return std::uint64_t(st.st_mtim.tv_sec) * 1000000000u + std::uint64_t(st.st_mtim.tv_nsec);
}

class PosixInput : public InputFile {
 public:
  explicit PosixInput(int fd) : fd_(fd) {}
  ~PosixInput() override { ::close(fd_); }

  std::size_t Read(void* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      ssize_t got = ::read(fd_, static_cast<char*>(buffer) + done, size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) failed_ = true;
      if (got <= 0) break;
      done += std::size_t(got);
    }
    return done;
  }
  bool Failed() const override { return failed_; }

  bool Size(std::uint64_t& size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    size = std::uint64_t(st.st_size);
    return true;
  }
  bool Seek(std::uint64_t offset) override { return ::lseek(fd_, off_t(offset), SEEK_SET) >= 0; }
  bool Stamp(FileStamp& stamp) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    stamp = {std::uint64_t(st.st_size), WriteTimeOf(st)};
    return true;
  }

 private:
  int fd_;
  bool failed_ = false;
};

class PosixSemaphore : public Semaphore {
 public:
  PosixSemaphore() = default;
  ~PosixSemaphore() override {
    if (ready_) ::sem_destroy(&sem_);
  }
  bool Init(unsigned count) { return ready_ = ::sem_init(&sem_, 0, count) == 0; }
  void Post() override { ::sem_post(&sem_); }
  void Wait() override {
    while (::sem_wait(&sem_) != 0 && errno == EINTR) {
    }
  }

 private:
  sem_t sem_;
  bool ready_ = false;
};

class PosixThread : public Thread {
 public:
  explicit PosixThread(pthread_t thread) : thread_(thread) {}
  ~PosixThread() override { ::pthread_join(thread_, nullptr); }

 private:
  pthread_t thread_;
};

struct ThreadStart {
  void (*run)(void*);
  void* context;
};

void* RunThread(void* start) {
  const ThreadStart s = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  s.run(s.context);
  return nullptr;
}

bool Describe(const std::string& path, const std::string& name, DirEntry& entry) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  entry.name = name;
  entry.isDirectory = S_ISDIR(st.st_mode);
  // A folder's entry has no length, as a Windows directory search reports.
  entry.size = entry.isDirectory ? 0 : std::uint64_t(st.st_size);
  entry.writeTime = WriteTimeOf(st);
  // Without write permission for its owner a file is read-only.
  entry.locked = !entry.isDirectory && !(st.st_mode & S_IWUSR);
  return true;
}

class PosixPlatform : public Platform {
 public:
  bool Scan(const std::string& pattern, EntrySink& found) override {
    const std::string dir = DirectoryOf(pattern);
    const std::string last = FileNameOf(pattern);
    if (last.empty()) return true;
    DirEntry entry;
    // An exact name is looked up directly; Windows would also find it under
    // another case, which the scan below covers.
    if (!HasWildcard(last) && Describe(pattern, last, entry)) {
      found.Take(entry);
      return true;
    }
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return errno == ENOENT || errno == ENOTDIR;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      if (WildcardMatch(last, name) && Describe(dir + name, name, entry)) {
        found.Take(entry);
        if (!HasWildcard(last)) break;
      }
      errno = 0;
    }
    const bool complete = errno == 0;
    ::closedir(d);
    return complete;
  }

  std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<PosixInput>(fd);
  }
  // POSIX has no sharing modes: nothing keeps another writer out.
  std::unique_ptr<InputFile> OpenSource(const std::string& path) override { return OpenRead(path); }

  std::unique_ptr<OutputFile> Create(const std::string& path) override {
    return Open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
  }
  std::unique_ptr<OutputFile> CreateNew(const std::string& path) override {
    return Open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
  }

  bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

  bool Replace(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  // Windows-1252, the code page of most sets made on older Windows.
  std::string DecodeLegacyName(const std::string& bytes) override {
    return Windows1252ToUtf8(bytes);
  }

  // POSIX file systems keep no zone marks.
  void CopyZoneMark(const std::string&, const std::string&) override {}

  std::string_view RestoreImage() override { return {}; }
  std::string_view PageTemplate() override { return {}; }

  std::unique_ptr<Semaphore> NewSemaphore(unsigned count) override {
    auto semaphore = std::make_unique<PosixSemaphore>();
    if (!semaphore->Init(count)) return nullptr;
    return semaphore;
  }

  std::unique_ptr<Thread> StartThread(void (*run)(void*), void* context) override {
    auto* start = new ThreadStart{run, context};
    pthread_t thread;
    if (::pthread_create(&thread, nullptr, RunThread, start) != 0) {
      delete start;
      return nullptr;
    }
    return std::make_unique<PosixThread>(thread);
  }

 private:
  static std::unique_ptr<OutputFile> Open(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixOutput>(fd);
  }
};

}  // namespace

Platform& NativePlatform() {
  static PosixPlatform platform;
  return platform;
}

namespace {

// The messages on the error stream; no one to answer a question: the safe
// answer.
class StreamUser : public User {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  bool Ask(const std::string& text) override {
    std::fprintf(stderr, "%s\n(no)\n", text.c_str());
    return false;
  }
};

}  // namespace

User& NativeUser() {
  static StreamUser user;
  return user;
}

}  // namespace morsela
