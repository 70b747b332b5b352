#include "format/stripes.h"

#include <algorithm>

#include "format/crc32c.h"
#include "format/manifest.h"

namespace morsela {

std::uint64_t ChooseStripeSize(std::uint64_t pieces, std::uint64_t recovery, std::uint64_t pieceSize) {
  const std::uint64_t data = pieceSize + (pieceSize & 1);
  std::uint64_t stripe = 4096;
  for (; stripe < kLargestStripe; stripe *= 2) {
    const std::uint64_t rows = (data + stripe - 1) / stripe;
    // Many rows mend scattered damage; the table travels in every copy of
    // the manifest, a recovery piece's head among them.
    if (rows == 1 || (rows <= 1024 && 16 * 4 * (pieces + recovery) * rows <= data)) break;
  }
  return stripe;
}

StripeCrcs::StripeCrcs(std::uint64_t files, std::uint64_t stripeSize, std::uint64_t rows)
    : stripeSize_(stripeSize), rows_(rows), zeros_(Crc32cZeros(stripeSize)), crcs_(std::size_t(files * rows)) {}

void StripeCrcs::Add(std::uint64_t index, std::uint64_t offset, const char* bytes, std::size_t size) {
  if (crcs_.empty()) return;
  while (size > 0) {
    const std::uint64_t row = offset / stripeSize_;
    if (row >= rows_ || index * rows_ + row >= crcs_.size()) return;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(size, (row + 1) * stripeSize_ - offset));
    std::uint32_t& crc = crcs_[std::size_t(index * rows_ + row)];
    crc = Crc32c(crc, bytes, n);
    offset += n;
    bytes += n;
    size -= n;
  }
}

std::uint32_t StripeCrcs::Whole(std::uint64_t index, std::uint64_t length) const {
  std::uint32_t crc = 0;
  for (std::uint64_t row = 0; row < rows_ && row * stripeSize_ < length; ++row) {
    if (index * rows_ + row >= crcs_.size()) return 0;
    const std::uint64_t n = std::min(stripeSize_, length - row * stripeSize_);
    const std::uint32_t stripe = crcs_[std::size_t(index * rows_ + row)];
    crc = n == stripeSize_ ? Crc32cCombineZeros(crc, stripe, zeros_) : Crc32cCombine(crc, stripe, n);
  }
  return crc;
}

}  // namespace morsela
