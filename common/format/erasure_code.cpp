#include "format/erasure_code.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#if !defined(MORSELA_SMALL_CODE)
#include <immintrin.h>
#define MORSELA_SIMD 1
#endif
#endif

// InvertMatrix runs its row operations through MultiplyAdd, whose words are
// then the vector's own.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are little-endian in memory");

namespace morsela {

namespace {

// x^16 + x^12 + x^3 + x + 1.
constexpr std::uint32_t kPolynomial = 0x1100B;
constexpr std::uint32_t kLimit = 65535;

// coefficient * x^k for k = 0 .. 15. Multiplying by a constant is linear
// over GF(2), so these words give every product: the tables below are
// built from them when a call starts rather than stored in the program.
void Basis(std::uint16_t coefficient, std::uint16_t* basis) {
  std::uint32_t word = coefficient;
  for (int k = 0; k < 16; ++k) {
    basis[k] = std::uint16_t(word);
    word <<= 1;
    if (word & 0x10000) word ^= kPolynomial;
  }
}

// table[n] = the sum of basis[t] over the bits t of n, for n < 2^bits.
void Span(const std::uint16_t* basis, int bits, std::uint16_t* table) {
  table[0] = 0;
  for (int t = 0; t < bits; ++t) {
    for (int n = 0; n < (1 << t); ++n) table[(1 << t) + n] = table[n] ^ basis[t];
  }
}

void Xor(const unsigned char* p, unsigned char* q, std::size_t bytes) {
#ifdef __SSE2__
  for (; bytes >= 16; bytes -= 16, p += 16, q += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i acc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_xor_si128(in, acc));
  }
#endif
  for (; bytes >= 8; bytes -= 8, p += 8, q += 8) {
    std::uint64_t in, acc;
    std::memcpy(&in, p, 8);
    std::memcpy(&acc, q, 8);
    acc ^= in;
    std::memcpy(q, &acc, 8);
  }
  while (bytes--) *q++ ^= *p++;
}

}  // namespace

bool RecoveryFits(std::uint64_t pieces, std::uint64_t recovery) {
  return pieces <= kLimit && recovery <= kMostRecoveryPieces && recovery <= kLimit - pieces;
}

std::uint16_t Multiply(std::uint16_t a, std::uint16_t b) {
  // Without branches: the bits of random words defeat prediction.
  std::uint32_t product = 0, shifted = a;
  for (int bit = 0; bit < 16; ++bit) {
    product ^= shifted & (0u - ((b >> bit) & 1));
    shifted = (shifted << 1) ^ (kPolynomial & (0u - (shifted >> 15)));
  }
  return std::uint16_t(product);
}

std::uint16_t Inverse(std::uint16_t a) {
  // a^(2^16 - 2) = a^2 * a^4 * ... * a^(2^15), since a^(2^16 - 1) = 1.
  std::uint16_t result = 1, square = a;
  for (int k = 1; k < 16; ++k) {
    square = Multiply(square, square);
    result = Multiply(result, square);
  }
  return result;
}

std::uint16_t RecoveryCoefficient(std::uint32_t j, std::uint32_t i) {
  const auto y = std::uint16_t(kLimit - i);
  return Multiply(y, Inverse(std::uint16_t(j ^ y)));
}

void MultiplyAddScalar(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes) {
  std::uint16_t basis[16], low[256], high[256];
  Basis(coefficient, basis);
  Span(basis, 8, low);
  Span(basis + 8, 8, high);
  const auto* p = static_cast<const unsigned char*>(in);
  auto* q = static_cast<unsigned char*>(acc);
  for (; bytes >= 2; bytes -= 2, p += 2, q += 2) {
    const unsigned product = low[p[0]] ^ high[p[1]];
    q[0] ^= product & 0xFF;
    q[1] ^= product >> 8;
  }
}

#ifdef MORSELA_SIMD

bool HasSsse3() { return __builtin_cpu_supports("ssse3"); }
// True only where the system also saves the wide registers.
bool HasAvx2() { return __builtin_cpu_supports("avx2"); }

namespace {

// Each word is cut into its four nibbles, and PSHUFB looks up the low and
// the high byte of each nibble's product in tables of 16 bytes:
// tables[2n][v] and tables[2n + 1][v] are those of coefficient * (v << 4n).
void NibbleTables(std::uint16_t coefficient, unsigned char (*tables)[16]) {
  std::uint16_t basis[16], span[16];
  Basis(coefficient, basis);
  for (int n = 0; n < 4; ++n) {
    Span(basis + 4 * n, 4, span);
    for (int v = 0; v < 16; ++v) {
      tables[2 * n][v] = std::uint8_t(span[v]);
      tables[2 * n + 1][v] = std::uint8_t(span[v] >> 8);
    }
  }
}

// The words left after the vector loop, with the same tables.
void NibbleTail(const unsigned char (*tables)[16], const unsigned char* p, unsigned char* q,
                std::size_t bytes) {
  for (; bytes >= 2; bytes -= 2, p += 2, q += 2) {
    const unsigned v0 = p[0] & 15, v1 = p[0] >> 4, v2 = p[1] & 15, v3 = p[1] >> 4;
    q[0] ^= tables[0][v0] ^ tables[2][v1] ^ tables[4][v2] ^ tables[6][v3];
    q[1] ^= tables[1][v0] ^ tables[3][v1] ^ tables[5][v2] ^ tables[7][v3];
  }
}

}  // namespace

// One product is the many-output kernel with one output: the same code, the
// tables kept in the first cache level.
__attribute__((target("ssse3"))) void MultiplyAddSsse3(std::uint16_t coefficient, const void* in,
                                                      void* acc, std::size_t bytes) {
  MultiplyAddManySsse3(&coefficient, 1, in, &acc, bytes);
}

__attribute__((target("avx2"))) void MultiplyAddAvx2(std::uint16_t coefficient, const void* in,
                                                    void* acc, std::size_t bytes) {
  MultiplyAddManyAvx2(&coefficient, 1, in, &acc, bytes);
}

// The products of one input by several coefficients: each step cuts 16 (or
// with AVX2, 32) words into their nibbles once, gathering their low bytes
// into one register and their high bytes into another, then looks them up in every coefficient's
// tables (built once per call) and adds the products into each output.
// Groups of kGroup outputs keep the tables in the first cache level.
constexpr std::size_t kGroup = 16;

__attribute__((target("ssse3"))) void MultiplyAddManySsse3(const std::uint16_t* coefficients, std::size_t count,
                                                          const void* in, void* const* acc, std::size_t bytes) {
  for (std::size_t first = 0; first < count; first += kGroup) {
    const std::size_t n = std::min(kGroup, count - first);
    alignas(16) unsigned char tables[kGroup][8][16];
    for (std::size_t j = 0; j < n; ++j) NibbleTables(coefficients[first + j], tables[j]);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i gather = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const auto* p = static_cast<const unsigned char*>(in);
    std::size_t at = 0;
    for (; at + 32 <= bytes; at += 32) {
      const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), gather);
      const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 16)), gather);
      const __m128i low = _mm_unpacklo_epi64(a, b), high = _mm_unpackhi_epi64(a, b);
      const __m128i n0 = _mm_and_si128(low, nibble), n1 = _mm_and_si128(_mm_srli_epi16(low, 4), nibble);
      const __m128i n2 = _mm_and_si128(high, nibble), n3 = _mm_and_si128(_mm_srli_epi16(high, 4), nibble);
      for (std::size_t j = 0; j < n; ++j) {
        const auto* t = reinterpret_cast<const __m128i*>(tables[j]);
        const __m128i productLow =
            _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(_mm_load_si128(t), n0), _mm_shuffle_epi8(_mm_load_si128(t + 2), n1)),
                          _mm_xor_si128(_mm_shuffle_epi8(_mm_load_si128(t + 4), n2), _mm_shuffle_epi8(_mm_load_si128(t + 6), n3)));
        const __m128i productHigh =
            _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(_mm_load_si128(t + 1), n0), _mm_shuffle_epi8(_mm_load_si128(t + 3), n1)),
                          _mm_xor_si128(_mm_shuffle_epi8(_mm_load_si128(t + 5), n2), _mm_shuffle_epi8(_mm_load_si128(t + 7), n3)));
        auto* q = static_cast<unsigned char*>(acc[first + j]) + at;
        auto* q0 = reinterpret_cast<__m128i*>(q);
        auto* q1 = reinterpret_cast<__m128i*>(q + 16);
        _mm_storeu_si128(q0, _mm_xor_si128(_mm_loadu_si128(q0), _mm_unpacklo_epi8(productLow, productHigh)));
        _mm_storeu_si128(q1, _mm_xor_si128(_mm_loadu_si128(q1), _mm_unpackhi_epi8(productLow, productHigh)));
      }
    }
    for (std::size_t j = 0; j < n; ++j)
      NibbleTail(tables[j], p + at, static_cast<unsigned char*>(acc[first + j]) + at, bytes - at);
  }
}

// Adds 32 products to 64 bytes of an accumulator: their low bytes and
// their high bytes, interleaved back into little-endian words.
__attribute__((target("avx2"))) inline void AddProducts(unsigned char* q, __m256i productLow, __m256i productHigh) {
  auto* q0 = reinterpret_cast<__m256i*>(q);
  auto* q1 = reinterpret_cast<__m256i*>(q + 32);
  _mm256_storeu_si256(q0, _mm256_xor_si256(_mm256_loadu_si256(q0), _mm256_unpacklo_epi8(productLow, productHigh)));
  _mm256_storeu_si256(q1, _mm256_xor_si256(_mm256_loadu_si256(q1), _mm256_unpackhi_epi8(productLow, productHigh)));
}

// 64 bytes of little-endian words: their 32 low bytes in one register and
// their 32 high bytes in another, in the same order.
__attribute__((target("avx2"))) inline void SplitWords(const unsigned char* p, __m256i& low, __m256i& high) {
  const __m256i gather = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15,
                                          0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  const __m256i a = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), gather);
  const __m256i b = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), gather);
  low = _mm256_unpacklo_epi64(a, b);
  high = _mm256_unpackhi_epi64(a, b);
}

__attribute__((target("avx2"))) void MultiplyAddManyAvx2(const std::uint16_t* coefficients, std::size_t count,
                                                        const void* in, void* const* acc, std::size_t bytes) {
  for (std::size_t first = 0; first < count; first += kGroup) {
    const std::size_t n = std::min(kGroup, count - first);
    alignas(16) unsigned char tables[kGroup][8][16];
    __m256i wide[kGroup][8];  // each table in both halves
    for (std::size_t j = 0; j < n; ++j) {
      NibbleTables(coefficients[first + j], tables[j]);
      for (int k = 0; k < 8; ++k)
        wide[j][k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(tables[j][k])));
    }
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const auto* p = static_cast<const unsigned char*>(in);
    std::size_t at = 0;
    for (; at + 64 <= bytes; at += 64) {
      __m256i low, high;
      SplitWords(p + at, low, high);
      const __m256i n0 = _mm256_and_si256(low, nibble);
      const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(low, 4), nibble);
      const __m256i n2 = _mm256_and_si256(high, nibble);
      const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(high, 4), nibble);
      for (std::size_t j = 0; j < n; ++j) {
        const __m256i* t = wide[j];
        const __m256i productLow =
            _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(t[0], n0), _mm256_shuffle_epi8(t[2], n1)),
                             _mm256_xor_si256(_mm256_shuffle_epi8(t[4], n2), _mm256_shuffle_epi8(t[6], n3)));
        const __m256i productHigh =
            _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(t[1], n0), _mm256_shuffle_epi8(t[3], n1)),
                             _mm256_xor_si256(_mm256_shuffle_epi8(t[5], n2), _mm256_shuffle_epi8(t[7], n3)));
        AddProducts(static_cast<unsigned char*>(acc[first + j]) + at, productLow, productHigh);
      }
    }
    _mm256_zeroupper();
    for (std::size_t j = 0; j < n; ++j)
      NibbleTail(tables[j], p + at, static_cast<unsigned char*>(acc[first + j]) + at, bytes - at);
  }
}

// True where GF2P8AFFINEQB takes the AVX registers.
bool HasGfni() { return HasAvx2() && __builtin_cpu_supports("gfni"); }

namespace {

// Multiplying a word by a constant is a 16 x 16 matrix over GF(2), cut
// here into the four 8 x 8 blocks that GF2P8AFFINEQB applies to bytes:
// the product's low byte from the word's low byte (blocks[0]) and from its
// high byte (blocks[1]), its high byte from each (blocks[2], blocks[3]).
// Byte 7 - i of a block is its row i: the input bits that sum to output
// bit i.
void AffineBlocks(std::uint16_t coefficient, std::uint64_t* blocks) {
  std::uint16_t basis[16];
  Basis(coefficient, basis);
  for (int b = 0; b < 4; ++b) {
    const int from = b & 1 ? 8 : 0, to = b & 2 ? 8 : 0;
    std::uint64_t block = 0;
    for (int i = 0; i < 8; ++i) {
      unsigned row = 0;
      for (int bit = 0; bit < 8; ++bit) row |= ((basis[from + bit] >> (to + i)) & 1u) << bit;
      block |= std::uint64_t(row) << (8 * (7 - i));
    }
    blocks[b] = block;
  }
}

}  // namespace

__attribute__((target("avx2,gfni"))) void MultiplyAddGfni(std::uint16_t coefficient, const void* in, void* acc,
                                                          std::size_t bytes) {
  MultiplyAddManyGfni(&coefficient, 1, in, &acc, bytes);
}

// The AVX2 kernel's pass, each product four affine steps on the gathered
// low and high bytes instead of eight lookups of nibbles: about half the
// work for every output.
__attribute__((target("avx2,gfni"))) void MultiplyAddManyGfni(const std::uint16_t* coefficients, std::size_t count,
                                                              const void* in, void* const* acc, std::size_t bytes) {
  for (std::size_t first = 0; first < count; first += kGroup) {
    const std::size_t n = std::min(kGroup, count - first);
    alignas(16) unsigned char tables[kGroup][8][16];
    __m256i blocks[kGroup][4];
    for (std::size_t j = 0; j < n; ++j) {
      std::uint64_t raw[4];
      AffineBlocks(coefficients[first + j], raw);
      for (int b = 0; b < 4; ++b) blocks[j][b] = _mm256_set1_epi64x(std::int64_t(raw[b]));
      NibbleTables(coefficients[first + j], tables[j]);
    }
    const auto* p = static_cast<const unsigned char*>(in);
    std::size_t at = 0;
    for (; at + 64 <= bytes; at += 64) {
      __m256i low, high;
      SplitWords(p + at, low, high);
      for (std::size_t j = 0; j < n; ++j) {
        const __m256i* t = blocks[j];
        const __m256i productLow =
            _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(low, t[0], 0), _mm256_gf2p8affine_epi64_epi8(high, t[1], 0));
        const __m256i productHigh =
            _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(low, t[2], 0), _mm256_gf2p8affine_epi64_epi8(high, t[3], 0));
        AddProducts(static_cast<unsigned char*>(acc[first + j]) + at, productLow, productHigh);
      }
    }
    _mm256_zeroupper();
    for (std::size_t j = 0; j < n; ++j)
      NibbleTail(tables[j], p + at, static_cast<unsigned char*>(acc[first + j]) + at, bytes - at);
  }
}

// acc ^= in[0] ^ .. ^ in[inputs - 1], the accumulator read and written
// once for all of them.
__attribute__((target("avx2"))) void XorSeveralAvx2(const void* const* in, std::size_t inputs, unsigned char* q,
                                                    std::size_t bytes) {
  std::size_t at = 0;
  for (; at + 32 <= bytes; at += 32) {
    __m256i sum = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + at));
    for (std::size_t i = 0; i < inputs; ++i)
      sum = _mm256_xor_si256(sum, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(static_cast<const unsigned char*>(in[i]) + at)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q + at), sum);
  }
  _mm256_zeroupper();
  for (std::size_t i = 0; i < inputs; ++i) Xor(static_cast<const unsigned char*>(in[i]) + at, q + at, bytes - at);
}

// The same for up to kMostInputs inputs at once: each 64 bytes of the
// accumulators read and written once for all of them, where a pass per
// input had them come from the cache (or memory) again for each.
__attribute__((target("avx2,gfni"))) void MultiplyAddSeveralGfni(const std::uint16_t* coefficients,
                                                                 std::size_t inputs, std::size_t count,
                                                                 const void* const* in, void* const* acc,
                                                                 std::size_t bytes) {
  for (std::size_t first = 0; first < count; first += kGroup) {
    const std::size_t n = std::min(kGroup, count - first);
    __m256i blocks[kGroup][kMostInputs][4];
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t i = 0; i < inputs; ++i) {
        std::uint64_t raw[4];
        AffineBlocks(coefficients[i * count + first + j], raw);
        for (int b = 0; b < 4; ++b) blocks[j][i][b] = _mm256_set1_epi64x(std::int64_t(raw[b]));
      }
    }
    std::size_t at = 0;
    for (; at + 64 <= bytes; at += 64) {
      __m256i low[kMostInputs], high[kMostInputs];
      for (std::size_t i = 0; i < inputs; ++i) SplitWords(static_cast<const unsigned char*>(in[i]) + at, low[i], high[i]);
      for (std::size_t j = 0; j < n; ++j) {
        __m256i productLow = _mm256_setzero_si256(), productHigh = _mm256_setzero_si256();
        for (std::size_t i = 0; i < inputs; ++i) {
          const __m256i* t = blocks[j][i];
          productLow = _mm256_xor_si256(productLow, _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(low[i], t[0], 0),
                                                                     _mm256_gf2p8affine_epi64_epi8(high[i], t[1], 0)));
          productHigh = _mm256_xor_si256(productHigh, _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(low[i], t[2], 0),
                                                                       _mm256_gf2p8affine_epi64_epi8(high[i], t[3], 0)));
        }
        AddProducts(static_cast<unsigned char*>(acc[first + j]) + at, productLow, productHigh);
      }
    }
    _mm256_zeroupper();
    if (at < bytes) {
      for (std::size_t i = 0; i < inputs; ++i) {
        void* tails[kGroup];
        for (std::size_t j = 0; j < n; ++j) tails[j] = static_cast<unsigned char*>(acc[first + j]) + at;
        MultiplyAddManyScalar(coefficients + i * count + first, n, static_cast<const unsigned char*>(in[i]) + at,
                              tails, bytes - at);
      }
    }
  }
}

#else

bool HasSsse3() { return false; }
bool HasAvx2() { return false; }
bool HasGfni() { return false; }
void MultiplyAddManyGfni(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                         std::size_t bytes) {
  MultiplyAddManyScalar(coefficients, count, in, acc, bytes);
}
void MultiplyAddGfni(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes) {
  MultiplyAddScalar(coefficient, in, acc, bytes);
}
void MultiplyAddSeveralGfni(const std::uint16_t* coefficients, std::size_t inputs, std::size_t count,
                            const void* const* in, void* const* acc, std::size_t bytes) {
  for (std::size_t i = 0; i < inputs; ++i) MultiplyAddManyScalar(coefficients + i * count, count, in[i], acc, bytes);
}
void XorSeveralAvx2(const void* const* in, std::size_t inputs, unsigned char* q, std::size_t bytes) {
  for (std::size_t i = 0; i < inputs; ++i) Xor(static_cast<const unsigned char*>(in[i]), q, bytes);
}
void MultiplyAddManySsse3(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                          std::size_t bytes) {
  MultiplyAddManyScalar(coefficients, count, in, acc, bytes);
}
void MultiplyAddManyAvx2(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                         std::size_t bytes) {
  MultiplyAddManyScalar(coefficients, count, in, acc, bytes);
}
void MultiplyAddSsse3(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes) {
  MultiplyAddScalar(coefficient, in, acc, bytes);
}
void MultiplyAddAvx2(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes) {
  MultiplyAddScalar(coefficient, in, acc, bytes);
}

#endif

namespace {

// Chosen once, before any thread of the pipeline starts (or at the first
// use where none ever does), and only read after that.
void (*g_multiplyAdd)(std::uint16_t, const void*, void*, std::size_t) = nullptr;
void (*g_multiplyAddMany)(const std::uint16_t*, std::size_t, const void*, void* const*, std::size_t) = nullptr;

}  // namespace

void PrepareMultiplyAdd() {
  if (g_multiplyAdd) return;
  g_multiplyAddMany = HasGfni()   ? MultiplyAddManyGfni
                      : HasAvx2()  ? MultiplyAddManyAvx2
                      : HasSsse3() ? MultiplyAddManySsse3
                                   : MultiplyAddManyScalar;
  g_multiplyAdd = HasGfni()   ? MultiplyAddGfni
                  : HasAvx2()  ? MultiplyAddAvx2
                  : HasSsse3() ? MultiplyAddSsse3
                               : MultiplyAddScalar;
}

void MultiplyAddManyScalar(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                           std::size_t bytes) {
  for (std::size_t j = 0; j < count; ++j) MultiplyAddScalar(coefficients[j], in, acc[j], bytes);
}

namespace {

// The XOR of several blocks into one accumulator, rounded up to even as
// MultiplyAddMany does.
void XorSeveral(const void* const* in, std::size_t inputs, unsigned char* q, std::size_t bytes) {
  const std::size_t even = bytes & ~std::size_t(1);
  if (HasAvx2()) {
    XorSeveralAvx2(in, inputs, q, even);
  } else {
    for (std::size_t i = 0; i < inputs; ++i) Xor(static_cast<const unsigned char*>(in[i]), q, even);
  }
  if (bytes & 1) {
    for (std::size_t i = 0; i < inputs; ++i) q[even] ^= static_cast<const unsigned char*>(in[i])[even];
  }
}

}  // namespace

void MultiplyAddSeveral(const std::uint16_t* coefficients, std::size_t inputs, std::size_t count,
                        const void* const* in, void* const* acc, std::size_t bytes) {
  PrepareMultiplyAdd();
  // One recovery piece is the XOR of the pieces: their blocks XORed
  // together into it.
  if (count == 1 && std::all_of(coefficients, coefficients + inputs, [](std::uint16_t c) { return c == 1; })) {
    XorSeveral(in, inputs, static_cast<unsigned char*>(acc[0]), bytes);
    return;
  }
  if (!HasGfni() || inputs < 2) {
    for (std::size_t i = 0; i < inputs; ++i) MultiplyAddMany(coefficients + i * count, count, in[i], acc, bytes);
    return;
  }
  for (std::size_t i = 0; i < inputs; i += kMostInputs) {
    const std::size_t n = std::min(kMostInputs, inputs - i);
    MultiplyAddSeveralGfni(coefficients + i * count, n, count, in + i, acc, bytes & ~std::size_t(1));
  }
  if (bytes & 1) {
    const std::size_t even = bytes & ~std::size_t(1);
    for (std::size_t i = 0; i < inputs; ++i) {
      const unsigned char tail[2] = {static_cast<const unsigned char*>(in[i])[even], 0};
      for (std::size_t j = 0; j < count; ++j)
        MultiplyAdd(coefficients[i * count + j], tail, static_cast<unsigned char*>(acc[j]) + even, 2);
    }
  }
}

void MultiplyAddMany(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                     std::size_t bytes) {
  PrepareMultiplyAdd();
  const std::size_t even = bytes & ~std::size_t(1);
  // A coefficient 1 is a plain XOR (recovery piece 1 is the XOR of the
  // pieces), a 0 nothing; the kernel takes the others together.
  constexpr std::size_t kAtOnce = 16;
  std::uint16_t general[kAtOnce];
  void* outputs[kAtOnce];
  std::size_t n = 0;
  const auto flush = [&] {
    if (n) g_multiplyAddMany(general, n, in, outputs, even);
    n = 0;
  };
  for (std::size_t j = 0; j < count; ++j) {
    if (coefficients[j] == 1) {
      Xor(static_cast<const unsigned char*>(in), static_cast<unsigned char*>(acc[j]), even);
    } else if (coefficients[j] != 0) {
      general[n] = coefficients[j];
      outputs[n++] = acc[j];
      if (n == kAtOnce) flush();
    }
  }
  flush();
  if (bytes & 1) {
    const unsigned char tail[2] = {static_cast<const unsigned char*>(in)[even], 0};
    for (std::size_t j = 0; j < count; ++j)
      MultiplyAdd(coefficients[j], tail, static_cast<unsigned char*>(acc[j]) + even, 2);
  }
}

void MultiplyAdd(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes) {
  PrepareMultiplyAdd();
  const auto multiplyAdd = g_multiplyAdd;
  bytes &= ~std::size_t(1);
  if (coefficient == 1) {
    Xor(static_cast<const unsigned char*>(in), static_cast<unsigned char*>(acc), bytes);
  } else if (coefficient != 0) {
    multiplyAdd(coefficient, in, acc, bytes);
  }
}

void MultiplyAddPadded(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes) {
  const std::size_t even = bytes & ~std::size_t(1);
  MultiplyAdd(coefficient, in, acc, even);
  if (bytes & 1) {
    const unsigned char tail[2] = {static_cast<const unsigned char*>(in)[even], 0};
    MultiplyAdd(coefficient, tail, static_cast<unsigned char*>(acc) + even, 2);
  }
}

bool InvertMatrix(std::vector<std::uint16_t>& matrix, std::size_t n, GoOn goOn) {
  if (matrix.size() != n * n) return false;
  // Gauss-Jordan on [matrix | identity], one row of `width` words each.
  const std::size_t width = 2 * n;
  std::vector<std::uint16_t> work(n * width);
  for (std::size_t r = 0; r < n; ++r) {
    std::copy_n(&matrix[r * n], n, &work[r * width]);
    work[r * width + n + r] = 1;
  }
  for (std::size_t column = 0; column < n; ++column) {
    std::uint16_t* pivot = &work[column * width];
    std::size_t r = column;
    while (r < n && work[r * width + column] == 0) ++r;
    if (r == n) return false;
    if (r != column) std::swap_ranges(pivot, pivot + width, &work[r * width]);
    const std::uint16_t scale = Inverse(pivot[column]);
    for (std::size_t k = column; k < width; ++k) pivot[k] = Multiply(scale, pivot[k]);
    for (r = 0; r < n; ++r) {
      std::uint16_t* row = &work[r * width];
      if (r != column) MultiplyAdd(row[column], pivot + column, row + column, 2 * (width - column));
    }
    if (!goOn()) return false;
  }
  for (std::size_t r = 0; r < n; ++r) std::copy_n(&work[r * width + n], n, &matrix[r * n]);
  return true;
}

std::vector<std::uint16_t> DecodeMatrix(const std::vector<std::uint32_t>& lost,
                                        const std::vector<std::uint32_t>& used, GoOn goOn) {
  const std::size_t e = lost.size();
  if (used.size() != e) return {};
  std::vector<std::uint16_t> matrix(e * e);
  for (std::size_t k = 0; k < e; ++k) {
    for (std::size_t m = 0; m < e; ++m) matrix[k * e + m] = RecoveryCoefficient(used[k], lost[m]);
    if (!goOn()) return {};
  }
  if (!InvertMatrix(matrix, e, goOn)) return {};
  return matrix;
}

}  // namespace morsela
