#include "platform/platform_win.h"

#include <algorithm>

#include "text/text.h"
#include "platform/unique_handle.h"
#include "text/utf8.h"

namespace morsela {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows speaks UTF-16");

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  ForEachUtf16Unit(utf8, [&](char16_t unit) { wide += wchar_t(unit); });
  return wide;
}

std::string Narrow(const wchar_t* utf16, std::size_t length) {
  return Utf16ToUtf8(reinterpret_cast<const char16_t*>(utf16), length);
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "\\?\" or "\\.\" (with either separator): a path the caller already gave
// in the system's own form, which takes no '/', "." or "..".
bool IsDevicePath(const std::wstring& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
         IsSeparator(path[3]);
}

}  // namespace

std::wstring SystemPath(const std::string& path, std::size_t suffix) {
  std::wstring wide = Wide(path);
  if (IsDevicePath(wide)) {
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
  }
  // Short paths go as they are, so that relative and drive-relative forms
  // keep their meaning.
  if (wide.size() + suffix < MAX_PATH - 12) return wide;
  // The long form takes no '/', "." or "..": the system makes the path
  // absolute and plain first.
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full;
  while (size > 0) {
    full.assign(size, L'\0');
    const DWORD n = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    if (n < size) {
      full.resize(n);
      break;
    }
    size = n;
  }
  if (full.size() < 3) return wide;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

struct FileTraits {
  using Handle = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return CloseHandle(h) != 0; }
};
struct FindTraits {
  using Handle = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return FindClose(h) != 0; }
};
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueFind = UniqueHandle<FindTraits>;

// ReadFile and WriteFile take 32-bit counts; blocks stay well below that.
constexpr DWORD kMaxTransfer = 1u << 30;

class Win32Input : public InputFile {
 public:
  explicit Win32Input(UniqueFile file) : file_(std::move(file)) {}

  std::size_t Read(void* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      DWORD want = DWORD(std::min<std::size_t>(size - done, kMaxTransfer));
      DWORD got = 0;
      if (!ReadFile(file_.get(), static_cast<char*>(buffer) + done, want, &got, nullptr)) {
        failed_ = true;
        break;
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }
  bool Failed() const override { return failed_; }

  bool Size(std::uint64_t& size) override {
    LARGE_INTEGER n;
    if (!GetFileSizeEx(file_.get(), &n)) return false;
    size = std::uint64_t(n.QuadPart);
    return true;
  }
  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN) != 0;
  }
  bool Stamp(FileStamp& stamp) override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file_.get(), &info)) return false;
    stamp = {(std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
             (std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime};
    return true;
  }

 private:
  UniqueFile file_;
  bool failed_ = false;
};

class Win32Output : public OutputFile {
 public:
  explicit Win32Output(UniqueFile file) : file_(std::move(file)) {}

  // WriteFile may report success for a short write (a file size limit), so
  // the count written is checked as well as the result.
  bool Write(const void* data, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      DWORD want = DWORD(std::min<std::size_t>(size - done, kMaxTransfer));
      DWORD put = 0;
      if (!WriteFile(file_.get(), static_cast<const char*>(data) + done, want, &put, nullptr) ||
          put != want)
        return false;
      done += put;
    }
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN) != 0;
  }

  bool Flush() override { return FlushFileBuffers(file_.get()) != 0; }

  bool Close() override { return bool(file_) && file_.reset(); }

  // A flush covers everything written to the file, through either handle.
  std::unique_ptr<OutputFile> FlushHandle() override {
    UniqueFile twin(ReOpenFile(file_.get(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    if (!twin) return nullptr;
    return std::make_unique<Win32Output>(std::move(twin));
  }

 private:
  UniqueFile file_;
};

// A count under a slim lock with a condition variable: waking and waiting
// stay in the process (a kernel semaphore would cost a system call each
// time, and a round trip to the server under Wine, twice a block).
class Win32Semaphore : public Semaphore {
 public:
  explicit Win32Semaphore(unsigned count) : count_(count) {}
  void Post() override {
    AcquireSRWLockExclusive(&lock_);
    ++count_;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&raised_);
  }
  void Wait() override {
    AcquireSRWLockExclusive(&lock_);
    while (count_ == 0) SleepConditionVariableSRW(&raised_, &lock_, INFINITE, 0);
    --count_;
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE raised_ = CONDITION_VARIABLE_INIT;
  unsigned count_;
};

class Win32Thread : public Thread {
 public:
  explicit Win32Thread(HANDLE thread) : thread_(thread) {}
  ~Win32Thread() override {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }

 private:
  HANDLE thread_;
};

struct ThreadStart {
  void (*run)(void*);
  void* context;
};

DWORD WINAPI RunThread(void* start) {
  const ThreadStart s = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  s.run(s.context);
  return 0;
}

std::uint64_t SizeOf(const WIN32_FIND_DATAW& data) {
  return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::uint64_t TimeOf(const FILETIME& time) {
  return (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

constexpr DWORD kLocked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A directory entry that is a link describes the link; the file it points
// to is what a program opening the name reads.
void FollowLink(const std::string& path, DirEntry& entry) {
  UniqueFile file(CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return;
  entry.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  entry.writeTime = TimeOf(info.ftLastWriteTime);
  entry.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A call that another program's hold on a file refuses for a moment (a
// virus scanner or an indexer looks at every new file): tried again for
// about a second.
template <typename Call>
bool Retried(Call call) {
  for (int attempt = 0;; ++attempt) {
    if (call()) return true;
    const DWORD error = GetLastError();
    if (attempt >= 20 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) return false;
    Sleep(50);
  }
}

std::unique_ptr<OutputFile> OpenForWriting(const std::string& path, DWORD disposition, DWORD share) {
  UniqueFile file(CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32Output>(std::move(file));
}

// The application's name: the module's file name without its extension.
std::string ApplicationName() {
  std::string name = FileNameOf(ModuleFileName());
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

std::string ModuleFileName() {
  // The call cuts the name to the buffer without saying how long it is, so
  // the buffer grows until the name fits.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::wstring buffer(size, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, &buffer[0], size);
    if (n == 0) return std::string();
    if (n < size) return Narrow(buffer.data(), n);
  }
  return std::string();
}

RECT PrimaryWorkArea() {
  RECT work{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
    work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return work;
}

void LoadDllsFromTheSystemOnly() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto set = kernel ? reinterpret_cast<SetDirectories>(
                          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                    : nullptr;
  if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool Win32Platform::Scan(const std::string& pattern, EntrySink& sink) {
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(SystemPath(pattern).c_str(), &data));
  if (!find) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES;
  }
  const bool exact = pattern.find_first_of("*?") == std::string::npos;
  do {
    std::string name = Narrow(data.cFileName, wcslen(data.cFileName));
    if (name == "." || name == "..") continue;
    DirEntry entry{name, SizeOf(data), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                   TimeOf(data.ftLastWriteTime), (data.dwFileAttributes & kLocked) != 0};
    if (exact && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) FollowLink(pattern, entry);
    sink.Take(entry);
  } while (FindNextFileW(find.get(), &data));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

std::unique_ptr<InputFile> Win32Platform::OpenRead(const std::string& path) {
  UniqueFile file(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32Input>(std::move(file));
}

std::unique_ptr<InputFile> Win32Platform::OpenSource(const std::string& path) {
  UniqueFile file(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32Input>(std::move(file));
}

std::unique_ptr<OutputFile> Win32Platform::Create(const std::string& path) {
  // A new file is made with CREATE_NEW, and only one that exists already
  // is replaced with CREATE_ALWAYS: some systems (Wine on Linux) carry out
  // CREATE_ALWAYS by truncating even a new file, and the file system then
  // takes it for a file being replaced and writes it to the disk as it is
  // closed, in the middle of the split.
  std::unique_ptr<OutputFile> file = OpenForWriting(path, CREATE_NEW, FILE_SHARE_READ);
  if (file || GetLastError() != ERROR_FILE_EXISTS) return file;
  return OpenForWriting(path, CREATE_ALWAYS, FILE_SHARE_READ);
}

std::unique_ptr<OutputFile> Win32Platform::CreateNew(const std::string& path) {
  // Shared for writing so that FlushHandle can open the file a second time.
  return OpenForWriting(path, CREATE_NEW, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

bool Win32Platform::Remove(const std::string& path) {
  const std::wstring name = SystemPath(path);
  if (Retried([&] { return DeleteFileW(name.c_str()) != 0; })) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool Win32Platform::Replace(const std::string& from, const std::string& to) {
  // The move is on the disk when the call returns, like the file before it.
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  const std::wstring source = SystemPath(from), target = SystemPath(to);
  return Retried([&] { return MoveFileExW(source.c_str(), target.c_str(), flags) != 0; });
}

void Win32Platform::CopyZoneMark(const std::string& from, const std::string& to) {
  static const wchar_t kStream[] = L":Zone.Identifier";
  const std::size_t suffix = sizeof kStream / sizeof *kStream - 1;
  UniqueFile in(CreateFileW((SystemPath(from, suffix) + kStream).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in) return;
  // The mark is a few lines of text.
  char mark[4096];
  DWORD got = 0;
  if (!ReadFile(in.get(), mark, sizeof mark, &got, nullptr) || got == 0) return;
  UniqueFile out(CreateFileW((SystemPath(to, suffix) + kStream).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  // A mark cut short could say anything: it goes rather than stays half.
  if (out && (!WriteFile(out.get(), mark, got, &put, nullptr) || put != got || !out.reset()))
    DeleteFileW((SystemPath(to, suffix) + kStream).c_str());
}

void Win32User::ShowMessage(const std::string& text) {
  HWND owner = owner_ ? owner_ : GetActiveWindow();
  MessageBoxW(owner, Wide(text).c_str(), Wide(ApplicationName()).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool Win32User::Ask(const std::string& text) {
  HWND owner = owner_ ? owner_ : GetActiveWindow();
  return MessageBoxW(owner, Wide(text).c_str(), Wide(ApplicationName()).c_str(),
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

std::string Win32Platform::DecodeLegacyName(const std::string& bytes) {
  // The user's ANSI code page, not the process's (which is UTF-8 by the
  // program's manifest on the systems that honour it).
  DWORD codePage = CP_ACP;
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                 reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t));
  const int n = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  if (n <= 0) return bytes;
  std::wstring wide(std::size_t(n), L'\0');
  if (MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), &wide[0], n) != n) return bytes;
  return Narrow(wide.data(), wide.size());
}

namespace {

std::string_view BinaryResource(int number) {
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(number), L"BINARY");
  if (!info) return {};
  HGLOBAL loaded = LoadResource(nullptr, info);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return std::string_view(static_cast<const char*>(bytes), SizeofResource(nullptr, info));
}

}  // namespace

std::string_view Win32Platform::RestoreImage() { return BinaryResource(129); }

std::string_view Win32Platform::PageTemplate() { return BinaryResource(130); }

std::unique_ptr<Semaphore> Win32Platform::NewSemaphore(unsigned count) {
  return std::make_unique<Win32Semaphore>(count);
}

std::unique_ptr<Thread> Win32Platform::StartThread(void (*run)(void*), void* context) {
  auto* start = new ThreadStart{run, context};
  HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (!thread) {
    delete start;
    return nullptr;
  }
  return std::make_unique<Win32Thread>(thread);
}

Platform& NativePlatform() {
  static Win32Platform platform;
  return platform;
}

User& NativeUser() {
  static Win32User user;
  return user;
}

}  // namespace morsela
