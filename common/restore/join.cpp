#include "restore/join.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "format/crc32c.h"
#include "pipeline/background_step.h"
#include "pipeline/ring.h"

namespace morsela {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
// The output goes to the disk in steps of this many bytes as it is written.
constexpr std::uint64_t kFlushStep = std::uint64_t(128) << 20;

// A block of a piece on its way from the reading side to the writing side.
struct ReadBlock {
  enum class Kind : std::uint8_t {
    kData,    // bytes of a piece (possibly none)
    kEnd,     // the last piece ended before this block; it holds no bytes
    kFailed,  // reading failed; it holds no bytes
  };
  std::vector<char> bytes;  // sized once; `size` of them filled
  std::size_t size = 0;
  std::size_t from = 0;     // the bytes before this one are the name header, not data
  std::uint64_t at = 0;     // where byte `from` goes in the output
  std::uint64_t piece = 0;  // the piece the bytes belong to
  std::uint64_t known = 0;  // bytes of data taken as checked by a checksum known before, not read
  bool write = true;        // false: after a damaged piece, the bytes are only checked
  Kind kind = Kind::kData;
};

// The reading side, on the ring's thread. After a damaged piece it goes on
// reading and checking, so that the message can name every damaged piece,
// but marks its blocks as not to be written, unless the set may lose
// pieces: then a piece that cannot be had whole is passed over.
class PieceReader : public Filler<ReadBlock> {
 public:
  PieceReader(const std::string& folder, const PieceSet& set, std::uint64_t headerSize, const std::string& header,
              bool mayLose, bool keepsBytes, JoinResult& result)
      : folder_(folder),
        set_(set),
        header_(header),
        headerSize_(headerSize),
        mayLose_(mayLose),
        keepsBytes_(keepsBytes),
        result_(result),
        stripes_(mayLose ? set.Description() : nullptr) {}

  bool Fill(ReadBlock& block) override {
    for (;;) {
      if (!in_) {
        if (next_ == set_.Count()) return Last(block, ReadBlock::Kind::kEnd);
        piece_ = set_.At(next_);
        const PieceState state = set_.State(next_);
        // A piece of a wrong size still gives the stripes it holds whole.
        if (mayLose_ && state != PieceState::kPresent &&
            !(stripes_ && state == PieceState::kWrongSize && stripes_->Rows() > 1)) {
          PassOver();
          continue;
        }
        in_ = System().OpenRead(folder_ + piece_.name);
        if (!in_ && !mayLose_) return Unreadable(block);
        if (!in_) {
          PassOver();
          continue;
        }
        crc_ = Crc32cState();
        length_ = 0;
        headerWrong_ = false;
        if (stripes_) lostRows_ = std::vector<std::uint8_t>(std::size_t(stripes_->Rows()));
        // Where nothing keeps the bytes, a checksum the system already
        // knows stands for reading them, but for the name header's, which
        // are compared. Of a set with stripes, only one that vouches for
        // the whole piece where it has several stripes: a piece that fails
        // it is read, to find the stripes it lost.
        known_.reset();
        std::uint64_t size = 0;
        if (!keepsBytes_ && piece_.crc && start_ >= headerSize_ && in_->Size(size)) known_ = in_->KnownCrc32c();
        if (known_ && stripes_ && (size != piece_.size || (stripes_->Rows() > 1 && *known_ != *piece_.crc)))
          known_.reset();
        if (known_) {
          // In one row, a piece is its one stripe.
          if (stripes_ && *known_ != *piece_.crc) {
            crcFailed_ = true;
            lostRows_[0] = 1;
          }
          length_ = size;
          block.size = block.from = 0;
          block.at = start_ - headerSize_;
          block.known = length_;
          block.piece = next_;
          block.write = mayLose_ || result_.damaged.empty();
          block.kind = ReadBlock::Kind::kData;
          return true;  // the next call ends the piece
        }
      }
      // Of a set with stripes, no more than the piece's bytes.
      const std::size_t want = stripes_ ? std::size_t(std::min<std::uint64_t>(block.bytes.size(), piece_.size - length_))
                                        : block.bytes.size();
      const std::size_t got = want && !known_ ? in_->Read(block.bytes.data(), want) : 0;
      if (in_->Failed() && !mayLose_) return Unreadable(block);
      if (in_->Failed() && stripes_) {
        // The row it failed in is lost; the piece is read on from the next.
        const std::uint64_t row = length_ / stripes_->StripeSize();
        lostRows_[std::size_t(row)] = 1;
        length_ = std::min(piece_.size, (row + 1) * stripes_->StripeSize());
        stripeCrc_ = 0;
        in_ = System().OpenRead(folder_ + piece_.name);
        if (!in_ || !in_->Seek(length_)) EndStriped();
        continue;
      }
      if (in_->Failed()) {
        in_.reset();
        PassOver();
        continue;
      }
      if (got == 0 && stripes_) {
        EndStriped();
        continue;
      }
      if (got == 0) {
        // A piece that changed since it was listed, or whose bytes are not
        // the ones the split wrote.
        in_.reset();
        if (length_ != piece_.size || headerWrong_ || (piece_.crc && known_.value_or(crc_.value()) != *piece_.crc)) {
          result_.damaged.Add(piece_.name);
          result_.damagedPieces.push_back(next_);
          if (mayLose_) {
            PassOver();
            continue;
          }
        }
        start_ += piece_.size;
        ++next_;
        continue;
      }
      if (piece_.crc && !stripes_) crc_.Update(block.bytes.data(), got);
      // Where the bytes lie in the sequence the pieces cut: the name
      // header first, then the data.
      const std::uint64_t at = start_ + length_;
      block.from = at < headerSize_ ? std::size_t(std::min<std::uint64_t>(got, headerSize_ - at)) : 0;
      if (block.from > 0 && !header_.empty() &&
          header_.compare(std::size_t(at), block.from, block.bytes.data(), block.from) != 0)
        headerWrong_ = true;
      block.at = at + block.from - headerSize_;
      if (stripes_) CheckStripes(block.bytes.data(), got);
      else length_ += got;
      block.size = got;
      block.known = 0;
      block.piece = next_;
      block.write = mayLose_ || result_.damaged.empty();
      block.kind = ReadBlock::Kind::kData;
      return true;
    }
  }

 private:
  static bool Last(ReadBlock& block, ReadBlock::Kind kind) {
    block.size = 0;
    block.kind = kind;
    return false;
  }
  bool Unreadable(ReadBlock& block) {
    result_.unreadable.Add(piece_.name);
    return Last(block, ReadBlock::Kind::kFailed);
  }

  // The piece goes to the rebuild; its place in the sequence stays.
  void PassOver() {
    result_.lost.push_back(next_);
    // Rows past a short piece's end hold none of its bytes.
    const std::uint64_t rows = stripes_ ? stripes_->Rows() : 1;
    for (std::uint64_t row = 0; row < rows; ++row)
      result_.lostRows.push_back(row == 0 || row * stripes_->StripeSize() < piece_.size);
    start_ += piece_.size;
    ++next_;
  }

  // Each stripe that `size` more bytes of the piece complete is held to
  // its CRC.
  void CheckStripes(const char* bytes, std::size_t size) {
    const std::uint64_t stripe = stripes_->StripeSize();
    while (size > 0) {
      const std::uint64_t row = length_ / stripe, end = std::min(piece_.size, (row + 1) * stripe);
      const std::size_t n = std::size_t(std::min<std::uint64_t>(size, end - length_));
      stripeCrc_ = Crc32c(stripeCrc_, bytes, n);
      bytes += n;
      size -= n;
      length_ += n;
      if (length_ < end) continue;
      if (stripeCrc_ != stripes_->StripeCrc(next_, row)) {
        lostRows_[std::size_t(row)] = 1;
        crcFailed_ = true;
      }
      stripeCrc_ = 0;
    }
  }

  // The end of a piece of a set with stripes: it loses what it did not
  // give whole; a name header not the manifest's loses it all.
  void EndStriped() {
    in_.reset();
    const std::uint64_t stripe = stripes_->StripeSize();
    for (std::uint64_t row = length_ / stripe; length_ < piece_.size && row * stripe < piece_.size; ++row)
      lostRows_[std::size_t(row)] = 1;
    if (headerWrong_) std::fill(lostRows_.begin(), lostRows_.end(), 1);
    if (crcFailed_ || headerWrong_) {
      result_.damaged.Add(piece_.name);
      result_.damagedPieces.push_back(next_);
    }
    crcFailed_ = false;
    stripeCrc_ = 0;
    if (std::find(lostRows_.begin(), lostRows_.end(), 1) != lostRows_.end()) {
      result_.lost.push_back(next_);
      for (std::uint8_t row : lostRows_) result_.lostRows.push_back(row);
    }
    start_ += piece_.size;
    ++next_;
  }

  const std::string& folder_;
  const PieceSet& set_;
  const std::string& header_;
  const std::uint64_t headerSize_;
  const bool mayLose_;
  const bool keepsBytes_;  // false: a check that keeps no bytes
  JoinResult& result_;  // the damaged, unreadable and lost pieces, this thread's until the ring ends
  std::uint64_t next_ = 0, length_ = 0;
  std::uint64_t start_ = 0;  // where the piece begins in the sequence
  bool headerWrong_ = false;
  JoinPiece piece_;
  std::unique_ptr<InputFile> in_;
  Crc32cState crc_;
  std::optional<std::uint32_t> known_;  // the piece's checksum, known without reading it
  // A set with recovery pieces and a manifest: its stripes, the CRC of the
  // stripe being read, and the rows the piece lost.
  const Manifest* stripes_;
  std::uint32_t stripeCrc_ = 0;
  bool crcFailed_ = false;
  std::vector<std::uint8_t> lostRows_;
};

// The output's steps to the disk: Windows carries out the calls on one
// handle one after the other, so the step flushes through a second handle
// where there is one, and the writes on the first go on meanwhile.
// Windows' cache writes a file out as it fills, so that a step there finds
// little left to do; Linux (under Wine) writes nothing until asked.
struct FlushTarget {
  OutputFile& out;
  std::unique_ptr<OutputFile> twin;
  static bool Flush(void* self) {
    FlushTarget& target = *static_cast<FlushTarget*>(self);
    return (target.twin ? *target.twin : target.out).Flush();
  }
};

}  // namespace

JoinResult Join(const std::string& folder, const PieceSet& set, std::uint64_t headerSize, const std::string& header,
                OutputFile& out, std::uint64_t total, Progress* progress, bool mayLose) {
  JoinResult result;
  using Outcome = JoinResult::Outcome;
  const auto ended = [&](Outcome outcome) {
    result.outcome = outcome;
    return outcome;
  };
  {
    PieceReader reader(folder, set, headerSize, header, mayLose, out.KeepsBytes(), result);
    ReadBlock blank;
    blank.bytes.resize(kBlockSize);
    FlushTarget target{out, out.FlushHandle()};
    BackgroundStep flushes(&FlushTarget::Flush, &target);
    Ring<ReadBlock> ahead(reader, blank);
    ProgressReport report{0, total, 0, set.Count()};
    std::uint64_t unflushed = 0, position = 0;
    for (;;) {
      const ReadBlock& block = ahead.Next();
      if (block.kind == ReadBlock::Kind::kFailed) {
        ended(Outcome::kReadFailed);
        break;
      }
      if (block.kind == ReadBlock::Kind::kEnd) {
        ended(flushes.Wait() ? Outcome::kDone : Outcome::kWriteFailed);
        break;
      }
      report.piece = block.piece;
      if (block.write) report.done += block.known;
      if (block.write && block.from < block.size) {
        const std::size_t n = block.size - block.from;
        // Past a piece passed over, the output goes on at the next one's place.
        if ((block.at != position && !out.Seek(block.at)) || !out.Write(block.bytes.data() + block.from, n)) {
          ended(Outcome::kWriteFailed);
          break;
        }
        position = block.at + n;
        report.done += n;
        unflushed += n;
        if (unflushed >= kFlushStep) {
          if (!flushes.Start()) {
            ended(Outcome::kWriteFailed);
            break;
          }
          unflushed = 0;
        }
      }
      if (progress && !progress->Advance(report)) {
        ended(Outcome::kStopped);
        break;
      }
    }
    result.written = report.done;
  }
  // The reading side has ended with the ring: what it found is whole.
  if (result.outcome == Outcome::kDone && !result.damaged.empty() && !mayLose) result.outcome = Outcome::kDamaged;
  return result;
}

}  // namespace morsela
