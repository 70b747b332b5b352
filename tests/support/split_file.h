// A split as a front end runs it, through the platform in force: the plan's
// refusal and the split's messages shown, its question asked. For tests
// that drive the split's core without a window.
#pragma once

#include <cstdint>
#include <string>

#include "split/split_run.h"

namespace morsela {

struct SplitCall {
  enum Outcome { kWritten, kRefused, kStopped, kDeclined };
  Outcome outcome = kRefused;
  std::uint64_t pieces = 0, recovery = 0, left = 0;
  std::string restoreProgram, restorePage;
};

// Pieces of `sizeKb` x 1000 bytes of `path`, read through `source` where
// given (see SplitLook), in blocks of `blockSize` bytes where given.
SplitCall SplitFile(const std::string& path, std::uint32_t sizeKb, Progress* progress = nullptr,
                    const std::string& source = std::string(), std::uint64_t recovery = 0,
                    std::size_t blockSize = 0);

}  // namespace morsela
