// The seam between the portable logic and the operating system: directory
// search, file streams, remove and replace, threads, and what the running
// program carries (the restore program's image, the page). All text
// crossing it is UTF-8. Nothing above this interface calls the system
// directly; the user (messages, questions) is another seam, user.h, that
// only the front ends reach. The build links a Win32 or a POSIX
// implementation; tests put a decorator in front of it to inject faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morsela {

// One entry found by a directory search; the name holds no directory.
struct DirEntry {
  std::string name;
  std::uint64_t size = 0;
  bool isDirectory = false;
  // The last write, in the system's own units: only ever compared.
  std::uint64_t writeTime = 0;
  // Read-only, hidden or system: a file that a program must not replace
  // without being told to.
  bool locked = false;
};

// What an open file says of itself: its length and its last write (in the
// system's own units, only ever compared). Taken from the open file, not
// from its directory entry, which the system brings up to date late while
// a writer keeps the file open.
struct FileStamp {
  std::uint64_t size = 0;
  std::uint64_t writeTime = 0;
  bool operator==(const FileStamp& o) const { return size == o.size && writeTime == o.writeTime; }
  bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

// Takes the entries of a directory search one at a time, so that a folder
// of a hundred thousand pieces need not be held in memory.
class EntrySink {
 public:
  virtual ~EntrySink() = default;
  virtual void Take(const DirEntry& entry) = 0;
};

// A file open for reading; closed when the object goes.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `size` bytes and returns the count read: less than `size`
  // only at the end of the file or on a read error, which Failed() tells.
  virtual std::size_t Read(void* buffer, std::size_t size) = 0;
  virtual bool Failed() const = 0;
  // The file's length now; the next Read starts at `offset`. False when the
  // system refuses.
  virtual bool Size(std::uint64_t& size) = 0;
  virtual bool Seek(std::uint64_t offset) = 0;
  // The file's stamp now; false when the system refuses.
  virtual bool Stamp(FileStamp& stamp) = 0;
  // The CRC-32C of the whole file when the system already knows it: the
  // restore page's workers checksum the chosen files side by side before
  // its check, which then need not read them again. Nothing elsewhere.
  virtual std::optional<std::uint32_t> KnownCrc32c() { return std::nullopt; }
};

// A file created (or truncated) for writing. A file that is destroyed
// without a successful Close() may hold anything: callers remove it.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all `size` bytes; false when not all of them were written.
  virtual bool Write(const void* data, std::size_t size) = 0;
  // The next Write starts at `offset`, beyond the end too (the bytes
  // between read as zeros); false when the system refuses.
  virtual bool Seek(std::uint64_t offset) = 0;
  // Has the system put everything written so far on the disk itself, so
  // that a power cut after it loses nothing; false when that failed.
  virtual bool Flush() = 0;
  // Stores what was written and closes; false when that failed. Once only.
  virtual bool Close() = 0;
  // A second handle of the same file, for Flush on another thread while
  // this one writes: Windows carries out the calls on one handle one after
  // the other, so that a flush on the writing handle would wait for the
  // writes and they for it. nullptr where the system has no need of one
  // (or gives none): flush through this one then.
  virtual std::unique_ptr<OutputFile> FlushHandle() { return nullptr; }
  // False for an output that keeps nothing (a check's): its writer need
  // not read bytes whose checksum it already knows.
  virtual bool KeepsBytes() const { return true; }
};

// A count that one thread raises and another waits on: how the reading and
// the writing thread of a split or a restore hand blocks to each other.
// Raising it makes everything the raising thread wrote before visible to the
// thread whose wait it ends.
class Semaphore {
 public:
  virtual ~Semaphore() = default;
  virtual void Post() = 0;  // raises the count by one
  virtual void Wait() = 0;  // waits until the count is above 0, then lowers it
};

// A thread started by the platform; the object's end waits for the thread's.
class Thread {
 public:
  virtual ~Thread() = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Hands `sink` every entry matching `pattern`, in the order the file
  // system keeps: either exactly one path, or a path whose last part holds
  // the wildcards '*' and '?'. Names match without regard to case. False
  // when the search failed part-way (a network folder that went away), so
  // that what was handed over must not be taken as complete. Nothing found
  // is no failure.
  virtual bool Scan(const std::string& pattern, EntrySink& sink) = 0;

  // Scan, appending the entries to `entries`.
  bool List(const std::string& pattern, std::vector<DirEntry>& entries);

  // The entries List finds, for callers to whom a failed search and no
  // entry are the same.
  std::vector<DirEntry> Find(const std::string& pattern) {
    std::vector<DirEntry> entries;
    List(pattern, entries);
    return entries;
  }

  // nullptr when the file cannot be opened.
  virtual std::unique_ptr<InputFile> OpenRead(const std::string& path) = 0;
  // Opens the file to split so that no other program can write to it while
  // it is open; nullptr also when another program holds it open for
  // writing now.
  virtual std::unique_ptr<InputFile> OpenSource(const std::string& path) = 0;
  virtual std::unique_ptr<OutputFile> Create(const std::string& path) = 0;
  // Creates a file that must not exist yet; nullptr when it does (or on
  // any other failure), so that two programs never share one file.
  virtual std::unique_ptr<OutputFile> CreateNew(const std::string& path) = 0;

  // Removes a file; true when it is gone (also when it was gone before).
  // A file that another program holds for a moment (a virus scanner looks
  // at every new file) is tried again for a short while.
  virtual bool Remove(const std::string& path) = 0;

  // Moves the file `from` onto `to`, replacing a file of that name.
  virtual bool Replace(const std::string& from, const std::string& to) = 0;

  // Gives `to` the mark of the zone `from` came from (the system's note on
  // a downloaded file, which makes it warn before the file is opened).
  // Nothing happens where `from` has none or the file system keeps none.
  virtual void CopyZoneMark(const std::string& from, const std::string& to) = 0;

  // A name stored by a splitter that wrote the system's legacy ANSI code
  // page instead of UTF-8, in UTF-8 (decoded with the user's code page).
  virtual std::string DecodeLegacyName(const std::string& bytes) = 0;

  // A semaphore whose count starts at `count`; nullptr when the system
  // gives none.
  virtual std::unique_ptr<Semaphore> NewSemaphore(unsigned count) = 0;
  // Runs `run(context)` on a thread of its own; nullptr when the system
  // gives no thread, and then the caller does the work itself.
  virtual std::unique_ptr<Thread> StartThread(void (*run)(void*), void* context) = 0;

  // The complete restore program carried by the running executable; empty
  // when there is none.
  virtual std::string_view RestoreImage() = 0;

  // The restore page with no set inside, carried by the running executable
  // (docs/format.md tells where a split puts the set's description); empty
  // when there is none.
  virtual std::string_view PageTemplate() = 0;
};

// The platform in force: the native one unless a test installed another.
Platform& System();

// Installs `platform` (not owned) in place of the current one and returns
// the one it replaces; nullptr goes back to the native one.
Platform* SetSystem(Platform* platform);

// The implementation for the system the program was built for.
Platform& NativePlatform();

}  // namespace morsela
