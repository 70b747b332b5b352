#include "restore/piece_set.h"

#include <algorithm>

#include "format/crc32c.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "text/case_fold.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

// Per piece it keeps two bits beside the manifest's CRC, and a name only
// for a piece whose name differs in case from the one the split wrote.
class ManifestSet : public PieceSet, public EntrySink {
 public:
  // `holder` names the file that holds the manifest; `recoveryOf` tells
  // which description each recovery piece carries (`own` being this one's),
  // nullptr where none but this one is known.
  ManifestSet(Manifest m, std::string holder = {}, const Descriptions* recoveryOf = nullptr, std::size_t own = 0)
      : m_(std::move(m)), holder_(std::move(holder)), recoveryOf_(recoveryOf), own_(own),
        found_(std::size_t(m_.pieceCount)), misSized_(std::size_t(m_.pieceCount)),
        recovery_(std::size_t(m_.recoveryCount)) {}

  void Take(const DirEntry& entry) override {
    if (entry.isDirectory) return;
    if (const std::optional<std::uint64_t> j = RecoveryPieceNumber(entry.name, m_.baseName)) {
      if (*j >= m_.recoveryCount || !recovery_[std::size_t(*j)].empty()) return;
      if (recoveryOf_) {
        const std::optional<std::size_t> carried = recoveryOf_->RecoveryCarries(*j);
        if (carried && *carried != own_) return Mark(*j, PieceState::kOther);
      }
      if (entry.size == RecoveryPieceLength(m_)) recovery_[std::size_t(*j)] = entry.name;
      else Mark(*j, PieceState::kWrongSize);
      return;
    }
    const std::optional<std::uint64_t> number = WrittenPieceNumber(entry.name, m_.baseName);
    if (!number) return;
    if (*number == m_.pieceCount && beyond_ == 0 && entry.size <= m_.pieceSize) beyond_ = entry.size;
    if (*number >= m_.pieceCount) return;
    const std::size_t k = std::size_t(*number);
    if (found_[k]) return;
    found_[k] = true;
    misSized_[k] = entry.size != m_.PieceLength(k);
    if (k + 1 == found_.size()) lastListed_ = entry.size;
    if (entry.name != PieceFileName(m_.baseName, k)) {
      if (odd_.empty()) odd_.resize(found_.size());
      odd_[k] = entry.name;
    }
  }

  std::optional<Refusal> Check() const override {
    NameTally missing;
    for (std::uint64_t k = 0; k < Count(); ++k) {
      if (!found_[std::size_t(k)]) missing.Add(PieceFileName(m_.baseName, k));
    }
    const NameTally misSized = m_.Rows() > 1 ? NameTally() : WrongSized();
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

  // The pieces there of a size the manifest does not give them.
  NameTally WrongSized() const {
    NameTally names;
    for (std::uint64_t k = 0; k < Count(); ++k)
      if (found_[std::size_t(k)] && misSized_[std::size_t(k)]) names.Add(At(k).name);
    return names;
  }

  // True when the folder's pieces go on beyond the set: piece C there, of
  // at most a piece's size, after a piece C - 1 that is missing or whole,
  // as a longer split of the same piece size leaves them.
  bool RunsPast() const { return beyond_ > 0 && (!found_.back() || lastListed_ == m_.pieceSize); }
  bool Fits() const { return WrongSized().empty() && !RunsPast(); }

  // The refusal of a set whose pieces are of another split.
  Refusal OfAnotherSplit() const {
    return {kSplitFileDamaged, "The pieces belong to another split of " + m_.storedName + " than the one " +
                                   holder_ + " describes."};
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
  const std::string& holder() const { return holder_; }
  std::uint64_t RecoveryCount() const override { return m_.recoveryCount; }
  std::optional<std::string> RecoveryPiece(std::uint64_t j) const override {
    if (recovery_[std::size_t(j)].empty()) return std::nullopt;
    return recovery_[std::size_t(j)];
  }
  PieceState RecoveryState(std::uint64_t j) const override {
    if (!recovery_[std::size_t(j)].empty()) return PieceState::kPresent;
    return recoveryMarks_.empty() ? PieceState::kMissing : recoveryMarks_[std::size_t(j)];
  }

 private:
  void Mark(std::uint64_t j, PieceState state) {
    if (recoveryMarks_.empty()) recoveryMarks_.resize(std::size_t(m_.recoveryCount), PieceState::kMissing);
    if (recoveryMarks_[std::size_t(j)] == PieceState::kMissing) recoveryMarks_[std::size_t(j)] = state;
  }

  const Manifest m_;
  const std::string holder_;
  const Descriptions* recoveryOf_;
  const std::size_t own_;
  std::vector<bool> found_, misSized_;
  std::vector<std::string> odd_;
  std::vector<std::string> recovery_;  // as the folder names them; empty: absent, of a wrong size or another split's
  std::vector<PieceState> recoveryMarks_;  // why one is not there; empty while none is marked
  std::uint64_t beyond_ = 0;      // the size of piece C there, of at most a piece's size; 0: none
  std::uint64_t lastListed_ = 0;  // the size of piece C - 1 there
};

// Hands each entry of one search to every set.
class EverySet : public EntrySink {
 public:
  explicit EverySet(std::vector<std::unique_ptr<ManifestSet>>& sets) : sets_(sets) {}
  void Take(const DirEntry& entry) override {
    for (const std::unique_ptr<ManifestSet>& set : sets_) set->Take(entry);
  }

 private:
  std::vector<std::unique_ptr<ManifestSet>>& sets_;
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

DescribedSet FindDescribedSet(const std::string& folder, const Descriptions& descriptions) {
  DescribedSet described;
  std::vector<std::unique_ptr<ManifestSet>> sets;
  for (std::size_t d = 0; d < descriptions.found.size(); ++d) {
    const Description& description = descriptions.found[d];
    sets.push_back(std::make_unique<ManifestSet>(description.manifest, description.holder, &descriptions, d));
  }
  if (sets.empty()) return described;
  const std::string pattern = sets.front()->Description()->baseName + kPieceMarker + "*";
  EverySet every(sets);
  if (!System().Scan(folder + pattern, every)) {
    described.refusal = Refusal{kCannotReadFile, pattern};
    return described;
  }
  if (sets.size() == 1) {
    if (sets.front()->RunsPast()) described.refusal = sets.front()->OfAnotherSplit();
    else described.set = std::move(sets.front());
    return described;
  }
  for (std::unique_ptr<ManifestSet>& set : sets) {
    if (!set->Fits()) continue;
    (described.set ? described.alike.emplace_back() : described.set) = std::move(set);
  }
  if (described.set) return described;
  // None fits: the first whose count the pieces keep to names those of a
  // wrong size.
  for (const std::unique_ptr<ManifestSet>& set : sets) {
    if (!set->RunsPast()) {
      described.refusal = Refusal{kSplitFileDamaged, set->WrongSized().Text()};
      return described;
    }
  }
  described.refusal = sets.front()->OfAnotherSplit();
  return described;
}

std::optional<Refusal> ChooseByContent(const std::string& folder, DescribedSet& described, Progress* progress,
                                       bool& stopped) {
  std::vector<std::unique_ptr<PieceSet>> sets;
  sets.push_back(std::move(described.set));
  for (std::unique_ptr<PieceSet>& set : described.alike) sets.push_back(std::move(set));
  described.alike.clear();
  // Each piece is read once: of the set that counts most pieces, those
  // there whole. The sets agree on their sizes, since each fits them.
  const PieceSet& widest = **std::max_element(
      sets.begin(), sets.end(), [](const auto& a, const auto& b) { return a->Count() < b->Count(); });
  ProgressReport report{0, 0, 0, widest.Count()};
  for (std::uint64_t k = 0; k < widest.Count(); ++k)
    if (widest.State(k) == PieceState::kPresent) report.total += widest.At(k).size;
  std::vector<std::optional<std::uint32_t>> crcs(std::size_t(widest.Count()));
  std::vector<char> block(1 << 20);
  for (std::uint64_t k = 0; k < widest.Count(); ++k) {
    if (widest.State(k) != PieceState::kPresent) continue;
    const std::string name = widest.At(k).name;
    std::unique_ptr<InputFile> in = System().OpenRead(folder + name);
    if (!in) return Refusal{kCannotReadFile, name};
    Crc32cState crc;
    for (;;) {
      const std::size_t got = in->Read(block.data(), block.size());
      if (in->Failed()) return Refusal{kCannotReadFile, name};
      if (got == 0) break;
      crc.Update(block.data(), got);
      report.done += got;
      report.piece = k;
      if (progress && !progress->Advance(report)) {
        stopped = true;
        return std::nullopt;
      }
    }
    crcs[std::size_t(k)] = crc.value();
  }
  const auto mismatched = [&](const PieceSet& set) {
    NameTally names;
    for (std::uint64_t k = 0; k < set.Count(); ++k)
      if (crcs[std::size_t(k)] && *crcs[std::size_t(k)] != set.At(k).crc) names.Add(set.At(k).name);
    return names;
  };
  std::vector<std::unique_ptr<PieceSet>> matching;
  for (std::unique_ptr<PieceSet>& set : sets)
    if (mismatched(*set).empty()) matching.push_back(std::move(set));
  if (matching.empty()) return Refusal{kSplitFileDamaged, mismatched(*sets.front()).Text()};
  std::vector<std::string> holders;
  bool oneFile = true;
  for (const std::unique_ptr<PieceSet>& set : matching) {
    oneFile = oneFile && SameFile(*set->Description(), *matching.front()->Description());
    holders.push_back(static_cast<const ManifestSet&>(*set).holder());
  }
  if (!oneFile)
    return Refusal{kSplitFileDamaged, "The pieces fit descriptions of different splits of " +
                                          matching.front()->Description()->storedName + ": " +
                                          NameList(holders, holders.size()) + "."};
  described.set = std::move(matching.front());
  return std::nullopt;
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

std::string RowsNotMended(std::uint64_t rows, std::uint64_t count) {
  return CountOf(rows, "row", "rows") + " could not be mended: " +
         CountOf(count, "more recovery piece", "more recovery pieces") + " would have been needed";
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
