// What lies where a split is about to write: the pieces and recovery pieces
// it will write, the higher ones of an earlier split that it will remove as
// stale, and the restore program. Looked at before the first byte is written, so that a
// split replaces without a question only what it can tell is its own
// earlier work from the same source.
#pragma once

#include <cstdint>
#include <string>

namespace morsela {

struct FilesInTheWay {
  // The first of those names that is a folder, or a file that must not be
  // replaced (read-only, hidden, system), with its directory; empty when
  // there is none.
  std::string blocked;
  // The folder, when it could not be searched through: the split cannot
  // tell what it would replace, and writes nothing.
  std::string unreadable;
  // The question to ask before anything there is replaced, naming the
  // files and whose they are where that is known; empty when nothing is
  // there but the earlier set of this same source.
  std::string question;
};

// `path` is the source as the set is named from it (the pieces lie beside
// it), `count` the number of pieces the split writes and `recovery` the
// number of its recovery pieces.
FilesInTheWay LookInTheWay(const std::string& path, std::uint64_t count, std::uint64_t recovery);

}  // namespace morsela
