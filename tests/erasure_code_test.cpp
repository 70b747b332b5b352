// The algebra of recovery pieces, held against plain references written
// here: a carry-less product reduced afterwards, and the rank by naive
// Gaussian elimination.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "format/erasure_code.h"

namespace morsela {
namespace {

using Bytes = std::vector<unsigned char>;

std::uint16_t ReferenceMultiply(std::uint16_t a, std::uint16_t b) {
  std::uint32_t product = 0;
  for (int bit = 0; bit < 16; ++bit) {
    if ((b >> bit) & 1) product ^= std::uint32_t(a) << bit;
  }
  for (int bit = 30; bit >= 16; --bit) {
    if ((product >> bit) & 1) product ^= 0x1100Bu << (bit - 16);
  }
  return std::uint16_t(product);
}

// The rank of an n x n matrix. Each row below the pivot is scaled by the
// pivot before the pivot row times its own entry is added, so no division
// is needed.
std::size_t ReferenceRank(std::vector<std::uint16_t> m, std::size_t n) {
  std::size_t rank = 0;
  for (std::size_t column = 0; column < n && rank < n; ++column) {
    std::size_t pivot = rank;
    while (pivot < n && m[pivot * n + column] == 0) ++pivot;
    if (pivot == n) continue;
    for (std::size_t k = 0; k < n; ++k) std::swap(m[pivot * n + k], m[rank * n + k]);
    const std::uint16_t top = m[rank * n + column];
    for (std::size_t r = rank + 1; r < n; ++r) {
      const std::uint16_t entry = m[r * n + column];
      for (std::size_t k = 0; k < n; ++k) {
        m[r * n + k] = ReferenceMultiply(top, m[r * n + k]) ^ ReferenceMultiply(entry, m[rank * n + k]);
      }
    }
    ++rank;
  }
  return rank;
}

TEST(ErasureField, XGeneratesTheWholeGroupAndProductsMatch) {
  // x^k runs through every nonzero element before it comes back to 1.
  std::vector<bool> seen(65536);
  std::uint16_t power = 1;
  for (int k = 1; k <= 65535; ++k) {
    const std::uint16_t next = ReferenceMultiply(power, 2);
    ASSERT_EQ(Multiply(power, 2), next);
    power = next;
    ASSERT_FALSE(seen[power]) << "x^" << k << " repeats";
    seen[power] = true;
  }
  EXPECT_EQ(power, 1);

  const std::uint16_t edges[] = {0, 1, 2, 3, 0x00FF, 0x0100, 0x1000, 0x100B, 0x7FFF, 0x8000, 0x8001, 0xFFFF};
  for (std::uint16_t a : edges) {
    for (std::uint16_t b : edges) ASSERT_EQ(Multiply(a, b), ReferenceMultiply(a, b)) << a << " * " << b;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 100000; ++round) {
    const auto a = std::uint16_t(random()), b = std::uint16_t(random());
    ASSERT_EQ(Multiply(a, b), ReferenceMultiply(a, b)) << a << " * " << b;
  }
  EXPECT_EQ(Inverse(0), 0);
  for (std::uint32_t a = 1; a <= 0xFFFF; ++a) {
    ASSERT_EQ(ReferenceMultiply(std::uint16_t(a), Inverse(std::uint16_t(a))), 1) << a;
  }
}

TEST(RecoveryCode, CoefficientsAndLimits) {
  for (std::uint32_t i = 0; i < 65535; ++i) ASSERT_EQ(RecoveryCoefficient(0, i), 1) << i;
  // g(j, i) * (j + y) = y with y = 65535 - i, at the corners and anywhere.
  std::mt19937 random(11);
  for (int round = 0; round < 20000; ++round) {
    std::uint32_t j = random() % 65535, i = random() % (65535 - j);
    if (round < 4) j = round % 2 ? 65534 - i : 0, i = round < 2 ? 0 : 65534 - j;
    const auto y = std::uint16_t(65535 - i);
    const std::uint16_t g = RecoveryCoefficient(j, i);
    ASSERT_NE(g, 0);
    ASSERT_EQ(ReferenceMultiply(g, std::uint16_t(j ^ y)), y) << j << ", " << i;
  }
  EXPECT_TRUE(RecoveryFits(1, 0));
  EXPECT_TRUE(RecoveryFits(65534, 1));
  EXPECT_TRUE(RecoveryFits(64511, 1024));
  EXPECT_FALSE(RecoveryFits(64512, 1024));
  EXPECT_FALSE(RecoveryFits(1, 1025));  // the rebuild's bound
  EXPECT_FALSE(RecoveryFits(65535, 1));
  EXPECT_FALSE(RecoveryFits(2, 65534));
  EXPECT_FALSE(RecoveryFits(~std::uint64_t(0), 1));  // no wrap-around
  EXPECT_FALSE(RecoveryFits(1, ~std::uint64_t(0)));
}

TEST(MultiplyAdd, EveryPathMatchesTheReferenceWordByWord) {
  using Kernel = void (*)(std::uint16_t, const void*, void*, std::size_t);
  std::vector<std::pair<const char*, Kernel>> kernels = {{"dispatch", MultiplyAdd},
                                                         {"scalar", MultiplyAddScalar}};
  if (HasSsse3()) kernels.emplace_back("SSSE3", MultiplyAddSsse3);
  if (HasAvx2()) kernels.emplace_back("AVX2", MultiplyAddAvx2);
  if (HasGfni()) kernels.emplace_back("GFNI", MultiplyAddGfni);
  std::mt19937 random(5);
  for (const auto& [name, kernel] : kernels) {
    for (int round = 0; round < 400; ++round) {
      // Coefficients 0 and 1 reach the plain paths only through the dispatch.
      const std::uint16_t special[] = {0, 1, 2, 0xFFFF};
      const auto coefficient = round % 4 ? std::uint16_t(random()) : special[round / 4 % 4];
      // Any address, and lengths around the vector widths, odd ones too
      // (the last byte is left alone), and a few long ones.
      const std::size_t inAt = random() % 64, accAt = random() % 64;
      const std::size_t bytes = round < 8 ? (1 << 16) + 34 * round : random() % (round % 2 ? 70 : 700);
      Bytes in(inAt + bytes + 64), acc(accAt + bytes + 64);
      for (auto& b : in) b = static_cast<unsigned char>(random());
      for (auto& b : acc) b = static_cast<unsigned char>(random());
      Bytes expected = acc;
      for (std::size_t w = 0; w + 1 < bytes; w += 2) {
        const std::uint16_t product =
            ReferenceMultiply(coefficient, std::uint16_t(in[inAt + w] | in[inAt + w + 1] << 8));
        expected[accAt + w] ^= product & 0xFF;
        expected[accAt + w + 1] ^= product >> 8;
      }
      kernel(coefficient, in.data() + inAt, acc.data() + accAt, bytes);
      const auto first = std::mismatch(acc.begin(), acc.end(), expected.begin()).first - acc.begin();
      ASSERT_TRUE(acc == expected) << name << ": coefficient " << coefficient << ", " << bytes << " bytes at "
                                   << inAt << " into " << accAt << ", first wrong byte " << first - accAt;
    }
  }
}

// The products of one input by many coefficients, in one pass, are those
// of one coefficient at a time, for every path, count (beyond a group of
// tables too), address and length, odd ones included.
TEST(MultiplyAdd, ManyAtOnceMatchOneAtATime) {
  using Kernel = void (*)(const std::uint16_t*, std::size_t, const void*, void* const*, std::size_t);
  std::vector<std::pair<const char*, Kernel>> kernels = {{"dispatch", MultiplyAddMany},
                                                         {"scalar", MultiplyAddManyScalar}};
  if (HasSsse3()) kernels.emplace_back("SSSE3", MultiplyAddManySsse3);
  if (HasAvx2()) kernels.emplace_back("AVX2", MultiplyAddManyAvx2);
  if (HasGfni()) kernels.emplace_back("GFNI", MultiplyAddManyGfni);
  std::mt19937 random(6);
  for (const auto& [name, kernel] : kernels) {
    for (int round = 0; round < 120; ++round) {
      const std::size_t count = 1 + round % 21;  // up to past a group of 16
      // Only the dispatch takes an odd length.
      std::size_t bytes = round < 4 ? (1 << 14) + 2 * round : random() % 300;
      if (name != std::string("dispatch")) bytes &= ~std::size_t(1);
      const std::size_t inAt = random() % 64;
      Bytes in(inAt + bytes + 1);
      for (auto& b : in) b = static_cast<unsigned char>(random());
      std::vector<std::uint16_t> coefficients(count);
      std::vector<Bytes> acc(count), expected(count);
      std::vector<void*> outs(count);
      for (std::size_t j = 0; j < count; ++j) {
        coefficients[j] = j % 5 == 3 ? std::uint16_t(j % 2) : std::uint16_t(random());
        acc[j].resize(bytes + 1 + random() % 64);
        for (auto& b : acc[j]) b = static_cast<unsigned char>(random());
        expected[j] = acc[j];
        MultiplyAddPadded(coefficients[j], in.data() + inAt, expected[j].data(), bytes);
        outs[j] = acc[j].data();
      }
      kernel(coefficients.data(), count, in.data() + inAt, outs.data(), bytes);
      for (std::size_t j = 0; j < count; ++j)
        ASSERT_TRUE(acc[j] == expected[j]) << name << ": output " << j << " of " << count << ", " << bytes << " bytes";
    }
  }
}

// Several inputs at once (a row's blocks, beyond the most a pass takes
// too) give the sums of one input at a time, the XOR of one recovery
// piece among them, for any count, address and length.
TEST(MultiplyAdd, SeveralInputsMatchOneAtATime) {
  using Kernel = void (*)(const std::uint16_t*, std::size_t, std::size_t, const void* const*, void* const*,
                          std::size_t);
  std::vector<std::pair<const char*, Kernel>> kernels = {{"dispatch", MultiplyAddSeveral}};
  if (HasGfni()) kernels.emplace_back("GFNI", MultiplyAddSeveralGfni);
  std::mt19937 random(7);
  for (const auto& [name, kernel] : kernels) {
    for (int round = 0; round < 120; ++round) {
      const bool gfni = name != std::string("dispatch");
      const std::size_t inputs = 1 + round % (gfni ? kMostInputs : kMostInputs + 2);
      const bool xorOnly = round % 5 == 2;
      const std::size_t count = xorOnly ? 1 : 1 + random() % 19;
      std::size_t bytes = round < 4 ? (1 << 14) + 2 * round : random() % 300;
      if (gfni) bytes &= ~std::size_t(1);
      std::vector<Bytes> in(inputs);
      std::vector<const void*> ins;
      std::vector<std::uint16_t> coefficients(inputs * count);
      for (std::size_t i = 0; i < inputs; ++i) {
        const std::size_t at = random() % 64;
        in[i].resize(at + bytes + 1);
        for (auto& b : in[i]) b = static_cast<unsigned char>(random());
        ins.push_back(in[i].data() + at);
        for (std::size_t j = 0; j < count; ++j)
          coefficients[i * count + j] = xorOnly ? 1 : j % 5 == 3 ? std::uint16_t(j % 2) : std::uint16_t(random());
      }
      std::vector<Bytes> acc(count), expected(count);
      std::vector<void*> outs(count);
      for (std::size_t j = 0; j < count; ++j) {
        acc[j].resize(bytes + 1 + random() % 64);
        for (auto& b : acc[j]) b = static_cast<unsigned char>(random());
        expected[j] = acc[j];
        for (std::size_t i = 0; i < inputs; ++i)
          MultiplyAddPadded(coefficients[i * count + j], ins[i], expected[j].data(), bytes);
        outs[j] = acc[j].data();
      }
      kernel(coefficients.data(), inputs, count, ins.data(), outs.data(), bytes);
      for (std::size_t j = 0; j < count; ++j)
        ASSERT_TRUE(acc[j] == expected[j]) << name << ": output " << j << " of " << count << ", " << inputs
                                           << " inputs, " << bytes << " bytes";
    }
  }
}

TEST(InvertMatrix, InverseOrRefusalAsTheRankSays) {
  std::mt19937 random(3);
  int singulars = 0;
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = 1 + random() % 9;
    std::vector<std::uint16_t> m(n * n);
    // Sparse matrices too, whose pivots need a row exchange.
    for (auto& v : m) v = round % 3 == 0 && random() % 2 ? 0 : std::uint16_t(random());
    if (round % 4 == 1 && n > 1) {
      // A row that is a combination of two others (or twice the same one).
      const std::size_t to = random() % n, a = (to + 1 + random() % (n - 1)) % n,
                        b = (to + 1 + random() % (n - 1)) % n;
      const auto f = std::uint16_t(random()), g = std::uint16_t(random());
      for (std::size_t k = 0; k < n; ++k) {
        m[to * n + k] = ReferenceMultiply(f, m[a * n + k]) ^ ReferenceMultiply(g, m[b * n + k]);
      }
    }
    const bool singular = ReferenceRank(m, n) < n;
    singulars += singular;
    std::vector<std::uint16_t> inverse = m;
    ASSERT_EQ(InvertMatrix(inverse, n), !singular) << "round " << round;
    if (singular) {
      EXPECT_EQ(inverse, m);
      continue;
    }
    for (std::size_t r = 0; r < n; ++r) {
      for (std::size_t c = 0; c < n; ++c) {
        std::uint16_t sum = 0;
        for (std::size_t k = 0; k < n; ++k) sum ^= ReferenceMultiply(m[r * n + k], inverse[k * n + c]);
        ASSERT_EQ(sum, r == c ? 1 : 0) << "round " << round << ", (" << r << ", " << c << ")";
      }
    }
  }
  EXPECT_GT(singulars, 60);
  std::vector<std::uint16_t> notSquare(5);
  EXPECT_FALSE(InvertMatrix(notSquare, 2));
  EXPECT_TRUE(DecodeMatrix({3, 5, 3}, {0, 1, 2}).empty());  // a piece lost twice
  EXPECT_TRUE(DecodeMatrix({3, 5}, {0, 1, 2}).empty());
}

// C data pieces of random bytes and their R recovery pieces, encoded the
// way the split does it.
struct PieceSet {
  std::vector<Bytes> data, recovery;

  PieceSet(std::uint32_t pieces, std::uint32_t extra, std::size_t bytes, std::mt19937& random)
      : data(pieces, Bytes(bytes)), recovery(extra, Bytes(bytes)) {
    for (auto& piece : data) {
      for (auto& b : piece) b = static_cast<unsigned char>(random());
    }
    for (std::uint32_t i = 0; i < pieces; ++i) {
      for (std::uint32_t j = 0; j < extra; ++j) {
        MultiplyAdd(RecoveryCoefficient(j, i), data[i].data(), recovery[j].data(), bytes);
      }
    }
  }

  // Rebuilds the data pieces `lost` from the others and the recovery pieces
  // `used` by the recipe in erasure_code.h, and compares.
  void ExpectRebuilt(const std::vector<std::uint32_t>& lost, const std::vector<std::uint32_t>& used) const {
    SCOPED_TRACE(std::to_string(data.size()) + " + " + std::to_string(recovery.size()) + " pieces, lost " +
                 testing::PrintToString(lost) + ", used " + testing::PrintToString(used));
    const std::size_t e = lost.size(), bytes = data[0].size();
    std::vector<bool> isLost(data.size());
    for (std::uint32_t i : lost) isLost[i] = true;
    std::vector<Bytes> sums;
    for (std::uint32_t j : used) {
      sums.push_back(recovery[j]);
      for (std::uint32_t i = 0; i < data.size(); ++i) {
        if (!isLost[i]) MultiplyAdd(RecoveryCoefficient(j, i), data[i].data(), sums.back().data(), bytes);
      }
    }
    const std::vector<std::uint16_t> inverse = DecodeMatrix(lost, used);
    ASSERT_EQ(inverse.size(), e * e);
    for (std::size_t m = 0; m < e; ++m) {
      Bytes rebuilt(bytes);
      for (std::size_t k = 0; k < e; ++k) {
        MultiplyAdd(inverse[m * e + k], sums[k].data(), rebuilt.data(), bytes);
      }
      ASSERT_TRUE(rebuilt == data[lost[m]]) << "piece " << lost[m];
    }
  }
};

TEST(RecoveryCode, EveryLossUpToRIsRebuiltInSmallSets) {
  std::mt19937 random(13);
  for (std::uint32_t pieces = 1; pieces <= 6; ++pieces) {
    for (std::uint32_t extra = 1; extra <= 3; ++extra) {
      const PieceSet set(pieces, extra, 70, random);
      // Files 0 .. C-1 are the data pieces, C .. C+R-1 the recovery ones;
      // every set of at most R of them is lost, and any of the surviving
      // recovery pieces, as many as needed, rebuild the data.
      for (std::uint32_t gone = 1; gone < (1u << (pieces + extra)); ++gone) {
        if (__builtin_popcount(gone) > int(extra)) continue;
        std::vector<std::uint32_t> lost, left;
        for (std::uint32_t i = 0; i < pieces; ++i) {
          if ((gone >> i) & 1) lost.push_back(i);
        }
        for (std::uint32_t j = 0; j < extra; ++j) {
          if (!((gone >> (pieces + j)) & 1)) left.push_back(j);
        }
        for (std::uint32_t choice = 0; choice < (1u << left.size()); ++choice) {
          if (__builtin_popcount(choice) != int(lost.size())) continue;
          std::vector<std::uint32_t> used;
          for (std::size_t k = 0; k < left.size(); ++k) {
            if ((choice >> k) & 1) used.push_back(left[k]);
          }
          set.ExpectRebuilt(lost, used);
        }
      }
    }
  }
}

// e distinct values below `limit`, in random order.
std::vector<std::uint32_t> Pick(std::size_t e, std::uint32_t limit, std::mt19937& random) {
  std::vector<std::uint32_t> all(limit);
  std::iota(all.begin(), all.end(), 0);
  std::shuffle(all.begin(), all.end(), random);
  all.resize(e);
  return all;
}

TEST(RecoveryCode, RandomLossesInLargeSetsAndAtTheLimit) {
  std::mt19937 random(17);
  const PieceSet large(300, 8, 100, random);
  for (int round = 0; round < 40; ++round) {
    const std::size_t e = 1 + round % 8;
    large.ExpectRebuilt(Pick(e, 300, random), Pick(e, 8, random));
  }
  // C + R = 65535: the last data pieces meet the last recovery pieces at
  // the edge of the coefficients' range.
  ASSERT_TRUE(RecoveryFits(65527, 8));
  const PieceSet full(65527, 8, 6, random);
  full.ExpectRebuilt({65526, 0, 65525, 31000, 65524, 12, 40000, 65520}, {7, 0, 6, 1, 5, 2, 4, 3});
  full.ExpectRebuilt({100, 65526, 65000}, {6, 7, 2});
}

}  // namespace
}  // namespace morsela
