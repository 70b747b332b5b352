// How long work tells its caller how far it has come, and learns whether to
// go on. The split engine and the restore report through this one narrow
// interface after each block; the windows that show it are its
// implementations, and neither engine knows anything of them.
#pragma once

#include <cstdint>
#include <string>

namespace morsela {

struct ProgressReport {
  std::uint64_t done = 0;    // bytes written so far
  std::uint64_t total = 0;   // bytes to write in all
  std::uint64_t piece = 0;   // the piece being written (split) or read (restore)
  std::uint64_t pieces = 0;  // how many pieces there are
};

class Progress {
 public:
  virtual ~Progress() = default;
  // Once, before the first block: `name` is the file being split or
  // restored (its name without directory), `total` the bytes to write.
  virtual void Begin(const std::string& name, std::uint64_t total) {
    (void)name;
    (void)total;
  }
  // After each block; false stops the work, which then removes what it
  // wrote and returns without a message.
  virtual bool Advance(const ProgressReport& report) = 0;
};

}  // namespace morsela
