// Whether a file chosen in the window is one to split or the way into a set
// to restore: a piece B#.k whose set is there (its head piece B#.0, or its
// restore program B.exe), or a restore program that carries a manifest,
// whatever its name. Any other file, a name of a piece's form included, is
// one to split.
#pragma once

#include <optional>
#include <string>

#include "restore/restore.h"

namespace morsela {

// The set `path` leads to; nothing for a file to split.
std::optional<SetSource> SetOfChosenFile(const std::string& path);

}  // namespace morsela
