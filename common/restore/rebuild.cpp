#include "restore/rebuild.h"

#include <algorithm>
#include <memory>

#include "format/crc32c.h"
#include "format/erasure_code.h"
#include "format/recovery_piece.h"

namespace morsela {

namespace {

constexpr std::size_t kReadBlock = 1 << 20;

bool ReadAt(InputFile& file, std::uint64_t offset, char* bytes, std::size_t size) {
  return file.Seek(offset) && file.Read(bytes, size) == size;
}

// The rebuild of a set row by row: each row of stripes is its own problem,
// solved for the pieces that lost their stripe in it from as many recovery
// pieces whose stripe there is sound. It works through windows of whole
// rows (or of a part of one row where a row does not fit), and reads only
// the rows that lost something.
class RowRebuild {
 public:
  RowRebuild(const std::string& folder, const PieceSet& set, const JoinResult& joined, std::uint64_t headerSize,
             OutputFile& out, Progress* progress, ProgressReport& report)
      : folder_(folder), set_(set), m_(*set.Description()), lost_(joined.lost), lostRows_(joined.lostRows),
        headerSize_(headerSize), out_(out), progress_(progress), report_(report), stripe_(m_.StripeSize()),
        rows_(m_.Rows()), pieceCrcs_(lost_.size()), folded_(lost_.size()), partial_(lost_.size()),
        bad_(std::size_t(m_.recoveryCount * rows_)) {
    for (std::uint64_t j = 0; j < set.RecoveryCount(); ++j) {
      if (set.RecoveryPiece(j)) spare_.push_back(std::uint32_t(j));
    }
    recovery_.resize(std::size_t(m_.recoveryCount));
    for (std::uint32_t j : spare_) recovery_[j] = System().OpenRead(folder_ + *set_.RecoveryPiece(j));
  }

  // The lost pieces (indices into `lost_`) that row `w` must mend.
  std::vector<std::uint32_t> LostIn(std::uint64_t w) const {
    std::vector<std::uint32_t> in;
    for (std::size_t m = 0; m < lost_.size(); ++m)
      if (lostRows_[std::size_t(m * rows_ + w)]) in.push_back(std::uint32_t(m));
    return in;
  }

  // Rows that more pieces lost than there are recovery pieces: counted,
  // and how many more the worst needed, before anything is read.
  std::uint64_t RowsBeyondReach(std::uint64_t& needed) const {
    std::uint64_t rows = 0;
    for (std::uint64_t w = 0; w < rows_; ++w) {
      const std::uint64_t e = LostIn(w).size();
      if (e > spare_.size()) {
        ++rows;
        needed = std::max(needed, e - spare_.size());
      }
    }
    return rows;
  }

  // kDone when every window was worked through; `Mended` and the rows not
  // mended then tell.
  JoinResult::Outcome Run(NameTally& unreadable) {
    std::size_t most = 1;
    for (std::uint64_t w = 0; w < rows_; ++w) most = std::max(most, LostIn(w).size());
    // The sums and the solved stripes of `most` pieces each.
    const std::uint64_t room = std::max<std::uint64_t>(2, kRebuildMemory / (2 * most) & ~std::uint64_t(1));
    const std::uint64_t dataSize = m_.RecoveryDataSize();
    // Whole rows where they fit; else a part of a row that divides it.
    window_ = std::min(room / stripe_ * stripe_, rows_ * stripe_);
    if (window_ == 0) {
      window_ = rows_ == 1 ? room : 2;
      while (rows_ > 1 && window_ * 2 <= room) window_ *= 2;
    }
    window_ = std::min(window_, dataSize);
    sums_.resize(std::size_t(most * window_));
    pieces_.resize(std::size_t(most * window_));
    block_.resize(std::size_t(std::min<std::uint64_t>(window_, kReadBlock)));
    used_.resize(std::size_t(window_ / std::min(stripe_, window_) + 1));
    for (std::uint64_t from = 0; from < dataSize; from += window_) {
      const JoinResult::Outcome outcome = Window(from, std::min(window_, dataSize - from), unreadable);
      if (outcome != JoinResult::Outcome::kDone) return outcome;
    }
    return JoinResult::Outcome::kDone;
  }

  std::uint64_t rowsNotMended() const { return notMended_; }
  std::uint64_t needed() const { return needed_; }
  // Whether a stripe of recovery piece `j` turned out damaged.
  bool RecoveryBad(std::uint32_t j) const {
    return std::find(bad_.begin() + std::ptrdiff_t(j * rows_), bad_.begin() + std::ptrdiff_t((j + 1) * rows_), 1) !=
           bad_.begin() + std::ptrdiff_t((j + 1) * rows_);
  }
  // Whether lost piece `m` came back with its whole CRC: its sound
  // stripes' CRCs and its mended ones', put together.
  bool Whole(std::size_t m) {
    Fold(m, rows_);
    return pieceCrcs_[m] == m_.pieceCrcs[std::size_t(lost_[m])];
  }

 private:
  // The piece CRC of lost piece `m` carried on to row `upTo`, with the
  // manifest's CRCs of the rows it did not lose.
  void Fold(std::size_t m, std::uint64_t upTo) {
    const std::uint64_t piece = lost_[m];
    for (; folded_[m] < upTo; ++folded_[m]) {
      const std::uint64_t w = folded_[m], length = m_.StripeLength(piece, w);
      if (length > 0 && !lostRows_[std::size_t(m * rows_ + w)])
        pieceCrcs_[m] = Crc32cCombine(pieceCrcs_[m], m_.StripeCrc(piece, w), length);
    }
  }

  // Bytes [from, from + size) of every piece's data: rows from the one
  // `from` lies in.
  JoinResult::Outcome Window(std::uint64_t from, std::uint64_t size, NameTally& unreadable) {
    const std::uint64_t first = from / stripe_, last = (from + size - 1) / stripe_;
    const bool whole = window_ >= stripe_ || window_ == m_.RecoveryDataSize();
    // Per row: its lost pieces and the recovery pieces whose stripe there
    // is read, checked and taken as the start of its sums.
    for (std::uint64_t w = first; w <= last; ++w) {
      Row& row = used_[std::size_t(w - first)];
      row.lost = LostIn(w);
      const std::uint64_t begin = std::max(from, w * stripe_), end = std::min(from + size, (w + 1) * stripe_);
      // The first recovery pieces not known to be damaged there, their
      // matrix set up before their stripes are read (its set-up may be
      // long), then their stripes read and checked: a row that fits in the
      // window as it is read, one that does not once through before its
      // first window. One that fails gives way to the next.
      for (bool sound = false; !sound;) {
        row.recovery.clear();
        for (std::size_t s = 0; s < spare_.size() && row.recovery.size() < row.lost.size(); ++s)
          if (!bad_[std::size_t(spare_[s] * rows_ + w)]) row.recovery.push_back(spare_[s]);
        if (row.recovery.size() < row.lost.size() || row.lost.empty()) break;
        if (!SetUp(row.lost, row.recovery)) return JoinResult::Outcome::kStopped;
        sound = true;
        for (std::size_t k = 0; k < row.recovery.size() && sound; ++k) {
          const std::uint32_t j = row.recovery[k];
          char* sum = Slot(sums_, k, begin - from);
          sound = recovery_[j] && (whole || begin > w * stripe_ || StripeSound(j, w)) &&
                  ReadAt(*recovery_[j], RecoveryDataOffset(m_) + begin, sum, std::size_t(end - begin)) &&
                  (!whole || Crc32c(0, sum, std::size_t(end - begin)) == m_.StripeCrc(m_.pieceCount + j, w));
          if (!Advance(end - begin)) return JoinResult::Outcome::kStopped;
          if (!sound) bad_[std::size_t(j * rows_ + w)] = 1;
        }
      }
      if (row.recovery.size() < row.lost.size()) {
        // Too few sound stripes: the row stays as it is, and is counted.
        if (begin == w * stripe_) {
          ++notMended_;
          needed_ = std::max<std::uint64_t>(needed_, row.lost.size() - row.recovery.size());
        }
        row.lost.clear();
        row.recovery.clear();
      }
    }
    // Every piece's bytes of the rows it did not lose, into the sums of
    // those rows; a run of rows that use the same recovery pieces takes
    // one read and one pass a block.
    for (std::uint64_t i = 0; i < m_.pieceCount; ++i) {
      const std::uint64_t length = m_.PieceLength(i);
      std::unique_ptr<InputFile> in;
      for (std::uint64_t w = first; w <= last;) {
        const Row& row = used_[std::size_t(w - first)];
        std::uint64_t next = w + 1;
        if (row.lost.empty() || Loses(row, i)) {
          w = next;
          continue;
        }
        while (next <= last && used_[std::size_t(next - first)].recovery == row.recovery &&
               !used_[std::size_t(next - first)].lost.empty() && !Loses(used_[std::size_t(next - first)], i))
          ++next;
        const std::uint64_t begin = std::max(from, w * stripe_);
        const std::uint64_t end = std::min({from + size, next * stripe_, length});
        for (std::size_t k = 0; k < row.recovery.size(); ++k)
          coefficients_[k] = RecoveryCoefficient(row.recovery[k], std::uint32_t(i));
        if (begin < end && !in) in = System().OpenRead(folder_ + set_.At(i).name);
        for (std::uint64_t at = begin; at < end; at += block_.size()) {
          const std::size_t n = std::size_t(std::min<std::uint64_t>(block_.size(), end - at));
          if (!in || !ReadAt(*in, at, block_.data(), n)) {
            unreadable.Add(set_.At(i).name);
            return JoinResult::Outcome::kReadFailed;
          }
          for (std::size_t k = 0; k < row.recovery.size(); ++k) outputs_[k] = Slot(sums_, k, at - from);
          MultiplyAddMany(coefficients_.data(), row.recovery.size(), block_.data(), outputs_.data(), n);
          if (!Advance(n)) return JoinResult::Outcome::kStopped;
        }
        w = next;
      }
    }
    // Each row solved for its lost pieces, which are checked and written
    // at their places.
    for (std::uint64_t w = first; w <= last; ++w) {
      const Row& row = used_[std::size_t(w - first)];
      const std::size_t e = row.lost.size();
      if (e == 0) continue;
      const std::uint64_t begin = std::max(from, w * stripe_), end = std::min(from + size, (w + 1) * stripe_);
      const std::size_t n = std::size_t(end - begin);
      if (!SetUp(row.lost, row.recovery)) return JoinResult::Outcome::kStopped;
      for (std::size_t m = 0; m < e; ++m) {
        outputs_[m] = Slot(pieces_, m, begin - from);
        std::fill_n(static_cast<char*>(outputs_[m]), n, '\0');
      }
      for (std::size_t k = 0; k < e; ++k) {
        for (std::size_t m = 0; m < e; ++m) coefficients_[m] = inverse_[m * e + k];
        MultiplyAddMany(coefficients_.data(), e, Slot(sums_, k, begin - from), outputs_.data(), n);
      }
      if (!Advance(e * n)) return JoinResult::Outcome::kStopped;
      for (std::size_t m = 0; m < e; ++m) {
        const std::size_t l = row.lost[m];
        const std::uint64_t piece = lost_[l], length = m_.PieceLength(piece);
        if (begin >= length) continue;
        const std::size_t bytes = std::size_t(std::min<std::uint64_t>(end, length) - begin);
        const char* solved = static_cast<const char*>(outputs_[m]);
        Fold(l, w);
        // A row that spans windows continues its stripe's CRC.
        const std::uint64_t stripeLength = m_.StripeLength(piece, w);
        partial_[l] = Crc32c(begin == w * stripe_ ? 0 : partial_[l], solved, bytes);
        if (begin + bytes == w * stripe_ + stripeLength) {
          pieceCrcs_[l] = Crc32cCombine(pieceCrcs_[l], partial_[l], stripeLength);
          folded_[l] = w + 1;
        }
        const std::uint64_t at = piece * m_.pieceSize + begin;  // in the sequence the pieces cut
        if (at + bytes <= headerSize_) continue;
        const std::uint64_t skip = at < headerSize_ ? headerSize_ - at : 0;
        if (!out_.Seek(at + skip - headerSize_) || !out_.Write(solved + skip, std::size_t(bytes - skip)))
          return JoinResult::Outcome::kWriteFailed;
      }
    }
    return JoinResult::Outcome::kDone;
  }

  struct Row {
    std::vector<std::uint32_t> lost;      // indices into lost_
    std::vector<std::uint32_t> recovery;  // as many recovery pieces, sound in this row
  };
  bool Loses(const Row& row, std::uint64_t i) const {
    for (std::uint32_t m : row.lost)
      if (lost_[m] == i) return true;
    return false;
  }

  // The inverse matrix for the lost pieces `lost` (indices into lost_) and
  // the recovery pieces `used`, kept for the next rows that take the same;
  // false when stopped.
  bool SetUp(const std::vector<std::uint32_t>& lost, const std::vector<std::uint32_t>& used) {
    if (lost == inverseLost_ && used == inverseUsed_) return true;
    std::vector<std::uint32_t> pieces;
    for (std::uint32_t m : lost) pieces.push_back(std::uint32_t(lost_[m]));
    inverse_ = DecodeMatrix(pieces, used, GoOn{&SetUpStep, this});
    inverseLost_ = inverse_.empty() ? std::vector<std::uint32_t>() : lost;
    inverseUsed_ = used;
    return !inverse_.empty();
  }

  // Recovery piece j's stripe of row w read through and held to its CRC.
  bool StripeSound(std::uint32_t j, std::uint64_t w) {
    const std::uint64_t length = m_.StripeLength(m_.pieceCount + j, w);
    std::uint32_t crc = 0;
    for (std::uint64_t at = 0; at < length; at += block_.size()) {
      const std::size_t n = std::size_t(std::min<std::uint64_t>(block_.size(), length - at));
      if (!ReadAt(*recovery_[j], RecoveryDataOffset(m_) + w * stripe_ + at, block_.data(), n) || !Advance(n))
        return false;
      crc = Crc32c(crc, block_.data(), n);
    }
    return crc == m_.StripeCrc(m_.pieceCount + j, w);
  }

  char* Slot(std::vector<char>& buffer, std::size_t k, std::uint64_t offset) {
    return buffer.data() + k * window_ + offset;
  }

  static bool SetUpStep(void* self) { return static_cast<RowRebuild*>(self)->Advance(1); }

  bool Advance(std::uint64_t bytes) {
    report_.done += bytes;
    report_.total = std::max(report_.total, report_.done);
    return !progress_ || progress_->Advance(report_);
  }

  const std::string& folder_;
  const PieceSet& set_;
  const Manifest& m_;
  const std::vector<std::uint64_t>& lost_;
  const std::vector<std::uint8_t>& lostRows_;
  const std::uint64_t headerSize_;
  OutputFile& out_;
  Progress* progress_;
  ProgressReport& report_;
  const std::uint64_t stripe_, rows_;
  std::uint64_t window_ = 0;
  std::vector<char> sums_, pieces_, block_;  // windows of the sums and of the solved stripes; a block of reading
  std::vector<std::uint16_t> coefficients_ = std::vector<std::uint16_t>(kMostRecoveryPieces);
  std::vector<void*> outputs_ = std::vector<void*>(kMostRecoveryPieces);
  std::vector<Row> used_;  // the window's rows
  std::vector<std::uint32_t> spare_;  // the recovery pieces there, in order
  std::vector<std::unique_ptr<InputFile>> recovery_;
  std::vector<std::uint32_t> pieceCrcs_;  // of each lost piece, up to row folded_
  std::vector<std::uint64_t> folded_;
  std::vector<std::uint32_t> partial_;  // of each lost piece, the CRC of its mended stripe so far
  std::vector<std::uint8_t> bad_;  // recovery piece j's stripe of row w failed, at j x rows + w
  std::vector<std::uint16_t> inverse_;  // the last matrix solved for, and for which pieces
  std::vector<std::uint32_t> inverseLost_, inverseUsed_;
  std::uint64_t notMended_ = 0, needed_ = 0;
};

}  // namespace

void RebuildPieces(const std::string& folder, const PieceSet& set, std::uint64_t headerSize, OutputFile& out,
                   Progress* progress, std::uint64_t total, JoinResult& joined) {
  const Manifest& m = *set.Description();
  const std::vector<std::uint64_t>& lost = joined.lost;
  // The rebuild reads, in each row that lost something, the stripes of
  // the pieces that did not and of as many recovery pieces as it lost, and
  // solves for as many.
  std::vector<std::uint8_t> touched(std::size_t(m.Rows()));
  std::uint64_t stripes = 0, rows = 0;
  for (std::size_t at = 0; at < joined.lostRows.size(); ++at) {
    stripes += joined.lostRows[at];
    touched[at % touched.size()] |= joined.lostRows[at];
  }
  for (std::uint8_t row : touched) rows += row;
  const std::uint64_t reads = (rows * m.pieceCount + 2 * stripes) * m.StripeSize();
  ProgressReport report{joined.written, total + reads, lost.front(), m.pieceCount};
  RowRebuild rebuild(folder, set, joined, headerSize, out, progress, report);
  NameTally names;
  for (std::uint64_t k : lost) names.Add(set.At(k).name);
  // Too few sound recovery stripes for a row: every lost piece is named,
  // and the recovery pieces found damaged.
  const auto refuse = [&](std::uint64_t rows, std::uint64_t needed, NameTally names) {
    for (std::uint32_t j = 0; j < m.recoveryCount; ++j)
      if (rebuild.RecoveryBad(j)) names.Add(*set.RecoveryPiece(j));
    joined.damaged = names;
    joined.needed = needed;
    joined.rowsNotMended = m.Rows() > 1 ? rows : 0;
    joined.outcome = JoinResult::Outcome::kDamaged;
  };
  std::uint64_t needed = 0;
  if (const std::uint64_t rows = rebuild.RowsBeyondReach(needed)) return refuse(rows, needed, names);
  joined.outcome = rebuild.Run(joined.unreadable);
  if (joined.outcome != JoinResult::Outcome::kDone) return;
  if (rebuild.rowsNotMended()) return refuse(rebuild.rowsNotMended(), rebuild.needed(), names);
  NameTally notWhole;
  for (std::size_t k = 0; k < lost.size(); ++k) {
    if (!rebuild.Whole(k)) notWhole.Add(set.At(lost[k]).name);
  }
  if (!notWhole.empty()) refuse(0, 0, notWhole);
}

}  // namespace morsela
