#include "crc32c.h"

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

// Filled when first needed rather than stored in the program, which travels
// beside every piece set and seldom runs where the processor lacks the
// instruction.
const std::uint32_t* Table() {
  static std::uint32_t table[256];
  if (table[1] == 0) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1) ? kPolynomial : 0);
      table[i] = c;
    }
  }
  return table;
}

}  // namespace

std::uint32_t Crc32cTable(std::uint32_t crc, const void* data, std::size_t size) {
  const std::uint32_t* table = Table();
  const auto* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  while (size--) crc = table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

#ifdef MORSELA_X86

bool HasCrc32Instruction() {
  unsigned a, b, c, d;
  return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSE4_2);
}

__attribute__((target("sse4.2"))) std::uint32_t Crc32cHardware(std::uint32_t crc, const void* data,
                                                                std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (; size > 0 && (reinterpret_cast<std::uintptr_t>(p) & 7); --size) crc = _mm_crc32_u8(crc, *p++);
#ifdef __x86_64__
  // One lane of 8 bytes a step: several gigabytes a second, far beyond
  // any disk, so interleaved lanes would add code and no speed here.
  std::uint64_t c64 = crc;
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

std::uint32_t Crc32c(std::uint32_t crc, const void* data, std::size_t size) {
  // Decided once; a plain flag, since both programs compute their first
  // CRC on their one thread.
  static int hardware = -1;
  if (hardware < 0) hardware = HasCrc32Instruction() ? 1 : 0;
  return hardware ? Crc32cHardware(crc, data, size) : Crc32cTable(crc, data, size);
}

}  // namespace morsela
