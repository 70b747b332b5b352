#include "piece_scan.h"

#include <algorithm>

#include "format/pieces.h"
#include "text/text.h"

namespace morsela {

std::vector<Piece> CollectPieces(const std::vector<DirEntry>& entries, const std::string& baseName) {
  std::vector<Piece> pieces;
  for (const DirEntry& entry : entries) {
    if (entry.isDirectory) continue;
    if (auto number = PieceNumber(entry.name, baseName)) {
      pieces.push_back({entry.name, *number, entry.size});
    }
  }
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const Piece& a, const Piece& b) { return a.number < b.number; });
  return pieces;
}

bool IsUnbrokenSequence(const std::vector<Piece>& pieces) {
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    if (pieces[p].number != p) return false;
  }
  return true;
}

bool HasSplitShape(const std::vector<Piece>& pieces) {
  if (pieces.empty()) return false;
  const std::uint64_t full = pieces.front().size;
  for (std::size_t p = 1; p < pieces.size(); ++p) {
    const bool last = p + 1 == pieces.size();
    if (last ? pieces[p].size > full : pieces[p].size != full) return false;
  }
  return true;
}

}  // namespace morsela
