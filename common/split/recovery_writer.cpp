#include "split/recovery_writer.h"

#include <algorithm>
#include <memory>
#include <new>

#include "format/crc32c.h"
#include "format/erasure_code.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "platform/platform.h"
#include "text/text.h"

namespace morsela {

namespace {

// The window: the whole recovery data where the budget allows, else the
// largest even share of it.
std::uint64_t WindowOf(std::uint64_t count, std::uint64_t dataSize, std::uint64_t budget) {
  if (count == 0) return 0;
  const std::uint64_t share = std::max<std::uint64_t>(2, budget / count & ~std::uint64_t(1));
  return std::min(dataSize, share);
}

}  // namespace

std::uint64_t RecoveryWriter::WindowBudget() {
  const std::uint64_t least = std::uint64_t(64) << 20, most = std::uint64_t(1) << 30;
  return std::min(most, std::max(least, PhysicalMemory() / 4));
}

RecoveryWriter::RecoveryWriter(std::uint64_t count, std::uint64_t pieceSize, std::uint64_t budget)
    : count_(count), dataSize_(pieceSize + (pieceSize & 1)), window_(WindowOf(count, dataSize_, budget)),
      data_(ZeroedLargeBuffer(std::size_t(count_ * window_))) {
  if (!data_ && count_ * window_ > 0) throw std::bad_alloc();
  std::fill(std::begin(coefficientsOf_), std::end(coefficientsOf_), ~std::uint64_t(0));
}

std::uint64_t RecoveryWriter::RereadBytes(const Manifest& m) const {
  std::uint64_t bytes = 0;
  for (std::uint64_t k = 0; k < m.pieceCount; ++k) {
    const std::uint64_t length = m.PieceLength(k);
    bytes += length > window_ ? length - window_ : 0;
  }
  return bytes;
}

void RecoveryWriter::KeepStripeCrcs(Manifest& m) {
  if (count_ == 0) return;
  m.stripeSize = ChooseStripeSize(m.pieceCount, count_, m.pieceSize);
  stripes_ = StripeCrcs(m.pieceCount + count_, m.stripeSize, m.Rows());
}

const std::uint16_t* RecoveryWriter::CoefficientsOf(std::uint64_t k) {
  // Computed once for all the piece's blocks: they come in rows, a piece's
  // between those of the others of its row, which keep theirs beside.
  const std::size_t slot = std::size_t(k % kKeptCoefficients);
  if (coefficients_.empty()) coefficients_.resize(std::size_t(kKeptCoefficients * count_));
  std::uint16_t* coefficients = coefficients_.data() + slot * count_;
  if (coefficientsOf_[slot] != k) {
    for (std::uint64_t j = 0; j < count_; ++j) coefficients[j] = RecoveryCoefficient(std::uint32_t(j), std::uint32_t(k));
    coefficientsOf_[slot] = k;
  }
  return coefficients;
}

void* const* RecoveryWriter::Outputs(std::uint64_t from) {
  outputs_.resize(std::size_t(count_));
  for (std::uint64_t j = 0; j < count_; ++j) outputs_[std::size_t(j)] = data_.get() + j * window_ + (from - from_);
  return outputs_.data();
}

void RecoveryWriter::Add(std::uint64_t k, std::uint64_t offset, const char* bytes, std::size_t size) {
  // The first window's pass is the one that sees every byte once.
  if (from_ == 0) stripes_.Add(k, offset, bytes, size);
  // A source that grew while it was read gives pieces beyond the count
  // foreseen; that split fails, and the code has no coefficients for them.
  if (!RecoveryFits(k + 1, count_)) return;
  const std::uint64_t from = std::max(offset, from_), to = std::min(offset + size, from_ + window_);
  if (from >= to) return;
  // Each block goes into every recovery piece in one pass.
  MultiplyAddMany(CoefficientsOf(k), std::size_t(count_), bytes + (from - offset), Outputs(from),
                  std::size_t(to - from));
}

void RecoveryWriter::AddRow(const std::uint64_t* pieces, const char* const* bytes, std::size_t count,
                            std::uint64_t offset, std::size_t size) {
  const std::uint64_t from = std::max(offset, from_), to = std::min(offset + size, from_ + window_);
  bool fits = from < to;
  for (std::size_t i = 0; i < count; ++i) fits = fits && RecoveryFits(pieces[i] + 1, count_);
  if (!fits || count > kMostInputs) {
    for (std::size_t i = 0; i < count; ++i) Add(pieces[i], offset, bytes[i], size);
    return;
  }
  if (from_ == 0) {
    for (std::size_t i = 0; i < count; ++i) stripes_.Add(pieces[i], offset, bytes[i], size);
  }
  // The row's coefficients side by side, and its blocks into every
  // recovery piece in one pass: each window's bytes read and written once
  // for the row.
  rowCoefficients_.resize(std::size_t(count * count_));
  const void* in[kMostInputs];
  for (std::size_t i = 0; i < count; ++i) {
    std::copy_n(CoefficientsOf(pieces[i]), count_, rowCoefficients_.data() + i * count_);
    in[i] = bytes[i] + (from - offset);
  }
  MultiplyAddSeveral(rowCoefficients_.data(), count, std::size_t(count_), in, Outputs(from), std::size_t(to - from));
}

RecoveryWriter::Outcome RecoveryWriter::Write(const std::string& path, Manifest& m, Sequence& again,
                                              std::uint64_t& created, std::string& failed,
                                              const std::function<bool(std::uint64_t)>& advance) {
  m.recoveryCrcs.assign(std::size_t(count_), 0);
  const std::string folder = DirectoryOf(path), base = BaseNameOf(path);
  std::vector<std::unique_ptr<OutputFile>> files;
  const auto writeFailed = [&](std::uint64_t j) {
    failed = folder + RecoveryPieceFileName(base, j);
    return Outcome::kWriteFailed;
  };
  for (std::uint64_t j = 0; j < count_; ++j) {
    files.push_back(System().Create(folder + RecoveryPieceFileName(base, j)));
    if (!files.back()) return writeFailed(j);
    ++created;
    if (!files.back()->Seek(RecoveryDataOffset(m))) return writeFailed(j);
  }
  std::vector<char> block(std::size_t(std::min<std::uint64_t>(window_, std::uint64_t(1) << 20)));
  for (from_ = 0; from_ < dataSize_; from_ += window_) {
    const std::uint64_t size = std::min(window_, dataSize_ - from_);
    if (from_ > 0) {
      // The window's bytes of every piece, read again.
      Clear();
      for (std::uint64_t k = 0; k < m.pieceCount; ++k) {
        const std::uint64_t length = m.PieceLength(k);
        for (std::uint64_t at = from_; at < std::min(from_ + size, length); at += block.size()) {
          const std::size_t n = std::size_t(std::min<std::uint64_t>(block.size(), std::min(from_ + size, length) - at));
          if (!again.Read(k * m.pieceSize + at, block.data(), n)) return Outcome::kReadFailed;
          Add(k, at, block.data(), n);
          if (!advance(n)) return Outcome::kStopped;
        }
      }
    }
    for (std::uint64_t j = 0; j < count_; ++j) {
      const char* window = data_.get() + j * window_;
      stripes_.Add(m.pieceCount + j, from_, window, std::size_t(size));
      if (!files[std::size_t(j)]->Write(window, std::size_t(size))) return writeFailed(j);
      if (!advance(size)) return Outcome::kStopped;
    }
  }
  // The heads hold the whole manifest, recovery CRCs included: written last.
  for (std::uint64_t j = 0; j < count_; ++j)
    m.recoveryCrcs[std::size_t(j)] = stripes_.Whole(m.pieceCount + j, dataSize_);
  if (m.stripeSize) m.stripeCrcs = stripes_.Take();
  for (std::uint64_t j = 0; j < count_; ++j) {
    const std::string head = EncodeRecoveryHead(m, j);
    OutputFile& file = *files[std::size_t(j)];
    if (!file.Seek(0) || !file.Write(head.data(), head.size()) || !file.Close()) return writeFailed(j);
  }
  return Outcome::kDone;
}

}  // namespace morsela
