// The algebra of recovery pieces: R extra pieces from which any R missing or
// damaged pieces of a set (data and recovery pieces alike) can be rebuilt.
//
// Words are elements of GF(2^16) with the reduction polynomial
// x^16 + x^12 + x^3 + x + 1 (0x1100B); "+" is XOR. A piece is read as
// little-endian 16-bit words (the byte at offset 2w is the low byte of word
// w) and is even in length (a shorter piece is padded with zeros).
//
// Encoding: recovery piece j (0 <= j < R) of data pieces d_0 .. d_{C-1} is
//   p_j[w] = sum over i of RecoveryCoefficient(j, i) * d_i[w],
// built by calling MultiplyAdd(RecoveryCoefficient(j, i), d_i, p_j, Z) for
// every i on a zeroed p_j. Recovery piece 0 is the XOR of the data pieces,
// and recovery piece j is the same whatever R is.
//
// Decoding, with the data pieces lost[0 .. e-1] missing and e surviving
// recovery pieces used[0 .. e-1] (lost recovery pieces are simply encoded
// again once the data is whole):
//   s_k = p_{used[k]} + sum over surviving i of
//         RecoveryCoefficient(used[k], i) * d_i       (k = 0 .. e-1)
//   inv = DecodeMatrix(lost, used)
//   d_{lost[m]} = sum over k of inv[m * e + k] * s_k   (m = 0 .. e-1)
// Every choice of e distinct lost pieces and e distinct recovery pieces of a
// set that RecoveryFits gives an invertible matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morsela {

// The most recovery pieces a set may have. A rebuild solves for as many
// lost pieces as it has recovery pieces, and its set-up grows with the cube
// of that count: at this bound it stays within a few seconds in the
// restore program's own build.
constexpr std::uint64_t kMostRecoveryPieces = 1024;

// True when a set of `pieces` data pieces may have `recovery` recovery
// pieces: recovery <= kMostRecoveryPieces and pieces + recovery <= 65535.
bool RecoveryFits(std::uint64_t pieces, std::uint64_t recovery);

// The coefficient of data piece i in recovery piece j: y / (j + y) with
// y = 65535 - i. Defined for j + i < 65535, which RecoveryFits ensures.
std::uint16_t RecoveryCoefficient(std::uint32_t j, std::uint32_t i);

// acc[w] += coefficient * in[w] over `bytes` bytes of little-endian words.
// `bytes` is even (an odd last byte is left alone); the buffers may have any
// alignment but must not overlap. Coefficient 1 is a plain XOR, 0 does
// nothing.
void MultiplyAdd(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes);

// acc[j][w] += coefficients[j] * in[w] for every j < count, in one pass
// over `in`: each word is read and cut up once for all the products, as a
// split sums every block of a piece into all its recovery pieces and a
// rebuild every surviving piece into all its sums. `bytes` may be odd: the
// last byte then makes a word with a 0 byte, and each acc[j] holds `bytes`
// rounded up to even. The accumulators must not overlap `in` or each other.
void MultiplyAddMany(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                     std::size_t bytes);

// acc[j][w] += the sum over i < inputs of coefficients[i x count + j] *
// in[i][w], for every j < count: `inputs` blocks at one offset of as many
// pieces (a row of them), each accumulator read and written once for all.
// Up to kMostInputs inputs; `bytes` as for MultiplyAddMany.
constexpr std::size_t kMostInputs = 4;
void MultiplyAddSeveral(const std::uint16_t* coefficients, std::size_t inputs, std::size_t count,
                        const void* const* in, void* const* acc, std::size_t bytes);
void MultiplyAddSeveralGfni(const std::uint16_t* coefficients, std::size_t inputs, std::size_t count,
                            const void* const* in, void* const* acc, std::size_t bytes);

// Its implementations, for the tests that hold them against each other (the
// SSSE3, AVX2 and GFNI ones where HasSsse3(), HasAvx2() and HasGfni() say
// so; they take even lengths only).
void MultiplyAddManyScalar(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                           std::size_t bytes);
void MultiplyAddManySsse3(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                          std::size_t bytes);
void MultiplyAddManyAvx2(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                         std::size_t bytes);
void MultiplyAddManyGfni(const std::uint16_t* coefficients, std::size_t count, const void* in, void* const* acc,
                         std::size_t bytes);

// Chooses MultiplyAdd's implementation for this processor: called before a
// thread that may use it starts (the pipeline does). Without it the first
// use does it.
void PrepareMultiplyAdd();

// The same over `bytes` bytes of a piece whose end may be odd: its last
// byte then makes a word with a 0 byte, as the padding of a short piece
// gives; `acc` holds `bytes` rounded up to even.
void MultiplyAddPadded(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes);

// The implementations behind MultiplyAdd for coefficients other than 0 and
// 1, for the tests that hold them against each other. The SSSE3 one may be
// called only where HasSsse3() is true, the AVX2 one where HasAvx2() is,
// the GFNI one (Galois-field affine steps on AVX2 registers) where
// HasGfni() is; all are false on other processors and where
// MORSELA_SMALL_CODE is defined (the restore program), which keeps only
// the scalar one.
void MultiplyAddScalar(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes);
void MultiplyAddSsse3(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes);
void MultiplyAddAvx2(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes);
void MultiplyAddGfni(std::uint16_t coefficient, const void* in, void* acc, std::size_t bytes);
bool HasSsse3();
bool HasAvx2();
bool HasGfni();

// Field arithmetic. Inverse(0) is 0.
std::uint16_t Multiply(std::uint16_t a, std::uint16_t b);
std::uint16_t Inverse(std::uint16_t a);

// Asked between the steps of a long computation whether to go on; false
// stops it. `context` is the caller's.
struct GoOn {
  bool (*ask)(void* context) = nullptr;
  void* context = nullptr;
  bool operator()() const { return !ask || ask(context); }
};

// Inverts the n x n matrix (row-major) in place; false, and the matrix left
// as it was, when it is singular or not n x n, or when `goOn`, asked after
// each column, says to stop.
bool InvertMatrix(std::vector<std::uint16_t>& matrix, std::size_t n, GoOn goOn = {});

// The e x e matrix of the decoding recipe above (row-major), e being the
// length of both lists; empty when the lengths differ or the matrix is
// singular (a repeated index), or when `goOn`, asked after each row of
// coefficients and each column of the inversion, says to stop.
std::vector<std::uint16_t> DecodeMatrix(const std::vector<std::uint32_t>& lost,
                                        const std::vector<std::uint32_t>& used, GoOn goOn = {});

}  // namespace morsela
