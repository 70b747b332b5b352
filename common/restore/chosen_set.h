// Whether a file chosen in a front end (dropped onto the window, named on
// the command line) is the way into a set to restore: a piece or recovery
// piece B#.k whose set is there (its head piece, its restore program
// B.exe or B.unsplit.exe, or a recovery piece with the set's description),
// or a restore program that carries a manifest, whatever its name. Any
// other file, a name of a piece's form included, is one to split.
#pragma once

#include <optional>
#include <string>

#include "restore/restore.h"

namespace morsela {

// The set `path` leads to; nothing for a file to split.
std::optional<SetSource> SetOfChosenFile(const std::string& path);

}  // namespace morsela
