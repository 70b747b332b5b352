// A stand-in for the restore program, for a command line built for its
// tests: enough for the split to write a set.
#include "restore_image.h"

namespace morsela {

std::string_view RestoreImageCarried() { return "MZ restore program stand-in\r\n"; }

}  // namespace morsela
