// The split engine: cuts a source file into its numbered pieces and writes
// the restore program beside them.
#pragma once

#include <cstdint>
#include <string>

#include "text/messages.h"
#include "pipeline/progress.h"

namespace morsela {

// Messages of the engine, shown through the platform's message function.
extern const char kPathnameIncorrect[];
extern const char kFileTooSmall[];
extern const char kTooManyPieces[];

// What one call of SplitFile came to.
struct SplitResult {
  enum class Outcome {
    kWritten,   // the set is complete (a stale piece left may have been reported)
    kRefused,   // a message said why nothing is left of the split
    kStopped,   // the caller's progress stopped it; nothing is left of it
    kDeclined,  // the user would not have files replaced: nothing was written
  };
  Outcome outcome = Outcome::kRefused;
  std::uint64_t pieces = 0;    // kWritten: the pieces written
  std::uint64_t recovery = 0;  // kWritten: the recovery pieces written
  std::string restoreProgram;  // kWritten: full path of the restore program
  // kRefused and kStopped: files of the split that could not be removed
  // (a message named them).
  std::uint64_t left = 0;
  std::string restorePage;  // kWritten: full path of the restore page
};

// The line of outcome after a split that wrote its set: "Done: 3 pieces, 1
// recovery piece, the restore program movie.exe and the restore page
// movie.restore.html written.", the recovery pieces left out when there are
// none.
std::string SplitDoneText(const SplitResult& result);

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
  // restore program followed by the set's manifest (each piece's CRC-32C,
  // computed from the bytes as they are written) and the restore page
  // carrying the same manifest, then removes stale pieces
  // of an earlier split that would continue this one's sequence.
  // `pieceCount` is the count the caller computed; 0 is refused as too
  // small a source. The source is read through `source`, the name the
  // system gave it, when `path` (from which the set is named, in the
  // source's folder) is a lower-cased form of it; no other program may
  // write to it meanwhile.
  // Before it writes anything, the engine looks at every name it will
  // write or remove: a folder or a file that must not be replaced there
  // refuses the split, and anything but the earlier set of the same source
  // is replaced only if the user says yes to a question.
  // With `recovery` above 0 it writes that many recovery pieces after the
  // pieces, from which a restore rebuilds as many lost pieces; a set whose
  // pieces and recovery pieces would pass the code's bounds is refused.
  // If the source turns out longer than the count covers, the engine goes
  // on cutting pieces rather than dropping data; if it changed while it was
  // read, the split fails. On any failure it shows its message, naming the
  // file on a second line, and removes every file this call created (and
  // names those it could not remove in a message of their own); every
  // other file stays as it was. `progress`, when given, hears of every
  // block and may stop the split, which then ends as a failure does but
  // without a message.
  SplitResult SplitFile(const std::string& path, std::uint32_t sizeKb, std::uint64_t pieceCount,
                        Progress* progress = nullptr, const std::string& source = std::string(), std::uint64_t recovery = 0) const;
  // The same for pieces of `pieceSize` bytes, any size from 1 on (the
  // command line takes sizes with units: 25MB, 4GiB).
  SplitResult SplitFileInBytes(const std::string& path, std::uint64_t pieceSize, std::uint64_t pieceCount,
                               Progress* progress = nullptr, const std::string& source = std::string(),
                               std::uint64_t recovery = 0) const;
};

}  // namespace morsela
