// The restore program's work: find the pieces beside the program through its
// own name, check them and rebuild the split file in the program's directory.
#pragma once

#include <string>

#include "pipeline/progress.h"

namespace morsela {

extern const char kNoSplitFileFound[];
extern const char kFileNotFound[];
extern const char kInvalidFileName[];
extern const char kSplitFileDamaged[];

// How the program was started, as the system tells it.
struct RestoreStart {
  std::string invocation;          // the first element of the argument vector
  std::string absoluteInvocation;  // the same, made absolute against the current directory
  std::string modulePath;          // full path of the running module; may be empty
};

// The restore program's exit codes.
constexpr int kExitRestored = 0;
constexpr int kExitRefused = 1;  // after a message
constexpr int kExitStopped = 2;  // stopped by the user, nothing written

// Runs one restore through the platform in force and returns the exit code.
// When the program's own file ends in a manifest, the set is the one it
// describes: exactly its pieces, of exactly their sizes and CRCs, under its
// base name whatever the program is called now. Without one, the set is
// whatever pieces its name finds. Nothing is written unless the pieces form
// a complete set with a valid stored name; the output goes to a new
// temporary file first and replaces a file of the stored name only once
// every byte was written, checked and put on the disk. Messages name the
// pieces concerned on a second line. `progress`, when given, hears of
// every block and may stop the restore.
int RestoreSplitFile(const RestoreStart& start, Progress* progress = nullptr);

}  // namespace morsela
