// The restore program's own part of a restore: it finds itself, and so its
// set, through the name it was started under, and hands that to the
// restore that Morsela.exe runs too.
#pragma once

#include <string>

#include "pipeline/progress.h"
#include "restore/restore.h"

namespace morsela {

// How the program was started, as the system tells it.
struct RestoreStart {
  std::string invocation;          // the first element of the argument vector
  std::string absoluteInvocation;  // the same, made absolute against the current directory
  std::string modulePath;          // full path of the running module; may be empty
};

// Runs one restore through the platform in force and returns the exit code.
// When the program's own file ends in a manifest, the set is the one it
// describes: exactly its pieces, of exactly their sizes and CRCs, under its
// base name whatever the program is called now. Without one, the set is
// whatever pieces its name finds. `progress`, when given, hears of every
// block and may stop the restore. `rebuilt`, when given, hears how many
// pieces were rebuilt from recovery data.
int RestoreSplitFile(const RestoreStart& start, Progress* progress = nullptr, std::uint64_t* rebuilt = nullptr);

}  // namespace morsela
