// The split engine: cuts a source file into its numbered pieces and writes
// the restore program beside them.
#pragma once

#include <cstdint>
#include <string>

#include "messages.h"

namespace morsela {

// Messages of the engine, shown through the platform's message function.
extern const char kPathnameIncorrect[];
extern const char kFileTooSmall[];

// A helper without data: the text helpers and the split engine as one set of
// operations, of which the dialog holds one instance.
class CSplitEngine {
 public:
  virtual ~CSplitEngine() = default;

  std::string DirectoryOf(const std::string& path) const;
  std::string FileNameOf(const std::string& path) const;
  std::string BaseNameOf(const std::string& path) const;
  std::uint32_t ParseDecimal(const std::string& text) const;
  std::string FormatDecimal(std::uint64_t value) const;

  // True when a directory search for exactly `path` finds an entry.
  bool FileExists(const std::string& path) const;

  // Writes the pieces of `path` for pieces of sizeKb x 1000 bytes, then the
  // restore program, then removes stale pieces of an earlier split that
  // would continue this one's sequence. `pieceCount` is the count the caller
  // computed; 0 is refused as too small a source. If the source turns out
  // longer than that count covers, the engine goes on cutting pieces rather
  // than dropping data. On any read or write failure it shows its message,
  // removes every file this call wrote and leaves the source untouched.
  void SplitFile(const std::string& path, std::uint32_t sizeKb, std::uint64_t pieceCount) const;
};

}  // namespace morsela
