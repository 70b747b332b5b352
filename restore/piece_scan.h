// Which entries of the restore program's directory are its pieces, and in
// what order they join.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

namespace morsela {

// The number of a piece named `baseName` + "#." + decimal digits (leading
// zeros allowed), compared without regard to case; nothing for any other
// name. Numbers too large for 64 bits saturate, so they never fit a sequence.
std::optional<std::uint64_t> PieceNumber(const std::string& name, const std::string& baseName);

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
