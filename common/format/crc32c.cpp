#include "format/crc32c.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <nmmintrin.h>
#define MORSELA_X86 1
#endif

namespace morsela {

namespace {

// The reflected Castagnoli polynomial.
constexpr std::uint32_t kPolynomial = 0x82F63B78u;

// Filled when prepared rather than stored in the program, which travels
// beside every piece set and seldom runs where the processor lacks the
// instruction. Eight tables: table k gives the effect of a byte followed by
// k zero bytes, so that eight bytes take one step (where there is no
// instruction, as in the restore page's WebAssembly, this is the fast way).
// Prepared once, before any thread of the pipeline starts (or at the first
// use where none ever does), and only read after that.
struct Kernel {
  bool prepared = false;
  bool hardware = false;
  std::uint32_t tables[8][256];
};
Kernel g_kernel;

const Kernel& Prepared() {
  if (!g_kernel.prepared) PrepareCrc32c();
  return g_kernel;
}

}  // namespace

void PrepareCrc32c() {
  if (g_kernel.prepared) return;
  std::uint32_t(*tables)[256] = g_kernel.tables;
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1) ? kPolynomial : 0);
    tables[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i) {
    for (int k = 1; k < 8; ++k) tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
  }
  g_kernel.hardware = HasCrc32Instruction();
  g_kernel.prepared = true;
}

std::uint32_t Crc32cTable(std::uint32_t crc, const void* data, std::size_t size) {
  const std::uint32_t(*t)[256] = Prepared().tables;
  const auto* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (; size >= 8; size -= 8, p += 8) {
    const std::uint32_t low = crc ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                     std::uint32_t(p[3]) << 24);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  while (size--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

#ifdef MORSELA_X86

bool HasCrc32Instruction() {
  unsigned a, b, c, d;
  return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSE4_2);
}

#if defined(__x86_64__) && !defined(MORSELA_ONE_LANE_CRC)
namespace {

// The three-lane loop below takes a buffer in rounds of three lanes of this
// many bytes, each lane's CRC computed on its own (the instruction takes
// three cycles but can start one each cycle), then joined.
constexpr std::size_t kLane = 8192;

// What running kLane zero bytes through the CRC register does to it: a
// linear map over GF(2), kept as four tables of its effect on each byte.
// Built once, on first use, by squaring the map of one zero bit.
class LaneShift {
 public:
  LaneShift() {
    std::uint32_t odd[32], even[32];
    odd[0] = kPolynomial;  // one zero bit
    for (int n = 1; n < 32; ++n) odd[n] = 1u << (n - 1);
    Square(even, odd);  // two zero bits
    Square(odd, even);  // four
    Square(even, odd);  // one zero byte
    for (std::size_t bytes = 1; bytes < kLane; bytes *= 2) {  // kLane is a power of two
      Square(odd, even);
      std::memcpy(even, odd, sizeof even);
    }
    for (std::uint32_t n = 0; n < 256; ++n) {
      for (int b = 0; b < 4; ++b) table_[b][n] = Times(even, n << (8 * b));
    }
  }
  std::uint32_t operator()(std::uint32_t crc) const {
    return table_[0][crc & 0xFF] ^ table_[1][(crc >> 8) & 0xFF] ^ table_[2][(crc >> 16) & 0xFF] ^
           table_[3][crc >> 24];
  }

 private:
  static std::uint32_t Times(const std::uint32_t* map, std::uint32_t vector) {
    std::uint32_t sum = 0;
    for (; vector; vector >>= 1, ++map) {
      if (vector & 1) sum ^= *map;
    }
    return sum;
  }
  static void Square(std::uint32_t* square, const std::uint32_t* map) {
    for (int n = 0; n < 32; ++n) square[n] = Times(map, map[n]);
  }
  std::uint32_t table_[4][256];
};

// Made when the program starts, before any thread.
const LaneShift kLaneShift;

}  // namespace
#endif

__attribute__((target("sse4.2"))) std::uint32_t Crc32cHardware(std::uint32_t crc, const void* data,
                                                                std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (; size > 0 && (reinterpret_cast<std::uintptr_t>(p) & 7); --size) crc = _mm_crc32_u8(crc, *p++);
#ifdef __x86_64__
  std::uint64_t c64 = crc;
#ifndef MORSELA_ONE_LANE_CRC
  // Three lanes at once: the split checksums every byte it copies, on the
  // thread that also reads, and one lane would make that thread the slower
  // of the two. The restore program keeps to one lane (it is bound by its
  // writes, and kept small).
  if (size >= 3 * kLane) {
    const LaneShift& shift = kLaneShift;
    for (; size >= 3 * kLane; size -= 3 * kLane, p += 3 * kLane) {
      std::uint64_t c1 = 0, c2 = 0;
      for (std::size_t i = 0; i < kLane; i += 8) {
        std::uint64_t w0, w1, w2;
        std::memcpy(&w0, p + i, 8);
        std::memcpy(&w1, p + kLane + i, 8);
        std::memcpy(&w2, p + 2 * kLane + i, 8);
        c64 = _mm_crc32_u64(c64, w0);
        c1 = _mm_crc32_u64(c1, w1);
        c2 = _mm_crc32_u64(c2, w2);
      }
      c64 = shift(shift(std::uint32_t(c64)) ^ std::uint32_t(c1)) ^ std::uint32_t(c2);
    }
  }
#endif
  for (; size >= 8; size -= 8, p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    c64 = _mm_crc32_u64(c64, word);
  }
  crc = std::uint32_t(c64);
#endif
  for (; size >= 4; size -= 4, p += 4) {
    std::uint32_t word;
    std::memcpy(&word, p, 4);
    crc = _mm_crc32_u32(crc, word);
  }
  while (size--) crc = _mm_crc32_u8(crc, *p++);
  return ~crc;
}

#else

bool HasCrc32Instruction() { return false; }
std::uint32_t Crc32cHardware(std::uint32_t crc, const void* data, std::size_t size) {
  return Crc32cTable(crc, data, size);
}

#endif

namespace {

// a * b modulo the polynomial, both in the CRC's reflected order (x^0 in
// the top bit).
std::uint32_t MultiplyModulo(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = b & 1 ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

}  // namespace

std::uint32_t Crc32cCombine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
  // first's register runs on through secondLength zero bytes: times
  // x^(8 secondLength), by squaring x^8.
  std::uint32_t power = 1u << 31, square = 1u << 23;
  for (; secondLength != 0; secondLength >>= 1, square = MultiplyModulo(square, square)) {
    if (secondLength & 1) power = MultiplyModulo(power, square);
  }
  return MultiplyModulo(first, power) ^ second;
}

// x^(8 length) is what a first run of 1 (x^0) becomes.
std::uint32_t Crc32cZeros(std::uint64_t length) { return Crc32cCombine(1u << 31, 0, length); }

std::uint32_t Crc32cCombineZeros(std::uint32_t first, std::uint32_t second, std::uint32_t zeros) {
  return MultiplyModulo(first, zeros) ^ second;
}

std::uint32_t Crc32c(std::uint32_t crc, const void* data, std::size_t size) {
  return Prepared().hardware ? Crc32cHardware(crc, data, size) : Crc32cTable(crc, data, size);
}

}  // namespace morsela
