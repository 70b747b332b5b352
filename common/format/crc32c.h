// CRC-32C (Castagnoli), the checksum of every piece in a set's manifest.
// Uses the processor's CRC32 instruction where it has one (checked once at
// run time), a table otherwise; both give the same values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morsela {

// Continues the CRC `crc` (0 to start) over `size` bytes at `data`.
std::uint32_t Crc32c(std::uint32_t crc, const void* data, std::size_t size);

// The CRC of two byte runs one after the other, from the CRC of each and
// the second's length: a piece's CRC from those of its stripes.
std::uint32_t Crc32cCombine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);
// The same in two steps where many second runs have one length: the
// factor for that length, computed once, then one product per run.
std::uint32_t Crc32cZeros(std::uint64_t length);
std::uint32_t Crc32cCombineZeros(std::uint32_t first, std::uint32_t second, std::uint32_t zeros);

// Chooses the implementation and fills its tables: called before a thread
// that may use them starts (the pipeline does), so that no two threads
// ever make them at once. Without it the first use does it.
void PrepareCrc32c();

// The two implementations, for the tests that hold them against each other.
// The hardware one may be called only where HasCrc32Instruction() is true.
std::uint32_t Crc32cTable(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t Crc32cHardware(std::uint32_t crc, const void* data, std::size_t size);
bool HasCrc32Instruction();

// A running CRC of bytes fed in pieces.
class Crc32cState {
 public:
  void Update(const void* data, std::size_t size) { crc_ = Crc32c(crc_, data, size); }
  std::uint32_t value() const { return crc_; }

 private:
  std::uint32_t crc_ = 0;
};

}  // namespace morsela
