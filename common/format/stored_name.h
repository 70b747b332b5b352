// The check of a name a set gives the restore: the file name stored in a
// head piece, before anything is written under it, and the base name of
// the pieces that a manifest gives.
#pragma once

#include <string>
#include <vector>

namespace morsela {

// True when `name` is a plain file name that may be created in the program's
// own directory: 1 to 255 UTF-16 units (`name` is UTF-8), none of \ / : * ? " < > | and no
// control character, not "." or "..", not ending in a dot or a space, no
// reserved device name as its stem, and none of the `taken` names (the
// pieces and the program itself), compared without regard to case.
bool IsAcceptableStoredName(const std::string& name, const std::vector<std::string>& taken);

// True when `base` can be the base name of pieces that lie beside the
// restore program: empty (a source named without a dot), or a name without
// a dot whose pieces' names pass the check above.
bool IsAcceptableBaseName(const std::string& base);

}  // namespace morsela
