#include "restore/rebuild.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "format/crc32c.h"
#include "format/erasure_code.h"
#include "format/recovery_piece.h"

namespace morsela {

namespace {

constexpr std::size_t kReadBlock = 1 << 20;

bool ReadAt(InputFile& file, std::uint64_t offset, char* bytes, std::size_t size) {
  return file.Seek(offset) && file.Read(bytes, size) == size;
}

enum class RecoveryCheck { kWhole, kDamaged, kStopped };

// Reads the recovery data of recovery piece `j` of `set` through and holds
// it to its CRC; an unreadable one counts as damaged. `advance(bytes)`
// hears of the reading and may stop it.
template <class Advance>
RecoveryCheck CheckRecoveryData(const std::string& folder, const PieceSet& set, std::uint64_t j, Advance advance) {
  const Manifest& m = *set.Description();
  std::unique_ptr<InputFile> in = System().OpenRead(folder + *set.RecoveryPiece(j));
  if (!in || !in->Seek(RecoveryDataOffset(m))) return RecoveryCheck::kDamaged;
  std::vector<char> block(std::size_t(std::min<std::uint64_t>(kReadBlock, m.RecoveryDataSize())));
  Crc32cState crc;
  for (std::uint64_t at = 0; at < m.RecoveryDataSize(); at += block.size()) {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(block.size(), m.RecoveryDataSize() - at));
    if (in->Read(block.data(), n) != n) return RecoveryCheck::kDamaged;
    crc.Update(block.data(), n);
    if (!advance(n)) return RecoveryCheck::kStopped;
  }
  return crc.value() == m.recoveryCrcs[std::size_t(j)] ? RecoveryCheck::kWhole : RecoveryCheck::kDamaged;
}

// One attempt with a chosen list of recovery pieces.
class Attempt {
 public:
  Attempt(const std::string& folder, const PieceSet& set, const std::vector<std::uint64_t>& lost,
          const std::vector<std::uint32_t>& used, std::uint64_t headerSize, OutputFile& out, Progress* progress,
          ProgressReport& report)
      : folder_(folder), set_(set), m_(*set.Description()), lost_(lost), used_(used), headerSize_(headerSize),
        out_(out), progress_(progress), report_(report), e_(used.size()) {
    const std::uint64_t dataSize = m_.RecoveryDataSize();
    window_ = std::min(dataSize, std::max<std::uint64_t>(2, kRebuildMemory / (2 * e_) & ~std::uint64_t(1)));
    sums_.resize(std::size_t(e_ * window_));
    pieces_.resize(std::size_t(e_ * window_));
    block_.resize(std::size_t(std::min<std::uint64_t>(window_, kReadBlock)));
    recoveryCrcs_.resize(std::size_t(e_));
    pieceCrcs_.resize(std::size_t(e_));
    coefficients_.resize(e_);
    outputs_.resize(e_);
    for (std::uint32_t j : used_) recovery_.push_back(System().OpenRead(folder_ + *set_.RecoveryPiece(j)));
  }

  // kDone when every window was worked through; the CRCs then tell.
  // `unreadable` hears of a surviving piece that could not be read.
  JoinResult::Outcome Run(NameTally& unreadable) {
    // The matrix's set-up grows with the cube of the lost pieces: it hears
    // of stopping after each of its rows and columns.
    const std::vector<std::uint16_t> inverse =
        DecodeMatrix(std::vector<std::uint32_t>(lost_.begin(), lost_.end()), used_, GoOn{&SetUpStep, this});
    if (inverse.empty()) return JoinResult::Outcome::kStopped;
    const std::uint64_t dataSize = m_.RecoveryDataSize(), dataOffset = RecoveryDataOffset(m_);
    for (std::uint64_t from = 0; from < dataSize; from += window_) {
      const std::size_t size = std::size_t(std::min(window_, dataSize - from));
      // The recovery data, less what the surviving pieces give.
      for (std::size_t k = 0; k < e_; ++k) {
        char* sum = sums_.data() + k * window_;
        // An unreadable recovery piece counts as a damaged one.
        if (!recovery_[k] || !ReadAt(*recovery_[k], dataOffset + from, sum, size)) {
          recoveryBad_.push_back(used_[k]);
          return JoinResult::Outcome::kDone;
        }
        recoveryCrcs_[k].Update(sum, size);
        if (!Advance(size)) return JoinResult::Outcome::kStopped;
      }
      std::size_t next = 0;  // the next lost piece in `lost_`, which is in order
      for (std::uint64_t i = 0; i < m_.pieceCount; ++i) {
        if (next < lost_.size() && lost_[next] == i) {
          ++next;
          continue;
        }
        const std::uint64_t length = m_.PieceLength(i);
        if (from >= length) continue;
        const std::string name = set_.At(i).name;
        std::unique_ptr<InputFile> in = System().OpenRead(folder_ + name);
        for (std::size_t k = 0; k < e_; ++k) coefficients_[k] = RecoveryCoefficient(used_[k], std::uint32_t(i));
        for (std::uint64_t at = from; at < std::min<std::uint64_t>(from + size, length); at += block_.size()) {
          const std::size_t n = std::size_t(std::min<std::uint64_t>(block_.size(), std::min(from + size, length) - at));
          if (!in || !ReadAt(*in, at, block_.data(), n)) {
            unreadable.Add(name);
            return JoinResult::Outcome::kReadFailed;
          }
          // Each block into every sum in one pass.
          for (std::size_t k = 0; k < e_; ++k) outputs_[k] = sums_.data() + k * window_ + (at - from);
          MultiplyAddMany(coefficients_.data(), e_, block_.data(), outputs_.data(), n);
          if (!Advance(n)) return JoinResult::Outcome::kStopped;
        }
      }
      // The lost pieces' bytes in this window, checked and written at their places.
      std::fill(pieces_.begin(), pieces_.end(), '\0');
      // Each sum into every lost piece in one pass.
      for (std::size_t m = 0; m < e_; ++m) outputs_[m] = pieces_.data() + m * window_;
      for (std::size_t k = 0; k < e_; ++k) {
        for (std::size_t m = 0; m < e_; ++m) coefficients_[m] = inverse[m * e_ + k];
        MultiplyAddMany(coefficients_.data(), e_, sums_.data() + k * window_, outputs_.data(), size);
        if (!Advance(e_ * size)) return JoinResult::Outcome::kStopped;
      }
      for (std::size_t m = 0; m < e_; ++m) {
        char* piece = pieces_.data() + m * window_;
        const std::uint64_t length = m_.PieceLength(lost_[m]);
        if (from >= length) continue;
        const std::size_t n = std::size_t(std::min<std::uint64_t>(size, length - from));
        pieceCrcs_[m].Update(piece, n);
        const std::uint64_t at = lost_[m] * m_.pieceSize + from;  // in the sequence the pieces cut
        if (at + n <= headerSize_) continue;
        const std::uint64_t skip = at < headerSize_ ? headerSize_ - at : 0;
        if (!out_.Seek(at + skip - headerSize_) || !out_.Write(piece + skip, std::size_t(n - skip)))
          return JoinResult::Outcome::kWriteFailed;
      }
    }
    for (std::size_t k = 0; k < e_; ++k) {
      if (recoveryCrcs_[k].value() != m_.recoveryCrcs[used_[k]]) recoveryBad_.push_back(used_[k]);
    }
    return JoinResult::Outcome::kDone;
  }

  // After a run: the recovery pieces found damaged, and whether each lost
  // piece came back with its CRC.
  const std::vector<std::uint32_t>& recoveryBad() const { return recoveryBad_; }
  bool Whole(std::size_t m) const { return pieceCrcs_[m].value() == m_.pieceCrcs[std::size_t(lost_[m])]; }

  // The work of a run beyond its reads, in the progress's units: the
  // matrix's set-up (SetUpWork per row and per column) and the solving of
  // every window (e x e multiply-adds of each word).
  static std::uint64_t SetUpWork(std::uint64_t e) { return 2 * e * e; }
  static std::uint64_t Work(std::uint64_t e, std::uint64_t dataSize) { return 2 * e * SetUpWork(e) + e * e * dataSize; }

 private:
  static bool SetUpStep(void* self) {
    Attempt& attempt = *static_cast<Attempt*>(self);
    return attempt.Advance(SetUpWork(attempt.e_));
  }

  bool Advance(std::uint64_t bytes) {
    report_.done += bytes;
    report_.total = std::max(report_.total, report_.done);
    return !progress_ || progress_->Advance(report_);
  }

  const std::string& folder_;
  const PieceSet& set_;
  const Manifest& m_;
  const std::vector<std::uint64_t>& lost_;
  const std::vector<std::uint32_t>& used_;
  const std::uint64_t headerSize_;
  OutputFile& out_;
  Progress* progress_;
  ProgressReport& report_;
  const std::size_t e_;
  std::uint64_t window_ = 0;
  std::vector<char> sums_, pieces_, block_;  // e windows each, and a block of reading
  std::vector<std::uint16_t> coefficients_;  // of one input in each of e outputs
  std::vector<void*> outputs_;
  std::vector<std::unique_ptr<InputFile>> recovery_;
  std::vector<Crc32cState> recoveryCrcs_, pieceCrcs_;
  std::vector<std::uint32_t> recoveryBad_;
};

}  // namespace

void RebuildPieces(const std::string& folder, const PieceSet& set, std::uint64_t headerSize, OutputFile& out,
                   Progress* progress, std::uint64_t total, JoinResult& joined) {
  const Manifest& m = *set.Description();
  const std::vector<std::uint64_t>& lost = joined.lost;
  // The recovery pieces there, in order; those found damaged drop out.
  std::vector<std::uint32_t> spare;
  for (std::uint64_t j = 0; j < set.RecoveryCount(); ++j) {
    if (set.RecoveryPiece(j)) spare.push_back(std::uint32_t(j));
  }
  std::vector<std::string> damagedRecovery;
  // Every lost piece, or those that did not check, then the damaged
  // recovery pieces.
  const auto damaged = [&](NameTally names) {
    for (const std::string& name : damagedRecovery) names.Add(name);
    joined.damaged = names;
    joined.outcome = JoinResult::Outcome::kDamaged;
  };
  // The rebuild reads the surviving pieces and e recovery pieces once, and
  // works on what it read.
  const std::uint64_t e = lost.size(), dataSize = m.RecoveryDataSize();
  std::uint64_t reads = e * dataSize + Attempt::Work(e, dataSize);
  for (std::uint64_t k = 0; k < m.pieceCount; ++k) reads += m.PieceLength(k);
  for (std::uint64_t k : lost) reads -= m.PieceLength(k);
  ProgressReport report{joined.written, total + reads, lost.front(), m.pieceCount};
  const auto advance = [&](std::uint64_t bytes) {
    report.done += bytes;
    report.total = std::max(report.total, report.done);
    return !progress || progress->Advance(report);
  };
  // After an attempt that met a damaged recovery piece, the ones it would
  // use next are checked on their own first, so that a set with many
  // damaged recovery pieces costs one more attempt, not one for each.
  bool checkFirst = false;
  std::size_t checked = 0;  // spare[0 .. checked) passed their own check
  for (;;) {
    while (checkFirst && checked < std::min(spare.size(), lost.size())) {
      const std::uint32_t j = spare[checked];
      switch (CheckRecoveryData(folder, set, j, advance)) {
        case RecoveryCheck::kWhole: ++checked; break;
        case RecoveryCheck::kStopped: joined.outcome = JoinResult::Outcome::kStopped; return;
        case RecoveryCheck::kDamaged:
          damagedRecovery.push_back(*set.RecoveryPiece(j));
          spare.erase(spare.begin() + std::ptrdiff_t(checked));
      }
    }
    if (spare.size() < lost.size()) {
      NameTally names;
      for (std::uint64_t k : lost) names.Add(set.At(k).name);
      joined.needed = lost.size() - spare.size();
      return damaged(names);
    }
    const std::vector<std::uint32_t> used(spare.begin(), spare.begin() + std::ptrdiff_t(lost.size()));
    Attempt attempt(folder, set, lost, used, headerSize, out, progress, report);
    joined.outcome = attempt.Run(joined.unreadable);
    if (joined.outcome != JoinResult::Outcome::kDone) return;
    if (attempt.recoveryBad().empty()) {
      NameTally notWhole;
      for (std::size_t k = 0; k < lost.size(); ++k) {
        if (!attempt.Whole(k)) notWhole.Add(set.At(lost[k]).name);
      }
      if (!notWhole.empty()) damaged(notWhole);
      return;
    }
    for (std::uint32_t j : attempt.recoveryBad()) {
      damagedRecovery.push_back(*set.RecoveryPiece(j));
      spare.erase(std::find(spare.begin(), spare.end(), j));
    }
    checkFirst = true;
    checked = 0;
    report.total += reads;  // read again with other recovery pieces
  }
}

}  // namespace morsela
