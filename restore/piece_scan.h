// Which entries of the restore program's directory are its pieces, and in
// what order they join.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/pieces.h"
#include "platform/platform.h"

namespace morsela {

struct Piece {
  std::string name;   // as the directory stores it
  std::uint64_t number = 0;
  std::uint64_t size = 0;
};

// The regular files among `entries` that are pieces of `baseName`, sorted
// stably by number (entries with one number keep the order found).
std::vector<Piece> CollectPieces(const std::vector<DirEntry>& entries, const std::string& baseName);

// True when the pieces are numbered 0, 1, 2, ... without gap or repeat.
bool IsUnbrokenSequence(const std::vector<Piece>& pieces);

// True when every piece but the last holds as many bytes as the head piece
// and the last no more than that: the shape a split leaves.
bool HasSplitShape(const std::vector<Piece>& pieces);

}  // namespace morsela
