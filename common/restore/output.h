// The restored file on its way to its name: written into a new temporary
// file in the folder it goes to, put on the disk, and only then moved onto
// its name, so that a power cut never leaves a half-written file under the
// name and a file of that name is replaced only by a whole one. Another
// restore in the same folder writes its own temporary file: the names are
// taken exclusively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace morsela {

class TemporaryOutput {
 public:
  // Creates the file in `folder` (ending in a separator); false when the
  // folder takes none.
  bool Create(const std::string& folder);

  OutputFile& file() { return *file_; }
  // Its path, for a message about it.
  const std::string& path() const { return path_; }

  // Puts the file on the disk, closes it, gives it the zone mark of
  // `markFrom` (the mark of a download) and moves it onto `target`; false
  // when any of that failed, and the file is then still the temporary one.
  bool Finish(const std::string& markFrom, const std::string& target);

  // Removes the temporary file (closing it first); false when it stays,
  // held by another program beyond the platform's retries.
  bool Discard();

 private:
  std::string path_;
  std::unique_ptr<OutputFile> file_;
};

// An output that keeps nothing: where a check sends the bytes it need not
// keep. Every call succeeds.
class DroppedOutput : public OutputFile {
 public:
  bool Write(const void*, std::size_t) override { return true; }
  bool Seek(std::uint64_t) override { return true; }
  bool Flush() override { return true; }
  bool Close() override { return true; }
  bool KeepsBytes() const override { return false; }
};

}  // namespace morsela
