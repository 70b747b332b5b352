#include "piece_scan.h"

#include <algorithm>
#include <limits>

#include "pieces.h"
#include "text.h"

namespace morsela {

std::optional<std::uint64_t> PieceNumber(const std::string& name, const std::string& baseName) {
  const std::string prefix = baseName + kPieceMarker;
  if (name.size() <= prefix.size() || !EqualsNoCase(name.substr(0, prefix.size()), prefix)) {
    return std::nullopt;
  }
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = std::uint64_t(c - '0');
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

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
