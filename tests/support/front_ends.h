// The two front ends of a restore, for the restore's case tables: the
// restore program, and Morsela's window in restore mode (on the headless
// back end, so in the native build only). One table, two drivers.
#pragma once

#include <string>
#include <vector>

namespace morsela::test {

enum class FrontEnd { kRestoreProgram, kWindow };

// The front ends this build can drive.
std::vector<FrontEnd> FrontEnds();
const char* NameOf(FrontEnd frontEnd);

// What RestoreThrough gives when the window has no file to open the set by
// (no manifest in the program, and no piece of its base name).
constexpr int kNoWayIn = -1;
// And when the file given did not put the window into restore mode.
constexpr int kNotRestoreMode = -2;

// Restores the set of the restore program `program` through `frontEnd`: the
// program started at its own path, or the window given `wayIn` when not
// empty, else the program (when it carries a manifest) or the first of its
// pieces, and then its Restore File command. The restore program's exit
// code; the window's status line gives it.
int RestoreThrough(FrontEnd frontEnd, const std::string& program, const std::string& wayIn = std::string());

// Registers the main dialog's controls with the headless back end.
void RegisterSplitterTemplate();

}  // namespace morsela::test
