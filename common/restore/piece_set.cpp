#include "restore/piece_set.h"

#include <algorithm>

#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "restore/restore.h"
#include "text/case_fold.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

// Per piece it keeps two bits beside the manifest's CRC, and a name only
// for a piece whose name differs in case from the one the split wrote.
class ManifestSet : public PieceSet, public EntrySink {
 public:
  explicit ManifestSet(Manifest m)
      : m_(std::move(m)), found_(std::size_t(m_.pieceCount)), misSized_(std::size_t(m_.pieceCount)),
        recovery_(std::size_t(m_.recoveryCount)) {}

  void Take(const DirEntry& entry) override {
    if (entry.isDirectory) return;
    if (const std::optional<std::uint64_t> j = RecoveryPieceNumber(entry.name, m_.baseName)) {
      if (*j >= m_.recoveryCount || !recovery_[std::size_t(*j)].empty()) return;
      if (entry.size == RecoveryPieceLength(m_)) {
        recovery_[std::size_t(*j)] = entry.name;
      } else {
        recoveryMisSized_.resize(std::size_t(m_.recoveryCount));
        recoveryMisSized_[std::size_t(*j)] = true;
      }
      return;
    }
    const std::optional<std::uint64_t> number = WrittenPieceNumber(entry.name, m_.baseName);
    if (!number || *number >= m_.pieceCount) return;
    const std::size_t k = std::size_t(*number);
    if (found_[k]) return;
    found_[k] = true;
    misSized_[k] = entry.size != m_.PieceLength(k);
    if (entry.name != PieceFileName(m_.baseName, k)) {
      if (odd_.empty()) odd_.resize(found_.size());
      odd_[k] = entry.name;
    }
  }

  std::optional<Refusal> Check() const override {
    NameTally missing, misSized;
    for (std::uint64_t k = 0; k < Count(); ++k) {
      if (!found_[std::size_t(k)]) missing.Add(PieceFileName(m_.baseName, k));
      else if (misSized_[std::size_t(k)]) misSized.Add(At(k).name);
    }
    const std::uint64_t lost = missing.count() + misSized.count();
    const std::uint64_t spare = std::uint64_t(
        std::count_if(recovery_.begin(), recovery_.end(), [](const std::string& name) { return !name.empty(); }));
    if (lost <= spare) return std::nullopt;
    const std::string more = m_.recoveryCount ? "\n" + MoreNeeded(lost - spare) : std::string();
    if (!missing.empty()) {
      const bool none = std::find(found_.begin(), found_.end(), true) == found_.end() && spare == 0;
      return Refusal{none ? kNoSplitFileFound : kFileNotFound, missing.Text() + more};
    }
    return Refusal{kSplitFileDamaged, misSized.Text() + more};
  }

  std::uint64_t Count() const override { return m_.pieceCount; }
  JoinPiece At(std::uint64_t k) const override {
    const bool odd = !odd_.empty() && !odd_[std::size_t(k)].empty();
    return {odd ? odd_[std::size_t(k)] : PieceFileName(m_.baseName, k), m_.PieceLength(k),
            m_.pieceCrcs[std::size_t(k)]};
  }
  PieceState State(std::uint64_t k) const override {
    return !found_[std::size_t(k)] ? PieceState::kMissing
           : misSized_[std::size_t(k)] ? PieceState::kWrongSize
                                       : PieceState::kPresent;
  }
  bool Holds(const std::string& name) const override {
    if (const std::optional<std::uint64_t> j = RecoveryPieceNumber(name, m_.baseName)) return *j < m_.recoveryCount;
    const std::optional<std::uint64_t> number = PieceNumber(name, m_.baseName);
    return number && *number < Count() && EqualsNoCase(name, At(*number).name);
  }
  const Manifest* Description() const override { return &m_; }
  std::uint64_t RecoveryCount() const override { return m_.recoveryCount; }
  std::optional<std::string> RecoveryPiece(std::uint64_t j) const override {
    if (recovery_[std::size_t(j)].empty()) return std::nullopt;
    return recovery_[std::size_t(j)];
  }
  PieceState RecoveryState(std::uint64_t j) const override {
    return !recovery_[std::size_t(j)].empty()                                         ? PieceState::kPresent
           : !recoveryMisSized_.empty() && recoveryMisSized_[std::size_t(j)] ? PieceState::kWrongSize
                                                                                      : PieceState::kMissing;
  }

 private:
  const Manifest m_;
  std::vector<bool> found_, misSized_;
  std::vector<std::string> odd_;
  std::vector<std::string> recovery_;  // as the folder names them; empty: absent or of a wrong size
  std::vector<bool> recoveryMisSized_;  // empty while none is
};

class NamedSet : public PieceSet {
 public:
  explicit NamedSet(std::vector<Piece> pieces) : pieces_(std::move(pieces)) {}
  std::uint64_t Count() const override { return pieces_.size(); }
  JoinPiece At(std::uint64_t k) const override {
    return {pieces_[std::size_t(k)].name, pieces_[std::size_t(k)].size, std::nullopt};
  }
  PieceState State(std::uint64_t) const override { return PieceState::kPresent; }
  bool Holds(const std::string& name) const override {
    return std::any_of(pieces_.begin(), pieces_.end(),
                       [&](const Piece& piece) { return EqualsNoCase(name, piece.name); });
  }
  std::optional<Refusal> Check() const override {
    if (pieces_.empty()) return Refusal{kNoSplitFileFound, {}};
    if (!IsUnbrokenSequence(pieces_)) return Refusal{kFileNotFound, {}};
    if (!HasSplitShape(pieces_)) return Refusal{kSplitFileDamaged, {}};
    return std::nullopt;
  }

 private:
  std::vector<Piece> pieces_;
};

}  // namespace

std::unique_ptr<PieceSet> FindManifestSet(const std::string& folder, Manifest manifest, Refusal& failed) {
  const std::string pattern = manifest.baseName + kPieceMarker + "*";
  auto set = std::make_unique<ManifestSet>(std::move(manifest));
  if (System().Scan(folder + pattern, *set)) return set;
  failed = {kCannotReadFile, pattern};
  return nullptr;
}

std::unique_ptr<PieceSet> FindNamedSet(const std::string& folder, const std::string& baseName, Refusal& failed) {
  const std::string pattern = baseName + kPieceMarker + "*";
  std::vector<DirEntry> entries;
  if (System().List(folder + pattern, entries)) return std::make_unique<NamedSet>(CollectPieces(entries, baseName));
  failed = {kCannotReadFile, pattern};
  return nullptr;
}

std::string MoreNeeded(std::uint64_t count) {
  return CountOf(count, "more piece or recovery piece", "more pieces or recovery pieces") + " would be needed";
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
