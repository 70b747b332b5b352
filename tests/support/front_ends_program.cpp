// The front ends of a build without the headless back end: the restore
// program alone.
#include "front_ends.h"
#include "restore_program.h"

namespace morsela::test {

std::vector<FrontEnd> FrontEnds() { return {FrontEnd::kRestoreProgram}; }

const char* NameOf(FrontEnd) { return "the restore program"; }

int RestoreThrough(FrontEnd, const std::string& program, const std::string&) { return RestoreSplitFile({program, program, program}); }

void RegisterSplitterTemplate() {}

}  // namespace morsela::test
