// The restore program's work: find the pieces beside the program through its
// own name, check them and rebuild the split file in the program's directory.
#pragma once

#include <string>

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

// Runs one restore through the platform in force and returns the exit code:
// 0 after the file was rebuilt, 1 after a message. Nothing is written unless
// the pieces form a complete set with a valid stored name; the output goes to
// a temporary file first and replaces a file of the stored name only once
// every byte was written and the file closed.
int RestoreSplitFile(const RestoreStart& start);

}  // namespace morsela
